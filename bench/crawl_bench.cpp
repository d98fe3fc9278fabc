// One crawl worker reading a local site of 50 pages to depth 2: 1 start page, 7 pages at
// level 1, 42 at level 2. No page holds a record, so every page is fetched and analysed.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "core/global_set.h"
#include "core/program_state.h"
#include "crawl/find_web_thread.h"

namespace {

constexpr int kLevelOne = 7;
constexpr int kLevelTwoEach = 6;
constexpr int kPages = 1 + kLevelOne + kLevelOne * kLevelTwoEach;

// A page of a company site without contact details: navigation, product text and links.
std::string SitePage(const std::string& title, const std::vector<std::string>& links) {
  std::string body = "<html><head><title>" + title +
                     "</title></head><body><table width=\"760\"><tr><td>"
                     "<a href=\"/\">首页</a> | <a href=\"/p1.html\">产品</a> | "
                     "<a href=\"/p2.html\">新闻</a></td></tr></table><table><tr><td>";
  for (int i = 0; i < 12; ++i)
    body += "<p>本厂专业生产各类数控机床、加工中心及配件，产品远销海外，欢迎新老客户惠顾。</p>\n";
  for (const std::string& link : links)
    body += "<a href=\"" + link + "\">产品介绍 " + link + "</a><br>\n";
  return gbk::FromUtf8(body + "</td></tr></table></body></html>");
}

class TSiteServer {
 public:
  TSiteServer() {
    std::vector<std::string> top;
    for (int i = 1; i <= kLevelOne; ++i) top.push_back("/p" + std::to_string(i) + ".html");
    pages_["/"] = SitePage("welcome", top);
    for (int i = 1; i <= kLevelOne; ++i) {
      std::vector<std::string> sub;
      for (int j = 1; j <= kLevelTwoEach; ++j)
        sub.push_back("/p" + std::to_string(i) + "/" + std::to_string(j) + ".html");
      pages_[top[i - 1]] = SitePage("p" + std::to_string(i), sub);
      for (const std::string& s : sub) pages_[s] = SitePage(s, {"/", top[0]});
    }
    server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      const auto it = pages_.find(req.path);
      if (it == pages_.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "text/html; charset=gbk");
    });
    // Without it the body waits for the client's delayed acknowledgement of the headers.
    server_.set_tcp_nodelay(true);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TSiteServer() {
    server_.stop();
    thread_.join();
  }
  TSiteServer(const TSiteServer&) = delete;
  TSiteServer& operator=(const TSiteServer&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  std::map<std::string, std::string> pages_;
  httplib::Server server_;
  int port_ = -1;
  std::thread thread_;
};

TGlobalSet CrawlSettings() {
  TGlobalSet set = FactoryGlobalSet();
  set.MaxCrawlLevel = 2;
  set.MaxReadHTMLTimeOut = 10000;
  // The whole site is read: no page or time budget cuts it short.
  set.SitePageBudget = 0;
  set.SiteTimeBudget = 0;
  return set;
}

// Counts the pages it is asked for; the site below never needs one.
class TCountingRenderer : public TPageRenderer {
 public:
  TRenderResult Render(const TRenderRequest&) override {
    ++Asked;
    return {};
  }
  std::atomic<int> Asked{0};
};

// Arg 0: no renderer (the classic crawl); 1: RenderScripts 1 with a renderer, so every page
// without records is also checked for being script-built.
void BM_CrawlSite(benchmark::State& st) {
  TSiteServer server;
  TSettingsStore store;
  TGlobalSet set = CrawlSettings();
  set.RenderScripts = static_cast<int32_t>(st.range(0));
  store.Publish(set);
  TProgramState state;
  TCountingRenderer renderer;
  TCrawlShared shared;
  if (set.RenderScripts > 0) shared.Renderer = &renderer;
  for (auto _ : st) {
    auto worker = std::make_unique<TFindWebThead>(state, store, server.Url(), "", "", shared);
    worker->Resume();
    worker->Join();
    if (worker->Visited.size() != static_cast<std::size_t>(kPages) || renderer.Asked.load() != 0) {
      st.SkipWithError("the worker did not read the whole site, or rendered a page");
      break;
    }
  }
  st.SetItemsProcessed(st.iterations() * kPages);
  st.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(st.iterations() * kPages),
                                                  benchmark::Counter::kIsRate);
}

// The test a page without records goes through when RenderScripts is 1, on one site page.
void BM_LooksScriptBuilt(benchmark::State& st) {
  const std::string page = SitePage("p1", {"/p1/1.html", "/p1/2.html", "/p1/3.html"});
  for (auto _ : st) benchmark::DoNotOptimize(LooksScriptBuilt(page));
  st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(page.size()));
}

}  // namespace

BENCHMARK(BM_LooksScriptBuilt);
BENCHMARK(BM_CrawlSite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
