#pragma once
// List pages: entries that repeat in one structure (table rows, list items, cards, lines of
// cells set apart by runs of blanks) are found as a group first, then each entry is read
// into a record of its own. Unlabelled columns are assigned by the shapes of their values
// across the whole group and by a header row where there is one.

#include <array>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/global_set.h"

namespace lists {

// The keyword lists the reader uses, Latin letters lower-cased.
struct TListVocabulary {
  std::array<TLikeList, 5> Labels;  // address, postcode, telephone, fax, e-mail
  TLikeList Company;                // labels of a company name
  TLikeList AddressContent;         // words of an address
};

struct TListRecord {
  std::string Company;
  std::string Address;
  std::string PostCode;
  std::vector<std::string> Phones;
  std::vector<std::string> Faxes;
  std::vector<std::string> Emails;
};

// The records of the list entries of a GBK page, in page order; empty when the page holds no
// list of contacts. `pageName` receives the name of the page's own company put in front of
// branch names (empty when none shows). Time and memory are linear in the page.
std::deque<TListRecord> FindListRecords(std::string_view html, const TListVocabulary& vocab,
                                        std::string* pageName = nullptr);

}  // namespace lists
