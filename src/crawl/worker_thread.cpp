#include "crawl/worker_thread.h"

TWorkerThread::~TWorkerThread() {
  Join();
}

void TWorkerThread::Resume() {
  if (thread_.joinable() || WorkState.load() != 0) return;
  thread_ = std::thread([this] { Run(); });
}

void TWorkerThread::RequestStop() {
  terminate_.store(true, std::memory_order_release);
  DisconnectClient();
}

void TWorkerThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TWorkerThread::Run() noexcept {
  WorkState.store(1);
  try {
    Execute();
  } catch (...) {
    // A failure inside a worker never reaches the user; the thread just ends.
  }
  WorkState.store(2);
}
