#include "core/lead_merge.h"

#include <algorithm>
#include <optional>
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

bool RebuildWithoutRepeats(std::string& cell, const std::vector<TPhoneNumber>& numbers) {
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

// Repeated numbers of the telephone and fax cells dropped; gives the telephone numbers
// that stay.
std::vector<TPhoneNumber> DropRepeats(TResultRow& row, const TPhoneNumbers& phones) {
  std::vector<TPhoneNumber> telephones = phones.ReadCell(row[kColTelephone]);
  if (RebuildWithoutRepeats(row[kColTelephone], telephones))
    telephones = phones.ReadCell(row[kColTelephone]);
  if (!gbk::IsBlank(row[kColFax]))
    RebuildWithoutRepeats(row[kColFax], phones.ReadCell(row[kColFax]));
  return telephones;
}

}  // namespace

bool DropRepeatedNumbers(TResultRow& row, const TPhoneNumbers& phones) {
  const TResultRow before = row;
  DropRepeats(row, phones);
  return row != before;
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

std::vector<std::string> TLeadMerger::Keys(const TResultRow& row,
                                           const std::vector<TPhoneNumber>* telephones) const {
  std::vector<TPhoneNumber> read;
  if (!telephones) telephones = &(read = phones_->ReadCell(row[kColTelephone]));
  std::vector<std::string> keys;
  for (const TPhoneNumber& n : *telephones)
    if (!n.E164.empty()) keys.push_back(n.E164);
  for (std::string& mail : Emails(row[kColEmail])) keys.push_back(std::move(mail));
  return keys;
}

void TLeadMerger::Sync(const TResultTable& table) {
  if (revision_ == table.Revision() && rowsKnown_ == table.RowCount()) return;
  // Only positions are looked at again; a row's phones are parsed once, when it arrives.
  rowOf_.clear();
  rowOf_.reserve(table.RowCount());
  for (std::size_t r = 0; r < table.RowCount(); ++r) {
    const uint64_t id = table.RowId(r);
    rowOf_.emplace(id, r);
    if (id > idsSeen_)
      for (std::string& key : Keys(table.Row(r))) idOf_.emplace(std::move(key), id);
  }
  idsSeen_ = std::max(idsSeen_, table.NextRowId() - 1);
  revision_ = table.Revision();
  rowsKnown_ = table.RowCount();
}

std::vector<TResultRow> TLeadMerger::Merge(std::vector<TResultRow> rows, TResultTable& table,
                                           const TGlobalSet& settings) {
  if (!settings.FlagModernRecognition || !settings.MergeLeads || rows.empty()) return rows;
  if (!phones_ || phonesFor_ != settings.PhoneRegion) {
    phones_ = std::make_unique<TPhoneNumbers>(settings.PhoneRegion);
    phonesFor_ = settings.PhoneRegion;
    idOf_.clear();
    idsSeen_ = 0;
    revision_ = UINT64_MAX;
  }
  Sync(table);

  const std::size_t base = table.RowCount();
  const uint64_t firstNewId = table.NextRowId();
  std::vector<TResultRow> fresh;
  for (TResultRow& row : rows) {
    const std::vector<TPhoneNumber> telephones = DropRepeats(row, *phones_);
    std::vector<std::string> keys = Keys(row, &telephones);
    // The row the record joins: a listed one (wherever sorting put it), or a new one of
    // this batch; a key of a deleted row names nothing.
    std::optional<std::size_t> listed;
    std::optional<std::size_t> batch;
    for (const std::string& key : keys) {
      const auto it = idOf_.find(key);
      if (it == idOf_.end()) continue;
      if (it->second >= firstNewId) {
        batch = static_cast<std::size_t>(it->second - firstNewId);
        break;
      }
      if (const auto at = rowOf_.find(it->second); at != rowOf_.end()) {
        listed = at->second;
        break;
      }
    }
    uint64_t id;
    if (listed) {
      id = table.RowId(*listed);
      TResultRow merged = table.Row(*listed);
      if (MergeLead(merged, row, *phones_)) table.SetRow(*listed, std::move(merged));
    } else if (batch) {
      id = firstNewId + *batch;
      MergeLead(fresh[*batch], row, *phones_);
    } else {
      id = firstNewId + fresh.size();
      fresh.push_back(std::move(row));
    }
    for (std::string& key : keys) idOf_[std::move(key)] = id;
  }
  // Appending `fresh` gives the ids counted on above; nothing else has moved.
  revision_ = table.Revision();
  rowsKnown_ = base + fresh.size();
  idsSeen_ = firstNewId + fresh.size() - 1;
  for (std::size_t i = 0; i < fresh.size(); ++i) rowOf_[firstNewId + i] = base + i;
  return fresh;
}
