#pragma once
// Where the shipped data files (default settings, search sources, vocabularies) are found.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Folder of the running executable.
std::string ExecutableDir();

// Folders searched for a shipped data file, in order: $VELTRA_DATA_DIR, the executable's
// folder, <executable folder>/../share/veltra, then the source tree's data/ folder (runs
// from a build folder).
std::vector<std::string> DataDirs();

// Full path of the first existing regular file `name` in DataDirs().
std::optional<std::string> FindDataFile(std::string_view name);
