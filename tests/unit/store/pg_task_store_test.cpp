// The shared task store against a private PostgreSQL server: claims and leases, the producer
// role changing hands, records unique across nodes, and databases that must be refused.

#include "store/pg_task_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "core/program_state.h"
#include "core/task_file.h"
#include "pg_cluster.h"
#include "test_support.h"

using namespace std::chrono_literals;
using testsupport::G;
using testsupport::TPgCluster;

namespace {

class PgTaskStore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TPgCluster::Shared().Available()) GTEST_SKIP() << TPgCluster::Shared().Problem();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    url_ = TPgCluster::Shared().CreateDatabase(std::string("t_") + info->name());
  }
  TTeamOptions Options(std::chrono::milliseconds lease = 1000ms, std::size_t prefetch = 2) const {
    TTeamOptions o;
    o.Connection = url_;
    o.TaskName = G("团队任务");
    o.Lease = lease;
    o.Prefetch = prefetch;
    return o;
  }
  static TTeamTaskPlan Keyword(const char* utf8) {
    TTeamTaskPlan plan;
    plan.SearchText = G(utf8);
    return plan;
  }
  // Waits up to `limit` for `done`.
  template <class F>
  static bool WaitFor(F done, std::chrono::milliseconds limit = 5000ms) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
  int64_t Scalar(const std::string& sql) {
    TPgConnection db(url_);
    return db.Exec(sql).Int(0, 0);
  }

  std::string url_;
};

}  // namespace

TEST_F(PgTaskStore, SitesAreClaimedOnceLeasesRunOutToAnotherNodeAndThirdLapseFails) {
  const TTeamTaskPlan plan = Keyword("机械");
  TPgTaskStore node(Options(), &plan);
  TProgramState state;
  for (const char* url : {"http://a.localhost/", "http://b.localhost/", "http://c.localhost/",
                          "http://d.localhost/", "http://a.localhost/"})
    state.AppendURL(url, "", "");
  node.RunStarted(state, {});
  node.ProducerPageDone({});
  node.ProducerPageDone({});  // nothing new: no second row for any address
  ASSERT_TRUE(WaitFor([&] { return node.SitesWaiting(); }));
  EXPECT_EQ(Scalar("SELECT count(*) FROM veltra_frontier"), 4);

  // Another node, which then dies, holds the two sites this node did not prefetch.
  {
    TPgConnection dead(url_);
    const TPgResult r = dead.Exec(
        "UPDATE veltra_frontier SET state = 1, lease_owner = 999, attempts = 1,"
        " lease_until = now() + interval '800 milliseconds' WHERE state = 0");
    ASSERT_EQ(r.Affected(), 2);
  }
  std::vector<TSiteTicket> mine;
  for (int i = 0; i < 2; ++i) mine.push_back(*node.TakeSite());
  EXPECT_EQ(mine[0].Entry.URL, "http://a.localhost/");
  EXPECT_EQ(mine[1].Entry.URL, "http://b.localhost/");
  for (const auto& site : mine) node.SiteEnded(site, true);
  // A site's records count towards it, also when they come in after it ended.
  node.RecordsFound({{G("甲公司"), "http://a.localhost/about.html", "", "010-1111111"},
                     {G("甲公司"), "http://a.localhost/", "sales@a.localhost", ""},
                     {G("丙公司"), "http://x.localhost/", "", "020-2222222"}});
  node.RecordsFound({{G("甲公司"), "http://a.localhost/", "sales@a.localhost", ""}});
  node.Flush();
  EXPECT_EQ(Scalar("SELECT records FROM veltra_frontier WHERE url = 'http://a.localhost/'"), 2);
  EXPECT_EQ(Scalar("SELECT sum(records) FROM veltra_frontier"), 2);
  // Not before the dead node's lease ran out.
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(node.SitesWaiting());
  ASSERT_TRUE(WaitFor([&] { return node.SitesWaiting(); }));
  const TSiteTicket c = *node.TakeSite();
  EXPECT_EQ(c.Entry.URL, "http://c.localhost/");
  // Held past its lease while crawled: the heartbeat renews it.
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(Scalar("SELECT lease_owner FROM veltra_frontier WHERE url = 'http://c.localhost/'"),
            node.NodeId());
  EXPECT_EQ(Scalar("SELECT attempts FROM veltra_frontier WHERE url = 'http://c.localhost/'"), 2);
  node.SiteEnded(c, true);
  const TSiteTicket d = *node.TakeSite();

  // A third lapsed lease fails the site for good.
  {
    TPgConnection db(url_);
    db.Exec(
        "UPDATE veltra_frontier SET lease_owner = 999, attempts = 3,"
        " lease_until = now() - interval '1 second' WHERE url = 'http://d.localhost/'");
  }
  ASSERT_TRUE(WaitFor([&] {
    return Scalar("SELECT state FROM veltra_frontier WHERE url = 'http://d.localhost/'") == 3;
  }));
  node.SiteEnded(d, true);  // the lease was lost: the failed row stays as it is
  node.ProducerEnded(true);
  node.Flush();
  EXPECT_TRUE(WaitFor([&] { return node.AllSitesDone(); }));
  const TTeamCounts counts = node.Counts();
  EXPECT_EQ(counts.Done, 3);
  EXPECT_EQ(counts.Failed, 1);
}

TEST_F(PgTaskStore, ProducerRoleAndPositionPassToTheNextNodeAndRecordsAreStoredOnce) {
  const TTeamTaskPlan plan = Keyword("机械");
  auto first = std::make_unique<TPgTaskStore>(Options(), &plan);
  TPgTaskStore second(Options(), &plan);
  TProgramState state1, state2;
  first->RunStarted(state1, {});
  std::optional<TProducerPosition> position;
  ASSERT_TRUE(WaitFor([&] { return first->TakeProducerTurn(position); }));
  EXPECT_FALSE(position);  // a new task starts at the beginning
  second.RunStarted(state2, {});
  std::this_thread::sleep_for(600ms);
  EXPECT_FALSE(second.TakeProducerTurn(position));

  state1.EngineResultOffset = 21;
  state1.EnginePageCount = 2;
  first->ProducerPageDone({G("http://dir.localhost/p3"), "http://dir.localhost/p4"});

  // The same record from two nodes, and one row twice in a batch, is stored once.
  TResultRow a{G("甲公司"), "http://a.localhost/", "info@a.localhost", "010-1234567"};
  TResultRow b{G("乙公司"), "http://b.localhost/", "", "021-7654321"};
  TResultRow aAgain = a;
  aAgain[kColTelephone] = "010 1234567";
  first->RecordsFound({a, b, a});
  second.RecordsFound({aAgain});
  first->Flush();
  second.Flush();
  EXPECT_EQ(Scalar("SELECT count(*) FROM veltra_record"), 2);
  // A window following the team sees both, whichever node stored them.
  second.FollowTeamRecords(true);
  std::vector<TTeamRecord> seen;
  ASSERT_TRUE(WaitFor([&] {
    for (auto& r : second.TakeTeamRecords()) seen.push_back(r);
    return seen.size() == 2;
  }));
  EXPECT_EQ(seen[0].Row[kColCompanyName], G("甲公司"));

  first.reset();  // its session ends, and with it the producer role
  ASSERT_TRUE(WaitFor([&] { return second.TakeProducerTurn(position); }));
  ASSERT_TRUE(position);
  EXPECT_EQ(position->ResultOffset, 21);
  EXPECT_EQ(position->PageCount, 2);
  EXPECT_EQ(position->PendingPages,
            (std::vector<std::string>{G("http://dir.localhost/p3"), "http://dir.localhost/p4"}));
}

TEST_F(PgTaskStore, ForeignNewerOrMismatchedDatabasesAreRefusedWithoutWriting) {
  const TTeamTaskPlan plan = Keyword("机械");
  {
    TPgConnection db(url_);
    db.Exec("CREATE TABLE customers (id integer)");
  }
  EXPECT_NE(TestTeamDatabase(url_).find("another program"), std::string::npos);
  try {
    TPgTaskStore store(Options(), &plan);
    ADD_FAILURE() << "a database of another program was used";
  } catch (const ETeamError& e) {
    EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Scalar("SELECT count(*) FROM pg_tables WHERE tablename LIKE 'veltra%'"), 0);
  {
    TPgConnection db(url_);
    db.Exec("DROP TABLE customers");
  }
  EXPECT_EQ(TestTeamDatabase(url_), "");
  EXPECT_EQ(Scalar("SELECT count(*) FROM pg_tables WHERE tablename LIKE 'veltra%'"), 0);
  { TPgTaskStore store(Options(), &plan); }
  const TTeamTaskPlan other = Keyword("服装");
  try {
    TPgTaskStore store(Options(), &other);
    ADD_FAILURE() << "joined a task of another keyword";
  } catch (const ETeamError& e) {
    EXPECT_NE(std::string(e.what()).find("服装"), std::string::npos) << e.what();
  }
  {
    TPgConnection db(url_);
    db.Exec("UPDATE veltra_schema SET version = 99");
  }
  const int64_t nodes = Scalar("SELECT count(*) FROM veltra_node");
  try {
    TPgTaskStore store(Options(), &plan);
    ADD_FAILURE() << "a newer schema was used";
  } catch (const ETeamError& e) {
    EXPECT_NE(std::string(e.what()).find("newer"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Scalar("SELECT count(*) FROM veltra_node"), nodes);
  // A wrong password names the problem and never the password.
  TTeamOptions wrong = Options();
  wrong.Connection = url_;
  wrong.Connection.replace(wrong.Connection.find(TPgCluster::kPassword),
                           std::string(TPgCluster::kPassword).size(), "not-the-password");
  try {
    TPgTaskStore store(wrong, &plan);
    ADD_FAILURE() << "connected with a wrong password";
  } catch (const ETeamError& e) {
    EXPECT_NE(std::string(e.what()).find("password authentication failed"), std::string::npos)
        << e.what();
    EXPECT_EQ(std::string(e.what()).find("not-the-password"), std::string::npos) << e.what();
  }
}

TEST_F(PgTaskStore, RecordsAreKeptInATaskFileWhenTheDatabaseIsGivenUp) {
  const TTeamTaskPlan plan = Keyword("机械");
  TTeamOptions options = Options();
  options.GiveUpAfter = 1500ms;
  testsupport::TempDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  TPgTaskStore node(options, &plan);
  TProgramState state;
  node.RunStarted(state, {});
  ASSERT_TRUE(TPgCluster::Shared().Stop());
  const TResultRow a{G("甲公司"), "http://a.localhost/", "info@a.localhost", "010-1234567"};
  node.RecordsFound({a});
  const bool gaveUp = WaitFor([&] { return !node.Failure().empty(); }, 20000ms);
  ASSERT_TRUE(TPgCluster::Shared().Start());
  std::filesystem::current_path(cwd);
  ASSERT_TRUE(gaveUp);
  const std::string file = node.RescueFile();
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.rfind(dir.Path().string(), 0), 0u) << file;
  EXPECT_NE(node.Failure().find(file), std::string::npos);
  EXPECT_EQ(ReadTaskFile(file).Rows, std::vector<TResultRow>{a});
}

TEST_F(PgTaskStore, ProducerRetakesItsLockAfterLosingTheSessionOrStopsWhenAnotherNodeHasIt) {
  const TTeamTaskPlan plan = Keyword("机械");
  TPgTaskStore a(Options(), &plan);
  TPgTaskStore b(Options(), &plan);
  TProgramState stateA, stateB;
  a.RunStarted(stateA, {});
  std::optional<TProducerPosition> position;
  ASSERT_TRUE(WaitFor([&] { return a.TakeProducerTurn(position); }));
  const auto storedOffset = [&] { return Scalar("SELECT result_offset FROM veltra_position"); };
  const auto lockHolder = [&] {
    return Scalar(
        "SELECT coalesce(max(pid), 0) FROM pg_locks WHERE locktype = 'advisory' AND granted");
  };
  TPgConnection other(url_);
  const auto endLockHolder = [&] {
    const int64_t pid = lockHolder();
    ASSERT_NE(pid, 0);
    other.Exec("SELECT pg_terminate_backend($1::int)", {std::to_string(pid)});
    ASSERT_TRUE(WaitFor([&] { return lockHolder() != pid; }));
  };
  stateA.EngineResultOffset = 11;
  EXPECT_TRUE(a.ProducerPageDone({}));
  a.Flush();
  EXPECT_EQ(storedOffset(), 11);

  // The session ends (as in a server restart) and nobody else wants the role: the node takes
  // its lock back and goes on.
  endLockHolder();
  stateA.EngineResultOffset = 21;
  EXPECT_TRUE(a.ProducerPageDone({}));
  ASSERT_TRUE(WaitFor([&] { return storedOffset() == 21; }));
  EXPECT_NE(lockHolder(), 0);

  // Again, but another session takes the lock first: the node's producer is told to stop and
  // never moves the position the new holder goes on from, not even by ending.
  endLockHolder();
  other.Exec("SELECT pg_advisory_lock(1449487476, $1::int)", {std::to_string(a.Task().Id)});
  stateA.EngineResultOffset = 31;
  ASSERT_TRUE(WaitFor([&] { return !a.ProducerPageDone({}); }));
  a.ProducerEnded(true);
  a.Flush();
  EXPECT_EQ(storedOffset(), 21);
  EXPECT_EQ(Scalar("SELECT count(*) FROM veltra_task WHERE producer_done"), 0);
  EXPECT_FALSE(a.TakeProducerTurn(position));

  // The lock frees: a node that runs takes the role on from the last stored position.
  a.RunStopped();
  b.RunStarted(stateB, {});
  other.Exec("SELECT pg_advisory_unlock_all()");
  ASSERT_TRUE(WaitFor([&] { return b.TakeProducerTurn(position); }));
  ASSERT_TRUE(position);
  EXPECT_EQ(position->ResultOffset, 21);
}

TEST(PgConnectionText, PasswordsLeaveTheConnectionKeptForTheWindow) {
  EXPECT_EQ(ConnectionWithoutPassword("postgresql://ann:pw@db.lan:5433/team?sslmode=require"),
            "postgresql://ann@db.lan:5433/team?sslmode=require");
  EXPECT_EQ(ConnectionWithoutPassword("postgresql://ann@db.lan/team?password=pw&sslmode=require"),
            "postgresql://ann@db.lan/team?sslmode=require");
  EXPECT_EQ(ConnectionWithoutPassword("postgresql://db.lan/team?sslmode=require&password=p@w"),
            "postgresql://db.lan/team?sslmode=require");
  EXPECT_EQ(ConnectionWithoutPassword("host=db user=ann password='a b\\'c' dbname=team"),
            "host=db user=ann dbname=team");
  EXPECT_EQ(ConnectionWithoutPassword("host=db password = pw"), "host=db");
  EXPECT_EQ(ConnectionWithoutPassword("host=db user=passwordless"), "host=db user=passwordless");
}
