// Reads a page's tokens as visible lines (see page_lines.h).

#include "analysis/page_lines.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <utility>

#include "analysis/hidden_emails.h"
#include "analysis/parse_html.h"
#include "core/gbk.h"

namespace pagetext {

namespace {

// A visible line longer than this (a page without break tags, or junk) is read in pieces, so
// the per-character work of the shape finders stays small whatever the page.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

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
std::string MailtoOf(std::string_view tag, bool hidden) {
  std::string decoded;
  if (hidden && tag.find("&#") != std::string_view::npos) {
    decoded = contact::DecodeAsciiReferences(tag);
    tag = decoded;
  }
  const std::size_t at = gbk::FindNoCase(tag, "mailto:");
  if (at == gbk::npos) return {};
  std::size_t e = at + 7;
  while (e < tag.size() && tag[e] != '"' && tag[e] != '\'' && tag[e] != '?' && tag[e] != '>' &&
         !gbk::IsBlankByte(static_cast<unsigned char>(tag[e])))
    ++e;
  const std::string address(gbk::TrimView(tag.substr(at + 7, e - at - 7)));
  return TParseHTML::IsEmail(address) ? address : std::string();
}

std::string DecodeText(std::string_view text, bool hidden) {
  std::string out = hidden && text.find("&#") != std::string_view::npos
                        ? contact::DecodeAsciiReferences(text)
                        : std::string(text);
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
  // The placeholder a CDN shows where it hid an address (read from the tag instead).
  if (hidden && out.find('[') != std::string::npos)
    out = gbk::ReplaceAllNoCase(out, "[email protected]", " ");
  return out;
}

// The contents of the page's script elements in order, comments left out: the tokens lose
// the line ends that end script comments, so scripts are read from the page itself.
std::vector<std::string_view> ScriptBodies(std::string_view html) {
  std::vector<std::string_view> bodies;
  std::size_t i = 0;
  std::size_t nextComment = html.find("<!--");
  std::size_t nextScript = gbk::FindNoCase(html, "<script");
  while (nextScript != gbk::npos) {
    if (nextComment != std::string_view::npos && nextComment < nextScript) {
      const std::size_t end = html.find("-->", nextComment + 4);
      if (end == std::string_view::npos) break;
      i = end + 3;
    } else {
      const std::size_t open = html.find('>', nextScript);
      if (open == std::string_view::npos) break;
      std::size_t close = gbk::FindNoCase(html, "</script", open + 1);
      if (close == gbk::npos) close = html.size();
      bodies.push_back(html.substr(open + 1, close - open - 1));
      i = close;
    }
    if (nextComment != std::string_view::npos && nextComment < i)
      nextComment = html.find("<!--", i);
    if (nextScript < i) nextScript = gbk::FindNoCase(html, "<script", i);
  }
  return bodies;
}

}  // namespace

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

namespace {

// The lines of the page; `letGo`, when set, is `tokens`, whose memory is given back as they
// are read.
TLines ReadLines(const TTokenList& tokens, TTokenList* letGo, const std::vector<bool>& isTag,
                 std::string& title, const TLineOptions& options) {
  const std::size_t count = std::min(tokens.size(), isTag.size());
  bool hasBody = false;
  {
    auto it = tokens.begin();
    for (std::size_t n = 0; n < count && !hasBody; ++n, ++it)
      hasBody = isTag[n] && ParseTag(gbk::TrimView(std::string_view(*it))).Name == "body";
  }

  TLines lines;
  // No line holds more than the text tokens it came from.
  lines.reserve(tokens.bytes(), tokens.size() + 1);
  std::vector<std::string> pendingMail;  // addresses met on the line being read
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
      lines.push_back(rest.substr(0, cut));
      rest.remove_prefix(std::min(rest.size(), cut + (cut < rest.size() && rest[cut] == ' ')));
    }
    return std::string(rest);
  };
  auto endLine = [&] {
    std::string text = splitLong(Collapse(buffer));
    buffer.clear();
    if (text.empty() && pendingMail.empty()) return;
    // Addresses on a line without text go with the line before.
    if (!text.empty() || lines.empty()) lines.push_back(text);
    for (auto& m : pendingMail) lines.AddMailto(lines.size() - 1, std::move(m));
    pendingMail.clear();
  };

  std::vector<int> scripts;  // per script element: the line it stands before, -1 when unseen
  bool inBody = !hasBody;
  bool inTitle = false;
  bool inComment = false;
  std::string skipName;
  int skipDepth = 0;
  auto token = tokens.begin();
  for (std::size_t n = 0; n < count; ++n, ++token) {
    if (letGo && (n & 0xFFF) == 0) letGo->LetGoBefore(token);
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
      if (inTitle) title += DecodeText(t, false);
      if (!inBody) continue;
      // Untrimmed: text split only by a stray "<" stays one run; blanks are collapsed later.
      buffer += DecodeText(*token, options.HiddenEmails);
      // A run without break tags is cut as it grows, so it is never held twice whole.
      if (buffer.size() > 2 * kMaxLineBytes) buffer = splitLong(Collapse(buffer)) + ' ';
      continue;
    }
    const TTag tag = ParseTag(t);
    if (tag.Name == "script" && !tag.Closing && (skipDepth == 0 || skipName != "script"))
      scripts.push_back(skipDepth == 0 && inBody ? static_cast<int>(lines.size()) : -1);
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
      std::string m = MailtoOf(t, options.HiddenEmails);
      if (!m.empty()) pendingMail.push_back(std::move(m));
    }
    if (options.HiddenEmails && !tag.Closing) {
      // A protected address: shown as the element's text, or behind the link.
      if (std::string e = contact::ProtectedEmailOfTag(t); !e.empty()) {
        if (gbk::FindNoCase(t, "data-cfemail") != gbk::npos)
          buffer += ' ' + e + ' ';
        else
          pendingMail.push_back(std::move(e));
      }
    }
    if (IsBreakTag(tag.Name))
      endLine();
    else
      buffer.push_back(' ');
  }
  endLine();
  title = Collapse(title);
  if (options.HiddenEmails && !options.Html.empty()) {
    const std::vector<std::string_view> bodies = ScriptBodies(options.Html);
    // Both readings must agree on the scripts; else their addresses are not placed.
    if (bodies.size() == scripts.size()) {
      for (std::size_t k = 0; k < bodies.size(); ++k) {
        if (scripts[k] < 0) continue;
        for (std::string& e : contact::ScriptEmails(bodies[k])) {
          if (lines.empty()) lines.push_back({});
          lines.AddMailto(std::min<std::size_t>(scripts[k], lines.size() - 1), std::move(e));
        }
      }
    }
  }
  return lines;
}

}  // namespace

TLines PageLines(const TTokenList& tokens, const std::vector<bool>& isTag, std::string& title,
                 TLineOptions options) {
  return ReadLines(tokens, nullptr, isTag, title, options);
}

TLines PageLinesLettingGo(TTokenList& tokens, const std::vector<bool>& isTag, std::string& title,
                          TLineOptions options) {
  return ReadLines(tokens, &tokens, isTag, title, options);
}

std::string CopyrightHolder(std::string_view html) {
  const std::size_t at = gbk::FindNoCase(html, "&copy");
  if (at == gbk::npos) return {};
  std::string_view rest = html.substr(at + 5, 240);
  if (rest.starts_with(';')) rest.remove_prefix(1);
  rest = rest.substr(0, rest.find('<'));
  std::string text = Collapse(TParseHTML::FoldEntities(rest));
  // Years, "copyright" and punctuation before the name.
  for (bool cut = true; cut;) {
    cut = false;
    std::string_view t = text;
    std::size_t n = 0;
    while (n < t.size() && (std::isdigit(static_cast<unsigned char>(t[n])) || t[n] == ' ' ||
                            t[n] == '-' || t[n] == ',' || t[n] == '.'))
      ++n;
    if (gbk::FindNoCase(t.substr(n), "copyright") == 0) n += 9;
    if (n > 0) {
      text = gbk::Trim(t.substr(n));
      cut = true;
    }
  }
  return text;
}

}  // namespace pagetext
