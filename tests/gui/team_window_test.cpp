// The window as a node of a team: the team dialog tests a private PostgreSQL server and joins,
// a run against the demo web fills the list with the task's records from the database, once
// each, a record another node stores shows up too, and the status bar shows the team.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <map>

#include "core/gbk.h"
#include "core/program_state.h"
#include "demo_server.h"
#include "dialog_test_support.h"
#include "pg_cluster.h"
#include "store/pg_task_store.h"
#include "test_support.h"
#include "ui/main_form.h"
#include "ui/team_dialog.h"
#include "ui/window_prefs.h"

namespace {

class TTeamForm : public TMainForm {
 public:
  explicit TTeamForm(const std::string& settingsPath) : TMainForm(settingsPath) {}
  TMessageResult ShowMessage(const std::string& text, const std::string&, TMessageIcon,
                             TMessageButtons) override {
    messages.push_back(gbk::ToUtf8(text));
    return TMessageResult::No;
  }
  int RunDialog(QDialog& dialog) override {
    drive(dialog);
    return dialog.result();
  }
  std::function<void(QDialog&)> drive;
  std::vector<std::string> messages;
};

std::map<demoweb::TDemoRecord, int> Count(const TResultTable& table) {
  std::map<demoweb::TDemoRecord, int> counts;
  for (const auto& row : table.Rows()) {
    demoweb::TDemoRecord r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
    ++counts[r];
  }
  return counts;
}

}  // namespace

class TeamWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void windowJoinsATeamTaskAndListsEveryRecordOfIt() {
    auto& cluster = testsupport::TPgCluster::Shared();
    if (!cluster.Available()) QSKIP(cluster.Problem().c_str());
    const std::string url = cluster.CreateDatabase("t_window");
    demoweb::TDemoServer server(12, 0, 0, 300);
    testsupport::TempDir dir;
    const std::string ini = (dir / "Gleaner.ini").string();
    server.Web().WriteSettings(ini, 10, demoweb::TSourceSet::Classic);

    TTeamForm form(ini);
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("机械"));
    form.findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->setChecked(true);
    QString tested, refused;
    form.drive = [&](QDialog& dialog) {
      QVERIFY(qobject_cast<TTeamDialog*>(&dialog));
      auto* connection = Child<QLineEdit>(&dialog, "ConnectionEdit");
      connection->setText(QString::fromStdString(cluster.Url("t_window", "wrong-pw")));
      Button(&dialog, "TestButton")->click();
      refused = static_cast<TTeamDialog&>(dialog).TestText();
      connection->setText(QString::fromStdString(url));
      Child<QLineEdit>(&dialog, "TaskNameEdit")->setText(QStringLiteral("华东机械"));
      Button(&dialog, "TestButton")->click();
      tested = static_cast<TTeamDialog&>(dialog).TestText();
      Button(&dialog, "OkButton")->click();
    };
    form.findChild<QAction*>(QStringLiteral("TeamAction"))->trigger();
    QVERIFY2(refused.startsWith(QStringLiteral("密码错误")), qPrintable(refused));
    QVERIFY(!refused.contains(QStringLiteral("wrong-pw")));
    QVERIFY2(tested.startsWith(QStringLiteral("连接成功")), qPrintable(tested));
    QVERIFY2(form.InTeam(), form.messages.empty() ? "" : form.messages.front().c_str());
    // The connection is remembered without its password.
    const QString kept = ReadWindowPref(ini, "TeamConnection");
    QVERIFY(!kept.isEmpty());
    QVERIFY(!kept.contains(QString::fromLatin1(testsupport::TPgCluster::kPassword)));

    form.findChild<QAction*>(QStringLiteral("StartAction"))->trigger();
    QCOMPARE(form.State().RunState, 1);
    QTRY_VERIFY_WITH_TIMEOUT(form.State().RunState == -1, 90000);
    QVERIFY2(form.messages.empty(), form.messages.empty() ? "" : form.messages.front().c_str());
    const auto want = [&] {
      std::map<demoweb::TDemoRecord, int> counts;
      for (const auto& r : server.Web().ExpectedKeywordRecords()) ++counts[r];
      return counts;
    }();
    QTRY_COMPARE_WITH_TIMEOUT(Count(form.Results()), want, 10000);

    // A record another node stores reaches the list too.
    {
      TTeamOptions options;
      options.Connection = url;
      options.TaskName = gbk::FromUtf8("华东机械");
      TPgTaskStore other(options, nullptr);
      other.RecordsFound(
          {{gbk::FromUtf8("远方公司"), "http://far.localhost/", "", "0571-8888888"}});
      other.Flush();
    }
    QTRY_COMPARE_WITH_TIMEOUT(form.Results().RowCount(),
                              server.Web().ExpectedKeywordRecords().size() + 1, 10000);
    auto* status = form.findChild<QLabel*>(QStringLiteral("TeamStatus"));
    QVERIFY(status && status->isVisible());
    const QString records = QStringLiteral("记录 %1").arg(form.Results().RowCount());
    QTRY_VERIFY2_WITH_TIMEOUT(status->text().contains(records), qPrintable(status->text()), 5000);
    QVERIFY2(status->text().contains(QStringLiteral("待抓 0 抓取中 0")),
             qPrintable(status->text()));

    form.findChild<QAction*>(QStringLiteral("LeaveTeamAction"))->trigger();
    QVERIFY(!form.InTeam());
    QVERIFY(!status->isVisible());
  }
};

QTEST_MAIN(TeamWindowTest)
#include "team_window_test.moc"
