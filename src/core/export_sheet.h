#pragma once
// Export of the result rows to a spreadsheet: the seven columns company name, web address,
// e-mail, telephone, fax, address, postcode (the description is not exported), a header row,
// every value as text, columns 15 wide with wrapped text.

#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// One result row in column order (GBK): company, web address, e-mail, telephone, fax,
// address, postcode, description.
using TExportRow = std::array<std::string, 8>;

class EExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The seven header texts, UTF-8.
const std::array<std::string, 7>& ExportHeaders();

// Where an export goes: the sheet's caption (the workbook title), column widths and wrapping,
// cells as text (UTF-8, row 0 is the header row), and finally showing the result.
class TExportSink {
 public:
  virtual ~TExportSink() = default;
  virtual void SetCaption(const std::string& utf8) = 0;
  virtual void SetColumnWidth(int column, double width) = 0;
  virtual void SetWrap(int column, bool wrap) = 0;
  virtual void SetCell(int row, int column, const std::string& utf8) = 0;
  virtual void Show() = 0;
};

// Fills a sink: caption, the seven columns 15 wide with wrapped text, the header row, one row
// per result row, then Show.
void ExportRows(const std::vector<TExportRow>& rows, TExportSink& sink);

// A sink writing an .xlsx workbook with libxlsxwriter. Show completes the file and then calls
// `onShow` with its path (the window opens it with the default handler). Errors throw
// EExportError with a readable text.
class TXlsxExportSink final : public TExportSink {
 public:
  explicit TXlsxExportSink(std::string path,
                           std::function<void(const std::string&)> onShow = nullptr);
  ~TXlsxExportSink() override;
  TXlsxExportSink(const TXlsxExportSink&) = delete;
  TXlsxExportSink& operator=(const TXlsxExportSink&) = delete;

  void SetCaption(const std::string& utf8) override;
  void SetColumnWidth(int column, double width) override;
  void SetWrap(int column, bool wrap) override;
  void SetCell(int row, int column, const std::string& utf8) override;
  void Show() override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// Writes an .xlsx workbook; throws EExportError with a readable text on failure.
void ExportToXlsx(const std::vector<TExportRow>& rows, const std::string& path);
// Writes CSV in UTF-8 with a byte-order mark, fields quoted where needed.
void ExportToCsv(const std::vector<TExportRow>& rows, const std::string& path);
