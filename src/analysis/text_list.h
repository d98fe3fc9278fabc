#pragma once
// A list of strings held in one buffer: each costs its bytes and two words, against a string
// and its heap block, so that a list page of a hundred thousand entries costs little more than
// its text. A value equal to the one stored just before it (the page address of every record)
// is not stored again. Values are read as views, valid until the list changes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TTextList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const TTextList* list, std::size_t i) : list_(list), i_(i) {}
    std::string_view operator*() const { return (*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++i_;
      return old;
    }
    difference_type operator-(const const_iterator& o) const {
      return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
    }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }

   private:
    const TTextList* list_ = nullptr;
    std::size_t i_ = 0;
  };

  TTextList() = default;
  TTextList(std::initializer_list<std::string_view> values) {
    for (std::string_view v : values) push_back(v);
  }

  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_).substr(spans_[i].Begin, spans_[i].Size);
  }
  std::string_view back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // Room for `values` more values of some `bytes` in all.
  void reserve(std::size_t values, std::size_t bytes = 0) {
    spans_.reserve(spans_.size() + values);
    text_.reserve(text_.size() + bytes);
  }
  void push_back(std::string_view value) { spans_.push_back(Store(value)); }
  // Replaces value i (the old text stays in the buffer until the list is cleared).
  void Set(std::size_t i, std::string_view value) { spans_[i] = Store(value); }
  void clear() {
    std::string().swap(text_);
    std::vector<TSpan>().swap(spans_);
    stored_ = false;
  }

  friend bool operator==(const TTextList& a, const TTextList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend bool operator==(const TTextList& a, const std::vector<std::string>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend std::ostream& operator<<(std::ostream& out, const TTextList& list) {
    out << '{';
    for (std::size_t i = 0; i < list.size(); ++i) out << (i ? ", \"" : "\"") << list[i] << '"';
    return out << '}';
  }

 private:
  struct TSpan {
    uint32_t Begin = 0;
    uint32_t Size = 0;
  };

  TSpan Store(std::string_view value) {
    if (stored_ && std::string_view(text_).substr(last_.Begin, last_.Size) == value) return last_;
    if (text_.size() + value.size() > std::numeric_limits<uint32_t>::max())
      throw std::length_error("text list over 4 GiB");
    const TSpan span{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(value.size())};
    text_.append(value);
    last_ = span;
    stored_ = true;
    return span;
  }

  std::string text_;
  std::vector<TSpan> spans_;
  // The value stored last: one stored again right after it (by push_back or Set) shares it.
  TSpan last_;
  bool stored_ = false;
};
