#pragma once
// The log in a dock of the main window: what every fetch and worker reported, newest last,
// filterable by site. Polls the log once a second; keeps the latest entries only.

#include <QDockWidget>
#include <cstdint>
#include <deque>

#include "core/log.h"

class QComboBox;
class QPlainTextEdit;
class QTimer;

class TLogDock : public QDockWidget {
  Q_OBJECT
 public:
  static constexpr std::size_t kKeptEntries = 5000;

  explicit TLogDock(TLog& log, QWidget* parent = nullptr);

  // Takes the entries added since the last poll (the timer calls this).
  void Poll();
  // Shows only the entries of `site`; an empty site shows all.
  void SetSiteFilter(const QString& site);
  QString Text() const;
  QStringList Sites() const;

 private:
  void AddSite(const QString& site);
  bool Shown(const TLogEntry& entry) const;
  void Rebuild();

  TLog& log_;
  uint64_t lastSeq_ = 0;
  std::deque<TLogEntry> entries_;
  QString site_;
  QComboBox* siteBox_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QTimer* timer_ = nullptr;
};
