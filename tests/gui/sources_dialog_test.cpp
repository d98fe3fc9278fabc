// The options dialog and the keyword wizard list every search source of the registry;
// today's sources with their host or base URL go to [SOURCES] and [SOURCEHOST].

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/global_set.h"
#include "core/ini_file.h"
#include "test_support.h"
#include "ui/dialogs.h"

class SourcesDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void optionsShowAndSaveTodaysSources() {
    testsupport::TempDir dir;
    const std::string path = (dir / "Gleaner.ini").string();
    TGlobalSet settings;
    settings.SourceUse = {{"Bing", true}};
    settings.SourceHost = {{"Bing", "bing.localhost:81"}};
    TSettingsStore store;
    TOptionForm form({settings, store, path});
    form.SetQuestionAsker([](QWidget*, const QString&) { return true; });  // lists left empty
    auto* bing = form.findChild<QCheckBox*>(QStringLiteral("SourceBing"));
    auto* sogou = form.findChild<QCheckBox*>(QStringLiteral("SourceSogou"));
    auto* sogouHost = form.findChild<QLineEdit*>(QStringLiteral("SourceHostSogou"));
    QVERIFY(bing && sogou && sogouHost);
    QVERIFY(bing->isChecked());
    QVERIFY(!sogou->isChecked());  // settings made in code leave today's sources off
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("SourceHostBing"))->text(),
             QStringLiteral("bing.localhost:81"));
    QCOMPARE(form.findChild<QCheckBox*>(QStringLiteral("CheckBox9"))->text(),
             QStringLiteral("百度"));

    sogou->setChecked(true);
    sogouHost->setText(QStringLiteral(" http://sogou.localhost:82 "));
    form.findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
    TIniFile ini;
    QVERIFY(ini.LoadFile(path));
    QCOMPARE(ini.ReadString("SOURCES", "Sogou").value_or(""), std::string("1"));
    QCOMPARE(ini.ReadString("SOURCES", "DuckDuckGo").value_or(""), std::string("0"));
    QCOMPARE(ini.ReadString("SOURCEHOST", "Sogou").value_or(""),
             std::string("http://sogou.localhost:82"));
    QCOMPARE(ini.ReadString("SEARCH", "PaceMs").value_or(""), std::string("2000"));
    QVERIFY(store.Snapshot()->SourceUse.at("Sogou"));

    // The default button restores the sources as the registry ships them.
    TOptionForm again({settings, store, path});
    again.findChild<QPushButton*>(QStringLiteral("DefaultButton"))->click();
    QVERIFY(again.findChild<QCheckBox*>(QStringLiteral("SourceDuckDuckGo"))->isChecked());
    QVERIFY(!again.findChild<QCheckBox*>(QStringLiteral("SourceSearXNG"))->isChecked());
  }
};

QTEST_MAIN(SourcesDialogTest)
#include "sources_dialog_test.moc"
