#pragma once
// Where the main window opens: a stored place that still fits the screen, else the default
// size (shrunk on small or scaled screens) in the middle. Stored in the settings file,
// section WINDOW, key Geometry ("x,y,width,height" plus ",max" when maximised).

#include <QRect>
#include <QSize>
#include <string>

class QWidget;

// The rectangle to open in: `stored` when it lies on `available` with its title bar reachable
// and is not larger than it; otherwise `preferred`, cut to the available area, centred.
QRect FitWindowRect(const QRect& stored, const QSize& preferred, const QRect& available);

// Places `window` as stored in the settings file at `iniPath` (or centred at `preferred`).
void RestoreWindowGeometry(QWidget& window, const QSize& preferred, const std::string& iniPath);
// Stores the window's place; a file that cannot be written is left as it was.
void SaveWindowGeometry(const QWidget& window, const std::string& iniPath);
