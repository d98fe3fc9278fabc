#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

#include "app/cli_commands.h"
#include "core/file_read.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/process_memory.h"

int CliUsage() {
  std::fputs(
      "用法 / usage:\n"
      "  veltra-cli settings [--config PATH]\n"
      "      print which settings file is used and the settings, section by section\n"
      "  veltra-cli analyse FILE [--config PATH] [--url URL] [--title TEXT] [--description TEXT]\n"
      "      print the contact records found in a saved page, one per line, tab-separated\n"
      "  veltra-cli search [--mode keyword|site] TEXT [--config PATH] [--task FILE]\n"
      "                    [--out FILE.xlsx|FILE.csv] [--csv-flavour excel|plain]\n"
      "                    [--cookies FILE] [--max-seconds N] [--log FILE] [--verbose]\n"
      "  veltra-cli search --team URL --task-name NAME [--mode keyword|site] [TEXT] [--out ...]\n"
      "                    [--config PATH] [--max-seconds N] [--log FILE] [--verbose]\n"
      "                    [--lease-seconds N] [--give-up-seconds N]\n"
      "      harvest one task with other machines through a PostgreSQL database: the first\n"
      "      node creates the task from its TEXT, later ones join it (a different TEXT is an\n"
      "      error); --out exports the team's whole list at the end\n"
      "  veltra-cli search --continue FILE [TEXT] [--config PATH] [--task FILE] [--out ...]\n"
      "                    [--cookies FILE] [--max-seconds N] [--log FILE] [--verbose]\n"
      "      harvest: keyword search over the engines, or a directory site (site mode);\n"
      "      prints the status once a second; Ctrl-C stops, saves and exports; --task saves\n"
      "      the task at the end (a continued task is saved back to its file); --log appends\n"
      "      the log (every fetch and worker error) to FILE, --verbose prints it to stderr;\n"
      "      --csv-flavour plain writes every value exactly (UTF-8, RFC 4180) for imports;\n"
      "      --cookies sends the cookies of a Netscape cookie file (cookies.txt, as browser\n"
      "      export extensions write it), e.g. those of a verification page passed by hand\n"
      "  veltra-cli engine-page ENGINE FILE [--known URLFILE] [--offset N] [--pages N]\n"
      "                         [--need-total 0|1] [--total N] [--url PAGEURL] [--resolve]\n"
      "      read a saved result page of ENGINE (sina, sohu, yahoo, google, 163, baidu, or a\n"
      "      source that veltra-cli sources lists); print its count, the next position and the\n"
      "      addresses it adds (\"blocked\" for a verification page; --resolve reads\n"
      "      tracking links' redirects over the network)\n"
      "  veltra-cli sources\n"
      "      list the search sources: name, kind, default, built-in host, caption\n"
      "  veltra-cli team list --team URL\n"
      "  veltra-cli team status --team URL --task-name NAME\n"
      "  veltra-cli team export --team URL --task-name NAME --out FILE.xlsx|FILE.csv|FILE.swrw\n"
      "                         [--config PATH] [--csv-flavour excel|plain]\n"
      "      the tasks of a team database; a task's nodes, sites by state, records and where\n"
      "      its search stands; its records written to a file\n"
      "  veltra-cli task-info FILE\n"
      "      print the items of a task file, one per line, tab-separated\n",
      stderr);
  return 2;
}

TSettingsStart CliSettingsStart(const std::string& option) {
  if (option.empty()) return PrepareSettingsFile(false);
  TSettingsStart start{option, option, {}, SettingsReadError(option)};
  if (!start.Error.empty()) start.LoadPath.clear();
  return start;
}

bool CliSettingsError(const TSettingsStart& start) {
  if (start.Error.empty()) return false;
  std::fprintf(stderr, "veltra-cli: %s\n", start.Error.c_str());
  return true;
}

std::optional<std::string> CliConfigPath(const std::string& option) {
  const TSettingsStart start = CliSettingsStart(option);
  if (CliSettingsError(start)) return std::nullopt;
  if (!start.Problem.empty()) std::fprintf(stderr, "veltra-cli: %s\n", start.Problem.c_str());
  return start.LoadPath;
}

std::optional<std::string> CliReadBytes(const std::string& path, std::string& error) {
  // Inputs are pages, address lists and settings: far below this. Only regular files are
  // read: a pipe or a device could block or never end.
  constexpr std::size_t kMaxInputBytes = 64u << 20;
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kMaxInputBytes, bytes);
  switch (read.Status) {
    case TFileReadStatus::Ok:
      return bytes;
    case TFileReadStatus::TooLarge:
      error = "larger than 64 MiB";
      break;
    default:
      error = FileReadReason(read, kMaxInputBytes);
      break;
  }
  return std::nullopt;
}

std::string CliOutputField(std::string_view gbkText) {
  std::string out = gbk::ToUtf8(gbkText);
  for (char& c : out)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return out;
}

int main(int argc, char** argv) {
  ReturnLargeBlocksToSystem();
  if (argc < 2) return CliUsage();
  const std::map<std::string, std::function<int(const TCliArgs&)>> commands = {
      {"settings", CliSettings},      {"analyse", CliAnalyse},    {"search", CliSearch},
      {"engine-page", CliEnginePage}, {"task-info", CliTaskInfo}, {"sources", CliSources},
      {"team", CliTeam},
  };
  auto it = commands.find(argv[1]);
  if (it == commands.end()) return CliUsage();
  TCliArgs args(argv + 2, argv + argc);
  try {
    return it->second(args);
  } catch (const ESettingsReadError& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 1;
  }
}
