#pragma once
// The result list: a report-style table over the core result table, with a header drawn by
// the control (captions in HeaderFont and a sort arrow), sorting by a header click with a
// Chinese collation, an optional tiled background picture and column-resize events.

#include <unicode/uversion.h>

#include <QAbstractTableModel>
#include <QFont>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/result_table.h"

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

class TJoloListView;

// Item model adapter: rows and cells come straight from the table, so only visible rows are
// ever converted to QString; the table's listener keeps the view in step.
class TResultModel : public QAbstractTableModel, public TResultTableListener {
  Q_OBJECT
 public:
  explicit TResultModel(TJoloListView& view, QObject* parent = nullptr);
  ~TResultModel() override;

  void SetTable(TResultTable* table);
  TResultTable* Table() const { return table_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void BeginInsertRows(std::size_t first, std::size_t last) override;
  void EndInsertRows() override;
  void BeginRemoveRows(std::size_t first, std::size_t last) override;
  void EndRemoveRows() override;
  void BeginReset() override;
  void EndReset() override;
  void RowChanged(std::size_t row) override;

  void HeaderChanged(int column);
  // Columns added or taken away at the end; rows and the selection stay.
  void ResizeColumns(int from, int to, const std::function<void()>& apply);

 private:
  TJoloListView& view_;
  TResultTable* table_ = nullptr;
};

// Paints every section itself: the style's section background, the caption in the list's
// HeaderFont at (left + 6, top + 2) and the sort arrow; reports divider drags.
class TJoloHeader : public QHeaderView {
  Q_OBJECT
 public:
  explicit TJoloHeader(TJoloListView& view);

  // Where the arrow of `section` is drawn: left corner x, top y and bottom y.
  struct TArrow {
    int X = 0;
    int Top = 0;
    int Bottom = 0;
  };
  TArrow ArrowFor(int section, const QRect& rect) const;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The section whose right divider lies under x, or -1.
  int DividerAt(int x) const;
  void SectionResized(int logicalIndex, int oldSize, int newSize);

  TJoloListView& view_;
  int dragSection_ = -1;
  bool dragBegun_ = false;
};

using TLVColumnResizeEvent =
    std::function<void(TJoloListView* sender, int columnindex, int columnwidth)>;

class TJoloListView : public QTableView {
  Q_OBJECT
 public:
  explicit TJoloListView(QWidget* parent = nullptr);
  ~TJoloListView() override;

  // The rows shown; nullptr shows nothing. The table must outlive its use here.
  void SetResultTable(TResultTable* table);
  TResultTable* ResultTable() const { return model_->Table(); }
  TResultModel* ResultModel() const { return model_; }
  TJoloHeader* Header() const { return header_; }

  // Columns: caption, width and the width limits (0 means no limit).
  void SetColumnCount(int count);
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  void SetColumnCaption(int column, const QString& caption);
  QString ColumnCaption(int column) const;
  void SetColumnWidth(int column, int width);
  int ColumnWidth(int column) const;
  void SetColumnMinWidth(int column, int width);
  void SetColumnMaxWidth(int column, int width);
  int ColumnMaxWidth(int column) const;

  const QFont& HeaderFont() const { return headerFont_; }
  void SetHeaderFont(const QFont& font);
  const QPixmap& BackPicture() const { return backPicture_; }
  void SetBackPicture(const QPixmap& picture);

  // The column the rows are sorted by (it carries the arrow) and the direction.
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortDirection_; }
  // A click on header item `column`: a new column keeps the direction, the same one flips it.
  void HeaderClicked(int column);
  // Sorts every row by `column` in the current direction.
  void SortByColumn(int column);
  // Collation order of two GBK texts: negative, zero or positive.
  int CompareTexts(const std::string& a, const std::string& b) const;

  // The selected row (the first of several), or -1; selecting -1 clears the selection.
  int SelectedRow() const;
  void SelectRow(int row);
  // Every selected row that is shown, in no particular order.
  std::vector<int> SelectedRows() const;

  // Shows only the rows with `text` in some cell (any letter case); empty shows every row.
  void SetFilterText(const QString& text);
  const QString& FilterText() const { return filter_; }
  // Rows the filter lets through.
  int ShownRowCount() const;
  // Draws the arrow only once the rows have been sorted by a header click.
  void SetArrowOnlyWhenSorted(bool on);
  bool ArrowOnlyWhenSorted() const { return arrowOnlyWhenSorted_; }
  bool ArrowShown() const { return !arrowOnlyWhenSorted_ || sorted_; }

  // Column index reported with a resize: the item itself when its text is that column's
  // caption, else the first column with that caption, else -1.
  int ResizeColumnIndex(int item, const QString& itemText) const;

  TLVColumnResizeEvent OnBeginColumnResize;
  TLVColumnResizeEvent OnEndColumnResize;
  TLVColumnResizeEvent OnColumnResize;

  virtual void DoBeginColumnResize(int columnindex, int columnwidth);
  virtual void DoEndColumnResize(int columnindex, int columnwidth);
  virtual void DoColumnResize(int columnindex, int columnwidth);

  // Top left corner of the background tiling: follows the first row, so it scrolls.
  QPoint TilingOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class TJoloHeader;
  struct TColumn {
    QString Caption;
    int MinWidth = 0;
    int MaxWidth = 0;
  };
  int ClampedWidth(int column, int width) const;
  bool RowMatchesFilter(int row) const;
  void ApplyFilter(int first, int last);

  std::vector<TColumn> columns_;
  bool sortDirection_ = false;
  int sortColumn_ = 0;
  bool arrowOnlyWhenSorted_ = false;
  bool sorted_ = false;
  QString filter_;
  bool rowsHidden_ = false;  // some row may be hidden by the filter
  QPixmap backPicture_;
  QFont headerFont_;
  TResultModel* model_ = nullptr;
  TJoloHeader* header_ = nullptr;
  std::unique_ptr<icu::Collator> collator_;
};
