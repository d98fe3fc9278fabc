#include "store/pg_task_store.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <utility>

#include "core/gbk.h"
#include "core/log.h"
#include "core/site_domain.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs `f` with the mutex released and takes it back afterwards, also when `f` throws.
template <class F>
auto Unlocked(std::unique_lock<std::mutex>& lock, F&& f) {
  struct TRelock {
    std::unique_lock<std::mutex>& l;
    ~TRelock() { l.lock(); }
  };
  lock.unlock();
  TRelock relock{lock};
  return f();
}

std::string Ms(std::chrono::milliseconds ms) {
  return std::to_string(ms.count());
}

// The frontier's key of an address: the trimmed address, or its site when the task lists one
// address per site (as the local URL list does).
std::string SiteKey(const std::string& url, bool perSite) {
  const std::string trimmed(gbk::TrimView(url));
  if (!perSite) return trimmed;
  std::string site = SiteOfAddress(trimmed);
  return site.empty() ? trimmed : site;
}

// A record's key: its phone digits, e-mail and site; a record without either contact is
// known by its name and address instead.
std::string RecordKey(const TResultRow& row) {
  std::string digits;
  for (char c : row[kColTelephone])
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  const std::string email = gbk::LowerLatin(gbk::Trim(row[kColEmail]));
  std::string key = digits + '|' + email + '|' + SiteKey(row[kColWebAddress], true);
  if (digits.empty() && email.empty())
    key += '|' + gbk::Trim(row[kColCompanyName]) + '|' + gbk::Trim(row[kColAddress]);
  return key;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}

}  // namespace

struct TPgTaskStore::TOp {
  enum TKind { Sites, SiteEnded, Records, ProducerDone } Kind = Sites;
  std::vector<TSearchURLResult> Entries;
  std::optional<TProducerPosition> Position;
  int64_t SiteId = 0;
  bool Completed = false;
  std::vector<TResultRow> Rows;
  std::vector<int64_t> RowSites;  // the frontier row each record came from, 0 unknown
};

TPgTaskStore::TPgTaskStore(const TTeamOptions& options, const TTeamTaskPlan* plan)
    : options_(options), masked_(MaskedConnectionInfo(options.Connection)) {
  db_ = std::make_unique<TPgConnection>(options_.Connection);
  EnsureTeamSchema(*db_);
  task_ = JoinTeamTask(*db_, options_.TaskName, plan);
  nodeId_ = db_->Exec("INSERT INTO veltra_node (task, host, pid) VALUES ($1, $2, $3) RETURNING id",
                      {std::to_string(task_.Id), HostName(), std::to_string(getpid())})
                .Int(0, 0);
  RefreshCounts();
  TLog::Global().Write(TLogLevel::Info, "team",
                       "joined team task " + gbk::ToUtf8(task_.Name) + " as node " +
                           std::to_string(nodeId_) + " on " + masked_);
  thread_ = std::thread([this] { Main(); });
}

TPgTaskStore::~TPgTaskStore() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    running_ = false;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

TTeamCounts TPgTaskStore::Counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

void TPgTaskStore::FollowTeamRecords(bool on, int64_t afterId) {
  std::lock_guard lock(mutex_);
  follow_ = on;
  followedId_ = afterId;
  followed_.clear();
  wake_.notify_all();
}

bool TPgTaskStore::ListFollowsStore() const {
  std::lock_guard lock(mutex_);
  return follow_;
}

std::vector<TTeamRecord> TPgTaskStore::TakeTeamRecords() {
  std::lock_guard lock(mutex_);
  return std::exchange(followed_, {});
}

std::string TPgTaskStore::RescueFile() const {
  std::lock_guard lock(mutex_);
  return rescueFile_;
}

std::string TPgTaskStore::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

void TPgTaskStore::RunStarted(TProgramState& state, const TEngineNaming& naming) {
  std::lock_guard lock(mutex_);
  state_ = &state;
  naming_ = naming;
  sentAddresses_ = 0;
  running_ = true;
  turnTaken_ = false;
  siteRows_.clear();
  lockPosition_.reset();
  positionReady_ = false;
  wake_.notify_all();
}

bool TPgTaskStore::TakeProducerTurn(std::optional<TProducerPosition>& position) {
  std::lock_guard lock(mutex_);
  if (!holdsLock_ || !positionReady_ || turnTaken_ || counts_.ProducerDone) return false;
  turnTaken_ = true;
  producerLost_ = false;
  position = lockPosition_;
  return true;
}

bool TPgTaskStore::ProducerPageDone(const std::vector<std::string>& pendingPages) {
  auto op = std::make_unique<TOp>();
  op->Kind = TOp::Sites;
  TProgramState* state = nullptr;
  {
    std::lock_guard lock(mutex_);
    state = state_;
  }
  if (!state) return true;
  // Only this thread appends to the URL list while it runs, and only it reads from here.
  const std::size_t count = state->URLCount();
  for (std::size_t i = sentAddresses_; i < count; ++i) op->Entries.push_back(state->URLAt(i));
  sentAddresses_ = count;
  TProducerPosition position;
  if (TSearchEngineObject* engine = state->CurrentEngine.load(); engine && naming_.NameOf)
    position.Source = naming_.NameOf(engine);
  position.ResultOffset = state->EngineResultOffset.load();
  position.PageCount = state->EnginePageCount.load();
  position.PendingPages = pendingPages;
  op->Position = std::move(position);
  bool keep = true;
  {
    std::lock_guard lock(mutex_);
    if (!failure_.empty()) return true;
    // The addresses found still go to the team; the position is the new producer's alone.
    if (producerLost_) {
      op->Position.reset();
      keep = false;
    }
    ops_.push_back(std::move(op));
  }
  wake_.notify_all();
  return keep;
}

void TPgTaskStore::ProducerEnded(bool completed) {
  if (!completed) return;
  auto op = std::make_unique<TOp>();
  op->Kind = TOp::ProducerDone;
  {
    std::lock_guard lock(mutex_);
    // A producer that lost the role does not end the search the new one goes on with.
    if (producerLost_) return;
    ops_.push_back(std::move(op));
  }
  wake_.notify_all();
}

bool TPgTaskStore::SitesWaiting() const {
  std::lock_guard lock(mutex_);
  return !claimed_.empty();
}

std::optional<TSiteTicket> TPgTaskStore::TakeSite() {
  std::optional<TSiteTicket> site;
  {
    std::lock_guard lock(mutex_);
    if (claimed_.empty()) return std::nullopt;
    site = std::move(claimed_.front());
    claimed_.pop_front();
    ++outstanding_;
    siteRows_[SiteKey(site->Entry.URL, true)] = site->Id;
  }
  wake_.notify_all();  // claims the next ones
  return site;
}

void TPgTaskStore::SiteEnded(const TSiteTicket& site, bool completed) {
  auto op = std::make_unique<TOp>();
  op->Kind = TOp::SiteEnded;
  op->SiteId = site.Id;
  op->Completed = completed;
  {
    std::lock_guard lock(mutex_);
    if (outstanding_ > 0) --outstanding_;
    if (completed && state_) ++state_->ProcessedURLCount;
    ops_.push_back(std::move(op));
  }
  wake_.notify_all();
}

void TPgTaskStore::RunStopped() {
  std::lock_guard lock(mutex_);
  running_ = false;
  // Sites claimed for workers that never started go back to the team at once.
  for (const TSiteTicket& site : claimed_) {
    auto op = std::make_unique<TOp>();
    op->Kind = TOp::SiteEnded;
    op->SiteId = site.Id;
    ops_.push_back(std::move(op));
  }
  claimed_.clear();
  wake_.notify_all();
}

bool TPgTaskStore::AllSitesDone() const {
  std::lock_guard lock(mutex_);
  return failure_.empty() && counts_.ProducerDone && counts_.New == 0 && counts_.Leased == 0 &&
         claimed_.empty() && outstanding_ == 0 && ops_.empty() && !applying_ && !countsStale_;
}

bool TPgTaskStore::SitesLeft() const {
  std::lock_guard lock(mutex_);
  return counts_.New + counts_.Leased > 0 || !claimed_.empty() || outstanding_ > 0;
}

void TPgTaskStore::RecordsFound(const std::vector<TResultRow>& rows) {
  if (rows.empty()) return;
  std::lock_guard lock(mutex_);
  if (!failure_.empty()) {
    unstored_.insert(unstored_.end(), rows.begin(), rows.end());
    WriteRescueFile();
    return;
  }
  auto op = std::make_unique<TOp>();
  op->Kind = TOp::Records;
  op->Rows = rows;
  for (const TResultRow& row : rows) {
    const auto it = siteRows_.find(SiteKey(row[kColWebAddress], true));
    op->RowSites.push_back(it == siteRows_.end() ? 0 : it->second);
  }
  ops_.push_back(std::move(op));
  wake_.notify_all();
}

void TPgTaskStore::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait_for(lock, std::chrono::seconds(30),
                 [&] { return (ops_.empty() && !applying_) || !failure_.empty(); });
}

void TPgTaskStore::Main() noexcept {
  const auto beat = std::clamp<std::chrono::milliseconds>(
      options_.Lease / 4, std::chrono::milliseconds(250), std::chrono::milliseconds(10000));
  const auto quitWait =
      std::min<std::chrono::milliseconds>(options_.GiveUpAfter, std::chrono::seconds(15));
  // The producer role and the team's counts are looked at more often than leases are renewed:
  // a node waits at most this long to take over a search or to see the task end.
  const auto look = std::min<std::chrono::milliseconds>(beat, std::chrono::seconds(1));
  auto nextBeat = Clock::now();
  auto nextLook = Clock::now();
  auto nextFollow = Clock::now();
  auto nextClaim = Clock::now();
  auto nextCounts = Clock::now();
  auto lastCounts = Clock::now() - std::chrono::seconds(1);
  std::optional<Clock::time_point> quitBy;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quit_ && !quitBy) quitBy = Clock::now() + quitWait;
    if (quit_ && (ops_.empty() || !failure_.empty())) break;
    if (quitBy && Clock::now() > *quitBy) {
      GiveUp();
      break;
    }
    if (!failure_.empty()) {
      wake_.wait_for(lock, std::chrono::milliseconds(200));
      continue;
    }
    if (!db_ || db_->Broken()) {
      Reconnect(lock);
      continue;
    }
    try {
      while (!ops_.empty()) {
        std::unique_ptr<TOp> op = std::move(ops_.front());
        ops_.pop_front();
        applying_ = true;
        try {
          Unlocked(lock, [&] { Apply(*op); });
        } catch (const ETeamError& e) {
          applying_ = false;
          if (e.ConnectionLost) {
            ops_.push_front(std::move(op));
            throw;
          }
          TLog::Global().Write(TLogLevel::Error, "team", e.what());
          continue;
        }
        applying_ = false;
        countsStale_ = true;
      }
      idle_.notify_all();
      if (Clock::now() >= nextBeat) {
        Unlocked(lock, [&] { Heartbeat(); });
        nextBeat = Clock::now() + beat;
      }
      if (running_ && !counts_.ProducerDone && (!holdsLock_ || !positionReady_) &&
          Clock::now() >= nextLook) {
        Unlocked(lock, [&] { TryProducerLock(); });
        nextLook = Clock::now() + look;
      }
      if (follow_ && Clock::now() >= nextFollow) {
        nextFollow = Clock::now() + look;
        {
          const int64_t after = followedId_;
          std::vector<TTeamRecord> fresh =
              Unlocked(lock, [&] { return ReadTeamRecords(*db_, task_.Id, after); });
          if (follow_ && !fresh.empty() && followedId_ == after) {
            followedId_ = fresh.back().Id;
            for (auto& r : fresh) followed_.push_back(std::move(r));
          }
        }
      }
      if (running_ && claimed_.size() < options_.Prefetch && Clock::now() >= nextClaim) {
        const std::size_t wanted = options_.Prefetch - claimed_.size();
        const std::size_t before = claimed_.size();
        Unlocked(lock, [&] { ClaimSites(wanted); });
        const bool none = claimed_.size() == before;
        nextClaim = Clock::now() + (none ? std::chrono::milliseconds(200) : beat * 0);
      }
      // After writes soon, so the end is seen; but not after every single one.
      if ((countsStale_ && Clock::now() >= lastCounts + std::chrono::milliseconds(200)) ||
          Clock::now() >= nextCounts) {
        Unlocked(lock, [&] { RefreshCounts(); });
        lastCounts = Clock::now();
        nextCounts = lastCounts + look;
      }
    } catch (const ETeamError& e) {
      TLog::Global().Write(TLogLevel::Warning, "team", e.what());
      if (!e.ConnectionLost) {
        wake_.wait_for(lock, std::chrono::milliseconds(500));
        continue;
      }
      counts_.Connected = false;
      continue;
    }
    if (quit_) continue;
    wake_.wait_for(lock, std::chrono::milliseconds(100), [&] {
      return quit_ || !ops_.empty() ||
             (running_ && claimed_.size() < options_.Prefetch / 2 + 1 && Clock::now() >= nextClaim);
    });
  }
  // Leaving: unstarted sites go back, what could not be written is kept in a file.
  if (db_ && !db_->Broken() && failure_.empty()) {
    std::deque<TSiteTicket> unstarted;
    unstarted.swap(claimed_);
    lock.unlock();
    try {
      for (const TSiteTicket& site : unstarted)
        db_->Exec(
            "UPDATE veltra_frontier SET state = 0, attempts = greatest(attempts - 1, 0),"
            " lease_owner = NULL, lease_until = NULL"
            " WHERE id = $1 AND lease_owner = $2 AND state = 1",
            {std::to_string(site.Id), std::to_string(nodeId_)});
    } catch (const ETeamError& e) {
      TLog::Global().Write(TLogLevel::Warning, "team", e.what());
    }
    lock.lock();
  }
  idle_.notify_all();
  lock.unlock();
  db_.reset();
}

void TPgTaskStore::Apply(const TOp& op) {
  const std::string task = std::to_string(task_.Id);
  const std::string node = std::to_string(nodeId_);
  switch (op.Kind) {
    case TOp::Sites: {
      std::vector<std::string> keys, urls, titles, descriptions;
      for (const auto& e : op.Entries) {
        keys.push_back(gbk::ToUtf8(SiteKey(e.URL, task_.Plan.OneEntryPerSite)));
        urls.push_back(gbk::ToUtf8(gbk::TrimView(e.URL)));
        titles.push_back(gbk::ToUtf8(e.Title));
        descriptions.push_back(gbk::ToUtf8(e.Description));
      }
      // The page's addresses and the position after it are kept together or not at all.
      TPgTransaction tx(*db_);
      if (!keys.empty())
        db_->Exec(
            "INSERT INTO veltra_frontier (task, key, url, title, description)"
            " SELECT $1, k, u, t, d FROM unnest($2::text[], $3::text[], $4::text[], $5::text[])"
            " AS x(k, u, t, d) ON CONFLICT (task, key) DO NOTHING",
            {task, PgArrayLiteral(keys), PgArrayLiteral(urls), PgArrayLiteral(titles),
             PgArrayLiteral(descriptions)});
      if (op.Position && KeepProducerLock()) {
        const TProducerPosition& p = *op.Position;
        std::vector<std::string> pending;
        for (const auto& page : p.PendingPages) pending.push_back(gbk::ToUtf8(page));
        db_->Exec(
            "INSERT INTO veltra_position (task, source, result_offset, page_count, pending_pages)"
            " VALUES ($1, $2, $3, $4, $5::text[]) ON CONFLICT (task, source) DO UPDATE SET"
            " result_offset = EXCLUDED.result_offset, page_count = EXCLUDED.page_count,"
            " pending_pages = EXCLUDED.pending_pages, updated = now()",
            {task, p.Source, std::to_string(p.ResultOffset), std::to_string(p.PageCount),
             PgArrayLiteral(pending)});
        db_->Exec("UPDATE veltra_task SET current_source = $2 WHERE id = $1", {task, p.Source});
      }
      tx.Commit();
      break;
    }
    case TOp::SiteEnded:
      if (op.Completed) {
        db_->Exec(
            "UPDATE veltra_frontier SET state = 2, lease_owner = NULL, lease_until = NULL"
            " WHERE id = $1 AND lease_owner = $2 AND state = 1",
            {std::to_string(op.SiteId), node});
        std::lock_guard lock(mutex_);
        ++sitesDone_;
      } else {
        // Cut off by a stop: not an attempt that failed.
        db_->Exec(
            "UPDATE veltra_frontier SET state = 0, attempts = greatest(attempts - 1, 0),"
            " lease_owner = NULL, lease_until = NULL"
            " WHERE id = $1 AND lease_owner = $2 AND state = 1",
            {std::to_string(op.SiteId), node});
      }
      break;
    case TOp::Records: {
      std::array<std::vector<std::string>, 9> columns;
      for (const TResultRow& row : op.Rows) {
        columns[0].push_back(gbk::ToUtf8(RecordKey(row)));
        for (std::size_t c = 0; c < row.size(); ++c) columns[c + 1].push_back(gbk::ToUtf8(row[c]));
      }
      std::vector<std::string> params = {task, node};
      for (const auto& column : columns) params.push_back(PgArrayLiteral(column));
      std::vector<std::string> sites;
      for (const int64_t id : op.RowSites) sites.push_back(std::to_string(id));
      params.push_back(PgArrayLiteral(sites));
      // The records new to the task, each counted with the site it came from.
      const TPgResult r = db_->Exec(
          "WITH x AS (SELECT * FROM unnest($3::text[], $4::text[], $5::text[], $6::text[],"
          " $7::text[], $8::text[], $9::text[], $10::text[], $11::text[], $12::bigint[])"
          " AS x(k, a, b, c, d, e, f, g, h, s)),"
          " stored AS (INSERT INTO veltra_record (task, node, key, company_name, web_address,"
          " email, telephone, fax, address, postcode, description, source_page)"
          " SELECT $1, $2, k, a, b, c, d, e, f, g, h, b FROM x"
          " ON CONFLICT (task, key) DO NOTHING RETURNING key),"
          " counted AS (UPDATE veltra_frontier f SET records = f.records + n.n FROM"
          " (SELECT s, count(*) AS n FROM stored JOIN (SELECT DISTINCT ON (k) k, s FROM x) y"
          " ON y.k = stored.key WHERE s > 0 GROUP BY s) n WHERE f.id = n.s AND f.task = $1"
          " RETURNING f.id)"
          " SELECT count(*) FROM stored",
          params);
      std::lock_guard lock(mutex_);
      recordsStored_ += r.Int(0, 0);
      break;
    }
    case TOp::ProducerDone:
      if (!KeepProducerLock()) break;
      db_->Exec("UPDATE veltra_task SET producer_done = true WHERE id = $1", {task});
      break;
  }
}

void TPgTaskStore::Heartbeat() {
  int64_t sites = 0, records = 0;
  {
    std::lock_guard lock(mutex_);
    sites = sitesDone_;
    records = recordsStored_;
  }
  const std::string task = std::to_string(task_.Id);
  const std::string node = std::to_string(nodeId_);
  db_->Exec(
      "UPDATE veltra_node SET heartbeat = now(), sites_done = $2, records_stored = $3"
      " WHERE id = $1",
      {node, std::to_string(sites), std::to_string(records)});
  // The leases of every site this node holds, claimed ahead or being crawled.
  db_->Exec(
      "UPDATE veltra_frontier SET lease_until = now() + $3::float8 * interval '1 millisecond'"
      " WHERE task = $1 AND lease_owner = $2 AND state = 1",
      {task, node, Ms(options_.Lease)});
  // A site whose lease ran out on its third attempt is not tried again.
  db_->Exec(
      "UPDATE veltra_frontier SET state = 3, lease_owner = NULL,"
      " last_error = 'lease ran out ' || attempts || ' times'"
      " WHERE task = $1 AND state = 1 AND lease_until < now() AND attempts >= 3",
      {task});
}

void TPgTaskStore::ClaimSites(std::size_t wanted) {
  const TPgResult r = db_->Exec(
      "WITH picked AS (SELECT id FROM veltra_frontier WHERE task = $1 AND (state = 0 OR"
      " (state = 1 AND lease_until < now() AND attempts < 3)) ORDER BY id LIMIT $2"
      " FOR UPDATE SKIP LOCKED)"
      " UPDATE veltra_frontier f SET state = 1, lease_owner = $3,"
      " lease_until = now() + $4::float8 * interval '1 millisecond', attempts = f.attempts + 1"
      " FROM picked WHERE f.id = picked.id RETURNING f.id, f.url, f.title, f.description",
      {std::to_string(task_.Id), std::to_string(wanted), std::to_string(nodeId_),
       Ms(options_.Lease)});
  std::vector<TSiteTicket> sites;
  for (int i = 0; i < r.Rows(); ++i) {
    TSiteTicket site;
    site.Id = r.Int(i, 0);
    site.Entry = {gbk::FromUtf8(r.Text(i, 1)), gbk::FromUtf8(r.Text(i, 2)),
                  gbk::FromUtf8(r.Text(i, 3))};
    sites.push_back(std::move(site));
  }
  std::sort(sites.begin(), sites.end(),
            [](const TSiteTicket& a, const TSiteTicket& b) { return a.Id < b.Id; });
  std::lock_guard lock(mutex_);
  for (auto& site : sites) claimed_.push_back(std::move(site));
}

void TPgTaskStore::RefreshCounts() {
  {
    std::lock_guard lock(mutex_);
    countsStale_ = false;
  }
  const std::string task = std::to_string(task_.Id);
  TTeamCounts counts;
  const TPgResult f = db_->Exec(
      "SELECT (SELECT producer_done FROM veltra_task WHERE id = $1),"
      " count(*) FILTER (WHERE state = 0), count(*) FILTER (WHERE state = 1),"
      " count(*) FILTER (WHERE state = 2), count(*) FILTER (WHERE state = 3),"
      " (SELECT count(*) FROM veltra_record WHERE task = $1),"
      " (SELECT count(*) FROM veltra_node WHERE task = $1 AND"
      "  heartbeat > now() - 3 * $2::float8 * interval '1 millisecond')"
      " FROM veltra_frontier WHERE task = $1",
      {task, Ms(options_.Lease)});
  counts.ProducerDone = f.Bool(0, 0);
  counts.New = f.Int(0, 1);
  counts.Leased = f.Int(0, 2);
  counts.Done = f.Int(0, 3);
  counts.Failed = f.Int(0, 4);
  counts.Records = f.Int(0, 5);
  counts.Nodes = f.Int(0, 6);
  counts.RoundTrips = db_->RoundTrips();
  std::lock_guard lock(mutex_);
  counts.Producer = holdsLock_;
  counts.Connected = true;
  counts_ = counts;
}

void TPgTaskStore::TryProducerLock() {
  bool holds = false, wanted = false;
  {
    std::lock_guard lock(mutex_);
    holds = holdsLock_;
    wanted = !positionReady_;
  }
  const std::string task = std::to_string(task_.Id);
  if (!holds) {
    holds = KeepProducerLock();
    if (holds)
      TLog::Global().Write(TLogLevel::Info, "team",
                           "node " + std::to_string(nodeId_) + " runs the search of the task");
  }
  if (!holds || !wanted) return;
  std::optional<TProducerPosition> position;
  const TPgResult r = db_->Exec(
      "SELECT p.source, p.result_offset, p.page_count, array_to_json(p.pending_pages)::text"
      " FROM veltra_task t JOIN veltra_position p ON p.task = t.id AND p.source = t.current_source"
      " WHERE t.id = $1",
      {task});
  if (r.Rows() == 1) {
    TProducerPosition p;
    p.Source = r.Text(0, 0);
    p.ResultOffset = static_cast<int32_t>(r.Int(0, 1));
    p.PageCount = static_cast<int32_t>(r.Int(0, 2));
    const TPgResult pages = db_->Exec(
        "SELECT unnest(pending_pages) FROM veltra_position WHERE task = $1 AND source = $2",
        {task, p.Source});
    for (int i = 0; i < pages.Rows(); ++i)
      p.PendingPages.push_back(gbk::FromUtf8(pages.Text(i, 0)));
    position = std::move(p);
  }
  std::lock_guard lock(mutex_);
  holdsLock_ = true;
  lockPosition_ = std::move(position);
  positionReady_ = true;
}

bool TPgTaskStore::KeepProducerLock() {
  {
    std::lock_guard lock(mutex_);
    if (holdsLock_) return true;
  }
  // One producer per task: the lock is the session's and goes with it, when the node dies or
  // the server restarts. A node whose producer is running takes it back before it writes.
  const bool got =
      db_->Exec("SELECT pg_try_advisory_lock(1449487476, $1::int)", {std::to_string(task_.Id)})
          .Bool(0, 0);
  std::lock_guard lock(mutex_);
  if (got) {
    holdsLock_ = true;
  } else if (turnTaken_ && !producerLost_) {
    ProducerRoleLost();
  }
  return got;
}

void TPgTaskStore::ProducerRoleLost() {
  // Another node took the role while this one was away: its producer ends its turn, and
  // nothing it queued moves the position. The role may come back in a later turn.
  producerLost_ = true;
  turnTaken_ = false;
  positionReady_ = false;
  lockPosition_.reset();
  for (auto& op : ops_) op->Position.reset();
  std::erase_if(ops_, [](const auto& op) { return op->Kind == TOp::ProducerDone; });
  TLog::Global().Write(TLogLevel::Warning, "team",
                       "node " + std::to_string(nodeId_) +
                           " lost the search of the task to another node; its search stops");
}

void TPgTaskStore::Reconnect(std::unique_lock<std::mutex>& lock) {
  if (!lostSince_) {
    lostSince_ = Clock::now();
    backoff_ = std::chrono::milliseconds(250);
    counts_.Connected = false;
    TLog::Global().Write(TLogLevel::Warning, "team",
                         "lost the team database " + masked_ + "; reconnecting");
  }
  wake_.wait_for(lock, backoff_, [&] { return quit_; });
  backoff_ = std::min<std::chrono::milliseconds>(backoff_ * 2, std::chrono::seconds(5));
  try {
    auto db = Unlocked(lock, [&] { return std::make_unique<TPgConnection>(options_.Connection); });
    db_ = std::move(db);
    // A new session holds no advisory lock; the role is tried for again.
    holdsLock_ = false;
    lostSince_.reset();
    counts_.Connected = true;
    countsStale_ = true;
    TLog::Global().Write(TLogLevel::Info, "team", "reconnected to the team database " + masked_);
  } catch (const ETeamError& e) {
    if (Clock::now() - *lostSince_ >= options_.GiveUpAfter) {
      TLog::Global().Write(TLogLevel::Error, "team", e.what());
      GiveUp();
    }
  }
}

void TPgTaskStore::GiveUp() {
  for (auto& op : ops_)
    if (op->Kind == TOp::Records)
      unstored_.insert(unstored_.end(), op->Rows.begin(), op->Rows.end());
  ops_.clear();
  claimed_.clear();
  running_ = false;
  db_.reset();
  WriteRescueFile();
  std::string text = GBK("与团队数据库的连接中断，已放弃重连");
  if (!rescueFile_.empty()) text += GBK("；未存入数据库的记录已写入 ") + gbk::FromUtf8(rescueFile_);
  failure_ = text;
  idle_.notify_all();
}

void TPgTaskStore::WriteRescueFile() {
  if (unstored_.empty()) return;
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::current_path(ec);
  const std::string path =
      (dir / ("veltra-team-" + std::to_string(task_.Id) + "-" + std::to_string(getpid()) + ".swrw"))
          .string();
  TTaskFileData data;
  data.TaskName = task_.Name;
  data.SearchText = task_.Plan.SearchText;
  data.SearchMode = task_.Plan.SearchMode;
  data.Window.InputText = task_.Plan.SearchText;
  data.Window.KeywordMode = task_.Plan.SearchMode != 1;
  data.Window.WebsiteMode = task_.Plan.SearchMode == 1;
  data.Rows = unstored_;
  try {
    WriteTaskFile(path, data);
    rescueFile_ = path;
    TLog::Global().Write(TLogLevel::Warning, "team",
                         std::to_string(unstored_.size()) +
                             " records not stored in the team database were written to " + path);
  } catch (const std::exception& e) {
    TLog::Global().Write(TLogLevel::Error, "team", e.what());
  }
}
