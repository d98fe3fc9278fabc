#pragma once
// Pages whose content their scripts build: a browser engine outside the core loads them and
// hands back the document as it stands once the scripts are done.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct TRenderRequest {
  std::string Url;  // UTF-8
  int64_t DeadlineMs = 20000;
  // Polled while the caller waits; true ends the wait at once (the worker's stop).
  std::function<bool()> Stopped;
  int32_t Parallel = 2;        // pages the engine renders at once
  std::string UserAgent;       // empty: the engine's own
  std::string AcceptLanguage;  // empty: the engine's own
};

struct TRenderResult {
  bool Ok = false;
  std::string Html;      // the serialised document, UTF-8
  std::string FinalUrl;  // UTF-8; differs from the request after a redirect or navigation
  std::string Error;     // why it failed: "deadline", "stopped", "renderer crashed", ...
  int64_t ElapsedMs = 0;
};

// Thread-safe: called by the crawl workers, each call blocking until its page is done, its
// deadline passed or its Stopped() turned true.
class TPageRenderer {
 public:
  virtual ~TPageRenderer() = default;
  virtual TRenderResult Render(const TRenderRequest& request) = 0;
};

// Whether a fetched page (GBK) looks like an empty shell that scripts fill: little visible
// text and a single application root element, script bundles or a <noscript> notice.
bool LooksScriptBuilt(std::string_view page);

// Renders `url` (GBK) and returns the document as GBK, empty on failure. Every page rendered
// leaves a log entry (category "render") with its address, time and the failure reason.
std::string RenderPage(TPageRenderer& renderer, const std::string& url, TRenderRequest request);
