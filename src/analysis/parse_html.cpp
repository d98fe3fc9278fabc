// TParseHTML front end: life cycle, tokens and blocks.

#include "analysis/parse_html.h"

#include <algorithm>
#include <cstring>

#include "core/gbk.h"

namespace {

bool IsLowerAsciiEqual(unsigned char c, char lowerNeedle) {
  if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
  return c == static_cast<unsigned char>(lowerNeedle);
}

// Whether `s` at byte i starts with `lowerNeedle`, folding A-Z.
bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view lowerNeedle) {
  if (s.size() - i < lowerNeedle.size()) return false;
  for (std::size_t k = 0; k < lowerNeedle.size(); ++k)
    if (!IsLowerAsciiEqual(static_cast<unsigned char>(s[i + k]), lowerNeedle[k])) return false;
  return true;
}

// Calls visit(i) for every "<" that stands at a character boundary; stops when it returns
// true. One pass, so a huge tag costs no more than its length.
template <typename Visit>
bool ForEachOpenBracket(std::string_view s, Visit visit) {
  std::size_t i = 0;
  while (i < s.size()) {
    const void* hit = std::memchr(s.data() + i, '<', s.size() - i);
    if (!hit) return false;
    const std::size_t cand = static_cast<const char*>(hit) - s.data();
    while (i < cand) i += gbk::CharLen(s, i);
    if (i == cand) {
      if (visit(i)) return true;
      ++i;
    }
  }
  return false;
}

// Case-blind containment of a needle that starts with "<" (tag-name tests).
bool ContainsTagNoCase(std::string_view s, std::string_view lowerNeedle) {
  return ForEachOpenBracket(s, [&](std::size_t i) { return StartsWithNoCase(s, i, lowerNeedle); });
}

// Appends the trimmed block buffer to `blocks` and empties the buffer. A buffer mostly
// filled is handed over whole, so a block as large as the page is never held twice; any
// other is copied and keeps its room for the next block.
void TakeBlock(std::string& buffer, std::vector<std::string>& blocks) {
  const std::string_view t = gbk::TrimView(buffer);
  if (t.size() < buffer.capacity() / 2) {
    blocks.emplace_back(t);
    buffer.clear();
    return;
  }
  const auto lead = static_cast<std::size_t>(t.data() - buffer.data());
  buffer.resize(lead + t.size());
  buffer.erase(0, lead);
  blocks.push_back(std::move(buffer));
  buffer = std::string();
}

constexpr std::string_view kLineBreakTags[] = {
    "<p",   "</p", "<tr",  "</tr", "<br",  "</br", "<ul",  "</ul", "<ol",
    "</ol", "<li", "</li", "<dl",  "</dl", "<dt",  "</dt", "<dd",  "</dd",
};

}  // namespace

TParseHTML::TParseHTML(std::shared_ptr<const TGlobalSet> settings) {
  SetSettings(std::move(settings));
}

void TParseHTML::SetSettings(std::shared_ptr<const TGlobalSet> settings) {
  settings_ = settings ? std::move(settings) : std::make_shared<const TGlobalSet>();
  const TGlobalSet& s = *settings_;
  lowered_.Labels = {LowerList(s.AddressLike), LowerList(s.PostCodeLike),
                     LowerList(s.telephoneLike), LowerList(s.faxnoLike),
                     LowerList(s.MailAddressLike)};
  lowered_.Company = LowerList(s.CompanyLike);
  lowered_.CompanyName = LowerList(s.CompanyNameLike);
  lowered_.AddressContent = LowerList(s.AddressContentLike);
}

TLikeList TParseHTML::LowerList(const TLikeList& list) {
  TLikeList out;
  out.reserve(list.size());
  for (const auto& w : list) out.push_back(gbk::LowerLatin(w));
  return out;
}

void TParseHTML::LoadPage(std::string html, std::string title, std::string pageURL,
                          std::string description) {
  HTML = std::move(html);
  Title = std::move(title);
  PageURL = std::move(pageURL);
  Description = std::move(description);
  Clear();
  SplitTokens();
}

void TParseHTML::Clear() {
  interrupted_ = false;
  Tokens.clear();
  TokenIsTag.clear();
  tokensReleased_ = false;
  BaseTag.clear();
  MailtoTags.clear();
  LinkTags.clear();
  Blocks.clear();
  BlockEndsAtTable.clear();
  SiteKey.clear();
  BaseURL.clear();
  for (auto* list : {&Companies, &Addresses, &PostCodes, &Telephones, &Faxes, &Emails,
                     &WebAddresses, &Descriptions})
    list->clear();
  PriorityLinks.clear();
  OtherLinks.clear();
  for (auto& positions : LabelPos) positions.clear();
  for (auto& positions : ValuePos) positions.clear();
}

void TParseHTML::SplitTokens() {
  Tokens.clear();
  TokenIsTag.clear();
  // A token may be as long as the page: room for that is set aside once (and touched only
  // as far as used), so that a huge token is never copied while it grows.
  std::string buffer;
  buffer.reserve(HTML.size());
  std::string folded;
  bool inTag = false;
  bool inQuote = false;
  bool previousWasSpace = false;
  const std::size_t size = HTML.size();

  for (std::size_t i = 0; i < size; ++i) {
    if ((i & 0xFFFF) == 0 && Cancelled()) return;
    char c = HTML[i];
    const unsigned char u = static_cast<unsigned char>(c);
    // A two-byte character is copied whole: its second byte is never markup or a blank.
    if (gbk::IsLeadByte(u)) {
      previousWasSpace = false;
      buffer.push_back(c);
      if (i + 1 < size) buffer.push_back(HTML[++i]);
      continue;
    }
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (c == ' ') {
      if (previousWasSpace) continue;
      previousWasSpace = true;
    } else {
      previousWasSpace = false;
    }

    if (c == '"') {
      buffer.push_back(c);
      inQuote = !inQuote;
    } else if (c == '<' && !inQuote) {
      if (!gbk::IsBlank(buffer)) {
        folded.clear();
        AppendFolded(buffer, folded);
        Tokens.push_back(folded);
        TokenIsTag.push_back(false);
      }
      buffer.assign(1, '<');
      inTag = true;
    } else {
      buffer.push_back(c);
      if (c == '>' && inTag) {
        Tokens.push_back(buffer);
        TokenIsTag.push_back(true);
        buffer.clear();
        inTag = false;
      }
    }
  }
  // Text after the last tag and an unclosed tag give no token.
  tokensOfPage_ = CurrentTokens();
  tokensReleased_ = false;
}

void TParseHTML::ReleaseTokens() {
  if (!CanReleaseTokens()) return;
  Tokens.clear();  // gives their pages back
  TTokenList().swap(Tokens);
  std::vector<bool>().swap(TokenIsTag);
  tokensReleased_ = true;
}

void TParseHTML::RestoreTokens() {
  if (tokensReleased_) SplitTokens();
}

std::string TParseHTML::FoldEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendFolded(text, out);
  return out;
}

void TParseHTML::AppendFolded(std::string_view text, std::string& out) {
  static const std::string& fullWidthSpace = GBK("　");
  static const std::string& fullWidthColon = GBK("：");
  // Longer forms first, so "&nbsp;" loses its ";" too.
  static constexpr std::string_view kBlankEntities[] = {"&nbsp;", "&nbsp", "&copy;", "&copy"};
  // One pass; unchanged runs are copied whole.
  std::size_t copied = 0;
  auto fold = [&](std::size_t at, std::size_t len, char to) {
    out.append(text.substr(copied, at - copied));
    out.push_back(to);
    copied = at + len;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = gbk::CharLen(text, i);
    if (n == 2) {
      const std::string_view ch = text.substr(i, 2);
      if (ch == fullWidthSpace)
        fold(i, 2, ' ');
      else if (ch == fullWidthColon)
        fold(i, 2, ':');
    } else if (text[i] == '&') {
      for (std::string_view entity : kBlankEntities) {
        if (StartsWithNoCase(text, i, entity)) {
          fold(i, entity.size(), ' ');
          break;
        }
      }
    }
    i = std::max(i + n, copied);
  }
  out.append(text.substr(copied));
}

int TParseHTML::ClassifyTag(std::string_view trimmedTag) {
  bool tableOpen = false;
  bool tableClose = false;
  bool lineBreak = false;
  ForEachOpenBracket(trimmedTag, [&](std::size_t i) {
    if (StartsWithNoCase(trimmedTag, i, "<table")) {
      tableOpen = true;
      return true;
    }
    if (!tableClose && StartsWithNoCase(trimmedTag, i, "</table")) tableClose = true;
    if (!lineBreak) {
      for (std::string_view name : kLineBreakTags) {
        if (StartsWithNoCase(trimmedTag, i, name)) {
          lineBreak = true;
          break;
        }
      }
    }
    return false;
  });
  if (tableOpen) return 1;
  if (tableClose) return -1;
  if (lineBreak) return 0;
  return -2;
}

void TParseHTML::BuildBlocks() {
  Blocks.clear();
  BlockEndsAtTable.clear();
  // A block holds at most one byte for each byte of the page: reserved once, the buffer
  // never leaves copies of itself behind while it grows.
  std::string buffer;
  buffer.reserve(HTML.size());
  // Only blank bytes (spaces, line feeds) are added besides non-blank text runs, so this
  // flag says whether the buffer is non-blank without rescanning it.
  bool bufferHasText = false;
  bool inBody = false;
  bool lastWasLineBreak = false;

  std::size_t n = 0;
  for (const std::string_view token : Tokens) {
    if ((n & 0xFFFF) == 0 && Cancelled()) return;
    const bool isTag = n < TokenIsTag.size() && TokenIsTag[n];
    ++n;
    const std::string_view t = gbk::TrimView(token);
    if (!inBody) {
      inBody = ContainsTagNoCase(t, "<body");
      continue;
    }
    const int kind = isTag ? ClassifyTag(t) : 2;
    switch (kind) {
      case -2:
        buffer.push_back(' ');
        break;
      case 1:
      case -1:
        if (bufferHasText) {
          TakeBlock(buffer, Blocks);
          BlockEndsAtTable.push_back(1);
          bufferHasText = false;
        }
        break;
      case 0:
        if (!lastWasLineBreak) buffer.push_back('\n');
        lastWasLineBreak = true;
        break;
      default:
        if (!t.empty()) {
          buffer.append(t);
          bufferHasText = true;
          lastWasLineBreak = false;
        }
        break;
    }
  }
  if (bufferHasText) {
    TakeBlock(buffer, Blocks);
    BlockEndsAtTable.push_back(0);
  }
}
