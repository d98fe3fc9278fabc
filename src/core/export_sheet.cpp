#include "core/export_sheet.h"

#include <xlsxwriter.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "core/gbk.h"

namespace {

constexpr int kColumns = 7;
constexpr const char* kSheetTitle = "导出公司信息数据";

struct WorkbookCloser {
  void operator()(lxw_workbook* wb) const {
    if (wb) workbook_close(wb);
  }
};

void Check(lxw_error err, const std::string& what) {
  if (err != LXW_NO_ERROR) throw EExportError(what + ": " + lxw_strerror(err));
}

std::string CsvField(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

const std::array<std::string, 7>& ExportHeaders() {
  static const std::array<std::string, 7> headers = {"公司名称", "网址", "电子邮件", "电话",
                                                     "传真",     "地址", "邮编"};
  return headers;
}

void ExportToXlsx(const std::vector<TExportRow>& rows, const std::string& path) {
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;  // rows are written in order; keeps memory flat
  std::unique_ptr<lxw_workbook, WorkbookCloser> wb(workbook_new_opt(path.c_str(), &options));
  if (!wb) throw EExportError("Cannot create the workbook " + path);
  lxw_doc_properties props = {};
  props.title = const_cast<char*>(kSheetTitle);
  workbook_set_properties(wb.get(), &props);
  lxw_worksheet* sheet = workbook_add_worksheet(wb.get(), nullptr);
  lxw_format* wrap = workbook_add_format(wb.get());
  if (!sheet || !wrap) throw EExportError("Cannot create the worksheet in " + path);
  format_set_text_wrap(wrap);
  Check(worksheet_set_column(sheet, 0, kColumns - 1, 15, wrap), path);
  const auto& headers = ExportHeaders();
  for (int c = 0; c < kColumns; ++c)
    Check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), headers[c].c_str(), wrap),
          path);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const std::string text = gbk::ToUtf8(rows[r][c]);
      Check(worksheet_write_string(sheet, static_cast<lxw_row_t>(r + 1), static_cast<lxw_col_t>(c),
                                   text.c_str(), wrap),
            path);
    }
  }
  lxw_error err = workbook_close(wb.release());
  if (err != LXW_NO_ERROR) throw EExportError("Cannot write " + path + ": " + lxw_strerror(err));
}

void ExportToCsv(const std::vector<TExportRow>& rows, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EExportError("Cannot create " + path);
  out << "\xEF\xBB\xBF";
  const auto& headers = ExportHeaders();
  for (int c = 0; c < kColumns; ++c) out << (c ? "," : "") << CsvField(headers[c]);
  out << "\r\n";
  for (const auto& row : rows) {
    for (int c = 0; c < kColumns; ++c) out << (c ? "," : "") << CsvField(gbk::ToUtf8(row[c]));
    out << "\r\n";
  }
  out.flush();
  if (!out) throw EExportError("Cannot write " + path);
}
