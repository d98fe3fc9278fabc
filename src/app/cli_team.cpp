// veltra-cli team: what a team database holds (its tasks, a task's progress) and a task's
// records written to a file. Also the helpers the team search shares with it.

#include <cstdio>
#include <utility>

#include "app/cli_commands.h"
#include "core/export_sheet.h"
#include "core/gbk.h"
#include "core/lead_merge.h"
#include "core/task_file.h"
#include "run/record_filter.h"
#include "store/team_task.h"

namespace {

struct TTeamArgs {
  std::string action;
  std::string team;
  std::string taskName;  // UTF-8
  std::string out;
  std::string config;
  TCsvFlavour flavour = TCsvFlavour::Excel;
};

bool EndsWith(const std::string& s, const char* suffix) {
  const std::string t(suffix);
  return s.size() > t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::optional<TTeamArgs> ParseTeamArgs(const TCliArgs& args) {
  if (args.empty()) return std::nullopt;
  TTeamArgs parsed;
  parsed.action = args[0];
  if (parsed.action != "list" && parsed.action != "status" && parsed.action != "export")
    return std::nullopt;
  for (std::size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return std::nullopt;
    const std::string& a = args[i];
    const std::string& v = args[i + 1];
    std::string* target = a == "--team"        ? &parsed.team
                          : a == "--task-name" ? &parsed.taskName
                          : a == "--out"       ? &parsed.out
                          : a == "--config"    ? &parsed.config
                                               : nullptr;
    if (a == "--csv-flavour") {
      if (v != "excel" && v != "plain") return std::nullopt;
      parsed.flavour = v == "plain" ? TCsvFlavour::Plain : TCsvFlavour::Excel;
      continue;
    }
    if (!target || !target->empty() || v.empty()) return std::nullopt;
    *target = v;
  }
  if (parsed.team.empty()) return std::nullopt;
  if (parsed.action != "list" && parsed.taskName.empty()) return std::nullopt;
  if (parsed.action == "export" && !(EndsWith(parsed.out, ".xlsx") ||
                                     EndsWith(parsed.out, ".csv") || EndsWith(parsed.out, ".swrw")))
    return std::nullopt;
  return parsed;
}

void Print(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

int List(TPgConnection& db) {
  Print("task\tmode\ttext\tsites\trecords\tsearch\n");
  for (const TTeamTaskSummary& t : ListTeamTasks(db))
    Print(CliOutputField(t.Name) + "\t" + (t.SearchMode == 1 ? "site" : "keyword") + "\t" +
          CliOutputField(t.SearchText) + "\t" + std::to_string(t.Sites) + "\t" +
          std::to_string(t.Records) + "\t" + (t.ProducerDone ? "done" : "running") + "\n");
  return 0;
}

int Status(TPgConnection& db, const TTeamTask& task) {
  const TTeamStatus s = ReadTeamStatus(db, task);
  Print("task\t" + CliOutputField(task.Name) + "\n");
  Print(std::string("mode\t") + (task.Plan.SearchMode == 1 ? "site" : "keyword") + "\n");
  Print("text\t" + CliOutputField(task.Plan.SearchText) + "\n");
  std::string search = s.Task.ProducerDone ? "done" : "running";
  if (!s.ProducerSource.empty())
    search += " at " + s.ProducerSource + " offset " + std::to_string(s.ProducerOffset) + " page " +
              std::to_string(s.ProducerPages);
  if (s.PendingPages > 0) search += ", " + std::to_string(s.PendingPages) + " pages to read";
  Print("search\t" + search + "\n");
  std::string sites = "sites";
  for (const char* state : {"new", "leased", "done", "failed"})
    sites += std::string("\t") + state + " " + std::to_string(s.Sites.at(state));
  Print(sites + "\n");
  Print("records\t" + std::to_string(s.Records) + "\n");
  for (const TTeamNode& n : s.Nodes) {
    char age[32];
    std::snprintf(age, sizeof age, "%.0f", n.SecondsSinceHeartbeat);
    Print("node " + std::to_string(n.Id) + "\t" + n.Host + " pid " + std::to_string(n.Pid) +
          "\tstarted " + n.Started + "\theartbeat " + age + " s ago\tsites " +
          std::to_string(n.SitesDone) + "\trecords " + std::to_string(n.RecordsStored) + "\n");
  }
  return 0;
}

int Export(TPgConnection& db, const TTeamTask& task, const TTeamArgs& args) {
  const std::optional<std::string> config = CliConfigPath(args.config);
  if (!config) return 2;
  TGlobalSet settings;
  LoadSettingsOrThrow(settings, *config);
  TResultTable table;
  LoadTeamResults(db, task, settings, table);
  try {
    if (EndsWith(args.out, ".swrw")) {
      TTaskFileData data;
      data.TaskName = task.Name;
      data.SearchText = task.Plan.SearchText;
      data.SearchMode = task.Plan.SearchMode;
      data.Window = {task.Plan.SearchText, task.Plan.SearchMode != 1, task.Plan.SearchMode == 1};
      data.Rows = table.Rows();
      WriteTaskFile(args.out, data);
    } else {
      table.SetPhoneRegion(settings.PhoneRegion);
      TExportChoice choice;
      choice.LeadColumns = settings.FlagModernWindow;
      choice.Flavour = args.flavour;
      ExportTable(table, args.out, choice);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 1;
  }
  Print("records: " + std::to_string(table.RowCount()) + "\nexported: " + args.out + "\n");
  return 0;
}

}  // namespace

std::string TeamCountsText(const TTeamCounts& c) {
  std::string text = "team: nodes " + std::to_string(c.Nodes) + "  sites new " +
                     std::to_string(c.New) + " leased " + std::to_string(c.Leased) + " done " +
                     std::to_string(c.Done) + " failed " + std::to_string(c.Failed) + "  records " +
                     std::to_string(c.Records);
  if (c.Producer) text += "  (searching)";
  if (!c.Connected) text += "  (database lost, reconnecting)";
  return text;
}

void LoadTeamResults(TPgConnection& db, const TTeamTask& task, const TGlobalSet& settings,
                     TResultTable& table) {
  std::vector<TResultRow> rows;
  for (TTeamRecord& r : ReadTeamRecords(db, task.Id)) rows.push_back(std::move(r.Row));
  table.Clear();
  TRecordFilter filter;
  filter.Reset({});
  filter.DropRepeats(rows);
  TLeadMerger leads;
  rows = leads.Merge(std::move(rows), table, settings);
  table.AppendRows(std::move(rows));
}

int CliTeam(const TCliArgs& args) {
  const std::optional<TTeamArgs> parsed = ParseTeamArgs(args);
  if (!parsed) return CliUsage();
  try {
    TPgConnection db(parsed->team);
    EnsureTeamSchema(db, false);
    if (parsed->action == "list") return List(db);
    const TTeamTask task = JoinTeamTask(db, gbk::FromUtf8(parsed->taskName), nullptr);
    if (parsed->action == "status") return Status(db, task);
    return Export(db, task, *parsed);
  } catch (const ETeamError& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 2;
  }
}
