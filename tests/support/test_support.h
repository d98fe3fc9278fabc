#pragma once
// Helpers shared by the test executables.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// GBK bytes of a UTF-8 source literal.
std::string G(std::string_view utf8);
// Contents of tests/fixtures/<name>, byte for byte.
std::string ReadFixture(const std::string& name);
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// A fresh directory removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// What a veltra-cli run printed and how it exited.
struct TCliRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs veltra-cli with already quoted arguments; stderr is captured through a file in `dir`.
TCliRun RunCli(const TempDir& dir, const std::string& args);

// Milliseconds of the steady clock since `start`.
inline long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace testsupport
