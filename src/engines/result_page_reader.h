#pragma once
// Reads today's result pages: HTML by XPath rules over libxml2's HTML parser, and the JSON
// of a meta-search instance. Pure functions over the fetched bytes; every text that comes
// out is UTF-8. Nothing here throws for bad input.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TSourceDef;

struct TResultItem {
  std::string Link;      // as the page writes it
  std::string RealLink;  // the real address the page carries beside a tracking link
  std::string Title;
  std::string Snippet;
};

struct TResultPageRead {
  std::vector<TResultItem> Items;
  bool HasNext = false;    // a next-page link stands on the page
  bool NoResults = false;  // the page says nothing was found
  bool Blocked = false;    // a verification page
  bool Failed = false;     // not a page of this kind at all
  std::string Reason;      // why blocked or failed
};

TResultPageRead ReadHtmlResultPage(std::string_view body, std::string_view contentType,
                                   const TSourceDef& def);
// SearXNG: results[].url/title/content; unresponsive_engines with no results: blocked.
TResultPageRead ReadJsonResultPage(std::string_view body, const TSourceDef& def);

// "%XX" sequences decoded ("+" kept); a broken sequence stays as written.
std::string PercentDecode(std::string_view text);
// A UTF-8 query text for a URL's query part: unreserved bytes kept, the rest "%XX".
std::string PercentEncodeQuery(std::string_view utf8);
// The raw value of `key` in the query of `url`; empty when absent.
std::string QueryParam(std::string_view url, std::string_view key);
// The target of Bing's "/ck/a?...&u=a1<base64url>"; empty when the link carries none.
std::string DecodeBingLink(std::string_view link);
// The target of DuckDuckGo's "/l/?uddg=<percent-encoded>"; empty when none.
std::string DecodeUddgLink(std::string_view link);
// The host of an absolute http(s) address, lower-cased; empty otherwise.
std::string HostOf(std::string_view url);
// `link` made absolute against the address of the page it stands on ("//h/x", "/x", "?x").
std::string AbsoluteLink(std::string_view link, std::string_view pageUrl);
