#include "analysis/hidden_emails.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <unordered_map>

#include "analysis/contact_shapes.h"
#include "core/gbk.h"

namespace contact {

namespace {

constexpr std::size_t kMaxLocal = 64;
constexpr std::size_t kMaxDomain = 255;
constexpr std::size_t kMaxAddress = kMaxLocal + 1 + kMaxDomain;
constexpr std::size_t kMaxScriptEmails = 16;  // a script is one contact block, not a list

bool IsAsciiAlnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 0x80;
}
bool IsLocalChar(char c) {
  return IsAsciiAlnum(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::string> GbkList(std::initializer_list<const char*> utf8) {
  std::vector<std::string> words;
  for (const char* u : utf8) words.push_back(gbk::FromUtf8(u));
  return words;
}

// The single address a text is, or empty.
std::string OneEmail(std::string_view text) {
  std::vector<TFound> found = FindEmails(text);
  return found.size() == 1 ? std::move(found[0].Value) : std::string();
}

// The hex digits at `from`, or empty when there are none or more than an address needs.
std::string_view HexRun(std::string_view s, std::size_t from) {
  std::size_t e = from;
  while (e < s.size() && HexValue(s[e]) >= 0) {
    if (e - from > 2 * (kMaxAddress + 1)) return {};
    ++e;
  }
  return s.substr(from, e - from);
}

// Stand-ins for "@" that need no hint; compared with Latin letters lower-cased.
const std::vector<std::string>& PlainStandIns() {
  static const std::vector<std::string> words =
      GbkList({"@", "＠", "[at]", "(at)", "{at}", "（at）", "［at］", "【at】"});
  return words;
}
// Stand-ins that a hint can name.
const std::vector<std::string>& HintableStandIns() {
  static const std::vector<std::string> words =
      GbkList({"[at]", "(at)", "{at}", "（at）", "［at］", "【at】", "#", "＃", "*", "★", "☆", "%",
               "&", "$", "at"});
  return words;
}
const std::vector<std::string>& DotStandIns() {
  static const std::vector<std::string> words =
      GbkList({"[dot]", "(dot)", "{dot}", "（dot）", "［dot］", "【dot】"});
  return words;
}

// The word of `words` (Latin lower-cased) that `text` holds at `at`, or nullptr.
const std::string* WordAt(std::string_view text, std::size_t at,
                          const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    if (at + w.size() > text.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < w.size() && same; ++k) {
      char c = text[at + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == w[k];
    }
    if (same) return &w;
  }
  return nullptr;
}

bool IsAt(std::string_view s, std::size_t i) {
  return s.compare(i, 1, "@") == 0 || s.compare(i, 2, GBK("＠")) == 0;
}

// Quotes and blanks around a stand-in named in a hint.
const std::vector<std::string>& Quotes() {
  static const std::vector<std::string> words =
      GbkList({"“", "”", "‘", "’", "「", "」", "　", "\"", "'", " "});
  return words;
}
std::size_t SkipQuotes(std::string_view s, std::size_t i) {
  for (const std::string* q = WordAt(s, i, Quotes()); q; q = WordAt(s, i, Quotes())) i += q->size();
  return i;
}
std::size_t SkipQuotesBack(std::string_view s, std::size_t i) {
  for (bool more = true; more;) {
    more = false;
    for (const std::string& q : Quotes())
      if (i >= q.size() && s.compare(i - q.size(), q.size(), q) == 0) {
        i -= q.size();
        more = true;
        break;
      }
  }
  return i;
}

// The hintable stand-in that ends at byte `end`, as written, or empty.
std::string StandInBefore(std::string_view text, std::size_t end) {
  const std::string low =
      gbk::LowerLatin(text.substr(end >= 16 ? end - 16 : 0, std::min<std::size_t>(end, 16)));
  for (const std::string& w : HintableStandIns()) {
    if (!low.ends_with(w)) continue;
    const std::size_t from = end - w.size();
    // "at" alone must stand apart from other letters.
    if (w == "at" && from > 0 && std::isalpha(static_cast<unsigned char>(text[from - 1]))) continue;
    return std::string(text.substr(from, w.size()));
  }
  return {};
}

}  // namespace

std::string DecodeProtectedEmail(std::string_view hex) {
  hex = gbk::TrimView(hex);
  if (hex.size() < 4 || hex.size() % 2 != 0 || hex.size() > 2 * (kMaxAddress + 1)) return {};
  std::string out;
  int key = -1;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]);
    const int lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return {};
    const int byte = hi * 16 + lo;
    if (key < 0) {
      key = byte;
      continue;
    }
    const int c = byte ^ key;
    if (c < 0x20 || c > 0x7E) return {};
    out.push_back(static_cast<char>(c));
  }
  return OneEmail(out);
}

std::string ProtectedEmailOfTag(std::string_view tag) {
  if (std::size_t at = gbk::FindNoCase(tag, "data-cfemail"); at != gbk::npos) {
    at += 12;
    while (at < tag.size() &&
           (tag[at] == ' ' || tag[at] == '=' || tag[at] == '"' || tag[at] == '\''))
      ++at;
    if (std::string e = DecodeProtectedEmail(HexRun(tag, at)); !e.empty()) return e;
  }
  if (const std::size_t at = gbk::FindNoCase(tag, "email-protection#"); at != gbk::npos)
    return DecodeProtectedEmail(HexRun(tag, at + 17));
  return {};
}

std::string AtStandInHint(std::string_view text) {
  if (text.find('@') == std::string_view::npos && !gbk::Contains(text, GBK("＠"))) return {};
  static const std::vector<std::string> verbs =
      GbkList({"替换为", "替换成", "换成", "改成", "改为", "换为", "变成", "转换为", "转为", "替换",
               "=", "＝"});
  // "请把#换成@", "(#=@)".
  for (const std::string& verb : verbs) {
    for (std::size_t at = gbk::Find(text, verb); at != gbk::npos;
         at = gbk::Find(text, verb, at + verb.size())) {
      if (!IsAt(text, SkipQuotes(text, at + verb.size()))) continue;
      std::string standIn = StandInBefore(text, SkipQuotesBack(text, at));
      if (!standIn.empty()) return standIn;
    }
  }
  // "replace # with @".
  const std::string low = gbk::LowerLatin(text);
  for (std::size_t at = low.find("replace"); at != std::string::npos;
       at = low.find("replace", at + 7)) {
    const std::size_t from = SkipQuotes(text, at + 7);
    std::size_t with = low.find("with", from);
    if (with == std::string::npos || with > from + 12) continue;
    if (!IsAt(text, SkipQuotes(text, with + 4))) continue;
    std::string standIn = StandInBefore(text, SkipQuotesBack(text, with));
    if (!standIn.empty() && SkipQuotesBack(text, with) - standIn.size() == from) return standIn;
  }
  return {};
}

std::string RevealEmails(std::string_view text, std::string_view hinted) {
  const std::vector<std::string> hint = {gbk::LowerLatin(hinted)};
  const std::vector<std::string>& plain = PlainStandIns();
  std::string out;
  out.reserve(text.size());
  std::size_t asciiFrom = 0;  // where the run of single-byte characters at the end of out starts
  // The bytes a stand-in can start with, so that most characters are copied at once.
  std::array<bool, 256> starts{};
  for (const auto* list : {&plain, &hint})
    for (const std::string& w : *list)
      if (!w.empty()) {
        const auto b = static_cast<unsigned char>(w[0]);
        starts[b] = true;
        if (b >= 'a' && b <= 'z') starts[b - 'a' + 'A'] = true;
      }
  for (std::size_t i = 0; i < text.size();) {
    const bool candidate = starts[static_cast<unsigned char>(text[i])];
    const std::string* standIn = candidate ? WordAt(text, i, plain) : nullptr;
    std::size_t len = standIn ? standIn->size() : 0;
    if (!standIn && candidate && !hinted.empty() && WordAt(text, i, hint)) {
      len = hint[0].size();
      // A stand-in of letters ("at") is a word of its own: "info at example.com".
      if (std::isalpha(static_cast<unsigned char>(hint[0][0])) &&
          (i == 0 || text[i - 1] != ' ' || i + len >= text.size() || text[i + len] != ' '))
        len = 0;
    }
    if (len == 0) {
      const std::size_t n = gbk::CharLen(text, i);
      out.append(text.substr(i, n));
      if (n > 1) asciiFrom = out.size();
      i += n;
      continue;
    }
    const bool bareAt = standIn && *standIn == "@";
    // The local part already copied, a blank before a written-out stand-in allowed.
    std::size_t localEnd = out.size();
    if (!bareAt && localEnd > 0 && out[localEnd - 1] == ' ') --localEnd;
    std::size_t localFrom = localEnd;
    while (localFrom > asciiFrom && localEnd - localFrom < kMaxLocal &&
           IsLocalChar(out[localFrom - 1]))
      --localFrom;
    while (localFrom < localEnd && !IsAsciiAlnum(out[localFrom])) ++localFrom;
    // The domain: labels joined by "." or a written-out dot.
    std::size_t j = i + len;
    if (!bareAt && j < text.size() && text[j] == ' ') ++j;
    std::string domain;
    std::string lastLabel;
    std::size_t end = j;
    bool dotted = false, rewritten = false;
    while (j < text.size() && domain.size() < kMaxDomain) {
      std::size_t e = j;
      while (e < text.size() && e - j < 63 && (IsAsciiAlnum(text[e]) || text[e] == '-')) ++e;
      if (e == j) break;
      lastLabel = std::string(text.substr(j, e - j));
      if (!domain.empty()) {
        domain.push_back('.');
        dotted = true;
      }
      domain += lastLabel;
      end = e;
      // The next separator.
      std::size_t k = e;
      if (k < text.size() && text[k] == '.') {
        ++k;
      } else {
        std::size_t b = k < text.size() && text[k] == ' ' ? k + 1 : k;
        const std::string* dot = WordAt(text, b, DotStandIns());
        if (!dot) break;
        k = b + dot->size();
        if (k < text.size() && text[k] == ' ') ++k;
        rewritten = true;
      }
      if (k >= text.size() || !IsAsciiAlnum(text[k])) break;
      j = k;
    }
    bool topLevel = lastLabel.size() >= 2;
    for (char c : lastLabel) topLevel = topLevel && std::isalpha(static_cast<unsigned char>(c));
    if (localFrom == localEnd || !dotted || !topLevel || (bareAt && !rewritten)) {
      out.append(text.substr(i, len));
      if (len > 1 && !IsAsciiAlnum(text[i])) asciiFrom = out.size();
      i += len;
      continue;
    }
    out.resize(localEnd);
    out.push_back('@');
    out += domain;
    i = end;
  }
  return out;
}

std::string DecodeAsciiReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '&' || i + 3 >= text.size() || text[i + 1] != '#') {
      out.push_back(text[i++]);
      continue;
    }
    const bool hex = text[i + 2] == 'x' || text[i + 2] == 'X';
    std::size_t k = i + (hex ? 3 : 2);
    long value = 0;
    const std::size_t from = k;
    while (k < text.size() && k - from < 7 &&
           (hex ? HexValue(text[k]) >= 0 : std::isdigit(static_cast<unsigned char>(text[k])))) {
      value = value * (hex ? 16 : 10) + (hex ? HexValue(text[k]) : text[k] - '0');
      ++k;
    }
    if (k == from || k >= text.size() || text[k] != ';' || value < 0x20 || value > 0x7E) {
      out.push_back(text[i++]);
      continue;
    }
    out.push_back(static_cast<char>(value));
    i = k + 1;
  }
  return out;
}

namespace {

// One token of a script, as far as string assembly needs it.
struct TScriptToken {
  enum TKind { kString, kName, kPlus, kAssign, kAppend, kOther } Kind = kOther;
  std::string Text;
  char Symbol = 0;
};

// A string literal starting at the quote `i`; escapes of ASCII characters decoded. A literal
// ends at its quote or, unless a template, at the end of the line.
std::size_t ReadLiteral(std::string_view s, std::size_t i, std::string& value) {
  const char quote = s[i++];
  while (i < s.size() && s[i] != quote) {
    if (s[i] == '\n' && quote != '`') return i;
    if (s[i] != '\\' || i + 1 >= s.size()) {
      if (value.size() <= kMaxAddress * 4) value.push_back(s[i]);
      ++i;
      continue;
    }
    const char e = s[i + 1];
    std::size_t digits = e == 'x' ? 2 : e == 'u' ? 4 : 0;
    int code = 0;
    bool ok = digits > 0 && i + 2 + digits <= s.size();
    for (std::size_t k = 0; ok && k < digits; ++k) {
      const int h = HexValue(s[i + 2 + k]);
      ok = h >= 0;
      code = code * 16 + h;
    }
    char c = e == 'n' ? '\n' : e;
    if (ok) c = code >= 0x20 && code <= 0x7E ? static_cast<char>(code) : '?';
    if (value.size() <= kMaxAddress * 4) value.push_back(c);
    i += 2 + (ok ? digits : 0);
  }
  return i + 1;
}

std::vector<TScriptToken> ScriptTokens(std::string_view s) {
  std::vector<TScriptToken> tokens;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (gbk::IsBlankByte(static_cast<unsigned char>(c))) {
      ++i;
    } else if (s.compare(i, 2, "//") == 0) {
      i = s.find('\n', i);
    } else if (s.compare(i, 2, "/*") == 0) {
      i = s.find("*/", i + 2);
      if (i != std::string_view::npos) i += 2;
    } else if (c == '\'' || c == '"' || c == '`') {
      TScriptToken t;
      t.Kind = TScriptToken::kString;
      i = ReadLiteral(s, i, t.Text);
      tokens.push_back(std::move(t));
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
      std::size_t e = i;
      while (e < s.size() && (IsAsciiAlnum(s[e]) || s[e] == '_' || s[e] == '$')) ++e;
      tokens.push_back(
          {TScriptToken::kName, std::string(s.substr(i, std::min<std::size_t>(e - i, 64))), 0});
      i = e;
    } else if (s.compare(i, 2, "+=") == 0) {
      tokens.push_back({TScriptToken::kAppend, {}, 0});
      i += 2;
    } else if (c == '+') {
      tokens.push_back({TScriptToken::kPlus, {}, 0});
      ++i;
    } else if (c == '=' && s.compare(i, 2, "==") != 0 && s.compare(i, 2, "=>") != 0) {
      tokens.push_back({TScriptToken::kAssign, {}, 0});
      ++i;
    } else {
      tokens.push_back({TScriptToken::kOther, {}, c});
      i += gbk::CharLen(s, i);
      if (c == '=' && i < s.size() && (s[i] == '=' || s[i] == '>')) ++i;
    }
    if (i == std::string_view::npos) break;
  }
  return tokens;
}

}  // namespace

std::vector<std::string> ScriptEmails(std::string_view script) {
  const std::vector<TScriptToken> tokens = ScriptTokens(script);
  std::unordered_map<std::string, std::string> values;  // variables holding known strings
  std::vector<std::string> emails;
  std::string value;
  int operands = 0;
  bool known = true;
  std::string target;  // the variable the expression is assigned to

  const auto finish = [&] {
    if (operands >= 2) {
      for (TFound& f : FindEmails(DecodeAsciiReferences(value)))
        if (emails.size() < kMaxScriptEmails &&
            std::find(emails.begin(), emails.end(), f.Value) == emails.end())
          emails.push_back(std::move(f.Value));
    }
    if (!target.empty()) {
      if (known && operands > 0 && value.size() <= kMaxAddress * 4)
        values[target] = value;
      else
        values.erase(target);
    }
    value.clear();
    operands = 0;
    known = true;
    target.clear();
  };

  for (std::size_t n = 0; n < tokens.size(); ++n) {
    const TScriptToken& t = tokens[n];
    const bool next = n + 1 < tokens.size();
    const bool afterPlus = n > 0 && (tokens[n - 1].Kind == TScriptToken::kPlus ||
                                     tokens[n - 1].Kind == TScriptToken::kAppend);
    if (t.Kind == TScriptToken::kName && next &&
        (tokens[n + 1].Kind == TScriptToken::kAssign ||
         tokens[n + 1].Kind == TScriptToken::kAppend)) {
      finish();
      target = t.Text;
      if (tokens[n + 1].Kind == TScriptToken::kAppend) {
        const auto it = values.find(target);
        if (it != values.end()) {
          value = it->second;
          ++operands;
        } else {
          known = false;
        }
      }
      ++n;
      continue;
    }
    const bool call =
        t.Kind == TScriptToken::kName && next && tokens[n + 1].Kind == TScriptToken::kOther &&
        (tokens[n + 1].Symbol == '(' || tokens[n + 1].Symbol == '.' || tokens[n + 1].Symbol == '[');
    if (t.Kind == TScriptToken::kString || (t.Kind == TScriptToken::kName && !call)) {
      if (operands > 0 && !afterPlus) finish();
      const auto it = t.Kind == TScriptToken::kName ? values.find(t.Text) : values.end();
      if (t.Kind == TScriptToken::kString) {
        value += t.Text;
      } else if (it != values.end()) {
        value += it->second;
      } else {
        value.push_back(' ');  // an unknown value joins nothing across it
        known = false;
      }
      if (value.size() > kMaxAddress * 4) {
        value.erase(0, value.size() - kMaxAddress * 4);
        known = false;
      }
      ++operands;
      continue;
    }
    if (t.Kind == TScriptToken::kPlus) continue;
    finish();
  }
  finish();
  return emails;
}

}  // namespace contact
