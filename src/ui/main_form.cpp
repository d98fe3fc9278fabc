#include "ui/main_form.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/data_files.h"
#include "core/export_sheet.h"
#include "core/gbk.h"
#include "core/log.h"
#include "run/app_root.h"
#include "run/status_texts.h"
#include "ui/dialogs.h"
#include "ui/jolo_list_view.h"
#include "ui/log_dock.h"
#include "ui/qt_text.h"
#include "ui/window_prefs.h"

namespace {

// A message's lines, broken after a sentence or clause once they grow long, so the box can
// be made wide enough that no line wraps inside a word.
QString BrokenAtClauses(const QString& text) {
  constexpr int kLineChars = 36;
  QStringList lines;
  for (const QString& line : text.split('\n')) {
    QString rest = line;
    while (rest.size() > kLineChars) {
      qsizetype cut = -1;
      for (qsizetype i = kLineChars; i > kLineChars / 3 && cut < 0; --i)
        if (QStringLiteral("，。；：！？、").contains(rest[i - 1])) cut = i;
      if (cut < 0) break;
      lines << rest.left(cut);
      rest = rest.mid(cut);
    }
    lines << rest;
  }
  return lines.join('\n');
}

}  // namespace

template <typename F>
void TMainForm::Guarded(F&& command) {
  try {
    command();
  } catch (const std::exception& e) {
    SetCursor(TRunCursor::Normal);
    ShowMessage(gbk::FromUtf8(e.what()), GBK("错误"), TMessageIcon::Error);
  }
}

template <typename F>
void TMainForm::GuardedTick(F&& command) {
  // A tick whose error is still on screen holds off the next ones; they would only stack
  // message boxes.
  if (inTick_) return;
  inTick_ = true;
  Guarded(std::forward<F>(command));
  inTick_ = false;
}

TMainForm::TMainForm(const std::string& settingsPath, QWidget* parent)
    : TMainForm(TSettingsStart{settingsPath, settingsPath, {}}, parent) {}

TMainForm::TMainForm(const TSettingsStart& start, QWidget* parent)
    : QMainWindow(parent),
      root_(std::make_unique<TAppRoot>(start, *this)),
      settingsPath_(root_->SettingsPath()),
      globalSet_(root_->GlobalSet()),
      store_(root_->Store()),
      state_(root_->State()),
      results_(root_->Results()),
      runControl_(&root_->Control()) {
  const bool keywordMode = root_->KeywordMode();
  // A worker that ends hands its slot on at once instead of at the next tick.
  runControl_->SetWakeRequest([this] {
    QMetaObject::invokeMethod(
        this, [this] { GuardedTick([this] { runControl_->WorkerEnded(); }); },
        Qt::QueuedConnection);
  });
  // Addresses the producer queues reach free slots soon, not only at the next tick.
  auto* pendingTimer = new QTimer(this);
  pendingTimer->setObjectName(QStringLiteral("DispatchPendingTimer"));
  pendingTimer->setInterval(100);
  connect(pendingTimer, &QTimer::timeout, this,
          [this] { GuardedTick([this] { runControl_->DispatchPending(); }); });

  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QFromGbk(state_.AppTitle));
  BeginCheckTimer = new QTimer(this);
  BeginCheckTimer->setObjectName(QStringLiteral("BeginCheckTimer"));
  BeginCheckTimer->setInterval(1000);
  connect(BeginCheckTimer, &QTimer::timeout, this, &TMainForm::BeginCheckTimerTimer);
  StopWaitTimer = new QTimer(this);
  StopWaitTimer->setObjectName(QStringLiteral("StopWaitTimer"));
  StopWaitTimer->setInterval(1000);
  connect(StopWaitTimer, &QTimer::timeout, this, &TMainForm::StopWaitTimerTimer);

  CreateActions();
  LogDock = new TLogDock(TLog::Global(), this);  // before the menus, which toggle it
  addDockWidget(Qt::BottomDockWidgetArea, LogDock);
  CreateMenus();
  CreateToolBar();
  CreateClientArea();
  CreateStatusBar();
  SetModeButtons(keywordMode, !keywordMode);

  links_ = ShippedLinkAddresses();
  N20->setVisible(!links_.HomePage.isEmpty());
  N21->setVisible(!links_.Feedback.isEmpty());
  if (auto* separator = findChild<QAction*>(QStringLiteral("LinkSeparator")))
    separator->setVisible(N20->isVisible() || N21->isVisible());
  resize(881, 584);
  if (ModernWindow()) {
    // A first window that shows the list's cells: most of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      resize(screen->availableGeometry().size() * 4 / 5);
    recent_ = ReadRecentFiles(settingsPath_);
    RebuildRecentMenu();
    RestoreListLayout();
    LogCorrectedSettings();
  }
  resizeDocks({LogDock}, {110}, Qt::Vertical);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  runControl_->UpdateCaption();

  // Enabling rules are applied whenever the event loop is about to wait, i.e. when idle.
  if (auto* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::UpdateActions);
  UpdateActions();
  leadColumnsFollow_ = true;  // from the first idle moment on, once the settings are final
}

TMainForm::~TMainForm() {
  if (auto* dispatcher = QAbstractEventDispatcher::instance())
    disconnect(dispatcher, nullptr, this, nullptr);
  runControl_->Shutdown();  // every thread is joined before anything it uses goes away
  BeginCheckTimer->stop();
  StopWaitTimer->stop();
  if (hourglass_) QApplication::restoreOverrideCursor();
  const bool keywordMode = RadioButton1->isChecked();
  SaveListLayout();
  MainListView->SetResultTable(nullptr);
  const std::string settingsPath = settingsPath_;
  root_.reset();
  try {
    SaveSearchMode(keywordMode, settingsPath);
  } catch (const std::exception&) {
    // Nothing can be shown any more; the next start uses the mode stored before.
  }
}

void TMainForm::CreateActions() {
  auto make = [this](const char* name, const char* caption, const QKeySequence& shortcut,
                     void (TMainForm::*handler)()) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromUtf8(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
    return action;
  };
  NewSessionAction = make("NewSessionAction", "新建任务(&N)", QKeySequence(Qt::CTRL | Qt::Key_N),
                          &TMainForm::NewSessionActionExecute);
  OpenSessionAction =
      make("OpenSessionAction", "打开任务(&O)...", QKeySequence(Qt::CTRL | Qt::Key_O),
           &TMainForm::OpenSessionActionExecute);
  SaveSessionAction = make("SaveSessionAction", "保存任务", QKeySequence(Qt::CTRL | Qt::Key_S),
                           &TMainForm::SaveSessionActionExecute);
  SaveAsAction = make("SaveAsAction", "任务另存为(&A)...", {}, &TMainForm::SaveAsActionExecute);
  OutInfoAction = make("OutInfoAction", "导出数据(&E)...", {}, &TMainForm::OutInfoActionExecute);
  TeamAction = make("TeamAction", "团队任务(&T)...", {}, &TMainForm::TeamActionExecute);
  LeaveTeamAction =
      make("LeaveTeamAction", "退出团队任务(&L)", {}, &TMainForm::LeaveTeamActionExecute);
  CreateTeamActions();
  StartAction =
      make("StartAction", "开始", QKeySequence(Qt::Key_F9), &TMainForm::StartActionExecute);
  ContinueAction = make("ContinueAction", "继续", {}, &TMainForm::ContinueActionExecute);
  StopAction = make("StopAction", "停止", {}, &TMainForm::StopActionExecute);
  EditAction =
      make("EditAction", "编辑", QKeySequence(Qt::CTRL | Qt::Key_E), &TMainForm::EditActionExecute);
  DelAction = make("DelAction", "删除", QKeySequence(Qt::Key_Delete), &TMainForm::DelActionExecute);
  ShowAction = make("ShowAction", "浏览网址...", {}, &TMainForm::ShowActionExecute);
  CopyAction = make("CopyAction", "复制", {}, &TMainForm::CopyActionExecute);
  UndoAction = make("UndoAction", "撤销(&U)", QKeySequence::Undo, &TMainForm::UndoActionExecute);
  HelpSetAction = make("HelpSetAction", "软件设置向导", {}, &TMainForm::HelpSetActionExecute);
  HelpSearchContentAction = make("HelpSearchContentAction", "关键词搜索向导", {},
                                 &TMainForm::HelpSearchContentActionExecute);
  HelpSearchPointWebAction = make("HelpSearchPointWebAction", "指定网站搜索向导", {},
                                  &TMainForm::HelpSearchPointWebActionExecute);

  X1 = new QAction(QStringLiteral("退出(&X)"), this);
  X1->setObjectName(QStringLiteral("X1"));
  connect(X1, &QAction::triggered, this, &QWidget::close);

  auto check = [&make](const char* name, const char* caption, void (TMainForm::*handler)()) {
    QAction* action = make(name, caption, {}, handler);
    action->setCheckable(true);
    action->setChecked(true);
    return action;
  };
  N15 = check("N15", "工具栏(&T)", &TMainForm::N15Click);
  N16 = check("N16", "状态栏(&S)", &TMainForm::N16Click);
  N17 = check("N17", "输入框", &TMainForm::N17Click);
  N18 = check("N18", "网址栏", &TMainForm::N18Click);
  N34 = check("N34", "电子邮件", &TMainForm::N34Click);
  N35 = check("N35", "电话和传真", &TMainForm::N35Click);
  N36 = check("N36", "地址和邮编", &TMainForm::N36Click);
  N27 = make("N27", "选项(&P)...", {}, &TMainForm::N27Click);
  N1 = make("N1", "使用说明(&V)", {}, &TMainForm::N1Click);
  N20 = make("N20", "主页(&W)", {}, &TMainForm::N20Click);
  N21 = make("N21", "服务反馈(&X)", {}, &TMainForm::N21Click);
  N25 = make("N25", "关于(&Z)...", {}, &TMainForm::N25Click);

  QStyle* st = style();
  NewButton = make("NewButton", "  新建  ", {}, &TMainForm::NewSessionActionExecute);
  // A tool button shows the icon text, which Qt derives from the caption with the spaces
  // trimmed; this caption keeps them.
  NewButton->setIconText(NewButton->text());
  NewButton->setIcon(st->standardIcon(QStyle::SP_FileIcon));
  OpenButton = make("OpenButton", "打开", {}, &TMainForm::OpenSessionActionExecute);
  OpenButton->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
  SaveButton = make("SaveButton", "保存", {}, &TMainForm::SaveSessionActionExecute);
  SaveButton->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
  ExportButton = make("ExportButton", "导出", {}, &TMainForm::OutInfoActionExecute);
  ExportButton->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
  OptionButton = make("OptionButton", "选项", {}, &TMainForm::N27Click);
  OptionButton->setIcon(st->standardIcon(QStyle::SP_FileDialogInfoView));
  HelpButton = make("HelpButton", "帮助", {}, &TMainForm::N1Click);
  HelpButton->setIcon(st->standardIcon(QStyle::SP_MessageBoxQuestion));
  StartAction->setIcon(st->standardIcon(QStyle::SP_MediaPlay));
  ContinueAction->setIcon(st->standardIcon(QStyle::SP_MediaSeekForward));
  StopAction->setIcon(st->standardIcon(QStyle::SP_MediaStop));
  NewSessionAction->setIcon(NewButton->icon());
  OpenSessionAction->setIcon(OpenButton->icon());
  SaveSessionAction->setIcon(SaveButton->icon());
  OutInfoAction->setIcon(ExportButton->icon());

  for (int i = 0; i < kRecentFileCount; ++i) {
    auto* recent = new QAction(this);
    recent->setObjectName(QStringLiteral("RecentFile%1").arg(i + 1));
    recent->setVisible(false);
    connect(recent, &QAction::triggered, this, [this, recent] {
      const QString path = recent->data().toString();
      Guarded([&] { OpenRecentFile(path); });
    });
    RecentActions.push_back(recent);
  }
}

void TMainForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("文件(&F)"));
  file->addActions({NewSessionAction, OpenSessionAction});
  file->addSeparator();
  file->addActions({SaveSessionAction, SaveAsAction});
  file->addSeparator();
  file->addAction(OutInfoAction);
  file->addSeparator();
  file->addActions({TeamAction, LeaveTeamAction});
  RecentSeparator = file->addSeparator();
  RecentSeparator->setVisible(false);
  for (QAction* recent : RecentActions) file->addAction(recent);
  file->addSeparator();
  file->addAction(X1);
  FileMenu = file;
  // Files removed since the menu was last built leave it before it shows.
  connect(file, &QMenu::aboutToShow, this, &TMainForm::RebuildRecentMenu);

  EditMenu = bar->addMenu(QStringLiteral("编辑(&E)"));
  EditMenu->setObjectName(QStringLiteral("EditMenu"));
  EditMenu->addAction(UndoAction);
  EditMenu->addSeparator();
  EditMenu->addActions({EditAction, DelAction, CopyAction});

  QMenu* view = bar->addMenu(QStringLiteral("查看(&V)"));
  view->addActions({N15, N16, N17, N18});
  view->addSeparator();
  view->addAction(LogDock->toggleViewAction());

  QMenu* search = bar->addMenu(QStringLiteral("搜索(&S)"));
  search->addActions({StartAction, ContinueAction});
  search->addSeparator();
  search->addAction(StopAction);
  search->addAction(CreateVerifyAction());

  QMenu* tools = bar->addMenu(QStringLiteral("工具(&T)"));
  tools->addAction(HelpSetAction);
  tools->addSeparator();
  tools->addActions({HelpSearchContentAction, HelpSearchPointWebAction});

  QMenu* setting = bar->addMenu(QStringLiteral("设置(&C)"));
  QMenu* show = setting->addMenu(QStringLiteral("显示"));
  show->addActions({N34, N35, N36});
  setting->addSeparator();
  setting->addAction(N27);

  QMenu* help = bar->addMenu(QStringLiteral("帮助(&H)"));
  help->addAction(N1);
  help->addSeparator();
  help->addActions({N20, N21});
  help->addSeparator()->setObjectName(QStringLiteral("LinkSeparator"));
  help->addAction(N25);

  // Menus shown right after a change still see the current rules.
  for (QMenu* menu : {file, EditMenu, view, search, tools, setting, help})
    connect(menu, &QMenu::aboutToShow, this, &TMainForm::UpdateActions);

  ListPopupMenu = new QMenu(this);
  ListPopupMenu->setObjectName(QStringLiteral("ListPopupMenu"));
  ListPopupMenu->addActions({EditAction, DelAction, CopyAction});
  ListPopupMenu->addSeparator();
  ListPopupMenu->addAction(ShowAction);
  // The record actions live only in the popup menu, whose shortcuts Qt does not watch; on the
  // window their Ctrl+E and Del work wherever the focus is (an input box keeps its own Del).
  addActions({EditAction, DelAction, ShowAction});
}

void TMainForm::CreateToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->toggleViewAction()->setVisible(false);
  ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->addActions({NewButton, OpenButton, SaveButton, ExportButton});
  ToolBar1->addSeparator();
  ToolBar1->addActions({StartAction, ContinueAction, StopAction});
  ToolBar1->addSeparator();
  ToolBar1->addAction(OptionButton);
  ToolBar1->addSeparator();
  ToolBar1->addAction(HelpButton);
  for (QAction* action : ToolBar1->actions())
    if (QWidget* button = ToolBar1->widgetForAction(action); button && !action->isSeparator())
      button->setMinimumSize(43, 36);
}

void TMainForm::CreateClientArea() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Panel4 = new QWidget(central);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  auto* band = new QHBoxLayout(Panel4);
  band->setContentsMargins(4, 3, 4, 3);
  Edit1 = new QLineEdit(Panel4);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  RadioButton1 = new QRadioButton(QStringLiteral("关键词搜索"), Panel4);
  RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
  RadioButton2 = new QRadioButton(QStringLiteral("指定网站搜索"), Panel4);
  RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
  band->addWidget(Edit1, 1);
  band->addSpacing(6);
  band->addWidget(RadioButton1);
  band->addWidget(RadioButton2);
  FilterEdit = new QLineEdit(Panel4);
  FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
  FilterEdit->setPlaceholderText(QStringLiteral("筛选结果"));
  FilterEdit->setClearButtonEnabled(true);
  FilterEdit->setMaximumWidth(180);
  band->addSpacing(6);
  band->addWidget(FilterEdit);
  // How many rows the filter lets through, of all rows: "5 / 36".
  FilterCount = new QLabel(Panel4);
  FilterCount->setObjectName(QStringLiteral("FilterCount"));
  FilterCount->setVisible(false);
  band->addWidget(FilterCount);
  layout->addWidget(Panel4);

  Splitter1 = new QSplitter(Qt::Horizontal, central);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setChildrenCollapsible(false);
  Panel3 = new QWidget(Splitter1);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  auto* urlLayout = new QVBoxLayout(Panel3);
  urlLayout->setContentsMargins(0, 0, 0, 0);
  ListBox1 = new QListWidget(Panel3);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  // The URL bar's background takes the colour of scroll bars and buttons.
  QPalette urlPalette = ListBox1->palette();
  urlPalette.setColor(QPalette::Base, urlPalette.color(QPalette::Button));
  ListBox1->setPalette(urlPalette);
  urlLayout->addWidget(ListBox1);

  MainListView = new TJoloListView(Splitter1);
  MainListView->setObjectName(QStringLiteral("MainListView"));
  SetUpListColumns();
  QFont headerFont(QStringLiteral("MS Sans Serif"));
  headerFont.setPixelSize(11);
  MainListView->SetHeaderFont(headerFont);
  MainListView->SetResultTable(&results_);
  MainListView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(MainListView, &QWidget::customContextMenuRequested, this,
          &TMainForm::MainListViewContextPopup);
  connect(MainListView, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded([this] { EditActionExecute(); }); });
  connect(FilterEdit, &QLineEdit::textChanged, MainListView, &TJoloListView::SetFilterText);
  connect(FilterEdit, &QLineEdit::textChanged, this, &TMainForm::UpdateFilterCount);
  // Ctrl+C copies records only while the list has the focus; text fields keep their own.
  CopyAction->setShortcut(QKeySequence::Copy);
  CopyAction->setShortcutContext(Qt::WidgetShortcut);
  MainListView->addAction(CopyAction);

  Splitter1->addWidget(Panel3);
  Splitter1->addWidget(MainListView);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({144, 881 - 144});
  layout->addWidget(Splitter1, 1);
  setCentralWidget(central);
}

void TMainForm::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("MainStatusBar"));
  constexpr std::array<int, 5> widths = {150, 180, 180, 180, 50};
  for (std::size_t i = 0; i < widths.size(); ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    // The last panel takes the rest of the bar.
    if (i + 1 < widths.size()) {
      panel->setFixedWidth(widths[i]);
      bar->addWidget(panel);
    } else {
      panel->setMinimumWidth(widths[i]);
      bar->addWidget(panel, 1);
    }
    statusPanels_[i] = panel;
  }
  connect(statusPanels_[4], &QLabel::linkActivated, this, [this](const QString& link) {
    if (link.startsWith(QLatin1String("verify:"))) OpenVerification(link.mid(7).toStdString());
  });
  statusPanels_[0]->setText(QFromGbk(RunStateText(0)));
  // Sites processed of sites found while a run goes; moving to and fro while only the search
  // runs.
  RunProgress = new QProgressBar(bar);
  RunProgress->setObjectName(QStringLiteral("RunProgress"));
  RunProgress->setMaximumWidth(220);
  RunProgress->setFormat(QStringLiteral("%v / %m"));
  RunProgress->setVisible(false);
  bar->addPermanentWidget(RunProgress);
}

TSettingsContext TMainForm::SettingsContext() {
  return TSettingsContext{globalSet_, store_, settingsPath_};
}

void TMainForm::UpdateActions() {
  RefreshCaption();
  const bool idle = runControl_->CanStart();
  const bool rowSelected = MainListView->SelectedRow() >= 0;
  NewSessionAction->setEnabled(idle);
  OpenSessionAction->setEnabled(idle);
  OutInfoAction->setEnabled(results_.RowCount() > 0);
  StartAction->setEnabled(idle);
  ContinueAction->setEnabled(runControl_->CanContinue());
  StopAction->setEnabled(runControl_->CanStop());
  EditAction->setEnabled(rowSelected);
  DelAction->setEnabled(rowSelected);
  ShowAction->setEnabled(rowSelected);
  CopyAction->setEnabled(rowSelected);
  // The conveniences follow the setting, which the options dialog may change at any time.
  const bool modern = ModernWindow();
  CopyAction->setVisible(modern);
  FilterEdit->setVisible(modern);
  if (!modern && !FilterEdit->text().isEmpty()) FilterEdit->clear();
  if (MainListView->ArrowOnlyWhenSorted() != modern) MainListView->SetArrowOnlyWhenSorted(modern);
  if (leadColumnsFollow_ && leadColumns_ != modern) ShowLeadColumns(modern);
  results_.SetPhoneRegion(globalSet_.PhoneRegion);
  HelpSetAction->setEnabled(idle);
  HelpSearchContentAction->setEnabled(idle);
  HelpSearchPointWebAction->setEnabled(idle);
  NewButton->setEnabled(NewSessionAction->isEnabled());
  OpenButton->setEnabled(OpenSessionAction->isEnabled());
  ExportButton->setEnabled(OutInfoAction->isEnabled());
  EditMenu->menuAction()->setVisible(modern);
  UndoAction->setEnabled(modern && CanUndo());
  UpdateTeamActions();
  // Esc stops a run; the toolbar's tips name the keys.
  const QKeySequence stopKey = modern ? QKeySequence(Qt::Key_Escape) : QKeySequence();
  if (StopAction->shortcut() != stopKey) StopAction->setShortcut(stopKey);
  const std::array<std::pair<QAction*, QAction*>, 7> tips = {{{NewButton, NewSessionAction},
                                                              {OpenButton, OpenSessionAction},
                                                              {SaveButton, SaveSessionAction},
                                                              {ExportButton, OutInfoAction},
                                                              {StartAction, StartAction},
                                                              {ContinueAction, ContinueAction},
                                                              {StopAction, StopAction}}};
  for (const auto& [button, command] : tips) {
    QString tip = button->iconText().trimmed();
    if (modern && !command->shortcut().isEmpty())
      tip += QStringLiteral(" (%1)").arg(command->shortcut().toString(QKeySequence::NativeText));
    if (button->toolTip() != tip) button->setToolTip(tip);
  }
  if (modern && !FilterEdit->text().isEmpty()) UpdateFilterCount();
  UpdateRunProgress();
  UpdateVerifyAction();
}

// TRunView.

void TMainForm::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel >= static_cast<int>(statusPanels_.size())) return;
  if (panel == 4) return ShowSourceStatus(text);
  statusPanels_[static_cast<std::size_t>(panel)]->setText(QFromGbk(text));
}

void TMainForm::AppendURLBarLines(const std::vector<std::string>& lines) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(lines.size()));
  for (const auto& line : lines) items << QFromGbk(line);
  ListBox1->addItems(items);
}

void TMainForm::ClearURLBar() {
  ListBox1->clear();
}

std::size_t TMainForm::URLBarLineCount() const {
  return static_cast<std::size_t>(ListBox1->count());
}

TMessageResult TMainForm::ShowMessage(const std::string& text, const std::string& caption,
                                      TMessageIcon icon, TMessageButtons buttons) {
  QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
  switch (icon) {
    case TMessageIcon::Information:
      boxIcon = QMessageBox::Information;
      break;
    case TMessageIcon::Warning:
      boxIcon = QMessageBox::Warning;
      break;
    case TMessageIcon::Error:
      boxIcon = QMessageBox::Critical;
      break;
    case TMessageIcon::Question:
      boxIcon = QMessageBox::Question;
      break;
    case TMessageIcon::None:
      break;
  }
  const bool modern = ModernWindow();
  const QString shown = modern ? BrokenAtClauses(QFromGbk(text)) : QFromGbk(text);
  QMessageBox box(boxIcon, QFromGbk(caption), shown, QMessageBox::NoButton, this);
  if (modern) {
    // Wide enough for its longest line (up to most of the screen), and selectable, so an
    // address or a path in it can be copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
      int widest = 0;
      for (const QString& line : shown.split('\n'))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
      const QScreen* screen = QGuiApplication::primaryScreen();
      const int limit = screen ? screen->availableGeometry().width() * 3 / 5 : 800;
      label->setMinimumWidth(std::min(widest + 8, limit));
    }
  }
  if (buttons == TMessageButtons::YesNoCancel) {
    box.addButton(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.addButton(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    box.addButton(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.addButton(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TMessageResult::Yes;
    case QMessageBox::No:
      return TMessageResult::No;
    case QMessageBox::Cancel:
      return TMessageResult::Cancel;
    default:
      return buttons == TMessageButtons::YesNoCancel ? TMessageResult::Cancel : TMessageResult::Ok;
  }
}

void TMainForm::SetCursor(TRunCursor cursor) {
  const bool hourglass = cursor == TRunCursor::Hourglass;
  if (hourglass == hourglass_) return;
  hourglass_ = hourglass;
  if (hourglass)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

std::string TMainForm::InputText() const {
  return GbkFromQ(Edit1->text());
}

void TMainForm::SetInputText(const std::string& text) {
  Edit1->setText(QFromGbk(text));
}

void TMainForm::FocusInput() {
  Edit1->setFocus();
}

bool TMainForm::KeywordModeSelected() const {
  return RadioButton1->isChecked();
}

bool TMainForm::WebsiteModeSelected() const {
  return RadioButton2->isChecked();
}

void TMainForm::SetModeButtons(bool keyword, bool website) {
  // A task file may hold any pair; exclusivity is suspended while both are set.
  RadioButton1->setAutoExclusive(false);
  RadioButton2->setAutoExclusive(false);
  RadioButton1->setChecked(keyword);
  RadioButton2->setChecked(website);
  RadioButton1->setAutoExclusive(true);
  RadioButton2->setAutoExclusive(true);
}

void TMainForm::EnableTimer(TRunTimer timer, bool enabled) {
  QTimer* t = timer == TRunTimer::BeginCheck ? BeginCheckTimer : StopWaitTimer;
  if (enabled)
    t->start();
  else
    t->stop();
  // The quick dispatch runs while the run does.
  if (timer == TRunTimer::BeginCheck)
    if (auto* pending = findChild<QTimer*>(QStringLiteral("DispatchPendingTimer")))
      enabled ? pending->start() : pending->stop();
}

int TMainForm::RunDialog(QDialog& dialog) {
  return dialog.exec();
}

bool TMainForm::OpenDocument(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

QString TMainForm::HelpFilePath() {
  // Beside the executable, or with the installed data files.
  if (const auto found = FindDataFile("help.htm")) return QFile::decodeName(found->c_str());
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help.htm"));
}

// Shut-down.

void TMainForm::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  // A task with nothing in it has nothing to save.
  const bool empty = results_.RowCount() == 0 && state_.URLCount() == 0;
  if (ModernWindow() && empty && state_.RunState != 1)
    canClose = true;
  else
    Guarded([&] { canClose = runControl_->CloseQuery(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  runControl_->Shutdown();
  BeginCheckTimer->stop();
  StopWaitTimer->stop();
  SetCursor(TRunCursor::Normal);
  SaveListLayout();
  event->accept();
}

// Commands.

void TMainForm::BeginCheckTimerTimer() {
  GuardedTick([this] { runControl_->BeginCheckTimerTimer(); });
}

void TMainForm::StopWaitTimerTimer() {
  GuardedTick([this] { runControl_->StopWaitTimerTimer(); });
}

void TMainForm::HelpSetActionExecute() {
  TSettingWizardForm form(SettingsContext(), this);
  RunDialog(form);
}

void TMainForm::HelpSearchContentActionExecute() {
  TSearchContentWizardForm form(SettingsContext(), *this, this);
  RunDialog(form);
}

void TMainForm::HelpSearchPointWebActionExecute() {
  TSearchPointWebWizardForm form(SettingsContext(), *this, this);
  RunDialog(form);
}

void TMainForm::N15Click() {
  ToolBar1->setVisible(N15->isChecked());
}

void TMainForm::N16Click() {
  statusBar()->setVisible(N16->isChecked());
}

void TMainForm::N17Click() {
  Panel4->setVisible(N17->isChecked());
}

void TMainForm::N18Click() {
  Panel3->setVisible(N18->isChecked());
}

void TMainForm::N27Click() {
  TOptionForm form(SettingsContext(), this);
  RunDialog(form);
}

void TMainForm::N25Click() {
  TAboutBox box(this);
  RunDialog(box);
}
