// Reads the labels of a page's lines (see page_labels.h).

#include "analysis/page_labels.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "analysis/contact_shapes.h"
#include "core/gbk.h"

namespace pagetext {

bool ContainsAny(std::string_view lowered, const std::vector<std::string>& words) {
  for (const auto& w : words)
    if (gbk::Contains(lowered, w)) return true;
  return false;
}

bool IsLatinLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsLabelChar(std::string_view s, std::size_t i) {
  if (contact::IsHanziAt(s, i)) return true;
  const char c = s[i];
  if (IsLatinLetter(c) || c == '-' || c == '/' || c == '_' || c == '(' || c == ')') return true;
  // Full-width parentheses: "传真（Fax）".
  return i + 1 < s.size() && static_cast<unsigned char>(c) == 0xA3 &&
         (static_cast<unsigned char>(s[i + 1]) == 0xA8 ||
          static_cast<unsigned char>(s[i + 1]) == 0xA9);
}

int LastEndingKeyword(std::string_view part, std::span<const TLikeList* const> lists) {
  int best = -1;
  std::size_t bestEnd = 0, bestLen = 0;
  for (std::size_t f = 0; f < lists.size(); ++f) {
    for (const auto& w : *lists[f]) {
      if (w.empty() || w == "mailto") continue;
      const std::size_t at = gbk::Find(part, w);
      if (at == gbk::npos) continue;
      if (IsLatinLetter(w[0]) && at > 0 && IsLatinLetter(part[at - 1])) continue;
      const std::size_t end = at + w.size();
      if (best < 0 || end > bestEnd || (end == bestEnd && w.size() > bestLen)) {
        best = static_cast<int>(f);
        bestEnd = end;
        bestLen = w.size();
      }
    }
  }
  return best;
}

TPageReader::TPageReader(const std::array<TLikeList, 5>& labels, const TLikeList& company)
    : words_(RecognitionWords()) {
  for (int f = 0; f < 5; ++f) keywords_[f] = Compact(labels[f]);
  keywords_[kCompany] = Compact(company);
  const std::vector<std::string>* extra[] = {&words_.AddressLabels, &words_.PostCodeLabels,
                                             &words_.TelephoneLabels, &words_.FaxLabels,
                                             &words_.MailLabels};
  for (int f = 0; f < 5; ++f)
    for (const auto& w : Compact(*extra[f])) keywords_[f].push_back(w);
}

TLabel TPageReader::Classify(std::string_view labelText) const {
  TLabel label;
  std::string compact;
  for (char c : gbk::LowerLatin(labelText))
    if (!gbk::IsBlankByte(static_cast<unsigned char>(c))) compact.push_back(c);
  label.NoShape = ContainsAny(compact, words_.NoShapeLabels);
  label.Owner = ContainsAny(compact, words_.OwnerLabels);
  // A whole label, or one language of a bilingual one ("电话 TEL", "公司 COMPANY").
  std::string hanzi, latin;
  for (std::size_t i = 0; i < compact.size(); i += gbk::CharLen(compact, i))
    (IsLatinLetter(compact[i]) ? latin : hanzi).append(compact, i, gbk::CharLen(compact, i));
  const auto is = [&](const std::vector<std::string>& list) {
    for (const std::string* whole : {&compact, &hanzi, &latin})
      if (!whole->empty() && std::find(list.begin(), list.end(), *whole) != list.end()) return true;
    return false;
  };
  const std::pair<const std::vector<std::string>*, TField> whole[] = {
      {&words_.ShortTelephoneLabels, kTelephone}, {&words_.ShortFaxLabels, kFax},
      {&words_.ShortMailLabels, kEmail},          {&words_.ShortAddressLabels, kAddress},
      {&words_.ShortPostCodeLabels, kPostCode},   {&words_.ShortCompanyLabels, kCompany}};
  for (const auto& [list, field] : whole)
    if (label.Fields == 0 && is(*list)) label.Fields = 1u << field;
  if (label.Fields != 0) return label;
  std::size_t from = 0;
  while (from <= compact.size()) {
    std::size_t slash = compact.find('/', from);
    const std::size_t sep = gbk::Find(compact, GBK("、"), from);
    if (sep != gbk::npos && (slash == std::string::npos || sep < slash)) slash = sep;
    const std::string_view part = std::string_view(compact).substr(
        from, slash == std::string::npos ? std::string::npos : slash - from);
    const TLikeList* lists[] = {&keywords_[0], &keywords_[1], &keywords_[2],
                                &keywords_[3], &keywords_[4], &keywords_[5]};
    if (const int best = LastEndingKeyword(part, lists); best >= 0) label.Fields |= 1u << best;
    if (slash == std::string::npos) break;
    from = slash + (compact[slash] == '/' ? 1 : 2);
  }
  return label;
}

std::vector<TLabel> TPageReader::Labels(std::string_view line) const {
  std::vector<TLabel> labels;
  std::vector<std::size_t> starts;  // character starts
  for (std::size_t i = 0; i < line.size(); i += gbk::CharLen(line, i)) starts.push_back(i);
  for (std::size_t ci = 0; ci < starts.size(); ++ci) {
    const std::size_t i = starts[ci];
    if (line[i] != ':') continue;
    if (line.substr(i + 1, 2) == "//") continue;
    if (ci > 0 && ci + 1 < starts.size() && std::isdigit(static_cast<unsigned char>(line[i - 1])) &&
        std::isdigit(static_cast<unsigned char>(line[starts[ci + 1]])))
      continue;
    std::size_t k = ci;
    while (k > 0 && line[starts[k - 1]] == ' ') --k;
    // "Add.:", "地址1：": a dot or a number ends the label.
    if (k > 1 &&
        (line[starts[k - 1]] == '.' ||
         std::isdigit(static_cast<unsigned char>(line[starts[k - 1]]))) &&
        IsLabelChar(line, starts[k - 2]))
      --k;
    std::size_t g = k;
    while (g > 0 && IsLabelChar(line, starts[g - 1])) --g;
    if (g == k) continue;
    std::size_t s = g;
    // Spaced labels: single characters with blanks between ("电 话", "Q Q").
    if (k - g == 1) {
      for (;;) {
        std::size_t b = s;
        while (b > 0 && line[starts[b - 1]] == ' ') --b;
        if (b == s) break;
        std::size_t h = b;
        while (h > 0 && IsLabelChar(line, starts[h - 1])) --h;
        if (b - h != 1) break;
        s = h;
      }
    }
    while (s < k && (line[starts[s]] == '-' || line[starts[s]] == '/' || line[starts[s]] == ')'))
      ++s;
    if (s == k) continue;
    // Only the label's last characters name it ("嵩山少林寺…招生网址").
    if (k - s > 10) s = k - 10;
    std::size_t from = starts[s];
    const std::size_t to = k < starts.size() ? starts[k] : line.size();
    TLabel label = Classify(line.substr(from, to - from));
    // A Latin label of a few words ("Post Code", "Zip/Post Code"): a word or two before
    // the last one are taken while the label names no field yet.
    for (std::size_t w = s, words = 0; words < 2 && label.Fields == 0; ++words) {
      if (w < 2 || line[starts[w - 1]] != ' ' || !IsLatinLetter(line[starts[w]])) break;
      std::size_t h = w - 1;
      while (h > 0 && IsLabelChar(line, starts[h - 1]) && !contact::IsHanziAt(line, starts[h - 1]))
        --h;
      if (h == w - 1 || !IsLatinLetter(line[starts[h]])) break;
      w = h;
      const TLabel wider = Classify(line.substr(starts[w], to - starts[w]));
      if (wider.Fields != 0) {
        label = wider;
        from = starts[w];
      }
    }
    label.From = static_cast<uint32_t>(from);
    label.ValueFrom = static_cast<uint32_t>(i + 1);
    if (!labels.empty() && labels.back().ValueFrom > from) continue;
    labels.push_back(label);
  }
  return labels;
}

unsigned TPageReader::LabelOnly(std::string_view line) const {
  std::string_view t = gbk::TrimView(line);
  while (!t.empty() && (t.back() == '*' || t.back() == ' ')) t.remove_suffix(1);
  if (t.empty() || t.size() > 16) return 0;
  for (std::size_t i = 0; i < t.size(); i += gbk::CharLen(t, i))
    if (!IsLabelChar(t, i) && t[i] != ' ') return 0;
  return Classify(t).Fields;
}

TLikeList TPageReader::Compact(const TLikeList& lowered) {
  TLikeList out;
  for (const auto& w : lowered) {
    std::string c;
    for (char ch : w)
      if (!gbk::IsBlankByte(static_cast<unsigned char>(ch))) c.push_back(ch);
    if (!c.empty() && c != "mailto") out.push_back(std::move(c));
  }
  return out;
}

}  // namespace pagetext
