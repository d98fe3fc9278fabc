#pragma once
// At most a fixed number of requests at once to one host, across all the threads of a run.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

class THostLimiter {
 public:
  // perHost 0 or less: no limit.
  explicit THostLimiter(int perHost) : perHost_(perHost) {}
  int PerHost() const { return perHost_; }

  // Waits until `host` has a free slot and takes it; false (no slot taken) when `cancel`
  // became true first. Host names are compared case-blind.
  bool Acquire(const std::string& host, const std::atomic<bool>& cancel);
  void Release(const std::string& host);

 private:
  static std::string Key(const std::string& host);

  const int perHost_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::unordered_map<std::string, int> running_;
};

// Holds one slot of a host for its lifetime.
class THostSlot {
 public:
  THostSlot(THostLimiter* limiter, std::string host) : limiter_(limiter), host_(std::move(host)) {}
  ~THostSlot() {
    if (limiter_) limiter_->Release(host_);
  }
  THostSlot(const THostSlot&) = delete;
  THostSlot& operator=(const THostSlot&) = delete;

 private:
  THostLimiter* limiter_ = nullptr;
  std::string host_;
};
