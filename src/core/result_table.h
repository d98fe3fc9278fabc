#pragma once
// The result rows shown in the window: eight GBK strings per row in column order. The GUI
// shows the table through a model; the listener lets it follow every change.

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct TCompanyObject;

// Company name, web address, e-mail, telephone, fax, address, postcode, description.
using TResultRow = std::array<std::string, 8>;

enum TResultColumn : std::size_t {
  kColCompanyName = 0,
  kColWebAddress,
  kColEmail,
  kColTelephone,
  kColFax,
  kColAddress,
  kColPostCode,
  kColDescription,
};

// A record's fields in the row's column order.
TResultRow RowFromCompany(const TCompanyObject& record);

// Notified around every change, in the begin/end pairs an item model needs.
class TResultTableListener {
 public:
  virtual ~TResultTableListener() = default;
  virtual void BeginInsertRows(std::size_t first, std::size_t last) = 0;
  virtual void EndInsertRows() = 0;
  virtual void BeginRemoveRows(std::size_t first, std::size_t last) = 0;
  virtual void EndRemoveRows() = 0;
  virtual void BeginReset() = 0;
  virtual void EndReset() = 0;
  virtual void RowChanged(std::size_t row) = 0;
};

// Used by the GUI thread only.
class TResultTable {
 public:
  TResultTable() = default;
  TResultTable(const TResultTable&) = delete;
  TResultTable& operator=(const TResultTable&) = delete;

  void SetListener(TResultTableListener* listener) { listener_ = listener; }

  std::size_t RowCount() const { return rows_.size(); }
  const TResultRow& Row(std::size_t row) const { return rows_.at(row); }
  const std::string& Cell(std::size_t row, std::size_t column) const {
    return rows_.at(row).at(column);
  }
  const std::vector<TResultRow>& Rows() const { return rows_; }

  void AppendRow(TResultRow row);
  void AppendRows(std::vector<TResultRow> rows);
  void SetRow(std::size_t row, TResultRow values);
  void SetCell(std::size_t row, std::size_t column, std::string value);
  void DeleteRow(std::size_t row);
  void Clear();
  // Replaces every row at once (opening a task).
  void ReplaceRows(std::vector<TResultRow> rows);
  // Stable sort with the caller's ordering (the list view brings the collation).
  void Sort(const std::function<bool(const TResultRow&, const TResultRow&)>& less);

 private:
  std::vector<TResultRow> rows_;
  TResultTableListener* listener_ = nullptr;
};
