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
  TTaskStore* store_ = nullptr;
};
