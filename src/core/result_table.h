#pragma once
// The result rows shown in the window: eight GBK strings per row in column order. The GUI
// shows the table through a model; the listener lets it follow every change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TCompanyObject;
class TPhoneNumbers;

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
  // Derived from the telephone and fax cells, never stored: the numbers' kinds and places.
  kColPhoneKind,
  kColPhonePlace,
};
inline constexpr std::size_t kResultColumnCount = kColPhonePlace + 1;

// A record's fields in the row's column order.
TResultRow RowFromCompany(const TCompanyObject& record);

// A row as the table keeps it: the eight fields in one string, each behind its length. A row
// of short or empty fields fits the string itself and needs no heap block.
class TPackedRow {
 public:
  TPackedRow();  // eight empty fields
  explicit TPackedRow(const TResultRow& row);
  // Throws std::out_of_range for a column past the eighth.
  std::string_view Field(std::size_t column) const;
  TResultRow Unpack() const;
  bool operator==(const TPackedRow&) const = default;

 private:
  std::string bytes_;
};

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
  TResultTable();
  ~TResultTable();
  TResultTable(const TResultTable&) = delete;
  TResultTable& operator=(const TResultTable&) = delete;

  void SetListener(TResultTableListener* listener) { listener_ = listener; }

  std::size_t RowCount() const { return rows_.size(); }
  // Rows are stored packed: Row, Cell and Rows give copies, CellView a view that stays valid
  // until the row changes.
  TResultRow Row(std::size_t row) const { return rows_.at(row).Unpack(); }
  std::string Cell(std::size_t row, std::size_t column) const {
    return std::string(CellView(row, column));
  }
  std::string_view CellView(std::size_t row, std::size_t column) const {
    return rows_.at(row).Field(column);
  }
  std::vector<TResultRow> Rows() const;
  // A stored cell, or for kColPhoneKind and kColPhonePlace the derived text (computed on
  // first use and kept until the row changes). The view stays valid until the row changes.
  std::string_view Text(std::size_t row, std::size_t column) const;
  // The region numbers without "+" are read in for the derived columns ("CN" until set).
  void SetPhoneRegion(std::string_view region);
  const TPhoneNumbers& Phones() const;
  // Counts every change other than appending rows (edits, deletions, sorting, replacing),
  // so a reader holding row indices knows when they may have moved.
  uint64_t Revision() const { return revision_; }
  // A number that stays with a row through edits and reordering and is never reused; rows
  // appended next get NextRowId(), NextRowId() + 1, ... in order.
  uint64_t RowId(std::size_t row) const { return ids_.at(row); }
  uint64_t NextRowId() const { return nextId_; }

  void AppendRow(TResultRow row);
  void AppendRows(std::vector<TResultRow> rows);
  void SetRow(std::size_t row, TResultRow values);
  void SetCell(std::size_t row, std::size_t column, std::string value);
  void DeleteRow(std::size_t row);
  void Clear();
  // Replaces every row at once (opening a task).
  void ReplaceRows(std::vector<TResultRow> rows);
  void ReplaceRows(std::vector<TPackedRow> rows);
  // Stable sort with the caller's ordering (the list view brings the collation).
  void Sort(const std::function<bool(const TResultRow&, const TResultRow&)>& less);
  // Puts the rows in the given order: row i becomes the row that was at order[i] (a
  // permutation of every row index).
  void Reorder(const std::vector<std::size_t>& order);

 private:
  struct TDerived {
    std::string Kind;
    std::string Place;
  };
  void Changed() { ++revision_; }

  void AssignIds(std::size_t first);

  std::vector<TPackedRow> rows_;
  std::vector<uint64_t> ids_;  // parallel to rows_
  // Parallel to rows_; made when a row's derived text is first asked for.
  mutable std::vector<std::unique_ptr<TDerived>> derived_;
  mutable std::unique_ptr<TPhoneNumbers> phones_;
  std::string region_ = "CN";
  uint64_t revision_ = 0;
  uint64_t nextId_ = 1;
  TResultTableListener* listener_ = nullptr;
};
