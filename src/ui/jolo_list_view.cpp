#include "ui/jolo_list_view.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <algorithm>
#include <numeric>

#include "core/gbk.h"
#include "ui/qt_text.h"

namespace {

icu::UnicodeString UnicodeFromGbk(std::string_view gbkText) {
  return icu::UnicodeString::fromUTF8(gbk::ToUtf8(gbkText));
}

}  // namespace

TResultModel::TResultModel(TJoloListView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {}

TResultModel::~TResultModel() {
  if (table_) table_->SetListener(nullptr);
}

void TResultModel::SetTable(TResultTable* table) {
  beginResetModel();
  if (table_) table_->SetListener(nullptr);
  table_ = table;
  if (table_) table_->SetListener(this);
  endResetModel();
}

int TResultModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !table_) return 0;
  return static_cast<int>(table_->RowCount());
}

int TResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : view_.ColumnCount();
}

QVariant TResultModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !table_ || !index.isValid()) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const auto column = static_cast<std::size_t>(index.column());
  if (row >= table_->RowCount() || column >= kResultColumnCount) return {};
  return QFromGbk(table_->Text(row, column));
}

QVariant TResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return view_.ColumnCaption(section);
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TResultModel::BeginInsertRows(std::size_t first, std::size_t last) {
  beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void TResultModel::EndInsertRows() {
  endInsertRows();
}

void TResultModel::BeginRemoveRows(std::size_t first, std::size_t last) {
  beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void TResultModel::EndRemoveRows() {
  endRemoveRows();
}

void TResultModel::BeginReset() {
  beginResetModel();
}

void TResultModel::EndReset() {
  endResetModel();
}

void TResultModel::RowChanged(std::size_t row) {
  const int r = static_cast<int>(row);
  emit dataChanged(index(r, 0), index(r, std::max(columnCount() - 1, 0)));
}

void TResultModel::ResizeColumns(int from, int to, const std::function<void()>& apply) {
  if (to > from) {
    beginInsertColumns(QModelIndex(), from, to - 1);
    apply();
    endInsertColumns();
  } else if (to < from) {
    beginRemoveColumns(QModelIndex(), to, from - 1);
    apply();
    endRemoveColumns();
  } else {
    apply();
  }
}

void TResultModel::HeaderChanged(int column) {
  emit headerDataChanged(Qt::Horizontal, column, column);
}

TJoloHeader::TJoloHeader(TJoloListView& view) : QHeaderView(Qt::Horizontal, &view), view_(view) {
  connect(this, &QHeaderView::sectionResized, this, &TJoloHeader::SectionResized);
}

TJoloHeader::TArrow TJoloHeader::ArrowFor(int section, const QRect& rect) const {
  const QString caption =
      model() ? model()->headerData(section, Qt::Horizontal).toString() : QString();
  const QFontMetrics metrics(view_.HeaderFont());
  TArrow arrow;
  arrow.X = rect.left() + metrics.horizontalAdvance(caption) + 15;
  arrow.Top = rect.top() + 5;
  // The bottom edge is exclusive, as the item rectangle of the native header was.
  arrow.Bottom = rect.top() + rect.height() - 5;
  return arrow;
}

void TJoloHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.rect = rect;
  option.section = logicalIndex;
  option.position = QStyleOptionHeader::Middle;
  option.text.clear();
  option.sortIndicator = QStyleOptionHeader::None;
  style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);

  painter->save();
  painter->setClipRect(rect);
  const QString caption = model()->headerData(logicalIndex, Qt::Horizontal).toString();
  const QFontMetrics metrics(view_.HeaderFont());
  painter->setFont(view_.HeaderFont());
  painter->setPen(palette().color(QPalette::WindowText));
  painter->drawText(rect.left() + 6, rect.top() + 2 + metrics.ascent(), caption);

  if (logicalIndex == view_.SortColumn() && view_.ArrowShown()) {
    const TArrow a = ArrowFor(logicalIndex, rect);
    const QColor highlight = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (view_.SortAscending()) {
      painter->setPen(highlight);
      painter->drawLine(a.X, a.Bottom, a.X + 8, a.Bottom);
      painter->drawLine(a.X + 8, a.Bottom, a.X + 4, a.Top);
      painter->setPen(shadow);
      painter->drawLine(a.X + 4, a.Top, a.X, a.Bottom);
    } else {
      painter->setPen(shadow);
      painter->drawLine(a.X, a.Top, a.X + 8, a.Top);
      painter->setPen(highlight);
      painter->drawLine(a.X + 8, a.Top, a.X + 4, a.Bottom);
      painter->setPen(shadow);
      painter->drawLine(a.X + 4, a.Bottom, a.X, a.Top);
    }
  }
  painter->restore();
}

int TJoloHeader::DividerAt(int x) const {
  const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
  // The divider of a section is its right edge; a point just left of a section's start
  // belongs to the divider of the visible section before it.
  for (int visual = count() - 1; visual >= 0; --visual) {
    const int logical = logicalIndex(visual);
    if (isSectionHidden(logical)) continue;
    const int right = sectionViewportPosition(logical) + sectionSize(logical);
    if (x >= right - grip && x <= right + grip) {
      return sectionResizeMode(logical) == QHeaderView::Interactive ? logical : -1;
    }
  }
  return -1;
}

void TJoloHeader::mousePressEvent(QMouseEvent* event) {
  const int divider =
      event->button() == Qt::LeftButton ? DividerAt(event->position().toPoint().x()) : -1;
  QHeaderView::mousePressEvent(event);
  if (divider < 0) return;
  dragSection_ = divider;
  dragBegun_ = true;
  const QString text = model() ? model()->headerData(divider, Qt::Horizontal).toString() : "";
  view_.DoBeginColumnResize(view_.ResizeColumnIndex(divider, text), sectionSize(divider));
}

void TJoloHeader::mouseReleaseEvent(QMouseEvent* event) {
  QHeaderView::mouseReleaseEvent(event);
  if (!dragBegun_) return;
  const int section = dragSection_;
  dragBegun_ = false;
  dragSection_ = -1;
  const QString text = model() ? model()->headerData(section, Qt::Horizontal).toString() : "";
  view_.DoEndColumnResize(view_.ResizeColumnIndex(section, text), sectionSize(section));
}

void TJoloHeader::SectionResized(int logicalIndex, int, int newSize) {
  const int clamped = view_.ClampedWidth(logicalIndex, newSize);
  if (clamped != newSize) {
    resizeSection(logicalIndex, clamped);
    return;  // the corrected size reports itself
  }
  if (dragBegun_ && logicalIndex == dragSection_) {
    const QString text = model()->headerData(logicalIndex, Qt::Horizontal).toString();
    view_.DoColumnResize(view_.ResizeColumnIndex(logicalIndex, text), newSize);
  }
}

TJoloListView::TJoloListView(QWidget* parent) : QTableView(parent) {
  header_ = new TJoloHeader(*this);
  setHorizontalHeader(header_);
  model_ = new TResultModel(*this, this);
  setModel(model_);

  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  header_->setSectionsClickable(true);
  header_->setHighlightSections(false);
  header_->setStretchLastSection(false);
  header_->setMinimumSectionSize(0);
  header_->setSortIndicatorShown(false);
  header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setSortingEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  // The selection stays visible when the list loses the focus.
  QPalette pal = palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
  setPalette(pal);

  connect(header_, &QHeaderView::sectionClicked, this, &TJoloListView::HeaderClicked);
  // Rows that arrive or come back after a reset meet the filter too.
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { ApplyFilter(first, last); });
  connect(model_, &QAbstractItemModel::modelReset, this,
          [this] { ApplyFilter(0, model_->rowCount() - 1); });

  UErrorCode status = U_ZERO_ERROR;
  collator_.reset(icu::Collator::createInstance(icu::Locale("zh"), status));
  if (U_FAILURE(status)) {
    collator_.reset();
  } else {
    collator_->setStrength(icu::Collator::TERTIARY);  // letter case counts
  }
}

TJoloListView::~TJoloListView() {
  model_->SetTable(nullptr);
}

void TJoloListView::SetResultTable(TResultTable* table) {
  model_->SetTable(table);
}

void TJoloListView::SetColumnCount(int count) {
  const int to = std::max(count, 0);
  model_->ResizeColumns(ColumnCount(), to, [&] { columns_.resize(static_cast<std::size_t>(to)); });
  // Selected rows stay whole rows over the new columns.
  if (QItemSelectionModel* selection = selectionModel(); selection && selection->hasSelection())
    selection->select(selection->selection(),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TJoloListView::SetColumnCaption(int column, const QString& caption) {
  if (column < 0 || column >= ColumnCount()) return;
  columns_[static_cast<std::size_t>(column)].Caption = caption;
  model_->HeaderChanged(column);
}

QString TJoloListView::ColumnCaption(int column) const {
  if (column < 0 || column >= ColumnCount()) return {};
  return columns_[static_cast<std::size_t>(column)].Caption;
}

int TJoloListView::ClampedWidth(int column, int width) const {
  if (column < 0 || column >= ColumnCount()) return width;
  const TColumn& c = columns_[static_cast<std::size_t>(column)];
  if (c.MaxWidth > 0) width = std::min(width, c.MaxWidth);
  return std::max(width, c.MinWidth);
}

void TJoloListView::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  header_->resizeSection(column, ClampedWidth(column, std::max(width, 0)));
}

int TJoloListView::ColumnWidth(int column) const {
  return header_->sectionSize(column);
}

void TJoloListView::SetColumnMinWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  columns_[static_cast<std::size_t>(column)].MinWidth = std::max(width, 0);
  SetColumnWidth(column, ColumnWidth(column));
}

void TJoloListView::SetColumnMaxWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  columns_[static_cast<std::size_t>(column)].MaxWidth = std::max(width, 0);
  SetColumnWidth(column, ColumnWidth(column));
}

int TJoloListView::ColumnMaxWidth(int column) const {
  if (column < 0 || column >= ColumnCount()) return 0;
  return columns_[static_cast<std::size_t>(column)].MaxWidth;
}

void TJoloListView::SetHeaderFont(const QFont& font) {
  headerFont_ = font;
  header_->viewport()->update();
}

void TJoloListView::SetBackPicture(const QPixmap& picture) {
  backPicture_ = picture;
  viewport()->update();
}

void TJoloListView::HeaderClicked(int column) {
  sorted_ = true;
  if (column != sortColumn_)
    sortColumn_ = column;
  else
    sortDirection_ = !sortDirection_;
  SortByColumn(column);
  header_->viewport()->update();
}

int TJoloListView::CompareTexts(const std::string& a, const std::string& b) const {
  const icu::UnicodeString ua = UnicodeFromGbk(a);
  const icu::UnicodeString ub = UnicodeFromGbk(b);
  if (!collator_) return ua.compare(ub);
  UErrorCode status = U_ZERO_ERROR;
  return static_cast<int>(collator_->compare(ua, ub, status));
}

void TJoloListView::SortByColumn(int column) {
  TResultTable* table = ResultTable();
  if (!table || table->RowCount() == 0) return;
  const int selected = SelectedRow();
  const std::size_t count = table->RowCount();
  const auto col = static_cast<std::size_t>(column);
  const bool hasColumn = column >= 0 && col < kResultColumnCount;

  // One collation key per row, then a sort of the keys' byte strings: the same order as
  // comparing the texts pairwise, without converting each text once per comparison.
  std::vector<std::string> keys(count);
  std::vector<uint8_t> buffer(256);
  for (std::size_t i = 0; i < count && hasColumn; ++i) {
    const icu::UnicodeString text = UnicodeFromGbk(table->Text(i, col));
    if (!collator_) {
      text.toUTF8String(keys[i]);
      continue;
    }
    int32_t length =
        collator_->getSortKey(text, buffer.data(), static_cast<int32_t>(buffer.size()));
    if (length > static_cast<int32_t>(buffer.size())) {
      buffer.resize(static_cast<std::size_t>(length));
      length = collator_->getSortKey(text, buffer.data(), length);
    }
    keys[i].assign(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(length));
  }

  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (sortDirection_)
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  else
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[b] < keys[a]; });

  table->Reorder(order);
  // Reordering the rows resets the model; the selected record stays selected at its new place.
  if (selected >= 0) {
    const auto at = std::find(order.begin(), order.end(), static_cast<std::size_t>(selected));
    SelectRow(static_cast<int>(at - order.begin()));
  }
}

int TJoloListView::SelectedRow() const {
  const std::vector<int> rows = SelectedRows();
  return rows.empty() ? -1 : *std::min_element(rows.begin(), rows.end());
}

std::vector<int> TJoloListView::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  // A range selected across filtered rows includes them; only shown rows count.
  for (const QModelIndex& index : selectionModel()->selectedRows())
    if (!isRowHidden(index.row())) rows.push_back(index.row());
  return rows;
}

void TJoloListView::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    clearSelection();
    return;
  }
  const QModelIndex index = model_->index(row, 0);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

void TJoloListView::SetFilterText(const QString& text) {
  if (text == filter_) return;
  filter_ = text;
  ApplyFilter(0, model_->rowCount() - 1);
}

bool TJoloListView::RowMatchesFilter(int row) const {
  if (filter_.isEmpty()) return true;
  const TResultTable* table = model_->Table();
  if (!table || row < 0 || static_cast<std::size_t>(row) >= table->RowCount()) return true;
  for (const std::string& cell : table->Row(static_cast<std::size_t>(row)))
    if (QFromGbk(cell).contains(filter_, Qt::CaseInsensitive)) return true;
  return false;
}

void TJoloListView::ApplyFilter(int first, int last) {
  // Without a filter, rows arriving during a run cost nothing here.
  if (filter_.isEmpty() && !rowsHidden_) return;
  for (int row = first; row <= last; ++row) setRowHidden(row, !RowMatchesFilter(row));
  rowsHidden_ = !filter_.isEmpty();
}

void TJoloListView::SetArrowOnlyWhenSorted(bool on) {
  arrowOnlyWhenSorted_ = on;
  header_->viewport()->update();
}

int TJoloListView::ResizeColumnIndex(int item, const QString& itemText) const {
  if (item >= 0 && item < ColumnCount() && ColumnCaption(item) == itemText) return item;
  for (int c = 0; c < ColumnCount(); ++c)
    if (ColumnCaption(c) == itemText) return c;
  return -1;
}

void TJoloListView::DoBeginColumnResize(int columnindex, int columnwidth) {
  if (OnBeginColumnResize) OnBeginColumnResize(this, columnindex, columnwidth);
}

void TJoloListView::DoEndColumnResize(int columnindex, int columnwidth) {
  if (OnEndColumnResize) OnEndColumnResize(this, columnindex, columnwidth);
}

void TJoloListView::DoColumnResize(int columnindex, int columnwidth) {
  if (OnColumnResize) OnColumnResize(this, columnindex, columnwidth);
}

QPoint TJoloListView::TilingOrigin() const {
  if (model_->rowCount() == 0) return {0, 0};
  return {-horizontalOffset(), rowViewportPosition(0) - 2};
}

void TJoloListView::paintEvent(QPaintEvent* event) {
  const int w = backPicture_.width();
  const int h = backPicture_.height();
  if (!backPicture_.isNull() && w > 0 && h > 0) {
    QPainter painter(viewport());
    const QPoint origin = TilingOrigin();
    const int width = viewport()->width();
    const int height = viewport()->height();
    // Tiles wholly above or left of the viewport are skipped; the grid stays anchored at
    // the origin.
    int y0 = origin.y();
    if (y0 < -h) y0 += (-y0 / h - 1) * h;
    int x0 = origin.x();
    if (x0 < -w) x0 += (-x0 / w - 1) * w;
    for (int y = y0; y <= height; y += h)
      for (int x = x0; x <= width; x += w) painter.drawPixmap(x, y, backPicture_);
  }
  QTableView::paintEvent(event);
}

int TJoloListView::ShownRowCount() const {
  const int rows = model_->rowCount();
  if (!rowsHidden_) return rows;
  int shown = 0;
  for (int row = 0; row < rows; ++row)
    if (!isRowHidden(row)) ++shown;
  return shown;
}
