// The main window in team mode: 文件 › 团队任务… joins a task shared through PostgreSQL, runs
// then take their sites from the team and give their records to it, the list follows every
// record of the task from any node and the status bar shows the team.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "core/gbk.h"
#include "core/lead_merge.h"
#include "core/log.h"
#include "run/app_root.h"
#include "run/record_filter.h"
#include "run/run_control.h"
#include "run/status_texts.h"
#include "store/pg_task_store.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"
#include "ui/team_dialog.h"
#include "ui/window_prefs.h"

struct TMainForm::TTeamMode {
  std::unique_ptr<TPgTaskStore> Store;
  std::unique_ptr<QTimer> Timer;
  // The followed records enter the list as a run's own would: repeats dropped, leads merged.
  TRecordFilter Filter;
  TLeadMerger Leads;
};

void TMainForm::TTeamModeDeleter::operator()(TTeamMode* team) const {
  std::default_delete<TTeamMode>()(team);
}

namespace {

// The window keeps the connection without its password, and the task's name.
constexpr const char* kConnectionKey = "TeamConnection";
constexpr const char* kTaskNameKey = "TeamTaskName";

QString SearchWhat(const TTeamTaskPlan& plan) {
  return (plan.SearchMode == 1 ? QStringLiteral("网址“%1”") : QStringLiteral("关键词“%1”"))
      .arg(QFromGbk(plan.SearchText));
}

}  // namespace

void TMainForm::CreateTeamActions() {
  TeamAction->setStatusTip(QStringLiteral("与其他电脑通过数据库合做一个任务"));
  LeaveTeamAction->setStatusTip(QStringLiteral("回到本机自己的任务"));
}

void TMainForm::UpdateTeamActions() {
  const bool idle = runControl_->CanStart();
  TeamAction->setEnabled(idle);
  LeaveTeamAction->setEnabled(idle && InTeam());
  LeaveTeamAction->setVisible(InTeam());
}

void TMainForm::TeamActionExecute() {
  if (!runControl_->CanStart()) return;
  QString connection = ReadWindowPref(settingsPath_, kConnectionKey);
  QString taskName = ReadWindowPref(settingsPath_, kTaskNameKey);
  if (InTeam()) {
    connection =
        QString::fromStdString(ConnectionWithoutPassword(team_->Store->MaskedConnection()));
    taskName = QFromGbk(team_->Store->Task().Name);
  }
  TTeamDialog dialog(
      connection, taskName,
      [this](const std::string& c, const std::string& name) { return JoinTeam(c, name); }, this);
  RunDialog(dialog);
}

bool TMainForm::JoinTeam(const std::string& connection, const std::string& taskName) {
  if (!runControl_->CanStart()) return false;
  if (!AskSaveBeforeDiscard()) return false;
  // The window's keyword or address makes the task when it is new; an empty box joins.
  TTeamTaskPlan plan;
  plan.SearchMode = RadioButton2->isChecked() ? 1 : 0;
  plan.SearchText = gbk::Trim(InputText());
  plan.OneEntryPerSite = plan.SearchMode == 0 && globalSet_.FlagModernRecognition;
  plan.Settings = TeamSettingsSnapshot(globalSet_);
  TTeamOptions options;
  options.Connection = connection;
  options.TaskName = gbk::FromUtf8(taskName);
  options.Prefetch =
      static_cast<std::size_t>(std::clamp(globalSet_.MaxFindWebThreadCount / 2, 2, 16));
  std::unique_ptr<TPgTaskStore> store;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    store = std::make_unique<TPgTaskStore>(options, plan.SearchText.empty() ? nullptr : &plan);
  } catch (const ETeamError& e) {
    QApplication::restoreOverrideCursor();
    const std::string problem = e.what();
    QString text;
    if (problem.find("there is no team task named") != std::string::npos) {
      text =
          QStringLiteral("数据库中没有名为“%1”的团队任务。要建立它，请先在窗口中输入关键词或网址。")
              .arg(QString::fromStdString(taskName));
    } else if (problem.find(" searches ") != std::string::npos) {
      // The task exists with another keyword: named in the window's words.
      QString theirs;
      try {
        TPgConnection db(connection);
        theirs = SearchWhat(JoinTeamTask(db, options.TaskName, nullptr).Plan);
      } catch (const ETeamError&) {
        theirs = QStringLiteral("别的内容");
      }
      text = QStringLiteral(
                 "团队任务“%1”搜索的是%2，与本窗口的%3不同。\n"
                 "要加入它，请清空输入框或输入相同的内容；要新建任务，请换一个任务名称。")
                 .arg(QString::fromStdString(taskName), theirs, SearchWhat(plan));
    } else {
      text = TeamProblemText(problem);
    }
    ShowMessage(GbkFromQ(text), GBK("团队任务"), TMessageIcon::Error);
    return false;
  }
  QApplication::restoreOverrideCursor();

  // Back to the local store first: a store is swapped only while no run uses it.
  if (team_) root_->UseTaskStore(nullptr);
  team_.reset(std::make_unique<TTeamMode>().release());
  team_->Store = std::move(store);
  TPgTaskStore& team = *team_->Store;
  root_->UseTaskStore(&team);
  const TTeamTaskPlan& task = team.Task().Plan;
  SetModeButtons(task.SearchMode != 1, task.SearchMode == 1);
  SetInputText(task.SearchText);
  state_.TaskName = team.Task().Name;
  state_.Modified = false;
  results_.Clear();
  undo_.reset();
  team.FollowTeamRecords(true);
  WriteWindowPrefs(settingsPath_,
                   {{kConnectionKey, QString::fromStdString(ConnectionWithoutPassword(connection))},
                    {kTaskNameKey, QString::fromStdString(taskName)}});

  if (!TeamStatus) {
    TeamStatus = new QLabel(statusBar());
    TeamStatus->setObjectName(QStringLiteral("TeamStatus"));
    TeamStatus->setFrameShape(QFrame::Panel);
    TeamStatus->setFrameShadow(QFrame::Sunken);
    statusBar()->addPermanentWidget(TeamStatus);
  }
  TeamStatus->setText(QStringLiteral("团队：正在读取…"));
  TeamStatus->show();
  team_->Timer = std::make_unique<QTimer>();
  team_->Timer->setObjectName(QStringLiteral("TeamTimer"));
  team_->Timer->setInterval(1000);
  connect(team_->Timer.get(), &QTimer::timeout, this, &TMainForm::TeamTick);
  team_->Timer->start();
  RefreshCaption();
  UpdateActions();
  return true;
}

void TMainForm::LeaveTeamActionExecute() {
  if (!InTeam() || !runControl_->CanStart()) return;
  root_->UseTaskStore(nullptr);
  TLog::Global().Write(TLogLevel::Info, "team", "left the team task");
  QApplication::setOverrideCursor(Qt::WaitCursor);
  team_.reset();  // writes what is queued and gives back unstarted sites
  QApplication::restoreOverrideCursor();
  if (TeamStatus) TeamStatus->hide();
  UpdateActions();
}

void TMainForm::TeamRunStarted() {
  // The run emptied the list; the task's records come back from the first.
  if (!InTeam()) return;
  team_->Store->FollowTeamRecords(true);
  team_->Filter.Reset(results_);
}

bool TMainForm::RefuseOtherTeamInput() {
  if (!InTeam()) return false;
  const TTeamTaskPlan& task = team_->Store->Task().Plan;
  const bool sameMode = RadioButton2->isChecked() == (task.SearchMode == 1);
  if (sameMode && gbk::Trim(InputText()) == gbk::Trim(task.SearchText)) return false;
  ShowMessage(GbkFromQ(QStringLiteral("本窗口在团队任务中，搜索的是%1。\n要搜索别的内容，请先从"
                                      "“文件”菜单退出团队任务。")
                           .arg(SearchWhat(task))),
              GBK("团队任务"), TMessageIcon::Warning);
  SetModeButtons(task.SearchMode != 1, task.SearchMode == 1);
  SetInputText(task.SearchText);
  return true;
}

void TMainForm::TeamTick() {
  // Not inside another tick's command or its message box.
  if (!InTeam() || inTick_) return;
  TPgTaskStore& team = *team_->Store;
  std::vector<TResultRow> rows;
  for (TTeamRecord& record : team.TakeTeamRecords()) rows.push_back(std::move(record.Row));
  if (!rows.empty()) {
    if (team_->Filter.KnownRows() != results_.RowCount()) team_->Filter.Reset(results_);
    team_->Filter.DropRepeats(rows);
    rows = team_->Leads.Merge(std::move(rows), results_, globalSet_);
    if (!rows.empty()) results_.AppendRows(std::move(rows));
    if (state_.RunState != 1) SetStatusText(3, RecordCountText(results_.RowCount()));
  }
  const TTeamCounts c = team.Counts();
  const QString text =
      QStringLiteral("团队 %1 节点｜待抓 %2 抓取中 %3 完成 %4 失败 %5｜记录 %6｜%7｜%8")
          .arg(c.Nodes)
          .arg(c.New)
          .arg(c.Leased)
          .arg(c.Done)
          .arg(c.Failed)
          .arg(c.Records)
          .arg(c.Producer ? QStringLiteral("本机负责搜索") : QStringLiteral("本机不搜索"))
          .arg(c.Connected ? QStringLiteral("已连接") : QStringLiteral("断开，重连中"));
  if (TeamStatus->text() == text) return;
  TeamStatus->setText(text);
  // Always readable whole: the stretching panel beside it gives way, and the tip repeats it.
  TeamStatus->setMinimumWidth(TeamStatus->sizeHint().width());
  TeamStatus->setToolTip(QStringLiteral("团队任务“%1”，%2\n数据库 %3\n%4")
                             .arg(QFromGbk(team.Task().Name), SearchWhat(team.Task().Plan),
                                  QString::fromStdString(team.MaskedConnection()), text));
}
