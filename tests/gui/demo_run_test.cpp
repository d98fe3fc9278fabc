// The window against the local demo web: a keyword typed into the input box and started with
// the toolbar's action runs to its natural end on the window's own 1000 ms timers, and the
// result list then holds exactly the records the demo's sites carry.

#include <QAction>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <map>

#include "core/gbk.h"
#include "demo_server.h"
#include "test_support.h"
#include "ui/main_form.h"

namespace {

class TQuietForm : public TMainForm {
 public:
  explicit TQuietForm(const std::string& settingsPath) : TMainForm(settingsPath) {}
  TMessageResult ShowMessage(const std::string& text, const std::string&, TMessageIcon,
                             TMessageButtons) override {
    messages.push_back(text);
    return TMessageResult::No;
  }
  std::vector<std::string> messages;
};

std::map<demoweb::TDemoRecord, int> Count(const std::vector<demoweb::TDemoRecord>& records) {
  std::map<demoweb::TDemoRecord, int> counts;
  for (const auto& r : records) ++counts[r];
  return counts;
}

}  // namespace

class DemoRunTest : public QObject {
  Q_OBJECT
 private slots:
  void keywordSearchInTheWindowFindsEveryRecord() {
    demoweb::TDemoServer server(12, 0, 0, 300);
    testsupport::TempDir dir;
    const std::string ini = (dir / "Gleaner.ini").string();
    server.Web().WriteSettings(ini, 10, demoweb::TSourceSet::Classic);

    TQuietForm form(ini);
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("机械"));
    form.findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->setChecked(true);
    auto* start = form.findChild<QAction*>(QStringLiteral("StartAction"));
    QVERIFY(start->isEnabled());
    start->trigger();
    QCOMPARE(form.State().RunState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(form.State().RunState == -1, 90000);
    QVERIFY2(form.messages.empty(), form.messages.empty() ? "" : form.messages.front().c_str());

    std::vector<demoweb::TDemoRecord> found;
    for (const auto& row : form.Results().Rows()) {
      demoweb::TDemoRecord r;
      for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
      found.push_back(r);
    }
    const auto want = Count(server.Web().ExpectedKeywordRecords());
    const auto got = Count(found);
    for (const auto& [record, n] : want) {
      const auto it = got.find(record);
      QVERIFY2((it == got.end() ? 0 : it->second) == n, record[0].c_str());
    }
    QCOMPARE(found.size(), server.Web().ExpectedKeywordRecords().size());
    QVERIFY(form.State().Modified);
  }
};

QTEST_MAIN(DemoRunTest)
#include "demo_run_test.moc"
