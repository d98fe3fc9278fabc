#pragma once
// Link targets of tags, their kind, resolution against a base address, and the same-site
// key. Pure functions over GBK byte strings, shared by the page analyser and the directory
// and engine page readers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/gbk.h"

namespace links {

// Values of LinkKind.
inline constexpr int kAbsoluteLink = 0;
inline constexpr int kRelativeLink = 1;
inline constexpr int kFragmentLink = 2;

// What a trimmed tag token means for link collection.
enum class TLinkTag { kNone, kLink, kBase };

// An anchor-like tag ("<a" and "href") that is not a mailto link, or a frame tag (not a
// frameset), is a link; otherwise a tag containing "<base" is a base tag. Letter case is
// ignored.
TLinkTag ClassifyLinkTag(std::string_view trimmedTag);

// Files one trimmed tag token: a link tag is appended to `linkTags`, a base tag replaces
// `baseTag`.
void CollectLinkTag(std::string_view trimmedTag, std::vector<std::string>& linkTags,
                    std::string& baseTag);

// Appends the trimmed link tags among the tag tokens to `linkTags`, in page order; the last
// base tag, trimmed, is stored in `baseTag` (left unchanged when there is none). Tokens
// beyond the end of `tokenIsTag` count as text. Any token sequence read in order will do.
template <typename TTokens, typename TFlags>
void CollectLinkTags(const TTokens& tokens, const TFlags& tokenIsTag,
                     std::vector<std::string>& linkTags, std::string& baseTag) {
  std::size_t i = 0;
  for (const std::string_view token : tokens) {
    if (i >= tokenIsTag.size()) break;
    if (tokenIsTag[i++] == 1) CollectLinkTag(gbk::TrimView(token), linkTags, baseTag);
  }
}

// The address a link tag points to: empty for script links ("javascript", "vbscript"
// anywhere); "href=" for anchors, "src=" for frames.
std::string LinkTarget(std::string_view tag);

// The "href=" value of a base tag (no script test).
std::string BaseHref(std::string_view baseTag);

// kAbsoluteLink when the address starts with "http:", has a ":" among its first eight
// bytes or "//" among its first seven; else kFragmentLink when it starts with "#"; else
// kRelativeLink.
int LinkKind(std::string_view u);

// Resolves a relative address against a base directory. A root-relative address takes the
// base's host and port under "http://"; anything else is appended to the base (with a "/"
// between when the base lacks one). "http://" is put in front only of a result that has no
// "://" (so "https://" stays). Parent segments: each "seg/../" is removed; a "../" that
// would climb above the host, or follows a segment holding a ".", ends the climbing and
// every remaining "../" is deleted. "./" segments are left as they are.
std::string ResolveURL(std::string_view rel, std::string_view base);

// The host of `pageURL` without its first label, cut to two labels ("w.x.y.z" -> "x.y",
// "w.x.y" -> "x.y", "x.y" -> "y"); empty for an empty address.
std::string ComputeSiteKey(std::string_view pageURL);

// `u` contains `siteKey`, ignoring case; an empty key never matches.
bool IsSameSite(std::string_view u, std::string_view siteKey);

// The directory address links on a page resolve against: the page's own directory, or the
// directory of the base tag's href (resolved against the page's directory if relative).
// Empty when neither gives an address with protocol and host.
std::string ComputeBaseURL(std::string_view pageURL, std::string_view baseHref);

// "http:" in front of a network-path address ("//host/x"); anything else as it is.
std::string WithSchemeForNetworkPath(std::string_view u);

// "http://" in front of an address unless it already starts with "http://" or "https://"
// (ignoring case); "//host" gets "http:". The input is trimmed.
std::string WithHttpScheme(std::string_view address);

// The absolute address of a link target `u` (trimmed, non-empty): relative targets are
// resolved against `baseURL`, fragments appended to `pageURL`, absolute ones kept
// (network paths get "http:"). Empty when the result has no protocol or no host.
std::optional<std::string> MakeAbsolute(std::string_view u, std::string_view baseURL,
                                        std::string_view pageURL);

// "Contains one of these words, ignoring case" over a fixed list, lowered once. Empty
// words never match.
class TWordMatcher {
 public:
  explicit TWordMatcher(const std::vector<std::string>& words);
  bool Matches(std::string_view text) const;

 private:
  std::vector<std::string> lowered_;
};

}  // namespace links
