#pragma once
// The program's log: a bounded in-memory list of entries that any thread may add to, read by
// the window's log dock and by veltra-cli (--log FILE, --verbose). Nothing reaches the disk
// unless a file is set. Texts are UTF-8.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

enum class TLogLevel { Debug, Info, Warning, Error };

// Why a fetch failed, as the log and the status texts name it.
enum class TFetchErrorKind {
  None,
  Timeout,
  Dns,
  Connect,
  Tls,
  HttpStatus,
  TooLarge,
  TooManyRedirects,
  Stopped,
  BadUrl,
  Network,
  Blocked,
};
const char* FetchErrorKindName(TFetchErrorKind kind);

struct TLogEntry {
  uint64_t Seq = 0;  // set by TLog::Add, increasing from 1
  std::chrono::system_clock::time_point Time{};
  TLogLevel Level = TLogLevel::Info;
  std::string Category;  // "fetch", "worker", "search", "settings", ...
  std::string Site;      // host the entry is about, for filtering; may be empty
  std::string Url;       // address the entry is about; may be empty
  long Status = 0;       // HTTP status, 0 when none
  TFetchErrorKind Error = TFetchErrorKind::None;
  int64_t ElapsedMs = -1;  // duration of the operation, -1 when not measured
  std::string Message;
};

// One line of text for a file or a terminal: time, level, category, site, status, message.
std::string FormatLogEntry(const TLogEntry& entry);
// The host of an address ("http://a.b:81/x" -> "a.b"), empty when there is none.
std::string LogSiteOf(std::string_view url);

class TLog {
 public:
  using TSink = std::function<void(const TLogEntry&)>;

  static constexpr std::size_t kDefaultCapacity = 20000;

  // The log the program writes to; tests may also make their own.
  static TLog& Global();

  explicit TLog(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  // Thread-safe. Fills Seq and (when unset) Time; the oldest entry goes when full.
  void Add(TLogEntry entry);
  void Write(TLogLevel level, std::string category, std::string message, std::string url = {});

  // Entries with Seq greater than `after`, oldest first (the window polls with the last Seq).
  std::vector<TLogEntry> Since(uint64_t after) const;
  uint64_t LastSeq() const;
  void Clear();

  // Entries of at least `level` are also passed to the sink, under the log's lock, in order.
  // A null sink removes it. Returns false when the file cannot be opened.
  void SetSink(TSink sink, TLogLevel level = TLogLevel::Debug);
  bool SetFile(const std::string& path, TLogLevel level = TLogLevel::Debug);

 private:
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::deque<TLogEntry> entries_;
  uint64_t lastSeq_ = 0;
  TSink sink_;
  TLogLevel sinkLevel_ = TLogLevel::Debug;
};
