#include "crawl/worker_thread.h"

#include <exception>

#include "core/gbk.h"
#include "core/log.h"

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
  // A failure inside a worker never reaches the user; the thread ends and the log says why.
  try {
    try {
      Execute();
    } catch (const std::exception& e) {
      TLog::Global().Write(TLogLevel::Error, "worker", std::string("exception: ") + e.what(),
                           gbk::ToUtf8(LogAddress()));
    } catch (...) {
      TLog::Global().Write(TLogLevel::Error, "worker", "unknown exception",
                           gbk::ToUtf8(LogAddress()));
    }
  } catch (...) {
    // The log itself failed (out of memory); nothing more can be done.
  }
  WorkState.store(2);
  if (onEnd_) {
    try {
      onEnd_();
    } catch (...) {
      // A lost wake only delays the next dispatch to the tick.
    }
  }
}
