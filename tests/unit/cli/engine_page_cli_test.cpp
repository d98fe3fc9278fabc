// veltra-cli engine-page, run as a black box on saved result pages.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "test_support.h"

using testsupport::RunCli;
using testsupport::TCliRun;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Fixture(const std::string& name) {
  return std::string("'") + VELTRA_FIXTURE_DIR + "/engines/" + name + "'";
}

}  // namespace

TEST(EnginePageCli, BaiduPagePrintsCountPositionAndEveryNewEntry) {
  TempDir dir;
  auto run = RunCli(dir, "engine-page baidu " + Fixture("baidu_page.html"));
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "TOTAL\t1234\nOFFSET\t11\nPAGES\t1\nFINISHED\t0\n"
            "ITEM\thttp://www.acme-tools.com.cn/\t上海机床厂有限公司\t"
            "专业生产数控机床、加工中心，质量可靠\n"
            "ITEM\thttp://www.huaxing-jc.com/index.html\t华兴机床配件\t机床附件 批发零售\n"
            "ITEM\tHTTP://WWW.Acme-Tools.com.cn/about.htm\t关于上海机床厂\t企业简介\n"
            "ITEM\thttps://secure.jcmall.cn/shop?id=7\t机床商城\t在线订购\n"
            "ITEM\thttp://www.dalian-machine.com/\t大连机床集团\t大连机床集团有限责任公司\n");
}

TEST(EnginePageCli, KnownAddressesAreNotPrintedAgain) {
  TempDir dir;
  // CRLF lines, surrounding blanks and an empty line: the list holds trimmed addresses.
  WriteFile(dir / "known.txt",
            "http://www.acme-tools.com.cn/\r\n\r\n  https://secure.jcmall.cn/shop?id=7 \n");
  auto run = RunCli(dir, "engine-page baidu " + Fixture("baidu_page.html") + " --known '" +
                             (dir / "known.txt").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out.find("acme-tools.com.cn/\t"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("secure.jcmall.cn"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ITEM\thttp://www.huaxing-jc.com/index.html\t"), std::string::npos);
  EXPECT_NE(run.out.find("ITEM\thttp://www.dalian-machine.com/\t"), std::string::npos);

  // Every address known: no new entry, so the engine ends.
  WriteFile(dir / "all.txt",
            "http://www.acme-tools.com.cn/\nhttp://www.huaxing-jc.com/index.html\n"
            "HTTP://WWW.Acme-Tools.com.cn/about.htm\nhttps://secure.jcmall.cn/shop?id=7\n"
            "http://www.dalian-machine.com/\n");
  run = RunCli(dir, "engine-page baidu " + Fixture("baidu_page.html") + " --known '" +
                        (dir / "all.txt").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "TOTAL\t1234\nOFFSET\t11\nPAGES\t1\nFINISHED\t1\n");
}

TEST(EnginePageCli, PositionOptionsContinueALaterPage) {
  TempDir dir;
  // A later page of Sohu (step 20): the count is not read again, and the given total ends it.
  auto run = RunCli(dir, "engine-page sohu " + Fixture("sohu_page.html") +
                             " --offset 21 --pages 1 --need-total 0 --total 30");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "TOTAL\t30\nOFFSET\t41\nPAGES\t2\nFINISHED\t1\n"
            "ITEM\thttp://www.hongda-jc.cn/\t宏达机床公司\t 主营机床、刀具\n"
            "ITEM\thttp://www.fuxing.com/\t复兴机床配件\t\n");

  // Asked to read the count, the page's own count replaces the given one.
  run = RunCli(dir, "engine-page sohu " + Fixture("sohu_page.html") +
                        " --offset 21 --pages 1 --need-total 1 --total 30");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("ITEM")),
            "TOTAL\t45\nOFFSET\t41\nPAGES\t2\nFINISHED\t0\n");
}

TEST(EnginePageCli, EachEngineReadsItsOwnPageFormat) {
  TempDir dir;
  struct TCase {
    const char* engine;
    const char* file;
    const char* head;
    int items;
  };
  for (const TCase& c : {
           // Sina's step is 30: past its count of 28, so this page is its last.
           TCase{"sina", "sina_page.html", "TOTAL\t28\nOFFSET\t31\nPAGES\t1\nFINISHED\t1\n", 3},
           TCase{"yahoo", "yahoo_page.html", "TOTAL\t856\nOFFSET\t31\nPAGES\t1\nFINISHED\t0\n", 3},
           TCase{"google", "google_page.html", "TOTAL\t12300\nOFFSET\t31\nPAGES\t1\nFINISHED\t0\n",
                 3},
           TCase{"163", "163_page.html", "TOTAL\t356\nOFFSET\t11\nPAGES\t1\nFINISHED\t0\n", 3},
           // Another engine's format yields nothing: that is what a changed format looks like.
           TCase{"google", "baidu_page.html", "TOTAL\t0\nOFFSET\t31\nPAGES\t1\nFINISHED\t1\n", 0},
       }) {
    auto run = RunCli(dir, std::string("engine-page ") + c.engine + " " + Fixture(c.file));
    EXPECT_EQ(run.code, 0) << c.file << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find("ITEM")), c.head) << c.engine << " " << c.file;
    std::size_t items = 0;
    for (std::size_t p = 0; (p = run.out.find("\nITEM\t", p)) != std::string::npos; ++p) ++items;
    EXPECT_EQ(items, static_cast<std::size_t>(c.items)) << c.engine << " " << c.file;
  }

  // An empty page (a block page, a failed fetch saved as nothing) ends the engine.
  WriteFile(dir / "empty.html", "");
  auto run = RunCli(dir, "engine-page 163 '" + (dir / "empty.html").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "TOTAL\t0\nOFFSET\t11\nPAGES\t1\nFINISHED\t1\n");
}

TEST(EnginePageCli, Utf8PageIsReadLikeTheGbkOne) {
  TempDir dir;
  WriteFile(dir / "p.html",
            "<html><head><meta charset=utf-8></head><body>"
            "<table><tr><td>找到相关网页约<b>2,000</b>篇，用时0.1秒</td></tr></table>"
            "<p><a href=\"http://www.haide.localhost/\">海德机床</a>"
            "<br>数控<br><span>x</span></p>"
            "<table><tr><td>结果页码：1</td></tr></table></body>");
  auto run = RunCli(dir, "engine-page baidu '" + (dir / "p.html").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "TOTAL\t2000\nOFFSET\t11\nPAGES\t1\nFINISHED\t0\n"
            "ITEM\thttp://www.haide.localhost/\t海德机床\t数控\n");
}

TEST(EnginePageCli, UnknownEngineOrUnreadableFileExitsOne) {
  TempDir dir;
  WriteFile(dir / "p.html", "<body>");
  const std::string page = "'" + (dir / "p.html").string() + "'";
  for (const std::string engine : {"Baidu", "bing", "BAIDU"}) {
    auto run = RunCli(dir, "engine-page " + engine + " " + page);
    EXPECT_EQ(run.code, 1) << engine;
    EXPECT_EQ(run.out, "") << engine;
    EXPECT_NE(run.err.find(engine), std::string::npos) << run.err;
  }
  const std::string missing = (dir / "missing.html").string();
  for (const std::string& args : {"engine-page baidu '" + missing + "'",
                                  "engine-page baidu " + page + " --known '" + missing + "'",
                                  "engine-page baidu '" + dir.Path().string() + "'"}) {
    auto run = RunCli(dir, args);
    EXPECT_EQ(run.code, 1) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;
  }
}

TEST(EnginePageCli, BadArgumentsPrintUsageAndExitTwo) {
  TempDir dir;
  WriteFile(dir / "p.html", "<body>");
  const std::string page = "'" + (dir / "p.html").string() + "'";
  for (const std::string& args : {
           std::string("engine-page"),
           std::string("engine-page baidu"),
           "engine-page baidu " + page + " " + page,
           "engine-page baidu " + page + " --offset",
           "engine-page baidu " + page + " --offset x1",
           "engine-page baidu " + page + " --offset 99999999999",
           "engine-page baidu " + page + " --pages 1 --pages 2",
           "engine-page baidu " + page + " --need-total 2",
           "engine-page baidu " + page + " --total ''",
           "engine-page baidu " + page + " --bogus 1",
       }) {
    auto run = RunCli(dir, args);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_NE(run.err.find("veltra-cli engine-page ENGINE FILE"), std::string::npos) << args;
  }
}
