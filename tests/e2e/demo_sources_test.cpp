// Today's sources of the demo web, read over HTTP the way a client reads the real engines:
// follow each source's next-page control, resolve its tracking links, and stop at a
// verification answer. What is found must match what the demo says a harvest should find.

#include "demo_sources.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "demo_server.h"

using demoweb::TDemoServer;

namespace {

struct TCrawl {
  std::vector<std::string> Sites;  // targets in list order
  int Pages = 0;
  int BlockStatus = 0;        // status of the answer that stopped the source (0: none)
  std::string BlockLocation;  // and its Location, if any
  std::string BlockBody;
};

std::string Unescape(std::string s) {
  for (std::size_t at; (at = s.find("&amp;")) != std::string::npos;) s.replace(at, 5, "&");
  return s;
}

std::vector<std::string> All(const std::string& text, const std::regex& re) {
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
    out.push_back(Unescape((*it)[1]));
  return out;
}

class TClient {
 public:
  explicit TClient(const TDemoServer& server) : cli_("127.0.0.1", server.Port()) {}

  httplib::Result Get(const std::string& host, const std::string& path) {
    return cli_.Get(path, {{"Host", host}});
  }
  httplib::Result Post(const std::string& host, const std::string& path, const std::string& form) {
    return cli_.Post(path, {{"Host", host}}, form, "application/x-www-form-urlencoded");
  }

  // A tracking link's target: the Location of the engine's redirect, or the link itself.
  std::string Resolve(const std::string& host, const std::string& link) {
    std::string path = link[0] == '/' && link[1] != '/' ? link : "";
    for (const std::string& prefix : {"http://" + host + ":", "//" + host + ":"})
      if (link.rfind(prefix, 0) == 0) path = link.substr(link.find('/', prefix.size()));
    if (path.empty()) return link;
    const auto r = Get(host, path);
    return r && r->status == 302 ? r->get_header_value("Location") : "unresolved " + link;
  }

 private:
  httplib::Client cli_;
};

struct TSourceRules {
  const char* Path;  // first page, "%s" for the keyword
  const char* Item;  // the item link
  const char* Next;  // the next page's address
};

// Keyword 机械, percent-encoded as the engines expect it.
const char* const kKeyword = "%E6%9C%BA%E6%A2%B0";
const TSourceRules kRules[] = {
    {"/s?wd=%s&pn=0", R"re(<h3 class="c-title t t tts-title"><a href="([^"]+)")re",
     R"re(<a class="n" href="([^"]+)">下一页)re"},
    {"/search?q=%s&first=1", R"re(<li class="b_algo"[^>]*>.*?<h2><a href="([^"]+)")re",
     R"re(class="sb_pagN[^"]*" title="下一页" href="([^"]+)")re"},
    {"/web?query=%s&page=1", R"re(<h3 class="(?:vr-title|pt)"><a [^>]*href="(/link[^"]+)")re",
     R"re(id="sogou_next" href="\?([^"]+)")re"},
    {"/s?q=%s&pn=1", R"re(<h3 class="res-title"><a href="([^"]+)")re",
     R"re(id="snext" href="([^"]+)")re"},
    {"/html/", R"re(class="result__a" href="((?:http://www\.|//)[^"]+)")re",
     R"re(value="Next" />.*?name="s" value="(\d+)")re"},
};

TCrawl Crawl(const TDemoServer& server, std::size_t source) {
  TClient client(server);
  const std::string host = demoweb::kSourceHosts[source];
  TCrawl crawl;
  if (source == 5) {  // the JSON endpoint pages until a page has no results
    for (int page = 1;; ++page) {
      const auto r = client.Get(host, "/search?q=" + std::string(kKeyword) +
                                          "&format=json&pageno=" + std::to_string(page));
      if (!r || r->body.find("\"unresponsive_engines\": []") == std::string::npos) {
        crawl.BlockStatus = r ? r->status : -1;
        crawl.BlockBody = r ? r->body : "";
        return crawl;
      }
      const auto urls = All(r->body, std::regex(R"re("url": "([^"]+)", "title")re"));
      if (urls.empty()) return crawl;
      ++crawl.Pages;
      crawl.Sites.insert(crawl.Sites.end(), urls.begin(), urls.end());
    }
  }
  const TSourceRules& rules = kRules[source];
  std::string path = std::regex_replace(rules.Path, std::regex("%s"), kKeyword);
  std::string form = std::string("q=") + kKeyword;
  while (!path.empty()) {
    const auto r = source == 4 ? client.Post(host, path, form) : client.Get(host, path);
    const bool items = r && r->status == 200 && !All(r->body, std::regex(rules.Item)).empty();
    if (!items) {
      crawl.BlockStatus = r ? r->status : -1;
      crawl.BlockLocation = r ? r->get_header_value("Location") : "";
      crawl.BlockBody = r ? r->body : "";
      return crawl;
    }
    ++crawl.Pages;
    for (const auto& link : All(r->body, std::regex(rules.Item)))
      crawl.Sites.push_back(client.Resolve(host, link));
    const auto next = All(r->body, std::regex(rules.Next));
    path = next.empty() ? "" : next[0];
    if (!next.empty() && source == 2) path = "/web?" + path;
    if (!next.empty() && source == 4) {
      form = std::string("q=") + kKeyword + "&s=" + path;
      path = "/html/";
    }
  }
  return crawl;
}

std::set<std::string> Hosts(const std::vector<demoweb::TDemoRecord>& records) {
  std::set<std::string> out;
  for (const auto& r : records) out.insert(r[1].substr(0, r[1].find('/', 7) + 1));
  return out;
}

}  // namespace

TEST(DemoSources, EverySourceReadsToItsLastPageAndTogetherTheyListEverySite) {
  const TDemoServer server(36);
  const auto& web = server.Web();
  std::set<std::string> found;
  for (std::size_t k = 0; k < demoweb::kSourceNames.size(); ++k) {
    SCOPED_TRACE(demoweb::kSourceNames[k]);
    const TCrawl crawl = Crawl(server, k);
    std::vector<std::string> listed;
    for (const auto* site : web.Sources().List(k)) listed.push_back(web.SiteUrl(*site));
    EXPECT_EQ(crawl.Sites, listed);
    EXPECT_EQ(crawl.Pages, static_cast<int>(listed.size() + 9) / 10);
    EXPECT_EQ(crawl.BlockStatus, 0) << crawl.BlockBody;
    found.insert(crawl.Sites.begin(), crawl.Sites.end());
  }
  const auto all = web.ListedSiteUrls();
  EXPECT_EQ(found, std::set<std::string>(all.begin(), all.end()));
  EXPECT_EQ(web.ExpectedTodayRecords(), web.ExpectedKeywordRecords());
  // Several sources page, so the next-page controls are read above.
  EXPECT_GT(web.Sources().List(0).size(), 10u);
  EXPECT_GT(web.Sources().List(1).size(), 10u);

  TClient client(server);
  const auto html = client.Get("searxng.today.localhost", "/search?q=x&pageno=1");
  ASSERT_TRUE(html);
  EXPECT_EQ(html->status, 403);
}

TEST(DemoSources, BlockedSourcesAnswerAsTheRealOnesAndTheExpectedRecordsFollow) {
  TDemoServer server(36, 0, 0, 1500,
                     {{"BaiduWeb", 2},
                      {"Bing", 2},
                      {"Sogou", 1},
                      {"So360", 1},
                      {"DuckDuckGo", 1},
                      {"SearXNG", 1}});
  const auto& web = server.Web();
  std::vector<TCrawl> crawls;
  std::set<std::string> found;
  for (std::size_t k = 0; k < demoweb::kSourceNames.size(); ++k) {
    crawls.push_back(Crawl(server, k));
    found.insert(crawls.back().Sites.begin(), crawls.back().Sites.end());
  }
  EXPECT_EQ(crawls[0].Pages, 1);
  EXPECT_EQ(crawls[0].BlockStatus, 302);
  EXPECT_NE(crawls[0].BlockLocation.find("/static/captcha/"), std::string::npos);
  EXPECT_NE(crawls[0].BlockBody.find("百度安全验证"), std::string::npos);
  EXPECT_EQ(crawls[1].Pages, 1);
  EXPECT_EQ(crawls[1].BlockStatus, 200);
  EXPECT_EQ(crawls[1].BlockBody.find("b_algo"), std::string::npos);
  EXPECT_EQ(crawls[2].BlockStatus, 302);
  EXPECT_NE(crawls[2].BlockLocation.find("/antispider/"), std::string::npos);
  EXPECT_EQ(crawls[3].BlockStatus, 200);
  EXPECT_EQ(crawls[3].BlockBody, "");
  EXPECT_NE(crawls[4].BlockBody.find("<form id=\"challenge-form\""), std::string::npos);
  EXPECT_NE(crawls[5].BlockBody.find("\"unresponsive_engines\": [[\"baidu\""), std::string::npos);

  // What a client reaches before the blocks is exactly what the demo expects it to find.
  std::set<std::string> reachable;
  for (const auto& host : Hosts(web.ExpectedKeywordRecords()))
    if (found.contains(host)) reachable.insert(host);
  EXPECT_EQ(Hosts(web.ExpectedTodayRecords()), reachable);
  EXPECT_LT(web.ExpectedTodayRecords().size(), web.ExpectedKeywordRecords().size());

  // Lifted while serving: the source reads to its end again.
  server.SetBlocks({});
  EXPECT_EQ(Crawl(server, 0).Pages, 2);
  EXPECT_EQ(web.ExpectedTodayRecords(), web.ExpectedKeywordRecords());
}
