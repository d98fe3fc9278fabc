#pragma once
// Today's search sources of the demo web: result pages in the layouts the real engines use
// now (UTF-8, tracking links that redirect, ads and the engine's own cards in between), a
// meta-search JSON endpoint, and on demand the verification answer each engine gives a
// client it takes for a robot.

#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "demo_web.h"

namespace demoweb {

// Source names as the settings file and the task file spell them, and the demo host of each.
inline constexpr std::array<const char*, 6> kSourceNames = {"BaiduWeb", "Bing",       "Sogou",
                                                            "So360",    "DuckDuckGo", "SearXNG"};
inline constexpr std::array<const char*, 6> kSourceHosts = {
    "baidu.today.localhost", "bing.today.localhost",       "sogou.today.localhost",
    "so360.today.localhost", "duckduckgo.today.localhost", "searxng.today.localhost"};
inline constexpr int kSourcePageSize = 10;

class TDemoSources {
 public:
  // Unknown names in `blocks` are an error (std::invalid_argument).
  TDemoSources(const TDemoWeb& web, const TSourceBlocks& blocks);
  // Replaces the blocks; a source `blocks` does not name answers normally again. Safe while
  // the server answers.
  void SetBlocks(const TSourceBlocks& blocks);

  // The answer when `host` is one of the sources' hosts.
  std::optional<TDemoResponse> Respond(const std::string& host, const std::string& path,
                                       const std::multimap<std::string, std::string>& query) const;

  // The sites a source lists, in result order.
  const std::vector<const TDemoSite*>& List(std::size_t source) const { return lists_[source]; }
  // Sites listed on at least one page that is not blocked.
  std::set<const TDemoSite*> ReachableSites() const;
  // 1-based page from which the source is blocked; 0 when it is not.
  int BlockedFrom(std::size_t source) const { return blockedFrom_[source].load(); }

 private:
  TDemoResponse ResultPage(std::size_t source, int page, const std::string& keyword) const;
  TDemoResponse BlockedPage(std::size_t source, const std::string& keyword) const;
  std::optional<TDemoResponse> TrackingRedirect(
      std::size_t source, const std::string& path,
      const std::multimap<std::string, std::string>& query) const;
  std::string Token(std::size_t source, const TDemoSite& site) const;
  std::string Base(std::size_t source) const;

  const TDemoWeb& web_;
  std::array<std::vector<const TDemoSite*>, 6> lists_;
  std::array<std::atomic<int>, 6> blockedFrom_{};
  // Opaque tracking token -> site, for the engines whose links carry no readable target.
  std::map<std::string, const TDemoSite*> tokens_;
};

}  // namespace demoweb
