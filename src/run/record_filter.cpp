#include "run/record_filter.h"

#include <functional>

namespace {

// `cell(column)` gives a field's text.
template <class TCellOf>
std::string KeyOf(const TCellOf& cell) {
  std::string key(cell(kColWebAddress));
  for (std::size_t column :
       {kColCompanyName, kColEmail, kColTelephone, kColFax, kColAddress, kColPostCode}) {
    key += '\x1F';  // never part of a field's text
    key += cell(column);
  }
  return key;
}

uint64_t KeyHash(const TResultRow& row) {
  return static_cast<uint64_t>(std::hash<std::string>{}(RecordKey(row)));
}

}  // namespace

std::string RecordKey(const TResultRow& row) {
  return KeyOf([&](std::size_t column) -> std::string_view { return row[column]; });
}

void TRecordFilter::Reset(const TResultTable& table) {
  seen_.clear();
  seen_.reserve(table.RowCount());
  for (std::size_t r = 0; r < table.RowCount(); ++r) {
    const std::string key = KeyOf([&](std::size_t column) { return table.CellView(r, column); });
    seen_.insert(static_cast<uint64_t>(std::hash<std::string>{}(key)));
  }
  rows_ = table.RowCount();
}

void TRecordFilter::DropRepeats(std::vector<TResultRow>& fresh) {
  std::size_t kept = 0;
  for (auto& row : fresh) {
    if (!seen_.insert(KeyHash(row)).second) continue;
    if (&fresh[kept] != &row) fresh[kept] = std::move(row);
    ++kept;
  }
  fresh.resize(kept);
  rows_ += kept;
}
