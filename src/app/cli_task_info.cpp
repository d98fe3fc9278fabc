#include <cstdio>
#include <string>
#include <string_view>

#include "app/cli_commands.h"
#include "core/gbk.h"
#include "core/task_file.h"

namespace {

void Line(std::string& out, std::string_view name, std::string_view value) {
  out.append(name);
  out += '\t';
  out.append(value);
  out += '\n';
}

}  // namespace

// Prints every item of a task file as stored, one per line. The file is shown as it is: an
// engine name no adapter knows and counts past the list are printed, not corrected.
int CliTaskInfo(const TCliArgs& args) {
  if (args.size() != 1 || args[0].empty() || args[0].starts_with("--")) return CliUsage();
  const std::string& path = args[0];

  TTaskFileData data;
  try {
    data = ReadTaskFile(path);
  } catch (const ETaskFileError& e) {
    std::fprintf(stderr, "veltra-cli: %s: %s\n", path.c_str(), e.what());
    return 1;
  } catch (const ETaskFileAccessError& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 1;
  }

  std::string out;
  Line(out, "taskname", CliOutputField(data.TaskName));
  Line(out, "searchtext", CliOutputField(data.SearchText));
  Line(out, "mode", std::to_string(data.SearchMode));
  Line(out, "processed", std::to_string(data.ProcessedURLCount));
  Line(out, "resume", std::to_string(data.ResumeIndex));
  Line(out, "engine", CliOutputField(data.EngineName));
  Line(out, "offset", std::to_string(data.EngineResultOffset));
  Line(out, "pages", std::to_string(data.EnginePageCount));
  for (const TSearchURLResult& e : data.URLs) {
    Line(out, "url",
         CliOutputField(e.URL) + "\t" + CliOutputField(e.Title) + "\t" +
             CliOutputField(e.Description));
  }
  Line(out, "input", CliOutputField(data.Window.InputText));
  Line(out, "keyword-mode", data.Window.KeywordMode ? "1" : "0");
  Line(out, "site-mode", data.Window.WebsiteMode ? "1" : "0");
  for (const TResultRow& row : data.Rows) {
    std::string cells;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) cells += '\t';
      cells += CliOutputField(row[c]);
    }
    Line(out, "row", cells);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
