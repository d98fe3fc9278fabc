// "veltra --screenshot FILE [TASK]" runs unattended: a picture and exit 0, or an error on the
// error output and a non-zero exit, never a message box waiting for a click.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <filesystem>

#include "test_support.h"

namespace {

struct TShot {
  bool Finished = false;
  int ExitCode = -1;
  QString Errors;
};

class ScreenshotTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testsupport::TempDir> dir_;
  QString exe_;

  QString In(const char* name) const { return QString::fromStdString((*dir_ / name).string()); }

  TShot Run(const QStringList& args) {
    QProcess process;
    process.setProgram(exe_);
    process.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), In("config"));
    env.insert(QStringLiteral("VELTRA_DATA_DIR"), In("data"));
    process.setProcessEnvironment(env);
    process.start();
    TShot shot;
    shot.Finished = process.waitForStarted(10000) && process.waitForFinished(20000);
    if (!shot.Finished) {
      process.kill();
      process.waitForFinished(5000);
      return shot;
    }
    shot.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    shot.Errors = QString::fromUtf8(process.readAllStandardError());
    return shot;
  }

 private slots:
  void init() {
    // A copy beside which the program keeps its settings file, away from the build tree.
    dir_ = std::make_unique<testsupport::TempDir>();
    exe_ = In("veltra");
    QVERIFY(QFile::copy(QStringLiteral(VELTRA_GUI_PATH), exe_));
  }
  void cleanup() { dir_.reset(); }

  // The first start, with no settings file beside the program, makes the user's own from
  // the shipped defaults; a place that cannot hold one is reported and the window still opens.
  void withoutATaskThePictureIsWrittenAndTheFirstStartMakesTheSettingsFile() {
    std::filesystem::create_directory(*dir_ / "data");
    testsupport::WriteFile(*dir_ / "data/default-settings.ini", "[SETTING]\r\nMaxCrawlLevel=3\r\n");
    const TShot shot = Run({QStringLiteral("--screenshot"), In("window.png")});
    QVERIFY(shot.Finished);
    QCOMPARE(shot.ExitCode, 0);
    const QImage image(In("window.png"));
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 300);
    const std::string made = testsupport::ReadFile(*dir_ / "config/veltra/Gleaner.ini");
    QVERIFY2(made.starts_with("[SETTING]\r\nMaxCrawlLevel=3\r\n"), made.c_str());
    QVERIFY(made.find("LIKESETTING=1") != std::string::npos);  // written back on exit

    std::filesystem::remove_all(*dir_ / "config");
    testsupport::WriteFile(*dir_ / "config", "a file where the folder should be");
    const TShot blocked = Run({QStringLiteral("--screenshot"), In("blocked.png")});
    QCOMPARE(blocked.ExitCode, 0);
    QVERIFY2(blocked.Errors.contains(QStringLiteral("无法创建设置文件")),
             qPrintable(blocked.Errors));
    QCOMPARE(testsupport::ReadFile(*dir_ / "config"),
             std::string("a file where the folder should be"));
  }

  void aTaskThatCannotBeOpenedIsReportedAndFails() {
    const TShot missing =
        Run({QStringLiteral("--screenshot"), In("missing.png"), In("no-such-task.vtk")});
    QVERIFY2(missing.Finished, "a message box is waiting");
    QVERIFY(missing.ExitCode != 0);
    QVERIFY2(missing.Errors.contains(QStringLiteral("文件不存在")), qPrintable(missing.Errors));
    QVERIFY(!QFile::exists(In("missing.png")));

    testsupport::WriteFile(*dir_ / "damaged.vtk", "not a task file at all");
    const TShot damaged =
        Run({QStringLiteral("--screenshot"), In("damaged.png"), In("damaged.vtk")});
    QVERIFY2(damaged.Finished, "a message box is waiting");
    QVERIFY(damaged.ExitCode != 0);
    QVERIFY(!damaged.Errors.trimmed().isEmpty());
    QVERIFY(!QFile::exists(In("damaged.png")));
  }
};

}  // namespace

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
