// veltra-cli settings, run as a black box.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "test_support.h"

using testsupport::G;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct TRun {
  int code = -1;
  std::string out;
};

// Runs veltra-cli with the given (already quoted) arguments; stderr goes to its own file.
TRun RunCli(const std::string& args, const std::string& errFile = "/dev/null") {
  TRun run;
  std::string cmd = std::string("'") + VELTRA_CLI_PATH + "' " + args + " 2>'" + errFile + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  int status = ::pclose(p);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(SettingsCli, PrintsEverySectionInTheFilesOrderInUtf8) {
  TempDir dir;
  const auto ini = dir / "my.ini";
  WriteFile(ini, G("[MAINLIKE]\r\nfaxnoLike=传真;fax\r\n[setting]\r\nmaxcrawllevel=0x4\r\n"
                   "[FLAGUSESEARCH]\r\nflaguseBaidu=0\r\n[ENGINEHOST]\r\nGoogle=g.localhost:81\r\n"
                   "[LIKE]\r\nLIKESETTING=0\r\n"));
  auto run = RunCli("settings --config '" + ini.string() + "'");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out,
            "; settings file: " + ini.string() +
                "\n"
                "[MAINLIKE]\nAddressLike=\nPostCodeLike=\ntelephoneLike=\nfaxnoLike=传真;fax;\n"
                "MailAddressLike=\nCompanyLike=\n"
                "[SECONDLIKE]\nHTMLNameLike=\nCompanyNameLike=\nAddressContentLike=\n"
                "[POINTLIKE]\nInfoLinkLike=\nNextPageLinkLike=\nNextPageLike=\n"
                "BUseCompanyNameLike=1\nBUseNextPageLike=1\n"
                "[SETTING]\nMaxFindWebThreadCount=10\nMaxCrawlLevel=4\nMaxReadHTMLTimeOut=30000\n"
                "[FINDFLAGS]\nFlagFindAddressAndPostCode=1\nFlagFindTelAndFax=1\n"
                "FlagFindMailAddress=1\n"
                "[FLAGUSESEARCH]\nFlagUseSina=1\nFlagUseSohu=1\nFlagUseYahoo=1\nFlagUse163=1\n"
                "FlagUseGoogle=1\nFLAGUSEBaidu=0\n"
                "[WINDOW]\nFlagModernWindow=1\n"
                "[CRAWL]\nSitePageBudget=30\nSiteTimeBudget=60\nSiteParallelPages=2\n"
                "HostRequestLimit=2\nUseRobotsTxt=0\nRenderScripts=0\nRenderParallel=2\n"
                "RenderDeadline=20\n"
                "[NETWORK]\nPageDeadline=60\nLowSpeedLimit=100\n"
                "UserAgent=Veltra/0.1.0 (company contact collector)\n"
                "AcceptLanguage=zh-CN,zh;q=0.9,en;q=0.8\nProxyMode=1\nProxyAddress=\n"
                "AcceptBrokenTls=0\nPageMemoryMiB=256\n"
                "[LEADS]\n"
                "MergeLeads=1\n"
                "PhoneRegion=CN\n"
                "[ENGINEHOST]\nSina=\nSohu=\nYahoo=\nGoogle=g.localhost:81\n163=\nBaidu=\n"
                "[SOURCES]\nBaiduWeb=1\nBing=1\nSogou=1\nSo360=1\nDuckDuckGo=1\nSearXNG=0\n"
                "[SOURCEHOST]\nBaiduWeb=\nBing=\nSogou=\nSo360=\nDuckDuckGo=\nSearXNG=\n"
                "[SEARCH]\nPaceMs=2000\n"
                "[LIKE]\nLIKESETTING=0\n");
}

TEST(SettingsCli, MissingFileShowsDefaults) {
  TempDir dir;
  auto run = RunCli("settings --config '" + (dir / "none.ini").string() + "'");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.find("; settings file: " + (dir / "none.ini").string() +
                         " (not read: built-in defaults)\n[MAINLIKE]\n"),
            0u);
  EXPECT_NE(run.out.find("\nMaxFindWebThreadCount=10\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n[LIKE]\nLIKESETTING=1\n"), std::string::npos);
}

TEST(SettingsCli, BadArgumentsPrintUsageAndExitTwo) {
  TempDir dir;
  const auto err = (dir / "err").string();
  for (const char* args : {"settings --bogus", "settings --config", "settings extra",
                           "settings --config a --config b", "settingz"}) {
    auto run = RunCli(args, err);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_NE(testsupport::ReadFile(err).find("veltra-cli settings"), std::string::npos) << args;
  }
}
