// Whole harvests: the demo web serves engines, company sites and a directory on 127.0.0.1;
// veltra-cli runs against it as a separate process; the saved task holds what was found.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "core/task_file.h"
#include "demo_server.h"
#include "test_support.h"

using demoweb::TDemoRecord;
using testsupport::TempDir;

namespace {

struct TRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs veltra-cli with `args`; optionally sends `signal` after `signalAfter`. A run that
// outlives `limit` is killed and reported as code -1.
TRun RunCli(const std::vector<std::string>& args, const TempDir& dir,
            std::chrono::milliseconds signalAfter = std::chrono::milliseconds(0), int signal = 0,
            std::chrono::seconds limit = std::chrono::seconds(60)) {
  const std::string outPath = (dir / "cli.out").string();
  const std::string errPath = (dir / "cli.err").string();
  std::vector<std::string> argv = {VELTRA_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  TRun run;
  if (pid < 0) return run;
  const auto start = std::chrono::steady_clock::now();
  bool signalled = signal == 0;
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (!signalled && elapsed >= signalAfter) {
      ::kill(pid, signal);
      signalled = true;
    }
    if (elapsed > limit) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (status != -1 && WIFEXITED(status)) run.code = WEXITSTATUS(status);
  run.out = testsupport::ReadFile(outPath);
  run.err = testsupport::ReadFile(errPath);
  return run;
}

// Rows of a saved task, UTF-8.
std::vector<TDemoRecord> TaskRecords(const TTaskFileData& task) {
  std::vector<TDemoRecord> rows;
  for (const auto& row : task.Rows) {
    TDemoRecord r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
    rows.push_back(r);
  }
  return rows;
}

std::map<TDemoRecord, int> Count(const std::vector<TDemoRecord>& records) {
  std::map<TDemoRecord, int> counts;
  for (const auto& r : records) ++counts[r];
  return counts;
}

std::string Show(const TDemoRecord& r) {
  std::string s;
  for (const auto& f : r) s += f + " | ";
  return s;
}

// Every expected record found exactly once, and nothing else.
void ExpectSameRecords(const std::vector<TDemoRecord>& expected,
                       const std::vector<TDemoRecord>& found) {
  const auto want = Count(expected);
  const auto got = Count(found);
  for (const auto& [record, n] : want) {
    auto it = got.find(record);
    EXPECT_EQ(it == got.end() ? 0 : it->second, n) << "expected: " << Show(record);
  }
  for (const auto& [record, n] : got)
    EXPECT_TRUE(want.contains(record)) << "unexpected: " << Show(record);
  EXPECT_EQ(found.size(), expected.size());
}

class HarvestE2E : public ::testing::Test {
 protected:
  void StartWeb(int sites, int latencyMs, int slowMs) {
    server_ = std::make_unique<demoweb::TDemoServer>(sites, 0, latencyMs, slowMs);
    config_ = (dir_ / "Gleaner.ini").string();
    server_->Web().WriteSettings(config_, 10, demoweb::TSourceSet::Classic);
  }
  const demoweb::TDemoWeb& Web() const { return server_->Web(); }

  TempDir dir_;
  std::unique_ptr<demoweb::TDemoServer> server_;
  std::string config_;
};

}  // namespace

TEST_F(HarvestE2E, KeywordRunFindsEveryRecordOfTheDemoWebAndExportsThem) {
  StartWeb(30, 0, 300);
  const std::string task = (dir_ / "run.swrw").string();
  const std::string csv = (dir_ / "run.csv").string();
  const TRun run = RunCli({"search", "--config", config_, "--mode", "keyword", "机械", "--task",
                           task, "--out", csv, "--tick-ms", "50"},
                          dir_);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("结束"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("exported: " + csv), std::string::npos);

  const TTaskFileData saved = ReadTaskFile(task);
  EXPECT_EQ(saved.SearchText, gbk::FromUtf8("机械"));
  EXPECT_EQ(saved.SearchMode, 0);
  // Every site the engines list was queued once and processed, dead ones included.
  std::vector<std::string> queued;
  for (const auto& u : saved.URLs) queued.push_back(u.URL);
  std::sort(queued.begin(), queued.end());
  std::vector<std::string> listed = Web().ListedSiteUrls();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(queued, listed);
  EXPECT_EQ(saved.ProcessedURLCount, static_cast<int32_t>(listed.size()));
  ExpectSameRecords(Web().ExpectedKeywordRecords(), TaskRecords(saved));

  // The CSV: byte-order mark, header, one line per record.
  const std::string text = testsupport::ReadFile(csv);
  ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF"));
  EXPECT_TRUE(text.substr(3).starts_with("公司名称,网址,电子邮件,电话,传真,地址,邮编"));
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
            saved.Rows.size() + 1);
}

TEST_F(HarvestE2E, DirectoryRunWalksEveryListPageAndCrawlsEveryCompany) {
  StartWeb(25, 0, 300);
  const std::string task = (dir_ / "dir.swrw").string();
  const std::string xlsx = (dir_ / "dir.xlsx").string();
  const TRun run = RunCli({"search", "--config", config_, "--mode", "site", Web().DirectoryUrl(),
                           "--task", task, "--out", xlsx, "--tick-ms", "50"},
                          dir_);
  ASSERT_EQ(run.code, 0) << run.err;
  const TTaskFileData saved = ReadTaskFile(task);
  EXPECT_EQ(saved.SearchMode, 1);
  EXPECT_EQ(saved.URLs.size(), 25u);
  ExpectSameRecords(Web().ExpectedDirectoryRecords(), TaskRecords(saved));
  EXPECT_TRUE(testsupport::ReadFile(xlsx).starts_with("PK"));
}

TEST_F(HarvestE2E, RunsStoppedAtSeveralPointsAndContinuedEndWithExactlyTheRecordsOfOneRun) {
  // Slow sites keep the run busy past each stop, so fast sites finish after a cut-off one.
  StartWeb(40, 20, 1500);
  const std::size_t sites = Web().ListedSiteUrls().size();
  bool skippedAny = false;
  // Each plan stops after these seconds, then continues; the last run goes to the end.
  for (const std::vector<const char*>& stops :
       {std::vector<const char*>{"0.3"}, {"0.9"}, {"0.4", "0.5"}}) {
    const std::string task = (dir_ / "half.swrw").string();
    std::filesystem::remove(task);
    std::vector<std::string> args = {"search", "--config", config_, "机械", "--task", task};
    for (const char* seconds : stops) {
      std::vector<std::string> stopped = args;
      stopped.insert(stopped.end(), {"--max-seconds", seconds, "--tick-ms", "50"});
      const TRun run = RunCli(stopped, dir_);
      ASSERT_EQ(run.code, 0) << run.err;
      const TTaskFileData saved = ReadTaskFile(task);
      ASSERT_LT(saved.ProcessedURLCount, static_cast<int32_t>(sites)) << seconds;
      skippedAny = skippedAny || !saved.CrawledAhead.empty();
      args = {"search", "--config", config_, "--continue", task};
    }
    args.insert(args.end(), {"--tick-ms", "50"});
    const TRun last = RunCli(args, dir_);
    ASSERT_EQ(last.code, 0) << last.err;
    const TTaskFileData done = ReadTaskFile(task);  // saved back to the continued file
    EXPECT_EQ(done.ProcessedURLCount, static_cast<int32_t>(sites));
    EXPECT_TRUE(done.CrawledAhead.empty());
    ExpectSameRecords(Web().ExpectedKeywordRecords(), TaskRecords(done));
  }
  // At least one stop found sites finished after the first unfinished one.
  EXPECT_TRUE(skippedAny);
}

TEST_F(HarvestE2E, InterruptStopsCleanlyAndKeepsWhatWasFound) {
  StartWeb(30, 150, 1500);
  const std::string task = (dir_ / "int.swrw").string();
  const std::string csv = (dir_ / "int.csv").string();
  const TRun run = RunCli(
      {"search", "--config", config_, "机械", "--task", task, "--out", csv, "--tick-ms", "50"},
      dir_, std::chrono::milliseconds(900), SIGINT);
  EXPECT_EQ(run.code, 128 + SIGINT) << run.err;
  const TTaskFileData saved = ReadTaskFile(task);
  EXPECT_LT(saved.ProcessedURLCount, 30);
  const std::string text = testsupport::ReadFile(csv);
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
            saved.Rows.size() + 1);
  // What was found is all genuine.
  const auto want = Count(Web().ExpectedKeywordRecords());
  for (const auto& record : TaskRecords(saved)) EXPECT_TRUE(want.contains(record)) << Show(record);
}
