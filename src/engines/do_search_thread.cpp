#include "engines/do_search_thread.h"

#include <algorithm>

#include "core/global_set.h"
#include "core/program_state.h"
#include "engines/engine_set.h"
#include "net/fetch.h"

TDoSearchThread::TDoSearchThread(TProgramState& state, std::shared_ptr<const TGlobalSet> settings,
                                 TEngineSet& engines)
    : state_(state),
      settings_(settings ? std::move(settings) : std::make_shared<const TGlobalSet>()),
      engines_(engines) {}

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
  HTTPClient.SetUserAgent(kUserAgentSearch);
  HTTPClient.SetReadTimeout(settings_->MaxReadHTMLTimeOut);

  // Every adapter gets the query and starts afresh, whether its engine is on or not.
  engines_.ApplyHosts(*settings_);
  engines_.SetProgramState(&state_);
  for (TSearchEngineObject* engine : engines_.All()) engine->SetKeyword(Keyword);
  for (TSearchEngineObject* engine : engines_.All()) engine->ResetSearch();

  // A continued run goes on where the stored position stands.
  TSearchEngineObject* e = state_.CurrentEngine.load();
  if (e) e->SetPosition(state_.EngineResultOffset.load(), state_.EnginePageCount.load());

  while (!Terminated()) {
    if (!e || e->Finished) {
      e = NextEngine(e);
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

void TDoSearchThread::SearchEngine(TSearchEngineObject* e) {
  // At least one page per call; the stop request is tested after each page.
  do {
    SearchOnePage(e);
  } while (!Terminated() && !e->Finished);
}

void TDoSearchThread::SearchOnePage(TSearchEngineObject* e) {
  const std::string url = e->GetNextURL();
  PageText.clear();
  if (!url.empty()) PageText = FetchPage(HTTPClient, url);
  // A fetch cut off by the stop is not handed on: the stored position stays on that page, so
  // a continued run reads it instead of losing its addresses.
  if (PageText.empty() && Terminated()) return;
  // A failed fetch is handed on: the empty page moves the position past it and ends the
  // engine.
  e->ParsePage(PageText);
}
