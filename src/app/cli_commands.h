#pragma once
// Subcommands of veltra-cli. Each takes the arguments after its name and returns the exit
// code; bad arguments print the usage text and return 2.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/global_set.h"
#include "core/result_table.h"
#include "net/page_renderer.h"
#include "store/pg_task_store.h"

using TCliArgs = std::vector<std::string>;

int CliSettings(const TCliArgs& args);
int CliAnalyse(const TCliArgs& args);
int CliSearch(const TCliArgs& args);
int CliEnginePage(const TCliArgs& args);
int CliTaskInfo(const TCliArgs& args);
int CliSources(const TCliArgs& args);
int CliTeam(const TCliArgs& args);

// Prints the usage text to stderr and returns 2.
int CliUsage();

// Settings from "--config PATH" as given, else the program's own settings file (or the shipped
// defaults while it does not exist yet). The CLI never creates or writes a settings file.
TSettingsStart CliSettingsStart(const std::string& option);
// Prints start.Error and returns true when the settings file cannot be read: the command
// then ends with exit code 2 instead of running on defaults.
bool CliSettingsError(const TSettingsStart& start);
// The file CliSettingsStart reads; a problem with it is printed to stderr. nullopt (the error
// printed) when the file exists but cannot be read.
std::optional<std::string> CliConfigPath(const std::string& option);

// The file's bytes as they are; nullopt (with the system's reason in `error`) when unreadable.
std::optional<std::string> CliReadBytes(const std::string& path, std::string& error);

// A GBK field as UTF-8 for tab-separated output: tabs and line breaks become blanks.
std::string CliOutputField(std::string_view gbkText);

// The built-in browser of a search run: a Qt application on the offscreen platform (no
// display needed) whose event loop the run turns while it waits.
class TCliBrowser {
 public:
  virtual ~TCliBrowser() = default;
  virtual TPageRenderer& Renderer() = 0;
  // Turns the event loop for up to `time`; returns sooner after Wake.
  virtual void Wait(std::chrono::milliseconds time) = 0;
  // From any thread.
  virtual void Wake() = 0;
};
// Null in a build without the browser.
std::unique_ptr<TCliBrowser> MakeCliBrowser();
// A line of the team's counts for the status output.
std::string TeamCountsText(const TTeamCounts& counts);
// Fills `table` with the team task's records as one run would have listed them: repeats
// dropped, one row per company when the settings merge leads. Throws ETeamError.
void LoadTeamResults(TPgConnection& db, const TTeamTask& task, const TGlobalSet& settings,
                     TResultTable& table);
