#include "test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/gbk.h"

namespace testsupport {

std::string G(std::string_view utf8) {
  return gbk::FromUtf8(utf8);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFixture(const std::string& name) {
  return ReadFile(std::filesystem::path(VELTRA_FIXTURE_DIR) / name);
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("veltra-test-" + std::to_string(rd()) + std::to_string(attempt));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

TCliRun RunCli(const TempDir& dir, const std::string& args) {
  TCliRun run;
  const std::string errFile = (dir / "stderr.txt").string();
  const std::string cmd = std::string("'") + VELTRA_CLI_PATH + "' " + args + " 2>'" + errFile + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  const int status = ::pclose(p);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ReadFile(errFile);
  return run;
}

}  // namespace testsupport
