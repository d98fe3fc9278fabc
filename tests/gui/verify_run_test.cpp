// A search source asks for verification part-way through a run in the window: the end of the
// run offers its verification page, the built-in browser opens it, the page's button is
// pressed, "完成验证" hands the browser's cookies to the search client, and the run goes on
// from the blocked page to every record.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWebEnginePage>
#include <algorithm>
#include <memory>
#include <optional>

#include "browser/verification_window.h"
#include "core/gbk.h"
#include "core/task_file.h"
#include "demo_server.h"
#include "demo_verify.h"
#include "run/run_control.h"
#include "test_support.h"
#include "ui/main_form.h"

namespace {

class TVerifyForm : public TMainForm {
 public:
  explicit TVerifyForm(const std::string& settingsPath) : TMainForm(settingsPath) {}
  TMessageResult ShowMessage(const std::string& text, const std::string&, TMessageIcon,
                             TMessageButtons buttons) override {
    messages.push_back(gbk::ToUtf8(text));
    return buttons == TMessageButtons::YesNoCancel ? TMessageResult::Yes : TMessageResult::Ok;
  }
  bool OfferVerification(const QString& text) override {
    offers << text;
    return true;
  }
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&,
                                             const std::string&) override {
    return savePath;
  }
  std::vector<std::string> messages;
  QStringList offers;
  std::string savePath;
};

// The script's result, waiting up to 10 s for it.
QVariant RunScript(QWebEnginePage* page, const QString& script) {
  auto result = std::make_shared<std::optional<QVariant>>();
  page->runJavaScript(script, [result](const QVariant& v) { *result = v; });
  for (int waited = 0; !*result && waited < 10000; waited += 20) QTest::qWait(20);
  return result->value_or(QVariant());
}

// Address and contact fields: name and description also carry words of the result listing.
std::vector<demoweb::TDemoRecord> Sorted(std::vector<demoweb::TDemoRecord> records) {
  for (auto& r : records) {
    r[0].clear();
    r[7].clear();
  }
  std::sort(records.begin(), records.end());
  return records;
}

}  // namespace

class VerifyRunTest : public QObject {
  Q_OBJECT
 private slots:
  void passedVerificationContinuesTheRun() {
    demoweb::TDemoServer server(24, 0, 0, 300);
    auto gate = std::make_shared<demoweb::TDemoVerifyGate>("Bing", 0);
    server.SetVerifyGate(gate);
    testsupport::TempDir dir;
    const std::string ini = (dir / "Gleaner.ini").string();
    server.Web().WriteSettings(ini, 10, demoweb::TSourceSet::Today);

    TVerifyForm form(ini);
    form.savePath = (dir / "v.swrw").string();
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("机械"));
    form.findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->setChecked(true);
    form.StartActionExecute();
    QTRY_VERIFY_WITH_TIMEOUT(!form.offers.empty(), 120000);
    QVERIFY(form.offers.front().contains(QStringLiteral("必应")));
    QCOMPARE(form.State().RunState, -1);
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("StatusPanel4"))
                ->text()
                .contains(QStringLiteral("href=\"verify:Bing\"")));
    // The sites only this source lists are still missing.
    const std::size_t expected = server.Web().ExpectedTodayRecords().size();
    QVERIFY(form.Results().RowCount() < expected);

    auto* window = form.findChild<TVerificationWindow*>();
    QVERIFY(window);
    QWebEnginePage* page = window->Page();
    QTRY_VERIFY_WITH_TIMEOUT(
        RunScript(page, QStringLiteral("document.getElementById('verify-pass') !== null")).toBool(),
        30000);
    RunScript(page, QStringLiteral("document.getElementById('verify-pass').click(); true"));
    QTRY_VERIFY_WITH_TIMEOUT(!window->CookiesFor("bing.today.localhost").empty(), 30000);
    // The reloaded page shows results: the verification holds.
    QTRY_VERIFY_WITH_TIMEOUT(
        RunScript(page, QStringLiteral("document.querySelectorAll('li.b_algo').length")).toInt() >
            0,
        30000);
    window->findChild<QPushButton*>(QStringLiteral("FinishButton"))->click();

    QTRY_VERIFY_WITH_TIMEOUT(form.State().RunState == 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form.State().RunState == -1, 120000);
    QVERIFY(gate->Passed() > 0);
    QVERIFY(form.RunControl().BlockedSources().empty());
    std::vector<demoweb::TDemoRecord> found;
    for (const auto& row : form.Results().Rows()) {
      demoweb::TDemoRecord r;
      for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
      found.push_back(r);
    }
    QVERIFY(Sorted(found) == Sorted(server.Web().ExpectedTodayRecords()));

    // The user agreed to keep the cookies with the task.
    QVERIFY(form.RunControl().KeepCookies());
    form.SaveAsActionExecute();
    const TTaskFileData saved = ReadTaskFile(form.savePath);
    QCOMPARE(saved.Cookies.size(), std::size_t{1});
    QVERIFY(saved.Cookies.front().find("demo_verified\tpassed") != std::string::npos);
  }
};

QTEST_MAIN(VerifyRunTest)
#include "verify_run_test.moc"
