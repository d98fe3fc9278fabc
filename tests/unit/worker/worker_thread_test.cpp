#include "crawl/worker_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/log.h"

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
  const uint64_t before = TLog::Global().LastSeq();
  std::atomic<int> stateAtEnd{-1};
  TTestWorker w(1);
  w.SetOnEnd([&] { stateAtEnd = w.WorkState.load(); });
  w.Resume();
  w.Join();
  EXPECT_EQ(w.WorkState.load(), 2);
  // The end is signalled after WorkState 2, and the exception's text is in the log.
  EXPECT_EQ(stateAtEnd.load(), 2);
  bool logged = false;
  for (const TLogEntry& e : TLog::Global().Since(before))
    logged = logged || (e.Category == "worker" && e.Level == TLogLevel::Error &&
                        e.Message.find("boom") != std::string::npos);
  EXPECT_TRUE(logged);
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
