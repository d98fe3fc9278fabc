#include "crawl/search_point_web_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/program_state.h"
#include "factory_settings.h"
#include "local_server.h"
#include "test_support.h"

using testsupport::G;
using testsupport::LocalServer;

namespace {

const std::string kHost = "www.huangye.localhost";

TGlobalSet DirectorySettings() {
  TGlobalSet set = testsupport::FactorySettings();
  set.InfoLinkLike = {"show.asp"};
  set.NextPageLinkLike = {"list.asp", "page="};
  set.MaxReadHTMLTimeOut = 10000;
  set.UserAgent.clear();  // the directory thread's classic "User-Agent"
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

// The three fixture pages: page 1 and 3 under /list/, page 2 under /yp/ with a base tag
// pointing back to /list/. Anything else is a 404.
void ServeDirectory(LocalServer& server) {
  auto page = [](const std::string& fixture) {
    return [body = testsupport::ReadFixture(fixture)](const httplib::Request&,
                                                      httplib::Response& res) {
      res.set_content(body, "text/html; charset=gb2312");
    };
  };
  auto list1 = page("directory/list1.html");
  auto list2 = page("directory/list2.html");
  auto list3 = page("directory/list3.html");
  server.Handle(kHost, "/list/list.asp", [=](const httplib::Request& req, httplib::Response& res) {
    const std::string n = req.get_param_value("page");
    if (n == "1") return list1(req, res);
    if (n == "3") return list3(req, res);
    res.status = 404;
  });
  server.Handle(kHost, "/yp/list.asp", [=](const httplib::Request& req, httplib::Response& res) {
    if (req.get_param_value("page") == "2") return list2(req, res);
    res.status = 404;
  });
}

struct TDirectoryRun {
  TProgramState state;
  TSettingsStore store;
  explicit TDirectoryRun(const TGlobalSet& set) { store.Publish(set); }
};

}  // namespace

TEST(SearchPointWebThread, WalksAThreePageDirectoryOnce) {
  LocalServer server;
  ServeDirectory(server);
  TDirectoryRun run(DirectorySettings());
  // Typed without protocol.
  run.state.SearchText =
      "www.huangye.localhost:" + std::to_string(server.Port()) + "/list/list.asp?page=1";
  TSearchPointWebThread thread(run.state, run.store);
  thread.Resume();
  ASSERT_TRUE(WaitFinished(thread, std::chrono::seconds(20)));
  EXPECT_TRUE(thread.Completed());

  // Every page once, although each links back to the others; page 2's links resolve against
  // its base tag (else /yp/list.asp?page=3 would be asked for).
  std::vector<std::string> targets;
  for (const auto& r : server.Requests()) targets.push_back(r.Target);
  EXPECT_EQ(targets, (std::vector<std::string>{"/list/list.asp?page=1", "/yp/list.asp?page=2",
                                               "/list/list.asp?page=3"}));
  for (const auto& r : server.Requests())
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/3.0 (compatible;MSIE5.00;windows2000)");

  const std::string company = server.Url(kHost, "/company/show.asp?id=");
  std::vector<std::string> urls;
  for (const auto& e : run.state.CopyURLList()) urls.push_back(e.URL);
  EXPECT_EQ(urls, (std::vector<std::string>{company + "101", company + "102", company + "201",
                                            company + "202", company + "203&from=list.asp&page=2",
                                            company + "301", company + "302"}));
  EXPECT_EQ(run.state.CopyURLList()[2].Title, G("嘉兴光明电器有限公司"));

  // The contact block printed on the first directory page is a record of its own.
  auto records = run.state.TakeCompanies();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->CompanyName, G("浙江企业名录网"));
  EXPECT_EQ(records[0]->WebAddress, server.Url(kHost, "/list/list.asp?page=1"));
  EXPECT_EQ(records[0]->Telephone, "0571-85061234");
  EXPECT_EQ(thread.Visited.size(), 3u);
}

TEST(SearchPointWebThread, WithoutNextPageMatchesOnlyTheStartPageIsRead) {
  LocalServer server;
  ServeDirectory(server);
  TGlobalSet set = DirectorySettings();
  set.NextPageLinkLike = {"no-such-link"};
  TDirectoryRun run(set);
  // Typed as a network path.
  run.state.SearchText =
      "  //www.huangye.localhost:" + std::to_string(server.Port()) + "/list/list.asp?page=1 ";
  TSearchPointWebThread thread(run.state, run.store);
  thread.Resume();
  ASSERT_TRUE(WaitFinished(thread, std::chrono::seconds(20)));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(run.state.URLCount(), 2u);
  EXPECT_TRUE(thread.Completed());
}

TEST(SearchPointWebThread, RequestStopDuringAFetchEndsTheWalk) {
  testsupport::SilentServer silent;
  TDirectoryRun run(DirectorySettings());
  run.state.SearchText = silent.Url("/list.asp?page=1");
  TSearchPointWebThread thread(run.state, run.store);
  thread.Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto stopAt = std::chrono::steady_clock::now();
  thread.RequestStop();
  ASSERT_TRUE(WaitFinished(thread, std::chrono::seconds(3)));
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
  EXPECT_FALSE(thread.Completed());
  EXPECT_EQ(run.state.URLCount(), 0u);
}

TEST(SearchPointWebThread, StartAddressNormalisation) {
  using T = TSearchPointWebThread;
  EXPECT_EQ(T::NormaliseStartURL(" www.a.localhost/list "), "http://www.a.localhost/list");
  EXPECT_EQ(T::NormaliseStartURL("//www.a.localhost/list"), "http://www.a.localhost/list");
  EXPECT_EQ(T::NormaliseStartURL("HTTP://www.a.localhost/"), "HTTP://www.a.localhost/");
  EXPECT_EQ(T::NormaliseStartURL("https://www.a.localhost/"), "https://www.a.localhost/");
}

TEST(SearchPointWebThread, TheDirectorysOwnContactIsRecordedOncePerRun) {
  LocalServer server;
  server.Handle(kHost, "/ml/list.asp",
                [one = testsupport::ReadFixture("lists/directory_page1.html"),
                 two = testsupport::ReadFixture("lists/directory_page2.html")](
                    const httplib::Request& req, httplib::Response& res) {
                  res.set_content(req.get_param_value("page") == "2" ? two : one,
                                  "text/html; charset=gb2312");
                });
  TGlobalSet set = DirectorySettings();
  set.FlagModernRecognition = true;
  TDirectoryRun run(set);
  run.state.SearchText = server.Url(kHost, "/ml/list.asp?page=1");
  TSearchPointWebThread thread(run.state, run.store);
  thread.Resume();
  ASSERT_TRUE(WaitFinished(thread, std::chrono::seconds(20)));
  EXPECT_EQ(thread.Visited.size(), 2u);

  // Three listed companies a page, and the footer's hotline once.
  auto records = run.state.TakeCompanies();
  std::vector<std::string> names;
  int footer = 0;
  for (const auto& r : records) {
    names.push_back(r->CompanyName);
    footer += r->Telephone.find("0571-85069999") != std::string::npos;
  }
  EXPECT_EQ(records.size(), 7u);
  EXPECT_EQ(footer, 1);
  EXPECT_NE(std::find(names.begin(), names.end(), G("金华婺城五金有限公司")), names.end());
}
