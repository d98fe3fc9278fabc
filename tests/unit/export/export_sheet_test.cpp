#include "core/export_sheet.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "core/gbk.h"
#include "core/log.h"
#include "core/result_table.h"
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

namespace {

// Records what an export asks of its sink, in order.
struct TRecordingSink : TExportSink {
  std::vector<std::string> calls;
  void SetCaption(const std::string& utf8) override { calls.push_back("caption " + utf8); }
  void SetColumnWidth(int column, double width) override {
    calls.push_back("width " + std::to_string(column) + " " + std::to_string(int(width)));
  }
  void SetWrap(int column, bool wrap) override {
    calls.push_back("wrap " + std::to_string(column) + " " + (wrap ? "1" : "0"));
  }
  void SetCell(int row, int column, const std::string& utf8) override {
    calls.push_back("cell " + std::to_string(row) + " " + std::to_string(column) + " " + utf8);
  }
  void Show() override { calls.push_back("show"); }
};

}  // namespace

TEST(ExportSheet, SinkGetsCaptionColumnsHeaderCellsThenShowOnce) {
  auto rows = OneRow();
  rows.push_back(TExportRow{G("北京精工机床制造厂"), "", "", "", "", "", "", ""});
  TRecordingSink sink;
  ExportRows(rows, sink);
  auto& c = sink.calls;
  ASSERT_EQ(c.size(), 1u + 14u + 21u + 1u);
  EXPECT_EQ(c.front(), "caption 导出公司信息数据");
  EXPECT_EQ(c[1], "width 0 15");
  EXPECT_EQ(c[2], "wrap 0 1");
  EXPECT_EQ(c[13], "width 6 15");
  EXPECT_EQ(c[15], "cell 0 0 公司名称");
  EXPECT_EQ(c[21], "cell 0 6 邮编");
  EXPECT_EQ(c[22], "cell 1 0 上海海德机械有限公司");
  EXPECT_EQ(c[28], "cell 1 6 201203");
  // Empty cells are still written as text; the description column never appears.
  EXPECT_EQ(c[30], "cell 2 1 ");
  EXPECT_EQ(c.back(), "show");
  for (const auto& call : c) EXPECT_EQ(call.find("描述不导出"), std::string::npos);
}

TEST(ExportSheet, XlsxSinkShowsTheFinishedFileAndCarriesTheTitle) {
  testsupport::TempDir dir;
  const auto path = dir / "shown.xlsx";
  std::string shown;
  bool complete = false;
  {
    TXlsxExportSink sink(path.string(), [&](const std::string& p) {
      shown = p;
      complete = !ZipMember(path, "xl/worksheets/sheet1.xml").empty();
    });
    ExportRows(OneRow(), sink);
  }
  EXPECT_EQ(shown, path.string());
  EXPECT_TRUE(complete);
  EXPECT_NE(ZipMember(path, "docProps/core.xml").find("导出公司信息数据"), std::string::npos);
  EXPECT_NE(ZipMember(path, "xl/styles.xml").find("wrapText=\"1\""), std::string::npos);
}

TEST(ExportSheet, CsvCellsThatWouldBeFormulasStayTextAndAFailedExportKeepsTheOldFile) {
  testsupport::TempDir dir;
  const auto path = dir / "out.csv";
  auto rows = OneRow();
  rows[0][0] = "=HYPERLINK(\"http://x\")";
  rows[0][2] = "@SUM(A1)";
  rows[0][3] = "+86-21-1234";
  rows[0][4] = "-1";
  rows[0][5] = "\tx";
  rows[0][6] = "\ry";
  ExportToCsv(rows, path.string());
  const std::string csv = testsupport::ReadFile(path);
  EXPECT_NE(csv.find("\r\n\"'=HYPERLINK(\"\"http://x\"\")\",http://www.haide.localhost/"
                     "contact.html,'@SUM(A1),'+86-21-1234,'-1,'\tx,\"'\ry\"\r\n"),
            std::string::npos)
      << csv;

  // A write that fails half-way, as on a full disk, leaves the earlier export whole.
  std::vector<TExportRow> big(20000, OneRow()[0]);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit limited = old;
  limited.rlim_cur = 4096;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  EXPECT_THROW(ExportToCsv(big, path.string()), EExportError);
  EXPECT_THROW(ExportToXlsx(big, (dir / "out.xlsx").string()), EExportError);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(testsupport::ReadFile(path), csv);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(ExportSheet, AnOverlongValueIsCutInTheWorkbookWithAMarkAndALogLineButKeptWholeInCsv) {
  testsupport::TempDir dir;
  auto rows = OneRow();
  rows.push_back(OneRow()[0]);
  std::string address;
  for (int i = 0; i < 40000; ++i) address += G("地");
  rows[1][5] = address;
  rows[0][1] = std::string(32767, 'w');  // exactly a full cell: untouched
  const uint64_t before = TLog::Global().LastSeq();
  ExportToXlsx(rows, (dir / "long.xlsx").string());
  const std::string sheet = ZipMember(dir / "long.xlsx", "xl/worksheets/sheet1.xml");
  std::string cut;
  for (int i = 0; i < 32766; ++i) cut += "地";
  EXPECT_NE(sheet.find(">" + cut + "…<"), std::string::npos);
  EXPECT_NE(sheet.find(">" + std::string(32767, 'w') + "<"), std::string::npos);
  EXPECT_NE(sheet.find("<row r=\"3\""), std::string::npos);  // the rows around it are there
  EXPECT_NE(sheet.find("上海市浦东新区张江路1号"), std::string::npos);
  std::vector<std::string> lines;
  for (const auto& e : TLog::Global().Since(before))
    if (e.Category == "export") lines.push_back(e.Message);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("row 2 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("地址"), std::string::npos) << lines[0];

  ExportToCsv(rows, (dir / "long.csv").string());
  EXPECT_NE(testsupport::ReadFile(dir / "long.csv").find(gbk::ToUtf8(address) + ",201203"),
            std::string::npos);
}

namespace {

// The rows of an exported file as another program reads them, one JSON list per row.
std::vector<std::string> ReadBack(const std::filesystem::path& file) {
  // The system's interpreter, which has the distribution's openpyxl.
  const std::string python =
      std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const std::string cmd =
      python + " " VELTRA_FIXTURE_DIR "/../support/read_back_sheets.py '" + file.string() + "'";
  std::vector<std::string> lines;
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << cmd;
  }
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(out.substr(at, end - at));
  return lines;
}

}  // namespace

TEST(ExportSheet, LeadColumnsAndBothCsvFlavoursReadBackByOtherPrograms) {
  testsupport::TempDir dir;
  TResultTable table;
  table.AppendRow({G("=宏达\"机械\""), "http://www.hd.localhost/", "hd@hd.cn",
                   "+86 571 8765 4321 13812345678", "0571-87654322", G("北京市,海淀区\n1号"),
                   "010020", G("宏达机械-首页")});
  TExportChoice choice;
  choice.LeadColumns = true;
  ExportTable(table, (dir / "a.xlsx").string(), choice);
  ExportTable(table, (dir / "excel.csv").string(), choice);
  choice.Flavour = TCsvFlavour::Plain;
  ExportTable(table, (dir / "plain.CSV").string(), choice);

  const std::string header =
      R"(["公司名称", "网址", "电子邮件", "电话", "传真", "地址", "邮编", "描述", "号码类型", "所在地"])";
  const std::string exact =
      R"(["=宏达\"机械\"", "http://www.hd.localhost/", "hd@hd.cn", "+86 571 8765 4321 13812345678", )"
      R"("0571-87654322", "北京市,海淀区\n1号", "010020", "宏达机械-首页", "固话、手机", "杭州市、江苏省"])";
  EXPECT_EQ(ReadBack(dir / "a.xlsx"), (std::vector<std::string>{header, exact}));
  EXPECT_EQ(ReadBack(dir / "plain.CSV"), (std::vector<std::string>{header, exact}));
  EXPECT_EQ(testsupport::ReadFile(dir / "plain.CSV").substr(0, 3), "\xE5\x85\xAC");  // no mark
  // For a spreadsheet, values that would be formulas keep their apostrophe.
  EXPECT_EQ(
      ReadBack(dir / "excel.csv"),
      (std::vector<std::string>{
          header, R"(["'=宏达\"机械\"", "http://www.hd.localhost/", "hd@hd.cn", )"
                  R"("'+86 571 8765 4321 13812345678", "0571-87654322", "北京市,海淀区\n1号", )"
                  R"("010020", "宏达机械-首页", "固话、手机", "杭州市、江苏省"])"}));

  // Without the lead columns, today's file exactly.
  choice = {};
  ExportTable(table, (dir / "today.csv").string(), choice);
  ExportToCsv(table.Rows(), (dir / "before.csv").string());
  EXPECT_EQ(testsupport::ReadFile(dir / "today.csv"), testsupport::ReadFile(dir / "before.csv"));
}
