#include "engines/search_object.h"

#include <limits>

#include "analysis/links.h"
#include "analysis/parse_html.h"
#include "analysis/uri.h"
#include "core/charset.h"
#include "core/gbk.h"
#include "core/program_state.h"

namespace {

int32_t SaturatingAdd(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

bool ContainsAll(std::string_view lowered, const std::vector<std::string>& needles) {
  for (const auto& n : needles) {
    if (gbk::Find(lowered, n) == gbk::npos) return false;
  }
  return true;
}

// True when the skipped text has just reached the end of a script or of a "<%" block.
// Both markers begin with a byte below 0x40, which is never the second byte of a GBK
// character, so a plain tail comparison stays on character boundaries.
bool EndsSkipping(std::string_view buf) {
  if (buf.ends_with("%>")) return true;
  static constexpr std::string_view kScriptEnd = "</script";
  if (buf.size() < kScriptEnd.size()) return false;
  return gbk::LowerLatin(buf.substr(buf.size() - kScriptEnd.size())) == kScriptEnd;
}

}  // namespace

TSearchEngineObject::TSearchEngineObject(const TEngineProfile& profile)
    : PageStep(profile.PageStep), profile_(profile), host_(profile.DefaultHost) {}

void TSearchEngineObject::SetHost(std::string_view hostAndPort) {
  std::string_view h = gbk::TrimView(hostAndPort);
  if (h.size() >= 7 && gbk::LowerLatin(h.substr(0, 7)) == "http://") h.remove_prefix(7);
  while (!h.empty() && h.back() == '/') h.remove_suffix(1);
  host_ = h.empty() ? profile_.DefaultHost : std::string(h);
}

void TSearchEngineObject::ResetSearch() {
  ResultOffset = 1;
  PageCount = 0;
  PageStep = profile_.PageStep;
  Tokens.clear();
  Items.clear();
  InfoBlocks.clear();
  NeedTotal = true;
  Paging = false;
  Finished = false;
}

void TSearchEngineObject::SetPosition(int32_t offset, int32_t pages) {
  ResultOffset = offset;
  PageCount = pages;
}

std::string TSearchEngineObject::GetNextURL() const {
  if (Finished) return {};
  if (!NeedTotal && !Paging) return {};
  return BuildURL();
}

std::string TSearchEngineObject::BuildURL() const {
  const std::string_view k = gbk::TrimView(Keyword);
  if (k.empty()) return {};
  return "http://" + host_ + QueryPath(k);
}

void TSearchEngineObject::ParsePage(std::string page) {
  NewResults = 0;
  HTML = std::move(page);
  TokenisePage();
  ExtractBlocks();
  if (NeedTotal) {
    NeedTotal = false;
    Paging = true;
    TotalCount = ReadTotalCount();
  }
  HarvestItems();
  // Saturating, so a position read from a task file can never overflow.
  ResultOffset = SaturatingAdd(ResultOffset, PageStep);
  PageCount = SaturatingAdd(PageCount, 1);
  StorePosition();
  CheckFinished();
  Given.fetch_add(NewResults);
  State = Finished ? TSourceState::Finished : TSourceState::Searching;
}

void TSearchEngineObject::ReadResponse(const TSearchResponse& response) {
  ParsePage(response.Ok ? PageToGbk(response.Body, response.ContentType) : std::string());
}

void TSearchEngineObject::ClearRunStatus() {
  Given = 0;
  FailedPages = 0;
  State = TSourceState::Waiting;
  BlockedOffset = 0;
  BlockedPages = 0;
  RetryRequested = false;
  SetVerifyURL(std::string());
}

std::string TSearchEngineObject::VerifyURL() const {
  std::lock_guard lock(verifyMutex_);
  return verifyURL_;
}

void TSearchEngineObject::SetVerifyURL(std::string url) {
  std::lock_guard lock(verifyMutex_);
  verifyURL_ = std::move(url);
}

void TSearchEngineObject::StorePosition() {
  if (!state_) return;
  state_->EngineResultOffset.store(ResultOffset);
  state_->EnginePageCount.store(PageCount);
}

void TSearchEngineObject::CheckFinished() {
  if (ResultOffset > TotalCount || NewResults == 0) {
    NeedTotal = false;
    Paging = false;
    Finished = true;
  }
}

void TSearchEngineObject::TokenisePage() {
  Tokens.clear();
  std::string buf;
  bool inTag = false;
  bool inQuote = false;
  bool prevSpace = false;
  bool skipping = false;

  auto completeTag = [&] {
    std::string lowered = gbk::LowerLatin(buf);
    if (!profile_.ItemTag.empty() && gbk::Find(lowered, profile_.ItemTag) != gbk::npos) {
      Tokens.emplace_back("<table>");
    }
    if (profile_.OlRule && gbk::Find(lowered, "<ol") != gbk::npos) {
      buf.insert(0, "<p>");
      lowered.insert(0, "<p>");
    }
    if (gbk::Find(lowered, "<script") != gbk::npos || gbk::Find(lowered, "<%") != gbk::npos) {
      skipping = true;
    } else {
      Tokens.push_back(std::move(buf));
    }
    buf.clear();
    inTag = false;
  };

  const std::string& s = HTML;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (gbk::IsLeadByte(c) && i + 1 < s.size()) {
      // A two-byte character is copied whole: its second byte is never markup.
      buf.append(s, i, 2);
      i += 2;
      prevSpace = false;
      continue;
    }
    ++i;
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (c == ' ') {
      if (prevSpace) continue;
      prevSpace = true;
    } else {
      prevSpace = false;
    }
    if (skipping) {
      buf.push_back(static_cast<char>(c));
      if (EndsSkipping(buf)) {
        skipping = false;
        buf.clear();
      }
      continue;
    }
    if (c == '"') {
      buf.push_back('"');
      inQuote = !inQuote;
      continue;
    }
    if (c == '<' && !inQuote) {
      if (!gbk::IsBlank(buf)) Tokens.push_back(TParseHTML::FoldEntities(buf));
      buf.assign("<");
      inTag = true;
      continue;
    }
    buf.push_back(static_cast<char>(c));
    if (c == '>' && inTag) completeTag();
  }
}

void TSearchEngineObject::ExtractBlocks() {
  Items.clear();
  InfoBlocks.clear();
  std::string buf;
  bool inBody = false;
  for (const auto& token : Tokens) {
    const std::string_view t = gbk::TrimView(token);
    if (!inBody) {
      inBody = gbk::ContainsNoCase(t, "<body");
      continue;
    }
    const std::string lowered = gbk::LowerLatin(t);
    if (gbk::Find(lowered, "<table") != gbk::npos || gbk::Find(lowered, "</table") != gbk::npos) {
      if (!gbk::IsBlank(buf)) {
        const int kind = ClassifyBlock(buf);
        if (kind == 1) {
          Items.push_back(gbk::Trim(buf));
        } else if (kind == -1) {
          InfoBlocks.push_back(gbk::Trim(buf));
        }
        buf.clear();
      }
      continue;
    }
    buf.append(t);
  }
}

int TSearchEngineObject::ClassifyBlock(std::string_view block) const {
  const std::string lowered = gbk::LowerLatin(block);
  if (ContainsAll(lowered, profile_.StatusAll) &&
      (profile_.StatusNot.empty() || gbk::Find(lowered, profile_.StatusNot) == gbk::npos)) {
    return -1;
  }
  if (ContainsAll(lowered, profile_.ItemAll)) return 1;
  return 0;
}

int32_t TSearchEngineObject::ReadTotalCount() const {
  for (const auto& info : InfoBlocks) {
    const std::size_t p = gbk::Find(info, profile_.CountStart);
    if (p == gbk::npos) continue;
    const std::size_t from = p + profile_.CountStart.size();
    std::string_view number;
    if (profile_.CountRule == TEngineProfile::TCountRule::UpToMarker) {
      const std::size_t q = gbk::Find(info, profile_.CountEnd, from);
      if (q == gbk::npos) continue;
      number = std::string_view(info).substr(from, q - from);
    } else {
      const std::size_t gt = gbk::Find(info, ">", from);
      if (gt == gbk::npos) continue;
      const std::size_t lt = gbk::Find(info, "<", gt + 1);
      if (lt == gbk::npos) continue;
      number = std::string_view(info).substr(gt + 1, lt - gt - 1);
    }
    std::string text = gbk::Trim(number);
    if (profile_.CountCleanTagsAndSeparators) {
      text = StripTags(text);
      text = gbk::ReplaceAll(text, ",", "");
      text = gbk::ReplaceAll(text, GBK("，"), "");
    }
    return ToInt32(text);
  }
  return 0;
}

void TSearchEngineObject::HarvestItems() {
  for (const auto& item : Items) {
    const std::size_t a = gbk::Find(gbk::LowerLatin(item), profile_.ItemAnchor);
    if (a == gbk::npos) continue;
    std::string rest = item.substr(a + profile_.ItemAnchor.size());
    const std::string link = ExtractLink(rest);
    if (gbk::IsBlank(link)) continue;
    // An address without scheme or host cannot be stored; the other items still count.
    const std::optional<std::string> url = CanonicalURL(NormaliseURL(link));
    if (!url || !IsNewURL(*url)) continue;
    std::string title = ExtractTitle(rest);
    std::string description = ExtractDescription(rest);
    if (state_ && state_->AppendURL(*url, std::move(title), std::move(description))) {
      ++NewResults;
    }
  }
}

std::string TSearchEngineObject::ExtractLink(std::string& rest) {
  if (!gbk::ContainsNoCase(rest, "<a") || !gbk::ContainsNoCase(rest, "href")) return {};
  const std::size_t p = gbk::Find(gbk::LowerLatin(rest), "href=");
  if (p == gbk::npos) return {};
  const std::size_t v = p + 5;
  // Quotes, ">" and the space are all below 0x40, never the second byte of a GBK
  // character, so byte searches for them stay on character boundaries.
  if (v < rest.size() && (rest[v] == '"' || rest[v] == '\'')) {
    const std::size_t close = rest.find(rest[v], v + 1);
    if (close == std::string::npos) return {};
    std::string value = rest.substr(v + 1, close - v - 1);
    const std::size_t gt = rest.find('>', v + 1);
    if (gt != std::string::npos) rest.erase(0, gt + 1);
    return value;
  }
  const std::size_t gt = rest.find('>', v);
  if (gt == std::string::npos) return {};
  const std::size_t space = rest.find(' ', v);
  const std::size_t end = (space != std::string::npos && space < gt) ? space : gt;
  std::string value = rest.substr(v, end - v);
  rest.erase(0, gt + 1);
  return value;
}

std::string TSearchEngineObject::NormaliseURL(std::string_view link) {
  // An https address keeps its scheme instead of becoming "http://https://...".
  return links::WithHttpScheme(link);
}

std::optional<std::string> TSearchEngineObject::CanonicalURL(std::string_view address) {
  return TURI::CanonicalOf(address);
}

bool TSearchEngineObject::IsNewURL(std::string_view link) const {
  return !state_ || !state_->HasURL(link);
}

std::string TSearchEngineObject::ExtractTitle(std::string& rest) const {
  const std::size_t p = gbk::Find(gbk::LowerLatin(rest), "</a>");
  if (p == gbk::npos) return {};
  std::string title = StripTags(std::string_view(rest).substr(0, p));
  rest.erase(0, p + 4);
  return title;
}

std::string TSearchEngineObject::ExtractDescription(std::string_view rest) const {
  if (profile_.DescriptionRule == TEngineProfile::TDescriptionRule::BetweenBreaks) {
    const std::size_t first = gbk::Find(rest, "<br>");
    if (first == gbk::npos) return {};
    const std::size_t from = first + 4;
    const std::size_t second = gbk::Find(rest, "<br>", from);
    if (second == gbk::npos) return {};
    return StripTags(rest.substr(from, second - from));
  }
  const std::size_t p = gbk::Find(rest, profile_.DescriptionMarker);
  if (p == gbk::npos) return {};
  return StripTags(rest.substr(0, p));
}

std::string TSearchEngineObject::StripTags(std::string_view text) const {
  // Removing the first tag never creates a "<" or ">" before the cut, so the scan can go on
  // from just after the removed tag: one pass instead of a rescan per tag.
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t lt = text.find('<', pos);
    const std::size_t gt = text.find('>', pos);
    if (lt == std::string_view::npos || gt == std::string_view::npos || gt < lt) break;
    out.append(text.substr(pos, lt - pos));
    pos = gt + 1;
  }
  out.append(text.substr(pos));
  if (!profile_.Filler.empty()) out = gbk::ReplaceAll(out, profile_.Filler, "");
  return out;
}

int32_t TSearchEngineObject::ToInt32(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) {
    return 0;
  }
  return static_cast<int32_t>(value);
}
