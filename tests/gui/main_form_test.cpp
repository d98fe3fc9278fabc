// The main window: actions and their enabling through a run, closing, record commands,
// column toggles and export. Dialogs, message boxes and the default handler are scripted.

#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <deque>
#include <fstream>
#include <thread>

#include "core/gbk.h"
#include "core/log.h"
#include "dialog_test_support.h"
#include "local_server.h"
#include "run/run_control.h"
#include "test_support.h"
#include "ui/dialogs.h"
#include "ui/jolo_list_view.h"
#include "ui/qt_text.h"
#include "ui/window_geometry.h"

using testsupport::G;

namespace {

struct TShownMessage {
  std::string Text;
  std::string Caption;
  TMessageButtons Buttons;
};

class TTestForm : public TMainForm {
 public:
  explicit TTestForm(const std::string& settingsPath) : TMainForm(settingsPath) {}

  TMessageResult ShowMessage(const std::string& text, const std::string& caption, TMessageIcon,
                             TMessageButtons buttons) override {
    messages.push_back({text, caption, buttons});
    if (answers.empty()) return TMessageResult::Ok;
    const TMessageResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string& filter,
                                             const std::string& proposedName) override {
    saveFilters.push_back(filter);
    proposedNames.push_back(proposedName);
    saveFilterIndex_ = saveFilter;
    return savePath;
  }
  std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
    return openPath;
  }
  int RunDialog(QDialog& dialog) override {
    dialogs.push_back(dialog.metaObject()->className());
    if (drive) {
      drive(dialog);
      return dialog.result();
    }
    if (qobject_cast<TNewSessionForm*>(&dialog) && dialogResult == QDialog::Accepted)
      State().TaskName = newTaskName;
    return dialogResult;
  }
  bool OpenDocument(const QUrl& url) override {
    opened.push_back(url);
    return openResult;
  }

  QAction* Action(const char* name) { return findChild<QAction*>(QString::fromUtf8(name)); }
  // Triggers an action the way the user would: with its rule applied first.
  void Run(const char* name) {
    UpdateActions();
    Action(name)->trigger();
  }
  bool Enabled(const char* name) {
    UpdateActions();
    return Action(name)->isEnabled();
  }
  QString Panel(int i) {
    return findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i))->text();
  }
  void AddRows(std::initializer_list<TResultRow> rows) {
    for (const auto& row : rows) Results().AppendRow(row);
  }

  std::vector<TShownMessage> messages;
  std::deque<TMessageResult> answers;
  std::optional<std::string> savePath;
  std::optional<std::string> openPath;
  std::vector<std::string> saveFilters;
  int saveFilter = 0;  // the file type picked in the save dialog
  std::vector<std::string> proposedNames;
  std::vector<QString> dialogs;
  int dialogResult = QDialog::Rejected;
  std::string newTaskName = G("展会客户");
  std::vector<QUrl> opened;
  bool openResult = true;
  std::function<void(QDialog&)> drive;  // works the dialog instead of the user
};

TResultRow Row(const char* name, const char* web, const char* email, const char* phone,
               const char* description = "") {
  return {G(name),  G(web),        G(email), G(phone), G("021-1111"), G("上海市中山路1号"),
          "200001", G(description)};
}

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* a : menu->actions())
    if (a->isVisible()) texts << (a->isSeparator() ? QStringLiteral("—") : a->text());
  return texts;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString Unzip(const QString& archive, const QString& member) {
  QProcess unzip;
  unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
  unzip.waitForFinished(10000);
  return QString::fromUtf8(unzip.readAllStandardOutput());
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testsupport::TempDir> dir_;
  std::string Ini() const { return (*dir_ / "Gleaner.ini").string(); }
  // Without the window conveniences unless asked: most tests check the window as designed.
  std::unique_ptr<TTestForm> MakeForm(bool modern = false) {
    // The switch is in the file already when the window reads it at start.
    TIniFile file;
    file.LoadFile(Ini());
    file.WriteString("WINDOW", "FlagModernWindow", modern ? "1" : "0");
    file.SaveFile(Ini());
    auto form = std::make_unique<TTestForm>(Ini());
    // No engine is asked during these tests.
    TGlobalSet& set = form->GlobalSet();
    set.FlagModernWindow = modern;
    set.FlagUseSina = set.FlagUseSohu = set.FlagUseYahoo = false;
    set.FlagUseGoogle = set.FlagUse163 = set.FlagUseBaidu = false;
    set.MaxReadHTMLTimeOut = 30000;
    form->Store().Publish(set);
    return form;
  }

 private slots:
  void init() { dir_ = std::make_unique<testsupport::TempDir>(); }
  void cleanup() { dir_.reset(); }

  void startUpShowsTheFreshTaskAndTheCommands() {
    auto form = MakeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("新任务1-Veltra企业名录采集系统"));
    QCOMPARE(form->size(), QSize(881, 584));
    QCOMPARE(form->Panel(0), QStringLiteral("就绪"));
    QVERIFY(form->findChild<QRadioButton*>("RadioButton1")->isChecked());
    QCOMPARE(form->findChild<QWidget*>("ListBox1")->width() > 0, true);

    struct Expect {
      const char* name;
      const char* caption;
      QKeySequence shortcut;
    };
    const Expect table[] = {
        {"NewSessionAction", "新建任务(&N)", QKeySequence("Ctrl+N")},
        {"OpenSessionAction", "打开任务(&O)...", QKeySequence("Ctrl+O")},
        {"SaveSessionAction", "保存任务", QKeySequence("Ctrl+S")},
        {"SaveAsAction", "任务另存为(&A)...", {}},
        {"OutInfoAction", "导出数据(&E)...", {}},
        {"StartAction", "开始", QKeySequence("F9")},
        {"ContinueAction", "继续", {}},
        {"StopAction", "停止", {}},
        {"EditAction", "编辑", QKeySequence("Ctrl+E")},
        {"DelAction", "删除", QKeySequence(Qt::Key_Delete)},
        {"ShowAction", "浏览网址...", {}},
        {"HelpSetAction", "软件设置向导", {}},
        {"HelpSearchContentAction", "关键词搜索向导", {}},
        {"HelpSearchPointWebAction", "指定网站搜索向导", {}},
    };
    for (const Expect& e : table) {
      QAction* action = form->Action(e.name);
      QVERIFY2(action, e.name);
      QCOMPARE(action->text(), QString::fromUtf8(e.caption));
      QCOMPARE(action->shortcut(), e.shortcut);
    }

    // Fresh start: nothing to continue, stop, export or edit.
    QVERIFY(form->Enabled("StartAction"));
    QVERIFY(form->Enabled("NewSessionAction"));
    QVERIFY(!form->Enabled("ContinueAction"));
    QVERIFY(!form->Enabled("StopAction"));
    QVERIFY(!form->Enabled("OutInfoAction"));
    QVERIFY(!form->Enabled("EditAction"));

    form->UpdateActions();
    QList<QAction*> menus;
    QStringList titles;
    for (QAction* m : form->menuBar()->actions())
      if (m->isVisible()) {
        menus << m;
        titles << m->text();
      }
    QCOMPARE(titles,
             QStringList({"文件(&F)", "查看(&V)", "搜索(&S)", "工具(&T)", "设置(&C)", "帮助(&H)"}));
    QCOMPARE(MenuTexts(menus[0]->menu()),
             QStringList({"新建任务(&N)", "打开任务(&O)...", "—", "保存任务", "任务另存为(&A)...",
                          "—", "导出数据(&E)...", "—", "团队任务(&T)...", "—", "退出(&X)"}));
    QCOMPARE(MenuTexts(menus[2]->menu()), QStringList({"开始", "继续", "—", "停止"}));
    QCOMPARE(MenuTexts(menus[5]->menu()),
             QStringList({"使用说明(&V)", "—", "关于(&Z)..."}));  // no addresses shipped
    QStringList toolbar;
    for (QAction* a : form->findChild<QToolBar*>("ToolBar1")->actions())
      toolbar << (a->isSeparator() ? QStringLiteral("—") : a->text());
    QCOMPARE(toolbar, QStringList({"  新建  ", "打开", "保存", "导出", "—", "开始", "继续", "停止",
                                   "—", "选项", "—", "帮助"}));
  }

  void searchModeIsReadAtStartAndWrittenOnExit() {
    testsupport::WriteFile(*dir_ / "Gleaner.ini", "[LIKE]\r\nLIKESETTING=0\r\n");
    {
      auto form = MakeForm();
      QVERIFY(form->findChild<QRadioButton*>("RadioButton2")->isChecked());
      QVERIFY(!form->KeywordModeSelected());
      form->findChild<QRadioButton*>("RadioButton1")->setChecked(true);
      QVERIFY(!form->WebsiteModeSelected());
    }
    QVERIFY(ReadAll(*dir_ / "Gleaner.ini").find("LIKESETTING=1") != std::string::npos);
  }

  void closeAsksOnlyWhenModified() {
    auto form = MakeForm();
    form->show();
    QVERIFY(form->close());
    QVERIFY(form->messages.empty());

    // A cancelled new-task dialog still marks the task modified.
    form->show();
    form->dialogResult = QDialog::Rejected;
    form->Run("NewSessionAction");
    QCOMPARE(form->dialogs.back(), QStringLiteral("TNewSessionForm"));
    form->answers = {TMessageResult::Cancel};
    QVERIFY(!form->close());
    QCOMPARE(form->messages.back().Text, G("是否保存当前任务?"));
    QCOMPARE(form->messages.back().Caption, G("提示"));
    QCOMPARE(form->messages.back().Buttons, TMessageButtons::YesNoCancel);
    QVERIFY(form->isVisible());

    // Yes saves first; the save dialog cancelled keeps the window open.
    form->answers = {TMessageResult::Yes};
    form->savePath.reset();
    QVERIFY(!form->close());
    form->answers = {TMessageResult::Yes};
    form->savePath = (*dir_ / "closing").string();
    QVERIFY(form->close());
    QVERIFY(std::filesystem::exists(*dir_ / "closing.swrw"));
    QVERIFY(!form->State().Modified);
  }

  void newTaskResetsTheWindowAndContinueStaysOff() {
    auto form = MakeForm();
    form->AddRows(
        {Row("上海海德机械有限公司", "http://www.acme.com/", "a@acme.com", "021-62345678")});
    form->AppendURLBarLines({"http://www.acme.com/"});
    form->dialogResult = QDialog::Accepted;
    form->Run("NewSessionAction");
    QCOMPARE(form->windowTitle(), QStringLiteral("展会客户-Veltra企业名录采集系统"));
    QCOMPARE(form->Results().RowCount(), 0u);
    QCOMPARE(form->URLBarLineCount(), 0u);
    QCOMPARE(form->Panel(0), QStringLiteral("就绪"));
    QVERIFY(form->Panel(3).isEmpty());
    QVERIFY(form->State().Modified);
    QVERIFY(!form->Enabled("ContinueAction"));
  }

  void actionsFollowARunThroughStopAndOpening() {
    auto form = MakeForm();
    form->Run("StartAction");
    QCOMPARE(form->messages.size(), 1u);
    QCOMPARE(form->messages[0].Text, G("请输入内容！"));
    QCOMPARE(form->State().RunState, 0);

    testsupport::SilentServer silent;
    form->findChild<QRadioButton*>("RadioButton2")->setChecked(true);
    form->findChild<QLineEdit*>("Edit1")->setText(QString::fromStdString(silent.Url("/")));
    form->Run("StartAction");
    QCOMPARE(form->State().RunState, 1);
    QVERIFY(!form->Enabled("StartAction"));
    QVERIFY(!form->Enabled("NewSessionAction"));
    QVERIFY(!form->Enabled("OpenSessionAction"));
    QVERIFY(!form->Enabled("HelpSetAction"));
    QVERIFY(!form->Enabled("ContinueAction"));
    QVERIFY(form->Enabled("StopAction"));
    QVERIFY(form->Enabled("SaveSessionAction"));

    form->Run("StopAction");
    QCOMPARE(form->Panel(0), QStringLiteral("正在停止..."));
    for (int i = 0; i < 300 && form->State().RunState == 1; ++i) {
      form->StopWaitTimerTimer();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QCOMPARE(form->State().RunState, -1);
    QCOMPARE(form->Panel(0), QStringLiteral("结束"));
    QVERIFY(form->Enabled("ContinueAction"));
    QVERIFY(form->Enabled("StartAction"));
    QVERIFY(!form->Enabled("StopAction"));

    // Saved and opened in a fresh window: Continue is offered at once.
    form->AddRows(
        {Row("上海海德机械有限公司", "http://www.acme.com/", "a@acme.com", "021-62345678")});
    form->State().TaskName = G("展会客户");
    form->savePath = (*dir_ / "task.swrw").string();
    form->Run("SaveSessionAction");
    QVERIFY(std::filesystem::exists(*dir_ / "task.swrw"));

    auto reopened = MakeForm();
    QVERIFY(!reopened->Enabled("ContinueAction"));
    reopened->openPath = (*dir_ / "task.swrw").string();
    reopened->Run("OpenSessionAction");
    QVERIFY(reopened->messages.empty());
    QVERIFY(reopened->Enabled("ContinueAction"));
    QVERIFY(reopened->Enabled("OutInfoAction"));
    QCOMPARE(reopened->Results().RowCount(), 1u);
    QCOMPARE(reopened->windowTitle(), QStringLiteral("展会客户-Veltra企业名录采集系统"));
    QCOMPARE(reopened->findChild<QLineEdit*>("Edit1")->text(),
             QString::fromStdString(silent.Url("/")));
    QVERIFY(reopened->WebsiteModeSelected());

    // A missing file is reported and changes nothing.
    reopened->openPath = (*dir_ / "missing.swrw").string();
    reopened->Run("OpenSessionAction");
    QCOMPARE(reopened->messages.back().Text, G("文件不存在"));
    QCOMPARE(reopened->Results().RowCount(), 1u);
  }

  void closingDuringARunStopsAndJoinsEveryThread() {
    testsupport::SilentServer silent;
    auto form = MakeForm();
    form->show();
    form->findChild<QRadioButton*>("RadioButton2")->setChecked(true);
    form->findChild<QLineEdit*>("Edit1")->setText(QString::fromStdString(silent.Url("/")));
    form->Run("StartAction");
    QCOMPARE(form->State().RunState, 1);
    QVERIFY(form->RunControl().HasProducer());
    const auto start = std::chrono::steady_clock::now();
    form->answers = {TMessageResult::No};
    QVERIFY(form->close());
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
    QVERIFY(!form->RunControl().HasProducer());
    QCOMPARE(form->State().RunState, -1);
    form.reset();
  }

  void recordCommandsWorkOnTheSelectedRow() {
    auto form = MakeForm();
    form->AddRows(
        {Row("上海海德机械有限公司", "http://www.acme.com/", "a@acme.com", "021-62345678")});
    QVERIFY(form->Enabled("OutInfoAction"));
    QVERIFY(!form->Enabled("DelAction"));
    form->ListView()->SelectRow(0);
    QVERIFY(form->Enabled("EditAction"));
    QVERIFY(form->Enabled("ShowAction"));

    form->Run("EditAction");
    QCOMPARE(form->dialogs.back(), QStringLiteral("TEditForm"));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QRect cell = form->ListView()->visualRect(form->ListView()->model()->index(0, 0));
    QTest::mouseClick(form->ListView()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form->ListView()->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(form->dialogs.size(), 2u);

    // Deleting the only row leaves an empty list, and export is off.
    form->Run("DelAction");
    QCOMPARE(form->Results().RowCount(), 0u);
    QVERIFY(!form->Enabled("OutInfoAction"));
    QVERIFY(!form->Enabled("DelAction"));
  }

  void startNewTaskAndOpenAskBeforeGivingUpUnsavedRecords() {
    auto form = MakeForm();
    auto unsaved = [&] {
      form->AddRows({Row("甲", "http://a.cn/", "", "")});
      form->State().Modified = true;
    };
    unsaved();
    const std::size_t asked = form->messages.size();
    // Cancel keeps everything, whichever command asked.
    for (const char* command : {"StartAction", "NewSessionAction", "OpenSessionAction"}) {
      form->answers = {TMessageResult::Cancel};
      form->Run(command);
      QCOMPARE(form->messages.back().Text, G("是否保存当前任务?"));
      QCOMPARE(form->messages.back().Buttons, TMessageButtons::YesNoCancel);
      QCOMPARE(form->Results().RowCount(), 1u);
    }
    QCOMPARE(form->messages.size(), asked + 3);
    QVERIFY(form->dialogs.empty());

    // Yes saves, then Start goes on (and stops at the empty input box).
    form->answers = {TMessageResult::Yes};
    form->savePath = (*dir_ / "kept").string();
    form->Run("StartAction");
    QCOMPARE(form->messages.back().Text, G("请输入内容！"));
    QCOMPARE(form->Results().RowCount(), 0u);
    auto reopened = MakeForm();
    reopened->openPath = (*dir_ / "kept.swrw").string();
    reopened->Run("OpenSessionAction");
    QCOMPARE(reopened->Results().RowCount(), 1u);

    // No gives the records up; an emptied task asks nothing.
    unsaved();
    form->answers = {TMessageResult::No};
    form->dialogResult = QDialog::Accepted;
    form->Run("NewSessionAction");
    QCOMPARE(form->dialogs.back(), QStringLiteral("TNewSessionForm"));
    QCOMPARE(form->Results().RowCount(), 0u);
    const std::size_t before = form->messages.size();
    form->Run("NewSessionAction");
    QCOMPARE(form->messages.size(), before);
  }

  void editsAndDeletionsMarkTheTaskModified() {
    auto form = MakeForm(true);
    form->AddRows({Row("甲", "http://a.cn/", "", ""), Row("乙", "http://b.cn/", "", ""),
                   Row("丙", "http://c.cn/", "", "")});
    QVERIFY(!form->State().Modified);
    QVERIFY(!form->windowTitle().startsWith('*'));
    form->ListView()->SelectRow(0);
    form->drive = [](QDialog& dialog) {
      Child<QLineEdit>(&dialog, "Edit2")->setText(QStringLiteral("http://a2.cn/"));
      Child<QAction>(&dialog, "DownAction")->trigger();  // applies what was typed
      Button(&dialog, "CancelButton")->click();
    };
    form->Run("EditAction");
    QCOMPARE(form->Results().Cell(0, kColWebAddress), std::string("http://a2.cn/"));
    form->ListView()->SelectRow(0);  // the editor's step moved the selection
    form->Run("CopyAction");
    QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("甲\thttp://a2.cn/\t")));
    QVERIFY(form->State().Modified);
    form->UpdateActions();
    QVERIFY(form->windowTitle().contains(QStringLiteral("* - ")));

    // Deleting marks the task too and the count shown follows; one row or several go without
    // a question, and 编辑 › 撤销 puts the last deletion back in place.
    form->State().Modified = false;
    form->SetStatusText(3, G("得到信息:3"));
    form->ListView()->SelectRow(1);
    form->Run("DelAction");
    QVERIFY(form->State().Modified);
    QCOMPARE(form->Panel(3), QStringLiteral("得到信息:2"));
    form->ListView()->selectAll();
    form->Run("DelAction");
    QCOMPARE(form->Results().RowCount(), 0u);
    QVERIFY(form->messages.empty());
    form->Run("UndoAction");
    QCOMPARE(form->Results().RowCount(), 2u);
    QCOMPARE(form->Results().Cell(1, kColCompanyName), G("丙"));
    QCOMPARE(form->Panel(3), QStringLiteral("得到信息:2"));
    QVERIFY(!form->Enabled("UndoAction"));
    form->Run("DelAction");

    // An export that nothing can open says where the file is.
    form->AddRows({Row("丁", "http://d.cn/", "", "")});
    form->savePath = (*dir_ / "out.xlsx").string();
    form->openResult = false;
    form->Run("OutInfoAction");
    QVERIFY(QFile::exists(QString::fromStdString(*form->savePath)));
    QVERIFY(form->messages.back().Text.find(gbk::FromUtf8(*form->savePath)) != std::string::npos);
  }

  void windowFitsTheScreenAndOpensWhereItWasLeft() {
    const QSize preferred(881, 584);
    const QRect small(0, 0, 800, 560);
    // Nothing stored, or a place off the screen or too large: the default size, cut and centred.
    QCOMPARE(FitWindowRect({}, preferred, small), QRect(0, 0, 800, 560));
    QCOMPARE(FitWindowRect({}, preferred, QRect(0, 0, 1281, 800)), QRect(200, 108, 881, 584));
    QCOMPARE(FitWindowRect({3000, 10, 600, 400}, preferred, small).size(), QSize(800, 560));
    QCOMPARE(FitWindowRect({0, 0, 900, 400}, preferred, small).size(), QSize(800, 560));
    QCOMPARE(FitWindowRect({50, 40, 600, 400}, preferred, small), QRect(50, 40, 600, 400));

    testsupport::WriteFile(*dir_ / "Gleaner.ini", "[LIKE]\r\nLIKESETTING=1\r\n");
    QWidget window;
    window.resize(300, 200);
    window.move(20, 30);
    SaveWindowGeometry(window, Ini());
    QVERIFY(ReadAll(*dir_ / "Gleaner.ini").find("LIKESETTING=1") != std::string::npos);
    QWidget again;
    RestoreWindowGeometry(again, preferred, Ini());
    QCOMPARE(again.size(), QSize(300, 200));
    QCOMPARE(again.pos(), QPoint(20, 30));
  }

  void toolbarCaptionsAndRowShortcutsReachTheUser() {
    auto form = MakeForm();
    auto* bar = form->findChild<QToolBar*>("ToolBar1");
    QStringList shown;
    for (QAction* a : bar->actions())
      if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a)))
        shown << button->text();
    QCOMPARE(shown, QStringList({"  新建  ", "打开", "保存", "导出", "开始", "继续", "停止", "选项",
                                 "帮助"}));

    form->AddRows({Row("甲", "http://a.cn/", "", ""), Row("乙", "http://b.cn/", "", "")});
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    TJoloListView* list = form->ListView();
    list->SelectRow(0);
    list->setFocus();
    form->UpdateActions();
    QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(form->dialogs, std::vector<QString>({QStringLiteral("TEditForm")}));
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(form->Results().RowCount(), 1u);
    QCOMPARE(form->Results().Cell(0, 0), G("乙"));

    // Delete in the input box edits the text and leaves the rows alone.
    list->SelectRow(0);
    form->UpdateActions();
    auto* edit = form->findChild<QLineEdit*>("Edit1");
    edit->setText(QStringLiteral("abc"));
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("bc"));
    QCOMPARE(form->Results().RowCount(), 1u);
  }

  void openedTaskIsUnmodifiedAndTheTitleNamesItsFile() {
    QVERIFY(MakeForm(true)->close());  // an empty task has nothing to save

    auto form = MakeForm(true);
    form->AddRows({Row("甲", "http://a.cn/", "", "")});
    form->State().Modified = true;
    const std::string path = (*dir_ / "kw1.swrw").string();
    form->savePath = path;
    form->Run("SaveAsAction");
    form->UpdateActions();
    QCOMPARE(form->windowTitle(), QStringLiteral("kw1 - Veltra企业名录采集系统"));
    form->State().Modified = true;
    form->UpdateActions();
    QCOMPARE(form->windowTitle(), QStringLiteral("kw1* - Veltra企业名录采集系统"));

    auto reopened = MakeForm(true);
    QCOMPARE(reopened->RecentFiles(), QStringList{QString::fromStdString(path)});
    reopened->State().TaskName = G("别的任务");
    reopened->openPath = path;
    reopened->Run("OpenSessionAction");
    reopened->UpdateActions();
    QCOMPARE(reopened->windowTitle(), QStringLiteral("kw1 - Veltra企业名录采集系统"));
    QVERIFY(reopened->close());
    QVERIFY(reopened->messages.empty());
  }

  void numbersCorrectedOnLoadAreLoggedOnce() {
    testsupport::WriteFile(*dir_ / "Gleaner.ini",
                           "[SETTING]\r\nMaxFindWebThreadCount=99\r\nMaxCrawlLevel=3\r\n");
    const uint64_t before = TLog::Global().LastSeq();
    auto form = MakeForm(true);
    QStringList warnings;
    for (const TLogEntry& e : TLog::Global().Since(before))
      if (e.Level == TLogLevel::Warning && e.Category == "settings")
        warnings << QString::fromStdString(e.Message);
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings[0].contains(QStringLiteral("MaxFindWebThreadCount=99")));
    QVERIFY(warnings[0].contains(QStringLiteral("已改为 30")));
    QCOMPARE(form->GlobalSet().MaxFindWebThreadCount, 30);
  }

  void progressBarFollowsTheCounts() {
    auto form = MakeForm(true);
    auto* bar = form->findChild<QProgressBar*>("RunProgress");
    form->State().RunState = 1;
    form->UpdateActions();
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->maximum(), 0);  // only the search runs: moving to and fro
    form->AppendURLBarLines({"http://a.cn/", "http://b.cn/", "http://c.cn/"});
    form->State().ProcessedURLCount = 1;
    form->UpdateActions();
    QCOMPARE(bar->maximum(), 3);
    QCOMPARE(bar->value(), 1);
    form->State().RunState = -1;
    form->UpdateActions();
    QVERIFY(bar->isHidden());
  }

  void directorySearchRefusesInputThatIsNoAddress() {
    auto form = MakeForm(true);
    form->AddRows({Row("甲", "http://a.cn/", "", "")});
    form->findChild<QRadioButton*>("RadioButton2")->setChecked(true);
    form->findChild<QLineEdit*>("Edit1")->setText(QStringLiteral("上海 机械厂"));
    form->Run("StartAction");
    QCOMPARE(form->messages.size(), 1u);
    QVERIFY(QFromGbk(form->messages[0].Text).contains(QStringLiteral("不是网址")));
    QCOMPARE(form->State().RunState, 0);
    QVERIFY(!form->RunControl().HasProducer());
    QCOMPARE(form->Results().RowCount(), 1u);  // nothing was reset for it
    QVERIFY(LooksLikeWebAddress(QStringLiteral("www.acme.com/list.asp?p=2")));
    QVERIFY(LooksLikeWebAddress(QStringLiteral("http://localhost:8080/")));
    QVERIFY(!LooksLikeWebAddress(QStringLiteral("ftp://acme.com/")));
    QVERIFY(!LooksLikeWebAddress(QStringLiteral("机械")));
  }

  void saveDialogAsksBeforeReplacingTheFileItNames() {
    auto form = MakeForm();
    testsupport::WriteFile(*dir_ / "task.swrw", "old");
    const QString typed = QString::fromStdString((*dir_ / "task").string());
    bool askedToReplace = false;
    QStringList named;
    // Two drivers: a timer does not fire again while its own slot waits in a nested loop.
    QTimer boxDriver;
    connect(&boxDriver, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        askedToReplace = true;
        box->button(QMessageBox::No)->click();
      }
    });
    QTimer dialogDriver;
    connect(&dialogDriver, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      if (named.isEmpty()) {
        // Typed without the extension: the name the file gets is the one asked about.
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
        named = dialog->selectedFiles();
        static_cast<QDialog*>(dialog)->accept();
      } else {
        dialog->reject();
      }
    });
    boxDriver.start(20);
    dialogDriver.start(20);
    const auto chosen =
        form->TMainForm::AskSaveFileName(G("保存任务"), G("商务信息搜索任务|*.swrw"), G("新任务1"));
    QCOMPARE(named, QStringList({QString::fromStdString((*dir_ / "task.swrw").string())}));
    QVERIFY(askedToReplace);
    QVERIFY(!chosen.has_value());
    QCOMPARE(ReadAll(*dir_ / "task.swrw"), std::string("old"));
  }

  void browseOpensOnlyWebAddresses() {
    auto form = MakeForm();
    form->AddRows({Row("甲", " http://www.acme.com/about.htm ", "", ""),
                   Row("乙", "https://beta.cn/", "", ""), Row("丙", "file:///etc/passwd", "", ""),
                   Row("丁", "javascript:alert(1)", "", ""), Row("戊", "/usr/bin/xterm", "", ""),
                   Row("己", "www.gamma.com", "", ""), Row("庚", "mailto:a@b.cn", "", ""),
                   Row("辛", "http://www.delta.cn/产品 列表.htm", "", "")});
    for (int row = 0; row < 8; ++row) {
      form->ListView()->SelectRow(row);
      form->Run("ShowAction");
    }
    QCOMPARE(form->opened.size(), 3u);
    QCOMPARE(form->opened[0], QUrl("http://www.acme.com/about.htm"));
    QCOMPARE(form->opened[1], QUrl("https://beta.cn/"));
    QCOMPARE(form->opened[2].host(), QStringLiteral("www.delta.cn"));
    QCOMPARE(form->opened[2].path(), QStringLiteral("/产品 列表.htm"));

    form->Run("N1");
    QCOMPARE(form->opened.back(), QUrl::fromLocalFile(TMainForm::HelpFilePath()));
    QVERIFY(form->opened.back().toLocalFile().endsWith("/help.htm"));
    // As designed, a link nothing opens says nothing; with the conveniences it says so and
    // shows the address.
    form->openResult = false;
    form->Run("N1");
    QVERIFY(form->messages.empty());
    auto modern = MakeForm(true);
    modern->openResult = false;
    modern->Run("N1");
    QCOMPARE(modern->messages.size(), 1u);
    QVERIFY(QFromGbk(modern->messages[0].Text).contains(TMainForm::HelpFilePath()));
  }

  void columnTogglesHideAndRestoreWithTheListWidth() {
    auto form = MakeForm();
    form->show();
    TJoloListView* list = form->ListView();
    QCOMPARE(list->ColumnWidth(2), 100);
    QCOMPARE(list->ColumnWidth(7), 0);
    QCOMPARE(list->ColumnMaxWidth(7), 1);
    list->SetColumnWidth(7, 50);
    QCOMPARE(list->ColumnWidth(7), 1);

    form->Run("N34");
    QVERIFY(!form->Action("N34")->isChecked());
    QCOMPARE(list->ColumnWidth(2), 0);
    QCOMPARE(list->ColumnMaxWidth(2), 1);
    QCOMPARE(list->ColumnCaption(2), QString());
    list->SetColumnWidth(2, 80);
    QCOMPARE(list->ColumnWidth(2), 1);

    form->resize(1000, 600);
    QCoreApplication::processEvents();
    const int width = list->width();
    form->Run("N34");
    QCOMPARE(list->ColumnWidth(2), width * 10 / 72);
    QCOMPARE(list->ColumnCaption(2), QStringLiteral("电子邮件"));
    QCOMPARE(list->ColumnMaxWidth(2), 0);

    form->Run("N35");
    QCOMPARE(list->ColumnWidth(3), 0);
    QCOMPARE(list->ColumnWidth(4), 0);
    form->Run("N35");
    QCOMPARE(list->ColumnWidth(3), width * 8 / 72);
    QCOMPARE(list->ColumnWidth(4), width * 8 / 72);
    form->Run("N36");
    form->Run("N36");
    QCOMPARE(list->ColumnWidth(5), width * 12 / 72);
    QCOMPARE(list->ColumnWidth(6), width * 7 / 72);
    QCOMPARE(list->ColumnWidth(0), 120);
    QCOMPARE(list->ColumnWidth(1), 150);

    form->Run("N17");
    QVERIFY(!form->findChild<QWidget*>("Panel4")->isVisible());
    form->Run("N16");
    QVERIFY(!form->statusBar()->isVisible());
  }

  void modernWindowListsAndExportsTheLeadColumns() {
    auto form = MakeForm(true);
    form->AddRows({Row("宏达机械", "http://www.hd.cn/", "hd@hd.cn", "0571-87654321", "首页标题")});
    form->UpdateActions();
    QAbstractItemModel* model = form->ListView()->model();
    QCOMPARE(model->columnCount(), 10);
    QCOMPARE(model->headerData(7, Qt::Horizontal).toString(), QStringLiteral("描述"));
    QCOMPARE(model->headerData(8, Qt::Horizontal).toString(), QStringLiteral("号码类型"));
    QCOMPARE(model->data(model->index(0, 8)).toString(), QStringLiteral("固话"));
    QCOMPARE(model->data(model->index(0, 9)).toString(), QStringLiteral("杭州市"));
    form->ListView()->SortByColumn(9);  // a derived column sorts like the others

    // The CSV type picked in the dialog decides the file and its flavour.
    form->savePath = (*dir_ / "leads").string();
    form->saveFilter = 2;
    form->Run("OutInfoAction");
    QCOMPARE(form->saveFilters.back(),
             G("Excel 工作簿|*.xlsx|CSV（Excel）|*.csv|CSV（UTF-8，导入用）|*.csv"));
    const std::string csv = ReadAll(*dir_ / "leads.csv");
    QVERIFY(csv.starts_with("公司名称,网址,电子邮件,电话,传真,地址,邮编,描述,号码类型,所在地\r\n"));
    QVERIFY(csv.find(",首页标题,固话,杭州市\r\n") != std::string::npos);
  }

  void exportWritesTheSheetAndOpensIt() {
    auto form = MakeForm();
    form->AddRows({Row("上海海德机械有限公司", "http://www.acme.com/", "sales@acme.com",
                       "021-62345678", "不导出的说明"),
                   Row("北京<甲乙>&公司", "http://b.cn/", "b@b.cn", "010-88888888")});
    form->Run("N34");  // a hidden column is still exported
    form->savePath = (*dir_ / "out").string();
    form->Run("OutInfoAction");
    QVERIFY2(form->messages.empty(), form->messages.empty() ? "" : form->messages[0].Text.c_str());
    QCOMPARE(form->proposedNames.back(), G("新任务1.xlsx"));
    const QString file = QString::fromStdString((*dir_ / "out.xlsx").string());
    QVERIFY(QFile::exists(file));
    QCOMPARE(form->opened.back(), QUrl::fromLocalFile(file));

    const QString sheet = Unzip(file, QStringLiteral("xl/worksheets/sheet1.xml"));
    QVERIFY(!sheet.isEmpty());
    QStringList cells;
    static const QRegularExpression cellText(QStringLiteral("<t[^>]*>([^<]*)</t>"));
    for (auto it = cellText.globalMatch(sheet); it.hasNext();) cells << it.next().captured(1);
    QCOMPARE(cells, QStringList({"公司名称",
                                 "网址",
                                 "电子邮件",
                                 "电话",
                                 "传真",
                                 "地址",
                                 "邮编",
                                 "上海海德机械有限公司",
                                 "http://www.acme.com/",
                                 "sales@acme.com",
                                 "021-62345678",
                                 "021-1111",
                                 "上海市中山路1号",
                                 "200001",
                                 "北京&lt;甲乙&gt;&amp;公司",
                                 "http://b.cn/",
                                 "b@b.cn",
                                 "010-88888888",
                                 "021-1111",
                                 "上海市中山路1号",
                                 "200001"}));
    QVERIFY(!sheet.contains(QStringLiteral("不导出的说明")));
    for (int c = 1; c <= 7; ++c)
      QVERIFY(sheet.contains(QStringLiteral("<col min=\"%1\" max=\"%1\" width=\"15.").arg(c)));
    QVERIFY(
        Unzip(file, QStringLiteral("xl/styles.xml")).contains(QStringLiteral("wrapText=\"1\"")));
    QVERIFY(Unzip(file, QStringLiteral("docProps/core.xml"))
                .contains(QStringLiteral("导出公司信息数据")));
    QCOMPARE(form->Results().RowCount(), 2u);

    // A name typed with another extension gets ".xlsx"; an existing file of that name is only
    // replaced after the user agrees.
    testsupport::WriteFile(*dir_ / "list.txt.xlsx", "keep");
    form->savePath = (*dir_ / "list.txt").string();
    form->answers = {TMessageResult::No};
    form->Run("OutInfoAction");
    QCOMPARE(form->messages.size(), 1u);
    QCOMPARE(form->messages[0].Buttons, TMessageButtons::YesNoCancel);
    QCOMPARE(ReadAll(*dir_ / "list.txt.xlsx"), std::string("keep"));
    form->answers = {TMessageResult::Yes};
    form->Run("OutInfoAction");
    QVERIFY(ReadAll(*dir_ / "list.txt.xlsx").starts_with("PK"));
    QVERIFY(!QFile::exists(QString::fromStdString((*dir_ / "list.txt").string())));
    form->messages.clear();

    // A file that cannot be written is reported; the window carries on.
    form->savePath = (*dir_ / "no-such-dir" / "out.xlsx").string();
    form->Run("OutInfoAction");
    QCOMPARE(form->messages.size(), 1u);
    QCOMPARE(form->messages[0].Caption, G("错误"));
    QVERIFY(form->Enabled("OutInfoAction"));
  }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
