#include "analysis/links.h"

#include "analysis/uri.h"
#include "core/gbk.h"

namespace links {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Searches on a lower-cased copy; positions equal those in the original text.
bool Has(std::string_view lowered, std::string_view needle) {
  return gbk::Find(lowered, needle) != npos;
}

// Value of the first `attribute` (lower-case, written with its "=", e.g. "href=") in `tag`,
// found in the tag's lower-cased copy, as written. Quoted values run to the matching quote
// (none: empty); unquoted ones to the first space or ">", whichever comes first (neither:
// empty). Quotes, space and ">" never occur as the second byte of a two-byte character, so
// byte searches are safe there.
std::string ValueOf(std::string_view tag, std::string_view lowered, std::string_view attribute) {
  const std::size_t at = gbk::Find(lowered, attribute);
  if (at == npos) return {};
  const std::size_t v = at + attribute.size();
  if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
    const std::size_t close = tag.find(tag[v], v + 1);
    if (close == npos) return {};
    return std::string(tag.substr(v + 1, close - v - 1));
  }
  const std::size_t end = tag.find_first_of(" >", v);
  if (end == npos) return {};
  return std::string(tag.substr(v, end - v));
}

// Removes "seg/../" pairs from the left; stops at a segment holding a "." or at the host, and
// then deletes every "../" that is left.
void ClimbParentSegments(std::string& r) {
  const std::size_t scheme = r.find("://");
  const std::size_t authorityStart = scheme == npos ? 0 : scheme + 3;
  for (;;) {
    const std::size_t p = r.find("/../");
    if (p == npos) return;
    const std::size_t prevSlash = p == 0 ? npos : r.rfind('/', p - 1);
    const std::size_t segStart = prevSlash == npos ? 0 : prevSlash + 1;
    const std::string_view seg(r.data() + segStart, p - segStart);
    if (seg.empty() || seg.find('.') != npos || segStart <= authorityStart) break;
    // Only this segment goes; equal text elsewhere in the address stays.
    r.erase(segStart, p + 4 - segStart);
  }
  r = gbk::ReplaceAll(r, "../", "");
}

}  // namespace

TLinkTag ClassifyLinkTag(std::string_view trimmedTag) {
  const std::string t = gbk::LowerLatin(trimmedTag);
  if (Has(t, "<a") && Has(t, "href")) return Has(t, "mailto") ? TLinkTag::kNone : TLinkTag::kLink;
  if (Has(t, "<frame") && !Has(t, "<frameset")) return TLinkTag::kLink;
  if (Has(t, "<base")) return TLinkTag::kBase;
  return TLinkTag::kNone;
}

void CollectLinkTag(std::string_view t, std::vector<std::string>& linkTags, std::string& baseTag) {
  switch (ClassifyLinkTag(t)) {
    case TLinkTag::kLink:
      linkTags.emplace_back(t);
      break;
    case TLinkTag::kBase:
      baseTag = t;
      break;
    case TLinkTag::kNone:
      break;
  }
}

std::string LinkTarget(std::string_view tag) {
  const std::string lowered = gbk::LowerLatin(tag);
  if (Has(lowered, "javascript") || Has(lowered, "vbscript")) return {};
  const bool anchor = Has(lowered, "<a") && Has(lowered, "href");
  return ValueOf(tag, lowered, anchor ? "href=" : "src=");
}

std::string BaseHref(std::string_view baseTag) {
  return ValueOf(baseTag, gbk::LowerLatin(baseTag), "href=");
}

int LinkKind(std::string_view u) {
  // A ":" among the first eight bytes also covers "http:".
  if (u.substr(0, 8).find(':') != npos) return kAbsoluteLink;
  if (u.substr(0, 7).find("//") != npos) return kAbsoluteLink;
  if (u.starts_with('#')) return kFragmentLink;
  return kRelativeLink;
}

std::string ResolveURL(std::string_view rel, std::string_view base) {
  std::string r;
  if (rel.starts_with('/')) {
    std::string_view host = base;
    if (const std::size_t p = host.find("//"); p != npos) host.remove_prefix(p + 2);
    host = host.substr(0, host.find('/'));
    r.reserve(host.size() + rel.size() + 8);
    r.append(host).append(rel);
  } else {
    r.reserve(base.size() + rel.size() + 8);
    r.append(base);
    if (!base.ends_with('/')) r += '/';
    r.append(rel);
  }
  // Only an address without any scheme gets one, so "https://" is never prefixed and a
  // host with a port ("h:8080/x") still gets its scheme.
  if (r.find("://") == npos) r.insert(0, "http://");
  ClimbParentSegments(r);
  return r;
}

std::string ComputeSiteKey(std::string_view pageURL) {
  std::string_view s = pageURL;
  if (const std::size_t p = s.find("//"); p != npos) s.remove_prefix(p + 2);
  // The host ends at the path, and also at a query or fragment written right after it.
  s = s.substr(0, s.find_first_of("/?#"));
  if (const std::size_t p = s.find('.'); p != npos) s.remove_prefix(p + 1);
  if (const std::size_t first = s.find('.'); first != npos) {
    if (const std::size_t second = s.find('.', first + 1); second != npos) {
      s = s.substr(0, second);
    }
  }
  return std::string(s);
}

bool IsSameSite(std::string_view u, std::string_view siteKey) {
  return !siteKey.empty() && gbk::ContainsNoCase(u, siteKey);
}

std::string ComputeBaseURL(std::string_view pageURL, std::string_view baseHref) {
  std::string base = TURI::DirectoryOf(pageURL).value_or(std::string());
  const std::string_view href = gbk::TrimView(baseHref);
  if (href.empty()) return base;
  std::string target;
  if (LinkKind(href) == kAbsoluteLink) {
    target = WithSchemeForNetworkPath(href);
  } else {
    if (base.empty()) return base;
    target = ResolveURL(href, base);
  }
  if (auto dir = TURI::DirectoryOf(target)) return std::move(*dir);
  return base;
}

std::string WithSchemeForNetworkPath(std::string_view u) {
  if (u.starts_with("//")) return "http:" + std::string(u);
  return std::string(u);
}

std::string WithHttpScheme(std::string_view address) {
  const std::string_view t = gbk::TrimView(address);
  if (t.starts_with("//")) return "http:" + std::string(t);
  const std::string head = gbk::LowerLatin(t.substr(0, 8));
  if (head.starts_with("http://") || head.starts_with("https://")) return std::string(t);
  return "http://" + std::string(t);
}

std::optional<std::string> MakeAbsolute(std::string_view u, std::string_view baseURL,
                                        std::string_view pageURL) {
  std::string r;
  switch (LinkKind(u)) {
    case kAbsoluteLink:
      r = WithSchemeForNetworkPath(u);
      break;
    case kRelativeLink:
      r = ResolveURL(u, baseURL);
      break;
    default:
      r.reserve(pageURL.size() + u.size());
      r.append(pageURL).append(u);
      break;
  }
  if (!TURI(r).IsRebuildable()) return std::nullopt;
  return r;
}

TWordMatcher::TWordMatcher(const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    if (!w.empty()) lowered_.push_back(gbk::LowerLatin(w));
  }
}

bool TWordMatcher::Matches(std::string_view text) const {
  if (lowered_.empty()) return false;
  const std::string lowered = gbk::LowerLatin(text);
  for (const std::string& w : lowered_) {
    if (Has(lowered, w)) return true;
  }
  return false;
}

}  // namespace links
