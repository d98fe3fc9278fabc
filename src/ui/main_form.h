#pragma once
// The main window: owner of the settings, the engine adapters, the program state, the result
// table and run control; carries the commands as actions and shows the run's progress.

#include <QMainWindow>
#include <QUrl>
#include <array>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/global_set.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "net/cookie_store.h"
#include "run/run_view.h"

class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QRadioButton;
class QSplitter;
class QTimer;
class QToolBar;
class QWidget;
class TAppRoot;
class TJoloListView;
class TLogDock;
class TRunControl;
struct TSettingsContext;

// The maker's home page and the feedback address: [LINKS] HomePage and Feedback of the
// shipped "links.ini"; empty when not set (the menu items are then hidden).
struct TLinkAddresses {
  QString HomePage;
  QString Feedback;
};
TLinkAddresses ShippedLinkAddresses();

// Whether the input box text can be the address of a directory site ("www.a.com/list",
// "http://host:81/"): a host with a dot (or localhost), no blanks, http or https only.
bool LooksLikeWebAddress(const QString& text);

class TMainForm : public QMainWindow, public TRunView {
  Q_OBJECT
 public:
  // `start` names the settings file read at start-up and written by the dialogs and on exit
  // (the search mode); a plain path is read and written as it is.
  explicit TMainForm(const TSettingsStart& start, QWidget* parent = nullptr);
  explicit TMainForm(const std::string& settingsPath, QWidget* parent = nullptr);
  ~TMainForm() override;

  // TRunView.
  void SetStatusText(int panel, const std::string& text) override;
  void AppendURLBarLines(const std::vector<std::string>& lines) override;
  void ClearURLBar() override;
  std::size_t URLBarLineCount() const override;
  TMessageResult ShowMessage(const std::string& text, const std::string& caption, TMessageIcon icon,
                             TMessageButtons buttons = TMessageButtons::Ok) override;
  void SetCursor(TRunCursor cursor) override;
  std::string InputText() const override;
  void SetInputText(const std::string& text) override;
  void FocusInput() override;
  bool KeywordModeSelected() const override;
  bool WebsiteModeSelected() const override;
  void SetModeButtons(bool keyword, bool website) override;
  void SetWindowCaption(const std::string& caption) override;
  std::optional<std::string> AskSaveFileName(const std::string& title, const std::string& filter,
                                             const std::string& proposedName) override;
  std::optional<std::string> AskOpenFileName(const std::string& title,
                                             const std::string& filter) override;
  void EnableTimer(TRunTimer timer, bool enabled) override;
  void SourcesBlocked(const std::vector<TBlockedSourceNotice>& blocked) override;

  // Blocked sources: the end of a run offers their verification pages (true: open the first);
  // the built-in browser opens one, and its cookies unblock the source.
  virtual bool OfferVerification(const QString& text);
  void OpenVerification(const std::string& name);
  void VerificationPassed(const std::string& name, std::vector<TCookie> cookies);
  static bool HasBrowser();

  // Runs a modal dialog; the result of QDialog::exec().
  virtual int RunDialog(QDialog& dialog);
  // Opens a document or address with the system's default handler.
  virtual bool OpenDocument(const QUrl& url);

  // Applies every action's enabling rule (called whenever the event loop goes idle).
  void UpdateActions();

  // Command handlers.
  void NewSessionActionExecute();
  void OpenSessionActionExecute();
  void SaveSessionActionExecute();
  void SaveAsActionExecute();
  void OutInfoActionExecute();
  void StartActionExecute();
  void ContinueActionExecute();
  void StopActionExecute();
  void EditActionExecute();
  void DelActionExecute();
  void ShowActionExecute();
  void CopyActionExecute();
  // 编辑 › 撤销: puts back the rows of the last deletion or the last edit.
  void UndoActionExecute();
  bool CanUndo() const { return undo_.has_value(); }
  void HelpSetActionExecute();
  void HelpSearchContentActionExecute();
  void HelpSearchPointWebActionExecute();
  void BeginCheckTimerTimer();
  void StopWaitTimerTimer();
  void MainListViewContextPopup(const QPoint& pos);
  void N15Click();  // toolbar
  void N16Click();  // status bar
  void N17Click();  // input band
  void N18Click();  // URL bar
  void N34Click();  // e-mail column
  void N35Click();  // telephone and fax columns
  void N36Click();  // address and postcode columns
  void N27Click();  // options
  void N1Click();   // help
  void N20Click();  // home page
  void N21Click();  // feedback
  void N25Click();  // about

  // 文件 › 团队任务…: joins or creates a task shared through a PostgreSQL database; runs then
  // work as a node of the team and the list shows every record of the task, from any node.
  void TeamActionExecute();
  // 文件 › 退出团队任务: back to this machine's own task.
  void LeaveTeamActionExecute();
  // Joins the task `taskName` (UTF-8) in `connection`, with this window's keyword or address
  // when it has one; false after telling the user why not.
  bool JoinTeam(const std::string& connection, const std::string& taskName);
  bool InTeam() const { return team_ != nullptr; }

  TProgramState& State() { return state_; }
  TResultTable& Results() { return results_; }
  TGlobalSet& GlobalSet() { return globalSet_; }
  TSettingsStore& Store() { return store_; }
  TRunControl& RunControl() { return *runControl_; }
  TAppRoot& Root() { return *root_; }
  TJoloListView* ListView() const { return MainListView; }
  const std::string& SettingsPath() const { return settingsPath_; }
  // Opens a task file as the Open command does after its dialog; true when it was read.
  bool OpenTaskFile(const std::string& path);
  // Recent task files, newest first.
  const QStringList& RecentFiles() const { return recent_; }
  // The window title the task calls for: "name - title", "name* - title" when modified.
  QString TaskTitle() const;
  // Help file opened by the help command: "help.htm" beside the executable.
  static QString HelpFilePath();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateClientArea();
  void CreateStatusBar();
  QAction* CreateVerifyAction();
  void UpdateVerifyAction();
  // Status panel 4, with the blocked sources as links to their verification pages.
  void ShowSourceStatus(const std::string& text);
  TSettingsContext SettingsContext();
  bool ModernWindow() const { return globalSet_.FlagModernWindow; }
  // Before Start, New task or Open give up the current task: asks whether to save it when it
  // holds unsaved records or addresses; false when the user cancels.
  bool AskSaveBeforeDiscard();
  // The title with a marker while the task has unsaved changes.
  void RefreshCaption();
  // Runs a command; an error that escapes it is shown and the window stays usable.
  template <typename F>
  void Guarded(F&& command);
  // Guarded, and skipped while another tick's command (or its error box) is still running.
  template <typename F>
  void GuardedTick(F&& command);
  // Task files: the recent list in the file menu and the folders the dialogs start in.
  void RememberTaskFile(const std::string& path);
  void RebuildRecentMenu();
  void OpenRecentFile(const QString& path);
  QString StartFolder(const std::string& filter) const;
  void RememberFolder(const std::string& filter, const std::string& path);
  // Run feedback beside the status panels.
  void UpdateRunProgress();
  void UpdateFilterCount();
  // Directory search with an input that is no address: said so, nothing is fetched.
  bool RefuseDirectoryInput();
  // Opens a link; a failure is told with the address (or silently, as designed, when off).
  void OpenLink(const QUrl& url, const QString& what);
  // Numbers the settings file held outside their ranges, as warnings in the log.
  void LogCorrectedSettings();
  // The list's columns with their captions and first widths.
  void SetUpListColumns();
  // Column widths and the URL bar's width: restored at start, shared out on resize, kept.
  void RestoreListLayout();
  void SaveListLayout();
  void ShareWidth(int listWidth);
  void RecordEdit(int row, const TResultRow& before, const TResultRow& after);
  // A column and its shown width in 72nds of the list's width.
  struct TColumnShare {
    int Column;
    int Share;
  };
  // Shows the columns at their share of the list's width, or hides them.
  void SetColumnsShown(bool shown, std::initializer_list<TColumnShare> columns);
  // The description, number kind and place columns follow FlagModernWindow.
  void ShowLeadColumns(bool shown);

  // Team mode: the shared store, its poll of the team's counts and records, the status label.
  struct TTeamMode;
  struct TTeamModeDeleter {
    void operator()(TTeamMode* team) const;
  };
  void CreateTeamActions();
  void UpdateTeamActions();
  void TeamTick();
  // A run started in team mode: the list follows the task from its first record again.
  void TeamRunStarted();
  // Start in team mode with another keyword or mode than the task's: said so, true.
  bool RefuseOtherTeamInput();
  // Declared before the root, so runs that use the store are gone before it is.
  std::unique_ptr<TTeamMode, TTeamModeDeleter> team_;

  // The shared objects, and short names for those the window uses.
  std::unique_ptr<TAppRoot> root_;
  const std::string& settingsPath_;
  TGlobalSet& globalSet_;
  TSettingsStore& store_;
  TProgramState& state_;
  TResultTable& results_;
  TRunControl* runControl_;
  bool hourglass_ = false;
  bool inTick_ = false;
  QString caption_;
  bool captionModified_ = false;
  bool leadColumns_ = false;
  bool leadColumnsFollow_ = false;
  TLinkAddresses links_;
  QStringList recent_;
  bool listLayoutSaved_ = false;
  // The last deletion or edit: rows as they were (ascending index) and, for edits, as written.
  struct TUndoStep {
    bool Deletion = false;
    std::vector<std::pair<std::size_t, TResultRow>> Before;
    std::vector<TResultRow> After;
  };
  std::optional<TUndoStep> undo_;
  bool editSession_ = false;  // the undo step belongs to the editor now open

 protected:
  // The file type picked in the last save dialog (0: the first of its filter), -1 unknown.
  int saveFilterIndex_ = -1;

 private:
  QToolBar* ToolBar1 = nullptr;
  QWidget* Panel4 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* FilterEdit = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* Panel3 = nullptr;
  QListWidget* ListBox1 = nullptr;
  TJoloListView* MainListView = nullptr;
  std::array<QLabel*, 5> statusPanels_{};
  QTimer* BeginCheckTimer = nullptr;
  QTimer* StopWaitTimer = nullptr;
  QMenu* ListPopupMenu = nullptr;
  QMenu* FileMenu = nullptr;
  QMenu* EditMenu = nullptr;
  QAction* RecentSeparator = nullptr;
  std::vector<QAction*> RecentActions;
  QProgressBar* RunProgress = nullptr;
  QLabel* FilterCount = nullptr;
  TLogDock* LogDock = nullptr;

  QAction* NewSessionAction = nullptr;
  QAction* OpenSessionAction = nullptr;
  QAction* SaveSessionAction = nullptr;
  QAction* SaveAsAction = nullptr;
  QAction* OutInfoAction = nullptr;
  QAction* StartAction = nullptr;
  QAction* ContinueAction = nullptr;
  QAction* StopAction = nullptr;
  QAction* VerifyAction = nullptr;
  QAction* EditAction = nullptr;
  QAction* DelAction = nullptr;
  QAction* ShowAction = nullptr;
  QAction* CopyAction = nullptr;
  QAction* UndoAction = nullptr;
  QAction* HelpSetAction = nullptr;
  QAction* HelpSearchContentAction = nullptr;
  QAction* HelpSearchPointWebAction = nullptr;
  QAction* X1 = nullptr;
  QAction* N15 = nullptr;
  QAction* N16 = nullptr;
  QAction* N17 = nullptr;
  QAction* N18 = nullptr;
  QAction* N34 = nullptr;
  QAction* N35 = nullptr;
  QAction* N36 = nullptr;
  QAction* N27 = nullptr;
  QAction* N1 = nullptr;
  QAction* N20 = nullptr;
  QAction* N21 = nullptr;
  QAction* N25 = nullptr;
  QAction* TeamAction = nullptr;
  QAction* LeaveTeamAction = nullptr;
  QLabel* TeamStatus = nullptr;
  // Toolbar buttons with captions of their own that follow an action's enabled state.
  QAction* NewButton = nullptr;
  QAction* OpenButton = nullptr;
  QAction* SaveButton = nullptr;
  QAction* ExportButton = nullptr;
  QAction* OptionButton = nullptr;
  QAction* HelpButton = nullptr;
};
