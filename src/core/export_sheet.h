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

class TResultTable;

// CSV for a spreadsheet program (a byte-order mark, and an apostrophe before a value a
// spreadsheet would take for a formula, such as "+86...") or for importing (RFC 4180, UTF-8
// without a mark, every value exactly as listed).
enum class TCsvFlavour { Excel, Plain };

// How the window and the command line export a result table. With LeadColumns the seven
// columns are followed by the description, the numbers' kind and their place.
struct TExportChoice {
  bool LeadColumns = false;
  TCsvFlavour Flavour = TCsvFlavour::Excel;
};

// The header texts (UTF-8) of an export.
std::vector<std::string> ExportTableHeaders(bool leadColumns);
// Fills a sink from a result table (without lead columns: exactly ExportRows).
void ExportTableTo(const TResultTable& table, TExportSink& sink, bool leadColumns);
// Writes CSV from a result table (without lead columns, Excel flavour: exactly ExportToCsv).
void ExportTableToCsv(const TResultTable& table, const std::string& path,
                      const TExportChoice& choice);
// .csv or .xlsx by the path's ending (letter case ignored); throws EExportError.
void ExportTable(const TResultTable& table, const std::string& path, const TExportChoice& choice);
