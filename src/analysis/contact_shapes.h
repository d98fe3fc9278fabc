#pragma once
// E-mail addresses and telephone numbers found by their shape in GBK text, without a label.
// Every finder is one linear pass over the text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace contact {

// A value found in a text: 0-based byte range of the text and the value as stored.
struct TFound {
  std::size_t Pos = 0;
  std::size_t Len = 0;
  std::string Value;
};

// A Chinese character (not a full-width symbol) starts at byte i.
bool IsHanziAt(std::string_view s, std::size_t i);

// The ASCII digits of s, full-width digits folded.
std::string DigitsOf(std::string_view s);

// Addresses of the form local@domain.tld; a blank right after "@" is skipped (and dropped).
std::vector<TFound> FindEmails(std::string_view text);

// Web addresses (http://..., www....), so that their digits are never taken for phones.
std::vector<TFound> FindWebAddresses(std::string_view text);

// Telephone numbers. Numbers split by single blanks ("139 0168 3028") are joined; dates,
// numbers followed by 号/元/年..., preceded by 备/ICP or fused to Latin letters are refused.
// `labelled`: the text follows a telephone label, so any 7 to 13 digits will do; otherwise
// the digits must look like a mobile, a landline with its area code, a 400/800 number or an
// international number.
std::vector<TFound> FindPhones(std::string_view text, bool labelled);

// Six digits standing alone, the first such run.
std::string FindPostCode(std::string_view text);

// The digits of a number without international prefix and leading trunk "0".
std::string PhoneKey(std::string_view number);
// Two ways of writing one number: "+86 577 88951111" and "0577-88951111", or a number given
// once with and once without its area code.
bool SameNumber(std::string_view a, std::string_view b);

}  // namespace contact
