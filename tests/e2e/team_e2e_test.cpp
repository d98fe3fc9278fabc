// Team harvests: several veltra-cli processes work one task through a private PostgreSQL
// server against the demo web; machines are killed mid-run; the team's list is exported.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "core/task_file.h"
#include "demo_server.h"
#include "pg_cluster.h"
#include "test_support.h"

using demoweb::TDemoRecord;
using namespace std::chrono_literals;
using testsupport::TempDir;
using testsupport::TPgCluster;

namespace {

// One veltra-cli process, its output in files of the test's folder.
class TNode {
 public:
  TNode(const TempDir& dir, const std::string& name, std::vector<std::string> args)
      : out_((dir / (name + ".out")).string()), err_((dir / (name + ".err")).string()) {
    args.insert(args.begin(), VELTRA_CLI_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~TNode() {
    if (pid_ > 0 && code_ == -2) Kill();
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    code_ = -1;
  }
  // The exit code; -1 when it had to be killed after `limit`.
  int Wait(std::chrono::seconds limit = 90s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (code_ == -2) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() > until) Kill();
      std::this_thread::sleep_for(20ms);
    }
    return code_;
  }
  std::string Out() const { return testsupport::ReadFile(out_); }
  std::string Err() const { return testsupport::ReadFile(err_); }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
  int code_ = -2;
};

std::map<TDemoRecord, int> Count(const std::vector<TDemoRecord>& records) {
  std::map<TDemoRecord, int> counts;
  for (const auto& r : records) ++counts[r];
  return counts;
}

class TeamE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TPgCluster::Shared().Available()) GTEST_SKIP() << TPgCluster::Shared().Problem();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    url_ = TPgCluster::Shared().CreateDatabase(std::string("e_") + info->name());
  }
  void StartWeb(int sites, int latencyMs, int slowMs) {
    server_ = std::make_unique<demoweb::TDemoServer>(sites, 0, latencyMs, slowMs);
    config_ = (dir_ / "Gleaner.ini").string();
    server_->Web().WriteSettings(config_, 10, demoweb::TSourceSet::Classic);
  }
  const demoweb::TDemoWeb& Web() const { return server_->Web(); }
  std::vector<std::string> Node(std::vector<std::string> more) const {
    std::vector<std::string> args = {"search", "--config",        config_,  "--team",
                                     url_,     "--task-name",     "任务一", "--tick-ms",
                                     "50",     "--lease-seconds", "3"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // The team's list as `team export` writes it to a task file.
  std::vector<TDemoRecord> Exported() {
    const std::string file = (dir_ / "team.swrw").string();
    TNode exporter(dir_, "export",
                   {"team", "export", "--team", url_, "--task-name", "任务一", "--out", file,
                    "--config", config_});
    EXPECT_EQ(exporter.Wait(), 0) << exporter.Err();
    std::vector<TDemoRecord> rows;
    for (const auto& row : ReadTaskFile(file).Rows) {
      TDemoRecord r;
      for (std::size_t i = 0; i < r.size(); ++i) r[i] = gbk::ToUtf8(row[i]);
      rows.push_back(r);
    }
    return rows;
  }
  void ExpectEveryRecordOnce(const std::vector<TDemoRecord>& expected) {
    const std::vector<TDemoRecord> found = Exported();
    const auto want = Count(expected);
    const auto got = Count(found);
    for (const auto& [record, n] : want) {
      auto it = got.find(record);
      EXPECT_EQ(it == got.end() ? 0 : it->second, n) << "expected: " << record[0];
    }
    for (const auto& [record, n] : got) EXPECT_TRUE(want.contains(record)) << record[0];
    EXPECT_EQ(found.size(), expected.size());
  }
  std::string Status() {
    TNode status(dir_, "status", {"team", "status", "--team", url_, "--task-name", "任务一"});
    EXPECT_EQ(status.Wait(), 0) << status.Err();
    return status.Out();
  }

  TempDir dir_;
  std::unique_ptr<demoweb::TDemoServer> server_;
  std::string config_;
  std::string url_;
};

}  // namespace

TEST_F(TeamE2E, ThreeNodesShareOneKeywordTaskAndEndWithEveryRecordOnce) {
  StartWeb(40, 100, 1500);
  TNode first(dir_, "n1", Node({"机械"}));
  std::this_thread::sleep_for(300ms);
  TNode second(dir_, "n2", Node({"机械"}));
  TNode third(dir_, "n3", Node({}));  // joins with the task's own keyword
  TNode other(dir_, "n4", Node({"服装"}));
  EXPECT_EQ(other.Wait(), 2);
  EXPECT_NE(other.Err().find("服装"), std::string::npos) << other.Err();
  for (TNode* node : {&first, &second, &third}) EXPECT_EQ(node->Wait(), 0) << node->Err();
  ExpectEveryRecordOnce(Web().ExpectedKeywordRecords());
  const std::string status = Status();
  EXPECT_NE(status.find("done " + std::to_string(Web().ListedSiteUrls().size())), std::string::npos)
      << status;
  EXPECT_NE(status.find("failed 0"), std::string::npos) << status;
  // Each node did part of the work.
  for (TNode* node : {&first, &second, &third})
    EXPECT_NE(node->Out().find("records: "), std::string::npos) << node->Out();
}

TEST_F(TeamE2E, KilledNodesSitesAndSearchAreTakenOverByTheOthers) {
  // Slow result pages keep the search going while the first node, which runs it, dies.
  StartWeb(40, 250, 2000);
  TNode producer(dir_, "p", Node({"机械"}));
  std::this_thread::sleep_for(500ms);
  TNode worker(dir_, "w", Node({"机械"}));
  TNode victim(dir_, "v", Node({"机械"}));
  std::this_thread::sleep_for(1500ms);
  producer.Kill();  // in the middle of a result page or a site
  std::this_thread::sleep_for(1000ms);
  victim.Kill();  // in the middle of its sites
  EXPECT_EQ(worker.Wait(), 0) << worker.Err();
  ExpectEveryRecordOnce(Web().ExpectedKeywordRecords());
  const std::string status = Status();
  EXPECT_NE(status.find("new 0\tleased 0"), std::string::npos) << status;
  EXPECT_NE(status.find("search\tdone"), std::string::npos) << status;
  // The search went on at a node that had not started it.
  EXPECT_TRUE(worker.Out().find("(searching)") != std::string::npos ||
              victim.Out().find("(searching)") != std::string::npos);
}

TEST_F(TeamE2E, NodesPauseWhileTheServerRestartsAndGoOn) {
  StartWeb(40, 150, 1500);
  TNode first(dir_, "r1", Node({"机械"}));
  TNode second(dir_, "r2", Node({"机械"}));
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(TPgCluster::Shared().Stop());
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(TPgCluster::Shared().Start());
  EXPECT_EQ(first.Wait(), 0) << first.Err();
  EXPECT_EQ(second.Wait(), 0) << second.Err();
  ExpectEveryRecordOnce(Web().ExpectedKeywordRecords());
}

TEST_F(TeamE2E, DirectoryTaskOnTwoNodes) {
  StartWeb(25, 50, 1500);
  TNode first(dir_, "d1", Node({"--mode", "site", Web().DirectoryUrl()}));
  std::this_thread::sleep_for(300ms);
  TNode second(dir_, "d2", Node({"--mode", "site", Web().DirectoryUrl()}));
  EXPECT_EQ(first.Wait(), 0) << first.Err();
  EXPECT_EQ(second.Wait(), 0) << second.Err();
  ExpectEveryRecordOnce(Web().ExpectedDirectoryRecords());
}

TEST_F(TeamE2E, BadAddressesAndCredentialsAreRefusedWithTheirReason) {
  StartWeb(5, 0, 1500);
  std::string wrong = url_;
  wrong.replace(wrong.find(TPgCluster::kPassword), std::string(TPgCluster::kPassword).size(),
                "wrong-pw");
  const std::string closedPort = "postgresql://u:pw@127.0.0.1:1/db";
  for (const auto& [team, reason] :
       std::vector<std::pair<std::string, std::string>>{{wrong, "password authentication failed"},
                                                        {closedPort, "Connection refused"},
                                                        {"postgresql://u:wrong-pw@[bad", "URI"}}) {
    TNode node(dir_, "bad",
               {"search", "--config", config_, "--team", team, "--task-name", "t", "机械"});
    EXPECT_EQ(node.Wait(), 2) << team;
    EXPECT_NE(node.Err().find(reason), std::string::npos) << node.Err();
    EXPECT_EQ(node.Err().find("wrong-pw"), std::string::npos) << node.Err();
  }
  TNode status(dir_, "missing", {"team", "status", "--team", url_, "--task-name", "无此任务"});
  EXPECT_EQ(status.Wait(), 2);
}
