// The Veltra window. "--screenshot FILE [TASK]" (for the documentation) opens the task file
// if one is given, saves a picture of the window to FILE and exits.

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "run/run_control.h"
#include "ui/main_form.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  const qsizetype shotAt = args.indexOf(QStringLiteral("--screenshot"));

  TMainForm form;
  form.show();
  if (shotAt < 0 || shotAt + 1 >= args.size()) return QApplication::exec();

  const QString shotFile = args[shotAt + 1];
  if (shotAt + 2 < args.size()) {
    form.RunControl().OpenTask(QFile::encodeName(args[shotAt + 2]).toStdString());
    form.State().Modified = false;
  }
  int result = 1;
  QTimer::singleShot(500, &form, [&] {
    result = form.grab().save(shotFile) ? 0 : 1;
    QApplication::exit(result);
  });
  QApplication::exec();
  return result;
}
