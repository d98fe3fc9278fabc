#pragma once
// Base of the three thread kinds of a run: created suspended, started by Resume, WorkState
// 0 -> 1 -> 2 written only by the thread, a terminate request, and RequestStop that also
// disconnects the thread's HTTP client so a blocked read fails at once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TWorkerThread {
 public:
  TWorkerThread() = default;
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  // Derived destructors must call Join() first, so the body never sees destroyed members.
  virtual ~TWorkerThread();

  // Starts the body on its own thread; later calls do nothing.
  void Resume();
  // Called on the worker's thread right after WorkState became 2 (set before Resume). It must
  // not block on the thread that frees workers.
  void SetOnEnd(std::function<void()> onEnd) { onEnd_ = std::move(onEnd); }
  // Sets the terminate request, then disconnects the HTTP client. Any thread may call it.
  void RequestStop();
  bool Terminated() const { return terminate_.load(std::memory_order_acquire); }
  // Waits for the body to end (no-op when never resumed or already joined).
  void Join();

  // True when the body did all its work (a crawl worker: its site is done) rather than
  // being cut off by the terminate request. Meaningful once WorkState is 2.
  bool Completed() const { return completed_.load(std::memory_order_acquire); }

  // 0 created, 1 running, 2 finished; 2 is written as the last action of the body.
  std::atomic<int32_t> WorkState{0};

 protected:
  virtual void Execute() = 0;
  // Closes the thread's connection; called from RequestStop on the caller's thread.
  virtual void DisconnectClient() {}
  void MarkCompleted() { completed_.store(true, std::memory_order_release); }
  // The terminate request itself, for work that polls it (page analysis).
  const std::atomic<bool>& TerminateFlag() const { return terminate_; }
  // The address the thread works on, for the log; read on the thread itself.
  virtual std::string LogAddress() const { return {}; }

 private:
  void Run() noexcept;

  std::atomic<bool> terminate_{false};
  std::atomic<bool> completed_{false};
  std::function<void()> onEnd_;
  std::thread thread_;
};
