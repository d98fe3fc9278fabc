// The log dock: entries arrive by polling, the site filter shows one site's entries.
#include "ui/log_dock.h"

#include <QTest>

#include "run/status_texts.h"
#include "test_support.h"

namespace {

class LogDockTest : public QObject {
  Q_OBJECT

 private slots:
  void pollsNewEntriesAndFiltersBySite() {
    TLog log;
    log.Write(TLogLevel::Info, "fetch", "before the dock", "http://old.localhost/");
    TLogDock dock(log);
    log.Write(TLogLevel::Warning, "fetch", "refused", "http://a.localhost:81/x");
    TLogEntry entry;
    entry.Category = "worker";
    entry.Url = "http://b.localhost/contact.htm";
    entry.Message = "异常: bad page";
    log.Add(entry);
    log.Write(TLogLevel::Info, "search", "engine list built");
    dock.Poll();
    const QStringList lines = dock.Text().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].contains(QStringLiteral("before the dock")));
    QVERIFY(lines[2].contains(QStringLiteral("异常: bad page")));
    // Levels and kinds read in Chinese; the sites come sorted.
    QVERIFY(lines[1].contains(QStringLiteral(" 警告 抓取 http://a.localhost:81/x : refused")));
    QCOMPARE(dock.Sites(), QStringList({"a.localhost", "b.localhost", "old.localhost"}));

    dock.SetSiteFilter(QStringLiteral("a.localhost"));
    QCOMPARE(dock.Text().split('\n').size(), 1);
    QVERIFY(dock.Text().contains(QStringLiteral("refused")));
    log.Write(TLogLevel::Info, "fetch", "second", "http://a.localhost:81/y");
    TLogEntry timeout;
    timeout.Category = "fetch";
    timeout.Url = "http://b.localhost/";
    timeout.Error = TFetchErrorKind::Timeout;
    timeout.Message = "timeout";
    log.Add(timeout);
    dock.Poll();
    QCOMPARE(dock.Text().split('\n').size(), 2);

    dock.SetSiteFilter(QString());
    QCOMPARE(dock.Text().split('\n').size(), 6);
    QVERIFY(dock.Text().contains(QStringLiteral("错误=超时 : 超时")));
    dock.Poll();  // nothing new: nothing doubled
    QCOMPARE(dock.Text().split('\n').size(), 6);

    // Many sites, in any order: every entry still arrives.
    for (int i = 40; i > 0; --i)
      log.Write(TLogLevel::Info, "fetch", "page", "http://s" + std::to_string(i) + ".localhost/");
    dock.Poll();
    log.Write(TLogLevel::Info, "fetch", "last one", "http://s7.localhost/");
    dock.Poll();
    QVERIFY(dock.Text().endsWith(QStringLiteral(": last one")));
    QCOMPARE(dock.Sites().size(), 43);
  }

  void englishOnlyWhenTheSettingsAskForIt() {
    testsupport::TempDir dir;
    const std::string ini = (dir / "Gleaner.ini").string();
    QVERIFY(!LogInEnglish(ini));
    testsupport::WriteFile(dir / "Gleaner.ini", "[WINDOW]\r\nLogLanguage=EN\r\n");
    QVERIFY(LogInEnglish(ini));
    TLogEntry entry;
    entry.Level = TLogLevel::Warning;
    entry.Category = "fetch";
    entry.Error = TFetchErrorKind::Tls;
    QVERIFY(QString::fromStdString(LogEntryText(entry, true)).contains(" warning fetch error=tls"));
    QVERIFY(QString::fromStdString(LogEntryText(entry)).contains(" 警告 抓取 错误=证书错误"));
  }
};

}  // namespace

QTEST_MAIN(LogDockTest)
#include "log_dock_test.moc"
