#pragma once
// Reading a whole file under a size cap, so a huge file, a device or a pipe that never ends
// costs at most the cap.

#include <cstddef>
#include <string>

enum class TFileReadStatus { Ok, Missing, TooLarge, Failed };

struct TFileReadResult {
  TFileReadStatus Status = TFileReadStatus::Failed;
  int Error = 0;  // errno for Missing and Failed
};

// Reads `path` into `bytes`. A regular file's size is checked before anything is read and
// the buffer is sized once; anything else is read up to one byte past the cap.
TFileReadResult ReadFileCapped(const std::string& path, std::size_t maxBytes, std::string& bytes);

// "File too large: "<path>" is over <N> MiB".
std::string FileTooLargeMessage(const std::string& path, std::size_t maxBytes);
