#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli_commands.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "engines/source_registry.h"

namespace {

void PrintLine(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

// Prints which settings file the program uses and its settings, section by section, as the
// file names them.
int CliSettings(const TCliArgs& args) {
  std::string config;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" && i + 1 < args.size() && config.empty() && !args[i + 1].empty())
      config = args[++i];
    else
      return CliUsage();
  }
  const TSettingsStart start = CliSettingsStart(config);
  if (CliSettingsError(start)) return 2;
  if (!start.Problem.empty()) std::fprintf(stderr, "veltra-cli: %s\n", start.Problem.c_str());
  TGlobalSet set;
  const bool keywordSearch = LoadSettings(set, start.LoadPath);

  // Which file: a line before the first section, which an INI reader passes over.
  std::error_code ec;
  std::string where = "; settings file: " + start.Path;
  if (start.LoadPath.empty() || !std::filesystem::is_regular_file(start.LoadPath, ec))
    where += " (not read: built-in defaults)";
  else if (start.LoadPath != start.Path)
    where += " (not created yet: shipped defaults " + start.LoadPath + ")";
  PrintLine(where);

  std::string section;
  for (const auto& line : SettingsLines(set)) {
    if (line.Section != section) {
      section = line.Section;
      PrintLine("[" + section + "]");
    }
    PrintLine(line.Key + "=" + gbk::ToUtf8(line.Value));
  }
  const auto& sources = TSourceRegistry::Default().Entries();
  PrintLine("[ENGINEHOST]");
  for (const auto& def : sources)
    if (def.Kind == TSourceKind::Classic)
      PrintLine(def.HostKey + "=" + gbk::ToUtf8(SourceHostSetting(def, set)));
  PrintLine("[SOURCES]");
  for (const auto& def : sources)
    if (def.Kind != TSourceKind::Classic)
      PrintLine(def.Name + "=" + (SourceEnabled(def, set) ? "1" : "0"));
  PrintLine("[SOURCEHOST]");
  for (const auto& def : sources)
    if (def.Kind != TSourceKind::Classic)
      PrintLine(def.Name + "=" + gbk::ToUtf8(SourceHostSetting(def, set)));
  PrintLine("[SEARCH]");
  PrintLine("PaceMs=" + std::to_string(set.PaceMs));
  PrintLine("[LIKE]");
  PrintLine(std::string("LIKESETTING=") + (keywordSearch ? "1" : "0"));
  return std::fflush(stdout) == 0 ? 0 : 1;
}
