#pragma once
// Reading a whole regular file under a size cap. Pipes, devices and sockets are refused
// without waiting: opening a pipe or reading a terminal could block for ever.

#include <cstddef>
#include <string>

enum class TFileReadStatus { Ok, Missing, TooLarge, Failed, NotRegular };

struct TFileReadResult {
  TFileReadStatus Status = TFileReadStatus::Failed;
  int Error = 0;  // errno for Missing and Failed
};

// Reads `path` into `bytes`. The file's size is checked before anything is read and the
// buffer is sized once; a file that grows meanwhile is read up to one byte past the cap.
TFileReadResult ReadFileCapped(const std::string& path, std::size_t maxBytes, std::string& bytes);

// Why a read failed, in a few words: "over 16 MiB", "not a regular file", the system's reason.
std::string FileReadReason(const TFileReadResult& result, std::size_t maxBytes);

// Checks that `path` may be written as a whole file: it does not exist yet or is a regular
// file (a pipe or a device would block or swallow the data). Empty when fine, else the
// reason; never opens the file.
std::string WriteTargetProblem(const std::string& path);

// "File too large: "<path>" is over <N> MiB".
std::string FileTooLargeMessage(const std::string& path, std::size_t maxBytes);
