#pragma once
// Blocking HTTP GET on libcurl for one worker thread: idle read time-out, our own redirect
// loop with a per-hop notification, a body cap, and a Disconnect that any thread may call.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The three "User-Agent" values the thread kinds send.
inline constexpr const char* kUserAgentDefault = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr const char* kUserAgentDirectory = "Mozilla/3.0 (compatible;MSIE5.00;windows2000)";
inline constexpr const char* kUserAgentSearch = "Mozilla/4.0(compatible;MSIE 5.01;Windows NT 5.0)";

enum class THttpError {
  None,
  BadUrl,            // curl refused the address (no host, unsupported scheme...)
  Network,           // DNS, connect, TLS, protocol or other transfer errors
  Timeout,           // connect or idle read time-out
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
};

// Bytes that may not stand in a request target (space, control bytes, bytes >= 0x80) as %XX;
// everything else, "%" included, is left alone.
std::string EncodeUrlForWire(std::string_view url);

class THttpClient {
 public:
  using TRedirectHandler = std::function<void(const std::string&)>;

  static constexpr int kMaxRedirects = 15;
  static constexpr std::size_t kMaxBodyBytes = std::size_t{16} << 20;
  static constexpr int kDefaultReadTimeoutMs = 30000;

  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Settings below belong to the owning thread; change them between requests only.
  void SetUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
  const std::string& UserAgent() const { return userAgent_; }
  // Longest wait for the connection or for the next data, in ms; 0 or less: no limit.
  void SetReadTimeout(int ms) { readTimeoutMs_ = ms; }
  int ReadTimeout() const { return readTimeoutMs_; }
  // Called with every redirect target (absolute) before it is followed.
  void SetRedirectHandler(TRedirectHandler handler) { onRedirect_ = std::move(handler); }
  // Request header lines ("Accept-Language: zh-CN") sent instead of the default Accept line.
  void SetHeaders(const std::vector<std::string>& lines);
  // Keeps the cookies the servers set, for the client's lifetime (today's search sources).
  void EnableCookies();
  // Lower cap for tests; the default is kMaxBodyBytes.
  void SetMaxBodyBytes(std::size_t bytes) { maxBodyBytes_ = bytes; }

  // One blocking GET following redirects. Never throws for network reasons; exceptions
  // from the redirect handler pass through.
  THttpResult Get(const std::string& url);

  // Any thread: aborts the Get in progress, which fails with Stopped at once. When no Get is
  // in progress, the next Get fails at once instead, so a stop requested just before a fetch
  // is not lost; the Get after that works normally.
  void Disconnect();

 private:
  struct THop;
  THttpError Transfer(const std::string& url, THop& hop);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);

  void* easy_ = nullptr;     // CURL*
  void* multi_ = nullptr;    // CURLM*
  void* headers_ = nullptr;  // curl_slist*
  std::string userAgent_ = kUserAgentDefault;
  int readTimeoutMs_ = kDefaultReadTimeoutMs;
  std::size_t maxBodyBytes_ = kMaxBodyBytes;
  TRedirectHandler onRedirect_;
  std::atomic<bool> disconnect_{false};

  // State of the transfer in progress, touched only by the owning thread.
  std::string* sink_ = nullptr;
  bool overCap_ = false;
  std::chrono::steady_clock::time_point lastActivity_;
};
