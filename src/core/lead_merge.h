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
struct TPhoneNumber;

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
  // Brings the index up to the table: where each row id stands now, and the keys of rows
  // that arrived some other way (an opened task, rows appended directly).
  void Sync(const TResultTable& table);
  // A row's telephone numbers (E.164) and e-mail addresses; `telephones` when already read.
  std::vector<std::string> Keys(const TResultRow& row,
                                const std::vector<TPhoneNumber>* telephones = nullptr) const;

  std::unique_ptr<TPhoneNumbers> phones_;
  std::string phonesFor_;                           // the PhoneRegion setting phones_ was built for
  std::unordered_map<std::string, uint64_t> idOf_;  // key -> row id
  std::unordered_map<uint64_t, std::size_t> rowOf_;  // row id -> row index
  uint64_t revision_ = UINT64_MAX;                   // the table's revision rowOf_ was built at
  std::size_t rowsKnown_ = 0;
  uint64_t idsSeen_ = 0;  // every row id up to this one has its keys in idOf_
};

// Merges `from` into `into` (see TLeadMerger::Merge); returns whether `into` changed.
bool MergeLead(TResultRow& into, const TResultRow& from, const TPhoneNumbers& phones);
// Drops numbers of the telephone and fax cells that repeat one before them (same E.164);
// returns whether the row changed.
bool DropRepeatedNumbers(TResultRow& row, const TPhoneNumbers& phones);
