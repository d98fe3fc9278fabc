#include "run/record_filter.h"

#include <functional>

namespace {

uint64_t KeyHash(const TResultRow& row) {
  return static_cast<uint64_t>(std::hash<std::string>{}(RecordKey(row)));
}

}  // namespace

std::string RecordKey(const TResultRow& row) {
  std::string key = row[kColWebAddress];
  for (std::size_t column :
       {kColCompanyName, kColEmail, kColTelephone, kColFax, kColAddress, kColPostCode}) {
    key += '\x1F';  // never part of a field's text
    key += row[column];
  }
  return key;
}

void TRecordFilter::Reset(const std::vector<TResultRow>& rows) {
  seen_.clear();
  seen_.reserve(rows.size());
  for (const auto& row : rows) seen_.insert(KeyHash(row));
  rows_ = rows.size();
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
