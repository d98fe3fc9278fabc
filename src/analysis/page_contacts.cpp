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
// A visible line longer than this (a page without break tags, or junk) is read in pieces, so
// the per-character work of the shape finders stays small whatever the page.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

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
// Elements without content, and those whose end tag pages often leave out: a hidden one of
// these is not skipped, so that a missing end tag cannot hide the rest of the page.
bool IsVoidTag(std::string_view n) {
  return OneOf(
      n, {"br",     "img", "input", "meta", "link", "hr", "area", "base", "col", "embed", "param",
          "source", "wbr", "p",     "li",   "td",   "th", "tr",   "dd",   "dt",  "option"});
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
  {
    auto it = tokens.begin();
    for (std::size_t n = 0; n < count && !hasBody; ++n, ++it)
      hasBody = isTag[n] && ParseTag(gbk::TrimView(std::string_view(*it))).Name == "body";
  }

  std::vector<TLine> lines;
  TLine current;
  std::string buffer;
  // Moves every full piece of an over-long run into lines and gives back the rest.
  auto splitLong = [&](std::string text) {
    if (text.size() <= kMaxLineBytes) return text;
    std::string_view rest = text;
    while (rest.size() > kMaxLineBytes) {
      // Cut at the last blank before the limit, else at a character boundary.
      std::size_t cut = rest.rfind(' ', kMaxLineBytes);
      if (cut == std::string_view::npos || cut == 0) {
        cut = 0;
        while (cut < kMaxLineBytes) cut += gbk::CharLen(rest, cut);
      }
      lines.push_back({std::string(rest.substr(0, cut)), {}});
      rest.remove_prefix(std::min(rest.size(), cut + (cut < rest.size() && rest[cut] == ' ')));
    }
    return std::string(rest);
  };
  auto endLine = [&] {
    std::string text = splitLong(Collapse(buffer));
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
  auto token = tokens.begin();
  for (std::size_t n = 0; n < count; ++n, ++token) {
    const std::string_view t = gbk::TrimView(std::string_view(*token));
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
      // Untrimmed: text split only by a stray "<" stays one run; blanks are collapsed later.
      buffer += DecodeText(*token);
      // A run without break tags is cut as it grows, so it is never held twice whole.
      if (buffer.size() > 2 * kMaxLineBytes) buffer = splitLong(Collapse(buffer)) + ' ';
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
    const auto is = [&](const std::vector<std::string>& list) {
      return std::find(list.begin(), list.end(), compact) != list.end();
    };
    if (is(words_.ShortTelephoneLabels)) label.Fields = 1u << kTelephone;
    if (is(words_.ShortFaxLabels)) label.Fields = 1u << kFax;
    if (is(words_.ShortMailLabels)) label.Fields = 1u << kEmail;
    if (label.Fields != 0) return label;
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
  const TLikeList& PostCodeWords() const { return keywords_[kPostCode]; }

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

std::string Lowered(std::string_view t) {
  return gbk::LowerLatin(t);
}

bool HasDigits(std::string_view t, std::size_t atLeast) {
  std::size_t n = 0;
  for (char c : t) n += (c >= '0' && c <= '9');
  return n >= atLeast;
}

// A trailing "(…)" or "（…）" is dropped before the name test.
std::string_view StripAside(std::string_view t) {
  t = gbk::TrimView(t);
  static const std::vector<std::string> opens = ToGbk({"(", "（"});
  for (const std::string& o : opens) {
    const std::size_t at = gbk::Find(t, o);
    if (at != gbk::npos && at > 0) return gbk::TrimView(t.substr(0, at));
  }
  return t;
}

bool EndsWithSuffix(const TRecognitionWords& words, std::string_view name) {
  const std::string low = Lowered(name);
  for (const auto& w : words.CompanySuffixes)
    if (low.size() >= w.size() + 4 && low.ends_with(w)) return true;
  return false;
}

bool IsCompanyShape(const TRecognitionWords& words, std::string_view value) {
  const std::string_view core = StripAside(value);
  return !core.empty() && core.size() <= kMaxName && EndsWithSuffix(words, core) &&
         core.find(':') == std::string_view::npos;
}

// Text with its e-mail and web addresses blanked, for the phone finder.
std::string WithoutAddresses(std::string_view text) {
  std::string out(text);
  for (const auto& f : contact::FindEmails(text)) out.replace(f.Pos, f.Len, f.Len, ' ');
  for (const auto& f : contact::FindWebAddresses(out)) out.replace(f.Pos, f.Len, f.Len, ' ');
  return out;
}

// Reads the lines in order into records: a heading opens a record, labelled and shaped
// values fill the current one, a footer line or a repeated address or name closes it.
class TRecordBuilder {
 public:
  TRecordBuilder(const TParseHTML& parser, const TPageReader& reader, std::vector<TLine> lines)
      : parser_(parser),
        reader_(reader),
        words_(reader.Words()),
        lines_(std::move(lines)),
        labels_(lines_.size()),
        consumed_(lines_.size(), 0),
        passMemo_(lines_.size()) {
    const TGlobalSet& s = parser.Settings();
    wantAddress_ = s.FlagFindAddressAndPostCode;
    wantPhone_ = s.FlagFindTelAndFax;
    wantMail_ = s.FlagFindMailAddress;
    for (std::size_t i = 0; i < lines_.size(); ++i) labels_[i] = reader.Labels(lines_[i].Text);
    for (auto& m : passMemo_) m.fill(-1);
  }

  void ReadAll() {
    for (line_ = 0; line_ < lines_.size(); ++line_)
      if (!consumed_[line_]) ReadLine(line_);
    Close();
  }

  // The records with duplicates merged: a record sharing a contact with an earlier one is
  // merged into it, unless both are named offices of their own; with at most one named
  // record, every unnamed one (header hotline, footer) is the same company's.
  std::vector<TRecord> Merged() {
    std::vector<TRecord> kept;
    std::unordered_map<std::string, std::vector<std::size_t>> keptByContact;
    for (TRecord& r : records_) {
      if (!r.HasContact() && (wantPhone_ || wantMail_)) continue;
      std::size_t into = kept.size();
      for (const auto& key : ContactKeys(r)) {
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
    const auto named = [](const TRecord& r) { return r.Kind != 0 || !r.Company.empty(); };
    if (kept.size() > 1 && std::count_if(kept.begin(), kept.end(), named) <= 1) {
      const auto first = std::find_if(kept.begin(), kept.end(), named);
      const std::size_t into = first == kept.end() ? 0 : first - kept.begin();
      for (std::size_t k = 0; k < kept.size(); ++k)
        if (k != into) Merge(kept[into], kept[k]);
      TRecord one = std::move(kept[into]);
      kept.clear();
      kept.push_back(std::move(one));
    }
    return kept;
  }

  // The page's own name: labelled, a company heading, a labelled value shaped like a name,
  // the footer's owner, the title; empty when none.
  std::string PageName(std::string_view title) const {
    for (const std::string* n : {&labelledName_, &headingName_, &valueName_, &ownerName_})
      if (!gbk::IsBlank(*n)) return gbk::Trim(*n);
    return TitleName(title);
  }

 private:
  std::string TitleName(std::string_view title) const {
    std::string t(title);
    static const std::vector<std::string> separators =
        ToGbk({"-", "_", "|", "—", "–", ",", "，", "·"});
    for (const std::string& sep : separators) t = gbk::ReplaceAll(t, sep, "\n");
    std::string best, firstPlain;
    std::size_t from = 0;
    while (from <= t.size()) {
      std::size_t lf = t.find('\n', from);
      if (lf == std::string::npos) lf = t.size();
      const std::string part = RemoveAll(t.substr(from, lf - from), words_.NoiseWords);
      from = lf + 1;
      if (part.size() < 4) continue;
      bool onlyBranch = false;
      for (const auto& w : words_.BranchWords) onlyBranch = onlyBranch || Lowered(part) == w;
      if (onlyBranch) continue;
      if (IsCompanyShape(words_, part) && part.size() > best.size()) best = part;
      if (firstPlain.empty()) firstPlain = part;
    }
    return best.empty() ? firstPlain : best;
  }

  // A heading line: kind 1 a company name, 2 an office of the page's company.
  int HeadingOf(std::size_t i, std::string& name) const {
    std::string t = lines_[i].Text;
    static const std::vector<std::string> brackets =
        ToGbk({"【", "】", "[", "]", "「", "」", "·", "•", "《", "》"});
    for (const std::string& b : brackets) t = gbk::ReplaceAll(t, b, " ");
    t = Collapse(t);
    if (t.empty() || t.size() > 80 || t.find('@') != std::string::npos) return 0;
    const std::string n = RemoveAll(t, words_.NoiseWords);
    if (n.empty()) return 0;
    const std::string_view core = StripAside(n);
    if (HasDigits(core, 3)) return 0;
    const std::string low = Lowered(core);
    for (const auto& w : words_.BranchWords) {
      if (gbk::Contains(low, w) && low.size() >= w.size() + 2) {
        name = std::string(core);
        return 2;
      }
    }
    if (EndsWithSuffix(words_, core)) {
      name = std::string(core);
      return 1;
    }
    // A short place name right above a labelled line ("北京" over "地址：").
    bool allHanzi = core.size() >= 4 && core.size() <= 8;
    for (std::size_t k = 0; allHanzi && k < core.size(); k += 2)
      allHanzi = contact::IsHanziAt(core, k);
    if (allHanzi && i + 1 < lines_.size() && !labels_[i + 1].empty() &&
        labels_[i + 1].front().From == 0) {
      name = std::string(core);
      return 2;
    }
    return 0;
  }

  // The office a label names, or empty.
  std::string OfficeLabel(std::string_view text, const TLabel& label,
                          std::string_view value) const {
    std::size_t end = label.ValueFrom - 1;
    while (end > label.From && text[end - 1] == ' ') --end;
    const std::string name(text.substr(label.From, end - label.From));
    if (name.size() > 24 || value.empty()) return {};
    const std::string low = Lowered(name);
    for (const auto& w : words_.BranchWords)
      if (gbk::Contains(low, w)) return name;
    return {};
  }

  void Close() {
    if (!cur_.Empty()) records_.push_back(std::move(cur_));
    cur_ = {};
  }

  // A heading too far above the first contact names nothing.
  void TouchContact() {
    if (cur_.HeadingLine >= 0 && !cur_.HasContact() &&
        static_cast<int>(line_) - cur_.HeadingLine > kHeadingReach) {
      cur_.Kind = 0;
      cur_.Heading.clear();
    }
  }

  void AddEmails(std::string_view text) {
    if (!wantMail_) return;
    for (TFound& e : contact::FindEmails(text)) {
      TouchContact();
      AddEmail(cur_.Emails, std::move(e.Value));
    }
  }

  void AddPhones(std::string_view text, bool labelled, bool fax) {
    if (!wantPhone_) return;
    for (TFound& p : contact::FindPhones(WithoutAddresses(text), labelled)) {
      TouchContact();
      AddPhone(fax ? cur_.Faxes : cur_.Phones, std::move(p.Value));
    }
  }

  // E-mail addresses and phone numbers by their shape; a label fused to a number or set
  // before it without a colon ("传真0571-88886667", "邮编 310012") still names its field.
  void ShapeScan(std::string_view text) {
    AddEmails(text);
    if (!wantPhone_ && !wantAddress_) return;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); i += gbk::CharLen(text, i)) starts.push_back(i);
    std::size_t taken = 0;
    if (wantPhone_) {
      for (TFound& p : contact::FindPhones(WithoutAddresses(text), false)) {
        const unsigned fields = taken++ < 2 * kMaxPerField ? FieldsBefore(text, starts, p.Pos) : 0;
        TouchContact();
        AddPhone(
            (fields & (1u << kFax)) && !(fields & (1u << kTelephone)) ? cur_.Faxes : cur_.Phones,
            std::move(p.Value));
      }
    }
    if (wantAddress_ && cur_.PostCode.empty()) {
      const std::string low = Lowered(text);
      for (const std::string& w : reader_.PostCodeWords()) {
        const std::size_t at = gbk::Find(low, w);
        if (at == gbk::npos) continue;
        const std::string_view after = gbk::TrimView(text.substr(at + w.size()));
        if (!after.empty() && after[0] >= '0' && after[0] <= '9') {
          cur_.PostCode =
              contact::FindPostCode(after.substr(0, std::min<std::size_t>(after.size(), 6)));
          if (!cur_.PostCode.empty()) break;
        }
      }
    }
  }

  // The fields named by the label characters right before byte `pos` (blanks skipped).
  unsigned FieldsBefore(std::string_view text, const std::vector<std::size_t>& starts,
                        std::size_t pos) const {
    std::size_t k = std::lower_bound(starts.begin(), starts.end(), pos) - starts.begin();
    while (k > 0 && text[starts[k - 1]] == ' ') --k;
    std::size_t g = k;
    while (g > 0 && k - g < 10 && IsLabelChar(text, starts[g - 1])) --g;
    if (g == k) return 0;
    const std::size_t to = k < starts.size() ? starts[k] : text.size();
    return reader_.Classify(text.substr(starts[g], to - starts[g])).Fields;
  }

  bool IsAddress(std::string_view v) const {
    return !v.empty() && v.size() <= kMaxValue && (parser_.IsAddressLine(v) || HasDigits(v, 1)) &&
           !ContainsAny(Lowered(v), words_.FooterMarks);
  }

  // Whether a value for the field stands in `text`.
  bool Passes(int f, std::string_view text) const {
    switch (f) {
      case kAddress:
        return IsAddress(text);
      case kPostCode:
        return !contact::FindPostCode(text).empty();
      case kTelephone:
      case kFax:
        return !contact::FindPhones(WithoutAddresses(text), true).empty();
      case kEmail:
        return !contact::FindEmails(text).empty();
      default:
        return IsCompanyShape(words_, text);
    }
  }

  // Each line is tested at most once per field, however many empty labels stand beside it.
  bool PassesLine(int f, std::size_t i) {
    if (passMemo_[i][f] < 0) passMemo_[i][f] = Passes(f, lines_[i].Text) ? 1 : 0;
    return passMemo_[i][f] == 1;
  }

  void SetField(int f, std::string_view value, bool labelled) {
    value = gbk::TrimView(value);
    switch (f) {
      case kAddress:
        if (!wantAddress_ || !IsAddress(value)) return;
        if (cur_.AddressLabelled && cur_.HasContact()) Close();
        cur_.Address = std::string(value);
        cur_.AddressLabelled = labelled;
        return;
      case kPostCode:
        if (wantAddress_ && cur_.PostCode.empty()) cur_.PostCode = contact::FindPostCode(value);
        return;
      case kTelephone:
      case kFax:
        AddPhones(value, true, f == kFax);
        return;
      case kEmail:
        AddEmails(value);
        return;
      default:
        if (value.empty() || value.size() > kMaxName) return;
        if (!cur_.Company.empty() && cur_.HasContact()) Close();
        cur_.Company = std::string(value);
        if (labelledName_.empty()) labelledName_ = cur_.Company;
        return;
    }
  }

  // A label with nothing after it: its value is in the next element, or (for pages that
  // put values first) in the line before.
  void ValueNearby(std::size_t i, int f) {
    if (i + 1 < lines_.size() && !consumed_[i + 1] && labels_[i + 1].empty() &&
        !reader_.LabelOnly(lines_[i + 1].Text) && PassesLine(f, i + 1)) {
      consumed_[i + 1] = 1;
      SetField(f, lines_[i + 1].Text, true);
      for (const auto& m : lines_[i + 1].Mailto)
        if (wantMail_) AddEmail(cur_.Emails, m);
      return;
    }
    if ((f == kAddress || f == kPostCode) && i > 0 && labels_[i - 1].empty() &&
        PassesLine(f, i - 1) && cur_.Address != lines_[i - 1].Text)
      SetField(f, lines_[i - 1].Text, true);
  }

  void SetFields(std::size_t i, unsigned fields, std::string_view value) {
    for (int f = 0; f < 6; ++f) {
      if (!(fields & (1u << f))) continue;
      if (gbk::IsBlank(value))
        ValueNearby(i, f);
      else
        SetField(f, value, true);
    }
  }

  // A label and its value on one line without a colon, either way round ("Fax +86 21 6048
  // 3471", "0574-87654321 联系电话").
  bool ReadUncolonedLabel(std::size_t i) {
    const std::string_view t(lines_[i].Text);
    const std::size_t sp = t.find(' ');
    if (sp == std::string_view::npos) return false;
    const std::size_t last = t.rfind(' ');
    for (auto [label, value] : {std::pair(t.substr(0, sp), t.substr(sp + 1)),
                                std::pair(t.substr(last + 1), t.substr(0, last))}) {
      const unsigned fields = reader_.LabelOnly(label);
      bool all = fields != 0 && label.size() <= 12;
      for (int f = 0; f < 6 && all; ++f)
        if (fields & (1u << f))
          all = Passes(f, value) && (f != kAddress || parser_.IsAddressLine(value));
      if (all) {
        SetFields(i, fields, value);
        return true;
      }
    }
    return false;
  }

  // The site owner's name in a footer line: a chunk ending like a company name, the words
  // before the first footer mark ("X @ 2012 All Rights Reserved"), or before "版权所有".
  void ReadOwner(std::string_view text, std::string_view low) {
    std::size_t from = 0;
    while (from < text.size() && ownerName_.empty()) {
      std::size_t sp = text.find(' ', from);
      if (sp == std::string_view::npos) sp = text.size();
      const std::string_view chunk = text.substr(from, sp - from);
      if (IsCompanyShape(words_, chunk)) ownerName_ = std::string(StripAside(chunk));
      from = sp + 1;
    }
    if (!ownerName_.empty() || !labels_[line_].empty()) return;
    std::size_t mark = low.find('@');
    for (const auto& w : words_.FooterMarks) mark = std::min(mark, gbk::Find(low, w));
    const std::string_view lead =
        gbk::TrimView(text.substr(0, mark == std::string_view::npos ? 0 : mark));
    if (lead.size() >= 4 && lead.size() <= 40 && !HasDigits(lead, 1) &&
        lead.find('.') == std::string_view::npos) {
      ownerName_ = std::string(lead);
      return;
    }
    for (const auto& w : words_.OwnerLabels) {
      const std::size_t at = gbk::Find(low, w);
      if (at == gbk::npos || at == 0) continue;
      std::string_view before = gbk::TrimView(text.substr(0, at));
      const std::size_t sp = before.rfind(' ');
      if (sp != std::string_view::npos) before = before.substr(sp + 1);
      if (before.size() >= 4 && !HasDigits(before, 1)) ownerName_ = std::string(before);
      return;
    }
  }

  void ReadLine(std::size_t i) {
    const std::string& text = lines_[i].Text;
    const std::vector<TLabel>& ls = labels_[i];
    const std::string low = Lowered(text);
    const bool footer = ContainsAny(low, words_.FooterMarks);
    if (footer) {
      Close();
      if (ownerName_.empty()) ReadOwner(text, low);
    }
    for (const auto& m : lines_[i].Mailto)
      if (wantMail_) {
        TouchContact();
        AddEmail(cur_.Emails, m);
      }

    if (ls.empty()) {
      if (const unsigned fields = reader_.LabelOnly(text)) {
        SetFields(i, fields, {});
        return;
      }
      if (ReadUncolonedLabel(i)) return;
      std::string name;
      if (const int kind = footer ? 0 : HeadingOf(i, name)) {
        if (cur_.HasContact()) Close();
        if (!cur_.AddressLabelled) cur_.Address.clear();
        cur_.Heading = name;
        cur_.Kind = kind;
        cur_.HeadingLine = static_cast<int>(i);
        if (kind == 1 && headingName_.empty()) headingName_ = name;
        return;
      }
      // An office's address often stands unlabelled under its heading.
      if (wantAddress_ && cur_.Kind != 0 && cur_.Address.empty() && !cur_.HasContact() &&
          parser_.IsAddressLine(text) && IsAddress(text) && contact::IsHanziAt(text, 0)) {
        cur_.Address = text;
        return;
      }
      ShapeScan(text);
      return;
    }

    ShapeScan(std::string_view(text).substr(0, ls.front().From));
    for (std::size_t k = 0; k < ls.size(); ++k) {
      const std::size_t end = k + 1 < ls.size() ? ls[k + 1].From : text.size();
      const std::string_view value =
          gbk::TrimView(std::string_view(text).substr(ls[k].ValueFrom, end - ls[k].ValueFrom));
      if (ls[k].Fields != 0) {
        SetFields(i, ls[k].Fields, value);
        continue;
      }
      // "上海办事处：…", "总部：…": the label heads an office of its own.
      if (const std::string office = OfficeLabel(text, ls[k], value); !office.empty()) {
        if (cur_.HasContact()) Close();
        if (!cur_.AddressLabelled) cur_.Address.clear();
        cur_.Heading = office;
        cur_.Kind = 2;
        cur_.HeadingLine = static_cast<int>(i);
      }
      if (ls[k].Owner && ownerName_.empty() && !value.empty() && value.size() <= kMaxName &&
          !HasDigits(value, 3))
        ownerName_ = std::string(value);
      if (valueName_.empty() && IsCompanyShape(words_, value))
        valueName_ = std::string(StripAside(value));
      if (!ls[k].NoShape) ShapeScan(value);
    }
  }

  const TParseHTML& parser_;
  const TPageReader& reader_;
  const TRecognitionWords& words_;
  bool wantAddress_ = true, wantPhone_ = true, wantMail_ = true;
  std::vector<TLine> lines_;
  std::vector<std::vector<TLabel>> labels_;
  std::vector<uint8_t> consumed_;
  std::vector<std::array<int8_t, 6>> passMemo_;
  std::size_t line_ = 0;
  TRecord cur_;
  std::vector<TRecord> records_;
  std::string labelledName_, headingName_, valueName_, ownerName_;
};

// The host of a page address, the name of last resort.
std::string HostOf(std::string_view url) {
  std::string host = gbk::Trim(url);
  if (const std::size_t at = host.find("//"); at != std::string::npos) host = host.substr(at + 2);
  return host.substr(0, host.find('/'));
}

}  // namespace

void TParseHTML::AnalyseModern() {
  const TGlobalSet& s = Settings();
  const TPageReader reader(lowered_.Labels, lowered_.Company);
  std::string pageTitle;
  TRecordBuilder builder(*this, reader, PageLines(Tokens, TokenIsTag, pageTitle));
  builder.ReadAll();
  const std::vector<TRecord> records = builder.Merged();
  std::string pageName = builder.PageName(pageTitle.empty() ? gbk::Trim(Title) : pageTitle);
  if (pageName.empty()) pageName = HostOf(PageURL);

  for (const TRecord& r : records) {
    // An office is named with the page's company in front, unless it already holds it.
    std::string name = pageName;
    if (!r.Company.empty()) {
      name = r.Company;
    } else if (r.Kind == 1) {
      name = r.Heading;
    } else if (r.Kind == 2) {
      if (gbk::Contains(r.Heading, pageName) || gbk::Contains(pageName, r.Heading))
        name = r.Heading.size() >= pageName.size() ? r.Heading : pageName;
      else
        name = pageName + (EndsWithLatin(pageName) && IsLatinLetter(r.Heading[0]) ? " " : "") +
               r.Heading;
    }
    const bool wantAddress = s.FlagFindAddressAndPostCode;
    const bool added = AddRecord(name, wantAddress ? r.Address : std::string(),
                                 wantAddress ? r.PostCode : std::string(), Join(r.Phones, " "),
                                 Join(r.Faxes, " "), Join(r.Emails, ";"), 1);
    // A record named only by the page keeps the site entry's description, as one without a
    // name of its own does.
    if (added && r.Kind == 0 && r.Company.empty()) Descriptions.back() = Description;
  }
  if (s.FlagFindMailAddress && Companies.size() == 1 && gbk::IsBlank(Emails[0]))
    Emails[0] = HarvestMailto();
}
