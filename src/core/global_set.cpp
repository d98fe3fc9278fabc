#include "core/global_set.h"

#include <unistd.h>

#include <filesystem>

std::string SettingsFilePath() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) exe = std::filesystem::current_path() / "veltra";
  return (exe.parent_path() / "Gleaner.ini").string();
}
