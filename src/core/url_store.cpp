#include "core/url_store.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <stdexcept>

#include "core/gbk.h"
#include "core/packed_text.h"

namespace {

constexpr std::size_t kFirstBlock = 4 << 10;
constexpr std::size_t kLargestBlock = 1 << 20;

std::size_t HashOf(std::string_view text) {
  return std::hash<std::string_view>{}(text);
}

}  // namespace

char* TURLStore::Allocate(std::size_t bytes) {
  if (blocks_.empty() || blockSize_ - blockUsed_ < bytes) {
    // Blocks grow to a fixed size; an entry larger than that gets a block of its own.
    const std::size_t next =
        blocks_.empty() ? kFirstBlock : std::min(blockSize_ * 2, kLargestBlock);
    blockSize_ = std::max(next, bytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
    blockUsed_ = 0;
  }
  char* at = blocks_.back().get() + blockUsed_;
  blockUsed_ += bytes;
  return at;
}

void TURLStore::Reserve(std::size_t count) {
  entries_.reserve(count);
  const std::size_t slots = std::bit_ceil(std::max<std::size_t>(16, count * 2));
  if (slots > slots_.size()) Rehash(slots);
}

void TURLStore::Append(std::string_view url, std::string_view title, std::string_view description) {
  if (entries_.size() >= kEmpty) throw std::length_error("URL list full");
  if ((keys_ + 1) * 2 > slots_.size()) Rehash(std::max<std::size_t>(16, slots_.size() * 2));
  char* at = Allocate(packed::PackedSize(url) + packed::PackedSize(title) +
                      packed::PackedSize(description));
  char* to = packed::Put(at, url);
  to = packed::Put(to, title);
  packed::Put(to, description);
  entries_.push_back(at);
  const std::size_t slot = Slot(gbk::TrimView(url));
  if (slots_[slot] == kEmpty) {
    slots_[slot] = static_cast<uint32_t>(entries_.size() - 1);
    ++keys_;
  }
}

std::size_t TURLStore::Slot(std::string_view trimmedUrl) const {
  // The slot holding the key, or the free slot where it would go.
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = HashOf(trimmedUrl) & mask;
  while (slots_[slot] != kEmpty && gbk::TrimView(URL(slots_[slot])) != trimmedUrl)
    slot = (slot + 1) & mask;
  return slot;
}

void TURLStore::Rehash(std::size_t slots) {
  std::vector<uint32_t> old(slots, kEmpty);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (uint32_t entry : old) {
    if (entry == kEmpty) continue;
    std::size_t slot = HashOf(gbk::TrimView(URL(entry))) & mask;
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
    slots_[slot] = entry;
  }
}

bool TURLStore::Contains(std::string_view trimmedUrl) const {
  return !slots_.empty() && slots_[Slot(trimmedUrl)] != kEmpty;
}

void TURLStore::Clear() {
  *this = TURLStore();
}

std::string_view TURLStore::URL(std::size_t index) const {
  return packed::Nth(entries_.at(index), 0);
}

std::string_view TURLStore::Title(std::size_t index) const {
  return packed::Nth(entries_.at(index), 1);
}

std::string_view TURLStore::Description(std::size_t index) const {
  return packed::Nth(entries_.at(index), 2);
}
