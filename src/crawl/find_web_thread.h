#pragma once
// Site crawl worker: reads one company site breadth-first, level by level, and hands over
// the records of the first page that yields any.

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "analysis/parse_html.h"
#include "core/global_set.h"
#include "crawl/worker_thread.h"
#include "net/http_client.h"

class TProgramState;

// Appends the analyser's records to the program state's company list, in order.
void HandOverRecords(TProgramState& state, const TParseHTML& parser);

class TFindWebThead : public TWorkerThread {
 public:
  // Created suspended with the URL list entry's three strings; Resume starts the crawl.
  TFindWebThead(TProgramState& state, const TSettingsStore& settings, std::string url,
                std::string title, std::string description);
  ~TFindWebThead() override;

  // Reads one level; returns the number of records handed over (0 when none).
  int32_t CrawlLevel(int32_t level);
  // Whether `u` was fetched or tried before (trimmed addresses, compared exactly).
  bool IsVisited(const std::string& u) const;
  // Called by the HTTP client before each redirect is followed: the page address the
  // analyser sees becomes the target.
  void RedirectHandler(const std::string& target);

  // Written by the worker thread while it runs; read them only after WorkState 2.
  TParseHTML Parser;
  THttpClient HTTPClient;
  std::string PageText;
  int32_t Level = 0;
  std::string CurrentURL;
  std::vector<std::string> Visited;
  std::string StartURL;
  std::string Title;
  std::string Description;
  std::vector<std::string> LevelLinks;
  std::vector<std::string> LevelOtherLinks;
  int32_t MaxLevel = 0;

 protected:
  void Execute() override;
  void DisconnectClient() override { HTTPClient.Disconnect(); }

 private:
  // Fetches `u` (marking it visited) and analyses it; returns the records handed over.
  int32_t ReadPage(const std::string& u, int32_t level, std::vector<std::string>& nextFirst,
                   std::vector<std::string>& nextSecond);

  TProgramState& state_;
  const TSettingsStore& settings_;
  // Trimmed entries of Visited, for the O(1) test.
  std::unordered_set<std::string> visitedIndex_;
  // Trimmed addresses already queued for the next level (see CrawlLevel).
  std::unordered_set<std::string> queuedFirst_;
  std::unordered_set<std::string> queuedSecond_;
  // The level being read was left because of the terminate request.
  bool cutOff_ = false;
};
