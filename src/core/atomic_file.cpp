#include "core/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMarker = ".tmp";

// The pid in a temporary name "<name>.tmp<pid>-<n>-<r>" (any non-empty name), or 0 when
// `file` is not one.
pid_t TemporaryOwner(std::string_view file) {
  const std::size_t marker = file.rfind(kTempMarker);
  if (marker == std::string_view::npos || marker == 0) return 0;
  file.remove_prefix(marker + kTempMarker.size());
  long long pid = 0;
  int dashes = 0;
  bool digit = false;
  for (char c : file) {
    if (c == '-' && digit) {
      ++dashes;
      digit = false;
    } else if (c >= '0' && c <= '9') {
      if (dashes == 0 && pid < 1'000'000'000) pid = pid * 10 + (c - '0');
      digit = true;
    } else {
      return 0;
    }
  }
  return dashes == 2 && digit && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

fs::path SaveTarget(const fs::path& path) {
  fs::path p = path;
  std::error_code ec;
  // Bounded like the system's own limit, so a loop of links ends.
  for (int hop = 0; hop < 40 && fs::is_symlink(p, ec); ++hop) {
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p;
}

int CreateTemporaryBeside(const fs::path& target, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // Only a regular file is ever replaced: never a pipe, a device or a folder.
  if (!replacing && ::stat(target.c_str(), &old) == 0) {
    errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target.string() + std::string(kTempMarker) + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + "-" + std::to_string(rd() % 100000);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // A file being replaced keeps its permissions.
      if (replacing) ::fchmod(fd, old.st_mode & 07777);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void RemoveStaleTemporaries(const fs::path& target) {
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t owner = TemporaryOwner(it->path().filename().string());
    if (owner == 0 || owner == ::getpid()) continue;
    std::error_code timeEc;
    // Not followed: a link named like a temporary is not one of ours.
    if (!it->is_regular_file(timeEc) || it->is_symlink(timeEc)) continue;
    const bool old = it->last_write_time(timeEc) < dayAgo && !timeEc;
    const bool gone = ::kill(owner, 0) != 0 && errno == ESRCH;
    if (gone || old) fs::remove(it->path(), timeEc);
  }
}

int RenameOver(const std::string& tempPath, const fs::path& target) {
  if (::rename(tempPath.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(tempPath.c_str());
    return err;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return 0;
  // Some file systems cannot sync a directory (EINVAL); the rename itself has happened.
  const int err = ::fsync(dfd) == 0 || errno == EINVAL ? 0 : errno;
  ::close(dfd);
  return err;
}

int ReplaceFile(const fs::path& path, std::string_view bytes, bool* notCreated) {
  if (notCreated) *notCreated = false;
  const fs::path target = SaveTarget(path);
  RemoveStaleTemporaries(target);
  std::string tempPath;
  const int fd = CreateTemporaryBeside(target, tempPath);
  if (fd < 0) {
    if (notCreated) *notCreated = true;
    return errno;
  }
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tempPath.c_str());
    return err ? err : EIO;
  }
  return RenameOver(tempPath, target);
}
