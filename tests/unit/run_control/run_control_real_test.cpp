// The run supervised over the real thread classes and a local web.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engines/engine_set.h"
#include "factory_settings.h"
#include "local_server.h"
#include "run/default_thread_factory.h"
#include "run/run_control.h"
#include "test_support.h"

using testsupport::G;

namespace {

class TQuietView : public TRunView {
 public:
  void SetStatusText(int panel, const std::string& text) override { panels.at(panel) = text; }
  void AppendURLBarLines(const std::vector<std::string>& lines) override {
    lineCount += lines.size();
  }
  void ClearURLBar() override { lineCount = 0; }
  std::size_t URLBarLineCount() const override { return lineCount; }
  TMessageResult ShowMessage(const std::string&, const std::string&, TMessageIcon,
                             TMessageButtons) override {
    return TMessageResult::Ok;
  }
  void SetCursor(TRunCursor) override {}
  std::string InputText() const override { return "key"; }
  void SetInputText(const std::string&) override {}
  void FocusInput() override {}
  bool KeywordModeSelected() const override { return true; }
  bool WebsiteModeSelected() const override { return false; }
  void SetModeButtons(bool, bool) override {}
  void SetWindowCaption(const std::string&) override {}
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&,
                                             const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void EnableTimer(TRunTimer, bool) override {}

  std::array<std::string, 5> panels;
  std::size_t lineCount = 0;
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
  TRunControl rc(state, settings, results, view, factory, engines.All(), [&] { return now; });

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
