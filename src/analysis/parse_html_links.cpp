// TParseHTML::ExtractLinks: the same-site links of the loaded page, absolute, split into
// preferred (address holds an HTMLNameLike word) and other links.

#include <unordered_set>

#include "analysis/links.h"
#include "analysis/parse_html.h"
#include "analysis/uri.h"
#include "core/gbk.h"
#include "core/site_domain.h"

void TParseHTML::ExtractLinks() {
  LinkTags.clear();
  BaseTag.clear();
  if (Cancelled()) return;
  RestoreTokens();
  links::CollectLinkTags(Tokens, TokenIsTag, LinkTags, BaseTag);

  // A page address without protocol or host names no site and no directory: absolute and
  // fragment links are then dropped, and relative ones resolve only against an absolute
  // base tag.
  const bool pageHasAddress = TURI(PageURL).IsRebuildable();
  // Modern recognition tells sites apart by registrable domain: abc.com.cn is not every
  // .com.cn site, and www.abc.com and m.abc.com are one site.
  const bool byDomain = Settings().FlagModernRecognition;
  if (!pageHasAddress)
    SiteKey.clear();
  else
    SiteKey = byDomain ? SiteOfAddress(PageURL) : links::ComputeSiteKey(PageURL);
  BaseTag = links::BaseHref(BaseTag);
  BaseURL = links::ComputeBaseURL(PageURL, BaseTag);

  const links::TWordMatcher preferred(Settings().HTMLNameLike);
  // Every address listed so far, in either list: one O(1) test per link keeps both lists
  // free of duplicates and apart from each other.
  std::unordered_set<std::string> listed;
  listed.reserve(PriorityLinks.size() + OtherLinks.size() + LinkTags.size());
  listed.insert(PriorityLinks.begin(), PriorityLinks.end());
  listed.insert(OtherLinks.begin(), OtherLinks.end());

  std::size_t seen = 0;
  for (const std::string& tag : LinkTags) {
    if ((++seen & 0x3FF) == 0 && Cancelled()) return;
    // Blanks around a target are not part of the address.
    const std::string u = gbk::Trim(links::LinkTarget(tag));
    if (u.empty()) continue;
    const int kind = links::LinkKind(u);
    if (kind == links::kAbsoluteLink &&
        !(byDomain
              ? !SiteKey.empty() && SiteOfAddress(links::WithSchemeForNetworkPath(u)) == SiteKey
              : links::IsSameSite(u, SiteKey)))
      continue;
    if (kind == links::kFragmentLink && !pageHasAddress) continue;
    std::optional<std::string> address = links::MakeAbsolute(u, BaseURL, PageURL);
    if (!address || !listed.insert(*address).second) continue;
    if (preferred.Matches(*address)) {
      PriorityLinks.push_back(std::move(*address));
    } else {
      OtherLinks.push_back(std::move(*address));
    }
  }
}
