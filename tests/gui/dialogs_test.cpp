// The new-task dialog, the record editor, the options dialog and the about box.

#include "ui/dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>

#include "core/global_set.h"
#include "core/ini_file.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "dialog_test_support.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;

namespace {

TResultRow MakeRow(const std::string& tag) {
  TResultRow row;
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = tag + "-" + std::to_string(i);
  return row;
}

// A settings record, its published copy and a settings file in a fresh directory.
struct TSettingsFixture {
  testsupport::TempDir Dir;
  TGlobalSet Settings;
  TSettingsStore Store;
  std::filesystem::path Path = Dir / "Gleaner.ini";
  std::vector<QString> Errors;
  std::vector<QString> Questions;
  bool Answer = true;

  TSettingsContext Context() { return {Settings, Store, Path.string()}; }
  TDialogQuestion Asker() {
    return [this](QWidget*, const QString& text) {
      Questions.push_back(text);
      return Answer;
    };
  }
  TDialogErrorReporter Reporter() {
    return [this](QWidget*, const QString& text) { Errors.push_back(text); };
  }
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void newSessionEnablesOkOnlyForNonBlankName();
  void newSessionStoresTrimmedName();
  void editorStepEnablingAndDroppedEdits();
  void editorOkWritesAllEightFields();
  void editorSingleRowAndCancel();
  void editorStepsKeepTypedTextAndNewTaskProposesTheNextName();
  void editorKeepsUntouchedFieldsByteForByte();
  void optionsFillAndConfirmAtOnce();
  void optionsDefaultThenCancelChangesNothing();
  void optionsDefaultThenOkWritesFactoryValues();
  void optionsTakesListsAndNumbersBack();
  void optionsFailedSaveKeepsDialogOpenOnApply();
  void optionsNamesTheRangeOfANumberItCannotTake();
  void aboutBoxShowsNameAndVersion();
};

void DialogsTest::newSessionEnablesOkOnlyForNonBlankName() {
  TProgramState state;
  TNewSessionForm form(state);
  auto* edit = Child<QLineEdit>(&form, "Edit1");
  QPushButton* ok = Button(&form, "OkButton");
  QCOMPARE(form.windowTitle(), QStringLiteral("新建任务"));
  QCOMPARE(edit->text(), QStringLiteral("新任务1"));
  QVERIFY(ok->isEnabled());
  edit->clear();
  QVERIFY(!ok->isEnabled());
  edit->setText(QStringLiteral(" \t  "));
  QVERIFY(!ok->isEnabled());
  QTest::keyClicks(edit, QStringLiteral("a"));
  QVERIFY(ok->isEnabled());
}

void DialogsTest::newSessionStoresTrimmedName() {
  TProgramState state;
  state.TaskName = "old";
  {
    TNewSessionForm form(state);
    Child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("  展会名录 \t"));
    Button(&form, "CancelButton")->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(state.TaskName, std::string("old"));
  }
  TNewSessionForm form(state);
  Child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("  展会名录 \t"));
  Button(&form, "OkButton")->click();
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(state.TaskName, G("展会名录"));
}

void DialogsTest::editorStepEnablingAndDroppedEdits() {
  TResultTable table;
  table.AppendRows({MakeRow("a"), MakeRow("b"), MakeRow("c")});
  std::vector<int> selected;
  TEditForm form(table, 0, [&](int row) { selected.push_back(row); });
  auto* up = Child<QAction>(&form, "UpAction");
  auto* down = Child<QAction>(&form, "DownAction");
  QPushButton* apply = Button(&form, "ApplyButton");
  QCOMPARE(form.windowTitle(), QStringLiteral("编辑"));
  QCOMPARE(selected, std::vector<int>{0});
  QCOMPARE(Child<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("a-0"));
  QCOMPARE(Child<QPlainTextEdit>(&form, "Memo1")->toPlainText(), QStringLiteral("a-7"));
  QVERIFY(!up->isEnabled());
  QVERIFY(down->isEnabled());
  QVERIFY(!apply->isEnabled());

  // An edit not applied is dropped by stepping.
  Child<QLineEdit>(&form, "Edit2")->setText(QStringLiteral("dropped"));
  QVERIFY(apply->isEnabled());
  down->trigger();
  QCOMPARE(form.RowIndex(), 1);
  QCOMPARE(selected, (std::vector<int>{0, 1}));
  QVERIFY(!apply->isEnabled());
  QCOMPARE(table.Cell(0, kColWebAddress), std::string("a-1"));
  QCOMPARE(Child<QLineEdit>(&form, "Edit2")->text(), QStringLiteral("b-1"));
  QVERIFY(up->isEnabled());
  QVERIFY(down->isEnabled());

  // The description alone enables applying; an applied edit survives stepping.
  Child<QPlainTextEdit>(&form, "Memo1")->setPlainText(QStringLiteral("新介绍"));
  QVERIFY(apply->isEnabled());
  apply->click();
  QVERIFY(!apply->isEnabled());
  down->trigger();
  QCOMPARE(form.RowIndex(), 2);
  QVERIFY(!down->isEnabled());
  QVERIFY(up->isEnabled());
  down->trigger();  // nothing beyond the last row
  QCOMPARE(form.RowIndex(), 2);
  QCOMPARE(table.Cell(1, kColDescription), G("新介绍"));
  QCOMPARE(table.Cell(1, kColCompanyName), std::string("b-0"));
}

void DialogsTest::editorOkWritesAllEightFields() {
  TResultTable table;
  table.AppendRows({MakeRow("a"), MakeRow("b")});
  TEditForm form(table, 1, {});
  QVERIFY(!Child<QAction>(&form, "DownAction")->isEnabled());
  for (int i = 1; i <= 7; ++i) {
    Child<QLineEdit>(&form, QStringLiteral("Edit%1").arg(i).toLatin1().constData())
        ->setText(QStringLiteral(" 值%1 ").arg(i));
  }
  Child<QPlainTextEdit>(&form, "Memo1")->setPlainText(QStringLiteral("第一行\n第二行"));
  Button(&form, "OkButton")->click();
  QCOMPARE(form.result(), int(QDialog::Accepted));
  const TResultRow& row = table.Row(1);
  for (std::size_t i = 0; i < 7; ++i) QCOMPARE(row[i], G(" 值" + std::to_string(i + 1) + " "));
  QCOMPARE(row[kColDescription], G("第一行\n第二行"));
  QCOMPARE(table.Row(0), MakeRow("a"));
}

void DialogsTest::editorStepsKeepTypedTextAndNewTaskProposesTheNextName() {
  TResultTable table;
  table.AppendRows({MakeRow("a"), MakeRow("b")});
  {
    TEditForm form(table, 0, {}, nullptr, true);
    QVERIFY(!form.WroteBack());
    Child<QAction>(&form, "DownAction")->trigger();  // nothing typed: nothing written
    QVERIFY(!form.WroteBack());
    Child<QLineEdit>(&form, "Edit2")->setText(QStringLiteral("typed"));
    Child<QPlainTextEdit>(&form, "Memo1")->setPlainText(QStringLiteral("新介绍"));
    Child<QAction>(&form, "UpAction")->trigger();
    QVERIFY(form.WroteBack());
    QCOMPARE(table.Cell(1, kColWebAddress), std::string("typed"));
    QCOMPARE(table.Cell(1, kColDescription), G("新介绍"));
    QCOMPARE(table.Row(0), MakeRow("a"));
    Button(&form, "CancelButton")->click();
  }
  QCOMPARE(table.Cell(1, kColWebAddress), std::string("typed"));

  TProgramState state;
  TNewSessionForm first(state, nullptr, true);
  QCOMPARE(Child<QLineEdit>(&first, "Edit1")->text(), QStringLiteral("新任务2"));
  state.TaskName = G("展会客户");
  TNewSessionForm other(state, nullptr, true);
  QCOMPARE(Child<QLineEdit>(&other, "Edit1")->text(), QStringLiteral("新任务1"));
}

void DialogsTest::editorSingleRowAndCancel() {
  TResultTable table;
  table.AppendRow(MakeRow("only"));
  TEditForm form(table, 0, {});
  QVERIFY(!Child<QAction>(&form, "UpAction")->isEnabled());
  QVERIFY(!Child<QAction>(&form, "DownAction")->isEnabled());
  Child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("changed"));
  Button(&form, "CancelButton")->click();
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(table.Row(0), MakeRow("only"));
}

// A description with CR LF line breaks and a cell holding a byte that is no GBK character
// survive confirming the editor when only another field was edited.
void DialogsTest::editorKeepsUntouchedFieldsByteForByte() {
  TResultTable table;
  TResultRow row = MakeRow("a");
  row[kColDescription] = G("第一行\r\n第二行");
  row[kColAddress] = G("地址") + "\xB0";
  table.AppendRow(row);
  TEditForm form(table, 0, {});
  Child<QLineEdit>(&form, "Edit4")->setText(QStringLiteral("021-1"));
  Button(&form, "ApplyButton")->click();
  row[kColTelephone] = "021-1";
  QCOMPARE(table.Row(0), row);
  // A field edited and put back as it was shown is not an edit either.
  auto* memo = Child<QPlainTextEdit>(&form, "Memo1");
  const QString shown = memo->toPlainText();
  memo->setPlainText(QStringLiteral("x"));
  memo->setPlainText(shown);
  Button(&form, "OkButton")->click();
  QCOMPARE(table.Row(0), row);
}

void DialogsTest::optionsFillAndConfirmAtOnce() {
  TSettingsFixture f;
  testsupport::WriteFile(f.Path, "[MAINLIKE]\r\nfaxnoLike=" + G("传真;fax") +
                                     "\r\n[SETTING]\r\nMaxFindWebThreadCount=99\r\n"
                                     "MaxCrawlLevel=-3\r\nMaxReadHTMLTimeOut=12345\r\n"
                                     "[FLAGUSESEARCH]\r\nFlagUseYahoo=0\r\n[OTHER]\r\nkeep=1\r\n");
  LoadSettings(f.Settings, f.Path.string());
  TOptionForm form(f.Context());
  form.SetQuestionAsker(f.Asker());
  QCOMPARE(form.windowTitle(), QStringLiteral("选项"));
  QCOMPARE(Child<QSpinBox>(&form, "Edit1")->value(), 30);
  QCOMPARE(Child<QSpinBox>(&form, "Edit2")->value(), 0);
  QCOMPARE(Child<QSpinBox>(&form, "Edit3")->value(), 12345);
  QVERIFY(!Child<QCheckBox>(&form, "CheckBox6")->isChecked());
  QVERIFY(Child<QCheckBox>(&form, "CheckBox4")->isChecked());
  QCOMPARE(Child<QLineEdit>(&form, "Edit7")->text(), QStringLiteral("传真;fax;"));

  // The crawl and network page shows the defaults of a file without those keys.
  QCOMPARE(Child<QSpinBox>(&form, "SitePageBudget")->value(), 30);
  Child<QSpinBox>(&form, "SitePageBudget")->setValue(7);
  Child<QComboBox>(&form, "UserAgent")->setCurrentText(QString());
  // Rendering: off for a file without the key; usable only where the browser is built.
  auto* render = Child<QComboBox>(&form, "RenderScripts");
  QCOMPARE(render->currentIndex(), 0);
#ifdef VELTRA_HAVE_BROWSER
  QVERIFY(render->isEnabled());
#else
  QVERIFY(!render->isEnabled());
#endif
  render->setCurrentIndex(2);
  Child<QSpinBox>(&form, "RenderDeadline")->setValue(9);
  // Recognition beyond the labels: on for a file without the key, turned off here.
  QVERIFY(Child<QCheckBox>(&form, "ModernRecognitionBox")->isChecked());
  Child<QCheckBox>(&form, "ModernRecognitionBox")->setChecked(false);

  // Enter acts as the OK button.
  form.show();
  QTest::keyClick(&form, Qt::Key_Return);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QVERIFY(!form.isVisible());
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 30);
  QCOMPARE(f.Settings.MaxCrawlLevel, 0);
  QCOMPARE(Ini(f.Path, "SETTING", "MaxFindWebThreadCount"), std::string("30"));
  QCOMPARE(Ini(f.Path, "MAINLIKE", "faxnoLike"), G("传真;fax;"));
  QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", "FlagUseYahoo"), std::string("0"));
  QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", "FLAGUSEBaidu"), std::string("1"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "NextPageLike"), std::string(""));
  QCOMPARE(Ini(f.Path, "OTHER", "keep"), std::string("1"));
  QCOMPARE(f.Store.Snapshot()->MaxFindWebThreadCount, 30);
  QCOMPARE(Ini(f.Path, "CRAWL", "SitePageBudget"), std::string("7"));
  QCOMPARE(Ini(f.Path, "CRAWL", "RenderScripts"), std::string("2"));
  QCOMPARE(Ini(f.Path, "CRAWL", "RenderDeadline"), std::string("9"));
  QCOMPARE(Ini(f.Path, "NETWORK", "UserAgent"), std::string(""));
  QCOMPARE(Ini(f.Path, "NETWORK", "ProxyMode"), std::string("1"));
  QCOMPARE(Ini(f.Path, "FINDFLAGS", "FlagModernRecognition"), std::string("0"));
  QVERIFY(!f.Store.Snapshot()->FlagModernRecognition);
}

void DialogsTest::optionsDefaultThenCancelChangesNothing() {
  TSettingsFixture f;
  testsupport::WriteFile(f.Path, "[SETTING]\r\nMaxFindWebThreadCount=5\r\n");
  LoadSettings(f.Settings, f.Path.string());
  const std::string before = testsupport::ReadFile(f.Path);
  TOptionForm form(f.Context());
  form.SetQuestionAsker(f.Asker());
  Button(&form, "DefaultButton")->click();
  QCOMPARE(Child<QSpinBox>(&form, "Edit1")->value(), 20);
  QCOMPARE(Child<QLineEdit>(&form, "Edit6")->text(), QStringLiteral("电话;语音热线;tel;"));
  QCOMPARE(Child<QLineEdit>(&form, "Edit15")->text(), QStringLiteral("页;"));
  Button(&form, "CancelButton")->click();
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 5);
  QVERIFY(f.Settings.telephoneLike.empty());
  QCOMPARE(testsupport::ReadFile(f.Path), before);
  QCOMPARE(f.Store.Snapshot()->MaxFindWebThreadCount, 0);  // never published
}

void DialogsTest::optionsDefaultThenOkWritesFactoryValues() {
  TSettingsFixture f;
  LoadSettings(f.Settings, f.Path.string());  // no file: 10 threads, empty lists
  f.Settings.FlagUseSohu = false;
  f.Settings.FlagFindMailAddress = false;
  f.Settings.InfoLinkLike = {"detail"};
  f.Settings.NextPageLinkLike = {"page"};
  TOptionForm form(f.Context());
  form.SetQuestionAsker(f.Asker());
  Button(&form, "DefaultButton")->click();
  Button(&form, "OkButton")->click();

  TGlobalSet factory = testsupport::FactorySettings();
  TGlobalSet loaded;
  LoadSettings(loaded, f.Path.string());
  QCOMPARE(Ini(f.Path, "SETTING", "MaxFindWebThreadCount"), std::string("20"));
  QCOMPARE(SettingsLines(loaded).size(), SettingsLines(factory).size());
  const auto want = SettingsLines(factory);
  const auto got = SettingsLines(loaded);
  for (std::size_t i = 0; i < want.size(); ++i) {
    QCOMPARE(got[i].Key, want[i].Key);
    QCOMPARE(got[i].Value, want[i].Value);
  }
  // What the workers read is the new record as a whole.
  const auto published = SettingsLines(*f.Store.Snapshot());
  for (std::size_t i = 0; i < want.size(); ++i) QCOMPARE(published[i].Value, want[i].Value);
}

void DialogsTest::optionsTakesListsAndNumbersBack() {
  TSettingsFixture f;
  f.Settings = testsupport::FactorySettings();
  f.Settings.FlagModernWindow = false;  // bad numbers give way silently, as first designed
  TOptionForm form(f.Context());
  form.SetQuestionAsker(f.Asker());
  form.show();
  Child<QLineEdit>(&form, "Edit6")->setText(QStringLiteral(" \t电话;tel;  "));
  Child<QLineEdit>(&form, "Edit7")->setText(QStringLiteral("传真; fax;"));
  Child<QLineEdit>(&form, "Edit13")->setText(QStringLiteral("   "));
  auto* threads = Child<QSpinBox>(&form, "Edit1");
  auto* level = Child<QSpinBox>(&form, "Edit2");
  auto* timeout = Child<QSpinBox>(&form, "Edit3");
  threads->setFocus();
  threads->selectAll();
  QTest::keyClicks(threads, QStringLiteral("45"));
  SpinText(level)->setText(QStringLiteral("2.5"));
  SpinText(timeout)->setText(QStringLiteral("25000"));
  Button(&form, "ApplyButton")->click();
  QVERIFY(form.isVisible());
  QCOMPARE(f.Settings.telephoneLike, (TLikeList{G("电话"), "tel"}));
  QCOMPARE(f.Settings.faxnoLike, (TLikeList{G("传真"), " fax"}));
  QVERIFY(f.Settings.InfoLinkLike.empty());
  // 45 never was a valid value: the factory 20 stands, and the field shows it again.
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 20);
  QCOMPARE(threads->text(), QStringLiteral("20"));
  QCOMPARE(f.Settings.MaxCrawlLevel, 2);
  QCOMPARE(f.Settings.MaxReadHTMLTimeOut, 25000);

  // Texts that are not whole numbers in range leave the last valid value.
  threads->setValue(7);
  SpinText(threads)->setText(QStringLiteral("45"));
  SpinText(level)->setText(QStringLiteral("abc"));
  SpinText(timeout)->setText(QStringLiteral("9000"));
  Button(&form, "ApplyButton")->click();
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 7);
  QCOMPARE(f.Settings.MaxCrawlLevel, 2);
  QCOMPARE(f.Settings.MaxReadHTMLTimeOut, 25000);
  QCOMPARE(Ini(f.Path, "SETTING", "MaxFindWebThreadCount"), std::string("7"));
  QCOMPARE(f.Store.Snapshot()->telephoneLike, (TLikeList{G("电话"), "tel"}));

  // Lead merging and the phone region are saved with the rest.
  Child<QCheckBox>(&form, "MergeLeads")->setChecked(false);
  Child<QLineEdit>(&form, "PhoneRegion")->setText(QStringLiteral("hk"));
  Button(&form, "ApplyButton")->click();
  QVERIFY(!f.Settings.MergeLeads);
  QCOMPARE(f.Settings.PhoneRegion, std::string("HK"));
  QCOMPARE(Ini(f.Path, "LEADS", "MergeLeads"), std::string("0"));
  QCOMPARE(Ini(f.Path, "LEADS", "PhoneRegion"), std::string("HK"));
}

void DialogsTest::optionsFailedSaveKeepsDialogOpenOnApply() {
  TSettingsFixture f;
  f.Settings = testsupport::FactorySettings();
  const std::filesystem::path bad = f.Dir / "missing" / "Gleaner.ini";
  TOptionForm form({f.Settings, f.Store, bad.string()});
  form.SetQuestionAsker(f.Asker());
  form.SetErrorReporter(f.Reporter());
  form.show();
  Child<QSpinBox>(&form, "Edit1")->setValue(3);
  Button(&form, "ApplyButton")->click();
  QVERIFY(form.isVisible());
  QCOMPARE(f.Errors.size(), std::size_t(1));
  QVERIFY(f.Errors[0].startsWith(QStringLiteral("Unable to write to ")));
  QVERIFY(f.Errors[0].contains(QStringLiteral("Gleaner.ini")));
  // The record and the published copy keep the values taken back.
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 3);
  QCOMPARE(f.Store.Snapshot()->MaxFindWebThreadCount, 3);
  QVERIFY(!std::filesystem::exists(bad));
  // OK reports the same way and then closes: the record already holds the values.
  Button(&form, "OkButton")->click();
  QCOMPARE(f.Errors.size(), std::size_t(2));
  QVERIFY(!form.isVisible());
}

void DialogsTest::aboutBoxShowsNameAndVersion() {
  TAboutBox box;
  QCOMPARE(Child<QLabel>(&box, "ProductName")->text(), QStringLiteral("Veltra企业名录采集系统"));
  QVERIFY(Child<QLabel>(&box, "Version")->text().contains(QStringLiteral("0.1.0")));
}

void DialogsTest::optionsNamesTheRangeOfANumberItCannotTake() {
  TSettingsFixture f;
  f.Settings = testsupport::FactorySettings();
  TOptionForm form(f.Context());
  form.SetQuestionAsker(f.Asker());
  form.SetErrorReporter(f.Reporter());
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  auto* threads = Child<QSpinBox>(&form, "Edit1");
  auto* error = Child<QLabel>(&form, "Edit1Error");
  QPushButton* ok = Button(&form, "OkButton");
  threads->setFocus();
  threads->selectAll();
  QTest::keyClicks(threads, QStringLiteral("45"));
  // Refused where it is typed: the field says why, and OK waits until it is put right.
  QVERIFY(error->isVisible());
  QVERIFY(error->text().contains(QStringLiteral("1～30")));
  QVERIFY(!ok->isEnabled());
  QVERIFY(!Button(&form, "ApplyButton")->isEnabled());
  Child<QWidget>(&form, "Edit2")->setFocus();
  QCOMPARE(threads->text(), QStringLiteral("45"));
  QVERIFY(!ok->isEnabled());
  threads->setFocus();
  threads->selectAll();
  QTest::keyClicks(threads, QStringLiteral("12"));
  QVERIFY(!error->isVisible());
  ok->click();
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QVERIFY(f.Errors.empty());
  QCOMPARE(f.Settings.MaxFindWebThreadCount, 12);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
