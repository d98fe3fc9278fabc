#include "core/export_sheet.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"

using testsupport::G;

namespace {

// Text of one member of the written .xlsx package.
std::string ZipMember(const std::filesystem::path& zip, const std::string& member) {
  std::string cmd = "unzip -p '" + zip.string() + "' " + member;
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

std::vector<TExportRow> OneRow() {
  return {TExportRow{G("上海海德机械有限公司"), "http://www.haide.localhost/contact.html",
                     "sales@haide.localhost", "021-12345678", "021-12345679",
                     G("上海市浦东新区张江路1号"), "201203", G("描述不导出")}};
}

}  // namespace

TEST(ExportSheet, XlsxHasHeaderRowAndSevenColumnsWithoutTheDescription) {
  testsupport::TempDir dir;
  const auto path = dir / "out.xlsx";
  ExportToXlsx(OneRow(), path.string());
  const std::string sheet = ZipMember(path, "xl/worksheets/sheet1.xml");
  ASSERT_FALSE(sheet.empty());
  for (const char* text :
       {"公司名称", "网址", "电子邮件", "电话", "传真", "地址", "邮编", "上海海德机械有限公司",
        "sales@haide.localhost", "201203", "上海市浦东新区张江路1号"})
    EXPECT_NE(sheet.find(text), std::string::npos) << text;
  EXPECT_EQ(sheet.find("描述不导出"), std::string::npos);
  EXPECT_NE(sheet.find("<row r=\"2\""), std::string::npos);
  EXPECT_EQ(sheet.find("<row r=\"3\""), std::string::npos);
  EXPECT_NE(sheet.find("width=\"15"), std::string::npos);
}

TEST(ExportSheet, CsvIsUtf8WithBomAndQuotesWhereNeeded) {
  testsupport::TempDir dir;
  auto rows = OneRow();
  rows[0][5] = G("北京市\"海淀\"区,1号");
  ExportToCsv(rows, (dir / "out.csv").string());
  const std::string csv = testsupport::ReadFile(dir / "out.csv");
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBF公司名称,网址,电子邮件,电话,传真,地址,邮编\r\n", 0), 0u);
  EXPECT_NE(csv.find(",\"北京市\"\"海淀\"\"区,1号\",201203\r\n"), std::string::npos);
  EXPECT_EQ(csv.find("描述不导出"), std::string::npos);
}

TEST(ExportSheet, UnwritablePathRaisesAReadableError) {
  testsupport::TempDir dir;
  const auto path = dir / "missing-dir" / "out.xlsx";
  EXPECT_THROW(ExportToXlsx(OneRow(), path.string()), EExportError);
  EXPECT_THROW(ExportToCsv(OneRow(), path.string()), EExportError);
}
