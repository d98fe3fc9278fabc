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
#include "run/app_root.h"
#include "run/status_texts.h"
#include "ui/dialogs.h"
#include "ui/jolo_list_view.h"
#include "ui/log_dock.h"
#include "ui/qt_text.h"

namespace {

// "description|*.ext|..." as Qt writes it: "description (*.ext);;...".
QString QtFilter(const std::string& gbkFilter) {
  const QStringList parts = QFromGbk(gbkFilter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
  return filters.join(QStringLiteral(";;"));
}

// The extension of the first pattern of a "description|*.ext" filter, without the dot.
QString FirstExtension(const std::string& gbkFilter) {
  const QStringList parts = QFromGbk(gbkFilter).split('|');
  if (parts.size() < 2) return {};
  const QString pattern = parts[1].section(';', 0, 0).trimmed();
  const qsizetype dot = pattern.lastIndexOf('.');
  if (dot < 0 || pattern.indexOf('*', dot) >= 0) return {};
  return pattern.mid(dot + 1);
}

std::optional<std::string> NativePath(const QString& chosen) {
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(chosen)).toStdString();
}

struct TColumnSpec {
  const char* Caption;
  int Width;
};
constexpr std::array<TColumnSpec, 8> kColumns = {{{"公司名称", 120},
                                                  {"网址", 150},
                                                  {"电子邮件", 100},
                                                  {"电话", 80},
                                                  {"传真", 80},
                                                  {"地址", 120},
                                                  {"邮编", 70},
                                                  {"", 0}}};

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

  resize(881, 584);
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
  StartAction =
      make("StartAction", "开始", QKeySequence(Qt::Key_F9), &TMainForm::StartActionExecute);
  ContinueAction = make("ContinueAction", "继续", {}, &TMainForm::ContinueActionExecute);
  StopAction = make("StopAction", "停止", {}, &TMainForm::StopActionExecute);
  EditAction =
      make("EditAction", "编辑", QKeySequence(Qt::CTRL | Qt::Key_E), &TMainForm::EditActionExecute);
  DelAction = make("DelAction", "删除", QKeySequence(Qt::Key_Delete), &TMainForm::DelActionExecute);
  ShowAction = make("ShowAction", "浏览网址...", {}, &TMainForm::ShowActionExecute);
  CopyAction = make("CopyAction", "复制", {}, &TMainForm::CopyActionExecute);
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
  file->addAction(X1);

  QMenu* view = bar->addMenu(QStringLiteral("查看(&V)"));
  view->addActions({N15, N16, N17, N18});
  view->addSeparator();
  view->addAction(LogDock->toggleViewAction());

  QMenu* search = bar->addMenu(QStringLiteral("搜索(&S)"));
  search->addActions({StartAction, ContinueAction});
  search->addSeparator();
  search->addAction(StopAction);

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
  help->addSeparator();
  help->addAction(N25);

  // Menus shown right after a change still see the current rules.
  for (QMenu* menu : {file, view, search, tools, setting, help})
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
  MainListView->SetColumnCount(static_cast<int>(kColumns.size()));
  for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
    MainListView->SetColumnCaption(c, QString::fromUtf8(kColumns[c].Caption));
    MainListView->SetColumnWidth(c, kColumns[c].Width);
  }
  MainListView->SetColumnMaxWidth(7, 1);
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
  statusPanels_[0]->setText(QFromGbk(RunStateText(0)));
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
}

// TRunView.

void TMainForm::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel >= static_cast<int>(statusPanels_.size())) return;
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
  QMessageBox box(boxIcon, QFromGbk(caption), QFromGbk(text), QMessageBox::NoButton, this);
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

void TMainForm::SetWindowCaption(const std::string& caption) {
  caption_ = QFromGbk(caption);
  captionModified_ = false;
  setWindowTitle(caption_);
  RefreshCaption();
}

void TMainForm::RefreshCaption() {
  const bool modified = ModernWindow() && state_.Modified;
  if (modified == captionModified_ || caption_.isEmpty()) return;
  captionModified_ = modified;
  setWindowTitle(modified ? QStringLiteral("*") + caption_ : caption_);
}

bool TMainForm::AskSaveBeforeDiscard() {
  if (!state_.Modified || (results_.RowCount() == 0 && state_.URLCount() == 0)) return true;
  return runControl_->CloseQuery();
}

std::optional<std::string> TMainForm::AskSaveFileName(const std::string& title,
                                                      const std::string& filter,
                                                      const std::string& proposedName) {
  QFileDialog dialog(this, QFromGbk(title), QFromGbk(proposedName), QtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The dialog adds the extension itself, so its overwrite question is asked about the file
  // that is really written, not about the name as typed.
  dialog.setDefaultSuffix(FirstExtension(filter));
  // Several types: the chosen one gives the extension, and the caller learns which it was.
  const QStringList types = QtFilter(filter).split(QStringLiteral(";;"));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& chosen) {
    const QString pattern = chosen.section('(', -1).section(')', 0, 0);
    const qsizetype dot = pattern.lastIndexOf('.');
    if (dot >= 0) dialog.setDefaultSuffix(pattern.mid(dot + 1));
  });
  saveFilterIndex_ = 0;
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  saveFilterIndex_ = std::max<int>(0, static_cast<int>(types.indexOf(dialog.selectedNameFilter())));
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::nullopt : NativePath(files.first());
}

std::optional<std::string> TMainForm::AskOpenFileName(const std::string& title,
                                                      const std::string& filter) {
  return NativePath(
      QFileDialog::getOpenFileName(this, QFromGbk(title), QString(), QtFilter(filter)));
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
  Guarded([&] { canClose = runControl_->CloseQuery(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  runControl_->Shutdown();
  BeginCheckTimer->stop();
  StopWaitTimer->stop();
  SetCursor(TRunCursor::Normal);
  event->accept();
}

// Commands.

void TMainForm::NewSessionActionExecute() {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  {
    TNewSessionForm form(state_, this, ModernWindow());
    if (RunDialog(form) == QDialog::Accepted) runControl_->NewTaskAccepted();
  }
  state_.Modified = true;
}

void TMainForm::OpenSessionActionExecute() {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  runControl_->OpenSessionActionExecute();
}

void TMainForm::SaveSessionActionExecute() {
  runControl_->SaveSessionActionExecute();
}

void TMainForm::SaveAsActionExecute() {
  runControl_->SaveAsActionExecute();
}

void TMainForm::OutInfoActionExecute() {
  if (results_.RowCount() == 0) return;
  // The modern window also writes CSV, for a spreadsheet or for importing elsewhere.
  const bool modern = ModernWindow();
  const std::string& filter =
      modern ? GBK("Excel 工作簿|*.xlsx|CSV（Excel）|*.csv|CSV（UTF-8，导入用）|*.csv")
             : GBK("Excel 工作簿|*.xlsx");
  saveFilterIndex_ = 0;
  auto chosen = AskSaveFileName(GBK("导出数据"), filter, state_.TaskName + ".xlsx");
  if (!chosen) return;
  std::string path = *chosen;
  const QString typed = QString::fromStdString(path);
  const bool csv =
      modern &&
      (typed.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ||
       (saveFilterIndex_ > 0 && !typed.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)));
  const QString extension = csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
  if (!typed.endsWith(extension, Qt::CaseInsensitive)) {
    path += extension.toStdString();
    // The dialog asked about the name as typed; the file really written needs its own question.
    if (QFile::exists(QFile::decodeName(QByteArray::fromStdString(path))) &&
        ShowMessage(GBK("文件") + gbk::FromUtf8(path) + GBK("已存在，是否替换？"), GBK("导出数据"),
                    TMessageIcon::Question, TMessageButtons::YesNoCancel) != TMessageResult::Yes)
      return;
  }
  if (csv) {
    TExportChoice choice;
    choice.LeadColumns = true;
    choice.Flavour = saveFilterIndex_ == 2 ? TCsvFlavour::Plain : TCsvFlavour::Excel;
    results_.SetPhoneRegion(globalSet_.PhoneRegion);
    ExportTableToCsv(results_, path, choice);
    statusBar()->showMessage(
        QStringLiteral("数据已导出到 %1")
            .arg(QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)))),
        15000);
    return;
  }
  SetCursor(TRunCursor::Hourglass);
  // The finished workbook is opened with the default handler, as a spreadsheet program would
  // show it.
  TXlsxExportSink sink(path, [this](const std::string& written) {
    SetCursor(TRunCursor::Normal);
    const QString file = QFile::decodeName(QByteArray::fromStdString(written));
    const bool opened = OpenDocument(QUrl::fromLocalFile(file));
    if (!ModernWindow()) return;
    // Where the file went stays visible; a missing spreadsheet program is no silent failure.
    const QString shown = QDir::toNativeSeparators(file);
    if (opened)
      statusBar()->showMessage(QStringLiteral("数据已导出到 %1").arg(shown), 15000);
    else
      ShowMessage(
          GbkFromQ(QStringLiteral("数据已导出到 %1\n没有找到能打开该文件的程序。").arg(shown)),
          GBK("导出数据"), TMessageIcon::Information);
  });
  results_.SetPhoneRegion(globalSet_.PhoneRegion);
  ExportTableTo(results_, sink, modern);
}

void TMainForm::StartActionExecute() {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  runControl_->StartActionExecute();
}

void TMainForm::ContinueActionExecute() {
  runControl_->ContinueActionExecute();
}

void TMainForm::StopActionExecute() {
  runControl_->StopActionExecute();
}

void TMainForm::BeginCheckTimerTimer() {
  GuardedTick([this] { runControl_->BeginCheckTimerTimer(); });
}

void TMainForm::StopWaitTimerTimer() {
  GuardedTick([this] { runControl_->StopWaitTimerTimer(); });
}

void TMainForm::EditActionExecute() {
  const int row = MainListView->SelectedRow();
  if (row < 0) return;
  TEditForm form(
      results_, row, [this](int r) { MainListView->SelectRow(r); }, this, ModernWindow());
  RunDialog(form);
  if (form.WroteBack()) state_.Modified = true;
}

void TMainForm::DelActionExecute() {
  std::vector<int> rows = MainListView->SelectedRows();
  if (rows.empty()) return;
  if (rows.size() > 1 &&
      ShowMessage(GBK("是否删除选中的") + std::to_string(rows.size()) + GBK("条记录?"), GBK("提示"),
                  TMessageIcon::Question, TMessageButtons::YesNoCancel) != TMessageResult::Yes)
    return;
  // From the last to the first, so the indices still to delete stay valid.
  std::sort(rows.rbegin(), rows.rend());
  for (const int row : rows) results_.DeleteRow(static_cast<std::size_t>(row));
  state_.Modified = true;
  // A count already on show follows the deletion at once.
  if (!statusPanels_[3]->text().isEmpty()) runControl_->ShowRecordCount();
}

void TMainForm::CopyActionExecute() {
  std::vector<int> rows = MainListView->SelectedRows();
  std::sort(rows.begin(), rows.end());
  // One line per record, its fields separated by tabs, as spreadsheets paste them.
  QStringList lines;
  for (const int row : rows) {
    QStringList cells;
    for (const std::string& cell : results_.Row(static_cast<std::size_t>(row)))
      cells << QFromGbk(cell).replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    lines << cells.join('\t');
  }
  if (!lines.isEmpty()) QGuiApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void TMainForm::ShowActionExecute() {
  const int row = MainListView->SelectedRow();
  if (row < 0) return;
  // Addresses come from harvested pages: only web addresses are handed to the system, never
  // files, commands or other schemes. Parsed tolerantly: they may hold spaces or unencoded
  // characters.
  const QUrl url(QFromGbk(gbk::Trim(results_.Cell(static_cast<std::size_t>(row), kColWebAddress))),
                 QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty())
    return;
  OpenDocument(url);
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

void TMainForm::MainListViewContextPopup(const QPoint& pos) {
  UpdateActions();
  ListPopupMenu->popup(MainListView->viewport()->mapToGlobal(pos));
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

void TMainForm::SetColumnsShown(bool shown, std::initializer_list<TColumnShare> columns) {
  const int listWidth = MainListView->width();
  for (const auto [column, share] : columns) {
    // A hidden column is held at width 0 with a one-pixel limit and no caption.
    MainListView->SetColumnMaxWidth(column, shown ? 0 : 1);
    MainListView->SetColumnMinWidth(column, 0);
    MainListView->SetColumnWidth(column, shown ? listWidth * share / 72 : 0);
    MainListView->SetColumnCaption(
        column,
        shown ? QString::fromUtf8(kColumns[static_cast<std::size_t>(column)].Caption) : QString());
  }
}

void TMainForm::ShowLeadColumns(bool shown) {
  leadColumns_ = shown;
  MainListView->SetColumnCount(static_cast<int>(shown ? kResultColumnCount : kColumns.size()));
  MainListView->SetColumnCaption(kColDescription, shown ? QStringLiteral("描述") : QString());
  MainListView->SetColumnMaxWidth(kColDescription, shown ? 0 : 1);
  MainListView->SetColumnWidth(kColDescription, shown ? 150 : 0);
  if (!shown) return;
  MainListView->SetColumnCaption(kColPhoneKind, QStringLiteral("号码类型"));
  MainListView->SetColumnWidth(kColPhoneKind, 70);
  MainListView->SetColumnCaption(kColPhonePlace, QStringLiteral("所在地"));
  MainListView->SetColumnWidth(kColPhonePlace, 90);
}

void TMainForm::N34Click() {
  SetColumnsShown(N34->isChecked(), {{2, 10}});
}

void TMainForm::N35Click() {
  SetColumnsShown(N35->isChecked(), {{3, 8}, {4, 8}});
}

void TMainForm::N36Click() {
  SetColumnsShown(N36->isChecked(), {{5, 12}, {6, 7}});
}

void TMainForm::N27Click() {
  TOptionForm form(SettingsContext(), this);
  RunDialog(form);
}

void TMainForm::N1Click() {
  OpenDocument(QUrl::fromLocalFile(HelpFilePath()));
}

void TMainForm::N20Click() {
  OpenDocument(QUrl(QString::fromUtf8(kHomePageAddress)));
}

void TMainForm::N21Click() {
  OpenDocument(QUrl(QString::fromUtf8(kFeedbackAddress)));
}

void TMainForm::N25Click() {
  TAboutBox box(this);
  RunDialog(box);
}
