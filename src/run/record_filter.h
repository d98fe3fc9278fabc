#pragma once
// Keeps repeated records out of the result table: a record found again (a site crawled a
// second time, or one page reached by two addresses) is dropped where run control moves the
// company list into the table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/result_table.h"

// What makes two records the same: the page they were found on (the web address as stored)
// and the same company name, e-mail, telephone, fax, address and postcode. The description
// does not count. Records on different pages of one site stay apart (a directory repeats its
// own footer on every list page, one record per page).
std::string RecordKey(const TResultRow& row);

class TRecordFilter {
 public:
  // Learns the rows the table holds now (a new run, an opened task, edited rows).
  void Reset(const TResultTable& table);
  // Removes from `fresh` the rows that the table holds already or that repeat within `fresh`,
  // keeping the order of the others, and remembers those as held.
  void DropRepeats(std::vector<TResultRow>& fresh);
  // Rows of the table as the filter last saw it; a different count means it must be Reset.
  std::size_t KnownRows() const { return rows_; }

 private:
  // Hashes of the keys: 64 bits make a false match between different records negligible
  // while a large table costs a few bytes per row instead of a second copy of its text.
  std::unordered_set<uint64_t> seen_;
  std::size_t rows_ = 0;
};
