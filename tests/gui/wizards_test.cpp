// The settings wizard and the two search wizards.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>

#include "core/global_set.h"
#include "core/ini_file.h"
#include "dialog_test_support.h"
#include "factory_settings.h"
#include "null_run_view.h"
#include "run/run_view.h"
#include "test_support.h"
#include "ui/dialogs.h"

using testsupport::G;

namespace {

// The main window as the wizards see it: an input box and two mode buttons.
class TFakeRunView : public TNullRunView {
 public:
  std::vector<std::string> Messages;
  std::string Input;
  bool Keyword = true;
  bool Website = false;

  std::string InputText() const override { return Input; }
  void SetInputText(const std::string& text) override { Input = text; }
  bool KeywordModeSelected() const override { return Keyword; }
  bool WebsiteModeSelected() const override { return Website; }
  TMessageResult ShowMessage(const std::string& text, const std::string&, TMessageIcon,
                             TMessageButtons) override {
    Messages.push_back(text);
    return TMessageResult::Ok;
  }
  void SetModeButtons(bool keyword, bool website) override {
    Keyword = keyword;
    Website = website;
  }
};

// Factory settings saved in a fresh directory, plus hand-written keys the wizards must keep.
struct TWizardFixture {
  testsupport::TempDir Dir;
  TGlobalSet Settings = testsupport::FactorySettings();
  TSettingsStore Store;
  std::filesystem::path Path = Dir / "Gleaner.ini";
  TFakeRunView View;
  std::vector<QString> Errors;

  // Without the window conveniences unless asked: most tests check the wizards as designed.
  explicit TWizardFixture(bool modern = false) {
    Settings.FlagModernWindow = modern;
    SaveSettings(Settings, Path.string());
    TIniFile ini(testsupport::ReadFile(Path));
    ini.WriteString("HAND", "note", "kept");
    ini.SaveFile(Path.string());
  }
  TSettingsContext Context() { return {Settings, Store, Path.string()}; }
  TDialogErrorReporter Reporter() {
    return [this](QWidget*, const QString& text) { Errors.push_back(text); };
  }
};

bool Shown(QWidget* w) {
  return !w->isHidden();
}

}  // namespace

class WizardsTest : public QObject {
  Q_OBJECT

 private slots:
  void settingWizardNavigation();
  void settingWizardCancelOnLastPageChangesNothing();
  void settingWizardFinishSavesOnlyItsSections();
  void settingWizardFailedSaveStaysOpen();
  void keywordWizardNextNeedsKeywords();
  void keywordWizardFinishWithNoEngines();
  void keywordWizardCancelOnLastPage();
  void keywordWizardFailedSaveStaysOpen();
  void enterOnLastPageFinishesAfterMouseNext();
  void pointWebWizardPagesAndNextPageField();
  void pointWebWizardFinish();
  void pointWebWizardCancelOnLastPage();
  void modernWizardsSpeakChineseStepsWarnAndKeepKeywordsOutOfTheAddress();
};

void WizardsTest::settingWizardNavigation() {
  TWizardFixture f;
  f.Settings.FlagFindTelAndFax = false;
  f.Settings.MaxFindWebThreadCount = 99;
  TSettingWizardForm wizard(f.Context());
  QPushButton* back = Button(&wizard, "BackButton");
  QPushButton* next = Button(&wizard, "NextButton");
  QPushButton* finish = Button(&wizard, "FinishButton");
  QCOMPARE(wizard.windowTitle(), QStringLiteral("软件设置向导(1 of 3)"));
  QCOMPARE(wizard.PageNumber(), 1);
  QVERIFY(!back->isEnabled());
  QVERIFY(Shown(next) && next->isEnabled());
  QVERIFY(!Shown(finish));
  QCOMPARE(wizard.focusWidget(), Child<QWidget>(&wizard, "CompanyLike"));
  QCOMPARE(Child<QLineEdit>(&wizard, "CompanyLike")->text(), QStringLiteral("公司名称;企业名称;"));
  // The address prefix field does not depend on the telephone switch.
  QVERIFY(Child<QLineEdit>(&wizard, "AddressLike")->isEnabled());
  QCOMPARE(Child<QSpinBox>(&wizard, "MaxFindWebThreadCount")->value(), 30);

  next->click();
  QCOMPARE(wizard.windowTitle(), QStringLiteral("软件设置向导(2 of 3)"));
  QVERIFY(back->isEnabled());
  QVERIFY(Shown(next) && !Shown(finish));
  QCOMPARE(wizard.focusWidget(), Child<QWidget>(&wizard, "HTMLNameLike"));
  next->click();
  QCOMPARE(wizard.windowTitle(), QStringLiteral("软件设置向导(3 of 3)"));
  QVERIFY(back->isEnabled());
  QVERIFY(!Shown(next));
  QVERIFY(Shown(finish) && finish->isEnabled());
  QCOMPARE(wizard.focusWidget(), Child<QWidget>(&wizard, "MaxFindWebThreadCount"));
  back->click();
  back->click();
  QCOMPARE(wizard.PageNumber(), 1);
  QCOMPARE(wizard.windowTitle(), QStringLiteral("软件设置向导(1 of 3)"));
  QVERIFY(!back->isEnabled());
}

void WizardsTest::settingWizardCancelOnLastPageChangesNothing() {
  TWizardFixture f;
  const std::string before = testsupport::ReadFile(f.Path);
  const auto lines = SettingsLines(f.Settings);
  TSettingWizardForm wizard(f.Context());
  Child<QLineEdit>(&wizard, "CompanyLike")->setText(QStringLiteral("x;"));
  Button(&wizard, "NextButton")->click();
  Child<QLineEdit>(&wizard, "HTMLNameLike")->clear();
  Button(&wizard, "NextButton")->click();
  Child<QSpinBox>(&wizard, "MaxCrawlLevel")->setValue(5);
  Child<QCheckBox>(&wizard, "FlagFindMailAddress")->setChecked(false);
  Button(&wizard, "CancelButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Rejected));
  QCOMPARE(testsupport::ReadFile(f.Path), before);
  const auto after = SettingsLines(f.Settings);
  for (std::size_t i = 0; i < lines.size(); ++i) QCOMPARE(after[i].Value, lines[i].Value);
}

void WizardsTest::settingWizardFinishSavesOnlyItsSections() {
  TWizardFixture f;
  // Hand edits in the sections the wizard does not own must survive.
  TIniFile ini(testsupport::ReadFile(f.Path));
  ini.WriteString("POINTLIKE", "NextPageLike", "hand;");
  ini.WriteString("FLAGUSESEARCH", "FlagUseSina", "0");
  ini.SaveFile(f.Path.string());

  TSettingWizardForm wizard(f.Context());
  Child<QLineEdit>(&wizard, "telephoneLike")->setText(QStringLiteral("  电话;tel;\t"));
  Child<QLineEdit>(&wizard, "AddressContentLike")->clear();
  Button(&wizard, "NextButton")->click();
  Button(&wizard, "NextButton")->click();
  Child<QSpinBox>(&wizard, "MaxFindWebThreadCount")->setValue(4);
  SpinText(Child<QSpinBox>(&wizard, "MaxReadHTMLTimeOut"))->setText(QStringLiteral("5000"));
  Child<QCheckBox>(&wizard, "FlagFindTelAndFax")->setChecked(false);
  Button(&wizard, "FinishButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Accepted));

  QCOMPARE(f.Settings.telephoneLike, (TLikeList{G("电话"), "tel"}));
  QVERIFY(f.Settings.AddressContentLike.empty());
  QCOMPARE(Ini(f.Path, "MAINLIKE", "telephoneLike"), G("电话;tel;"));
  QCOMPARE(Ini(f.Path, "SECONDLIKE", "AddressContentLike"), std::string(""));
  QCOMPARE(Ini(f.Path, "SETTING", "MaxFindWebThreadCount"), std::string("4"));
  QCOMPARE(Ini(f.Path, "SETTING", "MaxReadHTMLTimeOut"), std::string("30000"));
  QCOMPARE(Ini(f.Path, "FINDFLAGS", "FlagFindTelAndFax"), std::string("0"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "NextPageLike"), std::string("hand;"));
  QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", "FlagUseSina"), std::string("0"));
  QCOMPARE(Ini(f.Path, "HAND", "note"), std::string("kept"));
  QCOMPARE(f.Store.Snapshot()->MaxFindWebThreadCount, 4);
  QVERIFY(!f.Store.Snapshot()->FlagFindTelAndFax);
}

void WizardsTest::settingWizardFailedSaveStaysOpen() {
  TWizardFixture f;
  TSettingWizardForm wizard({f.Settings, f.Store, (f.Dir / "no" / "Gleaner.ini").string()});
  wizard.SetErrorReporter(f.Reporter());
  wizard.show();
  Button(&wizard, "NextButton")->click();
  Button(&wizard, "NextButton")->click();
  Child<QSpinBox>(&wizard, "MaxCrawlLevel")->setValue(6);
  Button(&wizard, "FinishButton")->click();
  QVERIFY(wizard.isVisible());
  QCOMPARE(f.Errors.size(), std::size_t(1));
  QVERIFY(f.Errors[0].startsWith(QStringLiteral("Unable to write to ")));
  QCOMPARE(f.Settings.MaxCrawlLevel, 6);
}

void WizardsTest::keywordWizardNextNeedsKeywords() {
  TWizardFixture f;
  f.View.Input = G("  ");
  TSearchContentWizardForm wizard(f.Context(), f.View);
  auto* keywords = Child<QLineEdit>(&wizard, "KeywordEdit");
  QPushButton* next = Button(&wizard, "NextButton");
  QCOMPARE(wizard.windowTitle(), QStringLiteral("关键词搜索向导(1 of 2)"));
  QCOMPARE(wizard.focusWidget(), keywords);
  QVERIFY(!next->isEnabled());
  QTest::keyClicks(keywords, QStringLiteral("  "));
  QVERIFY(!next->isEnabled());
  QTest::keyClicks(keywords, QStringLiteral("a"));
  QVERIFY(next->isEnabled());
  keywords->clear();
  QVERIFY(!next->isEnabled());
  keywords->setText(QStringLiteral("机床"));
  next->click();
  QCOMPARE(wizard.windowTitle(), QStringLiteral("关键词搜索向导(2 of 2)"));
  QVERIFY(Button(&wizard, "BackButton")->isEnabled());
  QVERIFY(!Shown(next));
  QVERIFY(Shown(Button(&wizard, "FinishButton")));
  // Coming back to page 1 checks the text again.
  Button(&wizard, "BackButton")->click();
  QVERIFY(next->isEnabled());
  QVERIFY(!Button(&wizard, "BackButton")->isEnabled());
}

void WizardsTest::keywordWizardFinishWithNoEngines() {
  TWizardFixture f;
  f.View.Input = G("旧");
  f.View.Keyword = false;
  f.View.Website = true;
  TSearchContentWizardForm wizard(f.Context(), f.View);
  QCOMPARE(Child<QLineEdit>(&wizard, "KeywordEdit")->text(), QStringLiteral("旧"));
  Child<QLineEdit>(&wizard, "KeywordEdit")->setText(QStringLiteral("  数控 机床 \t"));
  Button(&wizard, "NextButton")->click();
  for (const char* name : {"FlagUseSina", "FlagUseSohu", "FlagUseYahoo", "FlagUseGoogle",
                           "FlagUseBaidu", "FlagUse163"}) {
    auto* box = Child<QCheckBox>(&wizard, name);
    QVERIFY(box->isChecked());
    box->setChecked(false);
  }
  Button(&wizard, "FinishButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Accepted));
  QCOMPARE(f.View.Input, G("数控 机床"));
  QVERIFY(f.View.Keyword);
  QVERIFY(!f.View.Website);
  for (const char* key : {"FlagUseSina", "FlagUseSohu", "FlagUseYahoo", "FlagUse163",
                          "FlagUseGoogle", "FlagUseBaidu"}) {
    QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", key), std::string("0"));
  }
  QVERIFY(!f.Settings.FlagUseBaidu);
  QVERIFY(!f.Store.Snapshot()->FlagUse163);
  QCOMPARE(Ini(f.Path, "HAND", "note"), std::string("kept"));
}

void WizardsTest::keywordWizardCancelOnLastPage() {
  TWizardFixture f;
  f.View.Input = G("旧");
  const std::string before = testsupport::ReadFile(f.Path);
  TSearchContentWizardForm wizard(f.Context(), f.View);
  Child<QLineEdit>(&wizard, "KeywordEdit")->setText(QStringLiteral("新"));
  Button(&wizard, "NextButton")->click();
  Child<QCheckBox>(&wizard, "FlagUseSina")->setChecked(false);
  Button(&wizard, "CancelButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Rejected));
  QCOMPARE(f.View.Input, G("旧"));
  QVERIFY(f.View.Keyword && !f.View.Website);
  QVERIFY(f.Settings.FlagUseSina);
  QCOMPARE(testsupport::ReadFile(f.Path), before);
}

void WizardsTest::keywordWizardFailedSaveStaysOpen() {
  TWizardFixture f;
  f.View.Input = "abc";
  TSearchContentWizardForm wizard({f.Settings, f.Store, (f.Dir / "no" / "x.ini").string()}, f.View);
  wizard.SetErrorReporter(f.Reporter());
  wizard.show();
  Button(&wizard, "NextButton")->click();
  Child<QCheckBox>(&wizard, "FlagUseGoogle")->setChecked(false);
  Button(&wizard, "FinishButton")->click();
  QVERIFY(wizard.isVisible());
  QCOMPARE(f.Errors.size(), std::size_t(1));
  QVERIFY(f.Errors[0].startsWith(QStringLiteral("Unable to write to ")));
  // The window and the record were changed before the save.
  QCOMPARE(f.View.Input, std::string("abc"));
  QVERIFY(!f.Settings.FlagUseGoogle);
}

// The user clicks "下一步(&N)" with the mouse, then presses Enter on the last page: that must
// finish the wizard, not land on whatever button took the focus of the hidden one.
void WizardsTest::enterOnLastPageFinishesAfterMouseNext() {
  TWizardFixture f;
  f.View.Input = "abc";
  TSearchContentWizardForm wizard(f.Context(), f.View);
  wizard.show();
  QVERIFY(QTest::qWaitForWindowActive(&wizard));
  QTest::mouseClick(Button(&wizard, "NextButton"), Qt::LeftButton);
  QCOMPARE(wizard.PageNumber(), 2);
  QVERIFY(wizard.focusWidget() != Button(&wizard, "CancelButton"));
  QTest::keyClick(wizard.focusWidget(), Qt::Key_Return);
  QCOMPARE(wizard.result(), int(QDialog::Accepted));
  QVERIFY(f.View.Keyword);

  TWizardFixture g;
  g.View.Input = "http://dir.localhost/";
  TSearchPointWebWizardForm pointWeb(g.Context(), g.View);
  pointWeb.show();
  QVERIFY(QTest::qWaitForWindowActive(&pointWeb));
  QTest::mouseClick(Button(&pointWeb, "NextButton"), Qt::LeftButton);
  QTest::mouseClick(Button(&pointWeb, "NextButton"), Qt::LeftButton);
  QCOMPARE(pointWeb.PageNumber(), 3);
  QTest::keyClick(pointWeb.focusWidget(), Qt::Key_Return);
  QCOMPARE(pointWeb.result(), int(QDialog::Accepted));
  QVERIFY(g.View.Website);
}

void WizardsTest::pointWebWizardPagesAndNextPageField() {
  TWizardFixture f;
  f.View.Input = "http://dir.localhost/";
  TSearchPointWebWizardForm wizard(f.Context(), f.View);
  QPushButton* back = Button(&wizard, "BackButton");
  QPushButton* next = Button(&wizard, "NextButton");
  QPushButton* finish = Button(&wizard, "FinishButton");
  auto* address = Child<QLineEdit>(&wizard, "AddressEdit");
  QCOMPARE(wizard.windowTitle(), QStringLiteral("指定网站搜索向导(1 of 3)"));
  QCOMPARE(address->text(), QStringLiteral("http://dir.localhost/"));
  QVERIFY(next->isEnabled() && !back->isEnabled() && !Shown(finish));
  address->setText(QStringLiteral(" "));
  QVERIFY(!next->isEnabled());
  address->setText(QStringLiteral("x"));
  QVERIFY(next->isEnabled());
  next->click();
  QCOMPARE(wizard.windowTitle(), QStringLiteral("指定网站搜索向导(2 of 3)"));
  QVERIFY(back->isEnabled() && next->isEnabled() && !Shown(finish));
  QCOMPARE(wizard.focusWidget(), Child<QWidget>(&wizard, "InfoLinkLike"));
  next->click();
  QCOMPARE(wizard.windowTitle(), QStringLiteral("指定网站搜索向导(3 of 3)"));
  QVERIFY(back->isEnabled() && !Shown(next) && Shown(finish) && finish->isEnabled());
  QCOMPARE(wizard.focusWidget(), Child<QWidget>(&wizard, "NextPageLinkLike"));

  auto* useNextPage = Child<QCheckBox>(&wizard, "BUseNextPageLike");
  auto* nextPage = Child<QLineEdit>(&wizard, "NextPageLike");
  QCOMPARE(nextPage->text(), QStringLiteral("页;"));
  QVERIFY(nextPage->isEnabled());
  useNextPage->click();
  QVERIFY(!nextPage->isEnabled());
  useNextPage->click();
  QVERIFY(nextPage->isEnabled());
}

void WizardsTest::pointWebWizardFinish() {
  TWizardFixture f;
  f.Settings.BUseNextPageLike = false;
  TSearchPointWebWizardForm wizard(f.Context(), f.View);
  auto* nextPage = Child<QLineEdit>(&wizard, "NextPageLike");
  QVERIFY(!nextPage->isEnabled());
  QVERIFY(!Button(&wizard, "NextButton")->isEnabled());  // empty input box
  Child<QLineEdit>(&wizard, "AddressEdit")->setText(QStringLiteral("  http://dir.localhost/a  "));
  Button(&wizard, "NextButton")->click();
  Child<QLineEdit>(&wizard, "InfoLinkLike")->setText(QStringLiteral(" show;id= "));
  Child<QCheckBox>(&wizard, "BUseCompanyNameLike")->setChecked(false);
  Button(&wizard, "NextButton")->click();
  Child<QLineEdit>(&wizard, "NextPageLinkLike")->setText(QStringLiteral("list;page"));
  nextPage->setText(QStringLiteral("下一页;"));
  Button(&wizard, "FinishButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Accepted));

  QCOMPARE(f.View.Input, std::string("http://dir.localhost/a"));
  QVERIFY(!f.View.Keyword && f.View.Website);
  QCOMPARE(f.Settings.InfoLinkLike, (TLikeList{"show", "id="}));
  QCOMPARE(f.Settings.NextPageLinkLike, (TLikeList{"list", "page"}));
  QCOMPARE(f.Settings.NextPageLike, (TLikeList{G("下一页")}));  // saved though disabled
  QVERIFY(!f.Settings.BUseCompanyNameLike);
  QVERIFY(!f.Settings.BUseNextPageLike);
  QCOMPARE(Ini(f.Path, "POINTLIKE", "InfoLinkLike"), std::string("show;id=;"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "NextPageLinkLike"), std::string("list;page;"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "NextPageLike"), G("下一页;"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "BUseCompanyNameLike"), std::string("0"));
  QCOMPARE(Ini(f.Path, "POINTLIKE", "BUseNextPageLike"), std::string("0"));
  QCOMPARE(f.Store.Snapshot()->InfoLinkLike, (TLikeList{"show", "id="}));
  QCOMPARE(Ini(f.Path, "HAND", "note"), std::string("kept"));
}

void WizardsTest::pointWebWizardCancelOnLastPage() {
  TWizardFixture f;
  f.View.Input = "http://old.localhost/";
  const std::string before = testsupport::ReadFile(f.Path);
  TSearchPointWebWizardForm wizard(f.Context(), f.View);
  Child<QLineEdit>(&wizard, "AddressEdit")->setText(QStringLiteral("http://new.localhost/"));
  Button(&wizard, "NextButton")->click();
  Child<QLineEdit>(&wizard, "InfoLinkLike")->setText(QStringLiteral("x;"));
  Button(&wizard, "NextButton")->click();
  Child<QCheckBox>(&wizard, "BUseNextPageLike")->click();
  Button(&wizard, "CancelButton")->click();
  QCOMPARE(wizard.result(), int(QDialog::Rejected));
  QCOMPARE(f.View.Input, std::string("http://old.localhost/"));
  QVERIFY(f.View.Keyword && !f.View.Website);
  QVERIFY(f.Settings.InfoLinkLike.empty());
  QVERIFY(f.Settings.BUseNextPageLike);
  QCOMPARE(testsupport::ReadFile(f.Path), before);
}

void WizardsTest::modernWizardsSpeakChineseStepsWarnAndKeepKeywordsOutOfTheAddress() {
  TWizardFixture f(true);
  f.View.Input = G("数控机床");
  {
    TSearchContentWizardForm wizard(f.Context(), f.View);
    QCOMPARE(wizard.windowTitle(), QStringLiteral("关键词搜索向导(第1步，共2步)"));
    Button(&wizard, "NextButton")->click();
    for (const char* name : {"FlagUseSina", "FlagUseSohu", "FlagUseYahoo", "FlagUseGoogle",
                             "FlagUseBaidu", "FlagUse163"})
      Child<QCheckBox>(&wizard, name)->setChecked(false);
    // No source: the wizard cannot finish; its warning offers to go back to the choice.
    std::vector<QString> asked;
    wizard.SetQuestionAsker([&](QWidget*, const QString& text) {
      asked.push_back(text);
      return true;
    });
    Button(&wizard, "FinishButton")->click();
    QCOMPARE(asked.size(), 1u);
    QVERIFY(wizard.result() != int(QDialog::Accepted));
    QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", "FlagUseSina"), std::string("1"));
    QCOMPARE(f.View.Input, G("数控机床"));
    Child<QCheckBox>(&wizard, "FlagUseBaidu")->setChecked(true);
    Button(&wizard, "FinishButton")->click();
    QCOMPARE(wizard.result(), int(QDialog::Accepted));
    QCOMPARE(Ini(f.Path, "FLAGUSESEARCH", "FlagUseSina"), std::string("0"));
  }
  {
    // A number out of range holds the settings wizard's finish back, with the range shown.
    TSettingWizardForm wizard(f.Context());
    Button(&wizard, "NextButton")->click();
    Button(&wizard, "NextButton")->click();
    auto* threads = Child<QSpinBox>(&wizard, "MaxFindWebThreadCount");
    SpinText(threads)->setText(QStringLiteral("99"));
    QVERIFY(!Button(&wizard, "FinishButton")->isEnabled());
    QVERIFY(Child<QLabel>(&wizard, "MaxFindWebThreadCountError")->text().contains("1～30"));
    SpinText(threads)->setText(QStringLiteral("9"));
    QVERIFY(Button(&wizard, "FinishButton")->isEnabled());
  }
  TSearchPointWebWizardForm keywords(f.Context(), f.View);
  QCOMPARE(keywords.windowTitle(), QStringLiteral("指定网站搜索向导(第1步，共3步)"));
  QVERIFY(Child<QLineEdit>(&keywords, "AddressEdit")->text().isEmpty());
  f.View.Input = "www.acme.com";
  TSearchPointWebWizardForm address(f.Context(), f.View);
  QCOMPARE(Child<QLineEdit>(&address, "AddressEdit")->text(), QStringLiteral("www.acme.com"));
}

QTEST_MAIN(WizardsTest)
#include "wizards_test.moc"
