#include "crawl/worker_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

class TTestWorker : public TWorkerThread {
 public:
  explicit TTestWorker(int mode) : mode_(mode) {}
  ~TTestWorker() override { Join(); }
  std::atomic<int> disconnects{0};

 protected:
  void Execute() override {
    if (mode_ == 1) throw std::runtime_error("boom");
    if (mode_ == 2)
      while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void DisconnectClient() override { ++disconnects; }

 private:
  int mode_;
};

void WaitFinished(const TWorkerThread& w) {
  for (int i = 0; i < 5000 && w.WorkState.load() != 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

TEST(WorkerThread, CreatedSuspendedThenRunsToWorkStateTwo) {
  TTestWorker w(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(w.WorkState.load(), 0);
  w.Resume();
  WaitFinished(w);
  EXPECT_EQ(w.WorkState.load(), 2);
}

TEST(WorkerThread, ExceptionInsideTheBodyStillEndsWithWorkStateTwo) {
  TTestWorker w(1);
  w.Resume();
  WaitFinished(w);
  EXPECT_EQ(w.WorkState.load(), 2);
}

TEST(WorkerThread, RequestStopSetsTheRequestAndDisconnects) {
  TTestWorker w(2);
  w.Resume();
  w.RequestStop();
  WaitFinished(w);
  EXPECT_EQ(w.WorkState.load(), 2);
  EXPECT_TRUE(w.Terminated());
  EXPECT_EQ(w.disconnects.load(), 1);
}

TEST(WorkerThread, DestroyingAnUnstartedOrRunningWorkerIsSafe) {
  { TTestWorker never(0); }
  {
    TTestWorker running(2);
    running.Resume();
    running.RequestStop();
  }
  SUCCEED();
}
