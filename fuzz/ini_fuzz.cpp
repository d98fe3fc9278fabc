// Loads arbitrary bytes as the configuration file, then writes every key and loads it again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/global_set.h"

namespace {

const std::string& FuzzPath() {
  static const std::string path = [] {
    std::string tmpl = "/tmp/veltra-ini-fuzz-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return tmpl;
  }();
  return path;
}

void WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string& path = FuzzPath();
  WriteBytes(path, data, size);
  TGlobalSet set;
  bool mode = LoadSettings(set, path);
  for (const auto& line : SettingsLines(set))
    if (line.Value.size() > 2 * kIniMaxValueBytes + 2) std::abort();

  // Writing every key (as the saves do, here in memory to keep the fuzzer fast) and loading
  // again must give back exactly what was written.
  TIniFile ini;
  ini.LoadFile(path);
  for (const auto& line : SettingsLines(set)) ini.WriteString(line.Section, line.Key, line.Value);
  ini.WriteString("LIKE", "LIKESETTING", mode ? "1" : "0");
  const std::string bytes = ini.Bytes();
  WriteBytes(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  TGlobalSet again;
  if (LoadSettings(again, path) != mode) std::abort();
  auto a = SettingsLines(set);
  auto b = SettingsLines(again);
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].Value != b[i].Value) std::abort();
  return 0;
}
