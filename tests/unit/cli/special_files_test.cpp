// Pipes, devices and settings files that cannot be read, given to veltra-cli and to the
// readers and writers behind it: a clear error at once, never a hang or a run on defaults.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "core/export_sheet.h"
#include "core/global_set.h"
#include "core/task_file.h"
#include "test_support.h"

using testsupport::MsSince;
using testsupport::RunCli;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Quoted(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
}

// A sparse file one byte over `size`.
std::filesystem::path Sparse(const TempDir& dir, const std::string& name, std::size_t size) {
  const auto path = dir / name;
  WriteFile(path, "");
  std::filesystem::resize_file(path, size + 1);
  return path;
}

}  // namespace

TEST(SpecialFiles, PipesAndDevicesAreRefusedAtOnceAndNeverReplaced) {
  TempDir dir;
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();

  // Reading: a page, a task file, a settings file.
  auto run = RunCli(dir, "analyse " + Quoted(fifo));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(fifo.string() + ": not a regular file"), std::string::npos) << run.err;
  run = RunCli(dir, "analyse /dev/zero");
  EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
  try {
    ReadTaskFile(fifo.string());
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Not a regular file"), std::string::npos) << e.what();
  }
  run = RunCli(dir, "search --continue " + Quoted(fifo));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Not a regular file"), std::string::npos) << run.err;

  // Writing: an export or a task file never goes into (or replaces) a pipe.
  EXPECT_THROW(ExportToCsv({}, fifo.string()), std::exception);
  EXPECT_THROW(ExportToXlsx({}, fifo.string()), std::exception);
  EXPECT_THROW(WriteTaskFile(fifo.string(), TTaskFileData{}), std::exception);
  const auto out = dir / "out.csv";
  ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
  run = RunCli(dir, "search text --out " + Quoted(out));
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.err.find("cannot write " + out.string() + ": not a regular file"),
            std::string::npos)
      << run.err;
  struct stat st {};
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_LT(MsSince(started), 20000);
}

TEST(SpecialFiles, SettingsThatCannotBeReadStopTheStartWithExitCode2) {
  TempDir dir;
  const auto fifo = dir / "Gleaner.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto big = Sparse(dir, "big.ini", kIniMaxFileBytes);
  std::filesystem::create_directory(dir / "folder.ini");
  WriteFile(dir / "page.html", "<html></html>");
  const std::pair<std::filesystem::path, const char*> cases[] = {
      {fifo, "设置文件不是普通文件: "},
      {big, "设置文件过大: "},
      {dir / "folder.ini", "设置文件不是普通文件: "},
  };
  for (const auto& [path, message] : cases) {
    EXPECT_EQ(SettingsReadError(path.string()).rfind(message + path.string(), 0), 0u) << path;
    TGlobalSet set;
    EXPECT_THROW(LoadSettingsOrThrow(set, path.string()), ESettingsReadError) << path;
    // The program's own settings file in that state stops the start as well.
    const TSettingsStart start = PrepareSettingsFile(path.string(), std::nullopt, true);
    EXPECT_EQ(start.Error, SettingsReadError(path.string()));
    EXPECT_EQ(start.LoadPath, "");
    for (const std::string& command : {std::string("settings"), std::string("search key"),
                                       "analyse " + Quoted(dir / "page.html")}) {
      const auto run = RunCli(dir, command + " --config " + Quoted(path));
      EXPECT_EQ(run.code, 2) << command << " " << path;
      EXPECT_NE(run.err.find(message + path.string()), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "") << command;
    }
  }
  // A missing file is no error: the defaults, as always.
  EXPECT_EQ(SettingsReadError((dir / "none.ini").string()), "");
  EXPECT_EQ(RunCli(dir, "settings --config " + Quoted(dir / "none.ini")).code, 0);
}
