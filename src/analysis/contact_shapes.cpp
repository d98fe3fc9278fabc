#include "analysis/contact_shapes.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "core/gbk.h"

namespace contact {

namespace {

// One character of the text seen through ASCII: full-width forms (GBK row 0xA3) are folded,
// other two-byte characters become 0x80 so that no ASCII test matches them.
// Eight bytes, as a long line has one for each character.
struct TUnit {
  uint32_t Pos;
  char C;
  uint8_t Len;
};

std::vector<TUnit> Units(std::string_view s) {
  // Positions are counted in 32 bits; no page comes near 4 GiB.
  s = s.substr(0, std::min<std::size_t>(s.size(), UINT32_MAX));
  std::vector<TUnit> units;
  units.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = gbk::CharLen(s, i);
    char c = s[i];
    if (n == 2) {
      const auto lead = static_cast<unsigned char>(s[i]);
      const auto trail = static_cast<unsigned char>(s[i + 1]);
      c = (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) ? static_cast<char>(trail - 0x80)
                                                           : static_cast<char>(0x80);
      if (lead == 0xA1 && trail == 0xA1) c = ' ';
      if (lead == 0xA1 && trail == 0xAA) c = '-';  // "—" between area code and number
    }
    units.push_back({static_cast<uint32_t>(i), c, static_cast<uint8_t>(n)});
    i += n;
  }
  return units;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLatin(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsLocalChar(char c) {
  return IsDigit(c) || IsLatin(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}
bool IsDomainChar(char c) {
  return IsDigit(c) || IsLatin(c) || c == '.' || c == '-';
}

// Words converted to GBK once.
std::vector<std::string> GbkWords(std::initializer_list<const char*> utf8) {
  std::vector<std::string> words;
  for (const char* w : utf8) words.push_back(gbk::FromUtf8(w));
  return words;
}

// A counter or unit right after a number: not a telephone number.
const std::vector<std::string>& WordsAfterNonPhone() {
  static const std::vector<std::string> words =
      GbkWords({"号", "元", "年", "月", "日", "次", "个", "万", "％", "米", "人"});
  return words;
}
// A filing or price prefix right before a number.
const std::vector<std::string>& WordsBeforeNonPhone() {
  static const std::vector<std::string> words = GbkWords({"备", "证", "￥", "第"});
  return words;
}

// The two-byte character at `pos` of text is one of `words`.
bool CharIs(std::string_view text, std::size_t pos, const std::vector<std::string>& words) {
  for (const std::string& w : words)
    if (text.compare(pos, w.size(), w) == 0) return true;
  return false;
}

struct TNumber {
  std::size_t From;  // unit indices, inclusive..exclusive
  std::size_t To;
  std::string Digits;
};

bool IsYear(std::string_view d) {
  return d.size() == 4 && (d.starts_with("19") || d.starts_with("20"));
}

// Dates such as 2016-01-26, 2016.1 or 2006-2016: digit groups split by separators.
bool LooksLikeDate(const std::vector<TUnit>& u, const TNumber& n) {
  std::vector<std::string> groups(1);
  for (std::size_t k = n.From; k < n.To; ++k) {
    if (IsDigit(u[k].C))
      groups.back().push_back(u[k].C);
    else if (!groups.back().empty())
      groups.emplace_back();
  }
  if (groups.back().empty()) groups.pop_back();
  if (groups.size() < 2 || !IsYear(groups[0])) return false;
  if (groups.size() == 2 && IsYear(groups[1])) return true;
  return groups[1].size() <= 2 && (groups.size() == 2 || groups[2].size() <= 2);
}

bool ShapeOfPhone(std::string_view d, bool plus, bool labelled) {
  if (d.size() < 7 || d.size() > 14) return false;
  if (labelled) return true;
  if (d.size() == 11 && d[0] == '1' && d[1] >= '3' && d[1] <= '9') return true;  // mobile
  if (d.size() == 13 && d.starts_with("86") && d[2] == '1') return true;         // +86 mobile
  if (d[0] == '0' && d.size() >= 10 && d.size() <= 12) return true;  // area code + number
  // Country code written with a trunk zero: "086-029-83664543", "0086 571 87654321".
  for (std::string_view cc : {"0086", "086"}) {
    if (d.size() <= 12 || !d.starts_with(cc)) continue;
    const std::string_view rest = d.substr(cc.size());
    if (rest.size() >= 9 && rest.size() <= 12) return true;
  }
  if (d.size() == 10 && (d.starts_with("400") || d.starts_with("800"))) return true;
  if (d.size() == 12 && d.starts_with("86")) return true;  // country + area code, no "+"
  return plus && d.size() >= 10;
}

}  // namespace

bool IsHanziAt(std::string_view s, std::size_t i) {
  if (i + 1 >= s.size()) return false;
  const auto lead = static_cast<unsigned char>(s[i]);
  return (lead >= 0xB0 && lead <= 0xF7) || (lead >= 0x81 && lead <= 0xA0) ||
         (lead >= 0xAA && lead <= 0xAF && static_cast<unsigned char>(s[i + 1]) >= 0x40 &&
          static_cast<unsigned char>(s[i + 1]) <= 0xA0);
}

std::string DigitsOf(std::string_view s) {
  std::string d;
  for (const TUnit& u : Units(s))
    if (IsDigit(u.C)) d.push_back(u.C);
  return d;
}

std::string PhoneKey(std::string_view number) {
  std::string d = DigitsOf(number);
  if (d.starts_with("00")) d.erase(0, 2);
  if (d.starts_with("86") && d.size() >= 12) d.erase(0, 2);
  if (d.starts_with("0")) d.erase(0, 1);
  return d;
}

bool SameNumber(std::string_view a, std::string_view b) {
  const std::string ka = PhoneKey(a);
  const std::string kb = PhoneKey(b);
  const std::string& shorter = ka.size() <= kb.size() ? ka : kb;
  const std::string& longer = ka.size() <= kb.size() ? kb : ka;
  if (shorter.size() < 7) return ka == kb;
  return longer.ends_with(shorter);
}

std::vector<TFound> FindEmails(std::string_view text) {
  std::vector<TFound> found;
  const std::vector<TUnit> u = Units(text);
  std::size_t floor = 0;  // never reach back over an address already taken
  for (std::size_t k = 0; k < u.size(); ++k) {
    if (u[k].C != '@' || u[k].Len != 1) continue;
    std::size_t a = k;
    while (a > floor && IsLocalChar(u[a - 1].C)) --a;
    while (a < k && (u[a].C == '.' || u[a].C == '-')) ++a;
    if (a == k) continue;
    std::size_t d = k + 1;
    if (d < u.size() && u[d].C == ' ') ++d;
    const std::size_t domainStart = d;
    while (d < u.size() && IsDomainChar(u[d].C)) ++d;
    while (d > domainStart && (u[d - 1].C == '.' || u[d - 1].C == '-')) --d;
    std::string local, domain;
    for (std::size_t i = a; i < k; ++i) local.push_back(u[i].C);
    for (std::size_t i = domainStart; i < d; ++i) domain.push_back(u[i].C);
    const std::size_t dot = domain.find('.');
    if (domain.empty() || dot == std::string::npos || dot == 0) continue;
    found.push_back({u[a].Pos, u[d - 1].Pos + u[d - 1].Len - u[a].Pos, local + "@" + domain});
    floor = d;
    k = d - 1;
  }
  return found;
}

std::vector<TFound> FindWebAddresses(std::string_view text) {
  std::vector<TFound> found;
  const std::string low = gbk::LowerLatin(text);
  std::size_t i = 0;
  std::size_t nextHttp = low.find("http");
  std::size_t nextWww = low.find("www.");
  while (i < low.size()) {
    if (nextHttp != std::string::npos && nextHttp < i) nextHttp = low.find("http", i);
    if (nextWww != std::string::npos && nextWww < i) nextWww = low.find("www.", i);
    const std::size_t at = std::min(nextHttp, nextWww);
    if (at == std::string::npos) break;
    std::size_t e = at;
    while (e < low.size() && static_cast<unsigned char>(low[e]) > 32 &&
           static_cast<unsigned char>(low[e]) < 0x80)
      ++e;
    if (e - at > 4) found.push_back({at, e - at, std::string(text.substr(at, e - at))});
    i = std::max(e, at + 1);
  }
  return found;
}

std::vector<TFound> FindPhones(std::string_view text, bool labelled) {
  std::vector<TFound> found;
  const std::vector<TUnit> u = Units(text);
  const auto isRunChar = [&](std::size_t k) {
    const char c = u[k].C;
    return IsDigit(c) || c == '-' || c == '(' || c == ')' || c == '+';
  };
  std::size_t k = 0;
  while (k < u.size()) {
    const char c = u[k].C;
    if (!(IsDigit(c) || c == '+' || c == '(')) {
      ++k;
      continue;
    }
    // One run: number characters with single blanks between them.
    const std::size_t start = k;
    std::size_t end = k;
    while (end < u.size()) {
      if (isRunChar(end)) {
        ++end;
      } else if (u[end].C == ' ' && end + 1 < u.size() && isRunChar(end + 1) && end > start) {
        ++end;
      } else {
        break;
      }
    }
    k = end;
    const bool fusedBefore = start > 0 && (IsLatin(u[start - 1].C) || u[start - 1].C == '_');
    const bool fusedAfter = end < u.size() && (IsLatin(u[end].C) || u[end].C == '_');
    if (fusedBefore || fusedAfter) continue;

    // Groups split by blanks, joined while a number is still short.
    std::vector<TNumber> groups;
    for (std::size_t g = start; g < end;) {
      std::size_t h = g;
      std::string digits;
      while (h < end && u[h].C != ' ') {
        if (IsDigit(u[h].C)) digits.push_back(u[h].C);
        ++h;
      }
      groups.push_back({g, h, digits});
      g = h + 1;
    }
    std::vector<TNumber> numbers;
    for (const TNumber& g : groups) {
      if (!numbers.empty()) {
        TNumber& last = numbers.back();
        // A country code makes a number longer: "+86 574 8765 4321".
        const bool international =
            u[last.From].C == '+' || last.Digits.starts_with("86") || last.Digits.starts_with("00");
        const std::size_t longest = international ? 14 : 12;
        const bool join = (last.Digits.size() < 7 || g.Digits.size() <= 4) &&
                          last.Digits.size() + g.Digits.size() <= longest;
        if (join && !g.Digits.empty() && u[g.From].C != '+') {
          last.To = g.To;
          last.Digits += g.Digits;
          continue;
        }
      }
      numbers.push_back(g);
    }
    for (TNumber n : numbers) {
      while (n.To > n.From && !IsDigit(u[n.To - 1].C)) --n.To;
      while (n.From < n.To && !IsDigit(u[n.From].C) && u[n.From].C != '+' && u[n.From].C != '(')
        ++n.From;
      if (n.From >= n.To) continue;
      const bool plus = u[n.From].C == '+';
      // An extension after a last hyphen ("0571-88886666-8001") is left out.
      if (!ShapeOfPhone(n.Digits, plus, labelled)) {
        std::size_t h = n.To;
        while (h > n.From && IsDigit(u[h - 1].C)) --h;
        const std::size_t ext = n.To - h;
        if (h > n.From && u[h - 1].C == '-' && ext <= 4 && ext < n.Digits.size()) {
          n.To = h - 1;
          n.Digits.resize(n.Digits.size() - ext);
        }
      }
      if (!ShapeOfPhone(n.Digits, plus, labelled) || LooksLikeDate(u, n)) continue;
      // What stands right after or before: a counter word or a filing prefix.
      std::size_t after = n.To;
      while (after < u.size() && u[after].C == ' ') ++after;
      if (after < u.size() && u[after].Len == 2 && CharIs(text, u[after].Pos, WordsAfterNonPhone()))
        continue;
      std::size_t before = n.From;
      while (before > 0 && u[before - 1].C == ' ') --before;
      if (before > 0 && u[before - 1].Len == 2 &&
          CharIs(text, u[before - 1].Pos, WordsBeforeNonPhone()))
        continue;
      if (before > 0 && (u[before - 1].C == '$' || u[before - 1].C == '#')) continue;
      if (after < u.size() && u[after].C == '%') continue;
      const std::size_t pos = u[n.From].Pos;
      const std::size_t len = u[n.To - 1].Pos + u[n.To - 1].Len - pos;
      found.push_back({pos, len, std::string(text.substr(pos, len))});
    }
  }
  return found;
}

std::string FindPostCode(std::string_view text) {
  const std::vector<TUnit> u = Units(text);
  for (std::size_t k = 0; k < u.size();) {
    if (!IsDigit(u[k].C)) {
      ++k;
      continue;
    }
    std::size_t e = k;
    std::string digits;
    while (e < u.size() && IsDigit(u[e].C)) digits.push_back(u[e++].C);
    if (digits.size() == 6 && (k == 0 || !IsLatin(u[k - 1].C))) return digits;
    k = e;
  }
  return {};
}

}  // namespace contact
