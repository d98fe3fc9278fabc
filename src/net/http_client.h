#pragma once
// Blocking HTTP GET on libcurl for one worker thread: idle read time-out, our own redirect
// loop with a per-hop notification, a body cap, and a Disconnect that any thread may call.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/page_budget.h"

// The three "User-Agent" values the thread kinds send.
inline constexpr const char* kUserAgentDefault = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr const char* kUserAgentDirectory = "Mozilla/3.0 (compatible;MSIE5.00;windows2000)";
inline constexpr const char* kUserAgentSearch = "Mozilla/4.0(compatible;MSIE 5.01;Windows NT 5.0)";

enum class THttpError {
  None,
  BadUrl,            // curl refused the address (no host, unsupported scheme...)
  Network,           // protocol or other transfer errors
  Dns,               // the host name could not be resolved
  Connect,           // the connection was refused or could not be made
  Tls,               // TLS handshake or certificate check failed
  Timeout,           // connect or idle read time-out, page deadline, low speed
  HttpStatus,        // the server answered with a status of 400 or more
  TooManyRedirects,  // more than THttpClient::kMaxRedirects in a row
  TooLarge,          // body (after content decoding) over the cap
  Stopped,           // Disconnect
};

struct THttpResult {
  bool Ok = false;
  THttpError Error = THttpError::None;
  long Status = 0;          // status of the last response received, 0 when none
  std::string Body;         // empty unless Ok
  std::string ContentType;  // Content-Type of the final response
  std::string Url;          // address of the final hop
  std::string ErrorText;    // libcurl's explanation of a failure, when it gave one
  TPageLease Lease;         // the body's room in the page budget; keep it while the page is used
};

class THostLimiter;
class TCookieStore;

// How the client finds its proxy.
enum class TProxyMode {
  Direct,  // no proxy, whatever the environment says
  System,  // http_proxy, https_proxy, no_proxy, all_proxy
  Fixed,   // the address given to SetProxy
};

inline constexpr const char* kAcceptClassic = "text/html, */*";
inline constexpr const char* kAcceptModern =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

// Bytes that may not stand in a request target (space, control bytes, bytes >= 0x80) as %XX;
// everything else, "%" included, is left alone.
std::string EncodeUrlForWire(std::string_view url);

class THttpClient {
 public:
  using TRedirectHandler = std::function<void(const std::string&)>;

  static constexpr int kMaxRedirects = 15;
  static constexpr std::size_t kMaxBodyBytes = std::size_t{16} << 20;
  static constexpr int kDefaultReadTimeoutMs = 30000;
  static constexpr int kDefaultDeadlineMs = 60000;

  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Settings below belong to the owning thread; change them between requests only.
  void SetUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
  const std::string& UserAgent() const { return userAgent_; }
  // Longest wait for the connection or for the next data, in ms; 0 or less: no limit.
  void SetReadTimeout(int64_t ms) { readTimeoutMs_ = ms; }
  int64_t ReadTimeout() const { return readTimeoutMs_; }
  // Called with every redirect target (absolute) before it is followed.
  void SetRedirectHandler(TRedirectHandler handler) { onRedirect_ = std::move(handler); }
  // Request header lines ("Accept-Language: zh-CN") sent instead of the default Accept line.
  void SetHeaders(const std::vector<std::string>& lines);
  // Keeps the cookies the servers set, for the client's lifetime (today's search sources).
  void EnableCookies();
  // Cookies the user brought (a cookie file, a passed verification page): copied into this
  // client's cookie engine before each request that follows a change of the store.
  void SetCookieStore(std::shared_ptr<const TCookieStore> store) {
    cookies_ = std::move(store);
    cookieGeneration_ = 0;
  }
  // Lower cap for tests; the default is kMaxBodyBytes.
  void SetMaxBodyBytes(std::size_t bytes) { maxBodyBytes_ = bytes; }
  // Bodies take their room in `budget` before they are read (TPageBudget::Global() unless
  // set; null: no budget). A body whose length is announced waits for room for all of it;
  // one whose length is not known takes room as it grows and fails as too large when the
  // budget has none left, so nobody ever waits while holding room.
  // Each body byte costs `costPerByte` bytes of the budget (what the page's analysis takes).
  void SetPageBudget(TPageBudget* budget, uint64_t costPerByte = kPageCostPerByte) {
    budget_ = budget;
    pageCost_ = costPerByte;
  }
  // Longest time one Get may take over all its hops, in ms (time spent waiting for a host
  // slot not counted); 0 or less: no limit.
  void SetDeadline(int64_t ms) { deadlineMs_ = ms; }
  int64_t Deadline() const { return deadlineMs_; }
  // A transfer slower than `bytesPerSecond` for `seconds` in a row fails; 0: no check.
  void SetLowSpeedLimit(long bytesPerSecond, int seconds) {
    lowSpeedBytes_ = bytesPerSecond;
    lowSpeedSeconds_ = seconds;
  }
  // "Accept" (empty: none) and "Accept-Language" (empty: none) request headers.
  void SetRequestHeaders(const std::string& accept, const std::string& acceptLanguage);
  void SetProxy(TProxyMode mode, std::string address = {}) {
    proxyMode_ = mode;
    proxyAddress_ = std::move(address);
  }
  // Skip certificate and host name checks (sites with broken TLS certificates).
  void SetAcceptBrokenTls(bool accept) { acceptBrokenTls_ = accept; }
  // Requests wait for a slot of their host in `limiter` (shared by the threads of a run).
  void SetHostLimiter(std::shared_ptr<THostLimiter> limiter) { limiter_ = std::move(limiter); }

  // One blocking GET following redirects. Never throws for network reasons; exceptions
  // from the redirect handler pass through.
  THttpResult Get(const std::string& url);

  // Any thread: aborts the Get in progress, which fails with Stopped at once. When no Get is
  // in progress, the next Get fails at once instead, so a stop requested just before a fetch
  // is not lost; the Get after that works normally.
  void Disconnect();

 private:
  struct THop;
  THttpError Transfer(const std::string& url, THop& hop, long long& budgetMs);
  void SyncCookies();
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  // Makes room in the page budget for a body of `bodyBytes`; false when the body must end.
  bool TakeBudgetRoom(std::size_t bodyBytes);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);

  void* easy_ = nullptr;     // CURL*
  void* multi_ = nullptr;    // CURLM*
  void* headers_ = nullptr;  // curl_slist*
  std::string userAgent_ = kUserAgentDefault;
  int64_t readTimeoutMs_ = kDefaultReadTimeoutMs;
  std::size_t maxBodyBytes_ = kMaxBodyBytes;
  TRedirectHandler onRedirect_;
  std::atomic<bool> disconnect_{false};
  int64_t deadlineMs_ = kDefaultDeadlineMs;
  long lowSpeedBytes_ = 0;
  int lowSpeedSeconds_ = 0;
  TProxyMode proxyMode_ = TProxyMode::Direct;
  std::string proxyAddress_;
  bool acceptBrokenTls_ = false;
  std::shared_ptr<THostLimiter> limiter_;
  std::shared_ptr<const TCookieStore> cookies_;
  uint64_t cookieGeneration_ = 0;
  char errorText_[256] = {};

  TPageBudget* budget_ = &TPageBudget::Global();
  uint64_t pageCost_ = kPageCostPerByte;

  // State of the transfer in progress, touched only by the owning thread.
  std::string* sink_ = nullptr;
  TPageLease* lease_ = nullptr;
  bool overCap_ = false;
  bool budgetFull_ = false;    // a growing body found no room left
  bool budgetCancel_ = false;  // Disconnect ended the wait for room
  std::chrono::steady_clock::duration budgetWait_{};
  std::chrono::steady_clock::time_point lastActivity_;
};
