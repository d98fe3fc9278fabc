#include "net/page_budget.h"

#include <algorithm>
#include <chrono>
#include <utility>

TPageBudget& TPageBudget::Global() {
  static TPageBudget budget;
  return budget;
}

void TPageBudget::SetLimit(uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    limit_ = bytes;
  }
  freed_.notify_all();
}

uint64_t TPageBudget::Limit() const {
  std::lock_guard lock(mutex_);
  return limit_;
}

bool TPageBudget::FitsLocked(uint64_t bytes) const {
  return limit_ == 0 || held_ == 0 || bytes <= limit_ - std::min(held_, limit_);
}

void TPageBudget::TakeLocked(uint64_t bytes) {
  held_ += bytes;
  peak_ = std::max(peak_, held_);
}

bool TPageBudget::Acquire(uint64_t bytes, const std::atomic<bool>& cancel) {
  std::unique_lock lock(mutex_);
  // The cancel flag is set without this lock, so the wait looks at it now and then.
  while (!FitsLocked(bytes)) {
    if (cancel.load()) return false;
    freed_.wait_for(lock, std::chrono::milliseconds(20));
  }
  TakeLocked(bytes);
  return true;
}

bool TPageBudget::TryAcquire(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  if (!FitsLocked(bytes)) return false;
  TakeLocked(bytes);
  return true;
}

void TPageBudget::Release(uint64_t bytes) {
  if (bytes == 0) return;
  {
    std::lock_guard lock(mutex_);
    held_ -= std::min(held_, bytes);
  }
  freed_.notify_all();
}

uint64_t TPageBudget::Held() const {
  std::lock_guard lock(mutex_);
  return held_;
}

uint64_t TPageBudget::PeakHeld() const {
  std::lock_guard lock(mutex_);
  return peak_;
}

void TPageBudget::ResetPeak() {
  std::lock_guard lock(mutex_);
  peak_ = held_;
}

TPageLease& TPageLease::operator=(TPageLease&& other) noexcept {
  if (this != &other) {
    Reset();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

bool TPageLease::TryGrow(uint64_t more) {
  if (!budget_ || !budget_->TryAcquire(more)) return false;
  bytes_ += more;
  return true;
}

void TPageLease::ShrinkTo(uint64_t bytes) {
  if (!budget_ || bytes >= bytes_) return;
  budget_->Release(bytes_ - bytes);
  bytes_ = bytes;
}

void TPageLease::Reset() {
  if (budget_) budget_->Release(bytes_);
  budget_ = nullptr;
  bytes_ = 0;
}
