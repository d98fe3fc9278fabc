#pragma once
// Result records held packed: the eight fields of every record in one buffer, in record
// order, each ending where the next begins. A field costs its bytes and four, against a
// string and its heap block in the result lists, while later stages of the analysis still
// need the memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TRecordRows {
 public:
  static constexpr std::size_t kWidth = 8;
  // Company, address, postcode, telephone, fax, e-mail, web address, description.
  using TColumns = std::array<std::vector<std::string>*, kWidth>;
  using TRow = std::array<std::string_view, kWidth>;

  std::size_t size() const { return ends_.size() / kWidth; }
  bool empty() const { return ends_.empty(); }

  std::string_view Field(std::size_t row, std::size_t column) const {
    const std::size_t k = row * kWidth + column;
    const uint32_t begin = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(text_).substr(begin, ends_[k] - begin);
  }

  void Add(const TRow& fields) {
    for (std::string_view f : fields) {
      text_.append(f);
      ends_.push_back(static_cast<uint32_t>(text_.size()));
    }
  }

  // Replaces one field of the last record.
  void SetLast(std::size_t column, std::string_view value) {
    const std::size_t row = size() - 1;
    std::array<std::string, kWidth> fields;
    for (std::size_t c = 0; c < kWidth; ++c)
      fields[c] = c == column ? std::string(value) : std::string(Field(row, c));
    text_.resize(row == 0 ? 0 : ends_[row * kWidth - 1]);
    ends_.resize(row * kWidth);
    Add({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]});
  }

  // Takes the records of the columns and empties them.
  void Pack(const TColumns& columns) {
    for (std::size_t i = 0; i < columns[0]->size(); ++i) {
      TRow row;
      for (std::size_t c = 0; c < kWidth; ++c) row[c] = (*columns[c])[i];
      Add(row);
    }
    for (auto* c : columns) std::vector<std::string>().swap(*c);
  }

  // Appends every record to the columns.
  void Unpack(const TColumns& columns) const {
    for (std::size_t c = 0; c < kWidth; ++c) {
      columns[c]->reserve(columns[c]->size() + size());
      for (std::size_t i = 0; i < size(); ++i) columns[c]->emplace_back(Field(i, c));
    }
  }

 private:
  std::string text_;
  std::vector<uint32_t> ends_;
};
