#pragma once
// Pieces shared by the dialogs: the number field, list fields, trimming, the factory values
// and the default error display.

#include <QLineEdit>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/gbk.h"
#include "core/global_set.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"  // IWYU pragma: export

class QFormLayout;
class QLabel;
class QWidget;

// A number field with up and down arrows. Any text may be typed; a text that is not a whole
// number within the range never becomes the value, so the last valid value stands.
class TSpinField : public QSpinBox {
 public:
  TSpinField(int minimum, int maximum, int step, const QString& name, QWidget* parent = nullptr);

  // Shows the number, moved to the nearest end of the range when outside it.
  void SetNumber(int value);
  // Commits the field: a typed text that is a whole number in range becomes the value;
  // any other text gives way to the last valid value. Returns the value.
  int TakeNumber();
  // Whether TakeNumber would take the typed text (a whole number within the range).
  bool TypedTextValid() const;
  // The allowed range as the user reads it: "1～30".
  QString RangeText() const;
  // The last text that gave way to the previous value when editing ended; empty when none.
  // Cleared by SetNumber and ForgetRejected, which also shows the value that stands.
  const QString& RejectedText() const { return rejected_; }
  void ForgetRejected();
  // A text out of range stays as typed when the field loses the focus or Enter is pressed,
  // so its error stays in sight until it is put right.
  void SetKeepInvalidText(bool keep) { keepInvalid_ = keep; }
  // The text part, which tells of every keystroke (the spin box itself only of values).
  QLineEdit* TextEdit() const { return lineEdit(); }

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Called before the field puts its previous value back over a bad text.
  void NoteRejected();
  QString rejected_;
  bool keepInvalid_ = false;
};

// The general numbers: search threads, crawl depth and page read timeout, as rows of a form.
struct TNumberFields {
  TSpinField* ThreadCount = nullptr;
  TSpinField* CrawlLevel = nullptr;
  TSpinField* TimeOut = nullptr;

  void Fill(const TGlobalSet& set);
  // Commits the three fields into the record.
  void TakeBack(TGlobalSet& set);
  // For each field whose typed text is or was not taken: the text, the label and the range.
  QStringList RangeProblems() const;
  void ForgetRejected();
  // Whether every field holds a whole number within its range as typed.
  bool AllValid() const;
  // Shows a field's range error under it as it is typed, and tells `changed` whether all
  // three are valid after each change.
  void WatchRange(std::function<void(bool allValid)> changed);

  std::array<QLabel*, 3> Errors{};
};
// Adds the three fields, named `names` in that order, to `form`.
TNumberFields AddNumberFields(QFormLayout* form, QWidget* parent,
                              const std::array<const char*, 3>& names);

// Text with leading and trailing blanks and control characters removed, as GBK.
std::string TrimmedGbk(const QString& text);
// What a list field shows, and the list a field's text gives back.
QString ListFieldText(const TLikeList& list);
TLikeList ListFromField(const QString& text);

// Default error display: a modal error message box over `dialog`.
void ShowErrorBox(QWidget* dialog, const QString& text);
// Default question: a modal box with 是 and 否 over `dialog`; true for 是.
bool AskYesNo(QWidget* dialog, const QString& text);
// "The lists … are empty, save anyway?" for the names EmptyListNames gives.
QString EmptyListsQuestion(const QString& names);
// The captions (without the colon) of the list fields that are empty, for a confirmation.
QString EmptyListNames(const std::vector<std::pair<QString, QString>>& captionsAndTexts);
// The text of a failed save, as the user sees it.
QString SaveErrorText(const std::exception& error);
// Publishes the record to the workers, then writes it with `save`; a failed write is shown
// through `report` over `dialog`. False when the write failed.
bool PublishAndSave(const TSettingsContext& context,
                    void (*save)(const TGlobalSet&, const std::string&), QWidget* dialog,
                    const TDialogErrorReporter& report);

class QDialog;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

// The page frame the wizards share: a stack of pages under their headings, and the buttons
// "上一步(&B)", "下一步(&N)", "完成" (on the last page, in the place of "下一步(&N)") and
// "取消". The caption is the stem followed by "(n of N)", or by "(第n步，共N步)" with ChineseSteps.
class TWizardPager {
 public:
  TWizardPager(QDialog* dialog, const QString& captionStem, int pageCount);

  // Adds the next page under its heading; returns the layout for its controls.
  QVBoxLayout* AddPage(const QString& heading);
  // Shows page n (from 1): buttons, caption, then the wizard's own hook (focus, enabling).
  void ShowPage(int page);
  int Page() const { return page_; }

  QPushButton* Back = nullptr;
  QPushButton* Next = nullptr;
  QPushButton* Finish = nullptr;
  QPushButton* Cancel = nullptr;
  std::function<void(int page)> OnShow;
  bool ChineseSteps = false;

 private:
  QDialog* dialog_;
  QString captionStem_;
  int pageCount_;
  int page_ = 1;
  QStackedWidget* stack_ = nullptr;
};
