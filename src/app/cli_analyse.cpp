#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/parse_html.h"
#include "app/cli_commands.h"
#include "core/charset.h"
#include "core/data_files.h"
#include "core/gbk.h"
#include "core/global_set.h"

namespace {

struct TAnalyseArgs {
  std::string file;
  std::string config;
  std::optional<std::string> url;
  std::optional<std::string> title;
  std::optional<std::string> description;
};

// FILE once, each option at most once and always with a value.
std::optional<TAnalyseArgs> ParseArgs(const TCliArgs& args) {
  TAnalyseArgs parsed;
  bool haveFile = false;
  bool haveConfig = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::optional<std::string>* target = nullptr;
    if (a == "--url")
      target = &parsed.url;
    else if (a == "--title")
      target = &parsed.title;
    else if (a == "--description")
      target = &parsed.description;

    if (target || a == "--config") {
      if (i + 1 >= args.size()) return std::nullopt;
      const std::string& value = args[++i];
      if (target) {
        if (target->has_value()) return std::nullopt;
        *target = value;
      } else {
        if (haveConfig || value.empty()) return std::nullopt;
        haveConfig = true;
        parsed.config = value;
      }
    } else if (a.starts_with("--") || haveFile || a.empty()) {
      return std::nullopt;
    } else {
      haveFile = true;
      parsed.file = a;
    }
  }
  if (!haveFile) return std::nullopt;
  return parsed;
}

// A field of one record; lists shorter than the record count give an empty field.
std::string OutputField(const TTextList& list, std::size_t i) {
  return i < list.size() ? CliOutputField(list[i]) : std::string();
}

}  // namespace

// Prints the records of one saved page, one per line, in the result list's column order.
int CliAnalyse(const TCliArgs& args) {
  const std::optional<TAnalyseArgs> parsed = ParseArgs(args);
  if (!parsed) return CliUsage();

  std::string error;
  std::optional<std::string> bytes = CliReadBytes(parsed->file, error);
  if (!bytes) {
    std::fprintf(stderr, "veltra-cli: cannot read %s: %s\n", parsed->file.c_str(), error.c_str());
    return 1;
  }

  // Without --config, the shipped defaults that a first start copies to the user's settings.
  std::string configPath = parsed->config;
  if (configPath.empty()) configPath = FindDataFile("default-settings.ini").value_or("");
  const std::optional<std::string> settingsPath = CliConfigPath(configPath);
  if (!settingsPath) return 2;
  TGlobalSet set;
  LoadSettingsOrThrow(set, *settingsPath);

  // The file's bytes are let go once converted: the analysis holds its own copy.
  std::string page = PageToGbk(*bytes);
  bytes.reset();
  TParseHTML parser(std::make_shared<const TGlobalSet>(std::move(set)));
  parser.LoadPage(std::move(page), gbk::FromUtf8(parsed->title.value_or(std::string())),
                  gbk::FromUtf8(parsed->url.value_or("http://www.example.com/index.html")),
                  gbk::FromUtf8(parsed->description.value_or(std::string())));
  parser.Analyse();

  const TTextList* columns[] = {
      &parser.Companies, &parser.WebAddresses, &parser.Emails,    &parser.Telephones,
      &parser.Faxes,     &parser.Addresses,    &parser.PostCodes, &parser.Descriptions,
  };
  for (std::size_t i = 0; i < parser.Companies.size(); ++i) {
    std::string line;
    for (std::size_t c = 0; c < std::size(columns); ++c) {
      if (c > 0) line += '\t';
      line += OutputField(*columns[c], i);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
