#pragma once
// The modal dialogs the main window opens. Each is created when opened, run with exec() and
// destroyed afterwards.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "core/result_table.h"

class TGlobalSet;
class TSettingsStore;
class TProgramState;
class TRunView;
class QString;

// Shows the text of a failed save over the dialog. The default is a modal error message box;
// tests put in their own so that nothing waits for a click.
using TDialogErrorReporter = std::function<void(QWidget* dialog, const QString& text)>;
// Asks the user a yes/no question over the dialog; true for yes. Tests answer it themselves.
using TDialogQuestion = std::function<bool(QWidget* dialog, const QString& text)>;

// What the settings dialogs change: the GUI's settings record, the snapshot the workers read
// (published again after a confirmed change) and the settings file written on confirmation.
struct TSettingsContext {
  TGlobalSet& Settings;
  TSettingsStore& Store;
  std::string SettingsPath;
};

// "新建任务": on OK stores the trimmed name in state.TaskName. With proposeNextName the name
// offered follows the current one ("新任务1" -> "新任务2") instead of repeating it.
class TNewSessionForm : public QDialog {
  Q_OBJECT
 public:
  TNewSessionForm(TProgramState& state, QWidget* parent = nullptr, bool proposeNextName = false);
  ~TNewSessionForm() override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// "编辑": shows row `row` of the result table; selectRow selects a row in the main list. With
// applyOnStep the step buttons apply typed changes first instead of dropping them.
class TEditForm : public QDialog {
  Q_OBJECT
 public:
  TEditForm(TResultTable& table, int row, std::function<void(int)> selectRow,
            QWidget* parent = nullptr, bool applyOnStep = false);
  ~TEditForm() override;

  // Index of the row shown.
  int RowIndex() const;
  // Whether any row was written back.
  bool WroteBack() const;
  // Told of every write-back with the row as it was and as written (for undo).
  void SetBeforeWriteBack(std::function<void(int, const TResultRow&, const TResultRow&)> hook);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// "选项".
class TOptionForm : public QDialog {
  Q_OBJECT
 public:
  explicit TOptionForm(TSettingsContext context, QWidget* parent = nullptr);
  ~TOptionForm() override;

  void SetErrorReporter(TDialogErrorReporter reporter);
  void SetQuestionAsker(TDialogQuestion ask);

 private:
  // Takes the controls back into the record, publishes and saves; false when the save failed.
  bool Apply();

  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// "软件设置向导(1 of 3)".
class TSettingWizardForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSettingWizardForm(TSettingsContext context, QWidget* parent = nullptr);
  ~TSettingWizardForm() override;

  void SetErrorReporter(TDialogErrorReporter reporter);
  void SetQuestionAsker(TDialogQuestion ask);
  // Current page, from 1.
  int PageNumber() const;

 private:
  // Takes the wizard back, publishes and saves; false when the save failed.
  bool Finish();
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// "关键词搜索向导": reads and fills the main window's input box and mode buttons via the view.
class TSearchContentWizardForm : public QDialog {
  Q_OBJECT
 public:
  TSearchContentWizardForm(TSettingsContext context, TRunView& mainWindow,
                           QWidget* parent = nullptr);
  ~TSearchContentWizardForm() override;

  void SetErrorReporter(TDialogErrorReporter reporter);
  void SetQuestionAsker(TDialogQuestion ask);
  // Current page, from 1.
  int PageNumber() const;

 private:
  // Takes the wizard back, publishes and saves; false when the save failed.
  bool Finish();
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// "指定网站搜索向导".
class TSearchPointWebWizardForm : public QDialog {
  Q_OBJECT
 public:
  TSearchPointWebWizardForm(TSettingsContext context, TRunView& mainWindow,
                            QWidget* parent = nullptr);
  ~TSearchPointWebWizardForm() override;

  void SetErrorReporter(TDialogErrorReporter reporter);
  // Current page, from 1.
  int PageNumber() const;

 private:
  // Takes the wizard back, publishes and saves; false when the save failed.
  bool Finish();
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// Program name and version.
class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};
