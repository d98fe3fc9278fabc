// veltra-cli search: argument handling and run control's refusals, without a network.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "test_support.h"

using testsupport::G;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct TRun {
  int code = -1;
  std::string err;
};

TRun RunSearch(const std::string& args, const TempDir& dir) {
  const std::string errFile = (dir / "err.txt").string();
  const std::string cmd =
      std::string("'") + VELTRA_CLI_PATH + "' search " + args + " >/dev/null 2>'" + errFile + "'";
  TRun run;
  const int status = std::system(cmd.c_str());
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = testsupport::ReadFile(errFile);
  return run;
}

}  // namespace

TEST(SearchCli, BadArgumentsPrintUsageAndExit2) {
  TempDir dir;
  WriteFile(dir / "g.ini", G("[SETTING]\r\nMaxFindWebThreadCount=2\r\n"));
  const std::string cfg = "--config '" + (dir / "g.ini").string() + "' ";
  for (const std::string& args :
       {std::string(""), cfg, cfg + "--mode web x", cfg + "x y", cfg + "--out r.txt x",
        cfg + "--max-seconds 0 x", cfg + "--max-seconds abc x", cfg + "--tick-ms 0 x",
        cfg + "--mode keyword --continue t.swrw", cfg + "--bogus x", cfg + "x --task",
        cfg + "--task a.swrw --task b.swrw x", cfg + "--out r.csv --csv-flavour tsv x"}) {
    const TRun run = RunSearch(args, dir);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_NE(run.err.find("veltra-cli search"), std::string::npos) << args;
  }
}

TEST(SearchCli, RefusalsOfRunControlGoToStderrWithAnErrorCode) {
  TempDir dir;
  WriteFile(dir / "g.ini", G("[SETTING]\r\nMaxFindWebThreadCount=2\r\n"));
  const std::string cfg = "--config '" + (dir / "g.ini").string() + "' ";

  TRun run = RunSearch(cfg + "'   '", dir);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("提示: 请输入内容！"), std::string::npos) << run.err;

  run = RunSearch(cfg + "--continue '" + (dir / "none.swrw").string() + "'", dir);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("文件不存在"), std::string::npos) << run.err;

  WriteFile(dir / "bad.swrw", "not a task");
  run = RunSearch(cfg + "--continue '" + (dir / "bad.swrw").string() + "'", dir);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("错误"), std::string::npos) << run.err;

  run = RunSearch("--config '" + (dir / "missing.ini").string() + "' x", dir);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("settings file not found"), std::string::npos) << run.err;
}

TEST(SearchCli, LogGoesToTheNamedFileAndWithVerboseToStderr) {
  TempDir dir;
  // A link to nowhere where the settings file should be: the run goes on with defaults and
  // says so.
  std::filesystem::create_directories(dir / "cfg/veltra");
  std::filesystem::create_symlink(dir / "nowhere", dir / "cfg/veltra/Gleaner.ini");
  const std::string log = (dir / "run.log").string();
  const std::string err = (dir / "err.txt").string();
  auto run = [&](const std::string& args) {
    const std::string cmd = "XDG_CONFIG_HOME='" + (dir / "cfg").string() + "' '" + VELTRA_CLI_PATH +
                            "' search --mode site http://127.0.0.1:1/ " +
                            "--tick-ms 50 --max-seconds 20 " + args + " >/dev/null 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("--log '" + log + "' --verbose"), 0);
  const std::string logged = testsupport::ReadFile(log);
  EXPECT_NE(logged.find(" 警告 设置 "), std::string::npos) << logged;
  EXPECT_NE(logged.find("设置文件不是普通文件"), std::string::npos) << logged;
  const std::string printed = testsupport::ReadFile(err);
  EXPECT_NE(printed.find(logged.substr(0, logged.find('\n'))), std::string::npos) << printed;

  EXPECT_EQ(run("--log '" + (dir / "no/such/dir.log").string() + "'"), 1);
  EXPECT_NE(testsupport::ReadFile(err).find("cannot write the log"), std::string::npos);
  EXPECT_EQ(run("--verbose --verbose"), 2);
}
