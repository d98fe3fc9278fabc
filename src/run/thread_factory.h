#pragma once
// Creates the threads of a run, suspended. Run control resumes them, asks them to stop, and
// frees them only after WorkState 2.

#include <memory>

#include "core/program_state.h"
#include "crawl/worker_thread.h"

class TThreadFactory {
 public:
  virtual ~TThreadFactory() = default;
  // A run starts or continues: what the threads of one run share is made anew.
  virtual void RunStarted() {}
  // A crawl worker for one URL list entry (URL, Title, Description).
  virtual std::unique_ptr<TWorkerThread> CreateCrawlWorker(const TSearchURLResult& entry) = 0;
  // The keyword-search producer; it reads SearchText and the engine list when it starts.
  virtual std::unique_ptr<TWorkerThread> CreateSearchThread() = 0;
  // The directory-site producer; it reads SearchText when it starts.
  virtual std::unique_ptr<TWorkerThread> CreatePointWebThread() = 0;
};
