#include "analysis/token_list.h"

namespace {

// Above this a cleared list gives its buffer back: a worker that once read a huge page
// does not keep its size for every page after it.
constexpr std::size_t kKeptCapacity = 1u << 20;

}  // namespace

void TTokenList::TIterator::Decode() {
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
  std::size_t n = text.size();
  while (n >= 0x80) {
    bytes_.push_back(static_cast<char>(0x80 | (n & 0x7F)));
    n >>= 7;
  }
  bytes_.push_back(static_cast<char>(n));
  bytes_.append(text);
  ++count_;
}

void TTokenList::clear() {
  if (bytes_.capacity() > kKeptCapacity)
    std::string().swap(bytes_);
  else
    bytes_.clear();
  count_ = 0;
}
