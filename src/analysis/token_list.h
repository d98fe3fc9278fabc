#pragma once
// The tokens of one page, packed: every token's text in page order in one buffer, each
// preceded by its length (7 bits a byte, low bits first). A token costs its text plus one
// byte for up to 127 bytes, and no token is longer than the page bytes it came from, so a
// page of n bytes never needs more than 2n, against some 33 bytes a token for a list of
// strings (a page of 16 MiB of "<" is 16M tokens).

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

class TTokenList {
 public:
  // Reads the tokens in order; each step decodes one length.
  class TIterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    TIterator() = default;
    std::string_view operator*() const { return {p_ + headerLen_, textLen_}; }
    TIterator& operator++() {
      p_ += headerLen_ + textLen_;
      Decode();
      return *this;
    }
    TIterator operator++(int) {
      TIterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const TIterator& other) const { return p_ == other.p_; }

   private:
    friend class TTokenList;
    TIterator(const char* p, const char* end) : p_(p), end_(end) { Decode(); }
    void Decode();

    const char* p_ = nullptr;
    const char* end_ = nullptr;
    std::size_t headerLen_ = 0;
    std::size_t textLen_ = 0;
  };
  using const_iterator = TIterator;
  using value_type = std::string_view;

  std::size_t size() const { return count_; }
  // Bytes of all tokens, headers included.
  std::size_t bytes() const { return bytes_.size(); }
  bool empty() const { return count_ == 0; }
  TIterator begin() const { return {bytes_.data(), bytes_.data() + bytes_.size()}; }
  TIterator end() const {
    const char* e = bytes_.data() + bytes_.size();
    return {e, e};
  }

  void push_back(std::string_view text);
  void emplace_back(std::string_view text) { push_back(text); }
  // Forgets every token; a large buffer is released rather than kept for the next page.
  void clear();
  void swap(TTokenList& other) noexcept {
    bytes_.swap(other.bytes_);
    std::swap(count_, other.count_);
  }
  // Room for tokens of `bytes` bytes in all, headers included.
  void reserve(std::size_t bytes) { bytes_.reserve(bytes); }

 private:
  std::string bytes_;
  std::size_t count_ = 0;
};
