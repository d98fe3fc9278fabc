#pragma once
// A process-wide budget for the bytes of pages held at once. A client takes room for a body
// before it reads it (waiting while others hold the budget) and hands the room on with the
// page, so it stays taken until the page has been analysed and dropped.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Memory a page costs per byte of its body while it is held: the text, and once analysed
// its tokens, blocks and folded copies (about six times a 16 MiB page, measured).
inline constexpr uint64_t kPageCostPerByte = 6;

class TPageBudget {
 public:
  static constexpr uint64_t kDefaultBytes = uint64_t{256} << 20;

  explicit TPageBudget(uint64_t limitBytes = kDefaultBytes) : limit_(limitBytes) {}
  TPageBudget(const TPageBudget&) = delete;
  TPageBudget& operator=(const TPageBudget&) = delete;

  // The one budget every HTTP client uses unless told otherwise.
  static TPageBudget& Global();

  // 0: no limit. A smaller limit than what is held now only makes new requests wait.
  void SetLimit(uint64_t bytes);
  uint64_t Limit() const;

  // Waits until `bytes` fit and takes them; false (nothing taken) when `cancel` became true
  // first. A request larger than the whole limit is granted once nothing else is held, so
  // one huge page can always be read alone.
  bool Acquire(uint64_t bytes, const std::atomic<bool>& cancel);
  // Takes `bytes` only when they fit now.
  bool TryAcquire(uint64_t bytes);
  void Release(uint64_t bytes);

  uint64_t Held() const;
  // Most bytes held at once since the last ResetPeak (for tests and benchmarks).
  uint64_t PeakHeld() const;
  void ResetPeak();

 private:
  bool FitsLocked(uint64_t bytes) const;
  void TakeLocked(uint64_t bytes);

  mutable std::mutex mutex_;
  std::condition_variable freed_;
  uint64_t limit_;
  uint64_t held_ = 0;
  uint64_t peak_ = 0;
};

// Room taken from a budget, given back when the lease ends. Movable, so it can travel with
// the page it covers.
class TPageLease {
 public:
  TPageLease() = default;
  TPageLease(TPageBudget* budget, uint64_t bytes) : budget_(budget), bytes_(bytes) {}
  TPageLease(TPageLease&& other) noexcept { *this = std::move(other); }
  TPageLease& operator=(TPageLease&& other) noexcept;
  TPageLease(const TPageLease&) = delete;
  TPageLease& operator=(const TPageLease&) = delete;
  ~TPageLease() { Reset(); }

  uint64_t Bytes() const { return bytes_; }
  // Adds `more` bytes without waiting; false when they do not fit.
  bool TryGrow(uint64_t more);
  // Gives back what is over `bytes`.
  void ShrinkTo(uint64_t bytes);
  void Reset();

 private:
  TPageBudget* budget_ = nullptr;
  uint64_t bytes_ = 0;
};
