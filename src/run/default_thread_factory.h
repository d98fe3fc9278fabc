#pragma once
// Creates the real thread classes of a run.

#include "crawl/crawl_shared.h"
#include "run/thread_factory.h"

class TEngineSet;
class TSettingsStore;
class TTaskStore;

class TDefaultThreadFactory : public TThreadFactory {
 public:
  // All three must outlive every thread created here.
  TDefaultThreadFactory(TProgramState& state, const TSettingsStore& settings, TEngineSet& engines)
      : state_(state), settings_(settings), engines_(engines) {}
  // Cookies every client of the threads made from now on sends (null: none).
  void SetCookieStore(std::shared_ptr<const TCookieStore> store) {
    shared_.Cookies = std::move(store);
  }

  // Script-built pages go to `renderer` from the next run on (null: none); it must outlive
  // every thread created here.
  void SetRenderer(TPageRenderer* renderer) { renderer_ = renderer; }

  // The store the producers report their pages to; nullptr for none.
  void SetTaskStore(TTaskStore* store) { store_ = store; }

  void RunStarted() override;
  std::unique_ptr<TWorkerThread> CreateCrawlWorker(const TSearchURLResult& entry) override;
  std::unique_ptr<TWorkerThread> CreateSearchThread() override;
  std::unique_ptr<TWorkerThread> CreatePointWebThread() override;

 private:
  TProgramState& state_;
  const TSettingsStore& settings_;
  TEngineSet& engines_;
  TCrawlShared shared_;
  TPageRenderer* renderer_ = nullptr;
  TTaskStore* store_ = nullptr;
};
