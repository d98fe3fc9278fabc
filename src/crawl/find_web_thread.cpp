#include "crawl/find_web_thread.h"

#include <memory>

#include "core/gbk.h"
#include "core/program_state.h"
#include "net/fetch.h"

TFindWebThead::TFindWebThead(TProgramState& state, const TSettingsStore& settings, std::string url,
                             std::string title, std::string description)
    : StartURL(std::move(url)),
      Title(std::move(title)),
      Description(std::move(description)),
      state_(state),
      settings_(settings) {}

TFindWebThead::~TFindWebThead() {
  Join();
}

void TFindWebThead::Execute() {
  const std::shared_ptr<const TGlobalSet> settings = settings_.Snapshot();
  MaxLevel = settings->MaxCrawlLevel;
  LevelLinks.push_back(StartURL);
  HTTPClient.SetUserAgent(kUserAgentDefault);
  HTTPClient.SetReadTimeout(settings->MaxReadHTMLTimeOut);
  HTTPClient.SetRedirectHandler([this](const std::string& target) { RedirectHandler(target); });

  // The site is done when a page yielded records or every level was read; a level left
  // because of the terminate request leaves it unfinished.
  bool finished = true;
  while (Level <= MaxLevel) {
    if (CrawlLevel(Level) > 0) break;
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

  for (const std::vector<std::string>* list : {&LevelLinks, &LevelOtherLinks}) {
    if (handed > 0 || cutOff_) break;
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
      if (cutOff_ || handed > 0) break;
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
  Visited.push_back(u);
  visitedIndex_.insert(address);
  PageText = FetchPage(HTTPClient, address);
  // A page fetched when the request arrives is not analysed.
  if (Terminated()) {
    cutOff_ = true;
    return 0;
  }
  if (gbk::IsBlank(PageText)) return 0;

  // A fresh snapshot per page, so options confirmed during the run take effect.
  Parser.SetSettings(settings_.Snapshot());
  Parser.LoadPage(PageText, Title, CurrentURL, Description);
  Parser.Analyse();
  if (!Parser.Companies.empty()) {
    const auto count = static_cast<int32_t>(Parser.Companies.size());
    HandOverRecords(state_, Parser);
    return count;
  }
  if (level >= MaxLevel) return 0;

  Parser.ExtractLinks();
  // The next level's lists keep each address once, in the place where it is met first.
  // Later copies would be skipped by IsVisited anyway (the first list is read before the
  // second), so the reading order is unchanged while the lists stay bounded by the number
  // of distinct addresses on the site.
  for (const std::string& link : Parser.PriorityLinks) {
    std::string key = gbk::Trim(link);
    if (visitedIndex_.contains(key) || !queuedFirst_.insert(std::move(key)).second) continue;
    nextFirst.push_back(link);
  }
  for (const std::string& link : Parser.OtherLinks) {
    std::string key = gbk::Trim(link);
    if (visitedIndex_.contains(key) || queuedFirst_.contains(key) ||
        !queuedSecond_.insert(std::move(key)).second)
      continue;
    nextSecond.push_back(link);
  }
  return 0;
}

void HandOverRecords(TProgramState& state, const TParseHTML& parser) {
  auto at = [](const std::vector<std::string>& list, std::size_t i) {
    return i < list.size() ? list[i] : std::string();
  };
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
    // One lock per record: the GUI thread may drain the list in between.
    state.AppendCompany(std::move(record));
  }
}

bool TFindWebThead::IsVisited(const std::string& u) const {
  return visitedIndex_.contains(std::string(gbk::TrimView(u)));
}

void TFindWebThead::RedirectHandler(const std::string& target) {
  if (gbk::IsBlank(target)) return;
  if (gbk::ContainsNoCase(target, "http")) {
    CurrentURL = target;
    return;
  }
  if (!CurrentURL.ends_with('/')) CurrentURL += '/';
  CurrentURL.append(target.starts_with('/') ? std::string_view(target).substr(1) : target);
}
