// Script-built company sites read through the built-in browser: veltra-cli against the demo
// web's script sites, with rendering off, when needed, and against hostile script pages.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/task_file.h"
#include "demo_scripts.h"
#include "demo_server.h"
#include "test_support.h"

using demoweb::TDemoRecord;
using testsupport::TempDir;

namespace {

std::vector<TDemoRecord> TaskRecords(const std::string& path) {
  std::vector<TDemoRecord> rows;
  for (const auto& row : ReadTaskFile(path).Rows) {
    TDemoRecord r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
    rows.push_back(r);
  }
  std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a[1] < b[1]; });
  return rows;
}

// The log lines of the renderer that name `host`.
std::vector<std::string> RenderLines(const std::string& log, const std::string& host) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.find("render") != std::string::npos && line.find(host) != std::string::npos)
      lines.push_back(line);
  return lines;
}

class RenderE2E : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef VELTRA_HAVE_BROWSER
    GTEST_SKIP() << "built without the browser";
#endif
    server_ = std::make_unique<demoweb::TDemoServer>(4);
  }
  testsupport::TCliRun Search(int renderScripts, const std::string& keyword, int deadline = 20) {
    const std::string config = (dir_ / "Gleaner.ini").string();
    demoweb::WriteScriptSettings(server_->Web(), config, renderScripts, deadline);
    return testsupport::RunCli(dir_, "search --config '" + config +
                                         "' --tick-ms 50 --mode keyword " + keyword + " --task '" +
                                         Task() + "' --log '" + Log() + "'");
  }
  std::string Task() const {
    return (dir_ / "r.swrw").string();
  }
  std::string Log() const {
    return (dir_ / "run.log").string();
  }

  TempDir dir_;
  std::unique_ptr<demoweb::TDemoServer> server_;
};

}  // namespace

TEST_F(RenderE2E, ScriptBuiltSitesAreRenderedWhenNeededAndOnlyThen) {
  const std::vector<TDemoRecord> all = demoweb::ScriptSiteRecords(server_->Web());
  auto expectRecords = [](const std::vector<TDemoRecord>& found,
                          const std::vector<TDemoRecord>& expected) {
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i)
      for (std::size_t f = 0; f < 7; ++f) EXPECT_EQ(found[i][f], expected[i][f]) << expected[i][1];
  };
  std::vector<TDemoRecord> expected = all;
  std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a[1] < b[1]; });

  // Off: the classic crawl finds the static site alone and renders nothing.
  auto run = Search(0, "软件");
  ASSERT_EQ(run.code, 0) << run.err;
  expectRecords(TaskRecords(Task()), {all[0]});
  const std::string quiet = testsupport::ReadFile(Log());
  for (const char* host :
       {demoweb::kStaticSiteHost, demoweb::kTimerSiteHost, demoweb::kJsonSiteHost})
    EXPECT_TRUE(RenderLines(quiet, host).empty()) << quiet;

  // When needed: both script-built sites are rendered and read; the static one is not.
  std::filesystem::remove(Log());
  run = Search(1, "软件");
  ASSERT_EQ(run.code, 0) << run.err;
  expectRecords(TaskRecords(Task()), expected);
  const std::string log = testsupport::ReadFile(Log());
  EXPECT_TRUE(RenderLines(log, demoweb::kStaticSiteHost).empty()) << log;
  for (const char* host : {demoweb::kTimerSiteHost, demoweb::kJsonSiteHost}) {
    const auto lines = RenderLines(log, host);
    ASSERT_EQ(lines.size(), 1u) << log;
    EXPECT_NE(lines[0].find("rendered"), std::string::npos) << lines[0];
  }
}

TEST_F(RenderE2E, HostileScriptPagesEndWithinTheirDeadline) {
  constexpr int kDeadline = 3;
  const auto started = std::chrono::steady_clock::now();
  const auto run = Search(1, demoweb::kHostileKeyword, kDeadline);
  const long long ms = testsupport::MsSince(started);
  ASSERT_EQ(run.code, 0) << run.err;
  // Six hostile pages, two at a time, each ended by its deadline at the latest.
  EXPECT_LT(ms, 40000);
  // The run went on to the script-built sites after them.
  const std::string log = testsupport::ReadFile(Log());
  ASSERT_EQ(TaskRecords(Task()).size(), 2u) << log;
  for (const std::string& url : demoweb::HostilePageUrls(server_->Web())) {
    const std::string host = url.substr(7, url.find(':', 7) - 7);
    const auto lines = RenderLines(log, host);
    ASSERT_FALSE(lines.empty()) << host << "\n" << log;
    // These never settle; the pop-up page and the one that navigates away may.
    if (host.find("loop") != std::string::npos || host.find("stall") != std::string::npos ||
        host.find("redirect") != std::string::npos) {
      EXPECT_NE(lines[0].find("not rendered"), std::string::npos) << lines[0];
    }
  }
}
