#pragma once
// robots.txt: parsing, matching and a per-run cache with one fetch per site.

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class THttpClient;

struct TRobotsRule {
  std::string Pattern;  // path prefix; "*" matches any run of bytes, a final "$" the end
  bool Allow = false;
};
using TRobotsRules = std::vector<TRobotsRule>;

// The rules of the group that names `agent` (case-blind substring of a User-agent line),
// else of the "*" group; none: everything allowed.
TRobotsRules ParseRobots(std::string_view text, std::string_view agent);
// The longest matching rule decides; on a tie Allow wins; no match: allowed.
bool RobotsAllows(const TRobotsRules& rules, std::string_view pathAndQuery);

class TRobotsCache {
 public:
  explicit TRobotsCache(std::string agent = "veltra") : agent_(std::move(agent)) {}

  // Whether `url` may be read. The first question about a site fetches its robots.txt with
  // `client` (a failed fetch allows everything); other threads asking meanwhile wait for it.
  bool Allowed(const std::string& url, THttpClient& client);

 private:
  struct TEntry {
    bool Ready = false;
    TRobotsRules Rules;
  };
  std::string agent_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::map<std::string, std::shared_ptr<TEntry>> sites_;
};
