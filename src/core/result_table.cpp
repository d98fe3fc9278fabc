#include "core/result_table.h"

#include <algorithm>
#include <stdexcept>

#include "core/program_state.h"

TResultRow RowFromCompany(const TCompanyObject& record) {
  return {record.CompanyName, record.WebAddress, record.Email,    record.Telephone,
          record.Fax,         record.Address,    record.PostCode, record.Description};
}

void TResultTable::AppendRow(TResultRow row) {
  const std::size_t at = rows_.size();
  if (listener_) listener_->BeginInsertRows(at, at);
  rows_.push_back(std::move(row));
  if (listener_) listener_->EndInsertRows();
}

void TResultTable::AppendRows(std::vector<TResultRow> rows) {
  if (rows.empty()) return;
  const std::size_t first = rows_.size();
  if (listener_) listener_->BeginInsertRows(first, first + rows.size() - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  if (listener_) listener_->EndInsertRows();
}

void TResultTable::SetRow(std::size_t row, TResultRow values) {
  rows_.at(row) = std::move(values);
  if (listener_) listener_->RowChanged(row);
}

void TResultTable::SetCell(std::size_t row, std::size_t column, std::string value) {
  rows_.at(row).at(column) = std::move(value);
  if (listener_) listener_->RowChanged(row);
}

void TResultTable::DeleteRow(std::size_t row) {
  if (row >= rows_.size()) throw std::out_of_range("result row out of range");
  if (listener_) listener_->BeginRemoveRows(row, row);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  if (listener_) listener_->EndRemoveRows();
}

void TResultTable::Clear() {
  ReplaceRows({});
}

void TResultTable::ReplaceRows(std::vector<TResultRow> rows) {
  if (listener_) listener_->BeginReset();
  rows_ = std::move(rows);
  if (listener_) listener_->EndReset();
}

void TResultTable::Sort(const std::function<bool(const TResultRow&, const TResultRow&)>& less) {
  if (listener_) listener_->BeginReset();
  std::stable_sort(rows_.begin(), rows_.end(), less);
  if (listener_) listener_->EndReset();
}
