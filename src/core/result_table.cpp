#include "core/result_table.h"

#include <algorithm>
#include <stdexcept>

#include "core/packed_text.h"
#include "core/phone_numbers.h"
#include "core/program_state.h"

TResultRow RowFromCompany(const TCompanyObject& record) {
  return {record.CompanyName, record.WebAddress, record.Email,    record.Telephone,
          record.Fax,         record.Address,    record.PostCode, record.Description};
}

TPackedRow::TPackedRow() : bytes_(std::tuple_size_v<TResultRow>, '\0') {}

TPackedRow::TPackedRow(const TResultRow& row) {
  std::size_t size = 0;
  for (const auto& field : row) size += packed::PackedSize(field);
  bytes_.resize(size);
  char* to = bytes_.data();
  for (const auto& field : row) to = packed::Put(to, field);
}

std::string_view TPackedRow::Field(std::size_t column) const {
  if (column >= std::tuple_size_v<TResultRow>)
    throw std::out_of_range("result column out of range");
  return packed::Nth(bytes_.data(), column);
}

TResultRow TPackedRow::Unpack() const {
  TResultRow row;
  const char* from = bytes_.data();
  for (auto& field : row) field = packed::Next(from);
  return row;
}

TResultTable::TResultTable() = default;
TResultTable::~TResultTable() = default;

const TPhoneNumbers& TResultTable::Phones() const {
  if (!phones_) phones_ = std::make_unique<TPhoneNumbers>(region_);
  return *phones_;
}

void TResultTable::SetPhoneRegion(std::string_view region) {
  if (region == region_) return;
  region_ = std::string(region);
  phones_.reset();
  for (auto& d : derived_) d.reset();
}

std::vector<TResultRow> TResultTable::Rows() const {
  std::vector<TResultRow> rows;
  rows.reserve(rows_.size());
  for (const auto& row : rows_) rows.push_back(row.Unpack());
  return rows;
}

std::string_view TResultTable::Text(std::size_t row, std::size_t column) const {
  if (column < std::tuple_size_v<TResultRow>) return CellView(row, column);
  if (column >= kResultColumnCount) throw std::out_of_range("result column out of range");
  std::unique_ptr<TDerived>& d = derived_.at(row);
  if (!d) {
    const TPackedRow& r = rows_[row];
    TPhoneColumns columns = PhoneColumns(Phones(), r.Field(kColTelephone), r.Field(kColFax));
    d = std::make_unique<TDerived>(TDerived{std::move(columns.Kind), std::move(columns.Place)});
  }
  return column == kColPhoneKind ? d->Kind : d->Place;
}

void TResultTable::AssignIds(std::size_t first) {
  ids_.resize(first);
  while (ids_.size() < rows_.size()) ids_.push_back(nextId_++);
  derived_.resize(rows_.size());
}

void TResultTable::AppendRow(TResultRow row) {
  const std::size_t at = rows_.size();
  if (listener_) listener_->BeginInsertRows(at, at);
  rows_.emplace_back(row);
  AssignIds(at);
  if (listener_) listener_->EndInsertRows();
}

void TResultTable::AppendRows(std::vector<TResultRow> rows) {
  if (rows.empty()) return;
  const std::size_t first = rows_.size();
  if (listener_) listener_->BeginInsertRows(first, first + rows.size() - 1);
  rows_.reserve(first + rows.size());
  for (const auto& row : rows) rows_.emplace_back(row);
  AssignIds(first);
  if (listener_) listener_->EndInsertRows();
}

void TResultTable::SetRow(std::size_t row, TResultRow values) {
  rows_.at(row) = TPackedRow(values);
  derived_[row].reset();
  Changed();
  if (listener_) listener_->RowChanged(row);
}

void TResultTable::SetCell(std::size_t row, std::size_t column, std::string value) {
  TResultRow values = rows_.at(row).Unpack();
  values.at(column) = std::move(value);
  rows_[row] = TPackedRow(values);
  derived_[row].reset();
  Changed();
  if (listener_) listener_->RowChanged(row);
}

void TResultTable::DeleteRow(std::size_t row) {
  if (row >= rows_.size()) throw std::out_of_range("result row out of range");
  if (listener_) listener_->BeginRemoveRows(row, row);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  derived_.erase(derived_.begin() + static_cast<std::ptrdiff_t>(row));
  ids_.erase(ids_.begin() + static_cast<std::ptrdiff_t>(row));
  Changed();
  if (listener_) listener_->EndRemoveRows();
}

void TResultTable::Clear() {
  ReplaceRows(std::vector<TPackedRow>());
}

void TResultTable::ReplaceRows(std::vector<TResultRow> rows) {
  std::vector<TPackedRow> packed;
  packed.reserve(rows.size());
  for (auto& row : rows) {
    packed.emplace_back(row);
    row = {};  // the unpacked text goes as its packed form comes
  }
  rows.clear();
  ReplaceRows(std::move(packed));
}

void TResultTable::ReplaceRows(std::vector<TPackedRow> rows) {
  if (listener_) listener_->BeginReset();
  rows_ = std::move(rows);
  derived_.clear();
  AssignIds(0);
  Changed();
  if (listener_) listener_->EndReset();
}

void TResultTable::Sort(const std::function<bool(const TResultRow&, const TResultRow&)>& less) {
  const std::vector<TResultRow> rows = Rows();
  std::vector<std::size_t> order(rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return less(rows[a], rows[b]); });
  Reorder(order);
}

void TResultTable::Reorder(const std::vector<std::size_t>& order) {
  std::vector<bool> seen(rows_.size());
  for (std::size_t from : order) {
    if (from >= rows_.size() || seen[from]) throw std::invalid_argument("not an order of the rows");
    seen[from] = true;
  }
  if (order.size() != rows_.size()) throw std::invalid_argument("not an order of the rows");
  std::vector<TPackedRow> rows;
  std::vector<std::unique_ptr<TDerived>> derived;
  std::vector<uint64_t> ids;
  rows.reserve(order.size());
  derived.reserve(order.size());
  ids.reserve(order.size());
  for (std::size_t from : order) {
    rows.push_back(std::move(rows_[from]));
    derived.push_back(std::move(derived_[from]));
    ids.push_back(ids_[from]);
  }
  if (listener_) listener_->BeginReset();
  rows_ = std::move(rows);
  derived_ = std::move(derived);
  ids_ = std::move(ids);
  Changed();
  if (listener_) listener_->EndReset();
}
