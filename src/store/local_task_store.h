#pragma once
// The task of one machine: sites are handed out from the program state's URL list in order,
// and a stopped run resumes at its first unfinished site, skipping the ones finished after it.

#include <set>

#include "store/task_store.h"

class TLocalTaskStore final : public TTaskStore {
 public:
  explicit TLocalTaskStore(TProgramState& state) : state_(&state) {}

  void RunStarted(TProgramState& state, const TEngineNaming& naming) override;
  bool TakeProducerTurn(std::optional<TProducerPosition>& position) override;
  bool SitesWaiting() const override;
  std::optional<TSiteTicket> TakeSite() override;
  void SiteEnded(const TSiteTicket& site, bool completed) override;
  void SitesSettled() override;
  void RunStopped() override;
  bool AllSitesDone() const override;
  bool SitesLeft() const override;
  int32_t FirstCrawlingIndex() const override;

 private:
  // Passes over the sites at NextURLIndex that were crawled before a stop.
  void SkipCrawledSites();

  TProgramState* state_;
  bool producerDue_ = false;
  std::multiset<int32_t> crawling_;  // URL list indices handed out and not yet ended
  int32_t firstCutOffIndex_ = -1;
};
