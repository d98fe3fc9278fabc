#include "store/local_task_store.h"

#include <algorithm>
#include <utility>

void TLocalTaskStore::RunStarted(TProgramState& state, const TEngineNaming&) {
  state_ = &state;
  producerDue_ = true;
  crawling_.clear();
  firstCutOffIndex_ = -1;
}

bool TLocalTaskStore::TakeProducerTurn(std::optional<TProducerPosition>&) {
  // The position is the program state's own (a continued task's stored one).
  return std::exchange(producerDue_, false);
}

bool TLocalTaskStore::SitesWaiting() const {
  return state_->NextURLIndex >= 0 &&
         state_->URLCount() > static_cast<std::size_t>(state_->NextURLIndex);
}

std::optional<TSiteTicket> TLocalTaskStore::TakeSite() {
  SkipCrawledSites();
  const int32_t index = state_->NextURLIndex;
  if (index < 0 || state_->URLCount() <= static_cast<std::size_t>(index)) return std::nullopt;
  TSiteTicket ticket{state_->URLAt(static_cast<std::size_t>(index)), index, 0};
  ++state_->NextURLIndex;
  crawling_.insert(index);
  return ticket;
}

void TLocalTaskStore::SiteEnded(const TSiteTicket& site, bool completed) {
  if (auto it = crawling_.find(site.Index); it != crawling_.end()) crawling_.erase(it);
  if (completed) {
    ++state_->ProcessedURLCount;
    if (site.Index >= 0) state_->CrawledAhead.insert(site.Index);
  } else if (site.Index >= 0 && (firstCutOffIndex_ < 0 || site.Index < firstCutOffIndex_)) {
    firstCutOffIndex_ = site.Index;
  }
}

void TLocalTaskStore::SkipCrawledSites() {
  auto& ahead = state_->CrawledAhead;
  // Counted as processed when the site was crawled; the count was lowered to the resume point
  // at the stop, so it is counted again here.
  for (auto it = ahead.find(state_->NextURLIndex); it != ahead.end() && *it == state_->NextURLIndex;
       it = ahead.erase(it)) {
    ++state_->NextURLIndex;
    ++state_->ProcessedURLCount;
  }
}

int32_t TLocalTaskStore::FirstCrawlingIndex() const {
  return crawling_.empty() ? -1 : *crawling_.begin();
}

void TLocalTaskStore::SitesSettled() {
  // Below every site still being crawled and below the next one to hand out, no resume point
  // can fall any more.
  int32_t floor = state_->NextURLIndex;
  if (const int32_t crawling = FirstCrawlingIndex(); crawling >= 0)
    floor = std::min(floor, crawling);
  auto& ahead = state_->CrawledAhead;
  ahead.erase(ahead.begin(), ahead.lower_bound(floor));
}

void TLocalTaskStore::RunStopped() {
  if (firstCutOffIndex_ >= 0) {
    state_->NextURLIndex = firstCutOffIndex_;
    state_->ProcessedURLCount = firstCutOffIndex_;
    firstCutOffIndex_ = -1;
  }
  // Sites finished after the resume point stay in CrawledAhead: Continue skips them.
  SitesSettled();
}

bool TLocalTaskStore::AllSitesDone() const {
  const std::size_t urlCount = state_->URLCount();
  return state_->ProcessedURLCount == state_->NextURLIndex && state_->ProcessedURLCount >= 0 &&
         urlCount == static_cast<std::size_t>(state_->ProcessedURLCount);
}

bool TLocalTaskStore::SitesLeft() const {
  return state_->URLCount() > static_cast<std::size_t>(std::max(state_->ProcessedURLCount, 0));
}
