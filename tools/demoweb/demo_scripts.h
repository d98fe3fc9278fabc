#pragma once
// Company sites whose contact block only their scripts write (after a timer, or from a JSON
// request to the same site), one static site beside them, and hostile script pages: an
// endless loop, unbounded allocation, pop-ups, navigation that never settles, a redirect
// loop and a load that never finishes. They are listed by a search host of their own, so
// the rest of the demo web and its expected records are unchanged.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "demo_web.h"

namespace demoweb {

// The search host (a SearXNG-style JSON source) that lists these sites. Any keyword lists
// the three company sites; kHostileKeyword lists the hostile pages before the two
// script-built sites.
inline constexpr const char* kScriptSearchHost = "search.scripts.localhost";
inline constexpr const char* kHostileKeyword = "hostile";
// Hosts of the static site and of the two script-built sites (timer, JSON).
inline constexpr const char* kStaticSiteHost = "www.jingtai-jixie.localhost";
inline constexpr const char* kTimerSiteHost = "www.yunqi-ruanjian.localhost";
inline constexpr const char* kJsonSiteHost = "www.shuju-keji.localhost";
// Seconds the never-finishing page holds its script back.
inline constexpr int kStallSeconds = 8;

// The answer when `host` is one of these sites or the search host.
std::optional<TDemoResponse> RespondScriptSites(
    const TDemoWeb& web, const std::string& host, const std::string& path,
    const std::multimap<std::string, std::string>& query);

// The records a run over the three company sites finds once the two script-built sites are
// rendered (static site first).
std::vector<TDemoRecord> ScriptSiteRecords(const TDemoWeb& web);
// Addresses of the hostile pages.
std::vector<std::string> HostilePageUrls(const TDemoWeb& web);

// A settings file for a keyword search over the script sites alone: the demo's usual
// settings with every source off but the script search host, and [CRAWL] RenderScripts,
// RenderDeadline and RenderParallel as given.
void WriteScriptSettings(const TDemoWeb& web, const std::string& path, int renderScripts,
                         int deadlineSeconds = 20, int parallel = 2, int workers = 4);

}  // namespace demoweb
