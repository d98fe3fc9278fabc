#pragma once
// A team task in PostgreSQL: the tables (made and upgraded by the program), creating or
// joining a task by name, and what the command line and the window read from it. Calls here
// block on the database; run them off the window's thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/result_table.h"
#include "store/pg_connection.h"

// The version of the tables this program makes; a database with a newer one is refused.
inline constexpr int kTeamSchemaVersion = 1;

// Creates the tables in an empty database, upgrades older ones (never dropping data) and
// refuses a database of another program or a newer version. Throws ETeamError.
// With `create` off, a database without the tables is an error too (reading commands). With
// `commit` off, nothing is made: the checks only, inside a transaction of the caller's.
void EnsureTeamSchema(TPgConnection& db, bool create = true, bool commit = true);

// Connects and checks that the database can hold team tasks (empty, or ours and not newer),
// writing nothing: "" when it can, else the problem (UTF-8, no password). For a test button.
std::string TestTeamDatabase(const std::string& connection);

// What a task is: the first node's arguments (GBK texts).
struct TTeamTaskPlan {
  int32_t SearchMode = 0;  // 0 keyword search, 1 directory site
  std::string SearchText;
  bool OneEntryPerSite = false;
  std::string Settings;  // a snapshot of the settings that shape the harvest (text)
};

class TGlobalSet;
// The settings that shape a harvest, as text stored with a team task.
std::string TeamSettingsSnapshot(const TGlobalSet& settings);

struct TTeamTask {
  int64_t Id = 0;
  std::string Name;  // GBK
  TTeamTaskPlan Plan;
  bool ProducerDone = false;
};

// Creates the task named `name` from `plan` or joins the existing one; a different mode or
// text is an error naming both. With no plan the task must exist. Throws ETeamError.
TTeamTask JoinTeamTask(TPgConnection& db, const std::string& name, const TTeamTaskPlan* plan);

struct TTeamNode {
  int64_t Id = 0;
  std::string Host;
  int64_t Pid = 0;
  std::string Started, Heartbeat;  // as the server prints them
  double SecondsSinceHeartbeat = 0;
  int64_t SitesDone = 0, RecordsStored = 0;
};

struct TTeamStatus {
  TTeamTask Task;
  // Frontier rows per state: new, leased, done, failed.
  std::map<std::string, int64_t> Sites;
  int64_t Records = 0;
  std::vector<TTeamNode> Nodes;
  std::string ProducerSource;  // where the producer stands (empty: not started)
  int32_t ProducerOffset = 0, ProducerPages = 0;
  int64_t PendingPages = 0;
};

TTeamStatus ReadTeamStatus(TPgConnection& db, const TTeamTask& task);

struct TTeamTaskSummary {
  std::string Name;  // GBK
  int32_t SearchMode = 0;
  std::string SearchText;  // GBK
  int64_t Sites = 0, Records = 0;
  bool ProducerDone = false;
};
std::vector<TTeamTaskSummary> ListTeamTasks(TPgConnection& db);

// Records of the task stored after record id `afterId`, oldest first, with their ids.
struct TTeamRecord {
  int64_t Id = 0;
  TResultRow Row;  // GBK
};
std::vector<TTeamRecord> ReadTeamRecords(TPgConnection& db, int64_t taskId, int64_t afterId = 0);

// The frontier state names, by their stored numbers.
const char* FrontierStateName(int state);
