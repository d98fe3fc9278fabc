#include "crawl/find_web_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "core/program_state.h"
#include "factory_settings.h"
#include "local_server.h"
#include "test_support.h"

using testsupport::G;
using testsupport::LocalServer;

namespace {

// A contact block the analyser turns into one record of `company` (UTF-8).
std::string ContactPage(const std::string& company) {
  return G(
      "<html><head><title>联系我们</title></head><body>"
      "<table width=\"760\" border=\"0\" align=\"center\" cellpadding=\"4\">"
      "<tr><td>公司名称：" +
      company +
      "</td></tr>"
      "<tr><td>地址：浙江省杭州市西湖区文三路 90 号</td></tr>"
      "<tr><td>邮编：310012</td></tr>"
      "<tr><td>电话：0571-88231234</td></tr>"
      "<tr><td>传真：0571-88231235</td></tr>"
      "</table></body></html>");
}

// A page of navigation links only: (address, UTF-8 text) pairs.
std::string LinkPage(const std::vector<std::pair<std::string, std::string>>& links) {
  std::string body = "<html><head><title>welcome</title></head><body><table><tr><td>";
  for (const auto& [href, text] : links) body += "<a href=\"" + href + "\">" + text + "</a><br>";
  return G(body + "</td></tr></table></body></html>");
}

TGlobalSet Settings(int maxCrawlLevel, int timeoutMs = 10000) {
  TGlobalSet set = testsupport::FactorySettings();
  set.MaxCrawlLevel = maxCrawlLevel;
  set.MaxReadHTMLTimeOut = timeoutMs;
  // The crawl as first specified: no site budget, one page at a time, classic requests.
  set.SitePageBudget = set.SiteTimeBudget = set.HostRequestLimit = 0;
  set.SiteParallelPages = 1;
  set.UserAgent.clear();
  return set;
}

bool WaitFinished(const TWorkerThread& w, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (w.WorkState.load() != 2) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Paths requested from `host`, in order.
std::vector<std::string> PathsOf(const LocalServer& server, const std::string& host) {
  std::vector<std::string> paths;
  for (const auto& r : server.Requests())
    if (r.Host == host) paths.push_back(r.Path);
  return paths;
}

struct TCrawl {
  TProgramState state;
  TSettingsStore store;
  std::vector<std::unique_ptr<TCompanyObject>> records;

  explicit TCrawl(const TGlobalSet& set) { store.Publish(set); }

  // Crawls one site to the end and collects what it handed over.
  std::unique_ptr<TFindWebThead> Run(const std::string& url, const std::string& title = "") {
    auto worker = std::make_unique<TFindWebThead>(state, store, url, G(title), "");
    worker->Resume();
    EXPECT_TRUE(WaitFinished(*worker, std::chrono::seconds(60)));
    records = state.TakeCompanies();
    return worker;
  }
};

}  // namespace

TEST(FindWebThead, RecordsOnTheStartPageTakeOneRequest) {
  LocalServer server;
  const std::string host = "www.mingyuan.localhost";
  server.Serve(host, "/", ContactPage("杭州明远化工有限公司"));
  server.Serve(host, "/about.html", ContactPage("不该读到的公司"));
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));

  EXPECT_EQ(worker->WorkState.load(), 2);
  EXPECT_TRUE(worker->Completed());
  EXPECT_EQ(PathsOf(server, host), std::vector<std::string>{"/"});
  ASSERT_EQ(crawl.records.size(), 1u);
  EXPECT_EQ(crawl.records[0]->CompanyName, G("杭州明远化工有限公司"));
  EXPECT_EQ(crawl.records[0]->WebAddress, server.Url(host, "/"));
  EXPECT_EQ(crawl.records[0]->Telephone, "0571-88231234");
  EXPECT_EQ(crawl.records[0]->Fax, "0571-88231235");
  EXPECT_EQ(crawl.records[0]->PostCode, "310012");
  EXPECT_EQ(worker->Level, 0);
}

TEST(FindWebThead, ContactPageIsReadFirstAtLevelOne) {
  LocalServer server;
  const std::string host = "www.haide.localhost";
  std::vector<std::pair<std::string, std::string>> links;
  for (int i = 1; i <= 8; ++i)
    links.push_back({"/products/p" + std::to_string(i) + ".html", "产品"});
  links.push_back({"news.html", "新闻"});
  links.push_back({"/contact.html", "联系我们"});
  links.push_back({"http://www.elsewhere.localhost/", "友情链接"});
  server.Serve(host, "/", LinkPage(links));
  server.Serve(host, "/contact.html", ContactPage("宁波海德机械厂"));
  // Every other page of the site also holds a record: reading any of them first would show.
  server.Handle(host, "*", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(ContactPage("错误的公司"), "text/html; charset=gbk");
  });
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));

  EXPECT_EQ(PathsOf(server, host), (std::vector<std::string>{"/", "/contact.html"}));
  EXPECT_TRUE(PathsOf(server, "www.elsewhere.localhost").empty());
  ASSERT_EQ(crawl.records.size(), 1u);
  EXPECT_EQ(crawl.records[0]->CompanyName, G("宁波海德机械厂"));
  EXPECT_EQ(crawl.records[0]->WebAddress, server.Url(host, "/contact.html"));
  EXPECT_EQ(worker->Level, 1);
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, SiteWithoutRecordsIsReadToItsDepthEveryPageOnce) {
  LocalServer server;
  const std::string host = "www.empty.localhost";
  // a and b both link to c, d and back to the start page; c links to e (level 3: never read).
  server.Serve(host, "/", LinkPage({{"/a.html", "A"}, {"/b.html", "B"}, {"/a.html", "A"}}));
  server.Serve(host, "/a.html", LinkPage({{"/c.html", "C"}, {"/d.html", "D"}, {"/", "home"}}));
  server.Serve(host, "/b.html", LinkPage({{"/d.html", "D"}, {"/c.html", "C"}, {"/", "home"}}));
  server.Serve(host, "/c.html", LinkPage({{"/e.html", "E"}}));
  server.Serve(host, "/d.html", LinkPage({{"/contact.html", "contact"}}));
  TCrawl crawl(Settings(2));
  // Blanks around the start address do not make the links back to it new addresses.
  auto worker = crawl.Run(" " + server.Url(host, "/") + "\t ");

  EXPECT_EQ(PathsOf(server, host),
            (std::vector<std::string>{"/", "/a.html", "/b.html", "/c.html", "/d.html"}));
  EXPECT_TRUE(worker->IsVisited(server.Url(host, "/")));
  EXPECT_TRUE(crawl.records.empty());
  EXPECT_EQ(worker->Visited.size(), 5u);
  // Every level was read: the site counts as finished.
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, MaxCrawlLevelZeroReadsOnlyTheStartPage) {
  LocalServer server;
  const std::string host = "www.flat.localhost";
  server.Serve(host, "/", LinkPage({{"/contact.html", "联系我们"}, {"/a.html", "A"}}));
  server.Serve(host, "/contact.html", ContactPage("平面公司"));
  TCrawl crawl(Settings(0));
  auto worker = crawl.Run(server.Url(host, "/"));

  EXPECT_EQ(PathsOf(server, host), std::vector<std::string>{"/"});
  EXPECT_TRUE(worker->Parser.PriorityLinks.empty());
  EXPECT_TRUE(worker->Parser.OtherLinks.empty());
  EXPECT_TRUE(worker->LevelLinks.empty());
  EXPECT_TRUE(crawl.records.empty());
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, RecordsCarryTheRedirectedAddress) {
  LocalServer server;
  server.Redirect("www.oldco.localhost", "/", server.Url("www.newco.localhost", "/home.html"));
  server.Serve("www.newco.localhost", "/home.html", ContactPage("新公司"));
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url("www.oldco.localhost", "/"));

  ASSERT_EQ(crawl.records.size(), 1u);
  EXPECT_EQ(crawl.records[0]->WebAddress, server.Url("www.newco.localhost", "/home.html"));
  EXPECT_EQ(worker->CurrentURL, server.Url("www.newco.localhost", "/home.html"));
  // The redirect target is not recorded as visited.
  EXPECT_EQ(worker->Visited, std::vector<std::string>{server.Url("www.oldco.localhost", "/")});
}

TEST(FindWebThead, LinksAreJudgedAgainstTheRedirectedHost) {
  LocalServer server;
  server.Redirect("www.old2.localhost", "/", server.Url("www.new2.localhost", "/index.html"));
  server.Serve("www.old2.localhost", "/contact.html", ContactPage("旧网站公司"));
  server.Serve("www.new2.localhost", "/index.html",
               LinkPage({{server.Url("www.old2.localhost", "/contact.html"), "旧站"},
                         {"contact.html", "联系我们"}}));
  server.Serve("www.new2.localhost", "/contact.html", ContactPage("新网站公司"));
  TCrawl crawl(Settings(2));
  crawl.Run(server.Url("www.old2.localhost", "/"));

  EXPECT_EQ(PathsOf(server, "www.old2.localhost"), std::vector<std::string>{"/"});
  EXPECT_EQ(PathsOf(server, "www.new2.localhost"),
            (std::vector<std::string>{"/index.html", "/contact.html"}));
  ASSERT_EQ(crawl.records.size(), 1u);
  EXPECT_EQ(crawl.records[0]->CompanyName, G("新网站公司"));
  EXPECT_EQ(crawl.records[0]->WebAddress, server.Url("www.new2.localhost", "/contact.html"));
}

TEST(FindWebThead, FramesetStartPageIsFollowedAtLevelOne) {
  LocalServer server;
  const std::string host = "www.frames.localhost";
  server.Serve(host, "/",
               G("<html><head><title>公司</title></head><frameset rows=\"80,*\">"
                 "<frame src=\"top.html\" name=\"top\"><frame src=\"main.html\" name=\"main\">"
                 "</frameset></html>"));
  server.Serve(host, "/top.html", LinkPage({{"/x.html", "X"}}));
  server.Serve(host, "/main.html", ContactPage("框架集团"));
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));

  EXPECT_EQ(PathsOf(server, host), (std::vector<std::string>{"/", "/top.html", "/main.html"}));
  ASSERT_EQ(crawl.records.size(), 1u);
  EXPECT_EQ(crawl.records[0]->CompanyName, G("框架集团"));
  EXPECT_EQ(crawl.records[0]->WebAddress, server.Url(host, "/main.html"));
}

TEST(FindWebThead, RequestStopDuringABlockedFetchEndsPromptlyWithNothingHandedOver) {
  testsupport::SilentServer silent;
  TCrawl crawl(Settings(2, 30000));
  TFindWebThead worker(crawl.state, crawl.store, silent.Url("/"), "", "");
  worker.Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(worker.WorkState.load(), 1);

  const auto stopAt = std::chrono::steady_clock::now();
  worker.RequestStop();
  ASSERT_TRUE(WaitFinished(worker, std::chrono::seconds(3)));
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
  EXPECT_EQ(crawl.state.CompanyCount(), 0u);
  EXPECT_FALSE(worker.Completed());
}

TEST(FindWebThead, StopBeforeTheFirstAddressReadsNothing) {
  LocalServer server;
  server.Serve("www.quiet.localhost", "/", ContactPage("安静公司"));
  TCrawl crawl(Settings(2));
  TFindWebThead worker(crawl.state, crawl.store, server.Url("www.quiet.localhost", "/"), "", "");
  worker.RequestStop();
  worker.Resume();
  ASSERT_TRUE(WaitFinished(worker, std::chrono::seconds(3)));
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(crawl.state.CompanyCount(), 0u);
  EXPECT_FALSE(worker.Completed());
}

TEST(FindWebThead, FailedPagesAreSkippedAndTheSiteStillEnds) {
  LocalServer server;
  const std::string host = "www.broken.localhost";
  server.Serve(host, "/", LinkPage({{"/gone.html", "gone"}, {"/contact.html", "contact"}}));
  server.Serve(host, "/contact.html", "<html><body>server error</body></html>", "text/html", 500);
  server.Redirect(host, "/gone.html", "/gone.html");
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));
  EXPECT_TRUE(crawl.records.empty());
  EXPECT_EQ(worker->Visited.size(), 3u);
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, RedirectHandlerFollowsAbsoluteAndAppendsRelativeTargets) {
  TProgramState state;
  TSettingsStore store;
  TFindWebThead worker(state, store, "http://a.localhost/", "", "");
  worker.CurrentURL = "http://a.localhost/shop";
  worker.RedirectHandler("/en/index.html");
  EXPECT_EQ(worker.CurrentURL, "http://a.localhost/shop/en/index.html");
  worker.RedirectHandler("  ");
  EXPECT_EQ(worker.CurrentURL, "http://a.localhost/shop/en/index.html");
  worker.RedirectHandler("HTTPS://b.localhost/x");
  EXPECT_EQ(worker.CurrentURL, "HTTPS://b.localhost/x");
}

TEST(FindWebThead, HostileSitesEndWithinTheirLevels) {
  LocalServer server;
  // Every page links to the same hundred pages of the site: each is read once, and the
  // next level's lists do not grow with the number of pages that repeat a link.
  const std::string big = "www.big.localhost";
  std::string links = "<html><body>";
  for (int i = 0; i < 100; ++i) links += "<a href=\"/p" + std::to_string(i) + ".html\">p</a> ";
  links += "</body></html>";
  server.Handle(big, "*", [links](const httplib::Request&, httplib::Response& res) {
    res.set_content(links, "text/html; charset=gbk");
  });
  // Every page is 10 MB of bytes that are no page at all.
  const std::string junk = "www.junk.localhost";
  std::string garbage(10u << 20, '\0');
  uint32_t x = 12345;
  for (char& c : garbage) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  server.Serve(junk, "/", garbage, "application/octet-stream");

  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(big, "/"));
  EXPECT_EQ(server.Requests().size(), 101u);
  EXPECT_EQ(worker->Visited.size(), 101u);
  EXPECT_TRUE(worker->Completed());

  server.ClearRequests();
  worker = crawl.Run(server.Url(junk, "/"));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(crawl.records.empty());
}

TEST(FindWebThead, EndlessRedirectsEndEachFetch) {
  LocalServer server;
  const std::string host = "www.loop.localhost";
  // Every address redirects to a new one, without end.
  server.Handle(host, "*", [](const httplib::Request& req, httplib::Response& res) {
    res.set_redirect(req.path + "x");
  });
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));
  // The first request and 15 followed redirects; the page is empty and has no links.
  EXPECT_EQ(server.Requests().size(), 16u);
  EXPECT_EQ(worker->Visited, std::vector<std::string>{server.Url(host, "/")});
  EXPECT_EQ(worker->CurrentURL, server.Url(host, "/" + std::string(15, 'x')));
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, TenThousandPagesOfOneSiteEndWithinTheLevels) {
  LocalServer server;
  const std::string host = "www.many.localhost";
  constexpr int kPages = 10000;
  std::string start = "<html><body>";
  for (int i = 0; i < kPages; ++i) start += "<a href=\"/p" + std::to_string(i) + ".html\">p</a>\n";
  start += "</body></html>";
  server.Serve(host, "/", start);
  // Each page links to itself, the start page and the next page.
  server.Handle(host, "*", [](const httplib::Request& req, httplib::Response& res) {
    const int n = std::atoi(req.path.c_str() + 2);
    res.set_content("<a href=\"" + req.path + "\">self</a><a href=\"/\">home</a><a href=\"/p" +
                        std::to_string(n + 1) + ".html\">next</a>",
                    "text/html; charset=gbk");
  });
  TCrawl crawl(Settings(2));
  auto worker = crawl.Run(server.Url(host, "/"));
  // Level 1 reads every page once; of all the links found there only the page after the
  // last one is new at level 2.
  EXPECT_EQ(server.Requests().size(), kPages + 2u);
  EXPECT_EQ(worker->Visited.size(), kPages + 2u);
  EXPECT_EQ(worker->Visited.back(), server.Url(host, "/p10000.html"));
  // Links are not gathered on the last level, so nothing is queued beyond it.
  EXPECT_TRUE(worker->LevelLinks.empty());
  EXPECT_TRUE(worker->LevelOtherLinks.empty());
  EXPECT_TRUE(worker->Completed());
}

namespace {

// Counts requests in flight on a server: the most seen at once.
struct TConcurrency {
  std::atomic<int> now{0};
  std::atomic<int> peak{0};
  void Enter() {
    const int n = ++now;
    int p = peak.load();
    while (n > p && !peak.compare_exchange_weak(p, n)) {
    }
  }
  void Leave() { --now; }
};

// A site of `pages` pages that all link to each other and hold no record; each answer
// takes `delay`.
void ServeLinkedSite(LocalServer& server, const std::string& host, int pages,
                     std::chrono::milliseconds delay, TConcurrency* seen = nullptr) {
  std::string body = "<html><body>";
  for (int i = 0; i < pages; ++i) body += "<a href=\"/p" + std::to_string(i) + ".html\">p</a> ";
  body += "</body></html>";
  server.Handle(host, "*", [body, delay, seen](const httplib::Request&, httplib::Response& res) {
    if (seen) seen->Enter();
    std::this_thread::sleep_for(delay);
    if (seen) seen->Leave();
    res.set_content(body, "text/html; charset=gbk");
  });
}

}  // namespace

TEST(FindWebThead, SiteBudgetOfPagesAndSecondsEndsTheSiteAsDone) {
  LocalServer server;
  ServeLinkedSite(server, "www.pages.localhost", 200, std::chrono::milliseconds(0));
  ServeLinkedSite(server, "www.slow.localhost", 200, std::chrono::milliseconds(200));

  TGlobalSet set = Settings(2);
  set.SitePageBudget = 12;
  set.SiteParallelPages = 3;
  TCrawl crawl(set);
  auto worker = crawl.Run(server.Url("www.pages.localhost", "/"));
  EXPECT_EQ(PathsOf(server, "www.pages.localhost").size(), 12u);
  EXPECT_EQ(worker->Visited.size(), 12u);
  EXPECT_TRUE(worker->Completed());  // cut by the budget: processed, not stopped

  set.SitePageBudget = 0;
  set.SiteTimeBudget = 1;
  crawl.store.Publish(set);
  const auto start = std::chrono::steady_clock::now();
  worker = crawl.Run(server.Url("www.slow.localhost", "/"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_LT(PathsOf(server, "www.slow.localhost").size(), 20u);
  EXPECT_TRUE(worker->Completed());
}

TEST(FindWebThead, PagesReadInParallelGiveWhatOneByOneGives) {
  LocalServer server;
  const std::string host = "www.par.localhost";
  TConcurrency seen;
  std::vector<std::pair<std::string, std::string>> links;
  for (int i = 0; i < 8; ++i) links.push_back({"/p" + std::to_string(i) + ".html", "p"});
  const std::string start = LinkPage(links);
  server.Handle(host, "*", [&](const httplib::Request& req, httplib::Response& res) {
    seen.Enter();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    seen.Leave();
    // The fifth and the seventh page hold records; the fifth is the one read first.
    if (req.path == "/p4.html" || req.path == "/p6.html")
      res.set_content(ContactPage(req.path == "/p4.html" ? "第五页公司" : "第七页公司"),
                      "text/html; charset=gbk");
    else
      res.set_content(start, "text/html; charset=gbk");
  });

  std::vector<std::string> names[2];
  std::vector<std::string> visited[2];
  for (int run = 0; run < 2; ++run) {
    TGlobalSet set = Settings(2);
    set.SiteParallelPages = run == 0 ? 1 : 3;
    TCrawl crawl(set);
    auto worker = crawl.Run(server.Url(host, "/"));
    for (const auto& r : crawl.records) names[run].push_back(r->CompanyName + r->WebAddress);
    visited[run] = worker->Visited;
    EXPECT_TRUE(worker->Completed());
  }
  EXPECT_EQ(names[1], names[0]);
  ASSERT_EQ(names[0].size(), 1u);
  EXPECT_EQ(names[0][0], G("第五页公司") + server.Url(host, "/p4.html"));
  EXPECT_EQ(visited[1], visited[0]);
  EXPECT_GE(seen.peak.load(), 2);
  EXPECT_LE(seen.peak.load(), 3);
}

TEST(FindWebThead, HostLimitAndRobotsTxtHoldAcrossTheWorkersOfARun) {
  LocalServer server;
  const std::string host = "www.shared.localhost";
  TConcurrency seen;
  ServeLinkedSite(server, host, 6, std::chrono::milliseconds(50), &seen);
  server.Serve(host, "/robots.txt",
               "User-agent: *\nDisallow: /p1\nDisallow: /p3\n\nUser-agent: other\nDisallow: /\n",
               "text/plain");

  TGlobalSet set = Settings(1);
  set.SiteParallelPages = 3;
  TCrawl crawl(set);
  TCrawlShared shared{std::make_shared<THostLimiter>(2), std::make_shared<TRobotsCache>()};
  std::vector<std::unique_ptr<TFindWebThead>> workers;
  for (int i = 0; i < 4; ++i)
    workers.push_back(std::make_unique<TFindWebThead>(
        crawl.state, crawl.store, server.Url(host, "/s" + std::to_string(i) + "/"), "", "",
        shared));
  for (auto& w : workers) w->Resume();
  for (auto& w : workers) EXPECT_TRUE(WaitFinished(*w, std::chrono::seconds(30)));

  EXPECT_LE(seen.peak.load(), 2);
  EXPECT_GE(seen.peak.load(), 1);
  const std::vector<std::string> paths = PathsOf(server, host);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/robots.txt"), 1);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/p1.html"), 0);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/p3.html"), 0);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/p2.html"), 4);

  // Rule choice: the group naming us, the longest match, Allow on a tie, "*" and "$".
  const TRobotsRules rules = ParseRobots(
      "User-agent: *\nDisallow: /\n\nUser-agent: Veltra\nDisallow: /a\nAllow: /a/ok\n"
      "Disallow: /*.pdf$\n",
      "Veltra/1.0");
  EXPECT_FALSE(RobotsAllows(rules, "/a/x"));
  EXPECT_TRUE(RobotsAllows(rules, "/a/ok/1"));
  EXPECT_TRUE(RobotsAllows(rules, "/b"));
  EXPECT_FALSE(RobotsAllows(rules, "/b/c.pdf"));
  EXPECT_TRUE(RobotsAllows(rules, "/b/c.pdf?x"));
  EXPECT_FALSE(RobotsAllows(ParseRobots("User-agent: *\nDisallow: /\n", "veltra"), "/x"));
}

namespace {

// Hands back a prepared document per address (UTF-8), or hangs until the worker stops.
class TScriptedRenderer : public TPageRenderer {
 public:
  std::map<std::string, std::string> Documents;
  bool Hang = false;

  TRenderResult Render(const TRenderRequest& request) override {
    {
      std::lock_guard lock(mutex_);
      asked_.push_back(request.Url);
    }
    TRenderResult out;
    while (Hang && !request.Stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto it = Documents.find(request.Url);
    if (Hang || it == Documents.end()) {
      out.Error = Hang ? "stopped" : "load failed";
      return out;
    }
    out.Ok = true;
    out.Html = it->second;
    return out;
  }
  std::vector<std::string> Asked() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> sorted = asked_;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> asked_;
};

}  // namespace

TEST(FindWebThead, ScriptShellsWithoutRecordsAreRenderedWhenAsked) {
  LocalServer server;
  const std::string host = "www.shell.localhost";
  const std::string shell =
      "<html><body><div id=\"app\"></div><script src=\"/app.js\"></script>"
      "</body></html>";
  server.Serve(host, "/",
               LinkPage({{"/a.html", "简介"}, {"/b.html", "联系"}, {"/c.html", "产品"}}));
  server.Serve(host, "/a.html", G("<p>" + std::string(60, 'x') + "本公司专业生产机械。</p>"));
  server.Serve(host, "/b.html", shell);
  server.Serve(host, "/c.html", shell);
  TScriptedRenderer renderer;
  renderer.Documents[server.Url(host, "/b.html")] =
      gbk::ToUtf8(ContactPage("苏州云启软件有限公司"));
  TCrawlShared shared;
  shared.Renderer = &renderer;

  TGlobalSet set = Settings(1);
  set.SiteParallelPages = 3;  // the level of three pages is read by three lanes
  for (int mode : {0, 1}) {
    set.RenderScripts = mode;
    TCrawl crawl(set);
    auto worker = std::make_unique<TFindWebThead>(crawl.state, crawl.store, server.Url(host, "/"),
                                                  "", "", shared);
    worker->Resume();
    ASSERT_TRUE(WaitFinished(*worker, std::chrono::seconds(30)));
    const auto records = crawl.state.TakeCompanies();
    if (mode == 0) {
      EXPECT_TRUE(records.empty());
      EXPECT_TRUE(renderer.Asked().empty());
      continue;
    }
    // Only the shells were rendered: not the link page, not the page with text.
    const std::vector<std::string> asked = renderer.Asked();
    EXPECT_TRUE(asked == std::vector<std::string>{server.Url(host, "/b.html")} ||
                asked == (std::vector<std::string>{server.Url(host, "/b.html"),
                                                   server.Url(host, "/c.html")}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->CompanyName, G("苏州云启软件有限公司"));
    EXPECT_EQ(records[0]->WebAddress, server.Url(host, "/b.html"));
    EXPECT_EQ(records[0]->Telephone, "0571-88231234");
  }

  // A page that never finishes rendering does not hold the worker past Stop.
  renderer.Hang = true;
  TCrawl crawl(set);
  auto worker = std::make_unique<TFindWebThead>(crawl.state, crawl.store,
                                                server.Url(host, "/c.html"), "", "", shared);
  worker->Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto stopped = std::chrono::steady_clock::now();
  worker->RequestStop();
  ASSERT_TRUE(WaitFinished(*worker, std::chrono::seconds(5)));
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_FALSE(worker->Completed());
}
