#pragma once
// Result records held packed: the eight fields of every record in blocks of text, in record
// order, each ending where the next begins. A field costs its bytes and four, against a
// string and its heap block in the result lists, while later stages of the analysis still
// need the memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/text_list.h"
#include "core/packed_text.h"

class TRecordRows {
 public:
  static constexpr std::size_t kWidth = 8;
  // Company, address, postcode, telephone, fax, e-mail, web address, description.
  using TColumns = std::array<TTextList*, kWidth>;
  using TRow = std::array<std::string_view, kWidth>;

  std::size_t size() const { return rows_; }
  bool empty() const { return rows_ == 0; }

  std::string_view Field(std::size_t row, std::size_t column) const {
    return blocks_[row / kBlockRows].At((row % kBlockRows) * kWidth + column);
  }

  void Add(const TRow& fields) {
    if (blocks_.empty() || blocks_.back().Size() == kBlockRows * kWidth) {
      // Room for a little more than the block before took, so that a block's text is mostly
      // never copied while it grows (which would leave a hole of its size in the heap).
      const std::size_t last = blocks_.empty() ? 0 : blocks_.back().Bytes();
      blocks_.emplace_back().Reserve(kBlockRows * kWidth, last + last / 8);
    }
    for (std::string_view f : fields) blocks_.back().Put(f);
    ++rows_;
  }

  // Replaces one field of the last record.
  void SetLast(std::size_t column, std::string_view value) {
    const std::size_t row = size() - 1;
    std::array<std::string, kWidth> fields;
    for (std::size_t c = 0; c < kWidth; ++c)
      fields[c] = c == column ? std::string(value) : std::string(Field(row, c));
    blocks_.back().Truncate((row % kBlockRows) * kWidth);
    --rows_;
    Add({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]});
  }

  // Takes the records of the columns and empties them.
  void Pack(const TColumns& columns) {
    for (std::size_t i = 0; i < columns[0]->size(); ++i) {
      TRow row;
      for (std::size_t c = 0; c < kWidth; ++c) row[c] = (*columns[c])[i];
      Add(row);
    }
    for (auto* c : columns) c->clear();
  }

  // Appends every record to the columns.
  void Unpack(const TColumns& columns) const {
    for (std::size_t c = 0; c < kWidth; ++c) {
      columns[c]->reserve(size());
      for (std::size_t i = 0; i < size(); ++i) columns[c]->push_back(Field(i, c));
    }
  }

 private:
  // Rows are kept in blocks, so that growing never copies (or leaves behind) the whole text.
  static constexpr std::size_t kBlockRows = 1024;
  std::vector<packed::TPieces> blocks_;
  std::size_t rows_ = 0;
};
