#include "ui/window_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>
#include <algorithm>

#include "core/ini_file.h"

namespace {

constexpr const char* kSection = "WINDOW";
constexpr const char* kKey = "Geometry";

// The screen holding the point, else the primary one.
QRect AvailableAt(const QPoint& point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QRect FitWindowRect(const QRect& stored, const QSize& preferred, const QRect& available) {
  if (available.isEmpty()) return QRect(QPoint(0, 0), preferred);
  // The title bar (the top 30 pixels of the rectangle) must stay where the mouse reaches it.
  const QRect titleBar(stored.topLeft(), QSize(stored.width(), std::min(stored.height(), 30)));
  if (stored.isValid() && stored.width() <= available.width() &&
      stored.height() <= available.height() && available.contains(titleBar.center()))
    return stored;
  QRect fitted(QPoint(0, 0), preferred.boundedTo(available.size()));
  fitted.moveCenter(available.center());
  return fitted;
}

void RestoreWindowGeometry(QWidget& window, const QSize& preferred, const std::string& iniPath) {
  QRect stored;
  bool maximised = false;
  TIniFile ini;
  if (ini.LoadFile(iniPath)) {
    const QStringList parts =
        QString::fromStdString(ini.ReadString(kSection, kKey).value_or("")).split(',');
    if (parts.size() >= 4) {
      bool ok[4] = {};
      stored = QRect(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]),
                     parts[3].toInt(&ok[3]));
      if (!(ok[0] && ok[1] && ok[2] && ok[3])) stored = QRect();
      maximised = parts.size() > 4 && parts[4] == QLatin1String("max");
    }
  }
  const QRect available = AvailableAt(stored.isValid() ? stored.center() : QPoint());
  const QRect rect = FitWindowRect(stored, preferred, available);
  window.resize(rect.size());
  window.move(rect.topLeft());
  if (maximised) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void SaveWindowGeometry(const QWidget& window, const std::string& iniPath) {
  // The frame's corner, as move() takes it; a maximised window keeps its normal place.
  QRect r(window.pos(), window.size());
  if (window.isMaximized() && window.normalGeometry().isValid()) {
    const QPoint frame = window.geometry().topLeft() - window.pos();
    r = QRect(window.normalGeometry().topLeft() - frame, window.normalGeometry().size());
  }
  QString text = QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
  if (window.isMaximized()) text += QStringLiteral(",max");
  try {
    TIniFile ini;
    if (!ini.LoadFile(iniPath)) return;
    ini.WriteString(kSection, kKey, text.toStdString());
    ini.SaveFile(iniPath);
  } catch (const EIniWriteError&) {
    // The next start opens at the default place.
  }
}
