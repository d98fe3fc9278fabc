#include "core/lead_merge.h"

#include <algorithm>
#include <unordered_set>

#include "core/gbk.h"
#include "core/global_set.h"
#include "core/phone_numbers.h"

namespace {

// The e-mail addresses of a cell, lower-cased.
std::vector<std::string> Emails(std::string_view cell) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= cell.size(); ++i) {
    if (i < cell.size() && cell[i] != ';' && cell[i] != ',' && !gbk::IsBlankByte(cell[i])) continue;
    const std::string_view part = cell.substr(start, i - start);
    if (part.find('@') != std::string_view::npos) out.push_back(gbk::LowerLatin(part));
    start = i + 1;
  }
  return out;
}

// What identifies a number when the library rejected it: the text as written.
std::string NumberKey(const TPhoneNumber& n) {
  return n.E164.empty() ? "?" + n.Written : n.E164;
}

void Append(std::string& cell, std::string_view value, std::string_view separator) {
  if (!gbk::IsBlank(cell)) cell += separator;
  cell += value;
}

bool MergeNumbers(std::string& into, std::string_view from, const TPhoneNumbers& phones) {
  std::unordered_set<std::string> have;
  for (const TPhoneNumber& n : phones.ReadCell(into)) have.insert(NumberKey(n));
  bool changed = false;
  for (const TPhoneNumber& n : phones.ReadCell(from))
    if (have.insert(NumberKey(n)).second) {
      Append(into, n.Written, " ");
      changed = true;
    }
  return changed;
}

bool RebuildWithoutRepeats(std::string& cell, const TPhoneNumbers& phones) {
  const std::vector<TPhoneNumber> numbers = phones.ReadCell(cell);
  std::unordered_set<std::string> seen;
  std::string kept;
  bool repeated = false;
  for (const TPhoneNumber& n : numbers) {
    if (!n.E164.empty() && !seen.insert(n.E164).second) {
      repeated = true;
      continue;
    }
    Append(kept, n.Written, " ");
  }
  if (repeated) cell = std::move(kept);
  return repeated;
}

}  // namespace

bool DropRepeatedNumbers(TResultRow& row, const TPhoneNumbers& phones) {
  const bool tel = RebuildWithoutRepeats(row[kColTelephone], phones);
  const bool fax = RebuildWithoutRepeats(row[kColFax], phones);
  return tel || fax;
}

bool MergeLead(TResultRow& into, const TResultRow& from, const TPhoneNumbers& phones) {
  bool changed = false;
  for (std::size_t c : {kColCompanyName, kColAddress, kColPostCode})
    if (gbk::IsBlank(into[c]) && !gbk::IsBlank(from[c])) {
      into[c] = from[c];
      changed = true;
    }
  changed = MergeNumbers(into[kColTelephone], from[kColTelephone], phones) || changed;
  changed = MergeNumbers(into[kColFax], from[kColFax], phones) || changed;
  const std::vector<std::string> have = Emails(into[kColEmail]);
  std::unordered_set<std::string> known(have.begin(), have.end());
  std::size_t start = 0;
  const std::string& mails = from[kColEmail];
  for (std::size_t i = 0; i <= mails.size(); ++i) {
    if (i < mails.size() && mails[i] != ';' && mails[i] != ',' && !gbk::IsBlankByte(mails[i]))
      continue;
    const std::string_view part = std::string_view(mails).substr(start, i - start);
    start = i + 1;
    if (part.find('@') == std::string_view::npos) continue;
    if (known.insert(gbk::LowerLatin(part)).second) {
      Append(into[kColEmail], part, ";");
      changed = true;
    }
  }
  // The page the repeated record came from stays findable.
  const std::string page = gbk::Trim(from[kColWebAddress]);
  if (!page.empty() && page != gbk::Trim(into[kColWebAddress]) &&
      !gbk::Contains(into[kColDescription], page)) {
    Append(into[kColDescription], GBK("另见：") + page, GBK("；"));
    changed = true;
  }
  return changed;
}

TLeadMerger::TLeadMerger() = default;
TLeadMerger::~TLeadMerger() = default;

std::vector<std::string> TLeadMerger::Keys(const TResultRow& row) const {
  std::vector<std::string> keys;
  for (const TPhoneNumber& n : phones_->ReadCell(row[kColTelephone]))
    if (!n.E164.empty()) keys.push_back(n.E164);
  for (std::string& mail : Emails(row[kColEmail])) keys.push_back(std::move(mail));
  return keys;
}

void TLeadMerger::Rebuild(const TResultTable& table) {
  rowOf_.clear();
  for (std::size_t r = 0; r < table.RowCount(); ++r)
    for (std::string& key : Keys(table.Row(r))) rowOf_.emplace(std::move(key), r);
  revision_ = table.Revision();
  indexedRows_ = table.RowCount();
}

std::vector<TResultRow> TLeadMerger::Merge(std::vector<TResultRow> rows, TResultTable& table,
                                           const TGlobalSet& settings) {
  if (!settings.FlagModernRecognition || !settings.MergeLeads || rows.empty()) return rows;
  if (!phones_ || phonesFor_ != settings.PhoneRegion) {
    phones_ = std::make_unique<TPhoneNumbers>(settings.PhoneRegion);
    phonesFor_ = settings.PhoneRegion;
    revision_ = UINT64_MAX;
  }
  // Edits, deletions or sorting since the last batch may have moved the rows.
  if (revision_ != table.Revision() || indexedRows_ != table.RowCount()) Rebuild(table);

  const std::size_t base = table.RowCount();
  std::vector<TResultRow> fresh;
  for (TResultRow& row : rows) {
    DropRepeatedNumbers(row, *phones_);
    std::vector<std::string> keys = Keys(row);
    std::size_t target = SIZE_MAX;
    for (const std::string& key : keys)
      if (auto it = rowOf_.find(key); it != rowOf_.end()) {
        target = it->second;
        break;
      }
    if (target == SIZE_MAX) {
      target = base + fresh.size();
      fresh.push_back(std::move(row));
    } else if (target < base) {
      TResultRow merged = table.Row(target);
      if (MergeLead(merged, row, *phones_)) table.SetRow(target, std::move(merged));
    } else {
      MergeLead(fresh[target - base], row, *phones_);
    }
    for (std::string& key : keys) rowOf_.emplace(std::move(key), target);
  }
  revision_ = table.Revision();
  indexedRows_ = base + fresh.size();
  return fresh;
}
