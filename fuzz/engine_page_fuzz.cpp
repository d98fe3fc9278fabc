// Reads arbitrary bytes as a result page of one engine. The first byte picks the engine (low
// bits) and whether the page is a first page (count read) or a later one. Every appended
// entry must be a rebuilt address, and the same page read again must add nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/gbk.h"
#include "core/program_state.h"
#include "engines/engine_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static TEngineSet engines;
  TProgramState state;
  engines.SetProgramState(&state);
  TSearchEngineObject& engine = *engines.All()[(data[0] & 0x7F) % 6];
  engine.SetKeyword(GBK("机床"));
  engine.ResetSearch();
  if (data[0] & 0x80) {
    engine.SetPosition(11, 1);
    engine.NeedTotal = false;
    engine.Paging = true;
    engine.TotalCount = 1000;
  }
  const std::string page(reinterpret_cast<const char*>(data + 1), size - 1);
  engine.ParsePage(page);
  if (static_cast<std::size_t>(engine.NewResults) != state.URLCount()) __builtin_trap();
  for (std::size_t i = 0; i < state.URLCount(); ++i) {
    const TSearchURLResult entry = state.URLAt(i);
    if (gbk::IsBlank(entry.URL)) __builtin_trap();
    const auto again = TSearchEngineObject::CanonicalURL(entry.URL);
    if (!again || *again != entry.URL) __builtin_trap();
  }
  if (state.URLCount() == 0 && !engine.Finished) __builtin_trap();

  engine.ParsePage(page);
  if (engine.NewResults != 0 || !engine.Finished) __builtin_trap();
  engines.SetProgramState(nullptr);
  return 0;
}
