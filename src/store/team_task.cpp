#include "store/team_task.h"

#include "core/gbk.h"
#include "core/global_set.h"

namespace {

constexpr const char* kProgram = "veltra";

// Version 1 of the tables.
const char* const kSchemaV1[] = {
    "CREATE TABLE veltra_schema (program text NOT NULL, version integer NOT NULL)",
    "CREATE TABLE veltra_task ("
    " id bigserial PRIMARY KEY, name text NOT NULL UNIQUE, mode integer NOT NULL,"
    " search_text text NOT NULL, one_per_site boolean NOT NULL, settings text NOT NULL,"
    " producer_done boolean NOT NULL DEFAULT false, current_source text NOT NULL DEFAULT '',"
    " created timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE veltra_position ("
    " task bigint NOT NULL REFERENCES veltra_task(id), source text NOT NULL,"
    " result_offset integer NOT NULL, page_count integer NOT NULL,"
    " pending_pages text[] NOT NULL DEFAULT '{}', updated timestamptz NOT NULL DEFAULT now(),"
    " PRIMARY KEY (task, source))",
    // state: 0 new, 1 leased, 2 done, 3 failed
    "CREATE TABLE veltra_frontier ("
    " id bigserial PRIMARY KEY, task bigint NOT NULL REFERENCES veltra_task(id),"
    " key text NOT NULL, url text NOT NULL, title text NOT NULL, description text NOT NULL,"
    " state smallint NOT NULL DEFAULT 0, lease_owner bigint, lease_until timestamptz,"
    " attempts integer NOT NULL DEFAULT 0, last_error text NOT NULL DEFAULT '',"
    " records integer NOT NULL DEFAULT 0, UNIQUE (task, key))",
    "CREATE INDEX veltra_frontier_claim ON veltra_frontier (task, state, id)",
    "CREATE TABLE veltra_node ("
    " id bigserial PRIMARY KEY, task bigint NOT NULL REFERENCES veltra_task(id),"
    " host text NOT NULL, pid integer NOT NULL, started timestamptz NOT NULL DEFAULT now(),"
    " heartbeat timestamptz NOT NULL DEFAULT now(), sites_done bigint NOT NULL DEFAULT 0,"
    " records_stored bigint NOT NULL DEFAULT 0)",
    "CREATE TABLE veltra_record ("
    " id bigserial PRIMARY KEY, task bigint NOT NULL REFERENCES veltra_task(id),"
    " key text NOT NULL, company_name text NOT NULL, web_address text NOT NULL,"
    " email text NOT NULL, telephone text NOT NULL, fax text NOT NULL, address text NOT NULL,"
    " postcode text NOT NULL, description text NOT NULL, source_page text NOT NULL,"
    " node bigint, found timestamptz NOT NULL DEFAULT now(), UNIQUE (task, key))",
};

TTeamTaskPlan PlanOfRow(const TPgResult& r, int row, int first) {
  TTeamTaskPlan plan;
  plan.SearchMode = static_cast<int32_t>(r.Int(row, first));
  plan.SearchText = gbk::FromUtf8(r.Text(row, first + 1));
  plan.OneEntryPerSite = r.Bool(row, first + 2);
  plan.Settings = r.Text(row, first + 3);
  return plan;
}

}  // namespace

const char* FrontierStateName(int state) {
  switch (state) {
    case 0:
      return "new";
    case 1:
      return "leased";
    case 2:
      return "done";
    case 3:
      return "failed";
    default:
      return "unknown";
  }
}

std::string TestTeamDatabase(const std::string& connection) {
  try {
    TPgConnection db(connection);
    // Checked as a node would, in a transaction that is rolled back.
    TPgTransaction tx(db);
    EnsureTeamSchema(db, true, false);
    return {};
  } catch (const ETeamError& e) {
    return e.what();
  }
}

void EnsureTeamSchema(TPgConnection& db, bool create, bool commit) {
  TPgTransaction tx(db, commit);
  // Two nodes starting together must not both make the tables.
  db.Exec("SELECT pg_advisory_xact_lock(1449487476, 0)");
  const TPgResult has = db.Exec("SELECT to_regclass('veltra_schema') IS NOT NULL");
  if (!has.Bool(0, 0)) {
    const TPgResult others =
        db.Exec("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema()");
    if (others.Int(0, 0) > 0)
      throw ETeamError("the database " + db.MaskedInfo() +
                       " holds tables of another program; use an empty database for the team");
    if (!create) throw ETeamError("the database " + db.MaskedInfo() + " holds no team tasks yet");
    if (!commit) return;
    for (const char* statement : kSchemaV1) db.Exec(statement);
    db.Exec("INSERT INTO veltra_schema (program, version) VALUES ($1, $2)",
            {kProgram, std::to_string(kTeamSchemaVersion)});
    tx.Commit();
    return;
  }
  const TPgResult version = db.Exec("SELECT program, version FROM veltra_schema");
  if (version.Rows() != 1 || version.Text(0, 0) != kProgram)
    throw ETeamError("the database " + db.MaskedInfo() + " belongs to another program");
  const int64_t stored = version.Int(0, 1);
  if (stored > kTeamSchemaVersion)
    throw ETeamError("the database " + db.MaskedInfo() + " has team tables of version " +
                     std::to_string(stored) + ", newer than this program's " +
                     std::to_string(kTeamSchemaVersion) + "; update the program");
  // Upgrades from older versions go here, each adding to what is stored.
  if (commit) tx.Commit();
}

TTeamTask JoinTeamTask(TPgConnection& db, const std::string& name, const TTeamTaskPlan* plan) {
  const std::string utf8Name = gbk::ToUtf8(name);
  if (plan)
    db.Exec(
        "INSERT INTO veltra_task (name, mode, search_text, one_per_site, settings)"
        " VALUES ($1, $2, $3, $4, $5) ON CONFLICT (name) DO NOTHING",
        {utf8Name, std::to_string(plan->SearchMode), gbk::ToUtf8(plan->SearchText),
         plan->OneEntryPerSite ? "true" : "false", plan->Settings});
  const TPgResult r = db.Exec(
      "SELECT id, mode, search_text, one_per_site, settings, producer_done FROM veltra_task"
      " WHERE name = $1",
      {utf8Name});
  if (r.Rows() != 1) throw ETeamError("there is no team task named " + utf8Name);
  TTeamTask task;
  task.Id = r.Int(0, 0);
  task.Name = name;
  task.Plan = PlanOfRow(r, 0, 1);
  task.ProducerDone = r.Bool(0, 5);
  if (plan && (plan->SearchMode != task.Plan.SearchMode ||
               gbk::Trim(plan->SearchText) != gbk::Trim(task.Plan.SearchText))) {
    auto what = [](const TTeamTaskPlan& s) {
      return std::string(s.SearchMode == 1 ? "directory " : "keyword ") + "\"" +
             gbk::ToUtf8(s.SearchText) + "\"";
    };
    throw ETeamError("the team task " + utf8Name + " searches " + what(task.Plan) + ", not " +
                     what(*plan));
  }
  return task;
}

TTeamStatus ReadTeamStatus(TPgConnection& db, const TTeamTask& task) {
  TTeamStatus status;
  status.Task = task;
  const std::string id = std::to_string(task.Id);
  const TPgResult t =
      db.Exec("SELECT producer_done, current_source FROM veltra_task WHERE id = $1", {id});
  if (t.Rows() == 1) {
    status.Task.ProducerDone = t.Bool(0, 0);
    status.ProducerSource = t.Text(0, 1);
  }
  for (int s = 0; s < 4; ++s) status.Sites[FrontierStateName(s)] = 0;
  const TPgResult f =
      db.Exec("SELECT state, count(*) FROM veltra_frontier WHERE task = $1 GROUP BY state", {id});
  for (int i = 0; i < f.Rows(); ++i)
    status.Sites[FrontierStateName(static_cast<int>(f.Int(i, 0)))] = f.Int(i, 1);
  status.Records = db.Exec("SELECT count(*) FROM veltra_record WHERE task = $1", {id}).Int(0, 0);
  const TPgResult p = db.Exec(
      "SELECT result_offset, page_count, cardinality(pending_pages) FROM veltra_position"
      " WHERE task = $1 AND source = $2",
      {id, status.ProducerSource});
  if (p.Rows() == 1) {
    status.ProducerOffset = static_cast<int32_t>(p.Int(0, 0));
    status.ProducerPages = static_cast<int32_t>(p.Int(0, 1));
    status.PendingPages = p.Int(0, 2);
  }
  const TPgResult n = db.Exec(
      "SELECT id, host, pid, to_char(started, 'YYYY-MM-DD HH24:MI:SS'),"
      " to_char(heartbeat, 'YYYY-MM-DD HH24:MI:SS'),"
      " extract(epoch FROM now() - heartbeat)::float8, sites_done, records_stored"
      " FROM veltra_node WHERE task = $1 ORDER BY id",
      {id});
  for (int i = 0; i < n.Rows(); ++i) {
    TTeamNode node;
    node.Id = n.Int(i, 0);
    node.Host = n.Text(i, 1);
    node.Pid = n.Int(i, 2);
    node.Started = n.Text(i, 3);
    node.Heartbeat = n.Text(i, 4);
    node.SecondsSinceHeartbeat = std::stod(n.Text(i, 5));
    node.SitesDone = n.Int(i, 6);
    node.RecordsStored = n.Int(i, 7);
    status.Nodes.push_back(node);
  }
  return status;
}

std::vector<TTeamTaskSummary> ListTeamTasks(TPgConnection& db) {
  const TPgResult r = db.Exec(
      "SELECT t.name, t.mode, t.search_text, t.producer_done,"
      " (SELECT count(*) FROM veltra_frontier f WHERE f.task = t.id),"
      " (SELECT count(*) FROM veltra_record r WHERE r.task = t.id)"
      " FROM veltra_task t ORDER BY t.id");
  std::vector<TTeamTaskSummary> out;
  for (int i = 0; i < r.Rows(); ++i) {
    TTeamTaskSummary s;
    s.Name = gbk::FromUtf8(r.Text(i, 0));
    s.SearchMode = static_cast<int32_t>(r.Int(i, 1));
    s.SearchText = gbk::FromUtf8(r.Text(i, 2));
    s.ProducerDone = r.Bool(i, 3);
    s.Sites = r.Int(i, 4);
    s.Records = r.Int(i, 5);
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<TTeamRecord> ReadTeamRecords(TPgConnection& db, int64_t taskId, int64_t afterId) {
  const TPgResult r = db.Exec(
      "SELECT id, company_name, web_address, email, telephone, fax, address, postcode,"
      " description FROM veltra_record WHERE task = $1 AND id > $2 ORDER BY id",
      {std::to_string(taskId), std::to_string(afterId)});
  std::vector<TTeamRecord> out;
  out.reserve(static_cast<std::size_t>(r.Rows()));
  for (int i = 0; i < r.Rows(); ++i) {
    TTeamRecord record;
    record.Id = r.Int(i, 0);
    for (std::size_t c = 0; c < record.Row.size(); ++c)
      record.Row[c] = gbk::FromUtf8(r.Text(i, static_cast<int>(c) + 1));
    out.push_back(std::move(record));
  }
  return out;
}

std::string TeamSettingsSnapshot(const TGlobalSet& s) {
  return "MaxFindWebThreadCount=" + std::to_string(s.MaxFindWebThreadCount) +
         "\nFlagModernRecognition=" + std::to_string(s.FlagModernRecognition) +
         "\nHostRequestLimit=" + std::to_string(s.HostRequestLimit) +
         "\nUseRobotsTxt=" + std::to_string(s.UseRobotsTxt) + "\n";
}
