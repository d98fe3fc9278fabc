#include <cstdio>
#include <string>

#include "app/cli_commands.h"
#include "engines/source_registry.h"

namespace {

const char* KindName(TSourceKind kind) {
  switch (kind) {
    case TSourceKind::Classic:
      return "classic";
    case TSourceKind::Html:
      return "html";
    case TSourceKind::Json:
      return "json";
  }
  return "";
}

}  // namespace

// Lists the search sources: name, kind, default on/off, built-in host, caption; then the
// data-file entries that were skipped, with file, line and reason.
int CliSources(const TCliArgs& args) {
  if (!args.empty()) return CliUsage();
  const TSourceRegistry& registry = TSourceRegistry::Default();
  std::string out;
  for (const auto& def : registry.Entries()) {
    out += def.Name + "\t" + KindName(def.Kind) + "\t" + (def.DefaultOn ? "on" : "off") + "\t" +
           def.BaseURL + "\t" + def.Caption + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  for (const auto& m : registry.Messages())
    std::fprintf(stderr, "veltra-cli: skipped: %s\n", m.Text().c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
