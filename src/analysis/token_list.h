#pragma once
// The tokens of one page, packed: every token's text in page order, each preceded by its
// length (7 bits a byte, low bits first). A token costs its text plus one byte for up to 127
// bytes, against some 33 bytes a token for a list of strings (a page of 16 MiB of "<" is 16M
// tokens). The bytes are held in chunks that never move, so the list is never copied while it
// grows, and a reader can let go of the chunks it has passed.

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    TIterator(const std::string* chunk, const std::string* last, const char* p)
        : chunk_(chunk), last_(last), p_(p), end_(chunk ? chunk->data() + chunk->size() : p) {
      Decode();
    }
    void Decode();

    const std::string* chunk_ = nullptr;
    const std::string* last_ = nullptr;
    const char* p_ = nullptr;
    const char* end_ = nullptr;
    std::size_t headerLen_ = 0;
    std::size_t textLen_ = 0;
  };
  using const_iterator = TIterator;
  using value_type = std::string_view;

  std::size_t size() const { return count_; }
  // Bytes of all tokens, headers included.
  std::size_t bytes() const { return bytes_; }
  bool empty() const { return count_ == 0; }
  TIterator begin() const {
    if (chunks_.empty()) return {};
    return {chunks_.data(), &chunks_.back(), chunks_.front().data()};
  }
  TIterator end() const {
    if (chunks_.empty()) return {};
    const std::string& last = chunks_.back();
    return {&last, &last, last.data() + last.size()};
  }

  void push_back(std::string_view text);
  void emplace_back(std::string_view text) { push_back(text); }
  // Forgets every token; a large buffer is released rather than kept for the next page.
  void clear();
  void swap(TTokenList& other) noexcept {
    chunks_.swap(other.chunks_);
    std::swap(count_, other.count_);
    std::swap(bytes_, other.bytes_);
    std::swap(passed_, other.passed_);
  }
  // Gives back the chunks wholly before `at`, an iterator of this list: the tokens there are
  // gone, and the list is fit only to be read on from `at` or let go whole.
  void LetGoBefore(const TIterator& at);

 private:
  std::vector<std::string> chunks_;
  std::size_t count_ = 0;
  std::size_t bytes_ = 0;
  std::size_t passed_ = 0;  // chunks already let go
};
