#include "analysis/token_list.h"

#include <algorithm>

#include "core/process_memory.h"

namespace {

// A new chunk holds as much as all before it, from 16 KiB up to 1 MiB (or one token larger).
constexpr std::size_t kFirstChunk = 16u << 10;
constexpr std::size_t kLargestChunk = 1u << 20;
// Above this a cleared list gives its buffer back: a worker that once read a huge page
// does not keep its size for every page after it.
constexpr std::size_t kKeptCapacity = 1u << 20;

// A list of this size and more (a page of some megabytes) gives its chunks' pages back to the
// system at once when it is cleared: a chunk may lie in the heap among blocks still in use,
// where freeing alone would keep them. Other chunks are freed as they are, so that the heap
// reuses them without the cost of faulting their pages in again.
constexpr std::size_t kReturnedList = 4u << 20;

void LetGoOf(std::string& chunk, bool returnPages) {
  if (returnPages) ReturnPagesToSystem(chunk.data(), chunk.capacity());
  std::string().swap(chunk);
}

}  // namespace

void TTokenList::TIterator::Decode() {
  // The end of a chunk is the start of the next one that holds tokens.
  while (p_ == end_ && chunk_ != last_) {
    ++chunk_;
    p_ = chunk_->data();
    end_ = p_ + chunk_->size();
  }
  headerLen_ = 0;
  textLen_ = 0;
  int shift = 0;
  while (p_ + headerLen_ < end_) {
    const auto b = static_cast<unsigned char>(p_[headerLen_++]);
    textLen_ |= static_cast<std::size_t>(b & 0x7F) << shift;
    if (b < 0x80) break;
    shift += 7;
  }
}

void TTokenList::push_back(std::string_view text) {
  std::size_t header = 1;
  for (std::size_t n = text.size(); n >= 0x80; n >>= 7) ++header;
  const std::size_t need = header + text.size();
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < need)
    chunks_.emplace_back().reserve(std::max(need, std::clamp(bytes_, kFirstChunk, kLargestChunk)));
  std::string& to = chunks_.back();
  std::size_t n = text.size();
  while (n >= 0x80) {
    to.push_back(static_cast<char>(0x80 | (n & 0x7F)));
    n >>= 7;
  }
  to.push_back(static_cast<char>(n));
  to.append(text);
  bytes_ += need;
  ++count_;
}

void TTokenList::LetGoBefore(const TIterator& at) {
  if (chunks_.empty() || at.chunk_ == nullptr) return;
  const auto upTo = static_cast<std::size_t>(at.chunk_ - chunks_.data());
  for (; passed_ < upTo && passed_ < chunks_.size(); ++passed_) LetGoOf(chunks_[passed_], false);
}

void TTokenList::clear() {
  const bool keepFirst =
      !chunks_.empty() && passed_ == 0 && chunks_.front().capacity() <= kKeptCapacity;
  for (std::size_t k = keepFirst ? 1 : 0; k < chunks_.size(); ++k)
    LetGoOf(chunks_[k], bytes_ >= kReturnedList);
  if (keepFirst) {
    chunks_.resize(1);
    chunks_.front().clear();
  } else {
    std::vector<std::string>().swap(chunks_);
  }
  count_ = 0;
  bytes_ = 0;
  passed_ = 0;
}
