// Loads arbitrary bytes as a task file: every input must either load or raise one of the
// task file's errors, without reading out of bounds or allocating beyond the input's size.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/task_file.h"

namespace {

const std::string& FuzzPath() {
  static const std::string path = "/tmp/veltra_task_fuzz_" + std::to_string(::getpid()) + ".swrw";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::FILE* f = std::fopen(FuzzPath().c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  TProgramState state;
  TResultTable rows;
  TTaskWindowItems window;
  std::array<char, 6> storage{};
  static const char* const names[] = {"sina", "sohu", "yahoo", "google", "163", "baidu"};
  std::vector<TNamedEngine> adapters;
  for (std::size_t i = 0; i < 6; ++i)
    adapters.push_back({reinterpret_cast<TSearchEngineObject*>(&storage[i]), names[i]});
  const TEngineNaming naming = EngineNamingFor(adapters);
  try {
    LoadFromFile(FuzzPath(), state, rows, window, naming);
  } catch (const ETaskFileError&) {
    return 0;
  }
  // What loaded must save and load again to the same counts.
  const std::string bytes =
      EncodeTaskFile(DecodeTaskFile(std::string_view(reinterpret_cast<const char*>(data), size)));
  const TTaskFileData again = DecodeTaskFile(bytes);
  if (again.URLs.size() != state.URLCount() || again.Rows.size() != rows.RowCount())
    __builtin_trap();
  return 0;
}
