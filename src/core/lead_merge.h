#pragma once
// One record per company across a run: a record whose telephone number (E.164) or e-mail
// address is already listed is merged into the earlier row instead of being listed again.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/result_table.h"

class TGlobalSet;
class TPhoneNumbers;

class TLeadMerger {
 public:
  TLeadMerger();
  ~TLeadMerger();
  TLeadMerger(const TLeadMerger&) = delete;
  TLeadMerger& operator=(const TLeadMerger&) = delete;

  // Takes the rows about to be appended to `table`. With FlagModernRecognition and
  // MergeLeads on, repeated numbers within a row are dropped and a row sharing a number or
  // an address with a listed row (or an earlier one of `rows`) is merged into it: its new
  // values added, its page noted in the description. Returns the rows left to append;
  // with the switches off, `rows` unchanged.
  std::vector<TResultRow> Merge(std::vector<TResultRow> rows, TResultTable& table,
                                const TGlobalSet& settings);

 private:
  void Rebuild(const TResultTable& table);
  std::vector<std::string> Keys(const TResultRow& row) const;

  std::unique_ptr<TPhoneNumbers> phones_;
  std::string phonesFor_;  // the PhoneRegion setting phones_ was built for
  std::unordered_map<std::string, std::size_t> rowOf_;  // key -> row index
  uint64_t revision_ = UINT64_MAX;  // the table's revision the index was built at
  std::size_t indexedRows_ = 0;
};

// Merges `from` into `into` (see TLeadMerger::Merge); returns whether `into` changed.
bool MergeLead(TResultRow& into, const TResultRow& from, const TPhoneNumbers& phones);
// Drops numbers of the telephone and fax cells that repeat one before them (same E.164);
// returns whether the row changed.
bool DropRepeatedNumbers(TResultRow& row, const TPhoneNumbers& phones);
