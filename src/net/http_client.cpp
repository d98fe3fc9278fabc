#include "net/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <optional>

#include "core/log.h"
#include "net/cookie_store.h"
#include "net/host_limiter.h"

namespace {

using Clock = std::chrono::steady_clock;

// Longest time handed to curl: its millisecond options are longs and it adds them to the
// current time, so a month is plenty and cannot overflow.
constexpr long long kMaxCurlMs = 31LL * 24 * 3600 * 1000;

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One DNS cache and TLS session cache for every client of the process, so a worker's next
// site on a known host neither resolves nor handshakes from scratch.
class TSharedCaches {
 public:
  TSharedCaches() : share_(curl_share_init()) {
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &TSharedCaches::Lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &TSharedCaches::Unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  TSharedCaches(const TSharedCaches&) = delete;
  TSharedCaches& operator=(const TSharedCaches&) = delete;
  // Never cleaned up: clients may live until the process ends.
  CURLSH* Handle() const { return share_; }

 private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<TSharedCaches*>(self)->MutexFor(data).lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<TSharedCaches*>(self)->MutexFor(data).unlock();
  }
  std::mutex& MutexFor(curl_lock_data data) {
    const auto i = static_cast<std::size_t>(data);
    return mutexes_[i < mutexes_.size() ? i : 0];
  }

  CURLSH* share_;
  std::array<std::mutex, CURL_LOCK_DATA_LAST + 1> mutexes_;
};

CURLSH* SharedCaches() {
  static TSharedCaches caches;
  return caches.Handle();
}

bool IsLoopbackHost(std::string host) {
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return host == "localhost" || host.ends_with(".localhost") || host.starts_with("127.") ||
         host.starts_with("[::1]");
}

CURL* Easy(void* p) {
  return static_cast<CURL*>(p);
}
CURLM* Multi(void* p) {
  return static_cast<CURLM*>(p);
}

THttpError ErrorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return THttpError::None;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return THttpError::BadUrl;
    case CURLE_OPERATION_TIMEDOUT:
      return THttpError::Timeout;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return THttpError::Dns;
    case CURLE_COULDNT_CONNECT:
      return THttpError::Connect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return THttpError::Tls;
    case CURLE_HTTP_RETURNED_ERROR:
      return THttpError::HttpStatus;
    case CURLE_FILESIZE_EXCEEDED:
      return THttpError::TooLarge;
    default:
      return THttpError::Network;
  }
}

}  // namespace

std::string EncodeUrlForWire(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

struct THttpClient::THop {
  std::string body;
  TPageLease lease;
  long status = 0;
  std::string contentType;
  std::string redirectUrl;
};

THttpClient::THttpClient() {
  GlobalInitOnce();
  easy_ = curl_easy_init();
  multi_ = curl_multi_init();
  SetRequestHeaders(kAcceptClassic, std::string());
  CURL* e = Easy(easy_);
  if (!e) return;
  if (CURLSH* share = SharedCaches()) curl_easy_setopt(e, CURLOPT_SHARE, share);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText_);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  // A redirect must never lead to file:// or other schemes.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024L);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &THttpClient::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &THttpClient::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
}

void THttpClient::SetRequestHeaders(const std::string& accept, const std::string& acceptLanguage) {
  // An empty "Accept:" line tells curl to send no Accept header at all.
  std::vector<std::string> lines = {"Accept: " + accept};
  if (!acceptLanguage.empty()) lines.push_back("Accept-Language: " + acceptLanguage);
  SetHeaders(lines);
}

THttpClient::~THttpClient() {
  if (multi_) curl_multi_cleanup(Multi(multi_));
  if (easy_) curl_easy_cleanup(Easy(easy_));
  curl_slist_free_all(static_cast<curl_slist*>(headers_));
}

void THttpClient::SetHeaders(const std::vector<std::string>& lines) {
  curl_slist* headers = nullptr;
  for (const auto& line : lines) {
    curl_slist* next = curl_slist_append(headers, line.c_str());
    if (!next) break;
    headers = next;
  }
  if (!headers) return;
  curl_slist_free_all(static_cast<curl_slist*>(headers_));
  headers_ = headers;
  if (easy_) curl_easy_setopt(Easy(easy_), CURLOPT_HTTPHEADER, headers);
}

void THttpClient::EnableCookies() {
  if (easy_) curl_easy_setopt(Easy(easy_), CURLOPT_COOKIEFILE, "");
}

void THttpClient::SyncCookies() {
  if (!cookies_ || !easy_) return;
  const uint64_t generation = cookies_->Generation();
  if (generation == cookieGeneration_) return;
  cookieGeneration_ = generation;
  // A line handed over this way also switches the cookie engine on.
  for (const TCookie& cookie : cookies_->All())
    curl_easy_setopt(Easy(easy_), CURLOPT_COOKIELIST, NetscapeLine(cookie).c_str());
}

void THttpClient::Disconnect() {
  disconnect_.store(true);
  if (multi_) curl_multi_wakeup(Multi(multi_));
}

std::size_t THttpClient::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* client = static_cast<THttpClient*>(self);
  const std::size_t n = size * count;
  client->lastActivity_ = Clock::now();
  std::string& body = *client->sink_;
  if (n > client->maxBodyBytes_ - body.size()) {
    client->overCap_ = true;
    return 0;  // makes curl abort with a write error
  }
  if (!client->TakeBudgetRoom(body.size() + n)) return 0;
  if (body.empty()) {
    // One allocation for the whole body when its length is announced.
    curl_off_t length = -1;
    curl_easy_getinfo(Easy(client->easy_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length > 0) body.reserve(std::min(static_cast<std::size_t>(length), client->maxBodyBytes_));
  }
  body.append(data, n);
  return n;
}

bool THttpClient::TakeBudgetRoom(std::size_t bodyBytes) {
  const uint64_t need = bodyBytes * pageCost_;
  if (!budget_ || need <= lease_->Bytes()) return true;
  if (lease_->Bytes() == 0) {
    // The first bytes: room for the announced length, else for a first step.
    constexpr std::size_t kFirstStep = std::size_t{256} << 10;
    curl_off_t length = -1;
    curl_easy_getinfo(Easy(easy_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    const std::size_t body = length > 0 ? static_cast<std::size_t>(length) : kFirstStep;
    const uint64_t want = std::max<uint64_t>(std::min(body, maxBodyBytes_) * pageCost_, need);
    const auto waitStart = Clock::now();
    const bool granted = budget_->Acquire(want, disconnect_);
    budgetWait_ += Clock::now() - waitStart;
    lastActivity_ = Clock::now();
    if (!granted) {
      budgetCancel_ = true;
      return false;
    }
    *lease_ = TPageLease(budget_, want);
    return true;
  }
  // Growing: twice the room held, or what is needed, within the cap; never waits.
  const uint64_t want =
      std::min<uint64_t>(std::max<uint64_t>(lease_->Bytes() * 2, need), maxBodyBytes_ * pageCost_);
  if (want > lease_->Bytes() && lease_->TryGrow(want - lease_->Bytes())) return true;
  budgetFull_ = true;
  return false;
}

std::size_t THttpClient::OnHeader(char*, std::size_t size, std::size_t count, void* self) {
  static_cast<THttpClient*>(self)->lastActivity_ = Clock::now();
  return size * count;
}

THttpError THttpClient::Transfer(const std::string& url, THop& hop, long long& budgetMs) {
  CURL* e = Easy(easy_);
  CURLM* m = Multi(multi_);
  std::optional<THostSlot> slot;
  if (limiter_ && limiter_->PerHost() > 0) {
    std::string host = LogSiteOf(url);
    if (!limiter_->Acquire(host, disconnect_)) {
      disconnect_.store(false);
      return THttpError::Stopped;
    }
    slot.emplace(limiter_.get(), std::move(host));
  }
  const auto started = Clock::now();
  const std::string wireUrl = EncodeUrlForWire(url);
  curl_easy_setopt(e, CURLOPT_URL, wireUrl.c_str());
  curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent_.c_str());
  const long long timeoutMs = readTimeoutMs_ > 0 ? readTimeoutMs_ : 0;
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min<long long>(timeoutMs, kMaxCurlMs)));
  curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBodyBytes_));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, lowSpeedSeconds_ > 0 ? lowSpeedBytes_ : 0L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(lowSpeedSeconds_));
  // A null proxy lets curl read the proxy variables; "" means none whatever they say. A
  // proxy cannot reach this machine's own loopback sites, so those always go direct.
  const bool direct = proxyMode_ == TProxyMode::Direct || IsLoopbackHost(LogSiteOf(url));
  curl_easy_setopt(e, CURLOPT_PROXY,
                   direct                            ? ""
                   : proxyMode_ == TProxyMode::Fixed ? proxyAddress_.c_str()
                                                     : nullptr);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, acceptBrokenTls_ ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, acceptBrokenTls_ ? 0L : 2L);
  errorText_[0] = '\0';

  sink_ = &hop.body;
  lease_ = &hop.lease;
  overCap_ = false;
  budgetFull_ = false;
  budgetCancel_ = false;
  budgetWait_ = {};
  lastActivity_ = Clock::now();
  if (curl_multi_add_handle(m, e) != CURLM_OK) return THttpError::Network;

  THttpError error = THttpError::None;
  CURLcode result = CURLE_OK;
  bool connected = false;
  for (;;) {
    if (disconnect_.exchange(false)) {
      error = THttpError::Stopped;
      break;
    }
    int running = 0;
    if (curl_multi_perform(m, &running) != CURLM_OK) {
      error = THttpError::Network;
      break;
    }
    if (running == 0) {
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(m, &queued))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      break;
    }
    if (!connected) {
      // The idle clock restarts once the connection stands; curl bounds the connect phase.
      curl_off_t connectTime = 0;
      curl_easy_getinfo(e, CURLINFO_CONNECT_TIME_T, &connectTime);
      if (connectTime > 0) {
        connected = true;
        lastActivity_ = Clock::now();
      }
    }
    int waitMs = 1000;
    if (budgetMs >= 0) {
      // Time spent waiting for room in the page budget is not the site's fault.
      const long long used = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 Clock::now() - started - budgetWait_)
                                 .count();
      if (used >= budgetMs) {
        error = THttpError::Timeout;
        std::snprintf(errorText_, sizeof errorText_, "page deadline of %lld ms passed", budgetMs);
        break;
      }
      waitMs = static_cast<int>(std::min<long long>(waitMs, budgetMs - used));
    }
    if (timeoutMs > 0) {
      const auto idle =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity_);
      if (idle.count() >= timeoutMs) {
        error = THttpError::Timeout;
        std::snprintf(errorText_, sizeof errorText_, "no data for %lld ms", timeoutMs);
        break;
      }
      waitMs = static_cast<int>(std::min<long long>(waitMs, timeoutMs - idle.count()));
    }
    if (curl_multi_poll(m, nullptr, 0, waitMs, nullptr) != CURLM_OK) {
      error = THttpError::Network;
      break;
    }
  }
  // Removing an unfinished transfer closes its connection; a finished one leaves it in the
  // multi handle's cache for the next request to the same host.
  curl_multi_remove_handle(m, e);
  sink_ = nullptr;
  lease_ = nullptr;
  if (budgetMs >= 0)
    budgetMs =
        std::max<long long>(0, budgetMs - std::chrono::duration_cast<std::chrono::milliseconds>(
                                              Clock::now() - started - budgetWait_)
                                              .count());
  if (budgetCancel_) {
    disconnect_.store(false);  // this Get is what the Disconnect stopped
    return THttpError::Stopped;
  }
  if (error != THttpError::None) return error;
  if (overCap_) return THttpError::TooLarge;
  if (budgetFull_) {
    std::snprintf(errorText_, sizeof errorText_, "no room left in the page memory budget");
    return THttpError::TooLarge;
  }

  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &hop.status);
  if (result != CURLE_OK) return ErrorFromCurl(result);
  if (hop.status >= 400) return THttpError::HttpStatus;
  const char* contentType = nullptr;
  if (curl_easy_getinfo(e, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
    hop.contentType = contentType;
  const char* redirect = nullptr;
  if (hop.status >= 300 && hop.status < 400 &&
      curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect)
    hop.redirectUrl = redirect;
  return THttpError::None;
}

THttpResult THttpClient::Get(const std::string& url) {
  THttpResult out;
  if (!easy_ || !multi_ || !headers_) {
    out.Error = THttpError::Network;
    return out;
  }
  SyncCookies();
  std::string current = url;
  long long budgetMs = deadlineMs_ > 0 ? deadlineMs_ : -1;
  for (int hops = 0;;) {
    THop hop;
    out.Error = Transfer(current, hop, budgetMs);
    out.Status = hop.status;
    out.Url = current;
    if (out.Error != THttpError::None) {
      out.ErrorText = errorText_;
      return out;
    }
    if (hop.redirectUrl.empty()) {
      out.Ok = true;
      out.Body = std::move(hop.body);
      out.Lease = std::move(hop.lease);
      out.Lease.ShrinkTo(out.Body.size() * pageCost_);
      out.ContentType = std::move(hop.contentType);
      return out;
    }
    if (hops == kMaxRedirects) {
      out.Error = THttpError::TooManyRedirects;
      return out;
    }
    ++hops;
    if (onRedirect_) onRedirect_(hop.redirectUrl);
    current = std::move(hop.redirectUrl);
  }
}
