#pragma once
// Export of the result rows to a spreadsheet: the seven columns company name, web address,
// e-mail, telephone, fax, address, postcode (the description is not exported), a header row,
// every value as text, columns 15 wide with wrapped text.

#include <array>
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

// Writes an .xlsx workbook; throws EExportError with a readable text on failure.
void ExportToXlsx(const std::vector<TExportRow>& rows, const std::string& path);
// Writes CSV in UTF-8 with a byte-order mark, fields quoted where needed.
void ExportToCsv(const std::vector<TExportRow>& rows, const std::string& path);
