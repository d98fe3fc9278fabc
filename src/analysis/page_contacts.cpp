// Recognition for today's pages: the page is read as visible lines (scripts, comments and
// hidden elements left out), labels are found before every colon and classified by the
// keyword lists, values are cut at the next label, e-mail addresses and telephone numbers
// are also found by their shape, and the lines are grouped into one record per office
// heading. Records sharing a contact are merged; names come from the heading, a labelled
// name, the footer or the page title.

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/contact_shapes.h"
#include "analysis/parse_html.h"
#include "analysis/recognition_words.h"
#include "core/gbk.h"

namespace {

using contact::TFound;

enum TField { kAddress = 0, kPostCode = 1, kTelephone = 2, kFax = 3, kEmail = 4, kCompany = 5 };

constexpr std::size_t kMaxValue = 150;
constexpr std::size_t kMaxName = 100;
constexpr int kHeadingReach = 8;  // lines between a heading and its record's first contact

struct TLine {
  std::string Text;
  std::vector<std::string> Mailto;
};

struct TTag {
  std::string Name;  // lower-cased
  bool Closing = false;
  bool SelfClosing = false;
};

TTag ParseTag(std::string_view tag) {
  TTag t;
  std::size_t i = 1;
  if (i < tag.size() && tag[i] == '/') {
    t.Closing = true;
    ++i;
  }
  while (i < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[i])) || tag[i] == ':')) {
    t.Name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(tag[i]))));
    ++i;
  }
  t.SelfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
  return t;
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsBreakTag(std::string_view n) {
  return OneOf(
      n, {"p",          "br",     "div",   "tr",    "td",      "th",       "li",      "dd",
          "dt",         "dl",     "ul",    "ol",    "h1",      "h2",       "h3",      "h4",
          "h5",         "h6",     "table", "tbody", "thead",   "tfoot",    "section", "article",
          "header",     "footer", "nav",   "aside", "address", "form",     "hr",      "center",
          "blockquote", "pre",    "body",  "title", "caption", "fieldset", "main"});
}
bool IsSkipTag(std::string_view n) {
  return OneOf(n, {"script", "style", "noscript", "textarea", "select", "button", "iframe",
                   "object", "template", "svg"});
}
bool IsVoidTag(std::string_view n) {
  return OneOf(n, {"br", "img", "input", "meta", "link", "hr", "area", "base", "col", "embed",
                   "param", "source", "wbr"});
}

bool IsHiddenTag(std::string_view tag) {
  std::string compact;
  compact.reserve(tag.size());
  for (char c : tag)
    if (!gbk::IsBlankByte(static_cast<unsigned char>(c))) compact.push_back(c);
  compact = gbk::LowerLatin(compact);
  return compact.find("display:none") != std::string::npos ||
         compact.find("visibility:hidden") != std::string::npos;
}

// The address of a mailto anchor, or empty.
std::string MailtoOf(std::string_view tag) {
  const std::size_t at = gbk::FindNoCase(tag, "mailto:");
  if (at == gbk::npos) return {};
  std::size_t e = at + 7;
  while (e < tag.size() && tag[e] != '"' && tag[e] != '\'' && tag[e] != '?' && tag[e] != '>' &&
         !gbk::IsBlankByte(static_cast<unsigned char>(tag[e])))
    ++e;
  const std::string address(gbk::TrimView(tag.substr(at + 7, e - at - 7)));
  return TParseHTML::IsEmail(address) ? address : std::string();
}

std::string DecodeText(std::string_view text) {
  std::string out(text);
  for (auto [from, to] :
       std::initializer_list<std::pair<std::string_view, std::string_view>>{{"&amp;", "&"},
                                                                            {"&quot;", "\""},
                                                                            {"&lt;", "<"},
                                                                            {"&gt;", ">"},
                                                                            {"&#160;", " "},
                                                                            {"&middot;", " "},
                                                                            {"&bull;", " "},
                                                                            {"&ensp;", " "},
                                                                            {"&emsp;", " "}})
    if (out.find('&') != std::string::npos) out = gbk::ReplaceAllNoCase(out, from, to);
  return out;
}

// Blanks collapsed to single spaces, trimmed.
std::string Collapse(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  bool blank = false;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = gbk::CharLen(s, i);
    if (n == 1 && gbk::IsBlankByte(static_cast<unsigned char>(s[i]))) {
      blank = true;
    } else {
      if (blank && !out.empty()) out.push_back(' ');
      blank = false;
      out.append(s.substr(i, n));
    }
    i += n;
  }
  return out;
}

// The visible lines of the page and its <title>.
template <typename TTokens, typename TIsTag>
std::vector<TLine> PageLines(const TTokens& tokens, const TIsTag& isTag, std::string& title) {
  const std::size_t count = std::min(tokens.size(), isTag.size());
  bool hasBody = false;
  for (std::size_t n = 0; n < count && !hasBody; ++n)
    hasBody = isTag[n] && ParseTag(gbk::TrimView(std::string_view(tokens[n]))).Name == "body";

  std::vector<TLine> lines;
  TLine current;
  std::string buffer;
  auto endLine = [&] {
    std::string text = Collapse(buffer);
    buffer.clear();
    if (text.empty() && current.Mailto.empty()) return;
    if (text.empty() && !lines.empty()) {
      for (auto& m : current.Mailto) lines.back().Mailto.push_back(std::move(m));
    } else {
      current.Text = std::move(text);
      lines.push_back(std::move(current));
    }
    current = {};
  };

  bool inBody = !hasBody;
  bool inTitle = false;
  bool inComment = false;
  std::string skipName;
  int skipDepth = 0;
  for (std::size_t n = 0; n < count; ++n) {
    const std::string_view t = gbk::TrimView(std::string_view(tokens[n]));
    if (inComment) {
      if (t.find("-->") != std::string_view::npos) inComment = false;
      continue;
    }
    if (t.starts_with("<!--")) {
      inComment = t.find("-->", 4) == std::string_view::npos;
      continue;
    }
    if (!isTag[n]) {
      if (skipDepth > 0) continue;
      if (inTitle) title += DecodeText(t);
      if (!inBody) continue;
      buffer.push_back(' ');
      buffer += DecodeText(t);
      continue;
    }
    const TTag tag = ParseTag(t);
    if (skipDepth > 0) {
      if (tag.Name == skipName && !tag.SelfClosing) skipDepth += tag.Closing ? -1 : 1;
      continue;
    }
    if (tag.Name == "title") inTitle = !tag.Closing;
    if (tag.Name == "body" && !tag.Closing) inBody = true;
    if (!tag.Closing && !tag.SelfClosing && !tag.Name.empty() &&
        (IsSkipTag(tag.Name) || (!IsVoidTag(tag.Name) && IsHiddenTag(t)))) {
      skipName = tag.Name;
      skipDepth = 1;
      continue;
    }
    if (!inBody) continue;
    if (tag.Name == "a" && !tag.Closing) {
      std::string m = MailtoOf(t);
      if (!m.empty()) current.Mailto.push_back(std::move(m));
    }
    if (IsBreakTag(tag.Name))
      endLine();
    else
      buffer.push_back(' ');
  }
  endLine();
  title = Collapse(title);
  return lines;
}

std::vector<std::string> ToGbk(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* u : utf8) out.push_back(gbk::FromUtf8(u));
  return out;
}

bool ContainsAny(std::string_view lowered, const std::vector<std::string>& words) {
  for (const auto& w : words)
    if (gbk::Contains(lowered, w)) return true;
  return false;
}

std::string RemoveAll(std::string text, const std::vector<std::string>& loweredWords) {
  for (const auto& w : loweredWords) text = gbk::ReplaceAllNoCase(text, w, " ");
  return Collapse(text);
}

bool IsLatinLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A character that can stand in a label: a Chinese character, a Latin letter, "-", "/".
bool IsLabelChar(std::string_view s, std::size_t i) {
  if (contact::IsHanziAt(s, i)) return true;
  const char c = s[i];
  if (IsLatinLetter(c) || c == '-' || c == '/' || c == '_' || c == '(' || c == ')') return true;
  // Full-width parentheses: "传真（Fax）".
  return i + 1 < s.size() && static_cast<unsigned char>(c) == 0xA3 &&
         (static_cast<unsigned char>(s[i + 1]) == 0xA8 ||
          static_cast<unsigned char>(s[i + 1]) == 0xA9);
}

struct TLabel {
  std::size_t From = 0;       // label start
  std::size_t ValueFrom = 0;  // after the colon
  unsigned Fields = 0;        // bit per TField
  bool NoShape = false;
  bool Owner = false;
};

class TPageReader {
 public:
  TPageReader(const std::array<TLikeList, 5>& labels, const TLikeList& company)
      : words_(RecognitionWords()) {
    for (int f = 0; f < 5; ++f) keywords_[f] = Compact(labels[f]);
    keywords_[kCompany] = Compact(company);
  }

  // Fields named by a label (blanks removed, Latin lower-cased); split at "/" so that
  // "电话/传真" names both. In each part the keyword ending last wins ("公司地址" is an
  // address).
  TLabel Classify(std::string_view labelText) const {
    TLabel label;
    std::string compact;
    for (char c : gbk::LowerLatin(labelText))
      if (!gbk::IsBlankByte(static_cast<unsigned char>(c))) compact.push_back(c);
    label.NoShape = ContainsAny(compact, words_.NoShapeLabels);
    label.Owner = ContainsAny(compact, words_.OwnerLabels);
    std::size_t from = 0;
    while (from <= compact.size()) {
      std::size_t slash = compact.find('/', from);
      const std::size_t sep = gbk::Find(compact, GBK("、"), from);
      if (sep != gbk::npos && (slash == std::string::npos || sep < slash)) slash = sep;
      const std::string_view part = std::string_view(compact).substr(
          from, slash == std::string::npos ? std::string::npos : slash - from);
      int best = -1;
      std::size_t bestEnd = 0, bestLen = 0;
      for (int f = 0; f < 6; ++f) {
        for (const auto& w : keywords_[f]) {
          const std::size_t at = gbk::Find(part, w);
          if (at == gbk::npos) continue;
          if (IsLatinLetter(w[0]) && at > 0 && IsLatinLetter(part[at - 1])) continue;
          const std::size_t end = at + w.size();
          if (best < 0 || end > bestEnd || (end == bestEnd && w.size() > bestLen)) {
            best = f;
            bestEnd = end;
            bestLen = w.size();
          }
        }
      }
      if (best >= 0) label.Fields |= 1u << best;
      if (slash == std::string::npos) break;
      from = slash + (compact[slash] == '/' ? 1 : 2);
    }
    return label;
  }

  // Every "label:" of a line, in order.
  std::vector<TLabel> Labels(std::string_view line) const {
    std::vector<TLabel> labels;
    std::vector<std::size_t> starts;  // character starts
    for (std::size_t i = 0; i < line.size(); i += gbk::CharLen(line, i)) starts.push_back(i);
    for (std::size_t ci = 0; ci < starts.size(); ++ci) {
      const std::size_t i = starts[ci];
      if (line[i] != ':') continue;
      if (line.substr(i + 1, 2) == "//") continue;
      if (ci > 0 && ci + 1 < starts.size() &&
          std::isdigit(static_cast<unsigned char>(line[i - 1])) &&
          std::isdigit(static_cast<unsigned char>(line[starts[ci + 1]])))
        continue;
      std::size_t k = ci;
      while (k > 0 && line[starts[k - 1]] == ' ') --k;
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
      const std::size_t from = starts[s];
      const std::size_t to = k < starts.size() ? starts[k] : line.size();
      TLabel label = Classify(line.substr(from, to - from));
      label.From = from;
      label.ValueFrom = i + 1;
      if (!labels.empty() && labels.back().ValueFrom > from) continue;
      labels.push_back(label);
    }
    return labels;
  }

  // A line that is only a label ("联系电话", "邮 箱 *"): its fields, else 0.
  unsigned LabelOnly(std::string_view line) const {
    std::string_view t = gbk::TrimView(line);
    while (!t.empty() && (t.back() == '*' || t.back() == ' ')) t.remove_suffix(1);
    if (t.empty() || t.size() > 16) return 0;
    for (std::size_t i = 0; i < t.size(); i += gbk::CharLen(t, i))
      if (!IsLabelChar(t, i) && t[i] != ' ') return 0;
    return Classify(t).Fields;
  }

  const TRecognitionWords& Words() const { return words_; }

 private:
  static TLikeList Compact(const TLikeList& lowered) {
    TLikeList out;
    for (const auto& w : lowered) {
      std::string c;
      for (char ch : w)
        if (!gbk::IsBlankByte(static_cast<unsigned char>(ch))) c.push_back(ch);
      if (!c.empty() && c != "mailto") out.push_back(std::move(c));
    }
    return out;
  }

  const TRecognitionWords& words_;
  std::array<TLikeList, 6> keywords_;
};

struct TRecord {
  std::string Heading;
  int Kind = 0;  // 0 none, 1 company name, 2 office of the page's company
  int HeadingLine = -1;
  std::string Company;
  std::string Address;
  bool AddressLabelled = false;
  std::string PostCode;
  std::vector<std::string> Phones, Faxes, Emails;

  bool HasContact() const { return !Phones.empty() || !Faxes.empty() || !Emails.empty(); }
  bool Empty() const { return !HasContact() && Address.empty() && PostCode.empty(); }
};

bool SamePhone(const std::vector<std::string>& list, std::string_view number) {
  for (const auto& p : list)
    if (contact::SameNumber(p, number)) return true;
  return false;
}
bool SameEmail(const std::vector<std::string>& list, std::string_view email) {
  const std::string low = gbk::LowerLatin(email);
  for (const auto& e : list)
    if (gbk::LowerLatin(e) == low) return true;
  return false;
}
// A record keeps a few values per field; a page listing thousands of numbers is no record.
constexpr std::size_t kMaxPerField = 12;
void AddPhone(std::vector<std::string>& list, std::string number) {
  if (list.size() < kMaxPerField && !SamePhone(list, number)) list.push_back(std::move(number));
}
void AddEmail(std::vector<std::string>& list, std::string email) {
  if (list.size() < kMaxPerField && !SameEmail(list, email)) list.push_back(std::move(email));
}

bool ShareContact(const TRecord& a, const TRecord& b) {
  for (const auto* list : {&b.Phones, &b.Faxes})
    for (const auto& p : *list)
      if (SamePhone(a.Phones, p) || SamePhone(a.Faxes, p)) return true;
  for (const auto& e : b.Emails)
    if (SameEmail(a.Emails, e)) return true;
  return false;
}

// The contacts of a record as keys for finding merge candidates (their last seven digits).
std::vector<std::string> ContactKeys(const TRecord& r) {
  std::vector<std::string> keys;
  for (const auto* list : {&r.Phones, &r.Faxes})
    for (const auto& p : *list) {
      const std::string key = contact::PhoneKey(p);
      keys.push_back("p" + key.substr(key.size() > 7 ? key.size() - 7 : 0));
    }
  for (const auto& e : r.Emails) keys.push_back("e" + gbk::LowerLatin(e));
  return keys;
}

void Merge(TRecord& into, const TRecord& from) {
  if (into.Kind == 0 && from.Kind != 0) {
    into.Heading = from.Heading;
    into.Kind = from.Kind;
  }
  if (into.Company.empty()) into.Company = from.Company;
  if (into.Address.empty()) into.Address = from.Address;
  if (into.PostCode.empty()) into.PostCode = from.PostCode;
  for (const auto& p : from.Phones) AddPhone(into.Phones, p);
  for (const auto& p : from.Faxes) AddPhone(into.Faxes, p);
  for (const auto& e : from.Emails) AddEmail(into.Emails, e);
}

std::string Join(const std::vector<std::string>& list, std::string_view sep) {
  std::string out;
  for (const auto& s : list) {
    if (!out.empty()) out += sep;
    out += s;
  }
  return out;
}

bool EndsWithLatin(std::string_view s) {
  return !s.empty() && IsLatinLetter(s.back());
}

}  // namespace

void TParseHTML::AnalyseModern() {
  const TGlobalSet& s = Settings();
  const bool wantAddress = s.FlagFindAddressAndPostCode;
  const bool wantPhone = s.FlagFindTelAndFax;
  const bool wantMail = s.FlagFindMailAddress;
  const TPageReader reader(lowered_.Labels, lowered_.Company);
  const TRecognitionWords& words = reader.Words();

  std::string pageTitle;
  const std::vector<TLine> lines = PageLines(Tokens, TokenIsTag, pageTitle);
  std::vector<std::vector<TLabel>> labels(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) labels[i] = reader.Labels(lines[i].Text);
  std::vector<uint8_t> consumed(lines.size(), 0);

  auto lowered = [](std::string_view t) { return gbk::LowerLatin(t); };
  auto endsWithSuffix = [&](std::string_view name) {
    const std::string low = lowered(name);
    for (const auto& w : words.CompanySuffixes)
      if (low.size() >= w.size() + 4 && low.ends_with(w)) return true;
    return false;
  };
  // A trailing "(…)" or "（…）" is dropped before the name test.
  auto stripAside = [](std::string_view t) {
    t = gbk::TrimView(t);
    static const std::vector<std::string> opens = ToGbk({"(", "（"});
    for (const std::string& o : opens) {
      const std::size_t at = gbk::Find(t, o);
      if (at != gbk::npos && at > 0) return gbk::TrimView(t.substr(0, at));
    }
    return t;
  };
  auto isCompanyShape = [&](std::string_view value) {
    const std::string_view core = stripAside(value);
    return !core.empty() && core.size() <= kMaxName && endsWithSuffix(core) &&
           core.find(':') == std::string_view::npos;
  };
  auto hasDigits = [](std::string_view t, std::size_t atLeast) {
    std::size_t n = 0;
    for (char c : t) n += (c >= '0' && c <= '9');
    return n >= atLeast;
  };

  // A heading line: kind 1 a company name, 2 an office of the page's company.
  auto headingOf = [&](std::size_t i, std::string& name) -> int {
    std::string t = lines[i].Text;
    static const std::vector<std::string> brackets =
        ToGbk({"【", "】", "[", "]", "「", "」", "·", "•", "《", "》"});
    for (const std::string& b : brackets) t = gbk::ReplaceAll(t, b, " ");
    t = Collapse(t);
    if (t.empty() || t.size() > 80 || t.find('@') != std::string::npos) return 0;
    const std::string n = RemoveAll(t, words.NoiseWords);
    if (n.empty()) return 0;
    const std::string_view core = stripAside(n);
    if (hasDigits(core, 3)) return 0;
    const std::string low = lowered(core);
    for (const auto& w : words.BranchWords) {
      if (gbk::Contains(low, w) && low.size() >= w.size() + 2) {
        name = std::string(core);
        return 2;
      }
    }
    if (endsWithSuffix(core)) {
      name = std::string(core);
      return 1;
    }
    // A short place name right above a labelled line ("北京" over "地址：").
    bool allHanzi = core.size() >= 4 && core.size() <= 8;
    for (std::size_t k = 0; allHanzi && k < core.size(); k += 2)
      allHanzi = contact::IsHanziAt(core, k);
    if (allHanzi && i + 1 < lines.size() && !labels[i + 1].empty() &&
        labels[i + 1].front().From == 0 && labels[i + 1].front().Fields != 0) {
      name = std::string(core);
      return 2;
    }
    return 0;
  };

  std::vector<TRecord> records;
  TRecord cur;
  std::string labelledName, headingName, valueName, ownerName;
  int index = 0;
  auto close = [&] {
    if (!cur.Empty()) records.push_back(std::move(cur));
    cur = {};
  };
  auto touchContact = [&] {
    if (cur.HeadingLine >= 0 && !cur.HasContact() && index - cur.HeadingLine > kHeadingReach) {
      cur.Kind = 0;
      cur.Heading.clear();
    }
  };
  auto addEmails = [&](std::string_view text) {
    if (!wantMail) return;
    for (TFound& e : contact::FindEmails(text)) {
      touchContact();
      AddEmail(cur.Emails, std::move(e.Value));
    }
  };
  // Text with its e-mail and web addresses blanked, for the phone finder.
  auto withoutAddresses = [](std::string_view text) {
    std::string out(text);
    for (const auto& f : contact::FindEmails(text)) out.replace(f.Pos, f.Len, f.Len, ' ');
    for (const auto& f : contact::FindWebAddresses(out)) out.replace(f.Pos, f.Len, f.Len, ' ');
    return out;
  };
  auto addPhones = [&](std::string_view text, bool labelled, bool fax) {
    if (!wantPhone) return;
    for (TFound& p : contact::FindPhones(withoutAddresses(text), labelled)) {
      touchContact();
      AddPhone(fax ? cur.Faxes : cur.Phones, std::move(p.Value));
    }
  };
  auto shapeScan = [&](std::string_view text) {
    addEmails(text);
    addPhones(text, false, false);
  };
  auto isAddress = [&](std::string_view v) {
    return !v.empty() && v.size() <= kMaxValue && (IsAddressLine(v) || hasDigits(v, 1)) &&
           !ContainsAny(lowered(v), words.FooterMarks);
  };
  // Whether a value for the field stands in `text`.
  auto passes = [&](int f, std::string_view text) {
    switch (f) {
      case kAddress:
        return isAddress(text);
      case kPostCode:
        return !contact::FindPostCode(text).empty();
      case kTelephone:
      case kFax:
        return !contact::FindPhones(withoutAddresses(text), true).empty();
      case kEmail:
        return !contact::FindEmails(text).empty();
      default:
        return isCompanyShape(text);
    }
  };
  // Each line is tested at most once per field, however many empty labels stand beside it.
  std::vector<std::array<int8_t, 6>> passMemo(lines.size());
  for (auto& m : passMemo) m.fill(-1);
  auto passesLine = [&](int f, std::size_t line) {
    if (passMemo[line][f] < 0) passMemo[line][f] = passes(f, lines[line].Text) ? 1 : 0;
    return passMemo[line][f] == 1;
  };
  auto setField = [&](int f, std::string_view value, bool labelled) {
    value = gbk::TrimView(value);
    switch (f) {
      case kAddress:
        if (!wantAddress || !isAddress(value)) return;
        if (cur.AddressLabelled && cur.HasContact()) close();
        cur.Address = std::string(value);
        cur.AddressLabelled = labelled;
        return;
      case kPostCode:
        if (wantAddress && cur.PostCode.empty()) cur.PostCode = contact::FindPostCode(value);
        return;
      case kTelephone:
      case kFax:
        addPhones(value, true, f == kFax);
        return;
      case kEmail:
        addEmails(value);
        return;
      default:
        if (value.empty() || value.size() > kMaxName) return;
        if (!cur.Company.empty() && cur.HasContact()) close();
        cur.Company = std::string(value);
        if (labelledName.empty()) labelledName = cur.Company;
        return;
    }
  };
  // A label with nothing after it: its value is in the next element, or (for pages that
  // put values first) in the line before.
  auto valueNearby = [&](std::size_t i, int f) {
    if (i + 1 < lines.size() && !consumed[i + 1] && labels[i + 1].empty() &&
        !reader.LabelOnly(lines[i + 1].Text) && passesLine(f, i + 1)) {
      consumed[i + 1] = 1;
      setField(f, lines[i + 1].Text, true);
      for (const auto& m : lines[i + 1].Mailto)
        if (wantMail) AddEmail(cur.Emails, m);
      return;
    }
    if ((f == kAddress || f == kPostCode) && i > 0 && labels[i - 1].empty() &&
        passesLine(f, i - 1) && cur.Address != lines[i - 1].Text)
      setField(f, lines[i - 1].Text, true);
  };
  auto setFields = [&](std::size_t i, unsigned fields, std::string_view value) {
    for (int f = 0; f < 6; ++f) {
      if (!(fields & (1u << f))) continue;
      if (gbk::IsBlank(value))
        valueNearby(i, f);
      else
        setField(f, value, true);
    }
  };

  for (std::size_t i = 0; i < lines.size(); ++i, ++index) {
    if (consumed[i]) continue;
    const std::string& text = lines[i].Text;
    const std::vector<TLabel>& ls = labels[i];
    const std::string low = lowered(text);
    const bool footer = ContainsAny(low, words.FooterMarks);
    if (footer) {
      close();
      // The owner's name: a chunk of the footer that ends like a company name.
      std::size_t from = 0;
      while (from < text.size() && ownerName.empty()) {
        std::size_t sp = text.find(' ', from);
        if (sp == std::string::npos) sp = text.size();
        const std::string_view chunk = std::string_view(text).substr(from, sp - from);
        if (isCompanyShape(chunk)) ownerName = std::string(stripAside(chunk));
        from = sp + 1;
      }
    }
    for (const auto& m : lines[i].Mailto)
      if (wantMail) {
        touchContact();
        AddEmail(cur.Emails, m);
      }

    if (ls.empty()) {
      if (const unsigned fields = reader.LabelOnly(text)) {
        setFields(i, fields, {});
        continue;
      }
      // A label and its value on one line without a colon, either way round ("Fax +86 21
      // 6048 3471", "0574-87654321 联系电话").
      if (const std::size_t sp = text.find(' '); sp != std::string::npos) {
        const std::size_t last = text.rfind(' ');
        const std::string_view t(text);
        bool done = false;
        for (auto [label, value] : {std::pair(t.substr(0, sp), t.substr(sp + 1)),
                                    std::pair(t.substr(last + 1), t.substr(0, last))}) {
          const unsigned fields = reader.LabelOnly(label);
          bool all = fields != 0 && label.size() <= 12;
          for (int f = 0; f < 6 && all; ++f)
            if (fields & (1u << f))
              all = passes(f, value) && (f != kAddress || IsAddressLine(value));
          if (all) {
            setFields(i, fields, value);
            done = true;
            break;
          }
        }
        if (done) continue;
      }
      std::string name;
      const int kind = footer ? 0 : headingOf(i, name);
      if (kind != 0) {
        if (cur.HasContact()) close();
        if (!cur.AddressLabelled) cur.Address.clear();
        cur.Heading = name;
        cur.Kind = kind;
        cur.HeadingLine = index;
        if (kind == 1 && headingName.empty()) headingName = name;
        continue;
      }
      if (footer && ownerName.empty()) {
        // "X @ 2012 All Rights Reserved", "X 版权所有": the words before the first mark.
        std::size_t mark = low.find('@');
        for (const auto& w : words.FooterMarks) mark = std::min(mark, gbk::Find(low, w));
        const std::string_view lead =
            gbk::TrimView(std::string_view(text).substr(0, mark == std::string::npos ? 0 : mark));
        if (lead.size() >= 4 && lead.size() <= 40 && !hasDigits(lead, 1) &&
            lead.find('.') == std::string_view::npos)
          ownerName = std::string(lead);
        for (const auto& w : words.OwnerLabels) {
          if (!ownerName.empty()) break;
          const std::size_t at = gbk::Find(low, w);
          if (at == gbk::npos || at == 0) continue;
          std::string_view before = gbk::TrimView(std::string_view(text).substr(0, at));
          const std::size_t sp = before.rfind(' ');
          if (sp != std::string_view::npos) before = before.substr(sp + 1);
          if (before.size() >= 4 && !hasDigits(before, 1)) ownerName = std::string(before);
          break;
        }
      }
      if (wantAddress && cur.Kind != 0 && cur.Address.empty() && !cur.HasContact() &&
          IsAddressLine(text) && isAddress(text) && contact::IsHanziAt(text, 0)) {
        cur.Address = text;
        continue;
      }
      shapeScan(text);
      continue;
    }

    shapeScan(std::string_view(text).substr(0, ls.front().From));
    for (std::size_t k = 0; k < ls.size(); ++k) {
      const std::size_t end = k + 1 < ls.size() ? ls[k + 1].From : text.size();
      const std::string_view value =
          gbk::TrimView(std::string_view(text).substr(ls[k].ValueFrom, end - ls[k].ValueFrom));
      if (ls[k].Fields != 0) {
        setFields(i, ls[k].Fields, value);
        continue;
      }
      if (ls[k].Owner && ownerName.empty() && !value.empty() && value.size() <= kMaxName &&
          !hasDigits(value, 3))
        ownerName = std::string(value);
      if (valueName.empty() && isCompanyShape(value)) valueName = std::string(stripAside(value));
      if (!ls[k].NoShape) shapeScan(value);
    }
  }
  close();

  // Duplicates within the page: a record sharing a contact with an earlier one is merged
  // into it, unless both are named offices of their own.
  std::vector<TRecord> kept;
  std::unordered_map<std::string, std::vector<std::size_t>> keptByContact;
  for (TRecord& r : records) {
    if (!r.HasContact() && (wantPhone || wantMail)) continue;
    const std::vector<std::string> keys = ContactKeys(r);
    std::size_t into = kept.size();
    for (const auto& key : keys) {
      const auto it = keptByContact.find(key);
      if (it == keptByContact.end()) continue;
      // A few candidates per contact bound the work on pages repeating one hotline.
      for (std::size_t n = 0; n < it->second.size() && n < 8; ++n) {
        const std::size_t k = it->second[n];
        if (k >= into) break;
        if (kept[k].Kind != 0 && r.Kind != 0 && kept[k].Heading != r.Heading) continue;
        if (!ShareContact(kept[k], r)) continue;
        into = k;
        break;
      }
    }
    if (into < kept.size())
      Merge(kept[into], r);
    else
      kept.push_back(std::move(r));
    for (const auto& key : ContactKeys(kept[into])) {
      auto& owners = keptByContact[key];
      if (std::find(owners.begin(), owners.end(), into) == owners.end()) owners.push_back(into);
    }
  }
  // With at most one named record, every unnamed one (header hotline, footer) is the same
  // company's.
  {
    const auto named = [](const TRecord& r) { return r.Kind != 0 || !r.Company.empty(); };
    const auto count = std::count_if(kept.begin(), kept.end(), named);
    if (count <= 1 && kept.size() > 1) {
      const auto first = std::find_if(kept.begin(), kept.end(), named);
      const std::size_t into = first == kept.end() ? 0 : first - kept.begin();
      std::vector<TRecord> one;
      for (std::size_t k = 0; k < kept.size(); ++k)
        if (k != into) Merge(kept[into], kept[k]);
      one.push_back(std::move(kept[into]));
      kept = std::move(one);
    }
  }

  // The page's own name: labelled, a company heading, a labelled value shaped like a name,
  // the footer's owner, the title, the host.
  std::string titleName;
  {
    std::string t = pageTitle.empty() ? gbk::Trim(Title) : pageTitle;
    static const std::vector<std::string> separators =
        ToGbk({"-", "_", "|", "—", "–", ",", "，", "·"});
    for (const std::string& sep : separators) t = gbk::ReplaceAll(t, sep, "\n");
    std::string firstPlain;
    std::size_t from = 0;
    while (from <= t.size()) {
      std::size_t lf = t.find('\n', from);
      if (lf == std::string::npos) lf = t.size();
      const std::string part = RemoveAll(t.substr(from, lf - from), words.NoiseWords);
      from = lf + 1;
      if (part.size() < 4) continue;
      bool onlyBranch = false;
      for (const auto& w : words.BranchWords) onlyBranch = onlyBranch || lowered(part) == w;
      if (onlyBranch) continue;
      if (isCompanyShape(part) && part.size() > titleName.size()) titleName = part;
      if (firstPlain.empty()) firstPlain = part;
    }
    if (titleName.empty()) titleName = firstPlain;
  }
  std::string pageName;
  for (const std::string* n : {&labelledName, &headingName, &valueName, &ownerName, &titleName})
    if (pageName.empty() && !gbk::IsBlank(*n)) pageName = gbk::Trim(*n);
  if (pageName.empty()) {
    std::string host = gbk::Trim(PageURL);
    if (const std::size_t at = host.find("//"); at != std::string::npos) host = host.substr(at + 2);
    pageName = host.substr(0, host.find('/'));
  }

  for (const TRecord& r : kept) {
    std::string name;
    if (!r.Company.empty())
      name = r.Company;
    else if (r.Kind == 1)
      name = r.Heading;
    else if (r.Kind == 2) {
      if (gbk::Contains(r.Heading, pageName) || gbk::Contains(pageName, r.Heading))
        name = r.Heading.size() >= pageName.size() ? r.Heading : pageName;
      else
        name = pageName + (EndsWithLatin(pageName) && IsLatinLetter(r.Heading[0]) ? " " : "") +
               r.Heading;
    } else {
      name = pageName;
    }
    const bool added = AddRecord(name, wantAddress ? r.Address : std::string(),
                                 wantAddress ? r.PostCode : std::string(), Join(r.Phones, " "),
                                 Join(r.Faxes, " "), Join(r.Emails, ";"), 1);
    // A record named only by the page keeps the site entry's description, as one without a
    // name of its own does.
    if (added && r.Kind == 0 && r.Company.empty()) Descriptions.back() = Description;
  }
  if (wantMail && Companies.size() == 1 && gbk::IsBlank(Emails[0])) Emails[0] = HarvestMailto();
}
