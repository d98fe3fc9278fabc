#include "crawl/find_web_thread.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <thread>

#include "core/gbk.h"
#include "core/log.h"
#include "core/program_state.h"
#include "net/client_settings.h"
#include "net/fetch.h"

namespace {

// More fetchers per site than this only add load on the site.
constexpr int32_t kMaxParallelPages = 8;

// Ends with the page's use: a large page's text and analysis are freed before its room in
// the page budget is given back, so the budget bounds what the workers really hold.
class TPageHold {
 public:
  TPageHold(std::string& text, TParseHTML& parser) : text_(text), parser_(parser) {}
  TPageHold(const TPageHold&) = delete;
  TPageHold& operator=(const TPageHold&) = delete;
  ~TPageHold() {
    constexpr std::size_t kLargePage = std::size_t{256} << 10;
    if (text_.size() > kLargePage) {
      std::string().swap(text_);
      parser_ = TParseHTML();
    }
    Lease.Reset();
  }
  TPageLease Lease;

 private:
  std::string& text_;
  TParseHTML& parser_;
};

}  // namespace

TFindWebThead::TFindWebThead(TProgramState& state, const TSettingsStore& settings, std::string url,
                             std::string title, std::string description, TCrawlShared shared)
    : StartURL(std::move(url)),
      Title(std::move(title)),
      Description(std::move(description)),
      state_(state),
      settings_(settings),
      shared_(std::move(shared)) {
  const std::shared_ptr<const TGlobalSet> set = settings_.Snapshot();
  const int32_t parallel = std::clamp(set->SiteParallelPages, 1, kMaxParallelPages);
  for (int32_t i = 1; i < parallel; ++i) lanes_.push_back(std::make_unique<TLane>());
  // A stop abandons the analysis of a page at once instead of waiting for a huge page.
  Parser.SetCancelFlag(&TerminateFlag());
  for (auto& lane : lanes_) lane->Parser.SetCancelFlag(&TerminateFlag());
  pageBudget_ = std::max(set->SitePageBudget, 0);
  timeBudgetSeconds_ = std::max(set->SiteTimeBudget, 0);
}

TFindWebThead::~TFindWebThead() {
  Join();
}

void TFindWebThead::DisconnectClient() {
  HTTPClient.Disconnect();
  for (auto& lane : lanes_) lane->Client.Disconnect();
}

void TFindWebThead::ConfigureLane(THttpClient& client, const TGlobalSet& settings) {
  ConfigureClient(client, settings, kUserAgentDefault);
  client.SetHostLimiter(shared_.Limiter);
  client.SetCookieStore(shared_.Cookies);
}

void TFindWebThead::Execute() {
  const std::shared_ptr<const TGlobalSet> settings = settings_.Snapshot();
  MaxLevel = settings->MaxCrawlLevel;
  LevelLinks.push_back(StartURL);
  ConfigureLane(HTTPClient, *settings);
  HTTPClient.SetRedirectHandler([this](const std::string& target) { RedirectHandler(target); });
  for (auto& lane : lanes_) {
    ConfigureLane(lane->Client, *settings);
    TLane* l = lane.get();
    lane->Client.SetRedirectHandler(
        [l](const std::string& target) { ApplyRedirect(l->CurrentURL, target); });
  }
  pageDeadlineMs_ = PageDeadlineMs(*settings);
  if (shared_.Renderer) {
    renderMode_ = std::clamp(settings->RenderScripts, 0, 2);
    renderRequest_.DeadlineMs =
        int64_t{std::clamp(settings->RenderDeadline, 1, kMaxRenderDeadline)} * 1000;
    renderRequest_.Parallel = std::clamp(settings->RenderParallel, 1, kMaxRenderParallel);
    renderRequest_.UserAgent = settings->UserAgent;
    renderRequest_.AcceptLanguage = settings->AcceptLanguage;
    renderRequest_.Stopped = [this] { return Terminated(); };
  }
  if (timeBudgetSeconds_ > 0)
    siteDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(timeBudgetSeconds_);

  // The site is done when a page yielded records or every level was read; a level left
  // because of the terminate request leaves it unfinished.
  bool finished = true;
  while (Level <= MaxLevel) {
    if (CrawlLevel(Level) > 0) break;
    // A site cut by its budget is done, like one read to its depth.
    if (budgetSpent_.load()) break;
    if (Terminated()) {
      finished = !cutOff_ && (Level == MaxLevel || (LevelLinks.empty() && LevelOtherLinks.empty()));
      break;
    }
    // Nothing queued: the deeper levels would read nothing.
    if (LevelLinks.empty() && LevelOtherLinks.empty()) break;
    ++Level;
  }
  if (finished) MarkCompleted();
}

int32_t TFindWebThead::CrawlLevel(int32_t level) {
  std::vector<std::string> nextFirst;
  std::vector<std::string> nextSecond;
  queuedFirst_.clear();
  queuedSecond_.clear();
  cutOff_ = false;
  int32_t handed = 0;

  if (!lanes_.empty() && LevelLinks.size() + LevelOtherLinks.size() > 1) {
    handed = CrawlLevelParallel(level, nextFirst, nextSecond);
    LevelLinks = std::move(nextFirst);
    LevelOtherLinks = std::move(nextSecond);
    queuedFirst_.clear();
    queuedSecond_.clear();
    return handed;
  }

  for (const std::vector<std::string>* list : {&LevelLinks, &LevelOtherLinks}) {
    if (handed > 0 || cutOff_ || budgetSpent_.load()) break;
    if (Terminated()) {
      // Cut off only when something of this level is left unread.
      cutOff_ = !list->empty() || (list == &LevelLinks && !LevelOtherLinks.empty());
      break;
    }
    for (const std::string& u : *list) {
      if (Terminated()) {
        cutOff_ = true;
        break;
      }
      handed = ReadPage(u, level, nextFirst, nextSecond);
      if (cutOff_ || handed > 0 || budgetSpent_.load()) break;
    }
  }

  LevelLinks = std::move(nextFirst);
  LevelOtherLinks = std::move(nextSecond);
  queuedFirst_.clear();
  queuedSecond_.clear();
  return handed;
}

int32_t TFindWebThead::ReadPage(const std::string& u, int32_t level,
                                std::vector<std::string>& nextFirst,
                                std::vector<std::string>& nextSecond) {
  // Blanks around an address are not part of it (they would go out as %20).
  const std::string address = gbk::Trim(u);
  CurrentURL = address;
  if (visitedIndex_.contains(address)) return 0;
  if (!RobotsAllow(address, HTTPClient)) {
    Visited.push_back(u);
    visitedIndex_.insert(address);
    return 0;
  }
  CurrentURL = address;
  if (!TakePage(HTTPClient)) return 0;
  Visited.push_back(u);
  visitedIndex_.insert(address);
  TPageHold hold(PageText, Parser);
  PageText = FetchPage(HTTPClient, address, &hold.Lease);
  // A page fetched when the request arrives is not analysed.
  if (Terminated()) {
    cutOff_ = true;
    return 0;
  }
  if (gbk::IsBlank(PageText)) return 0;

  AnalysePage(Parser, PageText, CurrentURL);
  // Cut short by the stop: the page counts as unread.
  if (Parser.Interrupted()) {
    cutOff_ = true;
    return 0;
  }
  if (!Parser.Companies.empty()) {
    const auto count = static_cast<int32_t>(Parser.Companies.size());
    HandOverRecords(state_, Parser);
    return count;
  }
  if (level >= MaxLevel) return 0;

  Parser.ExtractLinks();
  if (Parser.Interrupted()) {
    cutOff_ = true;
    return 0;
  }
  QueueLinks(Parser.PriorityLinks, Parser.OtherLinks, nextFirst, nextSecond);
  return 0;
}

void TFindWebThead::AnalysePage(TParseHTML& parser, std::string& text, std::string& currentUrl) {
  // A fresh snapshot per page, so options confirmed during the run take effect.
  parser.SetSettings(settings_.Snapshot());
  parser.LoadPage(text, Title, currentUrl, Description);
  parser.Analyse();
  if (renderMode_ == 0 ||
      (renderMode_ == 1 && (!parser.Companies.empty() || !LooksScriptBuilt(text))))
    return;
  if (Terminated()) return;
  std::string rendered = RenderPage(*shared_.Renderer, currentUrl, renderRequest_);
  // A page that could not be rendered keeps what its fetched text gave.
  if (gbk::IsBlank(rendered) || Terminated()) return;
  text = std::move(rendered);
  parser.LoadPage(text, Title, currentUrl, Description);
  parser.Analyse();
}

void TFindWebThead::QueueLinks(const std::vector<std::string>& priority,
                               const std::vector<std::string>& other,
                               std::vector<std::string>& nextFirst,
                               std::vector<std::string>& nextSecond) {
  // The next level's lists keep each address once, in the place where it is met first.
  // Later copies would be skipped by IsVisited anyway (the first list is read before the
  // second), so the reading order is unchanged while the lists stay bounded by the number
  // of distinct addresses on the site.
  for (const std::string& link : priority) {
    std::string key = gbk::Trim(link);
    if (visitedIndex_.contains(key) || !queuedFirst_.insert(std::move(key)).second) continue;
    nextFirst.push_back(link);
  }
  for (const std::string& link : other) {
    std::string key = gbk::Trim(link);
    if (visitedIndex_.contains(key) || queuedFirst_.contains(key) ||
        !queuedSecond_.insert(std::move(key)).second)
      continue;
    nextSecond.push_back(link);
  }
}

bool TFindWebThead::TakePage(THttpClient& client) {
  if (budgetSpent_.load()) return false;
  if (pageBudget_ > 0 && pagesTaken_.fetch_add(1) >= pageBudget_) {
    budgetSpent_.store(true);
    return false;
  }
  int64_t deadlineMs = pageDeadlineMs_;
  if (timeBudgetSeconds_ > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          siteDeadline_ - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      budgetSpent_.store(true);
      return false;
    }
    // The page may not outlast the site's time.
    if (deadlineMs <= 0 || left < deadlineMs) deadlineMs = left;
  }
  client.SetDeadline(deadlineMs);
  return true;
}

bool TFindWebThead::RobotsAllow(const std::string& address, THttpClient& client) {
  if (!shared_.Robots || shared_.Robots->Allowed(address, client)) return true;
  TLogEntry entry;
  entry.Category = "fetch";
  entry.Url = gbk::ToUtf8(address);
  entry.Error = TFetchErrorKind::Blocked;
  entry.Message = "robots.txt";
  TLog::Global().Add(std::move(entry));
  return false;
}

int32_t TFindWebThead::CrawlLevelParallel(int32_t level, std::vector<std::string>& nextFirst,
                                          std::vector<std::string>& nextSecond) {
  // The level's addresses in reading order; the lists hold each unvisited address once.
  std::vector<std::string> jobs;
  std::vector<const std::string*> listed;  // the addresses as the lists hold them
  jobs.reserve(LevelLinks.size() + LevelOtherLinks.size());
  for (const auto* list : {&LevelLinks, &LevelOtherLinks})
    for (const std::string& u : *list) {
      std::string address = gbk::Trim(u);
      if (visitedIndex_.contains(address)) continue;
      jobs.push_back(std::move(address));
      listed.push_back(&u);
    }
  std::vector<TPageOutcome> outcomes(jobs.size());
  std::atomic<std::size_t> next{0};
  // Pages after the first one with records are not started.
  std::atomic<std::size_t> stopAt{std::numeric_limits<std::size_t>::max()};

  std::vector<std::thread> helpers;
  const std::size_t lanes = std::min(lanes_.size(), jobs.size() > 0 ? jobs.size() - 1 : 0);
  for (std::size_t i = 0; i < lanes; ++i) {
    TLane& lane = *lanes_[i];
    helpers.emplace_back([&, level] {
      RunLane(lane.Client, lane.Parser, lane.CurrentURL, level, jobs, outcomes, next, stopAt);
    });
  }
  RunLane(HTTPClient, Parser, CurrentURL, level, jobs, outcomes, next, stopAt);
  for (auto& helper : helpers) helper.join();

  // Merge in reading order, as one fetcher would have seen the pages.
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    TPageOutcome& page = outcomes[i];
    if (!page.Fetched) {
      // Left unread because of the stop (the budget and records end the site anyway).
      if (Terminated() && !budgetSpent_.load()) cutOff_ = true;
      break;
    }
    Visited.push_back(*listed[i]);
    visitedIndex_.insert(jobs[i]);
    if (!page.Records.empty()) {
      const auto count = static_cast<int32_t>(page.Records.size());
      for (auto& record : page.Records) state_.AppendCompany(std::move(record));
      return count;
    }
    QueueLinks(page.PriorityLinks, page.OtherLinks, nextFirst, nextSecond);
  }
  return 0;
}

void TFindWebThead::RunLane(THttpClient& client, TParseHTML& parser, std::string& currentUrl,
                            int32_t level, const std::vector<std::string>& jobs,
                            std::vector<TPageOutcome>& outcomes, std::atomic<std::size_t>& next,
                            std::atomic<std::size_t>& stopAt) {
  // Runs on a helper thread too: nothing may escape it.
  try {
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= jobs.size() || i > stopAt.load() || Terminated()) return;
      TPageOutcome& page = outcomes[i];
      if (!RobotsAllow(jobs[i], client)) {
        page.Fetched = true;
        continue;
      }
      if (!TakePage(client)) return;
      currentUrl = jobs[i];
      std::string text;
      TPageHold hold(text, parser);
      text = FetchPage(client, jobs[i], &hold.Lease);
      // A page fetched when the request arrives is not analysed, and counts as unread.
      if (Terminated()) return;
      page.Fetched = true;
      if (gbk::IsBlank(text)) continue;
      AnalysePage(parser, text, currentUrl);
      if (parser.Interrupted()) {
        page.Fetched = false;  // cut short by the stop: unread
        return;
      }
      if (!parser.Companies.empty()) {
        page.Records = MakeRecords(parser);
        std::size_t seen = stopAt.load();
        while (i < seen && !stopAt.compare_exchange_weak(seen, i)) {
        }
        continue;
      }
      if (level >= MaxLevel) continue;
      parser.ExtractLinks();
      if (parser.Interrupted()) {
        page.Fetched = false;
        return;
      }
      page.PriorityLinks = parser.PriorityLinks;
      page.OtherLinks = parser.OtherLinks;
    }
  } catch (const std::exception& e) {
    TLog::Global().Write(TLogLevel::Error, "worker", std::string("exception: ") + e.what(),
                         gbk::ToUtf8(StartURL));
  } catch (...) {
    TLog::Global().Write(TLogLevel::Error, "worker", "unknown exception", gbk::ToUtf8(StartURL));
  }
}

std::vector<std::unique_ptr<TCompanyObject>> MakeRecords(const TParseHTML& parser) {
  auto at = [](const TTextList& list, std::size_t i) {
    return i < list.size() ? std::string(list[i]) : std::string();
  };
  std::vector<std::unique_ptr<TCompanyObject>> records;
  for (std::size_t i = 0; i < parser.Companies.size(); ++i) {
    auto record = std::make_unique<TCompanyObject>();
    record->CompanyName = parser.Companies[i];
    record->WebAddress = at(parser.WebAddresses, i);
    record->Address = at(parser.Addresses, i);
    record->PostCode = at(parser.PostCodes, i);
    record->Telephone = at(parser.Telephones, i);
    record->Fax = at(parser.Faxes, i);
    record->Email = at(parser.Emails, i);
    record->Description = at(parser.Descriptions, i);
    records.push_back(std::move(record));
  }
  return records;
}

void HandOverRecords(TProgramState& state, const TParseHTML& parser) {
  // One lock per record: the GUI thread may drain the list in between.
  for (auto& record : MakeRecords(parser)) state.AppendCompany(std::move(record));
}

bool TFindWebThead::IsVisited(const std::string& u) const {
  return visitedIndex_.contains(std::string(gbk::TrimView(u)));
}

void TFindWebThead::RedirectHandler(const std::string& target) {
  ApplyRedirect(CurrentURL, target);
}

void ApplyRedirect(std::string& currentUrl, const std::string& target) {
  if (gbk::IsBlank(target)) return;
  if (gbk::ContainsNoCase(target, "http")) {
    currentUrl = target;
    return;
  }
  if (!currentUrl.ends_with('/')) currentUrl += '/';
  currentUrl.append(target.starts_with('/') ? std::string_view(target).substr(1) : target);
}
