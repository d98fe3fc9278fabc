// Contact field recognition in one block: label search, value regions, extractors, shape
// tests and the company name. Positions are 1-based byte positions in the block text.

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"

namespace {

using TPos = int32_t;

constexpr std::size_t kMaxJoinedValue = 150;
constexpr std::size_t kLongOddLine = 30;

// Moves a hit at 0-based `hit` back to the start of its word; never goes before `floor`.
std::size_t WordStartIn(std::string_view text, std::size_t floor, std::size_t hit) {
  std::size_t i = hit;
  while (i > floor) {
    if (gbk::IsBlankByte(static_cast<unsigned char>(text[i - 1]))) return i;
    --i;
  }
  return floor;
}

// A spaced match of `word` starting at the 0-based character boundary `start`: the bytes of
// the word in order with any blanks between them. Returns the bytes spanned, or 0.
std::size_t SpacedMatchAt(std::string_view text, std::string_view word, std::size_t start) {
  std::string collected;
  collected.reserve(word.size() + 1);
  std::size_t j = start;
  while (collected.size() < word.size() && j < text.size()) {
    const std::size_t n = gbk::CharLen(text, j);
    if (n == 1 && gbk::IsBlankByte(static_cast<unsigned char>(text[j]))) {
      ++j;
      continue;
    }
    collected.append(text.substr(j, n));
    j += n;
  }
  if (gbk::TrimView(collected) != gbk::TrimView(word)) return 0;
  return j - start;
}

// First spaced match of `word` at a character boundary at or after `from` (a boundary).
// Returns the 0-based start and sets `span`, or npos.
std::size_t FindSpacedFrom(std::string_view text, std::string_view word, std::size_t from,
                           std::size_t& span) {
  if (word.empty()) return gbk::npos;
  const char first = word[0];
  for (std::size_t i = from; i < text.size(); i += gbk::CharLen(text, i)) {
    if (text[i] != first) continue;
    const std::size_t n = SpacedMatchAt(text, word, i);
    if (n > 0) {
      span = n;
      return i;
    }
  }
  return gbk::npos;
}

// The keywords of one lower-cased list, each with the last exact and spaced search results, so
// that repeated searches over the tail of one text never rescan what they already passed.
// A cached result found from `from` stays valid for any later start up to the hit itself:
// every start used is a character boundary of the whole text (0 or just after a line feed).
class TKeywordCursors {
 public:
  // `lowered` must outlive the cursors.
  explicit TKeywordCursors(const TLikeList& lowered) {
    words_.reserve(lowered.size());
    for (const auto& w : lowered) words_.push_back({w});
  }

  // FindLabel on lowText[offset..], results relative to the whole text (0-based start).
  TParseHTML::TLabelHit Find(std::string_view lowText, std::size_t offset) {
    for (auto& w : words_) {
      if (w.low.empty()) continue;
      if (!w.exactValid || w.exactFrom > offset ||
          (w.exactPos != gbk::npos && w.exactPos < offset)) {
        w.exactPos = gbk::Find(lowText, w.low, offset);
        w.exactFrom = offset;
        w.exactValid = true;
      }
      if (w.exactPos == gbk::npos) continue;
      const std::size_t start = WordStartIn(lowText, offset, w.exactPos);
      return {static_cast<TPos>(start - offset + 1),
              static_cast<TPos>(w.low.size() + (w.exactPos - start))};
    }
    for (auto& w : words_) {
      if (w.low.empty()) continue;
      if (!w.spacedValid || w.spacedFrom > offset ||
          (w.spacedPos != gbk::npos && w.spacedPos < offset)) {
        w.spacedPos = FindSpacedFrom(lowText, w.low, offset, w.spacedLen);
        w.spacedFrom = offset;
        w.spacedValid = true;
      }
      if (w.spacedPos == gbk::npos) continue;
      return {static_cast<TPos>(w.spacedPos - offset + 1), static_cast<TPos>(w.spacedLen)};
    }
    return {};
  }

 private:
  struct TWord {
    std::string_view low;
    bool exactValid = false;
    std::size_t exactFrom = 0;
    std::size_t exactPos = gbk::npos;
    bool spacedValid = false;
    std::size_t spacedFrom = 0;
    std::size_t spacedPos = gbk::npos;
    std::size_t spacedLen = 0;
  };
  std::vector<TWord> words_;
};

// All hits of a lower-cased list in a lower-cased block, one per line (see
// TParseHTML::FindLabels).
void FindHits(std::string_view lowText, const TLikeList& lowList, std::vector<TPos>& labels,
              std::vector<TPos>& values) {
  TKeywordCursors cursors(lowList);
  std::size_t offset = 0;
  while (offset <= lowText.size()) {
    const std::string_view rest = lowText.substr(offset);
    const TParseHTML::TLabelHit hit = cursors.Find(lowText, offset);
    if (hit.p == 0) break;
    const TPos v = TParseHTML::ValueStart(rest, hit.p, hit.len);
    labels.push_back(static_cast<TPos>(offset) + hit.p);
    values.push_back(static_cast<TPos>(offset) + v);
    const std::size_t lf = rest.find('\n', static_cast<std::size_t>(v) - 1);
    const std::size_t e = lf == std::string_view::npos ? rest.size() + 1 : lf + 1;
    offset += e;
  }
}

// FindLabel with a lower-cased list.
TParseHTML::TLabelHit FindLowered(std::string_view text, const TLikeList& lowList) {
  TKeywordCursors cursors(lowList);
  return cursors.Find(gbk::LowerLatin(text), 0);
}

// text[s..e], 1-based and inclusive; empty when the range is empty or outside the text.
std::string_view Slice(std::string_view text, TPos s, TPos e) {
  if (s < 1) s = 1;
  if (e > static_cast<TPos>(text.size())) e = static_cast<TPos>(text.size());
  if (e < s) return {};
  return text.substr(static_cast<std::size_t>(s) - 1, static_cast<std::size_t>(e - s + 1));
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  for (;;) {
    const std::size_t lf = text.find('\n', from);
    if (lf == std::string_view::npos) {
      lines.push_back(text.substr(from));
      return lines;
    }
    lines.push_back(text.substr(from, lf - from));
    from = lf + 1;
  }
}

std::string_view FirstNonBlankLine(std::string_view text) {
  for (auto line : SplitLines(text)) {
    if (!gbk::IsBlank(line)) return gbk::TrimView(line);
  }
  return {};
}

// Telephone, fax and e-mail: from the lowest line that passes `test` upwards, every
// non-blank line except long lines that fail the test.
template <typename Test>
std::string ExtractFromBottom(std::string_view region, Test test) {
  const auto lines = SplitLines(region);
  std::vector<std::string_view> taken;
  bool taking = false;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const std::string_view line = gbk::TrimView(*it);
    if (line.empty()) continue;
    const bool passes = test(*it);
    if (!taking) {
      if (!passes) continue;
      taking = true;
    } else if (!passes && line.size() >= kLongOddLine) {
      continue;
    }
    taken.push_back(line);
  }
  std::string joined;
  for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
    if (!joined.empty()) joined.push_back(' ');
    joined.append(*it);
  }
  if (gbk::TrimView(joined).size() > kMaxJoinedValue) return {};
  return joined;
}

// Byte test shared by the postcode and phone shapes: the first run of matching bytes,
// after skipping leading non-matching ones, must reach six.
template <typename IsChar>
bool HasRunOfSix(std::string_view s, IsChar isChar) {
  int run = 0;
  for (unsigned char c : s) {
    if (isChar(c)) {
      if (++run >= 6) return true;
    } else if (run > 0) {
      return false;
    }
  }
  return false;
}

// A two-byte character and the ASCII byte it folds to.
struct TFold {
  const std::string& from;
  char to;
};

const std::array<TFold, 10>& FullWidthDigits() {
  static const std::array<TFold, 10> digits = {{{GBK("０"), '0'},
                                                {GBK("１"), '1'},
                                                {GBK("２"), '2'},
                                                {GBK("３"), '3'},
                                                {GBK("４"), '4'},
                                                {GBK("５"), '5'},
                                                {GBK("６"), '6'},
                                                {GBK("７"), '7'},
                                                {GBK("８"), '8'},
                                                {GBK("９"), '9'}}};
  return digits;
}

const std::array<TFold, 15>& FullWidthPunctuation() {
  static const std::array<TFold, 15> folds = {{{GBK("＋"), '+'},
                                               {GBK("－"), '-'},
                                               {GBK("，"), ','},
                                               {GBK("；"), ';'},
                                               {GBK("．"), '.'},
                                               {GBK("。"), '.'},
                                               {GBK("（"), '('},
                                               {GBK("）"), ')'},
                                               {GBK("［"), '['},
                                               {GBK("］"), ']'},
                                               {GBK("｛"), '{'},
                                               {GBK("｝"), '}'},
                                               {GBK("／"), '/'},
                                               {GBK("＼"), '\\'},
                                               {GBK("、"), '.'}}};
  return folds;
}

// The ASCII byte a two-byte character folds to, or 0.
char FoldOf(std::string_view ch, std::span<const TFold> table) {
  for (const TFold& f : table) {
    if (ch == f.from) return f.to;
  }
  return 0;
}

// Full-width digits (and punctuation when asked) to ASCII, in one pass over whole characters.
std::string FoldCharacters(std::string_view s, bool punctuation) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = gbk::CharLen(s, i);
    const std::string_view ch = s.substr(i, n);
    i += n;
    char to = 0;
    if (n == 2) {
      to = FoldOf(ch, FullWidthDigits());
      if (!to && punctuation) to = FoldOf(ch, FullWidthPunctuation());
    }
    if (to)
      out.push_back(to);
    else
      out.append(ch);
  }
  return out;
}

}  // namespace

// Label search

TParseHTML::TLabelHit TParseHTML::FindLabel(std::string_view text, const TLikeList& list) {
  return FindLowered(text, LowerList(list));
}

TParseHTML::TLabelHit TParseHTML::FindLabelSpaced(std::string_view lowerWord,
                                                  std::string_view lowerText) {
  std::size_t span = 0;
  const std::size_t at = FindSpacedFrom(lowerText, lowerWord, 0, span);
  if (at == gbk::npos) return {};
  return {static_cast<TPos>(at + 1), static_cast<TPos>(span)};
}

int32_t TParseHTML::ValueStart(std::string_view text, int32_t p, int32_t len) {
  const std::size_t from = static_cast<std::size_t>(p) - 1 + static_cast<std::size_t>(len);
  if (from < text.size()) {
    std::string_view r = text.substr(from);
    r = r.substr(0, r.find('\n'));
    const std::size_t colon = gbk::Find(r, ":");
    if (colon != gbk::npos) return static_cast<TPos>(from + colon + 1);
  }
  return p + len - 1;
}

void TParseHTML::FindLabels(std::string_view text, const TLikeList& list, int field) {
  if (field < 0 || field >= static_cast<int>(LabelPos.size())) return;
  FindHits(gbk::LowerLatin(text), LowerList(list), LabelPos[field], ValuePos[field]);
}

int TParseHTML::CountRecords(std::string_view text) {
  for (auto& v : LabelPos) v.clear();
  for (auto& v : ValuePos) v.clear();
  const TGlobalSet& s = Settings();
  const std::string low = gbk::LowerLatin(text);
  std::array<bool, 5> enabled = {s.FlagFindAddressAndPostCode, s.FlagFindAddressAndPostCode,
                                 s.FlagFindTelAndFax, s.FlagFindTelAndFax, s.FlagFindMailAddress};
  int n = 0;
  for (int f = 0; f < 5; ++f) {
    if (!enabled[f]) continue;
    FindHits(low, lowered_.Labels[f], LabelPos[f], ValuePos[f]);
    const int c = static_cast<int>(LabelPos[f].size());
    if (n == 0) {
      n = c;
    } else if (c >= 1 && c < n) {
      n = c;
    }
  }
  return n;
}

// Regions. The hit arrays are strictly increasing (FindLabels appends in text order), so the
// first label after `start` of each field is found by binary search; within one field no
// later hit can shorten the region further.

int32_t TParseHTML::FieldEnd(std::string_view text, int32_t start) const {
  auto end = static_cast<TPos>(text.size());
  for (const auto& labels : LabelPos) {
    auto it = std::upper_bound(labels.begin(), labels.end(), start);
    if (it != labels.end() && *it < end) end = *it - 1;
  }
  return end;
}

int32_t TParseHTML::RegionEnd(int k) const {
  bool found = false;
  TPos least = 0;
  for (const auto& labels : LabelPos) {
    if (k < 0 || static_cast<std::size_t>(k) >= labels.size()) continue;
    if (!found || labels[k] < least) least = labels[k];
    found = true;
  }
  return found ? least - 1 : 0;
}

int32_t TParseHTML::RegionStart(int32_t e) const {
  TPos v = 0;
  for (const auto& values : ValuePos) {
    auto it = std::lower_bound(values.begin(), values.end(), e);
    if (it != values.begin()) v = std::max(v, *(it - 1));
  }
  return v == 0 ? 1 : std::max<TPos>(1, v - 1);
}

// Extractors

std::string TParseHTML::ExtractAddress(std::string_view text, int32_t start) const {
  const std::string_view region = Slice(text, start, FieldEnd(text, start));
  std::vector<std::string_view> firstThree;
  for (auto line : SplitLines(region)) {
    if (gbk::IsBlank(line)) continue;
    firstThree.push_back(gbk::TrimView(line));
    if (firstThree.size() == 3) break;
  }
  std::size_t take = 0;
  for (std::size_t i = firstThree.size(); i > 0; --i) {
    if (IsAddressLine(firstThree[i - 1])) {
      take = i;
      break;
    }
  }
  std::string joined;
  for (std::size_t i = 0; i < take; ++i) {
    if (i > 0) joined.push_back(' ');
    joined.append(firstThree[i]);
  }
  if (gbk::TrimView(joined).size() > kMaxJoinedValue) return {};
  return joined;
}

std::string TParseHTML::ExtractPostCode(std::string_view text, int32_t start) const {
  const std::string_view line = FirstNonBlankLine(Slice(text, start, FieldEnd(text, start)));
  return IsPostCode(line) ? std::string(line) : std::string();
}

std::string TParseHTML::ExtractTelephone(std::string_view text, int32_t start) const {
  return ExtractFromBottom(Slice(text, start, FieldEnd(text, start)), IsPhoneNumber);
}

std::string TParseHTML::ExtractFax(std::string_view text, int32_t start) const {
  return ExtractTelephone(text, start);
}

std::string TParseHTML::ExtractEmail(std::string_view text, int32_t start) const {
  return ExtractFromBottom(Slice(text, start, FieldEnd(text, start)), IsEmail);
}

std::string TParseHTML::ExtractCompanyName(std::string_view text, std::string_view previous,
                                           int k) const {
  const TPos e = RegionEnd(k);
  std::string region(Slice(text, RegionStart(e), e));
  if (!gbk::IsBlank(previous)) region = gbk::Trim(previous) + "\n" + region;

  const TLabelHit hit = FindLowered(region, lowered_.Company);
  if (hit.p > 0) {
    const auto v = static_cast<std::size_t>(ValueStart(region, hit.p, hit.len));
    if (v >= region.size()) return {};
    return std::string(FirstNonBlankLine(std::string_view(region).substr(v)));
  }
  const auto lines = SplitLines(region);
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (IsCompanyName(*it)) return gbk::Trim(*it);
  }
  return {};
}

// Shape tests

bool TParseHTML::IsAddressLine(std::string_view line) const {
  const std::string low = gbk::LowerLatin(line);
  for (const auto& w : lowered_.AddressContent) {
    if (gbk::Contains(low, w)) return true;
  }
  return false;
}

bool TParseHTML::IsPostCode(std::string_view line) {
  return HasRunOfSix(FoldDigits(line), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

bool TParseHTML::IsPhoneNumber(std::string_view line) {
  return HasRunOfSix(FoldPunctuation(line), IsPhoneChar);
}

bool TParseHTML::IsPhoneChar(unsigned char b) {
  if (b >= '0' && b <= '9') return true;
  switch (b) {
    case '(':
    case ')':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case '[':
    case '\\':
    case ']':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

bool TParseHTML::IsEmail(std::string_view s) {
  // "@" is tested byte by byte; the dot may be ASCII or full-width.
  if (s.find('@') == std::string_view::npos) return false;
  return gbk::Contains(s, ".") || gbk::Contains(s, GBK("．"));
}

bool TParseHTML::IsCompanyName(std::string_view line) const {
  const std::string low = gbk::LowerLatin(line);
  const auto lineLen = static_cast<double>(line.size());
  for (const std::string& lw : lowered_.CompanyName) {
    const std::size_t at = gbk::Find(low, lw);
    if (at == gbk::npos) continue;
    const auto wordLen = static_cast<double>(lw.size());
    if (lineLen - wordLen >= 4 && line.size() <= 100 &&
        (static_cast<double>(at + 1) + wordLen) / lineLen >= 0.5)
      return true;
  }
  return false;
}

std::string TParseHTML::FoldDigits(std::string_view s) {
  return FoldCharacters(s, false);
}

std::string TParseHTML::FoldPunctuation(std::string_view s) {
  std::string out = FoldCharacters(s, true);
  std::erase(out, ' ');
  return out;
}
