// veltra-cli task-info, run as a black box on task files written by the program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"
#include "engines/engine_set.h"
#include "test_support.h"

using testsupport::G;
using testsupport::RunCli;
using testsupport::TCliRun;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A task saved in the middle of a keyword run at the fifth page of 163.
std::string SaveSampleTask(const TempDir& dir) {
  TEngineSet engines;
  TProgramState state;
  state.TaskName = G("上海机床");
  state.SearchText = G("机床 上海");
  state.SearchMode = 0;
  state.ProcessedURLCount = 1;
  state.NextURLIndex = 2;
  state.CurrentEngine = &engines.Engine163();
  state.EngineResultOffset = 41;
  state.EnginePageCount = 4;
  state.AppendURL("http://www.haide.localhost/", G("海德机床"), G("数控\t机床\r\n配件"));
  state.AppendURL("http://b.localhost/x", "", "");
  TResultTable rows;
  rows.AppendRow({G("上海海德机床厂"), "http://www.haide.localhost/", "a@haide.localhost", "021-1",
                  "021-2", G("上海市浦东路1号"), "200000", G("简介")});
  rows.AppendRow({"", "", "", "", "", "", "", "x"});
  const std::string path = (dir / "t.swrw").string();
  SaveToFile(path, state, rows, {G(" 机床 上海"), true, false}, engines.Naming());
  return path;
}

}  // namespace

TEST(TaskInfoCli, PrintsEveryItemInFileOrder) {
  TempDir dir;
  const std::string path = SaveSampleTask(dir);
  auto run = RunCli(dir, "task-info '" + path + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  // Item 5 repeats the processed count; tabs and line breaks inside a field become spaces.
  EXPECT_EQ(run.out,
            "taskname\t上海机床\nsearchtext\t机床 上海\nmode\t0\nprocessed\t1\nresume\t1\n"
            "engine\t163\noffset\t41\npages\t4\n"
            "url\thttp://www.haide.localhost/\t海德机床\t数控 机床  配件\n"
            "url\thttp://b.localhost/x\t\t\n"
            "input\t 机床 上海\nkeyword-mode\t1\nsite-mode\t0\n"
            "row\t上海海德机床厂\thttp://www.haide.localhost/\ta@haide.localhost\t021-1\t021-2\t"
            "上海市浦东路1号\t200000\t简介\n"
            "row\t\t\t\t\t\t\t\tx\n");
  EXPECT_EQ(run.err, "");
}

TEST(TaskInfoCli, EmptyTaskPrintsItsDefaults) {
  TempDir dir;
  TProgramState state;
  state.TaskName.clear();
  TResultTable rows;
  TEngineSet engines;
  const std::string path = (dir / "empty.swrw").string();
  SaveToFile(path, state, rows, {"", false, true}, engines.Naming());
  auto run = RunCli(dir, "task-info '" + path + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "taskname\t\nsearchtext\t\nmode\t0\nprocessed\t0\nresume\t0\nengine\t\n"
            "offset\t1\npages\t0\ninput\t\nkeyword-mode\t0\nsite-mode\t1\n");
}

TEST(TaskInfoCli, DamagedOrMissingFileExitsOneWithTheError) {
  TempDir dir;
  const std::string good = testsupport::ReadFile(SaveSampleTask(dir));
  const std::string cut = (dir / "cut.swrw").string();
  // Cut at a few places: inside the first string, inside the URL list, before the last end.
  for (std::size_t size : {std::size_t{0}, std::size_t{3}, good.size() / 2, good.size() - 1}) {
    WriteFile(cut, good.substr(0, size));
    auto run = RunCli(dir, "task-info '" + cut + "'");
    EXPECT_EQ(run.code, 1) << size;
    EXPECT_EQ(run.out, "") << size;
    EXPECT_NE(run.err.find("Stream read error"), std::string::npos) << size << run.err;
  }

  // A Boolean tag where the task name should be.
  const std::string wrong = (dir / "wrong.swrw").string();
  WriteFile(wrong, std::string("\x09") + good.substr(1));
  auto run = RunCli(dir, "task-info '" + wrong + "'");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Invalid property value"), std::string::npos) << run.err;

  const std::string missing = (dir / "missing.swrw").string();
  run = RunCli(dir, "task-info '" + missing + "'");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
}

TEST(TaskInfoCli, BadArgumentsPrintUsageAndExitTwo) {
  TempDir dir;
  for (const std::string& args : {std::string("task-info"), std::string("task-info a b"),
                                  std::string("task-info --file x")}) {
    auto run = RunCli(dir, args);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_NE(run.err.find("veltra-cli task-info FILE"), std::string::npos) << args;
  }
}
