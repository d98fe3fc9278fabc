#pragma once
// Replacing a file whole: the new content goes to a temporary file beside the target, which
// is then renamed over it, so a failed or killed write never leaves a partial file under
// the target's name.

#include <filesystem>
#include <string>
#include <string_view>

// Writes every byte, retrying interrupted writes; false on the first failure (errno set).
bool WriteAll(int fd, std::string_view bytes);

// The file a save replaces: `path`, or the file a symbolic link there leads to (the link
// itself stays).
std::filesystem::path SaveTarget(const std::filesystem::path& path);

// Creates a temporary file beside `target` ("<name>.tmp<pid>-<n>-<r>"), with the target's
// permissions when it exists. Returns its descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::filesystem::path& target, std::string& tempPath);

// Removes the temporary files in the folder of `target` that a save or export killed before
// its rename left behind, whatever file they were for: those named like our temporaries whose
// process no longer runs, or older than a day.
void RemoveStaleTemporaries(const std::filesystem::path& target);

// Renames `tempPath` over `target` and syncs the directory, so the rename survives a crash.
// Returns 0, or the errno of the failure (the temporary file is then removed).
int RenameOver(const std::string& tempPath, const std::filesystem::path& target);

// All of the above for content held in memory; the data is synced before the rename.
// Returns 0 or an errno; `notCreated`, when given, tells whether the temporary file could not
// even be created.
int ReplaceFile(const std::filesystem::path& path, std::string_view bytes,
                bool* notCreated = nullptr);
