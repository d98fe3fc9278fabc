#include "run/run_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "test_support.h"

using testsupport::G;

namespace {

// How a fake worker behaves; the test flips the flags from the main thread.
struct TWorkerControl {
  std::atomic<bool> finish{false};
  // A read that does not notice the stop: it returns this many ms after the request.
  std::atomic<int> msAfterStop{0};
  std::atomic<bool> exited{false};
  TWorkerThread* worker = nullptr;
};

class TFakeWorker : public TWorkerThread {
 public:
  TFakeWorker(std::shared_ptr<TWorkerControl> control, TProgramState* state, std::string url)
      : control_(std::move(control)), state_(state), url_(std::move(url)) {
    control_->worker = this;
  }
  ~TFakeWorker() override {
    Join();
    control_->worker = nullptr;  // reaped: tests must not look at it any more
  }

 protected:
  void Execute() override {
    while (!control_->finish.load() && !Terminated())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (Terminated()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(control_->msAfterStop.load()));
    } else {
      if (state_) {
        auto record = std::make_unique<TCompanyObject>();
        record->CompanyName = G("公司") + url_;
        record->WebAddress = url_;
        record->Address = "addr";
        record->PostCode = "200000";
        record->Telephone = "tel";
        record->Fax = "fax";
        record->Email = "mail";
        record->Description = "desc";
        state_->AppendCompany(std::move(record));
      }
      MarkCompleted();
    }
    control_->exited = true;
  }

 private:
  std::shared_ptr<TWorkerControl> control_;
  TProgramState* state_;
  std::string url_;
};

class TFakeFactory : public TThreadFactory {
 public:
  explicit TFakeFactory(TProgramState& state) : state_(state) {}

  std::unique_ptr<TWorkerThread> CreateCrawlWorker(const TSearchURLResult& entry) override {
    crawled.push_back(entry.URL);
    auto control = std::make_shared<TWorkerControl>();
    control->msAfterStop = msAfterStop;
    workers[entry.URL] = control;
    all.push_back(control);
    return std::make_unique<TFakeWorker>(control, &state_, entry.URL);
  }
  std::unique_ptr<TWorkerThread> CreateSearchThread() override {
    ++searchThreads;
    return MakeProducer();
  }
  std::unique_ptr<TWorkerThread> CreatePointWebThread() override {
    ++pointWebThreads;
    return MakeProducer();
  }

  std::vector<std::string> crawled;
  std::map<std::string, std::shared_ptr<TWorkerControl>> workers;  // latest per URL
  std::vector<std::shared_ptr<TWorkerControl>> all;
  std::shared_ptr<TWorkerControl> producer;
  int searchThreads = 0;
  int pointWebThreads = 0;
  int msAfterStop = 0;

 private:
  std::unique_ptr<TWorkerThread> MakeProducer() {
    producer = std::make_shared<TWorkerControl>();
    all.push_back(producer);
    return std::make_unique<TFakeWorker>(producer, nullptr, "");
  }
  TProgramState& state_;
};

class TFakeView : public TRunView {
 public:
  struct TMessage {
    std::string Text, Caption;
    TMessageIcon Icon;
  };
  void SetStatusText(int panel, const std::string& text) override { panels.at(panel) = text; }
  void AppendURLBarLines(const std::vector<std::string>& lines) override {
    urlBar.insert(urlBar.end(), lines.begin(), lines.end());
  }
  void ClearURLBar() override { urlBar.clear(); }
  std::size_t URLBarLineCount() const override { return urlBar.size(); }
  TMessageResult ShowMessage(const std::string& text, const std::string& title, TMessageIcon icon,
                             TMessageButtons) override {
    messages.push_back({text, title, icon});
    return answer;
  }
  void SetCursor(TRunCursor c) override { cursor = c; }
  std::string InputText() const override { return input; }
  void SetInputText(const std::string& text) override { input = text; }
  void FocusInput() override { ++focused; }
  bool KeywordModeSelected() const override { return keyword; }
  bool WebsiteModeSelected() const override { return website; }
  void SetModeButtons(bool k, bool w) override { keyword = k, website = w; }
  void SetWindowCaption(const std::string& c) override { caption = c; }
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&,
                                             const std::string& proposed) override {
    proposedName = proposed;
    return fileAnswer;
  }
  std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
    return fileAnswer;
  }
  void EnableTimer(TRunTimer, bool) override {}

  std::array<std::string, 5> panels;
  std::vector<std::string> urlBar;
  std::vector<TMessage> messages;
  TMessageResult answer = TMessageResult::Ok;
  TRunCursor cursor = TRunCursor::Normal;
  std::string input = "abc";
  int focused = 0;
  bool keyword = true, website = false;
  std::string caption, proposedName;
  std::optional<std::string> fileAnswer;
};

// A worker already freed by run control had ended (it is freed only at WorkState 2).
void WaitEnded(const TWorkerControl& c) {
  for (int i = 0; i < 5000 && c.worker && c.worker->WorkState.load() != 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (c.worker) {
    ASSERT_EQ(c.worker->WorkState.load(), 2);
  }
}

// Lets the worker finish its site and waits for WorkState 2 (once: it may be freed after).
void Finish(const std::shared_ptr<TWorkerControl>& c) {
  if (c->finish.exchange(true)) return;
  WaitEnded(*c);
}

// One supervised task: state, settings, table, view, factory, clock and run control.
struct TRig {
  explicit TRig(int slots = 3, bool engines = true) {
    TGlobalSet set;
    set.MaxFindWebThreadCount = slots;
    set.FlagModernWindow = false;  // these check the texts as first designed
    set.FlagUseSina = set.FlagUseSohu = set.FlagUseYahoo = engines;
    set.FlagUseGoogle = set.FlagUse163 = set.FlagUseBaidu = engines;
    settings.Publish(set);
    for (std::size_t i = 0; i < 6; ++i) {
      adapters[i] = reinterpret_cast<TSearchEngineObject*>(&adapterStorage[i]);
      entries.push_back({adapters[i], &registry.Entries()[i]});
    }
    rc = std::make_unique<TRunControl>(state, settings, results, view, factory, entries,
                                       [this] { return now; });
  }
  void Tick() {
    now += 1000;
    rc->BeginCheckTimerTimer();
  }
  void StopTick() {
    now += 1000;
    rc->StopWaitTimerTimer();
  }
  void AddURLs(std::initializer_list<const char*> urls) {
    for (const char* u : urls) state.AppendURL(u, std::string("T") + u, "");
  }
  // Ticks, finishing every worker each time, until the run ends.
  void RunToEnd() {
    for (int i = 0; i < 20 && rc->BeginCheckTimerEnabled(); ++i) {
      Tick();
      for (auto& [url, c] : factory.workers) Finish(c);
      if (state.NextURLIndex == static_cast<int32_t>(state.URLCount())) Finish(factory.producer);
    }
  }

  TProgramState state;
  TSettingsStore settings;
  TResultTable results;
  TFakeView view;
  TFakeFactory factory{state};
  std::array<char, 6> adapterStorage{};
  // Stand-ins for the six classic engines, paired with their registry entries.
  std::array<TSearchEngineObject*, 6> adapters{};
  TSourceRegistry registry;
  TEngineAdapters entries;
  uint32_t now = 5000;
  std::unique_ptr<TRunControl> rc;  // last: destroyed (and joined) first
};

}  // namespace

TEST(RunControl, StartWithEmptyInputEmptiesEverythingAndAsks) {
  TRig rig;
  rig.view.urlBar = {"old"};
  rig.results.AppendRow({"old", "", "", "", "", "", "", ""});
  rig.AddURLs({"http://old/"});
  rig.state.RunState = -1;
  rig.view.input = " \t ";
  rig.rc->StartActionExecute();
  EXPECT_TRUE(rig.view.urlBar.empty());
  EXPECT_EQ(rig.results.RowCount(), 0u);
  EXPECT_EQ(rig.state.URLCount(), 0u);
  EXPECT_EQ(rig.state.RunState, 0);
  ASSERT_EQ(rig.view.messages.size(), 1u);
  EXPECT_EQ(rig.view.messages[0].Text, G("请输入内容！"));
  EXPECT_EQ(rig.view.messages[0].Caption, G("提示"));
  EXPECT_EQ(rig.view.messages[0].Icon, TMessageIcon::Error);
  EXPECT_EQ(rig.view.focused, 1);
  EXPECT_EQ(rig.factory.searchThreads, 0);
  EXPECT_FALSE(rig.rc->BeginCheckTimerEnabled());
  EXPECT_TRUE(rig.rc->CanStart());
  EXPECT_FALSE(rig.rc->CanContinue());
}

TEST(RunControl, HugeWorkerCountMakesSlotsOnlyAsWorkersStart) {
  TRig rig(2147483647);
  rig.view.input = "key";
  rig.rc->StartActionExecute();
  EXPECT_EQ(rig.rc->WorkerSlotCount(), 2147483647u);
  EXPECT_EQ(rig.rc->AllocatedWorkerSlots(), 0u);
  rig.AddURLs({"a", "b", "c"});
  rig.Tick();
  EXPECT_EQ(rig.factory.crawled, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(rig.rc->AllocatedWorkerSlots(), 3u);
  Finish(rig.factory.workers["b"]);
  rig.AddURLs({"d"});
  rig.Tick();  // the freed slot is reused
  EXPECT_EQ(rig.rc->AllocatedWorkerSlots(), 3u);
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
  rig.RunToEnd();
  EXPECT_EQ(rig.state.ProcessedURLCount, 4);
}

TEST(RunControl, OneSlotHandsOutOneEntryPerTickAndRefillsWhenReaping) {
  TRig rig(1);
  rig.view.input = "  key  ";
  rig.rc->StartActionExecute();
  EXPECT_EQ(rig.state.SearchText, "key");
  EXPECT_EQ(rig.state.RunState, 1);
  EXPECT_TRUE(rig.rc->CanStop() && !rig.rc->CanStart() && !rig.rc->CanContinue());
  EXPECT_EQ(rig.rc->WorkerSlotCount(), 1u);
  rig.AddURLs({"a", "b", "c"});

  rig.Tick();
  EXPECT_EQ(rig.factory.crawled, (std::vector<std::string>{"a"}));
  rig.Tick();  // still busy: nothing new
  EXPECT_EQ(rig.factory.crawled.size(), 1u);
  Finish(rig.factory.workers["a"]);
  rig.Tick();
  EXPECT_EQ(rig.factory.crawled, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
  EXPECT_EQ(rig.state.NextURLIndex, 2);
  Finish(rig.factory.workers["b"]);
  rig.Tick();
  Finish(rig.factory.workers["c"]);
  rig.Tick();
  EXPECT_EQ(rig.state.ProcessedURLCount, 3);
  EXPECT_EQ(rig.state.RunState, 1);  // the producer may still add entries
  Finish(rig.factory.producer);
  rig.Tick();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_FALSE(rig.rc->BeginCheckTimerEnabled());
  EXPECT_EQ(rig.view.panels[0], G("结束"));
  EXPECT_EQ(rig.results.RowCount(), 3u);
}

TEST(RunControl, AWorkerThatEndsWakesTheDispatchWithoutATick) {
  TRig rig(1);
  std::atomic<int> wakes{0};
  rig.rc->SetWakeRequest([&] { ++wakes; });
  rig.rc->StartActionExecute();
  rig.Tick();
  rig.rc->DispatchPending();  // nothing queued yet
  rig.AddURLs({"a", "b", "c"});
  rig.rc->DispatchPending();  // queued after the tick: no need to wait for the next one
  ASSERT_EQ(rig.factory.crawled, (std::vector<std::string>{"a"}));
  rig.rc->DispatchPending();  // the one slot is busy
  EXPECT_EQ(rig.factory.crawled.size(), 1u);

  Finish(rig.factory.workers["a"]);
  for (int i = 0; i < 2000 && wakes.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(wakes.load(), 1);
  rig.rc->WorkerEnded();  // no tick: the clock stands still
  EXPECT_EQ(rig.factory.crawled, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
  EXPECT_EQ(rig.results.RowCount(), 1u);

  // The end test stays with the tick; a wake after a stop completes it at once.
  rig.rc->StopActionExecute();
  Finish(rig.factory.producer);
  for (int i = 0; i < 2000 && wakes.load() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  WaitEnded(*rig.factory.workers["b"]);
  rig.rc->WorkerEnded();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_EQ(rig.state.NextURLIndex, 1);  // "b" was cut off: the run resumes there
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
}

TEST(RunControl, EngineListFollowsTheSettingsAndEmptyListEndsAfterTheProducer) {
  TRig rig(2, false);
  rig.rc->StartActionExecute();
  EXPECT_TRUE(rig.state.EngineList.empty());
  EXPECT_EQ(rig.factory.searchThreads, 1);
  rig.Tick();
  EXPECT_EQ(rig.state.RunState, 1);
  Finish(rig.factory.producer);
  rig.Tick();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_FALSE(rig.rc->HasProducer());

  rig.rc->StartActionExecute();
  Finish(rig.factory.producer);
  rig.rc->BeginCheckTimerTimer();  // no running time yet: not the end
  EXPECT_EQ(rig.state.RunState, 1);
  rig.Tick();
  EXPECT_EQ(rig.state.RunState, -1);

  TGlobalSet set;
  set.FlagUseSina = set.FlagUseYahoo = set.FlagUseBaidu = true;
  set.FlagUseSohu = set.FlagUseGoogle = set.FlagUse163 = false;
  rig.settings.Publish(set);
  rig.rc->BuildEngineList();
  EXPECT_EQ(rig.state.EngineList,
            (std::vector<TSearchEngineObject*>{rig.adapters[0], rig.adapters[2], rig.adapters[5]}));
}

TEST(RunControl, NaturalEndWithRecordsStatusTextsAndRunningTime) {
  TRig rig;
  rig.now = 0xFFFFFFFFu - 499;  // the tick counter wraps during the run
  rig.rc->StartActionExecute();
  rig.AddURLs({"http://a/", "http://b/"});
  rig.Tick();
  EXPECT_EQ(rig.view.panels[0], G("正在运行..."));
  EXPECT_EQ(rig.view.panels[4], G("运行时间:0时0分1秒"));
  rig.RunToEnd();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_EQ(rig.view.panels[0], G("结束"));
  EXPECT_EQ(rig.view.panels[1], G("得到网址数:2"));
  EXPECT_EQ(rig.view.panels[2], G("已处理网址:2"));
  EXPECT_EQ(rig.view.panels[3], G("得到信息:2"));
  EXPECT_EQ(rig.view.urlBar, (std::vector<std::string>{"http://a/", "http://b/"}));
  ASSERT_EQ(rig.results.RowCount(), 2u);
  EXPECT_EQ(rig.results.Row(0), (TResultRow{G("公司") + "http://a/", "http://a/", "mail", "tel",
                                            "fax", "addr", "200000", "desc"}));

  const uint32_t elapsed = rig.state.ElapsedMs;
  rig.Tick();  // a disabled timer does nothing
  EXPECT_EQ(rig.state.ElapsedMs, elapsed);

  rig.state.ElapsedMs = 3722000 - 1000;
  rig.rc->UpdateStatusCounters();  // adds the second since the last tick
  EXPECT_EQ(rig.view.panels[4], G("运行时间:1时2分2秒"));
  rig.state.ElapsedMs = 100u * 3600 * 1000 + 59999;
  rig.rc->UpdateStatusCounters();
  EXPECT_EQ(rig.view.panels[4], G("运行时间:100时0分59秒"));
}

TEST(RunControl, StopWaitsForEveryThreadThenEnds) {
  TRig rig(2);
  rig.factory.msAfterStop = 200;  // reads that return late after the disconnect
  rig.rc->StartActionExecute();
  rig.AddURLs({"a", "b"});
  rig.Tick();
  rig.rc->StopActionExecute();
  EXPECT_EQ(rig.view.panels[0], G("正在停止..."));
  EXPECT_EQ(rig.view.cursor, TRunCursor::Hourglass);
  EXPECT_FALSE(rig.rc->BeginCheckTimerEnabled());
  EXPECT_TRUE(rig.rc->StopWaitTimerEnabled());
  EXPECT_TRUE(rig.factory.workers["a"]->worker->Terminated());
  EXPECT_TRUE(rig.factory.workers["b"]->worker->Terminated());
  EXPECT_TRUE(rig.factory.producer->worker->Terminated());
  rig.StopTick();
  EXPECT_EQ(rig.state.RunState, 1);
  EXPECT_TRUE(rig.rc->CanStop());
  WaitEnded(*rig.factory.workers["a"]);
  WaitEnded(*rig.factory.workers["b"]);
  WaitEnded(*rig.factory.producer);
  rig.StopTick();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_EQ(rig.view.panels[0], G("结束"));
  EXPECT_EQ(rig.view.cursor, TRunCursor::Normal);
  EXPECT_FALSE(rig.rc->StopWaitTimerEnabled());
  // Both were cut off: the run resumes at the first of them.
  EXPECT_EQ(rig.state.NextURLIndex, 0);
  EXPECT_EQ(rig.state.ProcessedURLCount, 0);
}

namespace {

// Five entries, three slots: "u0" done and reaped, "u2" done after the last tick, "u1" and
// "u3" cut off by the stop, "u4" never handed out.
void RunAndStop(TRig& rig) {
  rig.rc->StartActionExecute();
  rig.AddURLs({"u0", "u1", "u2", "u3", "u4"});
  rig.Tick();
  Finish(rig.factory.workers["u0"]);
  rig.Tick();
  ASSERT_EQ(rig.factory.crawled, (std::vector<std::string>{"u0", "u1", "u2", "u3"}));
  Finish(rig.factory.workers["u2"]);
  rig.rc->StopActionExecute();
  for (int i = 0; i < 2000 && rig.rc->StopWaitTimerEnabled(); ++i) {
    rig.StopTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(rig.state.RunState, -1);
  EXPECT_EQ(rig.state.NextURLIndex, 1);
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
  // u2's record came after the last tick: it waits in the company list.
  EXPECT_EQ(rig.results.RowCount(), 1u);
  EXPECT_EQ(rig.state.CompanyCount(), 1u);
}

void ContinueToEnd(TRig& rig) {
  rig.factory.crawled.clear();
  rig.factory.workers.clear();
  EXPECT_TRUE(rig.rc->CanContinue());
  rig.rc->ContinueActionExecute();
  ASSERT_EQ(rig.state.RunState, 1);
  rig.RunToEnd();
  EXPECT_EQ(rig.state.RunState, -1);
  // u2 finished before the stop: skipped, but counted as processed.
  EXPECT_EQ(rig.factory.crawled, (std::vector<std::string>{"u1", "u3", "u4"}));
  EXPECT_EQ(rig.state.ProcessedURLCount, 5);
  EXPECT_EQ(rig.state.NextURLIndex, 5);
}

}  // namespace

TEST(RunControl, StoppedRunResumesFromTheFirstCutOffSite) {
  TRig rig;
  RunAndStop(rig);
  ContinueToEnd(rig);
  EXPECT_EQ(rig.factory.searchThreads, 2);
  EXPECT_EQ(rig.results.RowCount(), 5u);
}

TEST(RunControl, StoppedRunResumesAfterSaveAndReopen) {
  testsupport::TempDir dir;
  std::string path;
  {
    TRig rig;
    RunAndStop(rig);
    rig.view.fileAnswer = (dir / "task").string();
    EXPECT_TRUE(rig.rc->SaveSessionActionExecute());
    EXPECT_EQ(rig.view.proposedName, G("新任务1"));
    path = rig.state.TaskFileName;
    EXPECT_EQ(path, (dir / "task.swrw").string());
    EXPECT_EQ(rig.view.panels[0], G("保存完毕"));
    EXPECT_FALSE(rig.state.Modified);
  }
  TRig rig;
  rig.view.input.clear();
  rig.view.keyword = false;
  rig.view.fileAnswer = path;
  rig.rc->OpenSessionActionExecute();
  EXPECT_EQ(rig.state.RunState, -1);
  EXPECT_EQ(rig.state.TaskFileName, path);
  EXPECT_EQ(rig.state.NextURLIndex, 1);
  EXPECT_EQ(rig.view.input, "abc");
  EXPECT_TRUE(rig.view.keyword);
  EXPECT_EQ(rig.view.urlBar.size(), 5u);
  EXPECT_EQ(rig.view.caption, G("新任务1-Veltra企业名录采集系统"));
  EXPECT_EQ(rig.view.panels[0], G("结束"));
  EXPECT_EQ(rig.view.panels[1], G("得到网址数:5"));
  EXPECT_EQ(rig.view.panels[2], G("已处理网址:1"));
  // u2's late record was moved into the table before saving, so the file holds it.
  EXPECT_EQ(rig.view.panels[3], G("得到信息:2"));
  EXPECT_EQ(rig.state.CrawledAhead, (std::set<int32_t>{2}));
  ContinueToEnd(rig);
  EXPECT_EQ(rig.results.RowCount(), 5u);
}

TEST(RunControl, SavedDuringARunReopensAtTheFirstUnfinishedSiteAndSkipsTheFinishedOnes) {
  testsupport::TempDir dir;
  std::string path;
  {
    TRig rig;
    rig.rc->StartActionExecute();
    rig.AddURLs({"u0", "u1", "u2", "u3", "u4"});
    rig.Tick();
    Finish(rig.factory.workers["u0"]);
    Finish(rig.factory.workers["u2"]);
    rig.Tick();  // u0 and u2 reaped, u3 and u4 handed out; u1 still busy
    ASSERT_EQ(rig.state.ProcessedURLCount, 2);
    ASSERT_EQ(rig.state.NextURLIndex, 5);
    rig.view.fileAnswer = (dir / "running").string();
    EXPECT_TRUE(rig.rc->SaveSessionActionExecute());
    path = rig.state.TaskFileName;
    EXPECT_EQ(rig.view.panels[0], G("保存完毕"));
    // The run goes on after the save.
    EXPECT_EQ(rig.state.RunState, 1);
    EXPECT_TRUE(rig.rc->BeginCheckTimerEnabled());
    rig.Tick();
    EXPECT_EQ(rig.view.panels[0], G("正在运行..."));
  }
  TRig rig;
  ASSERT_TRUE(rig.rc->OpenTask(path));
  // u1 was still being crawled: the task resumes there, and u2 is not crawled again.
  EXPECT_EQ(rig.state.NextURLIndex, 1);
  EXPECT_EQ(rig.state.ProcessedURLCount, 1);
  EXPECT_EQ(rig.results.RowCount(), 2u);
  ContinueToEnd(rig);
  EXPECT_EQ(rig.results.RowCount(), 5u);
}

TEST(RunControl, ARecordAlreadyInTheListIsNotAddedAgain) {
  TRig rig(1);
  rig.rc->StartActionExecute();
  rig.results.AppendRow({G("甲公司"), "http://a.localhost/x", "m", "t", "f", "a", "p", "d"});
  auto add = [&](const char* name, const char* web, const char* tel, const char* desc) {
    auto r = std::make_unique<TCompanyObject>();
    r->CompanyName = G(name);
    r->WebAddress = web;
    r->Email = "m", r->Telephone = tel, r->Fax = "f", r->Address = "a", r->PostCode = "p";
    r->Description = desc;
    rig.state.AppendCompany(std::move(r));
  };
  add("甲公司", "http://a.localhost/x", "t", "other");  // same page and values: dropped
  add("甲公司", "http://b.localhost/x", "t", "d");      // another page
  add("甲公司", "http://a.localhost/x", "t2", "d");     // another telephone
  add("甲公司", "http://b.localhost/x", "t", "d");      // repeats a record of this batch
  add("甲公司", "http://a.localhost/y", "t", "d");      // another page of the same site
  rig.Tick();
  ASSERT_EQ(rig.results.RowCount(), 4u);
  EXPECT_EQ(rig.results.Row(1)[kColWebAddress], "http://b.localhost/x");
  EXPECT_EQ(rig.results.Row(2)[kColTelephone], "t2");
  // A row the user deleted may be found again.
  rig.results.DeleteRow(1);
  add("甲公司", "http://b.localhost/x", "t", "d");
  rig.Tick();
  EXPECT_EQ(rig.results.RowCount(), 4u);
}

TEST(RunControl, SaveCancelledOrFailedAndBadOpensChangeNothing) {
  testsupport::TempDir dir;
  TRig rig;
  rig.state.Modified = true;
  EXPECT_FALSE(rig.rc->SaveSessionActionExecute());  // dialog cancelled
  EXPECT_TRUE(rig.state.Modified);
  EXPECT_NE(rig.view.panels[0], G("保存完毕"));
  rig.view.answer = TMessageResult::Yes;
  EXPECT_FALSE(rig.rc->CloseQuery());  // "save?" yes, then cancelled: stay open

  rig.state.TaskFileName = (dir / "missing" / "t.swrw").string();
  EXPECT_FALSE(rig.rc->SaveSessionActionExecute());
  EXPECT_EQ(rig.view.messages.back().Caption, G("错误"));
  EXPECT_EQ(rig.view.cursor, TRunCursor::Normal);
  EXPECT_TRUE(rig.state.Modified);

  EXPECT_FALSE(rig.rc->OpenTask((dir / "none.swrw").string()));
  EXPECT_EQ(rig.view.messages.back().Text, G("文件不存在"));
  testsupport::WriteFile(dir / "bad.swrw", "\x06\x01");
  EXPECT_FALSE(rig.rc->OpenTask((dir / "bad.swrw").string()));
  EXPECT_EQ(rig.view.messages.back().Text, "Stream read error");
  EXPECT_EQ(rig.state.RunState, 0);
  EXPECT_TRUE(rig.state.TaskFileName.ends_with("t.swrw"));
}

TEST(RunControl, WebsiteModeUsesTheDirectoryThreadAndContinueKeepsTheMode) {
  TRig rig;
  rig.view.keyword = false;
  rig.view.website = true;
  rig.rc->StartActionExecute();
  EXPECT_EQ(rig.state.SearchMode, 1);
  EXPECT_EQ(rig.factory.pointWebThreads, 1);
  rig.RunToEnd();
  rig.view.keyword = true;
  rig.rc->ContinueActionExecute();
  EXPECT_EQ(rig.factory.pointWebThreads, 2);
  EXPECT_EQ(rig.factory.searchThreads, 0);
}

TEST(RunControl, ShutdownStopsAndJoinsEveryThread) {
  auto rig = std::make_unique<TRig>(2);
  rig->factory.msAfterStop = 50;
  rig->rc->StartActionExecute();
  rig->AddURLs({"a", "b", "c"});
  rig->Tick();
  Finish(rig->factory.workers["b"]);
  rig->rc->Shutdown();
  for (const auto& c : rig->factory.all) EXPECT_TRUE(c->exited.load());
  EXPECT_EQ(rig->state.RunState, -1);
  EXPECT_EQ(rig->state.NextURLIndex, 0);
  EXPECT_FALSE(rig->rc->HasProducer());

  rig->rc->ContinueActionExecute();
  rig->Tick();
  auto controls = rig->factory.all;
  rig.reset();  // destroyed mid-run
  for (const auto& c : controls) EXPECT_TRUE(c->exited.load());
}

TEST(RunControl, RecordsHandedOverAfterTheLastTransferReachTheTableAtTheEnd) {
  TRig rig(1);
  rig.rc->StartActionExecute();
  rig.Tick();
  // The tick's steps one by one: the producer hands over a record after the transfer and
  // then ends, so the same tick ends the run.
  rig.now += 1000;
  rig.rc->DispatchWorkers();
  rig.rc->TransferCompanies();
  rig.rc->UpdateStatusCounters();
  auto record = std::make_unique<TCompanyObject>();
  record->CompanyName = G("目录公司");
  rig.state.AppendCompany(std::move(record));
  Finish(rig.factory.producer);
  rig.rc->CheckRunFinished();
  EXPECT_EQ(rig.state.RunState, -1);
  ASSERT_EQ(rig.results.RowCount(), 1u);
  EXPECT_EQ(rig.results.Row(0)[0], G("目录公司"));
  EXPECT_EQ(rig.view.panels[3], G("得到信息:1"));
}

TEST(RunControl, ModernTextsTellAStopFromAnEndAndSayWhyNothingWasFound) {
  TRig rig(3, false);
  TGlobalSet set = *rig.settings.Snapshot();
  set.FlagModernWindow = true;
  rig.settings.Publish(set);

  RunAndStop(rig);
  EXPECT_EQ(rig.view.panels[0], G("已停止:已处理1/5"));
  EXPECT_EQ(rig.view.panels[2], G("已处理网址:1"));
  ContinueToEnd(rig);
  EXPECT_EQ(rig.view.panels[0], G("结束"));
  EXPECT_TRUE(rig.view.messages.empty());

  // No engine switched on: the end says so instead of showing bare zeros.
  rig.rc->StartActionExecute();
  rig.RunToEnd();
  EXPECT_EQ(rig.view.panels[0], G("结束:未得到网址"));
  ASSERT_EQ(rig.view.messages.size(), 1u);
  EXPECT_NE(rig.view.messages[0].Text.find(G("没有启用任何搜索引擎")), std::string::npos);

  TNoAddressFacts facts;
  facts.SearchText = "abc";
  facts.SourcesOn = 2;
  facts.SourcesFailed = 2;
  EXPECT_NE(NoAddressReason(facts).find(G("都无法访问")), std::string::npos);
  facts.SourcesFailed = 1;
  EXPECT_NE(NoAddressReason(facts).find(G("没有返回任何网址")), std::string::npos);
  facts.SourcesBlocked = 1;  // one failed, one blocked: blocking is what the user can act on
  EXPECT_NE(NoAddressReason(facts).find(G("访问受阻")), std::string::npos);
  facts.SourcesBlocked = 0;
  facts.SearchMode = 1;
  facts.CompanyNameFilterEmpty = true;
  EXPECT_NE(NoAddressReason(facts).find(G("公司名称特征")), std::string::npos);
  facts.SearchText = " ";
  EXPECT_EQ(NoAddressReason(facts), G("没有输入网站的初始链接地址"));
}
