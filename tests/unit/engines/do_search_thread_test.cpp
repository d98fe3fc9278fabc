// The search thread against a local fake engine server.

#include "engines/do_search_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/global_set.h"
#include "core/program_state.h"
#include "engines/engine_set.h"
#include "engines/source_registry.h"
#include "local_server.h"
#include "net/cookie_store.h"
#include "test_support.h"

using testsupport::G;
using namespace std::chrono_literals;

namespace {

bool WaitForEnd(const TDoSearchThread& thread, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (thread.WorkState.load() != 2) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string SohuPage(int total, const std::vector<std::string>& hosts) {
  std::string body = "<html><body><table><tr><td>网站搜索：关键词 共有" + std::to_string(total) +
                     "个查询结果</td></tr></table><ul>";
  for (const auto& h : hosts)
    body += "<li><a href=\"http://" + h + "/\">" + h + "</a> -- 站点</li>";
  return G(body + "</ul><table></table></body></html>");
}

std::string BaiduPage(int total, const std::vector<std::string>& hosts) {
  std::string body = "<html><body><table><tr><td>找到相关网页约" + std::to_string(total) +
                     "篇，用时0.1秒</td></tr></table>";
  for (const auto& h : hosts) {
    body += "<p><a href=\"http://" + h + "/\">" + h + "</a><br>描述<br><span>" + h + "</span></p>";
  }
  return G(body + "<table></table></body></html>");
}

class SearchThread : public ::testing::Test {
 protected:
  SearchThread() {
    state.SearchText = G("机床");
    settings.MaxReadHTMLTimeOut = 10000;
    const TSourceRegistry registry;
    for (const auto& def : registry.Entries()) {
      settings.EngineHost[def.HostKey] =
          def.HostKey + ".localhost:" + std::to_string(server.Port());
    }
  }

  // Pages by the value of the engine's paging key; anything else is answered with 404.
  // Registered once the pages are set, so the server thread sees them complete.
  void ServePages() {
    server.Handle("sohu.localhost", "/website.jsp", Pages("page_index", sohuPages));
    server.Handle("baidu.localhost", "/baidu", Pages("pn", baiduPages));
    server.Handle("yahoo.localhost", "/search/cn", Pages("b", yahooPages));
  }

  testsupport::LocalServer::Handler Pages(std::string key,
                                          const std::map<std::string, std::string>& pages) {
    return [key, &pages](const httplib::Request& req, httplib::Response& res) {
      const auto it = pages.find(req.get_param_value(key));
      if (it == pages.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "text/html; charset=gbk");
    };
  }

  std::unique_ptr<TDoSearchThread> Run() {
    ServePages();
    auto thread = std::make_unique<TDoSearchThread>(
        state, std::make_shared<const TGlobalSet>(settings), engines);
    thread->Resume();
    EXPECT_TRUE(WaitForEnd(*thread, 20s));
    return thread;
  }

  // Request targets in order, as "host path?query" with the keyword shown as K.
  std::vector<std::string> Seen() const {
    std::vector<std::string> out;
    const std::string k = "%BB%FA%B4%B2";  // GBK of the keyword, percent-encoded on the wire
    for (const auto& r : server.Requests()) {
      std::string t = r.Target;
      if (auto p = t.find(k); p != std::string::npos) t.replace(p, k.size(), "K");
      out.push_back(r.Host + " " + t);
    }
    return out;
  }

  std::vector<std::string> Urls() const {
    std::vector<std::string> out;
    for (const auto& e : state.CopyURLList()) out.push_back(e.URL);
    return out;
  }

  std::map<std::string, std::string> sohuPages;
  std::map<std::string, std::string> baiduPages;
  std::map<std::string, std::string> yahooPages;
  testsupport::LocalServer server;
  TGlobalSet settings;
  TProgramState state;
  TEngineSet engines;
};

}  // namespace

TEST_F(SearchThread, ReadsEnginesInOrderAndAppendsEachAddressOnce) {
  sohuPages = {{"0", SohuPage(45, {"a.cn", "b.cn"})},
               {"1", SohuPage(45, {"c.cn", "a.cn"})},
               {"2", SohuPage(45, {"b.cn", "c.cn"})}};
  baiduPages = {{"0", BaiduPage(15, {"c.cn", "d.cn"})}, {"10", BaiduPage(15, {"e.cn"})}};
  settings.FlagUseSina = settings.FlagUseYahoo = settings.FlagUseGoogle = false;
  settings.FlagUse163 = false;
  state.EngineList = engines.Selected(settings);

  auto thread = Run();
  // Sohu ends on its third page (nothing new), Baidu when the next offset passes its total.
  EXPECT_EQ(Seen(), (std::vector<std::string>{
                        "sohu.localhost /website.jsp?key_word=K&page_index=0",
                        "sohu.localhost /website.jsp?key_word=K&page_index=1",
                        "sohu.localhost /website.jsp?key_word=K&page_index=2",
                        "baidu.localhost /baidu?word=K&pn=0",
                        "baidu.localhost /baidu?word=K&pn=10",
                    }));
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a.cn/", "http://b.cn/", "http://c.cn/",
                                              "http://d.cn/", "http://e.cn/"}));
  EXPECT_EQ(server.Requests().front().Header("User-Agent"),
            "Mozilla/4.0(compatible;MSIE 5.01;Windows NT 5.0)");
  EXPECT_EQ(state.CurrentEngine.load(), nullptr);
  EXPECT_TRUE(thread->Completed());
  EXPECT_EQ(thread->Keyword, G("机床"));
}

TEST_F(SearchThread, EmptyEngineListSendsNothing) {
  auto thread = Run();
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(state.CurrentEngine.load(), nullptr);
  EXPECT_EQ(thread->WorkState.load(), 2);
}

TEST_F(SearchThread, FailedFetchEndsTheEngineAndTheNextOneIsRead) {
  baiduPages = {{"0", BaiduPage(5, {"z.cn"})}};
  state.EngineList = {&engines.Sohu(), &engines.Baidu()};  // Sohu answers 404
  Run();
  EXPECT_EQ(Seen().size(), 2u);
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://z.cn/"}));
}

TEST_F(SearchThread, ResumesAtTheStoredEngineAndPosition) {
  baiduPages = {{"20", BaiduPage(25, {"r.cn"})}};
  state.EngineList = {&engines.Sohu(), &engines.Baidu()};
  state.CurrentEngine = &engines.Baidu();
  state.EngineResultOffset = 21;
  state.EnginePageCount = 2;
  Run();
  // Nothing from the engine before it; the total is read again from the resumed page.
  EXPECT_EQ(Seen(), (std::vector<std::string>{"baidu.localhost /baidu?word=K&pn=20"}));
  EXPECT_EQ(state.EngineResultOffset.load(), 31);
  EXPECT_EQ(state.EnginePageCount.load(), 3);
  EXPECT_EQ(state.CurrentEngine.load(), nullptr);
}

TEST_F(SearchThread, StoredEngineNoLongerInTheListIsReadThenTheRunEnds) {
  yahooPages = {{"1", G("<html><body><li><a href=\"http://y.cn/\">y</a><table></body></html>")}};
  state.EngineList = {&engines.Sohu(), &engines.Baidu()};
  state.CurrentEngine = &engines.Yahoo();
  state.EngineResultOffset = 1;
  state.EnginePageCount = 0;
  auto thread = Run();
  EXPECT_EQ(Seen(), (std::vector<std::string>{"yahoo.localhost /search/cn?p=K&b=1&h=s&n=30"}));
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://y.cn/"}));
  EXPECT_TRUE(thread->Completed());
}

TEST_F(SearchThread, StopDuringABlockedFetchEndsPromptlyAndKeepsTheInterruptedPage) {
  testsupport::SilentServer silent;
  settings.MaxReadHTMLTimeOut = 60000;
  settings.EngineHost["Baidu"] = "127.0.0.1:" + std::to_string(silent.Port());
  state.EngineList = {&engines.Baidu(), &engines.Sohu()};
  state.CurrentEngine = &engines.Baidu();
  state.EngineResultOffset = 11;
  state.EnginePageCount = 1;

  TDoSearchThread thread(state, std::make_shared<const TGlobalSet>(settings), engines);
  thread.Resume();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(thread.WorkState.load(), 1);
  const auto stopAt = std::chrono::steady_clock::now();
  thread.RequestStop();
  ASSERT_TRUE(WaitForEnd(thread, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);

  EXPECT_FALSE(thread.Completed());
  EXPECT_EQ(state.CurrentEngine.load(), &engines.Baidu());
  // A continued run reads the interrupted page again.
  EXPECT_EQ(state.EngineResultOffset.load(), 11);
  EXPECT_EQ(state.EnginePageCount.load(), 1);
  EXPECT_TRUE(thread.PageText.empty());
  EXPECT_TRUE(server.Requests().empty());  // Sohu was never reached
}

TEST_F(SearchThread, StopBeforeTheNextEnginesFirstPageResumesThatEngineAtItsStart) {
  testsupport::SilentServer silent;
  settings.MaxReadHTMLTimeOut = 60000;
  settings.EngineHost["Baidu"] = "127.0.0.1:" + std::to_string(silent.Port());
  sohuPages["0"] = SohuPage(1, {"a.cn"});
  ServePages();
  state.EngineList = {&engines.Sohu(), &engines.Baidu()};

  TDoSearchThread thread(state, std::make_shared<const TGlobalSet>(settings), engines);
  thread.Resume();
  // Sohu ends after its only page; Baidu's first page hangs until the stop.
  for (int i = 0; i < 200 && state.CurrentEngine.load() != &engines.Baidu(); ++i)
    std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(100ms);
  thread.RequestStop();
  ASSERT_TRUE(WaitForEnd(thread, 5s));

  EXPECT_EQ(state.CurrentEngine.load(), &engines.Baidu());
  EXPECT_EQ(state.EngineResultOffset.load(), 1);  // not Sohu's end position
  EXPECT_EQ(state.EnginePageCount.load(), 0);
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a.cn/"}));
}

TEST_F(SearchThread, ContinueAtTheFourthEngineReadsNothingFromTheFirstThree) {
  server.Handle(
      "google.localhost", "/search", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("start") != "30") {
          res.status = 404;
          return;
        }
        res.set_content(G("<html><body><table><tr><td>用时0.1秒 共约有40项查询结果</td></tr>"
                          "</table><p><a href=\"http://g.cn/\">g</a> <a href=x>网页快照</a>"
                          "<table></body></html>"),
                        "text/html; charset=gbk");
      });
  state.EngineList = engines.Selected(settings);  // all six
  ASSERT_EQ(state.EngineList.size(), 6u);
  state.CurrentEngine = &engines.Google();
  state.EngineResultOffset = 31;
  state.EnginePageCount = 1;
  auto thread = Run();
  // Google's page ends it (61 > 40); 163 and Baidu answer 404 and end after one request.
  EXPECT_EQ(Seen(), (std::vector<std::string>{
                        "google.localhost /search?&q=K&num=30&hl=zh-CN&lr=lang_zh-CN&inlang=zh-"
                        "CN&start=30",
                        "163.localhost /Psearch?q=K&ofs=0",
                        "baidu.localhost /baidu?word=K&pn=0",
                    }));
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://g.cn/"}));
  EXPECT_TRUE(thread->Completed());
}

TEST_F(SearchThread, DamagedResultPagesEndEachEngineAndTheThread) {
  std::string junk;
  uint32_t x = 7;
  for (int i = 0; i < 300000; ++i) {
    x = x * 1103515245u + 12345u;
    junk.push_back(static_cast<char>(x >> 16));
  }
  sohuPages = {{"0", junk}};
  // Unterminated "<%": nothing after it is read, so nothing is found.
  yahooPages = {{"1", G("<html><body><%@ page x><li><a href=\"http://y.cn/\">y</a><table>")}};
  // A count beyond the 32-bit range reads as 0: the items are kept and the engine ends.
  baiduPages = {{"0", G("<html><body><table><tr><td>找到相关网页约9999999999篇，用时1秒</td>"
                        "</tr></table><p><a href=\"http://b.cn/\">b</a><br>d<br><span></span>"
                        "<p>©2004 Baidu</p></body></html>")}};
  state.EngineList = {&engines.Sohu(), &engines.Yahoo(), &engines.Baidu()};
  auto thread = Run();
  EXPECT_EQ(thread->WorkState.load(), 2);
  EXPECT_TRUE(thread->Completed());
  EXPECT_EQ(Seen().size(), 3u);
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://b.cn/"}));
  EXPECT_EQ(engines.Baidu().TotalCount, 0);
}

TEST_F(SearchThread, TodaysSourcesArePacedResolveTrackingLinksAndPassOverABlockedOne) {
  settings.FlagUseSina = settings.FlagUseSohu = settings.FlagUseYahoo = false;
  settings.FlagUseGoogle = settings.FlagUse163 = settings.FlagUseBaidu = false;
  settings.SourceUse = {{"Sogou", true}, {"BaiduWeb", true}};
  settings.SourceHost = {{"BaiduWeb", server.Url("baiduweb.localhost", "")},
                         {"Sogou", server.Url("sogou.localhost", "")}};
  settings.PaceMs = 200;
  auto item = [](const std::string& id) {
    return "<div class=\"result c-container\"><h3><a href=\"/link?url=" + id + "\">" + id +
           "</a></h3></div>";
  };
  const std::string first = "<html><body>" + item("a") + item("b") +
                            "<div id=\"page\"><a href=\"/s?pn=10\">下一页</a></div></body></html>";
  const std::string second = "<html><body>" + item("c") + "</body></html>";
  server.Handle("baiduweb.localhost", "/s",
                [&](const httplib::Request& req, httplib::Response& res) {
                  res.set_content(req.get_param_value("pn") == "0" ? first : second,
                                  "text/html; charset=utf-8");
                });
  server.Handle("baiduweb.localhost", "/link",
                [](const httplib::Request& req, httplib::Response& res) {
                  res.set_redirect("http://" + req.get_param_value("url") + ".cn/x?from=baidu");
                });
  server.Handle("sogou.localhost", "/web",
                [](const httplib::Request&, httplib::Response& res) { res.status = 429; });
  state.EngineList = engines.Selected(settings);
  ASSERT_EQ(state.EngineList.size(), 2u);

  const auto started = std::chrono::steady_clock::now();
  auto thread = Run();
  const auto elapsed = std::chrono::steady_clock::now() - started;
  // Only the redirects were read, never the sites themselves.
  EXPECT_EQ(Urls(),
            (std::vector<std::string>{"http://a.cn/x?from=baidu", "http://b.cn/x?from=baidu",
                                      "http://c.cn/x?from=baidu"}));
  for (const auto& r : server.Requests()) EXPECT_TRUE(r.Host.ends_with("localhost")) << r.Host;
  EXPECT_EQ(engines.Source("Sogou")->State.load(), TSourceState::Blocked);
  EXPECT_EQ(engines.Source("Sogou")->BlockedOffset.load(), 1);
  EXPECT_EQ(engines.Source("BaiduWeb")->State.load(), TSourceState::Finished);
  EXPECT_EQ(engines.Source("BaiduWeb")->Given.load(), 3);
  // Two result pages of one host at least 150 ms (200 ms less the jitter) apart.
  EXPECT_GE(elapsed, 150ms);
  EXPECT_EQ(state.CurrentEngine.load(), nullptr);
}

TEST_F(SearchThread, ASourcePassedByHandDuringTheRunIsSearchedAgainWithItsCookies) {
  settings.FlagUseSina = settings.FlagUseSohu = settings.FlagUseYahoo = false;
  settings.FlagUseGoogle = settings.FlagUse163 = settings.FlagUseBaidu = false;
  settings.SourceUse = {{"Sogou", true}, {"So360", true}};
  settings.SourceHost = {{"So360", server.Url("so360.localhost", "")},
                         {"Sogou", server.Url("sogou.localhost", "")}};
  settings.PaceMs = 0;
  const std::string page =
      "<html><body><div class=\"vrwrap\"><h3><a href=\"http://s.cn/\">s</a></h3></div>"
      "<div class=\"rb\"><h3><a href=\"http://t.cn/\">t</a></h3></div></body></html>";
  server.Handle("sogou.localhost", "/web",
                [&](const httplib::Request& req, httplib::Response& res) {
                  if (req.get_header_value("Cookie") != "pass=1") {
                    res.status = 429;
                    return;
                  }
                  res.set_content(page, "text/html; charset=utf-8");
                });
  // The other source answers only once the user has passed Sogou's verification.
  std::atomic<bool> passed{false};
  server.Handle("so360.localhost", "/s", [&](const httplib::Request&, httplib::Response& res) {
    for (int waited = 0; !passed.load() && waited < 2000; ++waited)
      std::this_thread::sleep_for(5ms);
    res.set_content("<html><body></body></html>", "text/html; charset=utf-8");
  });
  state.EngineList = engines.Selected(settings);
  auto cookies = std::make_shared<TCookieStore>();
  auto thread = std::make_unique<TDoSearchThread>(
      state, std::make_shared<const TGlobalSet>(settings), engines);
  thread->SetCookieStore(cookies);
  thread->Resume();

  TSearchEngineObject* sogou = engines.Source("Sogou");
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (sogou->State.load() != TSourceState::Blocked && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(5ms);
  ASSERT_EQ(sogou->State.load(), TSourceState::Blocked);
  EXPECT_TRUE(sogou->VerifyURL().starts_with(server.Url("sogou.localhost", "/web?query=")));
  cookies->Add(ParseNetscapeCookies("sogou.localhost\tFALSE\t/\tFALSE\t0\tpass\t1\n"));
  sogou->RetryRequested = true;
  passed = true;

  ASSERT_TRUE(WaitForEnd(*thread, 20s));
  EXPECT_EQ(sogou->State.load(), TSourceState::Finished);
  EXPECT_EQ(sogou->Given.load(), 2);
  EXPECT_EQ(Urls(), (std::vector<std::string>{"http://s.cn/", "http://t.cn/"}));
  EXPECT_FALSE(sogou->RetryRequested.load());
}
