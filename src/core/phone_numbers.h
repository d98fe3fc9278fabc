#pragma once
// Telephone and fax values read with libphonenumber: each number's international form
// (E.164), its kind and its place. Values in and out are GBK; the library sees UTF-8.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class TPhoneKind { Unchecked, Mobile, FixedLine, TollFree, Other };

// One number of a cell.
struct TPhoneNumber {
  std::string Written;  // as it stands in the cell (GBK, trimmed)
  std::string E164;     // "+8657187654321"; empty when the library rejected the value
  TPhoneKind Kind = TPhoneKind::Unchecked;
  std::string Place;  // GBK: a landline's city, a mobile's province; empty when unknown
};

// Reads numbers for one default region. Safe to share between threads once built.
class TPhoneNumbers {
 public:
  // `region`: a two-letter region code for numbers written without "+"; an unknown one
  // falls back to "CN".
  explicit TPhoneNumbers(std::string_view region = "CN");
  ~TPhoneNumbers();
  TPhoneNumbers(const TPhoneNumbers&) = delete;
  TPhoneNumbers& operator=(const TPhoneNumbers&) = delete;

  const std::string& Region() const { return region_; }

  // Every number of a cell, in order. Numbers are separated by ";", ",", "/", "、" and the
  // like, or by blanks between whole numbers. A value the library rejects is kept as
  // written, marked Unchecked. `areaCode` (digits, e.g. "571") is tried in front of a local
  // landline number written without one.
  std::vector<TPhoneNumber> ReadCell(std::string_view gbkCell,
                                     std::string_view areaCode = {}) const;
  // The numbers of a record's telephone and fax cells; a local number in either borrows the
  // area code of the first landline of the record.
  void ReadRecord(std::string_view telephone, std::string_view fax,
                  std::vector<TPhoneNumber>& telephones, std::vector<TPhoneNumber>& faxes) const;
  // The area code of a fixed-line number ("571"), empty for any other.
  std::string AreaCode(const TPhoneNumber& number) const;

 private:
  struct TImpl;
  std::string region_;
  std::unique_ptr<TImpl> impl_;
};

// The list's and the export's label of a kind (GBK): "手机", "固话", "400/800", "其他",
// "未核验".
const std::string& PhoneKindText(TPhoneKind kind);

// The two derived columns of a record (GBK): the kinds and the places of its telephone
// numbers, each distinct value once, joined by "、". Places fall back to the fax numbers
// when the telephones name none.
struct TPhoneColumns {
  std::string Kind;
  std::string Place;
};
TPhoneColumns PhoneColumns(const TPhoneNumbers& phones, std::string_view telephone,
                           std::string_view fax);
