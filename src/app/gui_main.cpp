// The Veltra window. "--screenshot FILE [TASK]" (for the documentation and the install
// check) opens the task file if one is given, saves a picture of the window to FILE and exits.

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "core/gbk.h"
#include "core/global_set.h"
#include "core/log.h"
#include "core/process_memory.h"
#include "run/app_root.h"
#include "run/run_control.h"
#include "ui/main_form.h"
#include "ui/window_geometry.h"

#ifdef VELTRA_HAVE_BROWSER
#include "browser/page_renderer.h"
#endif

namespace {

// The window as the screenshot mode runs it: nobody is there to answer a message box, so
// messages go to the error output and questions are cancelled.
class TUnattendedForm : public TMainForm {
 public:
  using TMainForm::TMainForm;
  TMessageResult ShowMessage(const std::string& text, const std::string& caption, TMessageIcon,
                             TMessageButtons buttons) override {
    std::fprintf(stderr, "veltra: %s: %s\n", gbk::ToUtf8(caption).c_str(),
                 gbk::ToUtf8(text).c_str());
    return buttons == TMessageButtons::YesNoCancel ? TMessageResult::Cancel : TMessageResult::Ok;
  }
};

// A settings file that could not be used is reported once the window is up; the program goes
// on with the defaults.
void ReportSettingsProblem(TMainForm& form, const TSettingsStart& start) {
  if (start.Problem.empty()) return;
  TLog::Global().Write(TLogLevel::Warning, "settings", start.Problem, start.Path);
  form.ShowMessage(gbk::FromUtf8(start.Problem), GBK("提示"), TMessageIcon::Warning);
}

// A settings file that exists but cannot be read ends the start with a message: running on
// the built-in defaults could send requests where the user's settings say not to.
int SettingsErrorExit(const std::string& utf8, bool unattended) {
  TLog::Global().Write(TLogLevel::Error, "settings", utf8);
  if (unattended) {
    std::fprintf(stderr, "veltra: %s\n", utf8.c_str());
  } else {
    QMessageBox::critical(
        nullptr, QStringLiteral("错误"),
        QString::fromStdString(utf8) + QStringLiteral("\n\n请修复或移走该文件后再启动程序。"));
  }
  return 2;
}

int TakeScreenshot(const TSettingsStart& start, const QString& shotFile,
                   const QStringList& taskArgs) {
  if (!start.Error.empty()) return SettingsErrorExit(start.Error, true);
  TUnattendedForm form(start);
  form.show();
  ReportSettingsProblem(form, start);
  if (!taskArgs.isEmpty()) {
    if (!form.RunControl().OpenTask(QFile::encodeName(taskArgs.first()).toStdString())) return 1;
    form.State().Modified = false;
  }
  int result = 1;
  QTimer::singleShot(500, &form, [&] {
    result = form.grab().save(shotFile) ? 0 : 1;
    if (result != 0)
      std::fprintf(stderr, "veltra: cannot write %s\n", QFile::encodeName(shotFile).constData());
    QApplication::exit(result);
  });
  QApplication::exec();
  return result;
}

// Qt's own texts (file dialogs, standard buttons, context menus of text fields) in Chinese.
void InstallQtTranslation(QApplication& app, QTranslator& translator) {
  if (translator.load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&translator);
}

int RunWindow(const TSettingsStart& start) {
#ifdef VELTRA_HAVE_BROWSER
  // Declared before the window: its run control joins the workers that may be waiting on it.
  TWebPageRenderer renderer;
#endif
  TMainForm form(start);
#ifdef VELTRA_HAVE_BROWSER
  form.Root().SetPageRenderer(&renderer);
#endif
  const bool remember = form.GlobalSet().FlagModernWindow;
  if (remember) RestoreWindowGeometry(form, form.size(), form.SettingsPath());
  form.show();
  QTimer::singleShot(0, &form, [&] { ReportSettingsProblem(form, start); });
  const int code = QApplication::exec();
  if (remember) SaveWindowGeometry(form, form.SettingsPath());
  return code;
}

}  // namespace

int main(int argc, char* argv[]) {
  ReturnLargeBlocksToSystem();
#ifdef VELTRA_HAVE_BROWSER
  PrepareBrowserEnvironment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltra.png")));
  QGuiApplication::setDesktopFileName(QStringLiteral("veltra"));  // ties windows to veltra.desktop
  const TSettingsStart start = PrepareSettingsFile(true);
  QTranslator qtTranslator;
  InstallQtTranslation(app, qtTranslator);
  const QStringList args = QApplication::arguments();
  const qsizetype shotAt = args.indexOf(QStringLiteral("--screenshot"));
  try {
    if (shotAt >= 0 && shotAt + 1 < args.size())
      return TakeScreenshot(start, args[shotAt + 1], args.mid(shotAt + 2, 1));
    if (!start.Error.empty()) return SettingsErrorExit(start.Error, false);
    return RunWindow(start);
  } catch (const ESettingsReadError& e) {
    return SettingsErrorExit(e.what(), shotAt >= 0);
  }
}
