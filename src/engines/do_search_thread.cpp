#include "engines/do_search_thread.h"

#include <algorithm>
#include <random>
#include <thread>

#include "core/global_set.h"
#include "core/log.h"
#include "core/program_state.h"
#include "engines/engine_set.h"
#include "engines/result_page_reader.h"
#include "net/client_settings.h"
#include "net/fetch.h"
#include "store/task_store.h"

namespace {

const std::vector<std::string>& BrowserHeaders() {
  static const std::vector<std::string> lines = {
      "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
      std::string("Accept-Language: ") + kBrowserAcceptLanguage,
  };
  return lines;
}

// Like the fetch log's kinds, with a refusal (403/429) named as blocking.
TFetchErrorKind KindOf(const THttpResult& r) {
  if (r.Error == THttpError::HttpStatus && (r.Status == 403 || r.Status == 429))
    return TFetchErrorKind::Blocked;
  return FetchErrorKindOf(r.Error);
}

struct TRedirectSeen {
  std::string Target;
};

// A tracking page that answers 200 and moves on by script or meta refresh.
std::string ScriptedTarget(const std::string& body) {
  for (const char* marker : {"location.replace(\"", "location.replace('", "URL='", "url="}) {
    const std::size_t p = body.find(marker);
    if (p == std::string::npos) continue;
    const std::size_t from = p + std::char_traits<char>::length(marker);
    const std::size_t end = body.find_first_of("\"')> ", from);
    std::string target =
        body.substr(from, end == std::string::npos ? std::string::npos : end - from);
    if (target.starts_with("http://") || target.starts_with("https://")) return target;
  }
  return {};
}

}  // namespace

TDoSearchThread::TDoSearchThread(TProgramState& state, std::shared_ptr<const TGlobalSet> settings,
                                 TEngineSet& engines, TTaskStore* store)
    : state_(state),
      settings_(settings ? std::move(settings) : std::make_shared<const TGlobalSet>()),
      engines_(engines),
      store_(store) {}

TDoSearchThread::~TDoSearchThread() {
  Join();
}

TSearchEngineObject* TDoSearchThread::NextEngine(TSearchEngineObject* e) const {
  const auto& list = state_.EngineList;
  if (!e) return list.empty() ? nullptr : list.front();
  const auto it = std::find(list.begin(), list.end(), e);
  if (it == list.end() || it + 1 == list.end()) return nullptr;
  return *(it + 1);
}

void TDoSearchThread::Execute() {
  Keyword = state_.SearchText;
  // Time-outs, deadline, proxy and TLS from the settings; the agents and headers stay the
  // search thread's own (classic engines as always, today's sources as a browser).
  ConfigureClient(HTTPClient, *settings_, kUserAgentSearch);
  HTTPClient.SetUserAgent(kUserAgentSearch);
  HTTPClient.SetRequestHeaders(kAcceptClassic, std::string());
  ConfigureClient(LinkClient, *settings_, kBrowserAgent);
  LinkClient.SetUserAgent(kBrowserAgent);
  LinkClient.SetHeaders(BrowserHeaders());
  LinkClient.EnableCookies();
  LinkClient.SetRedirectHandler([](const std::string& target) { throw TRedirectSeen{target}; });
  jitterSeed_ = std::random_device{}();

  // Every adapter gets the query and starts afresh, whether its engine is on or not; a
  // source blocked in an earlier run of the task starts at the page it was blocked on.
  engines_.ApplyHosts(*settings_);
  engines_.SetProgramState(&state_);
  for (TSearchEngineObject* engine : engines_.All()) engine->SetKeyword(Keyword);
  for (TSearchEngineObject* engine : engines_.All()) {
    engine->ResetSearch();
    engine->Given = 0;
    engine->State = TSourceState::Waiting;
    engine->RetryRequested = false;  // this run starts blocked sources at their page anyway
    engine->SetRedirectReader([this](const std::string& url) { return ReadRedirect(url); });
    const int32_t blockedAt = engine->BlockedOffset.load();
    if (blockedAt > 0) engine->SetPosition(blockedAt, engine->BlockedPages.load());
  }

  // A continued run goes on where the stored position stands.
  TSearchEngineObject* e = state_.CurrentEngine.load();
  if (e) e->SetPosition(state_.EngineResultOffset.load(), state_.EnginePageCount.load());

  // Past the end of the list only sources passed by hand are searched again.
  bool retrying = false;
  while (!Terminated()) {
    if (!e || e->Finished) {
      e = retrying ? nullptr : NextEngine(e);
      if (!e) {
        e = TakeRetry();
        retrying = e != nullptr;
      }
      state_.CurrentEngine.store(e);
      // The stored position is the new engine's from now on, not the last one's end: a stop
      // before its first page is parsed resumes it at its first page.
      if (e) {
        state_.EngineResultOffset.store(e->ResultOffset);
        state_.EnginePageCount.store(e->PageCount);
      }
    }
    if (e) SearchEngine(e);
    if (!e) {
      MarkCompleted();
      break;
    }
  }
}

TSearchEngineObject* TDoSearchThread::TakeRetry() {
  for (TSearchEngineObject* engine : state_.EngineList) {
    if (!engine || !engine->RetryRequested.exchange(false)) continue;
    const int32_t blockedAt = engine->BlockedOffset.load();
    if (engine->State.load() != TSourceState::Blocked || blockedAt <= 0) continue;
    engine->ResetSearch();
    engine->SetPosition(blockedAt, engine->BlockedPages.load());
    engine->State = TSourceState::Waiting;
    TLog::Global().Write(TLogLevel::Info, "search",
                         engine->Caption() + " searched again after the verification");
    return engine;
  }
  return nullptr;
}

void TDoSearchThread::SearchEngine(TSearchEngineObject* e) {
  // At least one page per call; the stop request is tested after each page.
  do {
    SearchOnePage(e);
    // Another node runs the search now: this turn ends here, not completed.
    if (store_ && !store_->ProducerPageDone({})) RequestStop();
  } while (!Terminated() && !e->Finished);
}

bool TDoSearchThread::Pace(const std::string& url, double share) {
  using Clock = std::chrono::steady_clock;
  const std::string host = HostOf(url) + (share < 1.0 ? " links" : "");
  const double pace = settings_->PaceMs * share;
  if (pace > 0) {
    auto it = lastRequest_.find(host);
    if (it != lastRequest_.end()) {
      std::minstd_rand rng(jitterSeed_++);
      const double factor = 0.75 + 0.5 * std::uniform_real_distribution<double>(0, 1)(rng);
      const auto due = it->second + std::chrono::milliseconds(static_cast<int64_t>(pace * factor));
      while (Clock::now() < due) {
        if (Terminated()) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(20), due - Clock::now()));
      }
    }
  }
  lastRequest_[host] = Clock::now();
  return !Terminated();
}

std::string TDoSearchThread::ReadRedirect(const std::string& url) {
  if (!Pace(url, 0.25)) {
    linkCutOff_ = true;
    return {};
  }
  std::string target;
  try {
    const THttpResult r = LinkClient.Get(url);
    if (r.Ok) target = ScriptedTarget(r.Body);
    if (r.Error == THttpError::Stopped) linkCutOff_ = true;
  } catch (const TRedirectSeen& seen) {
    target = seen.Target;
  }
  TLog::Global().Write(target.empty() ? TLogLevel::Warning : TLogLevel::Debug, "search",
                       target.empty() ? "tracking link not resolved" : "tracking link -> " + target,
                       url);
  return target;
}

void TDoSearchThread::SearchOnePage(TSearchEngineObject* e) {
  const std::string url = e->GetNextURL();
  PageText.clear();
  if (e->IsClassic()) {
    if (browserHeaders_) {
      HTTPClient.SetUserAgent(kUserAgentSearch);
      HTTPClient.SetHeaders({"Accept: text/html, */*"});
      browserHeaders_ = false;
    }
    if (!url.empty()) {
      PageText = FetchPage(HTTPClient, url);
      TLog::Global().Write(
          PageText.empty() ? TLogLevel::Warning : TLogLevel::Info, "search",
          e->Caption() + (PageText.empty() ? " result page failed" : " result page"), url);
    }
    // A fetch cut off by the stop is not handed on: the stored position stays on that page,
    // so a continued run reads it instead of losing its addresses.
    if (PageText.empty() && Terminated()) return;
    // A failed fetch is handed on: the empty page moves the position past it and ends the
    // engine.
    e->ParsePage(PageText);
    return;
  }

  // Today's sources: paced, with a browser's headers; the adapter reads the status too.
  TSearchResponse response;
  if (!url.empty()) {
    if (!Pace(url)) return;
    if (!browserHeaders_) {
      HTTPClient.SetUserAgent(kBrowserAgent);
      HTTPClient.SetHeaders(BrowserHeaders());
      HTTPClient.EnableCookies();
      browserHeaders_ = true;
    }
    const auto started = std::chrono::steady_clock::now();
    THttpResult r = HTTPClient.Get(url);
    if (!r.Ok && Terminated()) return;
    TLogEntry entry = FetchLogEntry(url, r, started);
    entry.Level = r.Ok ? TLogLevel::Info : TLogLevel::Warning;
    entry.Category = "search";
    entry.Error = KindOf(r);
    entry.Message = e->Caption() + (r.Ok ? " result page" : " result page failed");
    TLog::Global().Add(std::move(entry));
    response.Ok = r.Ok;
    response.Status = r.Status;
    response.Body = std::move(r.Body);
    response.ContentType = std::move(r.ContentType);
    response.Url = r.Url;
  }
  const int32_t offset = e->ResultOffset;
  const int32_t pages = e->PageCount;
  linkCutOff_ = false;
  e->ReadResponse(response);
  PageText = std::move(response.Body);
  // A stop that cut off the tracking links leaves the page to be read again by Continue.
  if (linkCutOff_ && Terminated()) {
    e->SetPosition(offset, pages);
    state_.EngineResultOffset.store(offset);
    state_.EnginePageCount.store(pages);
  }
}
