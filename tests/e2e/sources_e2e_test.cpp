// Keyword harvests with today's search sources only, against the demo web's imitations of
// them: every record found, a source blocked part-way that the run passes over and a
// continued task retries from the page it was blocked on, and one whose verification page is
// passed with a cookie file.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/task_file.h"
#include "demo_server.h"
#include "demo_verify.h"
#include "test_support.h"

using demoweb::TDemoRecord;
using testsupport::TempDir;

namespace {

// Records compared by address and contact fields: the company name as found also carries
// the words of the result title that the site was listed under.
std::vector<TDemoRecord> Sorted(std::vector<TDemoRecord> records) {
  std::sort(records.begin(), records.end(), [](const TDemoRecord& a, const TDemoRecord& b) {
    return std::lexicographical_compare(a.begin() + 1, a.begin() + 7, b.begin() + 1, b.begin() + 7);
  });
  return records;
}

void ExpectSame(const std::vector<TDemoRecord>& found, const std::vector<TDemoRecord>& expected) {
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    for (std::size_t f = 1; f < 7; ++f) EXPECT_EQ(found[i][f], expected[i][f]) << expected[i][1];
    EXPECT_FALSE(found[i][0].empty()) << expected[i][1];
  }
}

std::vector<TDemoRecord> TaskRecords(const TTaskFileData& task) {
  std::vector<TDemoRecord> rows;
  for (const auto& row : task.Rows) {
    TDemoRecord r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
    rows.push_back(r);
  }
  return Sorted(rows);
}

// The run's last status line.
std::string LastLine(const std::string& out) {
  const std::size_t end = out.rfind("结束");
  if (end == std::string::npos) return {};
  const std::size_t eol = out.find('\n', end);
  return out.substr(end, eol == std::string::npos ? eol : eol - end);
}

class SourcesE2E : public ::testing::Test {
 protected:
  void StartWeb(const demoweb::TSourceBlocks& blocks) {
    server_ = std::make_unique<demoweb::TDemoServer>(60, 0, 0, 300, blocks);
    config_ = (dir_ / "Gleaner.ini").string();
    server_->Web().WriteSettings(config_, 10, demoweb::TSourceSet::Today);
  }
  testsupport::TCliRun Search(const std::string& args) {
    return testsupport::RunCli(dir_, "search --config '" + config_ + "' --tick-ms 50 " + args);
  }

  TempDir dir_;
  std::unique_ptr<demoweb::TDemoServer> server_;
  std::string config_;
};

}  // namespace

TEST_F(SourcesE2E, TodaysSourcesFindEveryRecord) {
  StartWeb({});
  const std::string task = (dir_ / "t.swrw").string();
  const auto run = Search("--mode keyword 机械 --task '" + task + "'");
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string status = LastLine(run.out);
  for (const char* caption : {"百度网页", "必应", "搜狗", "360搜索", "DuckDuckGo", "SearXNG"})
    EXPECT_NE(status.find(caption), std::string::npos) << status;
  EXPECT_EQ(status.find("受阻"), std::string::npos) << status;
  const TTaskFileData saved = ReadTaskFile(task);
  ExpectSame(TaskRecords(saved), Sorted(server_->Web().ExpectedTodayRecords()));
  EXPECT_TRUE(saved.BlockedSources.empty());
}

TEST_F(SourcesE2E, BlockedSourceIsPassedOverAndRetriedByContinue) {
  StartWeb({{"BaiduWeb", 2}});
  const std::string task = (dir_ / "b.swrw").string();
  const auto first = Search("--mode keyword 机械 --task '" + task + "'");
  ASSERT_EQ(first.code, 0) << first.err;
  EXPECT_NE(LastLine(first.out).find("受阻"), std::string::npos) << first.out;
  const TTaskFileData blocked = ReadTaskFile(task);
  // The run ended with the other sources' records; Baidu's second page is kept for later.
  ExpectSame(TaskRecords(blocked), Sorted(server_->Web().ExpectedTodayRecords()));
  ASSERT_EQ(blocked.BlockedSources.size(), 1u);
  EXPECT_EQ(blocked.BlockedSources[0].Name, "BaiduWeb");
  EXPECT_EQ(blocked.BlockedSources[0].ResultOffset, 11);
  EXPECT_TRUE(blocked.EngineName.empty());

  server_->SetBlocks({});
  const auto second = Search("--continue '" + task + "'");
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(LastLine(second.out).find("受阻"), std::string::npos) << second.out;
  const TTaskFileData done = ReadTaskFile(task);
  ExpectSame(TaskRecords(done), Sorted(server_->Web().ExpectedTodayRecords()));
  EXPECT_GT(done.Rows.size(), blocked.Rows.size());
  EXPECT_TRUE(done.BlockedSources.empty());
}

TEST_F(SourcesE2E, CookieFilePassesAVerificationPage) {
  StartWeb({});
  auto gate = std::make_shared<demoweb::TDemoVerifyGate>("Bing", 1);
  server_->SetVerifyGate(gate);
  const std::string task = (dir_ / "v.swrw").string();
  const auto first = Search("--mode keyword 机械 --task '" + task + "'");
  ASSERT_EQ(first.code, 0) << first.err;
  EXPECT_NE(LastLine(first.out).find("受阻"), std::string::npos) << first.out;
  // The page that asked for verification, and how to pass it.
  EXPECT_NE(first.out.find("blocked: 必应 (Bing)"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("http://bing.today.localhost:" + std::to_string(server_->Port()) +
                           "/search?q="),
            std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("--cookies COOKIEFILE --continue '" + task + "'"), std::string::npos);
  EXPECT_GT(gate->Refused(), 0);

  const std::string bad = (dir_ / "bad.txt").string();
  testsupport::WriteFile(bad, "demo_verified=passed; path=/\n");
  const auto refused = Search("--continue '" + task + "' --cookies '" + bad + "'");
  EXPECT_EQ(refused.code, 2);
  EXPECT_NE(refused.err.find("line 1"), std::string::npos) << refused.err;

  const std::string cookies = (dir_ / "cookies.txt").string();
  testsupport::WriteFile(cookies,
                         "# Netscape HTTP Cookie File\n"
                         "bing.today.localhost\tFALSE\t/\tFALSE\t0\tdemo_verified\tpassed\n");
  const auto second = Search("--continue '" + task + "' --cookies '" + cookies + "'");
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(LastLine(second.out).find("受阻"), std::string::npos) << second.out;
  EXPECT_EQ(second.out.find("demo_verified"), std::string::npos);
  EXPECT_GT(gate->Passed(), 0);
  const TTaskFileData done = ReadTaskFile(task);
  ExpectSame(TaskRecords(done), Sorted(server_->Web().ExpectedTodayRecords()));
  EXPECT_TRUE(done.BlockedSources.empty());
  // Cookies from a file are not written into the task.
  EXPECT_TRUE(done.Cookies.empty());
}
