#include "crawl/parse_point_web_html.h"

#include "analysis/links.h"
#include "analysis/uri.h"
#include "core/gbk.h"
#include "core/program_state.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::vector<std::string> LoweredWords(const TLikeList& list) {
  std::vector<std::string> out;
  out.reserve(list.size());
  for (const std::string& w : list) out.push_back(gbk::LowerLatin(w));
  return out;
}

// Every word occurs in `lowered`; an empty list (or an empty word) asks for nothing.
bool AllOccur(std::string_view lowered, const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    if (!w.empty() && gbk::Find(lowered, w) == npos) return false;
  }
  return true;
}

bool AnyOccurs(std::string_view lowered, const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    if (!w.empty() && gbk::Find(lowered, w) != npos) return true;
  }
  return false;
}

// Removes leading and trailing bytes <= 32 in place. The leading erase happens at most once
// per non-blank start, so growing a buffer token by token stays linear.
void TrimInPlace(std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && gbk::IsBlankByte(static_cast<unsigned char>(s[end - 1]))) --end;
  s.resize(end);
  std::size_t begin = 0;
  while (begin < s.size() && gbk::IsBlankByte(static_cast<unsigned char>(s[begin]))) ++begin;
  if (begin > 0) s.erase(0, begin);
}

// The text with every "<...>" stretch removed, left to right; a "<" without a ">" after it
// and everything after it stay.
std::string StripTags(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('<', i);
    if (open == npos) break;
    const std::size_t close = text.find('>', open + 1);
    if (close == npos) break;
    out.append(text.substr(i, open - i));
    i = close + 1;
  }
  out.append(text.substr(i));
  return out;
}

}  // namespace

TParsePointWebHTML::TParsePointWebHTML(TProgramState& state,
                                       std::shared_ptr<const TGlobalSet> settings)
    : state_(state) {
  SetSettings(std::move(settings));
}

void TParsePointWebHTML::SetSettings(std::shared_ptr<const TGlobalSet> settings) {
  settings_ = settings ? std::move(settings) : std::make_shared<const TGlobalSet>();
}

void TParsePointWebHTML::LoadPage(std::string html, std::string pageURL) {
  HTML = std::move(html);
  PageURL = std::move(pageURL);
  Tokens.clear();
  Anchors.clear();
  NextPages.clear();
  BaseURL.clear();
  BaseTag.clear();
  // The page analyser's tokeniser, lent the page without copying it.
  tokeniser_.HTML.swap(HTML);
  tokeniser_.SplitTokens();
  tokeniser_.HTML.swap(HTML);
  Tokens.swap(tokeniser_.Tokens);
  tokeniser_.Tokens.clear();
  tokeniser_.TokenIsTag.clear();
}

void TParsePointWebHTML::CollectAnchors() {
  std::string buffer;
  bool inAnchor = false;
  for (const std::string_view t : Tokens) {
    if (gbk::ContainsNoCase(t, "<base")) BaseTag = t;
    if (!inAnchor) {
      if (gbk::ContainsNoCase(t, "<a")) {
        buffer = t;
        inAnchor = true;
      } else {
        buffer.clear();
      }
    } else if (gbk::ContainsNoCase(t, "</a")) {
      buffer += t;
      if (!gbk::ContainsNoCase(buffer, "javascript") && !gbk::ContainsNoCase(buffer, "vbscript")) {
        TrimInPlace(buffer);
        Anchors.push_back(std::move(buffer));
      }
      buffer.clear();
      inAnchor = false;
    } else {
      buffer += t;
      TrimInPlace(buffer);
    }
  }
}

TParsePointWebHTML::TAnchorParts TParsePointWebHTML::SplitAnchor(std::string_view anchor) {
  TAnchorParts parts;
  const std::string lowered = gbk::LowerLatin(anchor);
  std::string_view rest;  // what follows the tag: inner part and closing tag
  if (gbk::Contains(lowered, "<a") && gbk::Contains(lowered, "href")) {
    const std::size_t at = gbk::Find(lowered, "href=");
    if (at != npos) {
      const std::size_t v = at + 5;
      const std::size_t tagEnd = anchor.find('>', v);
      if (v < anchor.size() && (anchor[v] == '"' || anchor[v] == '\'')) {
        const std::size_t close = anchor.find(anchor[v], v + 1);
        if (close != npos) parts.Address = std::string(anchor.substr(v + 1, close - v - 1));
      } else if (tagEnd != npos) {
        const std::size_t space = anchor.find(' ', v);
        const std::size_t end = space < tagEnd ? space : tagEnd;
        parts.Address = std::string(anchor.substr(v, end - v));
      }
      if (parts.Address && tagEnd != npos) rest = anchor.substr(tagEnd + 1);
    }
  }
  if (!parts.Address) return parts;
  const std::size_t close = gbk::Find(gbk::LowerLatin(rest), "</a>");
  if (close != npos) parts.Text = StripTags(rest.substr(0, close));
  return parts;
}

std::optional<std::string> TParsePointWebHTML::AbsoluteAddress(std::string_view address) const {
  const std::string_view u = gbk::TrimView(address);
  if (u.empty()) return std::nullopt;
  // Targets without protocol or host (mail links, broken addresses) give nothing.
  std::optional<std::string> absolute = links::MakeAbsolute(u, BaseURL, PageURL);
  if (!absolute) return std::nullopt;
  return TURI::CanonicalOf(*absolute);
}

void TParsePointWebHTML::Analyse() {
  Anchors.clear();
  NextPages.clear();
  BaseTag.clear();
  CollectAnchors();
  BaseTag = links::BaseHref(BaseTag);
  BaseURL = links::ComputeBaseURL(PageURL, BaseTag);

  const TGlobalSet& set = *settings_;
  const std::vector<std::string> infoAll = LoweredWords(set.InfoLinkLike);
  const std::vector<std::string> companyAny = LoweredWords(set.CompanyNameLike);
  const std::vector<std::string> nextAll = LoweredWords(set.NextPageLinkLike);
  const std::vector<std::string> nextAny = LoweredWords(set.NextPageLike);

  for (const std::string& a : Anchors) {
    const std::string lowered = gbk::LowerLatin(a);
    const bool info =
        AllOccur(lowered, infoAll) && (!set.BUseCompanyNameLike || AnyOccurs(lowered, companyAny));
    const bool next = !info && AllOccur(lowered, nextAll) &&
                      (!set.BUseNextPageLike || AnyOccurs(lowered, nextAny));
    if (!info && !next) continue;

    const TAnchorParts parts = SplitAnchor(a);
    if (!parts.Address) continue;
    std::optional<std::string> address = AbsoluteAddress(*parts.Address);
    if (!address) continue;
    if (info) {
      state_.AppendURL(*address, gbk::Trim(parts.Text), std::string());
    } else {
      NextPages.push_back(gbk::Trim(*address));
    }
  }
}
