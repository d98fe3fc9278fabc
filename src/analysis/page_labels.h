#pragma once
// Labels of a contact page's lines: every "label:" before a colon, classified by the keyword
// lists of the settings and the shipped recognition vocabulary. GBK text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/recognition_words.h"
#include "core/global_set.h"

namespace pagetext {

enum TField { kAddress = 0, kPostCode = 1, kTelephone = 2, kFax = 3, kEmail = 4, kCompany = 5 };

// Twelve bytes: a page may have a label on most of its lines (lines are under 64 KiB).
struct TLabel {
  uint32_t From = 0;       // label start
  uint32_t ValueFrom = 0;  // after the colon
  uint8_t Fields = 0;      // bit per TField
  bool NoShape = false;
  bool Owner = false;
};

bool IsLatinLetter(char c);
// A character that can stand in a label: a Chinese character, a Latin letter, "-", "/".
bool IsLabelChar(std::string_view s, std::size_t i);
// One of the (lower-cased) words stands in the lower-cased text.
bool ContainsAny(std::string_view lowered, const std::vector<std::string>& words);

// Of keyword lists in field order, the field whose keyword ends last in `part`, the longer
// keyword winning a tie and the earlier field after that; -1 when none stands in it. A
// keyword starting with a Latin letter does not match inside a Latin word; empty keywords and
// "mailto" never match.
int LastEndingKeyword(std::string_view part, std::span<const TLikeList* const> lists);

class TPageReader {
 public:
  // The settings' label lists in field order (lower-cased) and the company-name labels.
  TPageReader(const std::array<TLikeList, 5>& labels, const TLikeList& company);

  // Fields named by a label (blanks removed, Latin lower-cased); split at "/" so that
  // "电话/传真" names both. In each part the keyword ending last wins ("公司地址" is an
  // address).
  TLabel Classify(std::string_view labelText) const;
  // Every "label:" of a line, in order.
  std::vector<TLabel> Labels(std::string_view line) const;
  // A line that is only a label ("联系电话", "邮 箱 *"): its fields, else 0.
  unsigned LabelOnly(std::string_view line) const;

  const TRecognitionWords& Words() const { return words_; }
  const TLikeList& PostCodeWords() const { return keywords_[kPostCode]; }

 private:
  static TLikeList Compact(const TLikeList& lowered);

  const TRecognitionWords& words_;
  std::array<TLikeList, 6> keywords_;
};

}  // namespace pagetext
