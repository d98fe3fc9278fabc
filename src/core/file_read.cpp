#include "core/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

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
  // Non-blocking, so opening a pipe with no writer returns at once; nothing else is
  // opened in a way that waits.
  TFd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
  if (file.fd < 0) {
    const int err = errno;
    return {err == ENOENT || err == ENOTDIR ? TFileReadStatus::Missing : TFileReadStatus::Failed,
            err};
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) return {TFileReadStatus::Failed, errno};
  if (S_ISDIR(st.st_mode)) return {TFileReadStatus::Failed, EISDIR};
  if (!S_ISREG(st.st_mode)) return {TFileReadStatus::NotRegular, 0};
  const int flags = ::fcntl(file.fd, F_GETFL);
  if (flags >= 0) ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
  if (static_cast<uint64_t>(st.st_size) > maxBytes) return {TFileReadStatus::TooLarge, 0};
  // The file goes straight into a buffer of its size; whatever follows (a file that grew)
  // is read in chunks up to the cap.
  auto readSome = [&](char* to, std::size_t n) {
    for (;;) {
      const ssize_t got = ::read(file.fd, to, n);
      if (got >= 0 || errno != EINTR) return got;
    }
  };
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t got = readSome(bytes.data() + have, bytes.size() - have);
    if (got < 0) return {TFileReadStatus::Failed, errno};
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  bytes.resize(have);
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

std::string FileReadReason(const TFileReadResult& result, std::size_t maxBytes) {
  switch (result.Status) {
    case TFileReadStatus::Ok:
      return {};
    case TFileReadStatus::TooLarge:
      return "over " + std::to_string(maxBytes >> 20) + " MiB";
    case TFileReadStatus::NotRegular:
      return "not a regular file";
    case TFileReadStatus::Missing:
    case TFileReadStatus::Failed:
      break;
  }
  return result.Error != 0 ? std::strerror(result.Error) : "read error";
}

std::string WriteTargetProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};  // not there yet (or unreachable: the write says)
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return {};
}

std::string FileTooLargeMessage(const std::string& path, std::size_t maxBytes) {
  return "File too large: \"" + path + "\" is over " + std::to_string(maxBytes >> 20) + " MiB";
}
