#include "run/run_control.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "core/gbk.h"
#include "engines/engine_set.h"
#include "net/cookie_store.h"
#include "run/status_texts.h"

namespace {

const std::string& TaskFilter() {
  return GBK("商务信息搜索任务|*.swrw");
}

}  // namespace

std::string NoAddressReason(const TNoAddressFacts& facts) {
  const bool keyword = facts.SearchMode != 1;
  if (gbk::Trim(facts.SearchText).empty())
    return keyword ? GBK("没有输入关键词") : GBK("没有输入网站的初始链接地址");
  if (keyword) {
    if (facts.SourcesOn == 0) return GBK("没有启用任何搜索引擎，请在“选项”中选择搜索引擎");
    if (facts.SourcesBlocked > 0 && facts.SourcesBlocked + facts.SourcesFailed >= facts.SourcesOn)
      return GBK("搜索引擎要求验证（访问受阻），请稍后用“继续”重试，或在“选项”中换用其他搜索来源");
    if (facts.SourcesFailed >= facts.SourcesOn)
      return GBK("所有搜索引擎都无法访问（网络不通、超时或被拒绝）");
    return GBK("搜索引擎没有返回任何网址，请换用其他关键词");
  }
  if (facts.CompanyNameFilterEmpty)
    return GBK("“公司名称特征”列表为空，而信息链接要按它过滤，请在“选项”中填写或取消该过滤");
  return GBK("网站的初始页面无法访问，或其中没有符合条件的信息链接");
}

uint32_t SteadyTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TRunControl::TRunControl(TProgramState& state, const TSettingsStore& settings,
                         TResultTable& results, TRunView& view, TThreadFactory& factory,
                         TEngineAdapters engines, TTickClock clock)
    : state_(state),
      settings_(settings),
      results_(results),
      view_(view),
      factory_(factory),
      engines_(engines),
      engineNaming_(SourceNaming(engines)),
      clock_(std::move(clock)),
      localStore_(state) {}

TRunControl::~TRunControl() {
  Shutdown();
}

bool TRunControl::TakeSearchText() {
  std::string text = gbk::Trim(view_.InputText());
  if (text.empty()) {
    view_.ShowMessage(GBK("请输入内容！"), GBK("提示"), TMessageIcon::Error);
    view_.FocusInput();
    return false;
  }
  state_.SearchText = std::move(text);
  return true;
}

void TRunControl::StartActionExecute() {
  if (state_.RunState == 1) return;
  Shutdown();  // nothing is left of an ended run; this only makes sure of it
  view_.ClearURLBar();
  results_.Clear();
  state_.Reset();
  ClearBlockedPositions();
  stoppedByUser_ = false;
  nothingLeft_ = false;
  if (!TakeSearchText()) return;
  ResetWorkerSlots();
  state_.RunState = 1;
  state_.LastTick = clock_();
  state_.SearchMode = view_.KeywordModeSelected() ? 0 : 1;
  LaunchRun();
}

void TRunControl::ContinueActionExecute() {
  if (state_.RunState != -1) return;
  if (!TakeSearchText()) return;
  stoppedByUser_ = false;
  nothingLeft_ = false;
  ResetWorkerSlots();
  state_.RunState = 1;
  state_.LastTick = clock_();
  LaunchRun();
}

void TRunControl::LaunchRun() {
  // Rows may have been edited, deleted or loaded since the filter last saw the table.
  recordFilter_.Reset(results_);
  factory_.RunStarted();
  // Keyword search lists one address per site; a directory's own pages stay apart.
  state_.SetOneEntryPerSite(state_.SearchMode == 0 && settings_.Snapshot()->FlagModernRecognition);
  if (state_.SearchMode != 1) BuildEngineList();
  store_->RunStarted(state_, engineNaming_);
  producerEndNoted_ = false;
  storeFailureShown_ = false;
  StartProducerWhenDue();
  SetTimer(TRunTimer::BeginCheck, true);
  state_.Modified = true;
}

void TRunControl::StartProducerWhenDue() {
  if (state_.RunState != 1) return;
  // A producer that ended its turn early (another node took the search over) makes room for
  // a later turn of this node's; one that completed or still runs does not.
  if (producer_ && (producer_->WorkState.load() != 2 || producer_->Completed())) return;
  std::optional<TProducerPosition> position;
  if (!store_->TakeProducerTurn(position)) return;
  if (producer_) {
    NoteProducerEnd();
    producer_.reset();
  }
  if (position) {
    // Another node's producer stopped here; this one goes on from the same page.
    TSearchEngineObject* engine =
        position->Source.empty() ? nullptr : engineNaming_.ByName(position->Source);
    state_.CurrentEngine = engine;
    state_.EngineResultOffset = engine ? position->ResultOffset : 1;
    state_.EnginePageCount = engine ? position->PageCount : 0;
    state_.DirectoryResumePages = position->PendingPages;
  }
  producerEndNoted_ = false;
  producer_ =
      state_.SearchMode == 1 ? factory_.CreatePointWebThread() : factory_.CreateSearchThread();
  if (producer_) producer_->Resume();
}

void TRunControl::CheckStoreFailure() {
  if (storeFailureShown_) return;
  const std::string problem = store_->Failure();
  if (problem.empty()) return;
  storeFailureShown_ = true;
  StopActionExecute();
  view_.ShowMessage(problem, GBK("错误"), TMessageIcon::Error);
}

void TRunControl::StopActionExecute() {
  if (state_.RunState != 1) return;
  view_.SetStatusText(0, GBK("正在停止..."));
  SetTimer(TRunTimer::BeginCheck, false);
  if (producer_ && producer_->WorkState.load() != 2) producer_->RequestStop();
  for (auto& slot : slots_)
    if (slot.Worker) slot.Worker->RequestStop();
  SetTimer(TRunTimer::StopWait, true);
  view_.SetCursor(TRunCursor::Hourglass);
}

void TRunControl::StopWaitTimerTimer() {
  if (!stopWaitEnabled_) return;
  if (!ReleaseFinishedProducer()) return;
  if (!ReapAllWorkers()) return;
  ApplyResumePoint();
  view_.SetCursor(TRunCursor::Normal);
  SetTimer(TRunTimer::StopWait, false);
  state_.RunState = -1;
  stoppedByUser_ = true;
  // The counts as the stop left them, matching the stopped text.
  if (ModernWindow()) ShowFinalCounts();
  ShowRunState();
}

void TRunControl::ShowFinalCounts() {
  std::vector<std::string> fresh = state_.URLsFrom(view_.URLBarLineCount());
  if (!fresh.empty()) view_.AppendURLBarLines(fresh);
  view_.SetStatusText(1, URLCountText(view_.URLBarLineCount()));
  view_.SetStatusText(2, ProcessedURLText(state_.ProcessedURLCount));
}

bool TRunControl::CanContinue() const {
  return state_.RunState == -1 && !(nothingLeft_ && ModernWindow());
}

void TRunControl::BeginCheckTimerTimer() {
  if (!beginCheckEnabled_) return;
  wakePending_.store(false);  // this tick dispatches anyway
  state_.Modified = true;
  CheckStoreFailure();
  if (!beginCheckEnabled_) return;
  StartProducerWhenDue();
  DispatchWorkers();
  TransferCompanies();
  UpdateStatusCounters();
  ShowRunState();
  CheckRunFinished();
}

void TRunControl::WorkerEnded() {
  wakePending_.store(false);
  if (beginCheckEnabled_) {
    DispatchWorkers();
    TransferCompanies();
  } else if (stopWaitEnabled_) {
    StopWaitTimerTimer();
  }
}

void TRunControl::DispatchPending() {
  if (!beginCheckEnabled_ || !store_->SitesWaiting()) return;
  bool free = slots_.size() < slotLimit_;
  for (const auto& slot : slots_) free = free || !slot.Worker;
  if (free) DispatchWorkers();
}

void TRunControl::ResetWorkerSlots() {
  const int32_t count = settings_.Snapshot()->MaxFindWebThreadCount;
  slots_.clear();
  // At least one slot, or a run with addresses could never end. Slots are made as workers
  // start, so a huge unclamped count costs nothing up front.
  slotLimit_ = static_cast<std::size_t>(std::max(count, 1));
}

void TRunControl::BuildEngineList() {
  state_.EngineList = SelectedEngines(engines_, *settings_.Snapshot());
}

void TRunControl::DispatchWorkers() {
  bool reaped = false;
  for (std::size_t i = 0; i < slots_.size() || i < slotLimit_; ++i) {
    if (i == slots_.size()) {
      if (!store_->SitesWaiting()) break;
      slots_.emplace_back();
    }
    TWorkerSlot& slot = slots_[i];
    if (slot.Worker && slot.Worker->WorkState.load() == 2) {
      store_->SiteEnded(slot.Site, true);
      slot.Worker.reset();
      slot.Site = {};
      reaped = true;
    }
    if (slot.Worker) continue;
    std::optional<TSiteTicket> site = store_->TakeSite();
    if (!site) continue;
    slot.Site = std::move(*site);
    slot.Worker = factory_.CreateCrawlWorker(slot.Site.Entry);
    if (!slot.Worker) {
      store_->SiteEnded(slot.Site, false);
      continue;
    }
    if (wake_)
      slot.Worker->SetOnEnd([this] {
        if (!wakePending_.exchange(true)) wake_();
      });
    slot.Worker->Resume();
  }
  if (reaped) store_->SitesSettled();
}

void TRunControl::TransferCompanies() {
  auto records = state_.TakeCompanies();
  if (records.empty()) return;
  std::vector<TResultRow> rows;
  rows.reserve(records.size());
  for (const auto& record : records) rows.push_back(RowFromCompany(*record));
  if (recordFilter_.KnownRows() != results_.RowCount()) recordFilter_.Reset(results_);
  recordFilter_.DropRepeats(rows);
  store_->RecordsFound(rows);
  // The list shows them when they come back from the store, with every other node's.
  if (store_->ListFollowsStore()) return;
  rows = leads_.Merge(std::move(rows), results_, *settings_.Snapshot());
  if (!rows.empty()) results_.AppendRows(std::move(rows));
}

void TRunControl::ShowRecordCount() {
  view_.SetStatusText(3, RecordCountText(results_.RowCount()));
}

void TRunControl::TransferCompaniesAndShowCount() {
  TransferCompanies();
  ShowRecordCount();
}

void TRunControl::UpdateStatusCounters() {
  std::vector<std::string> fresh = state_.URLsFrom(view_.URLBarLineCount());
  if (!fresh.empty()) view_.AppendURLBarLines(fresh);
  view_.SetStatusText(1, URLCountText(view_.URLBarLineCount()));
  view_.SetStatusText(2, ProcessedURLText(state_.ProcessedURLCount));
  ShowRecordCount();

  const uint32_t now = clock_();
  state_.ElapsedMs += now - state_.LastTick;
  state_.LastTick = now;
  std::string time = RunTimeText(state_.ElapsedMs);
  const std::string sources = SourceStatusText();
  if (!sources.empty()) time += "  " + sources;
  view_.SetStatusText(4, time);
}

std::string TRunControl::SourceStatusText() const {
  const auto& list = state_.EngineList;
  bool modern = false;
  for (const auto& e : engines_)
    if (e.Def && e.Def->Kind != TSourceKind::Classic &&
        std::find(list.begin(), list.end(), e.Engine) != list.end())
      modern = true;
  if (!modern) return {};
  std::string text;
  for (const auto& e : engines_) {
    if (!e.Engine || !e.Def || std::find(list.begin(), list.end(), e.Engine) == list.end())
      continue;
    if (!text.empty()) text += "  ";
    text += gbk::FromUtf8(e.Def->Caption) + " " + std::to_string(e.Engine->Given.load());
    const TSourceState st = e.Engine->State.load();
    if (st == TSourceState::Blocked) text += GBK(" 受阻");
    if (st == TSourceState::Failed) text += GBK(" 失败");
  }
  return text;
}

void TRunControl::ClearBlockedPositions() {
  // Only today's sources keep a blocked position; the classic entries are never looked into.
  for (const auto& e : engines_)
    if (e.Engine && e.Def && e.Def->Kind != TSourceKind::Classic) e.Engine->ClearRunStatus();
}

void TRunControl::ShowRunState() {
  // A run cut short reads differently from one that reached its end, with how far it got.
  if (state_.RunState == -1 && ModernWindow() && (stoppedByUser_ || store_->SitesLeft())) {
    view_.SetStatusText(0, GBK("已停止:已处理") + std::to_string(state_.ProcessedURLCount) + "/" +
                               std::to_string(state_.URLCount()));
    return;
  }
  if (const std::string text = RunStateText(state_.RunState); !text.empty())
    view_.SetStatusText(0, text);
}

void TRunControl::CheckRunFinished() {
  if (state_.RunState != 1 || state_.ElapsedMs == 0) return;
  // The producer must be seen finished before the list is counted: an address it appends
  // just before it ends is then part of the count instead of being left uncrawled.
  if (producer_ && producer_->WorkState.load() != 2) return;
  NoteProducerEnd();
  if (!store_->AllSitesDone()) return;
  ReleaseFinishedProducer();
  if (!ReapAllWorkers()) return;
  // Records the producer handed over after this tick's transfer would wait unseen.
  TransferCompaniesAndShowCount();
  store_->Flush();
  SetTimer(TRunTimer::BeginCheck, false);
  state_.RunState = -1;
  // Every address crawled and the producer done: only a blocked source would give more.
  nothingLeft_ = state_.SearchMode == 1 || NoAddressFacts().SourcesBlocked == 0;
  // A source passed by hand after the search had ended is searched by continuing at once.
  // Only today's sources are ever blocked; the classic entries are never looked into.
  const bool retry = std::any_of(engines_.begin(), engines_.end(), [](const TEngineEntry& e) {
    return e.Engine && e.Def && e.Def->Kind != TSourceKind::Classic &&
           e.Engine->RetryRequested.load();
  });
  if (retry) {
    ContinueActionExecute();
    if (state_.RunState == 1) return;
  }
  ShowRunState();
  ExplainEmptyEnd();
  if (state_.SearchMode == 0)
    if (const auto blocked = BlockedSources(); !blocked.empty()) view_.SourcesBlocked(blocked);
}

std::vector<TBlockedSourceNotice> TRunControl::BlockedSources() const {
  std::vector<TBlockedSourceNotice> out;
  for (const auto& e : engines_) {
    if (!e.Engine || !e.Def || e.Def->Kind == TSourceKind::Classic ||
        e.Engine->State.load() != TSourceState::Blocked)
      continue;
    std::string url = e.Engine->VerifyURL();
    // The search thread sets the hosts when it starts: read them only while none runs.
    if (url.empty() && !producer_) url = e.Engine->HomeURL();
    out.push_back({e.Def->Name, gbk::FromUtf8(e.Def->Caption), std::move(url)});
  }
  return out;
}

bool TRunControl::UnblockSource(const std::string& name) {
  const auto it = std::find_if(engines_.begin(), engines_.end(), [&](const TEngineEntry& e) {
    return e.Engine && e.Def && e.Def->Kind != TSourceKind::Classic && e.Def->Name == name &&
           e.Engine->State.load() == TSourceState::Blocked;
  });
  if (it == engines_.end()) return false;
  it->Engine->RetryRequested = true;
  // A running search takes it up before it ends; the end of the run does otherwise.
  if (state_.RunState == -1) ContinueActionExecute();
  return true;
}

void TRunControl::SetCookieStore(std::shared_ptr<TCookieStore> store) {
  cookies_ = std::move(store);
  engineNaming_.Cookies = [this] {
    std::vector<std::string> lines;
    if (keepCookies_ && cookies_)
      for (const TCookie& c : cookies_->All()) lines.push_back(NetscapeLine(c));
    return lines;
  };
  engineNaming_.RestoreCookies = [this](const std::vector<std::string>& lines) {
    keepCookies_ = !lines.empty();
    if (lines.empty() || !cookies_) return;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    try {
      cookies_->Add(ParseNetscapeCookies(text));
    } catch (const ECookieFileError&) {
      keepCookies_ = false;  // damaged cookies are dropped; the task itself is fine
    }
  };
}

bool TRunControl::ModernWindow() const {
  return settings_.Snapshot()->FlagModernWindow;
}

TNoAddressFacts TRunControl::NoAddressFacts() const {
  TNoAddressFacts facts;
  facts.SearchMode = state_.SearchMode;
  facts.SearchText = state_.SearchText;
  facts.SourcesOn = state_.EngineList.size();
  // The producer has been freed: the adapters are no longer read by any thread.
  for (const TSearchEngineObject* engine : state_.EngineList) {
    if (!engine) continue;
    const TSourceState st = engine->State.load();
    if (st == TSourceState::Blocked)
      ++facts.SourcesBlocked;
    else if (st == TSourceState::Failed || engine->HTML.empty())
      ++facts.SourcesFailed;
  }
  const auto set = settings_.Snapshot();
  facts.CompanyNameFilterEmpty =
      set->BUseCompanyNameLike &&
      std::all_of(set->CompanyNameLike.begin(), set->CompanyNameLike.end(),
                  [](const std::string& word) { return word.empty(); });
  return facts;
}

void TRunControl::ExplainEmptyEnd() {
  if (!ModernWindow() || state_.URLCount() != 0 || results_.RowCount() != 0) return;
  view_.SetStatusText(0, GBK("结束:未得到网址"));
  view_.ShowMessage(GBK("本次搜索没有得到任何网址：") + NoAddressReason(NoAddressFacts()),
                    GBK("提示"), TMessageIcon::Information);
}

bool TRunControl::ReapAllWorkers() {
  for (auto& slot : slots_) {
    if (!slot.Worker) continue;
    if (slot.Worker->WorkState.load() != 2) return false;
    ReleaseStoppedWorker(slot);
  }
  return true;
}

void TRunControl::NoteProducerEnd() {
  if (!producer_ || producerEndNoted_ || producer_->WorkState.load() != 2) return;
  producerEndNoted_ = true;
  store_->ProducerEnded(producer_->Completed());
}

bool TRunControl::ReleaseFinishedProducer() {
  if (!producer_) return true;
  if (producer_->WorkState.load() != 2) return false;
  NoteProducerEnd();
  producer_.reset();
  return true;
}

void TRunControl::ReleaseStoppedWorker(TWorkerSlot& slot) {
  store_->SiteEnded(slot.Site, slot.Worker->Completed());
  slot.Worker.reset();
  slot.Site = {};
}

void TRunControl::ApplyResumePoint() {
  store_->RunStopped();
}

void TRunControl::SetTimer(TRunTimer timer, bool enabled) {
  bool& flag = timer == TRunTimer::BeginCheck ? beginCheckEnabled_ : stopWaitEnabled_;
  if (flag == enabled) return;
  flag = enabled;
  view_.EnableTimer(timer, enabled);
}

void TRunControl::Shutdown() {
  if (producer_) producer_->RequestStop();
  for (auto& slot : slots_)
    if (slot.Worker) slot.Worker->RequestStop();
  if (producer_) producer_->Join();
  for (auto& slot : slots_)
    if (slot.Worker) slot.Worker->Join();
  NoteProducerEnd();
  producer_.reset();
  for (auto& slot : slots_)
    if (slot.Worker) ReleaseStoppedWorker(slot);
  ApplyResumePoint();
  beginCheckEnabled_ = false;
  stopWaitEnabled_ = false;
  if (state_.RunState == 1) {
    state_.RunState = -1;
    stoppedByUser_ = true;
  }
}

TTaskWindowItems TRunControl::WindowItems() const {
  return {view_.InputText(), view_.KeywordModeSelected(), view_.WebsiteModeSelected()};
}

void TRunControl::ShowError(const std::exception& e) {
  view_.ShowMessage(gbk::FromUtf8(e.what()), GBK("错误"), TMessageIcon::Error);
}

bool TRunControl::SaveTo(const std::string& path) {
  // Records that arrived after the last tick go into the file too: a site finished before
  // the resume point is never crawled again, so they would be lost otherwise.
  TransferCompaniesAndShowCount();
  view_.SetCursor(TRunCursor::Hourglass);
  view_.SetStatusText(0, GBK("正在保存...."));
  try {
    SaveToFile(path, state_, results_, WindowItems(), engineNaming_, store_->FirstCrawlingIndex());
  } catch (const std::exception& e) {
    view_.SetCursor(TRunCursor::Normal);
    ShowRunState();
    ShowError(e);
    return false;
  }
  view_.SetStatusText(0, GBK("保存完毕"));
  view_.SetCursor(TRunCursor::Normal);
  state_.Modified = false;
  return true;
}

bool TRunControl::SaveSessionActionExecute() {
  if (state_.TaskFileName.empty()) {
    auto chosen = view_.AskSaveFileName(GBK("保存任务"), TaskFilter(), state_.TaskName);
    if (!chosen) return false;
    state_.TaskFileName = EnsureTaskExtension(*chosen);
  }
  return SaveTo(state_.TaskFileName);
}

bool TRunControl::SaveAsActionExecute() {
  auto chosen = view_.AskSaveFileName(GBK("任务另存为"), TaskFilter(), std::string());
  if (!chosen) return false;
  state_.TaskFileName = EnsureTaskExtension(*chosen);
  return SaveTo(state_.TaskFileName);
}

void TRunControl::OpenSessionActionExecute() {
  if (state_.RunState == 1) return;
  auto chosen = view_.AskOpenFileName(GBK("打开任务"), TaskFilter());
  if (chosen) OpenTask(*chosen);
}

bool TRunControl::OpenTask(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    view_.ShowMessage(GBK("文件不存在"), GBK("错误"), TMessageIcon::Error);
    return false;
  }
  TTaskWindowItems window = WindowItems();
  try {
    LoadFromFile(path, state_, results_, window, engineNaming_);
  } catch (const std::exception& e) {
    ShowError(e);
    return false;
  }
  view_.ClearURLBar();
  std::vector<std::string> urls = state_.URLsFrom(0);
  if (!urls.empty()) view_.AppendURLBarLines(urls);
  view_.SetInputText(window.InputText);
  view_.SetModeButtons(window.KeywordMode, window.WebsiteMode);
  state_.TaskFileName = path;
  state_.RunState = -1;
  stoppedByUser_ = false;
  nothingLeft_ = false;
  UpdateCaption();
  ShowRunState();
  view_.SetStatusText(1, URLCountText(view_.URLBarLineCount()));
  view_.SetStatusText(2, ProcessedURLText(state_.ProcessedURLCount));
  ShowRecordCount();
  view_.SetStatusText(4, std::string());
  return true;
}

bool TRunControl::CloseQuery() {
  if (!state_.Modified) return true;
  switch (view_.ShowMessage(GBK("是否保存当前任务?"), GBK("提示"), TMessageIcon::Information,
                            TMessageButtons::YesNoCancel)) {
    case TMessageResult::Yes:
      return SaveSessionActionExecute();
    case TMessageResult::No:
      return true;
    default:
      return false;
  }
}

void TRunControl::NewTaskAccepted() {
  if (state_.RunState == 1) return;
  UpdateCaption();
  state_.RunState = 0;
  ShowRunState();
  for (int panel = 1; panel <= 4; ++panel) view_.SetStatusText(panel, std::string());
  view_.ClearURLBar();
  results_.Clear();
  state_.Reset();
  ClearBlockedPositions();
  stoppedByUser_ = false;
  nothingLeft_ = false;
  keepCookies_ = false;
}

void TRunControl::UpdateCaption() {
  if (state_.TaskName.empty()) return;
  view_.SetWindowCaption(state_.TaskName + "-" + state_.AppTitle);
}
