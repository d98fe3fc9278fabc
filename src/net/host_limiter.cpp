#include "net/host_limiter.h"

#include <chrono>

std::string THostLimiter::Key(const std::string& host) {
  std::string key = host;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

bool THostLimiter::Acquire(const std::string& host, const std::atomic<bool>& cancel) {
  if (perHost_ <= 0) return true;
  const std::string key = Key(host);
  std::unique_lock lock(mutex_);
  // The cancel flag is set without this lock, so the wait looks at it now and then.
  while (running_[key] >= perHost_) {
    if (cancel.load()) return false;
    freed_.wait_for(lock, std::chrono::milliseconds(50));
  }
  ++running_[key];
  return true;
}

void THostLimiter::Release(const std::string& host) {
  if (perHost_ <= 0) return;
  const std::string key = Key(host);
  {
    std::lock_guard lock(mutex_);
    auto it = running_.find(key);
    if (it == running_.end()) return;
    if (--it->second <= 0) running_.erase(it);
  }
  freed_.notify_all();
}
