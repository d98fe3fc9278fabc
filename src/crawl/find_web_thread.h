#pragma once
// Site crawl worker: reads one company site breadth-first, level by level, and hands over
// the records of the first page that yields any.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "analysis/parse_html.h"
#include "core/global_set.h"
#include "core/program_state.h"
#include "crawl/crawl_shared.h"
#include "crawl/worker_thread.h"
#include "net/http_client.h"

// The analyser's records as company objects, in order.
std::vector<std::unique_ptr<TCompanyObject>> MakeRecords(const TParseHTML& parser);
// Appends the analyser's records to the program state's company list, in order.
void HandOverRecords(TProgramState& state, const TParseHTML& parser);
// The page address after a redirect to `target` (absolute, or appended when relative).
void ApplyRedirect(std::string& currentUrl, const std::string& target);

class TFindWebThead : public TWorkerThread {
 public:
  // Created suspended with the URL list entry's three strings; Resume starts the crawl.
  // The page budget, parallel pages and network settings are taken from the settings now.
  TFindWebThead(TProgramState& state, const TSettingsStore& settings, std::string url,
                std::string title, std::string description, TCrawlShared shared = {});
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
  void DisconnectClient() override;

 private:
  // One fetcher of the pages of a level read at once: its own client and analyser.
  struct TLane {
    THttpClient Client;
    TParseHTML Parser;
    std::string CurrentURL;
  };
  // What a lane found on one page, merged in list order afterwards.
  struct TPageOutcome {
    bool Fetched = false;
    std::vector<std::unique_ptr<TCompanyObject>> Records;
    std::vector<std::string> PriorityLinks;
    std::vector<std::string> OtherLinks;
  };

  // Fetches `u` (marking it visited) and analyses it; returns the records handed over.
  int32_t ReadPage(const std::string& u, int32_t level, std::vector<std::string>& nextFirst,
                   std::vector<std::string>& nextSecond);
  // Reads the level's addresses with every lane at once; the outcome is merged as if the
  // pages had been read one by one.
  int32_t CrawlLevelParallel(int32_t level, std::vector<std::string>& nextFirst,
                             std::vector<std::string>& nextSecond);
  void RunLane(THttpClient& client, TParseHTML& parser, std::string& currentUrl, int32_t level,
               const std::vector<std::string>& jobs, std::vector<TPageOutcome>& outcomes,
               std::atomic<std::size_t>& next, std::atomic<std::size_t>& stopAt);
  // Analyses a fetched page. With a renderer, a page that yields nothing and looks
  // script-built (every page with RenderScripts 2) is rendered and its document analysed
  // instead; `text` and `currentUrl` then hold the rendered page.
  void AnalysePage(TParseHTML& parser, std::string& text, std::string& currentUrl);
  // Queues the links of a page that yielded nothing for the next level.
  void QueueLinks(const std::vector<std::string>& priority, const std::vector<std::string>& other,
                  std::vector<std::string>& nextFirst, std::vector<std::string>& nextSecond);
  void ConfigureLane(THttpClient& client, const TGlobalSet& settings);
  // Takes one page from the site budget and bounds the client's next fetch by the time left;
  // false when the budget is spent.
  bool TakePage(THttpClient& client);
  // robots.txt allows `address` (always true when it is not consulted).
  bool RobotsAllow(const std::string& address, THttpClient& client);
  std::string LogAddress() const override { return StartURL; }

  TProgramState& state_;
  const TSettingsStore& settings_;
  // Trimmed entries of Visited, for the O(1) test.
  std::unordered_set<std::string> visitedIndex_;
  // Trimmed addresses already queued for the next level (see CrawlLevel).
  std::unordered_set<std::string> queuedFirst_;
  std::unordered_set<std::string> queuedSecond_;
  // The level being read was left because of the terminate request.
  bool cutOff_ = false;
  TCrawlShared shared_;
  // Extra fetchers beside HTTPClient/Parser; made in the constructor so that RequestStop
  // never sees the list change.
  std::vector<std::unique_ptr<TLane>> lanes_;
  int32_t pageBudget_ = 0;  // 0: no limit
  int32_t timeBudgetSeconds_ = 0;
  int64_t pageDeadlineMs_ = 0;
  std::atomic<int32_t> pagesTaken_{0};
  std::chrono::steady_clock::time_point siteDeadline_{};
  // The site budget ended the crawl: the site counts as done.
  std::atomic<bool> budgetSpent_{false};
  TRenderRequest renderRequest_;  // the render settings of this crawl; Url is set per page
  int32_t renderMode_ = 0;        // RenderScripts, 0 without a renderer
};
