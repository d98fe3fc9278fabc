#pragma once
// A task shared by several machines in PostgreSQL. The database work runs on a thread of the
// store's own with its own connection; run control's calls only touch queues. Sites are
// claimed a few at a time with FOR UPDATE SKIP LOCKED under a lease that a heartbeat renews;
// a site whose lease runs out is claimed again, and fails for good after the third attempt.
// The producer role goes to the node that holds the task's advisory lock; the producer's
// position is stored after every page, so a node that takes the lock later goes on from it.
// Records are unique in the database by their key. When the database is lost, the store
// retries with back-off and keeps what it has not written; when it gives up, the records
// go to a task file in the working directory.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "store/task_store.h"
#include "store/team_task.h"

struct TTeamOptions {
  std::string Connection;  // libpq connection string or postgresql:// URL
  std::string TaskName;    // GBK
  std::chrono::milliseconds Lease{120000};
  std::chrono::milliseconds GiveUpAfter{300000};  // reconnecting stops after this long
  std::size_t Prefetch = 4;                       // sites claimed ahead of the workers
};

// What the store last read of the team (refreshed about every heartbeat).
struct TTeamCounts {
  int64_t New = 0, Leased = 0, Done = 0, Failed = 0, Records = 0;
  int64_t Nodes = 0;  // nodes with a heartbeat in the last three leases
  bool ProducerDone = false;
  bool Producer = false;  // this node holds the producer role
  bool Connected = true;
  uint64_t RoundTrips = 0;  // statements this node sent
};

class TPgTaskStore final : public TTaskStore {
 public:
  // Connects, makes or checks the tables and creates (`plan` given) or joins the task, then
  // registers this node. Throws ETeamError; nothing is written on a refused database.
  TPgTaskStore(const TTeamOptions& options, const TTeamTaskPlan* plan);
  // Writes what is queued (for a bounded time), gives back unstarted sites, disconnects.
  ~TPgTaskStore() override;
  TPgTaskStore(const TPgTaskStore&) = delete;
  TPgTaskStore& operator=(const TPgTaskStore&) = delete;

  const TTeamTask& Task() const { return task_; }
  int64_t NodeId() const { return nodeId_; }
  TTeamCounts Counts() const;
  const std::string& MaskedConnection() const { return masked_; }
  // The window's list follows the whole team: with `on`, every record stored by any node is
  // read about once a heartbeat (from record id `afterId` on) and kept until taken.
  void FollowTeamRecords(bool on, int64_t afterId = 0);
  std::vector<TTeamRecord> TakeTeamRecords();
  // Where unwritten records went when the database was given up, else empty.
  std::string RescueFile() const;

  void RunStarted(TProgramState& state, const TEngineNaming& naming) override;
  bool TakeProducerTurn(std::optional<TProducerPosition>& position) override;
  bool ProducerPageDone(const std::vector<std::string>& pendingPages) override;
  void ProducerEnded(bool completed) override;
  bool SitesWaiting() const override;
  std::optional<TSiteTicket> TakeSite() override;
  void SiteEnded(const TSiteTicket& site, bool completed) override;
  void RunStopped() override;
  bool AllSitesDone() const override;
  bool SitesLeft() const override;
  void RecordsFound(const std::vector<TResultRow>& rows) override;
  bool ListFollowsStore() const override;
  std::string Failure() const override;
  void Flush() override;

 private:
  struct TOp;
  void Main() noexcept;
  void Apply(const TOp& op);
  void Heartbeat();
  void ClaimSites(std::size_t wanted);
  void RefreshCounts();
  void TryProducerLock();
  bool KeepProducerLock();
  void ProducerRoleLost();
  void Reconnect(std::unique_lock<std::mutex>& lock);
  void GiveUp();
  void WriteRescueFile();

  TTeamOptions options_;
  std::string masked_;
  std::unique_ptr<TPgConnection> db_;  // the store thread's, after the constructor
  TTeamTask task_;
  int64_t nodeId_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::unique_ptr<TOp>> ops_;
  bool applying_ = false;    // an op taken from ops_ is being written
  bool countsStale_ = true;  // something was written since the counts were read
  std::deque<TSiteTicket> claimed_;
  std::size_t outstanding_ = 0;  // sites handed to workers and not ended
  bool running_ = false;         // a run is on: claim sites, try for the producer role
  bool quit_ = false;
  bool holdsLock_ = false;
  bool turnTaken_ = false;      // run control started the producer in this run
  bool producerLost_ = false;   // another node took the role from this node's producer
  bool positionReady_ = false;  // lockPosition_ was read for this run
  std::optional<TProducerPosition> lockPosition_;
  int64_t sitesDone_ = 0, recordsStored_ = 0;  // this node's, for its heartbeat
  std::optional<std::chrono::steady_clock::time_point> lostSince_;
  std::chrono::milliseconds backoff_{250};
  TTeamCounts counts_;
  std::string failure_;  // GBK
  std::string rescueFile_;
  std::vector<TResultRow> unstored_;  // records kept after giving up
  bool follow_ = false;
  int64_t followedId_ = 0;
  std::vector<TTeamRecord> followed_;
  // The frontier row of each site this node has crawled in this run, by its site: records
  // count towards the site they came from, also when they arrive after it ended.
  std::unordered_map<std::string, int64_t> siteRows_;

  // Set when a run starts, before its producer exists.
  TProgramState* state_ = nullptr;
  TEngineNaming naming_;
  std::size_t sentAddresses_ = 0;  // URL list entries already queued (producer's thread)

  std::thread thread_;
};
