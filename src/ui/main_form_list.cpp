// The main window's list commands: edit, delete and undo, copy, browse, the column toggles
// and how the columns share the list's width.

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <algorithm>
#include <array>

#include "core/gbk.h"
#include "run/run_control.h"
#include "ui/dialogs.h"
#include "ui/jolo_list_view.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"
#include "ui/window_prefs.h"

namespace {

struct TColumnDef {
  const char* Caption;
  int Width;
};
constexpr std::array<TColumnDef, 8> kColumns = {{{"公司名称", 120},
                                                 {"网址", 150},
                                                 {"电子邮件", 100},
                                                 {"电话", 80},
                                                 {"传真", 80},
                                                 {"地址", 120},
                                                 {"邮编", 70},
                                                 {"", 0}}};

// Columns that take what the window gains or loses in width, and their weights.
constexpr std::array<std::pair<int, int>, 2> kStretchColumns = {
    {{kColCompanyName, 3}, {kColAddress, 2}}};

QString ColumnCaptionText(int column) {
  return column >= 0 && column < static_cast<int>(kColumns.size())
             ? QString::fromUtf8(kColumns[static_cast<std::size_t>(column)].Caption)
             : QString();
}

}  // namespace

void TMainForm::SetUpListColumns() {
  MainListView->SetColumnCount(static_cast<int>(kColumns.size()));
  for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
    MainListView->SetColumnCaption(c, ColumnCaptionText(c));
    MainListView->SetColumnWidth(c, kColumns[static_cast<std::size_t>(c)].Width);
  }
  MainListView->SetColumnMaxWidth(kColDescription, 1);
}

void TMainForm::RestoreListLayout() {
  // The first window gives the list the room its cells need; later ones come back as left.
  const std::vector<int> widths = SplitNumbers(ReadWindowPref(settingsPath_, "ColumnWidths"));
  const int columns = MainListView->ColumnCount();
  for (int c = 0; c < columns && c < static_cast<int>(widths.size()); ++c)
    if (MainListView->ColumnMaxWidth(c) != 1 && widths[static_cast<std::size_t>(c)] > 0)
      MainListView->SetColumnWidth(c, widths[static_cast<std::size_t>(c)]);
  const std::vector<int> bar = SplitNumbers(ReadWindowPref(settingsPath_, "URLBarWidth"));
  const int barWidth = bar.empty() || bar[0] < 40 ? 200 : bar[0];
  Splitter1->setSizes({barWidth, std::max(width() - barWidth, 200)});
  MainListView->viewport()->installEventFilter(this);
}

void TMainForm::SaveListLayout() {
  if (!ModernWindow() || listLayoutSaved_) return;
  listLayoutSaved_ = true;
  std::vector<int> widths;
  for (int c = 0; c < MainListView->ColumnCount(); ++c)
    widths.push_back(MainListView->ColumnMaxWidth(c) == 1 ? -1 : MainListView->ColumnWidth(c));
  const QList<int> sizes = Splitter1->sizes();
  WriteWindowPrefs(settingsPath_,
                   {{"ColumnWidths", JoinNumbers(widths)},
                    {"URLBarWidth", QString::number(sizes.isEmpty() ? 0 : sizes.first())}});
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // Only sizes the user sees count.
  if (MainListView && watched == MainListView->viewport() && event->type() == QEvent::Resize &&
      ModernWindow() && MainListView->isVisible())
    ShareWidth(MainListView->viewport()->width());
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ShareWidth(int listWidth) {
  // The shown stretch columns take the room the other columns leave, by weight, none below
  // its caption.
  std::vector<std::pair<int, int>> shown;
  int weights = 0;
  int fixed = 0;
  for (int c = 0; c < MainListView->ColumnCount(); ++c) {
    if (MainListView->ColumnMaxWidth(c) == 1) continue;
    const auto stretch = std::find_if(kStretchColumns.begin(), kStretchColumns.end(),
                                      [c](const auto& entry) { return entry.first == c; });
    if (stretch == kStretchColumns.end()) {
      fixed += MainListView->ColumnWidth(c);
      continue;
    }
    shown.emplace_back(c, stretch->second);
    weights += stretch->second;
  }
  if (shown.empty()) return;
  const QFontMetrics metrics(MainListView->HeaderFont());
  const int room = listWidth - fixed;
  for (const auto& [column, weight] : shown) {
    const int minimum =
        std::max(80, metrics.horizontalAdvance(MainListView->ColumnCaption(column)) + 40);
    MainListView->SetColumnWidth(column, std::max(minimum, room * weight / weights));
  }
}

void TMainForm::UpdateFilterCount() {
  const bool filtering = ModernWindow() && !MainListView->FilterText().isEmpty();
  FilterCount->setVisible(filtering);
  if (filtering)
    FilterCount->setText(
        QStringLiteral("%1 / %2").arg(MainListView->ShownRowCount()).arg(results_.RowCount()));
}

void TMainForm::EditActionExecute() {
  const int row = MainListView->SelectedRow();
  if (row < 0) return;
  TEditForm form(
      results_, row, [this](int r) { MainListView->SelectRow(r); }, this, ModernWindow());
  form.SetBeforeWriteBack([this](int r, const TResultRow& before, const TResultRow& after) {
    RecordEdit(r, before, after);
  });
  RunDialog(form);
  editSession_ = false;
  if (form.WroteBack()) state_.Modified = true;
}

void TMainForm::RecordEdit(int row, const TResultRow& before, const TResultRow& after) {
  if (!ModernWindow()) return;
  // One editor session is one step, however many rows it wrote.
  if (!undo_ || undo_->Deletion || !editSession_) {
    undo_ = TUndoStep{};
    editSession_ = true;
  }
  const auto index = static_cast<std::size_t>(row);
  for (std::size_t i = 0; i < undo_->Before.size(); ++i)
    if (undo_->Before[i].first == index) {
      undo_->After[i] = after;
      return;
    }
  undo_->Before.emplace_back(index, before);
  undo_->After.push_back(after);
}

void TMainForm::DelActionExecute() {
  std::vector<int> rows = MainListView->SelectedRows();
  if (rows.empty()) return;
  if (!ModernWindow() && rows.size() > 1 &&
      ShowMessage(GBK("是否删除选中的") + std::to_string(rows.size()) + GBK("条记录?"), GBK("提示"),
                  TMessageIcon::Question, TMessageButtons::YesNoCancel) != TMessageResult::Yes)
    return;
  // From the last to the first, so the indices still to delete stay valid.
  std::sort(rows.rbegin(), rows.rend());
  TUndoStep step;
  step.Deletion = true;
  for (const int row : rows) {
    const auto index = static_cast<std::size_t>(row);
    if (ModernWindow()) step.Before.emplace_back(index, results_.Row(index));
    results_.DeleteRow(index);
  }
  state_.Modified = true;
  if (ModernWindow()) {
    std::reverse(step.Before.begin(), step.Before.end());
    undo_ = std::move(step);
    editSession_ = false;
    statusBar()->showMessage(
        QStringLiteral("已删除 %1 条记录，可用“编辑 › 撤销”(Ctrl+Z)恢复").arg(rows.size()), 10000);
  }
  // A count already on show follows the deletion at once.
  if (!statusPanels_[3]->text().isEmpty()) runControl_->ShowRecordCount();
}

void TMainForm::UndoActionExecute() {
  if (!undo_) return;
  TUndoStep step = std::move(*undo_);
  undo_.reset();
  editSession_ = false;
  if (step.Deletion) {
    // Back in their places, whatever came or went since.
    std::vector<TResultRow> rows = results_.Rows();
    for (auto& [index, row] : step.Before)
      rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(index, rows.size())),
                  std::move(row));
    results_.ReplaceRows(std::move(rows));
  } else {
    // Only rows still as the editor left them: a sorted or changed list is not overwritten.
    for (std::size_t i = 0; i < step.Before.size(); ++i) {
      const std::size_t index = step.Before[i].first;
      if (index < results_.RowCount() && results_.Row(index) == step.After[i])
        results_.SetRow(index, std::move(step.Before[i].second));
    }
  }
  state_.Modified = true;
  statusBar()->showMessage(QStringLiteral("已撤销"), 5000);
  if (!statusPanels_[3]->text().isEmpty()) runControl_->ShowRecordCount();
}

void TMainForm::CopyActionExecute() {
  std::vector<int> rows = MainListView->SelectedRows();
  std::sort(rows.begin(), rows.end());
  // One line per record, its fields separated by tabs, as spreadsheets paste them.
  QStringList lines;
  for (const int row : rows) {
    QStringList cells;
    for (const std::string& cell : results_.Row(static_cast<std::size_t>(row)))
      cells << QFromGbk(cell).replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    lines << cells.join('\t');
  }
  if (!lines.isEmpty()) QGuiApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void TMainForm::ShowActionExecute() {
  const int row = MainListView->SelectedRow();
  if (row < 0) return;
  // Addresses come from harvested pages: only web addresses are handed to the system, never
  // files, commands or other schemes. Parsed tolerantly: they may hold spaces or unencoded
  // characters.
  const QUrl url(QFromGbk(gbk::Trim(results_.Cell(static_cast<std::size_t>(row), kColWebAddress))),
                 QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty())
    return;
  OpenLink(url, QStringLiteral("网址"));
}

void TMainForm::MainListViewContextPopup(const QPoint& pos) {
  UpdateActions();
  ListPopupMenu->popup(MainListView->viewport()->mapToGlobal(pos));
}

void TMainForm::SetColumnsShown(bool shown, std::initializer_list<TColumnShare> columns) {
  const int listWidth = MainListView->width();
  for (const auto [column, share] : columns) {
    // A hidden column is held at width 0 with a one-pixel limit and no caption.
    MainListView->SetColumnMaxWidth(column, shown ? 0 : 1);
    MainListView->SetColumnMinWidth(column, 0);
    MainListView->SetColumnWidth(column, shown ? listWidth * share / 72 : 0);
    MainListView->SetColumnCaption(column, shown ? ColumnCaptionText(column) : QString());
  }
}

void TMainForm::ShowLeadColumns(bool shown) {
  leadColumns_ = shown;
  MainListView->SetColumnCount(static_cast<int>(shown ? kResultColumnCount : kColumns.size()));
  MainListView->SetColumnCaption(kColDescription, shown ? QStringLiteral("描述") : QString());
  MainListView->SetColumnMaxWidth(kColDescription, shown ? 0 : 1);
  MainListView->SetColumnWidth(kColDescription, shown ? 150 : 0);
  if (!shown) return;
  MainListView->SetColumnCaption(kColPhoneKind, QStringLiteral("号码类型"));
  MainListView->SetColumnWidth(kColPhoneKind, 70);
  MainListView->SetColumnCaption(kColPhonePlace, QStringLiteral("所在地"));
  MainListView->SetColumnWidth(kColPhonePlace, 90);
}

void TMainForm::N34Click() {
  SetColumnsShown(N34->isChecked(), {{2, 10}});
}

void TMainForm::N35Click() {
  SetColumnsShown(N35->isChecked(), {{3, 8}, {4, 8}});
}

void TMainForm::N36Click() {
  SetColumnsShown(N36->isChecked(), {{5, 12}, {6, 7}});
}
