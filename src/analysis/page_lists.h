#pragma once
// List pages: entries that repeat in one structure (table rows, list items, cards, lines of
// cells set apart by runs of blanks) are found as a group first, then each entry is read
// into a record of its own. Unlabelled columns are assigned by the shapes of their values
// across the whole group and by a header row where there is one.

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/global_set.h"
#include "core/packed_text.h"

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
  bool HasContact() const { return !Phones.empty() || !Faxes.empty() || !Emails.empty(); }
};

// Records held packed: their fields in one buffer, so that a hundred thousand of them cost
// their text and a few words each. At most 255 values a list.
class TPackedRecords {
 public:
  std::size_t size() const { return firsts_.size(); }
  bool empty() const { return firsts_.empty(); }
  // Room for `records` of some `bytes` of text in all, so that the buffers are not copied
  // while they grow (room never written is never touched).
  void reserve(std::size_t records, std::size_t bytes = 0) {
    firsts_.reserve(records);
    counts_.reserve(records);
    fields_.Reserve(4 * records, bytes);  // a name, an address, a postcode and a number, mostly
  }
  void push_back(const TListRecord& r);
  TListRecord operator[](std::size_t i) const;
  bool HasContact(std::size_t i) const { return counts_[i][0] + counts_[i][1] + counts_[i][2] > 0; }
  bool HasAddress(std::size_t i) const { return !fields_.At(firsts_[i] + 1).empty(); }

 private:
  packed::TPieces fields_;
  std::vector<uint32_t> firsts_;                // first field of each record in fields_
  std::vector<std::array<uint8_t, 3>> counts_;  // phones, faxes, e-mail addresses
};

// The records of a page's list entries, packed in blocks of a few thousand, so that records
// taken from the front (pop_front) give their memory back block by block.
class TListRecords {
 public:
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void push_back(const TListRecord& r);
  TListRecord operator[](std::size_t i) const;
  void pop_front();
  void clear() { *this = {}; }

 private:
  static constexpr std::size_t kBlock = 4096;
  std::deque<TPackedRecords> blocks_;
  std::size_t head_ = 0;  // records of the first block already taken
  std::size_t count_ = 0;
};

// The records of the list entries of a GBK page, in page order; empty when the page holds no
// list of contacts. `pageName` receives the name of the page's own company put in front of
// branch names (empty when none shows). Time and memory are linear in the page.
TListRecords FindListRecords(std::string_view html, const TListVocabulary& vocab,
                             std::string* pageName = nullptr);

}  // namespace lists
