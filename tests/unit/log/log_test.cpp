#include "core/log.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Log, KeepsNewestEntriesInOrderAndFeedsTheSinkFromManyThreads) {
  TLog log(100);
  std::vector<std::string> seen;
  log.SetSink([&](const TLogEntry& e) { seen.push_back(e.Message); }, TLogLevel::Warning);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < 50; ++i)
        log.Write(i % 2 ? TLogLevel::Warning : TLogLevel::Info, "fetch", std::to_string(t),
                  "http://www.a.localhost:8080/x?y");
    });
  for (auto& th : threads) th.join();

  EXPECT_EQ(log.LastSeq(), 200u);
  auto all = log.Since(0);
  ASSERT_EQ(all.size(), 100u);  // capacity
  EXPECT_EQ(all.front().Seq, 101u);
  EXPECT_EQ(all.back().Seq, 200u);
  EXPECT_EQ(all.back().Site, "www.a.localhost");
  EXPECT_EQ(log.Since(195).size(), 5u);
  EXPECT_EQ(seen.size(), 100u);  // warnings only

  TLogEntry e;
  e.Category = "fetch";
  e.Url = "http://x/";
  e.Status = 503;
  e.Error = TFetchErrorKind::HttpStatus;
  e.ElapsedMs = 12;
  auto line = FormatLogEntry(e);
  EXPECT_NE(line.find("fetch http://x/ status=503 error=http-status ms=12"), std::string::npos);
}
