#pragma once
// The task file (".swrw"): a flat sequence of tagged values holding the task's scalar fields,
// its URL list, the window's input box and mode buttons, and every result row.

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/program_state.h"
#include "core/result_table.h"

class TSearchEngineObject;

// A damaged file: "Invalid property value" (unexpected tag) or "Stream read error" (the
// file ends early, or a length runs past its end).
class ETaskFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened or created; the text names the file and the system's reason.
class ETaskFileAccessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Items 10 to 12, which belong to the window: the input box text as shown (GBK) and the two
// mode buttons.
struct TTaskWindowItems {
  std::string InputText;
  bool KeywordMode = true;
  bool WebsiteMode = false;
};

// A source that was blocked: the page position its next run starts from (item 14).
struct TBlockedSource {
  std::string Name;
  int32_t ResultOffset = 1;
  int32_t PageCount = 0;
};

// Every item of a task file in file order; strings are GBK.
struct TTaskFileData {
  std::string TaskName;
  std::string SearchText;
  int32_t SearchMode = 0;
  int32_t ProcessedURLCount = 0;
  int32_t ResumeIndex = 0;  // item 5, read into NextURLIndex
  std::string EngineName;
  int32_t EngineResultOffset = 1;
  int32_t EnginePageCount = 0;
  std::vector<TSearchURLResult> URLs;
  TTaskWindowItems Window;
  std::vector<TResultRow> Rows;
  std::vector<TBlockedSource> BlockedSources;  // item 14, present only when not empty
  // Item 15, present only when not empty (item 14 is then written, perhaps empty, before it):
  // URL list indices after the resume index whose sites are already crawled.
  std::vector<int32_t> CrawledAhead;
  // Item 16, present only when not empty (items 14 and 15 are then written, perhaps empty,
  // before it): cookies the user chose to keep with the task, one Netscape cookie-file line
  // each.
  std::vector<std::string> Cookies;
};

// The file's bytes; the reader reads items 14 to 16 when they follow and ignores anything
// else.
std::string EncodeTaskFile(const TTaskFileData& data);
TTaskFileData DecodeTaskFile(std::string_view bytes);

// Largest task file read.
inline constexpr std::size_t kTaskFileMaxBytes = 512u << 20;

// Reads a whole file and decodes it; a file over kTaskFileMaxBytes is refused before it is
// read. Throws ETaskFileAccessError or ETaskFileError.
TTaskFileData ReadTaskFile(const std::string& path);
// Writes to a temporary file beside `path` (beside the file a symbolic link at `path` leads
// to), then renames it over: a failed write leaves the previous file as it was. Temporary
// files of saves that were killed are removed first. Throws ETaskFileAccessError.
void WriteTaskFile(const std::string& path, const TTaskFileData& data);

// Maps the engine adapters to the names stored in the file and back.
struct TEngineNaming {
  std::function<std::string(const TSearchEngineObject*)> NameOf;   // "" for none
  std::function<TSearchEngineObject*(const std::string&)> ByName;  // nullptr when unknown
  // Blocked sources and their positions, saved and restored with the task (may be unset).
  std::function<std::vector<TBlockedSource>()> Blocked;
  std::function<void(const std::vector<TBlockedSource>&)> RestoreBlocked;
  // Cookies kept with the task (item 16), and what to do with those of a file read (may be
  // unset).
  std::function<std::vector<std::string>()> Cookies;
  std::function<void(const std::vector<std::string>&)> RestoreCookies;
};
// One adapter and the name the file stores it under ("sina" ... "baidu" for the classic six).
struct TNamedEngine {
  TSearchEngineObject* Engine = nullptr;
  std::string Name;
};
// Naming over the given adapters; names compare exactly, an unknown name gives none.
TEngineNaming EngineNamingFor(const std::vector<TNamedEngine>& engines);

// Save: items 1-9 from the state (NextURLIndex is not stored; items 4 and 5 both hold the
// resume point: the processed count, or `firstCrawling`, the lowest URL list index a worker is
// still crawling, when that is lower), 10-12 from `window`, 13 from `rows`, 15 from
// CrawledAhead. Safe while workers run.
void SaveToFile(const std::string& path, const TProgramState& state, const TResultTable& rows,
                const TTaskWindowItems& window, const TEngineNaming& engines,
                int32_t firstCrawling = -1);
// Load: the whole file is read and checked first, so a damaged file changes nothing. The
// company list, RunState, TaskFileName, ElapsedMs and Modified are not touched; CrawledAhead
// keeps the stored indices after the resume index.
void LoadFromFile(const std::string& path, TProgramState& state, TResultTable& rows,
                  TTaskWindowItems& window, const TEngineNaming& engines);

// Appends ".swrw" unless the name already ends in exactly that extension.
std::string EnsureTaskExtension(const std::string& name);
