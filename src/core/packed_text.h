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

// Strings appended one after another in one buffer and found again by their number: four
// bytes a string beside its text.
class TPieces {
 public:
  void Reserve(std::size_t pieces, std::size_t bytes) {
    ends_.reserve(pieces);
    text_.reserve(bytes);
  }
  std::size_t Size() const { return ends_.size(); }
  void Put(std::string_view text) {
    text_.append(text);
    ends_.push_back(static_cast<uint32_t>(text_.size()));
  }
  // Keeps the first `pieces` strings.
  void Truncate(std::size_t pieces) {
    text_.resize(pieces == 0 ? 0 : ends_[pieces - 1]);
    ends_.resize(pieces);
  }
  std::string_view At(std::size_t k) const {
    const uint32_t begin = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(text_).substr(begin, ends_[k] - begin);
  }

 private:
  std::string text_;
  std::vector<uint32_t> ends_;
};

}  // namespace packed
