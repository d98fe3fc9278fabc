#pragma once
// Several strings kept in one run of bytes, each preceded by its length in 7-bit groups (low
// group first, high bit set on all but the last): an empty string costs one byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace packed {

inline std::size_t LengthSize(std::size_t n) {
  std::size_t bytes = 1;
  while (n >= 0x80) {
    n >>= 7;
    ++bytes;
  }
  return bytes;
}

// Bytes `text` takes when packed.
inline std::size_t PackedSize(std::string_view text) {
  return LengthSize(text.size()) + text.size();
}

// Writes `text` with its length at `to`; returns the position after it.
inline char* Put(char* to, std::string_view text) {
  std::size_t n = text.size();
  while (n >= 0x80) {
    *to++ = static_cast<char>(0x80 | (n & 0x7F));
    n >>= 7;
  }
  *to++ = static_cast<char>(n);
  if (!text.empty()) text.copy(to, text.size());
  return to + text.size();
}

inline void Append(std::string& out, std::string_view text) {
  const std::size_t at = out.size();
  out.resize(at + PackedSize(text));
  Put(out.data() + at, text);
}

// Reads the string at `from`, which must have been written by Put; moves `from` past it.
inline std::string_view Next(const char*& from) {
  std::size_t n = 0;
  int shift = 0;
  for (;;) {
    const auto b = static_cast<unsigned char>(*from++);
    n |= static_cast<std::size_t>(b & 0x7F) << shift;
    if (b < 0x80) break;
    shift += 7;
  }
  const std::string_view text(from, n);
  from += n;
  return text;
}

// The `index`th string of those packed from `from` on.
inline std::string_view Nth(const char* from, std::size_t index) {
  for (std::size_t i = 0; i < index; ++i) Next(from);
  return Next(from);
}

// Strings appended one after another in one buffer, each with its length as above, and found
// again by their number: where every eighth string starts is kept, so a string costs one or
// two bytes besides its text, and finding one skips at most seven lengths.
class TPieces {
 public:
  void Reserve(std::size_t pieces, std::size_t bytes) {
    marks_.reserve(pieces / kStride + 1);
    text_.reserve(bytes + pieces);
  }
  std::size_t Size() const { return size_; }
  std::size_t Bytes() const { return text_.size(); }
  void Put(std::string_view text) {
    if (size_ % kStride == 0) marks_.push_back(static_cast<uint32_t>(text_.size()));
    Append(text_, text);
    ++size_;
  }
  // Keeps the first `pieces` strings.
  void Truncate(std::size_t pieces) {
    if (pieces >= size_) return;
    text_.resize(Start(pieces) - text_.data());
    marks_.resize((pieces + kStride - 1) / kStride);
    size_ = pieces;
  }
  std::string_view At(std::size_t k) const {
    const char* from = Start(k);
    return Next(from);
  }

 private:
  static constexpr std::size_t kStride = 8;
  const char* Start(std::size_t k) const {
    const char* from = text_.data() + marks_[k / kStride];
    for (std::size_t skip = k % kStride; skip > 0; --skip) Next(from);
    return from;
  }

  std::string text_;
  std::vector<uint32_t> marks_;  // where strings 0, 8, 16 ... start
  std::size_t size_ = 0;
};

}  // namespace packed
