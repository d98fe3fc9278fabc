#include "core/program_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "test_support.h"

using testsupport::G;

TEST(ProgramState, StartsWithTheInitialValues) {
  TProgramState s;
  EXPECT_EQ(s.TaskName, G("新任务1"));
  EXPECT_EQ(s.AppTitle, G("Veltra企业名录采集系统"));
  EXPECT_EQ(s.RunState, 0);
  EXPECT_EQ(s.EngineResultOffset.load(), 1);
  EXPECT_EQ(s.URLCount(), 0u);
  EXPECT_EQ(s.CompanyCount(), 0u);
  EXPECT_FALSE(s.Modified);
}

TEST(ProgramState, ResetClearsTheRunAndKeepsTheTask) {
  TProgramState s;
  auto* engine = reinterpret_cast<TSearchEngineObject*>(&s);  // any non-null reference
  s.RunState = -1;
  s.TaskName = "task";
  s.TaskFileName = "/tmp/a.swrw";
  s.AppTitle = "title";
  s.SearchText = "kw";
  s.SearchMode = 1;
  s.ProcessedURLCount = 4;
  s.NextURLIndex = 5;
  s.CurrentEngine = engine;
  s.EngineResultOffset = 21;
  s.EnginePageCount = 3;
  s.SearchThread = reinterpret_cast<TDoSearchThread*>(&s);
  s.PointWebThread = reinterpret_cast<TSearchPointWebThread*>(&s);
  s.WorkerSlots.assign(3, nullptr);
  s.EngineList = {engine};
  s.ElapsedMs = 1000;
  s.LastTick = 77;
  s.Modified = true;
  s.AppendURL("http://a.localhost/", "", "");
  s.AppendCompany(std::make_unique<TCompanyObject>());

  s.Reset();
  EXPECT_EQ(s.RunState, 0);
  EXPECT_EQ(s.SearchText, "");
  EXPECT_EQ(s.TaskFileName, "");
  EXPECT_EQ(s.ProcessedURLCount, 0);
  EXPECT_EQ(s.NextURLIndex, 0);
  EXPECT_EQ(s.ElapsedMs, 0u);
  EXPECT_EQ(s.CurrentEngine.load(), nullptr);
  EXPECT_EQ(s.SearchThread, nullptr);
  EXPECT_EQ(s.PointWebThread, nullptr);
  EXPECT_EQ(s.EngineResultOffset.load(), 1);
  EXPECT_EQ(s.EnginePageCount.load(), 0);
  EXPECT_TRUE(s.WorkerSlots.empty());
  EXPECT_TRUE(s.EngineList.empty());
  EXPECT_EQ(s.URLCount(), 0u);
  EXPECT_EQ(s.CompanyCount(), 0u);
  // Kept: the task's name, the title, the mode, the tick and the modified mark.
  EXPECT_EQ(s.TaskName, "task");
  EXPECT_EQ(s.AppTitle, "title");
  EXPECT_EQ(s.SearchMode, 1);
  EXPECT_EQ(s.LastTick, 77u);
  EXPECT_TRUE(s.Modified);
  // The index went with the list: the same address is new again.
  EXPECT_FALSE(s.HasURL("http://a.localhost/"));
  EXPECT_TRUE(s.AppendURL("http://a.localhost/", "", ""));
}

TEST(ProgramState, DuplicateTestComparesTrimmedAddressesExactly) {
  TProgramState s;
  EXPECT_TRUE(s.AppendURL(" \thttp://www.acme.localhost\r\n", "Acme", "desc"));
  EXPECT_FALSE(s.AppendURL("http://www.acme.localhost", "other", ""));
  EXPECT_TRUE(s.AppendURL("http://www.acme.localhost/", "", ""));  // trailing "/"
  EXPECT_TRUE(s.AppendURL("http://WWW.acme.localhost", "", ""));   // letter case
  EXPECT_TRUE(s.AppendURL(G("http://中文.localhost"), "", ""));
  EXPECT_FALSE(s.AppendURL(G(" http://中文.localhost "), "", ""));
  ASSERT_EQ(s.URLCount(), 4u);
  auto first = s.URLAt(0);
  EXPECT_EQ(first.URL, "http://www.acme.localhost");
  EXPECT_EQ(first.Title, "Acme");
  EXPECT_EQ(first.Description, "desc");
  EXPECT_TRUE(s.HasURL("http://www.acme.localhost "));
  EXPECT_FALSE(s.HasURL("http://acme.localhost"));
  EXPECT_EQ(s.URLsFrom(2),
            (std::vector<std::string>{"http://WWW.acme.localhost", G("http://中文.localhost")}));
  EXPECT_TRUE(s.URLsFrom(9).empty());
  EXPECT_THROW(s.URLAt(4), std::out_of_range);
}

TEST(ProgramState, ReplacedListKeepsItsEntriesAndAnswersTheDuplicateTest) {
  TProgramState s;
  s.AppendURL("http://old.localhost", "", "");
  s.ReplaceURLList({{"http://a.localhost", "A", ""},
                    {" http://b.localhost ", "B", ""},
                    {"http://a.localhost", "A2", ""}});
  EXPECT_EQ(s.URLCount(), 3u);
  EXPECT_EQ(s.URLAt(1).URL, " http://b.localhost ");  // kept as stored
  EXPECT_FALSE(s.HasURL("http://old.localhost"));
  EXPECT_FALSE(s.AppendURL("http://b.localhost", "", ""));
  EXPECT_FALSE(s.AppendURL("http://a.localhost", "", ""));
  EXPECT_TRUE(s.AppendURL("http://old.localhost", "", ""));
  EXPECT_EQ(s.CopyURLList().size(), 4u);
}

TEST(ProgramState, ConcurrentProducersNeverAppendAnAddressTwice) {
  TProgramState s;
  constexpr int kAddresses = 3000;
  constexpr int kProducers = 4;
  std::atomic<int> appended{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p)
    threads.emplace_back([&, p] {
      std::vector<int> order(kAddresses);
      for (int i = 0; i < kAddresses; ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), std::mt19937(p));
      for (int i : order)
        if (s.AppendURL("http://site" + std::to_string(i) + ".localhost", "", "")) ++appended;
    });
  // The GUI thread reads meanwhile, as the dispatch and status steps do.
  std::thread reader([&] {
    std::size_t seen = 0;
    while (!done) {
      std::size_t n = s.URLCount();
      if (n > seen) {
        s.URLAt(n - 1);
        seen = s.URLsFrom(seen).size() + seen;
      }
    }
  });
  for (auto& t : threads) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(appended.load(), kAddresses);
  auto list = s.CopyURLList();
  std::set<std::string> unique;
  for (const auto& e : list) unique.insert(e.URL);
  EXPECT_EQ(list.size(), static_cast<std::size_t>(kAddresses));
  EXPECT_EQ(unique.size(), list.size());
}

TEST(ProgramState, CompanyListHandsEveryRecordOverOnce) {
  TProgramState s;
  constexpr int kPerWorker = 2000;
  constexpr int kWorkers = 3;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([&, w] {
      for (int i = 0; i < kPerWorker; ++i) {
        auto r = std::make_unique<TCompanyObject>();
        r->CompanyName = std::to_string(w) + "/" + std::to_string(i);
        s.AppendCompany(std::move(r));
      }
    });
  std::set<std::string> names;
  std::size_t taken = 0;
  while (taken < static_cast<std::size_t>(kPerWorker * kWorkers)) {
    for (auto& r : s.TakeCompanies()) {
      names.insert(r->CompanyName);
      ++taken;
    }
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(taken, names.size());
  EXPECT_EQ(s.CompanyCount(), 0u);
  EXPECT_TRUE(s.TakeCompanies().empty());
}
