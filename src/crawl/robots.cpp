#include "crawl/robots.h"

#include "core/gbk.h"
#include "net/fetch.h"
#include "net/http_client.h"

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// Whole-string match where "*" stands for any run of bytes.
bool Glob(std::string_view p, std::string_view s) {
  std::size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (pi < p.size() && p[pi] == s[si]) {
      ++pi;
      ++si;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

// A rule matches from the start of the path; a final "$" anchors it at the end.
bool Matches(std::string_view pattern, std::string_view path) {
  if (pattern.ends_with('$')) return Glob(pattern.substr(0, pattern.size() - 1), path);
  return Glob(std::string(pattern) + '*', path);
}

// "scheme://authority" and the path with query of an address.
std::pair<std::string, std::string> SplitOrigin(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const auto pathStart = url.find_first_of("/?#", scheme + 3);
  if (pathStart == std::string::npos) return {url, "/"};
  std::string path = url.substr(pathStart);
  if (const auto hash = path.find('#'); hash != std::string::npos) path.resize(hash);
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  return {url.substr(0, pathStart), path};
}

}  // namespace

TRobotsRules ParseRobots(std::string_view text, std::string_view agent) {
  const std::string me = Lower(agent);
  TRobotsRules mine, any;
  bool groupIsMine = false, groupIsAny = false, inAgents = false, foundMine = false;
  while (!text.empty()) {
    auto end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (const auto hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = Lower(Trimmed(line.substr(0, colon)));
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (key == "user-agent") {
      if (!inAgents) groupIsMine = groupIsAny = false;
      inAgents = true;
      const std::string name = Lower(value);
      if (name == "*")
        groupIsAny = true;
      else if (!name.empty() && me.find(name) != std::string::npos)
        groupIsMine = foundMine = true;
      continue;
    }
    if (key != "allow" && key != "disallow") continue;
    inAgents = false;
    // An empty Disallow allows everything: no rule.
    if (value.empty()) continue;
    const TRobotsRule rule{std::string(value), key == "allow"};
    if (groupIsMine) mine.push_back(rule);
    if (groupIsAny) any.push_back(rule);
  }
  return foundMine ? mine : any;
}

bool RobotsAllows(const TRobotsRules& rules, std::string_view pathAndQuery) {
  std::size_t best = 0;
  bool matched = false, allow = true;
  for (const auto& rule : rules) {
    if (!Matches(rule.Pattern, pathAndQuery)) continue;
    const std::size_t length = rule.Pattern.size();
    if (!matched || length > best) {
      allow = rule.Allow;
      best = length;
      matched = true;
    } else if (length == best && rule.Allow) {
      allow = true;
    }
  }
  return allow;
}

bool TRobotsCache::Allowed(const std::string& url, THttpClient& client) {
  auto [origin, path] = SplitOrigin(gbk::Trim(url));
  if (origin.empty()) return true;
  const std::string key = Lower(origin);
  std::shared_ptr<TEntry> entry;
  bool fetch = false;
  {
    std::unique_lock lock(mutex_);
    auto& slot = sites_[key];
    if (!slot) {
      slot = std::make_shared<TEntry>();
      fetch = true;
    }
    entry = slot;
    if (!fetch) ready_.wait(lock, [&] { return entry->Ready; });
  }
  if (fetch) {
    // No lock is held while reading the file.
    TRobotsRules rules = ParseRobots(FetchPage(client, origin + "/robots.txt"), agent_);
    {
      std::lock_guard lock(mutex_);
      entry->Rules = std::move(rules);
      entry->Ready = true;
    }
    ready_.notify_all();
  }
  return RobotsAllows(entry->Rules, path);
}
