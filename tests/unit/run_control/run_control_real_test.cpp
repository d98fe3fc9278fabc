// The run supervised over the real thread classes and a local web.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <thread>

#include "engines/engine_set.h"
#include "factory_settings.h"
#include "local_server.h"
#include "null_run_view.h"
#include "run/default_thread_factory.h"
#include "run/run_control.h"
#include "test_support.h"

using testsupport::G;

namespace {

class TQuietView : public TNullRunView {
 public:
  void SetStatusText(int panel, const std::string& text) override { panels.at(panel) = text; }
  void AppendURLBarLines(const std::vector<std::string>& lines) override {
    lineCount += lines.size();
  }
  void ClearURLBar() override { lineCount = 0; }
  std::size_t URLBarLineCount() const override { return lineCount; }
  std::string InputText() const override { return input; }
  bool KeywordModeSelected() const override { return keyword; }
  bool WebsiteModeSelected() const override { return !keyword; }

  std::array<std::string, 5> panels;
  std::size_t lineCount = 0;
  std::string input = "key";
  bool keyword = true;
};

}  // namespace

TEST(RunControlReal, ContinuedRunCrawlsQueuedSitesAndStopCutsOffAHangingRead) {
  testsupport::LocalServer web;
  testsupport::SilentServer silent;
  web.Serve("www.acme.localhost", "/",
            G("<html><body><p>上海海德机械有限公司</p><p>电话：021-62345678</p>"
              "<p>地址：上海市中山路1号</p><p>邮编：200001</p></body></html>"));
  web.Serve("www.beta.localhost", "/", G("<html><body>nothing here</body></html>"));

  TGlobalSet set = testsupport::FactorySettings();
  set.MaxFindWebThreadCount = 2;
  set.MaxReadHTMLTimeOut = 30000;
  set.FlagModernWindow = false;  // the stop reads "结束" as first designed
  set.FlagUseSina = set.FlagUseSohu = set.FlagUseYahoo = false;
  set.FlagUseGoogle = set.FlagUse163 = set.FlagUseBaidu = false;
  TSettingsStore settings;
  settings.Publish(set);
  TProgramState state;
  TEngineSet engines;
  TResultTable results;
  TQuietView view;
  TDefaultThreadFactory factory(state, settings, engines);
  uint32_t now = 0;
  TRunControl rc(state, settings, results, view, factory, engines.Entries(), [&] { return now; });

  // A reopened task: three queued sites, the last one never answers.
  state.AppendURL(web.Url("www.acme.localhost", "/"), "Acme", "");
  state.AppendURL(web.Url("www.beta.localhost", "/"), "Beta", "");
  state.AppendURL(silent.Url("/"), "Silent", "");
  state.RunState = -1;
  rc.ContinueActionExecute();
  ASSERT_EQ(state.RunState, 1);

  for (int i = 0; i < 500 && state.ProcessedURLCount < 2; ++i) {
    now += 1000;
    rc.BeginCheckTimerTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(state.ProcessedURLCount, 2);
  EXPECT_EQ(state.NextURLIndex, 3);
  ASSERT_GE(results.RowCount(), 1u);
  EXPECT_EQ(results.Cell(0, kColWebAddress), web.Url("www.acme.localhost", "/"));
  EXPECT_EQ(state.RunState, 1);  // the silent site still hangs

  const auto stopAt = std::chrono::steady_clock::now();
  rc.StopActionExecute();
  for (int i = 0; i < 500 && rc.StopWaitTimerEnabled(); ++i) {
    rc.StopWaitTimerTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));
  EXPECT_EQ(state.RunState, -1);
  EXPECT_EQ(view.panels[0], G("结束"));
  // The hanging site was cut off: a continued run starts again with it.
  EXPECT_EQ(state.NextURLIndex, 2);
  EXPECT_EQ(state.ProcessedURLCount, 2);
}

namespace {

// A contact page the analyser turns into one record of `company` (UTF-8).
std::string ContactPage(const std::string& company) {
  return G(
      "<html><head><title>联系我们</title></head><body>"
      "<table width=\"760\" border=\"0\" align=\"center\" cellpadding=\"4\">"
      "<tr><td>公司名称：" +
      company +
      "</td></tr><tr><td>地址：浙江省杭州市西湖区文三路 90 号</td></tr>"
      "<tr><td>邮编：310012</td></tr><tr><td>电话：0571-88231234</td></tr>"
      "</table></body></html>");
}

// A whole run over the real threads: a local web (fake engine, company sites, directory),
// supervision ticks driven here with a fake clock one second apart.
struct TWebRun {
  TWebRun() {
    set = testsupport::FactorySettings();
    set.MaxFindWebThreadCount = 2;
    set.MaxReadHTMLTimeOut = 30000;
    set.FlagUseSina = set.FlagUseSohu = set.FlagUseYahoo = false;
    set.FlagUseGoogle = set.FlagUse163 = set.FlagUseBaidu = false;
  }
  ~TWebRun() {
    rc.reset();  // joins every thread while the web still answers
    release = true;
  }
  void Begin() {
    settings.Publish(set);
    factory = std::make_unique<TDefaultThreadFactory>(state, settings, engines);
    rc = std::make_unique<TRunControl>(state, settings, results, view, *factory, engines.Entries(),
                                       [this] { return now; });
  }
  void Tick() {
    now += 1000;
    ++ticks;
    rc->BeginCheckTimerTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool TickUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 1500 && !done(); ++i) Tick();
    return done();
  }
  bool TickToEnd() {
    return TickUntil([&] { return !rc->BeginCheckTimerEnabled(); });
  }
  std::set<std::string> Companies() const {
    std::set<std::string> out;
    for (std::size_t i = 0; i < results.RowCount(); ++i)
      out.insert(results.Cell(i, kColCompanyName));
    return out;
  }
  // Baidu answers the first result page with the given sites; later pages are not found.
  // Each site is (address, UTF-8 title).
  void ServeBaidu(const std::vector<std::pair<std::string, std::string>>& sites) {
    set.FlagUseBaidu = true;
    set.EngineHost["Baidu"] = "baidu.localhost:" + std::to_string(web.Port());
    std::string page = "<html><body><table><tr><td>找到相关网页约" + std::to_string(sites.size()) +
                       "篇，用时0.1秒</td></tr></table>";
    for (const auto& [url, title] : sites)
      page +=
          "<p><a href=\"" + url + "\">" + title + "</a><br>简介<br><span>" + url + "</span></p>";
    web.Handle("baidu.localhost", "/baidu",
               [body = G(page + "<table></table></body></html>")](const httplib::Request& req,
                                                                  httplib::Response& res) {
                 if (req.get_param_value("pn") != "0") {
                   res.status = 404;
                   return;
                 }
                 res.set_content(body, "text/html; charset=gbk");
               });
  }

  std::atomic<bool> release{false};  // lets hanging handlers return
  testsupport::LocalServer web;      // before the threads: outlives every client
  TGlobalSet set;
  TSettingsStore settings;
  TProgramState state;
  TEngineSet engines;
  TResultTable results;
  TQuietView view;
  std::unique_ptr<TDefaultThreadFactory> factory;
  uint32_t now = 0;
  int ticks = 0;
  std::unique_ptr<TRunControl> rc;
};

}  // namespace

TEST(RunControlReal, KeywordRunFromStartToItsNaturalEnd) {
  TWebRun run;
  const std::string acme = run.web.Url("www.acme.localhost", "/");
  const std::string beta = run.web.Url("www.beta.localhost", "/");
  run.web.Serve("www.acme.localhost", "/", ContactPage("上海海德机械有限公司"));
  run.web.Serve("www.beta.localhost", "/", ContactPage("北京贝塔科技有限公司"));
  run.ServeBaidu({{acme, "上海海德机械有限公司"}, {beta, "北京贝塔科技有限公司"}});
  run.Begin();

  run.rc->StartActionExecute();
  ASSERT_EQ(run.state.RunState, 1);
  ASSERT_TRUE(run.TickToEnd());
  EXPECT_EQ(run.state.RunState, -1);
  EXPECT_EQ(run.Companies(),
            (std::set<std::string>{G("上海海德机械有限公司"), G("北京贝塔科技有限公司")}));
  EXPECT_EQ(run.view.panels[0], G("结束"));
  EXPECT_EQ(run.view.panels[1], G("得到网址数:2"));
  EXPECT_EQ(run.view.panels[2], G("已处理网址:2"));
  EXPECT_EQ(run.view.panels[3], G("得到信息:2"));
  EXPECT_EQ(run.view.panels[4], G("运行时间:0时0分") + std::to_string(run.ticks) + G("秒"));
  EXPECT_EQ(run.state.CurrentEngine.load(), nullptr);
  EXPECT_FALSE(run.rc->HasProducer());
}

TEST(RunControlReal, StopWhileASiteHangsThenContinueCrawlsItAgainToTheEnd) {
  TWebRun run;
  const std::string acme = run.web.Url("www.acme.localhost", "/");
  const std::string slow = run.web.Url("www.slow.localhost", "/");
  run.web.Serve("www.acme.localhost", "/", ContactPage("上海海德机械有限公司"));
  std::atomic<int> slowAsked{0};
  run.web.Handle(
      "www.slow.localhost", "/",
      [&, body = ContactPage("慢速电子有限公司")](const httplib::Request&, httplib::Response& res) {
        ++slowAsked;
        while (!run.release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        res.set_content(body, "text/html; charset=gbk");
      });
  run.ServeBaidu({{acme, "上海海德机械有限公司"}, {slow, "慢速电子有限公司"}});
  run.Begin();

  run.rc->StartActionExecute();
  ASSERT_TRUE(run.TickUntil([&] { return run.state.ProcessedURLCount == 1 && slowAsked > 0; }));
  EXPECT_EQ(run.Companies(), (std::set<std::string>{G("上海海德机械有限公司")}));

  const auto stopAt = std::chrono::steady_clock::now();
  run.rc->StopActionExecute();
  for (int i = 0; i < 500 && run.rc->StopWaitTimerEnabled(); ++i) {
    run.rc->StopWaitTimerTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));
  ASSERT_EQ(run.state.RunState, -1);
  EXPECT_EQ(run.state.NextURLIndex, 1);  // the slow site was cut off
  EXPECT_EQ(run.state.ProcessedURLCount, 1);

  run.release = true;
  run.rc->ContinueActionExecute();
  ASSERT_TRUE(run.TickToEnd());
  EXPECT_EQ(run.state.RunState, -1);
  EXPECT_GE(slowAsked.load(), 2);
  EXPECT_EQ(run.Companies(),
            (std::set<std::string>{G("上海海德机械有限公司"), G("慢速电子有限公司")}));
  EXPECT_EQ(run.results.RowCount(), 2u);
  EXPECT_EQ(run.state.URLCount(), 2u);  // the engine brought nothing new the second time
  EXPECT_EQ(run.state.ProcessedURLCount, 2);
}

TEST(RunControlReal, SpecifiedWebsiteRunFromStartToItsNaturalEnd) {
  TWebRun run;
  const std::string host = "www.huangye.localhost";
  run.web.Serve(host, "/list/list.asp",
                G("<html><head><title>名录</title></head><body><table class=\"list\">"
                  "<tr><td><a href=\"/company/show.asp?id=1\">杭州明远化工有限公司</a></td></tr>"
                  "<tr><td><a href=\"/company/show.asp?id=2\">宁波海德机械厂</a></td></tr>"
                  "</table><table><tr><td><a href=\"list2.asp?page=2\">下一页</a></td></tr>"
                  "</table></body></html>"));
  run.web.Serve(host, "/list/list2.asp",
                G("<html><head><title>名录</title></head><body><table class=\"list\">"
                  "<tr><td><a href=\"/company/show.asp?id=3\">嘉兴光明电器有限公司</a></td></tr>"
                  "</table></body></html>"));
  const std::vector<std::string> names = {"杭州明远化工有限公司", "宁波海德机械厂",
                                          "嘉兴光明电器有限公司"};
  run.web.Handle(host, "/company/show.asp",
                 [names](const httplib::Request& req, httplib::Response& res) {
                   const int id = std::atoi(req.get_param_value("id").c_str());
                   if (id < 1 || id > 3) {
                     res.status = 404;
                     return;
                   }
                   res.set_content(ContactPage(names[id - 1]), "text/html; charset=gbk");
                 });
  run.set.InfoLinkLike = {"show.asp"};
  run.set.NextPageLinkLike = {"page="};
  run.set.FlagUseBaidu = true;  // not used in this mode
  run.Begin();
  run.view.keyword = false;
  run.view.input = host + ":" + std::to_string(run.web.Port()) + "/list/list.asp";

  run.rc->StartActionExecute();
  ASSERT_EQ(run.state.SearchMode, 1);
  ASSERT_TRUE(run.TickToEnd());
  EXPECT_EQ(run.state.RunState, -1);
  EXPECT_EQ(run.state.URLCount(), 3u);
  EXPECT_EQ(run.Companies(), (std::set<std::string>{G(names[0]), G(names[1]), G(names[2])}));
  EXPECT_EQ(run.view.panels[1], G("得到网址数:3"));
  EXPECT_EQ(run.view.panels[2], G("已处理网址:3"));
  EXPECT_EQ(run.view.panels[3], G("得到信息:3"));
  for (const auto& r : run.web.Requests()) EXPECT_NE(r.Host, "baidu.localhost");
}
