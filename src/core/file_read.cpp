#include "core/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

struct TFd {
  int fd;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

TFileReadResult ReadFileCapped(const std::string& path, std::size_t maxBytes, std::string& bytes) {
  bytes.clear();
  TFd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    const int err = errno;
    return {err == ENOENT || err == ENOTDIR ? TFileReadStatus::Missing : TFileReadStatus::Failed,
            err};
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) return {TFileReadStatus::Failed, errno};
  if (S_ISDIR(st.st_mode)) return {TFileReadStatus::Failed, EISDIR};
  const bool regular = S_ISREG(st.st_mode);
  if (regular && static_cast<uint64_t>(st.st_size) > maxBytes)
    return {TFileReadStatus::TooLarge, 0};
  // A regular file goes straight into a buffer of its size; whatever follows (a file that
  // grew, a pipe, a device) is read in chunks up to the cap.
  auto readSome = [&](char* to, std::size_t n) {
    for (;;) {
      const ssize_t got = ::read(file.fd, to, n);
      if (got >= 0 || errno != EINTR) return got;
    }
  };
  if (regular) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    while (have < bytes.size()) {
      const ssize_t got = readSome(bytes.data() + have, bytes.size() - have);
      if (got < 0) return {TFileReadStatus::Failed, errno};
      if (got == 0) break;
      have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
  }
  char chunk[65536];
  for (;;) {
    const ssize_t got = readSome(chunk, sizeof chunk);
    if (got < 0) return {TFileReadStatus::Failed, errno};
    if (got == 0) break;
    if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
      bytes.clear();
      return {TFileReadStatus::TooLarge, 0};
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  return {TFileReadStatus::Ok, 0};
}

std::string FileTooLargeMessage(const std::string& path, std::size_t maxBytes) {
  return "File too large: \"" + path + "\" is over " + std::to_string(maxBytes >> 20) + " MiB";
}
