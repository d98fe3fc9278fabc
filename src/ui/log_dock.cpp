#include "ui/log_dock.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "run/status_texts.h"

TLogDock::TLogDock(TLog& log, QWidget* parent)
    : QDockWidget(QStringLiteral("日志"), parent), log_(log) {
  setObjectName(QStringLiteral("LogDock"));
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 2, 4, 2);
  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel(QStringLiteral("网站:"), body));
  siteBox_ = new QComboBox(body);
  siteBox_->setObjectName(QStringLiteral("LogSiteBox"));
  siteBox_->addItem(QStringLiteral("全部"), QString());
  siteBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  siteBox_->setMinimumContentsLength(24);
  // Many sites: typing part of a name finds it.
  siteBox_->setEditable(true);
  siteBox_->setInsertPolicy(QComboBox::NoInsert);
  siteBox_->completer()->setFilterMode(Qt::MatchContains);
  siteBox_->completer()->setCompletionMode(QCompleter::PopupCompletion);
  bar->addWidget(siteBox_);
  auto* clear = new QPushButton(QStringLiteral("清除"), body);
  bar->addWidget(clear);
  bar->addStretch();
  layout->addLayout(bar);
  text_ = new QPlainTextEdit(body);
  text_->setObjectName(QStringLiteral("LogText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setMaximumBlockCount(static_cast<int>(kKeptEntries));
  layout->addWidget(text_);
  setWidget(body);

  connect(siteBox_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetSiteFilter(siteBox_->itemData(index).toString()); });
  connect(clear, &QPushButton::clicked, this, [this] {
    entries_.clear();
    text_->clear();
  });
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &TLogDock::Poll);
  timer_->start();
  Poll();
}

void TLogDock::Poll() {
  std::vector<TLogEntry> fresh = log_.Since(lastSeq_);
  if (fresh.empty()) return;
  lastSeq_ = fresh.back().Seq;
  // A view left at the end follows the new entries (Qt's own check fails once a long line
  // brings the horizontal scroll bar).
  QScrollBar* bar = text_->verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum() - 2;
  for (auto& entry : fresh) {
    const QString site = QString::fromStdString(entry.Site);
    if (!site.isEmpty() && siteBox_->findData(site) < 0) AddSite(site);
    if (Shown(entry)) text_->appendPlainText(QString::fromStdString(LogEntryText(entry)));
    entries_.push_back(std::move(entry));
  }
  while (entries_.size() > kKeptEntries) entries_.pop_front();
  if (atEnd) bar->setValue(bar->maximum());
}

void TLogDock::AddSite(const QString& site) {
  // Sorted after "全部", which stays first.
  int at = 1;
  while (at < siteBox_->count() && siteBox_->itemText(at).compare(site, Qt::CaseInsensitive) < 0)
    ++at;
  const QString current = siteBox_->currentText();
  siteBox_->insertItem(at, site, site);
  // Inserting moves the index, never the choice or what is being typed.
  if (siteBox_->currentText() != current) siteBox_->setEditText(current);
}

void TLogDock::SetSiteFilter(const QString& site) {
  if (site == site_) return;
  site_ = site;
  const int index = siteBox_->findData(site);
  if (index >= 0 && index != siteBox_->currentIndex()) siteBox_->setCurrentIndex(index);
  Rebuild();
}

bool TLogDock::Shown(const TLogEntry& entry) const {
  return site_.isEmpty() || QString::fromStdString(entry.Site) == site_;
}

void TLogDock::Rebuild() {
  QStringList lines;
  for (const auto& entry : entries_)
    if (Shown(entry)) lines << QString::fromStdString(LogEntryText(entry));
  text_->setPlainText(lines.join(QLatin1Char('\n')));
}

QString TLogDock::Text() const {
  return text_->toPlainText();
}

QStringList TLogDock::Sites() const {
  QStringList sites;
  for (int i = 1; i < siteBox_->count(); ++i) sites << siteBox_->itemData(i).toString();
  return sites;
}
