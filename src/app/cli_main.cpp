#include <cstdio>
#include <functional>
#include <map>

#include "app/cli_commands.h"
#include "core/global_set.h"

int CliUsage() {
  std::fputs(
      "用法 / usage:\n"
      "  veltra-cli settings [--config PATH]\n"
      "      print the settings in use, section by section\n"
      "  veltra-cli analyse FILE [--config PATH] [--url URL] [--title TEXT] [--description TEXT]\n"
      "      print the contact records found in a saved page, one per line, tab-separated\n",
      stderr);
  return 2;
}

std::string CliConfigPath(const std::string& option) {
  return option.empty() ? SettingsFilePath() : option;
}

int main(int argc, char** argv) {
  if (argc < 2) return CliUsage();
  const std::map<std::string, std::function<int(const TCliArgs&)>> commands = {
      {"settings", CliSettings},      {"analyse", CliAnalyse},    {"search", CliSearch},
      {"engine-page", CliEnginePage}, {"task-info", CliTaskInfo},
  };
  auto it = commands.find(argv[1]);
  if (it == commands.end()) return CliUsage();
  TCliArgs args(argv + 2, argv + argc);
  try {
    return it->second(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 1;
  }
}
