// veltra-cli sources and engine-page on saved pages of today's sources.

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

TEST(SourcesCli, ListsTheRegistryAndReadsSavedPagesOfTodaysSources) {
  testsupport::TempDir dir;
  auto run = testsupport::RunCli(dir, "sources");
  EXPECT_EQ(run.code, 0);
  EXPECT_TRUE(run.out.starts_with("Sina\tclassic\ton\thttp://search.sina.com.cn\t新浪\n"))
      << run.out;
  EXPECT_NE(run.out.find("\nSearXNG\tjson\toff\t"), std::string::npos) << run.out;

  const std::string fixtures = VELTRA_FIXTURE_DIR "/engines/";
  run = testsupport::RunCli(dir, "engine-page Bing '" + fixtures + "bing_page.html'");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out,
            "OFFSET\t11\nPAGES\t1\nFINISHED\t0\n"
            "ITEM\thttp://www.hongda-jixie.com.cn/about.html\t宏达机床\t数控机床制造商\n"
            "ITEM\thttp://www.sanli-machine.com/index.php\t三利机械\t机械 制造\n");
  // Offline, a tracking link that needs its redirect is listed, not followed.
  run = testsupport::RunCli(dir, "engine-page BaiduWeb '" + fixtures + "baiduweb_page.html'");
  EXPECT_NE(run.out.find("ITEM\thttp://www.hongda-jixie.com.cn/\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("UNRESOLVED\thttp://www.baidu.com/link?url=Bb2-sanli\n"),
            std::string::npos);
  run = testsupport::RunCli(dir, "engine-page BaiduWeb '" + fixtures + "baiduweb_blocked.html'");
  EXPECT_TRUE(run.out.starts_with("blocked\n")) << run.out;
  run = testsupport::RunCli(dir, "engine-page bing '" + fixtures + "bing_page.html'");
  EXPECT_EQ(run.code, 1);
}
