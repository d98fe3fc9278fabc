#include "core/export_sheet.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "core/atomic_file.h"
#include "core/gbk.h"
#include "core/log.h"
#include "core/result_table.h"

namespace {

constexpr int kColumns = 7;
// Columns a sink keeps widths and wrapping for (the seven and the lead columns).
constexpr int kMaxColumns = 10;
constexpr const char* kSheetTitle = "导出公司信息数据";

struct WorkbookCloser {
  void operator()(lxw_workbook* wb) const {
    if (wb) workbook_close(wb);
  }
};

void Check(lxw_error err, const std::string& what) {
  if (err != LXW_NO_ERROR) throw EExportError(what + ": " + lxw_strerror(err));
}

// A spreadsheet cell holds at most this many characters (UTF-16 code units).
constexpr std::size_t kCellMaxUnits = 32767;
constexpr std::string_view kCutMark = "\xE2\x80\xA6";  // "…"

// The value cut so that it fits a cell with the mark, at a character boundary; nullopt when it
// fits as it is. `units` receives the value's length in UTF-16 code units.
std::optional<std::string> CutToCell(const std::string& utf8, std::size_t& units) {
  units = utf8.size();
  if (units <= kCellMaxUnits) return std::nullopt;  // never more units than bytes
  units = 0;
  std::size_t keep = 0;  // bytes of the characters that fit beside the mark
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = lead < 0x80    ? 1
                            : lead >= 0xF0 ? 4
                            : lead >= 0xE0 ? 3
                            : lead >= 0xC0 ? 2
                                           : 1;
    units += len == 4 ? 2 : 1;
    i = std::min(utf8.size(), i + len);
    if (units <= kCellMaxUnits - 1) keep = i;
  }
  if (units <= kCellMaxUnits) return std::nullopt;
  return utf8.substr(0, keep) + std::string(kCutMark);
}

// RFC 4180: quoted only when needed, quotes doubled, nothing else touched.
std::string PlainCsvField(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvField(std::string utf8) {
  // A spreadsheet would take a cell starting like this as a formula: the apostrophe keeps
  // it text.
  if (!utf8.empty() && std::string_view("=+-@\t\r").find(utf8[0]) != std::string_view::npos)
    utf8.insert(0, 1, '\'');
  return PlainCsvField(utf8);
}

}  // namespace

const std::array<std::string, 7>& ExportHeaders() {
  static const std::array<std::string, 7> headers = {"公司名称", "网址", "电子邮件", "电话",
                                                     "传真",     "地址", "邮编"};
  return headers;
}

void ExportRows(const std::vector<TExportRow>& rows, TExportSink& sink) {
  sink.SetCaption(kSheetTitle);
  for (int c = 0; c < kColumns; ++c) {
    sink.SetColumnWidth(c, 15);
    sink.SetWrap(c, true);
  }
  const auto& headers = ExportHeaders();
  for (int c = 0; c < kColumns; ++c) sink.SetCell(0, c, headers[c]);
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < kColumns; ++c)
      sink.SetCell(static_cast<int>(r + 1), c, gbk::ToUtf8(rows[r][c]));
  sink.Show();
}

struct TXlsxExportSink::TImpl {
  ~TImpl() {
    Workbook.reset();
    if (!TempPath.empty()) ::unlink(TempPath.c_str());
  }

  std::string Path;
  // The workbook is written here, beside the target, and renamed over it once complete.
  std::string TempPath;
  std::filesystem::path Target;
  std::function<void(const std::string&)> OnShow;
  std::unique_ptr<lxw_workbook, WorkbookCloser> Workbook;
  lxw_worksheet* Sheet = nullptr;
  lxw_format* Wrap = nullptr;
  std::string Caption;
  std::array<double, kMaxColumns> Widths{};
  std::array<bool, kMaxColumns> Wrapped{};
  bool ColumnsSet = false;

  // Column formats must reach the sheet before its first row (rows stream to disk).
  void ApplyColumns() {
    if (ColumnsSet) return;
    ColumnsSet = true;
    for (lxw_col_t c = 0; c < kMaxColumns; ++c) {
      if (c >= kColumns && Widths[c] <= 0 && !Wrapped[c]) continue;
      Check(worksheet_set_column(Sheet, c, c, Widths[c] > 0 ? Widths[c] : LXW_DEF_COL_WIDTH,
                                 Wrapped[c] ? Wrap : nullptr),
            Path);
    }
  }
};

TXlsxExportSink::TXlsxExportSink(std::string path, std::function<void(const std::string&)> onShow)
    : impl_(std::make_unique<TImpl>()) {
  impl_->Path = std::move(path);
  impl_->OnShow = std::move(onShow);
  impl_->Target = SaveTarget(impl_->Path);
  RemoveStaleTemporaries(impl_->Target);
  const int fd = CreateTemporaryBeside(impl_->Target, impl_->TempPath);
  if (fd < 0) {
    impl_->TempPath.clear();
    throw EExportError("Cannot create the workbook " + impl_->Path + ": " + std::strerror(errno));
  }
  ::close(fd);
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;  // rows are written in order; keeps memory flat
  impl_->Workbook.reset(workbook_new_opt(impl_->TempPath.c_str(), &options));
  if (!impl_->Workbook) throw EExportError("Cannot create the workbook " + impl_->Path);
  impl_->Sheet = workbook_add_worksheet(impl_->Workbook.get(), nullptr);
  impl_->Wrap = workbook_add_format(impl_->Workbook.get());
  if (!impl_->Sheet || !impl_->Wrap)
    throw EExportError("Cannot create the worksheet in " + impl_->Path);
  format_set_text_wrap(impl_->Wrap);
}

TXlsxExportSink::~TXlsxExportSink() = default;

void TXlsxExportSink::SetCaption(const std::string& utf8) {
  impl_->Caption = utf8;
}

void TXlsxExportSink::SetColumnWidth(int column, double width) {
  if (column >= 0 && column < kMaxColumns) impl_->Widths[column] = width;
}

void TXlsxExportSink::SetWrap(int column, bool wrap) {
  if (column >= 0 && column < kMaxColumns) impl_->Wrapped[column] = wrap;
}

void TXlsxExportSink::SetCell(int row, int column, const std::string& utf8) {
  impl_->ApplyColumns();
  const bool wrap = column >= 0 && column < kMaxColumns && impl_->Wrapped[column];
  // One overlong value must not cost the whole workbook: it is cut where the cell ends.
  std::size_t units = 0;
  const std::optional<std::string> cut = CutToCell(utf8, units);
  if (cut) {
    const std::string header =
        column >= 0 && column < kColumns ? ExportHeaders()[column] : std::to_string(column + 1);
    TLog::Global().Write(TLogLevel::Warning, "export",
                         "row " + std::to_string(row) + " (sheet row " + std::to_string(row + 1) +
                             "), column " + header + ": " + std::to_string(units) +
                             " characters, cut to " + std::to_string(kCellMaxUnits),
                         impl_->Path);
  }
  Check(worksheet_write_string(impl_->Sheet, static_cast<lxw_row_t>(row),
                               static_cast<lxw_col_t>(column), (cut ? *cut : utf8).c_str(),
                               wrap ? impl_->Wrap : nullptr),
        impl_->Path);
}

void TXlsxExportSink::Show() {
  if (!impl_->Workbook) return;
  impl_->ApplyColumns();
  lxw_doc_properties props = {};
  props.title = impl_->Caption.data();
  workbook_set_properties(impl_->Workbook.get(), &props);
  lxw_error err = workbook_close(impl_->Workbook.release());
  if (err != LXW_NO_ERROR)
    throw EExportError("Cannot write " + impl_->Path + ": " + lxw_strerror(err));
  const int renameErr = RenameOver(impl_->TempPath, impl_->Target);
  impl_->TempPath.clear();
  if (renameErr != 0)
    throw EExportError("Cannot write " + impl_->Path + ": " + std::strerror(renameErr));
  if (impl_->OnShow) impl_->OnShow(impl_->Path);
}

void ExportToXlsx(const std::vector<TExportRow>& rows, const std::string& path) {
  TXlsxExportSink sink(path);
  ExportRows(rows, sink);
}

void ExportToCsv(const std::vector<TExportRow>& rows, const std::string& path) {
  std::string out = "\xEF\xBB\xBF";
  const auto& headers = ExportHeaders();
  for (int c = 0; c < kColumns; ++c) out += (c ? "," : "") + CsvField(headers[c]);
  out += "\r\n";
  for (const auto& row : rows) {
    for (int c = 0; c < kColumns; ++c) out += (c ? "," : "") + CsvField(gbk::ToUtf8(row[c]));
    out += "\r\n";
  }
  // Through a temporary file: a failed write keeps an earlier export of the same name.
  const int err = ReplaceFile(path, out);
  if (err != 0) throw EExportError("Cannot write " + path + ": " + std::strerror(err));
}

namespace {

std::string CsvLine(const std::vector<std::string>& cells, TCsvFlavour flavour) {
  std::string line;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (c) line += ',';
    line += flavour == TCsvFlavour::Plain ? PlainCsvField(cells[c]) : CsvField(cells[c]);
  }
  return line + "\r\n";
}

// Result columns in export order.
std::vector<std::size_t> ExportColumns(bool leadColumns) {
  std::vector<std::size_t> columns = {kColCompanyName, kColWebAddress, kColEmail,   kColTelephone,
                                      kColFax,         kColAddress,    kColPostCode};
  if (leadColumns) columns.insert(columns.end(), {kColDescription, kColPhoneKind, kColPhonePlace});
  return columns;
}

}  // namespace

std::vector<std::string> ExportTableHeaders(bool leadColumns) {
  const auto& seven = ExportHeaders();
  std::vector<std::string> headers(seven.begin(), seven.end());
  if (leadColumns) headers.insert(headers.end(), {"描述", "号码类型", "所在地"});
  return headers;
}

void ExportTableTo(const TResultTable& table, TExportSink& sink, bool leadColumns) {
  // Cell by cell from the table: no copy of its rows is made.
  const std::vector<std::string> headers = ExportTableHeaders(leadColumns);
  const std::vector<std::size_t> columns = ExportColumns(leadColumns);
  const int count = static_cast<int>(columns.size());
  sink.SetCaption(kSheetTitle);
  for (int c = 0; c < count; ++c) {
    sink.SetColumnWidth(c, 15);
    sink.SetWrap(c, true);
  }
  for (int c = 0; c < count; ++c) sink.SetCell(0, c, headers[static_cast<std::size_t>(c)]);
  for (std::size_t r = 0; r < table.RowCount(); ++r)
    for (int c = 0; c < count; ++c)
      sink.SetCell(static_cast<int>(r + 1), c,
                   gbk::ToUtf8(table.Text(r, columns[static_cast<std::size_t>(c)])));
  sink.Show();
}

void ExportTableToCsv(const TResultTable& table, const std::string& path,
                      const TExportChoice& choice) {
  std::string out = choice.Flavour == TCsvFlavour::Excel ? "\xEF\xBB\xBF" : "";
  out += CsvLine(ExportTableHeaders(choice.LeadColumns), choice.Flavour);
  const std::vector<std::size_t> columns = ExportColumns(choice.LeadColumns);
  std::vector<std::string> cells(columns.size());
  for (std::size_t r = 0; r < table.RowCount(); ++r) {
    for (std::size_t c = 0; c < columns.size(); ++c)
      cells[c] = gbk::ToUtf8(table.Text(r, columns[c]));
    out += CsvLine(cells, choice.Flavour);
  }
  const int err = ReplaceFile(path, out);
  if (err != 0) throw EExportError("Cannot write " + path + ": " + std::strerror(err));
}

void ExportTable(const TResultTable& table, const std::string& path, const TExportChoice& choice) {
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.ends_with(".csv")) return ExportTableToCsv(table, path, choice);
  TXlsxExportSink sink(path);
  ExportTableTo(table, sink, choice.LeadColumns);
}
