#include "core/data_files.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

std::string ExecutableDir() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec).string();
  return exe.parent_path().string();
}

std::vector<std::string> DataDirs() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("VELTRA_DATA_DIR"); env && *env) dirs.emplace_back(env);
  auto exeDir = fs::path(ExecutableDir());
  dirs.push_back(exeDir.string());
  dirs.push_back((exeDir.parent_path() / "share" / "veltra").string());
#ifdef VELTRA_SOURCE_DATA_DIR
  dirs.emplace_back(VELTRA_SOURCE_DATA_DIR);
#endif
  return dirs;
}

std::optional<std::string> FindDataFile(std::string_view name) {
  for (const auto& dir : DataDirs()) {
    std::error_code ec;
    auto path = fs::path(dir) / name;
    if (fs::is_regular_file(path, ec)) return path.string();
  }
  return std::nullopt;
}
