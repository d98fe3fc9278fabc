#pragma once
// The producer of keyword search: walks the run's engine list, fetching each engine's result
// pages one after another and handing them to the engine's adapter, which appends the site
// addresses it finds to the URL list.

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "crawl/worker_thread.h"
#include "net/http_client.h"

// What a current browser sends; sources of today's web answer other clients with a
// verification page. The built-in browser sends the same, so a verification passed there
// holds for the search client.
inline constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/124.0.0.0 Safari/537.36";
inline constexpr const char* kBrowserAcceptLanguage = "zh-CN,zh;q=0.9,en;q=0.6";

class TEngineSet;
class TGlobalSet;
class TProgramState;
class TSearchEngineObject;
class TTaskStore;

class TDoSearchThread final : public TWorkerThread {
 public:
  // `engines` must hold every adapter that state.EngineList and state.CurrentEngine refer to;
  // both objects must outlive the thread. A null snapshot means the default settings.
  // `store`, when given, is told after every result page.
  TDoSearchThread(TProgramState& state, std::shared_ptr<const TGlobalSet> settings,
                  TEngineSet& engines, TTaskStore* store = nullptr);
  ~TDoSearchThread() override;

  // The engine after `e` in the engine list; the first one for none; none after the last
  // one and for an engine that is not in the list.
  TSearchEngineObject* NextEngine(TSearchEngineObject* e) const;
  // Cookies the result pages and tracking links are requested with; set before Resume.
  void SetCookieStore(std::shared_ptr<const TCookieStore> store) {
    HTTPClient.SetCookieStore(store);
    LinkClient.SetCookieStore(std::move(store));
  }

  // Owned by the thread while it runs; read them only after WorkState is 2.
  std::string PageText;
  std::string Keyword;
  THttpClient HTTPClient;
  // Reads only the redirect of a tracking link (today's sources).
  THttpClient LinkClient;

 protected:
  void Execute() override;
  void DisconnectClient() override {
    HTTPClient.Disconnect();
    LinkClient.Disconnect();
  }

 private:
  void SearchEngine(TSearchEngineObject* e);
  // A blocked source whose verification the user passed meanwhile, made ready to search
  // again from its blocked page; none when there is none.
  TSearchEngineObject* TakeRetry();
  void SearchOnePage(TSearchEngineObject* e);
  // Waits until the host may be asked again (`share` of the pace interval: tracking links
  // are paced more lightly than result pages); false when a stop came first.
  bool Pace(const std::string& url, double share = 1.0);
  std::string ReadRedirect(const std::string& url);

  TProgramState& state_;
  std::shared_ptr<const TGlobalSet> settings_;
  TEngineSet& engines_;
  TTaskStore* store_;
  std::map<std::string, std::chrono::steady_clock::time_point> lastRequest_;
  uint32_t jitterSeed_ = 0;
  bool browserHeaders_ = false;
  bool linkCutOff_ = false;  // a tracking link of the page in hand was cut off by the stop
};
