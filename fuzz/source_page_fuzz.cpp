// Reads arbitrary bytes as a result page of one of today's sources (HTML or JSON), or as a
// source data file. The first byte picks which. Every appended entry must be a rebuilt
// address; nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/program_state.h"
#include "engines/source_registry.h"
#include "engines/web_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<const TSourceDef*> sources;
  for (const auto& def : TSourceRegistry::Default().Entries())
    if (def.Kind != TSourceKind::Classic) sources.push_back(&def);
  if (sources.empty() || data[0] == 0xFF) {
    TSourceRegistry registry;
    registry.LoadText(body, "fuzz.ini");
    for (const auto& def : registry.Entries())
      if (def.Name.empty()) __builtin_trap();
    return 0;
  }
  TProgramState state;
  TWebSourceObject source(*sources[data[0] % sources.size()]);
  source.SetProgramState(&state);
  source.SetKeyword(GBK("机床"));
  source.ResetSearch();
  source.SetRedirectReader([](const std::string& url) { return url + "x"; });
  TSearchResponse response;
  response.Ok = true;
  response.Status = 200;
  response.Body = body;
  response.Url = source.BuildURL();
  source.ReadResponse(response);
  if (static_cast<std::size_t>(source.NewResults) != state.URLCount()) __builtin_trap();
  for (std::size_t i = 0; i < state.URLCount(); ++i) {
    const auto again = TSearchEngineObject::CanonicalURL(state.URLAt(i).URL);
    if (!again || *again != state.URLAt(i).URL) __builtin_trap();
  }
  return 0;
}
