#include "core/log.h"

#include <cstdio>
#include <ctime>
#include <fstream>

const char* FetchErrorKindName(TFetchErrorKind kind) {
  switch (kind) {
    case TFetchErrorKind::None:
      return "ok";
    case TFetchErrorKind::Timeout:
      return "timeout";
    case TFetchErrorKind::Dns:
      return "dns";
    case TFetchErrorKind::Connect:
      return "connect";
    case TFetchErrorKind::Tls:
      return "tls";
    case TFetchErrorKind::HttpStatus:
      return "http-status";
    case TFetchErrorKind::TooLarge:
      return "too-large";
    case TFetchErrorKind::TooManyRedirects:
      return "too-many-redirects";
    case TFetchErrorKind::Stopped:
      return "stopped";
    case TFetchErrorKind::BadUrl:
      return "bad-url";
    case TFetchErrorKind::Network:
      return "network";
    case TFetchErrorKind::Blocked:
      return "blocked";
  }
  return "?";
}

namespace {
const char* LevelName(TLogLevel level) {
  switch (level) {
    case TLogLevel::Debug:
      return "debug";
    case TLogLevel::Info:
      return "info";
    case TLogLevel::Warning:
      return "warning";
    case TLogLevel::Error:
      return "error";
  }
  return "?";
}
}  // namespace

std::string LogSiteOf(std::string_view url) {
  auto scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  auto end = url.find_first_of("/?#");
  if (end != std::string_view::npos) url = url.substr(0, end);
  auto at = url.rfind('@');
  if (at != std::string_view::npos) url.remove_prefix(at + 1);
  auto colon = url.rfind(':');
  if (colon != std::string_view::npos && url.find(']') == std::string_view::npos)
    url = url.substr(0, colon);
  return std::string(url);
}

std::string FormatLogEntry(const TLogEntry& e) {
  std::time_t t = std::chrono::system_clock::to_time_t(e.Time);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::string line = stamp;
  line += ' ';
  line += LevelName(e.Level);
  line += ' ';
  line += e.Category.empty() ? "-" : e.Category;
  if (!e.Url.empty()) {
    line += ' ';
    line += e.Url;
  }
  if (e.Status != 0) line += " status=" + std::to_string(e.Status);
  if (e.Error != TFetchErrorKind::None) {
    line += " error=";
    line += FetchErrorKindName(e.Error);
  }
  if (e.ElapsedMs >= 0) line += " ms=" + std::to_string(e.ElapsedMs);
  if (!e.Message.empty()) {
    line += " : ";
    line += e.Message;
  }
  return line;
}

TLog& TLog::Global() {
  static TLog log;
  return log;
}

void TLog::Add(TLogEntry entry) {
  if (entry.Time == std::chrono::system_clock::time_point{})
    entry.Time = std::chrono::system_clock::now();
  if (entry.Site.empty() && !entry.Url.empty()) entry.Site = LogSiteOf(entry.Url);
  std::lock_guard lock(mutex_);
  entry.Seq = ++lastSeq_;
  if (sink_ && entry.Level >= sinkLevel_) sink_(entry);
  entries_.push_back(std::move(entry));
  while (entries_.size() > capacity_) entries_.pop_front();
}

void TLog::Write(TLogLevel level, std::string category, std::string message, std::string url) {
  TLogEntry e;
  e.Level = level;
  e.Category = std::move(category);
  e.Message = std::move(message);
  e.Url = std::move(url);
  Add(std::move(e));
}

std::vector<TLogEntry> TLog::Since(uint64_t after) const {
  std::lock_guard lock(mutex_);
  std::vector<TLogEntry> out;
  for (auto it = entries_.rbegin(); it != entries_.rend() && it->Seq > after; ++it)
    out.push_back(*it);
  return {out.rbegin(), out.rend()};
}

uint64_t TLog::LastSeq() const {
  std::lock_guard lock(mutex_);
  return lastSeq_;
}

void TLog::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

void TLog::SetSink(TSink sink, TLogLevel level) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
  sinkLevel_ = level;
}

bool TLog::SetFile(const std::string& path, TLogLevel level) {
  auto file = std::make_shared<std::ofstream>(path, std::ios::app);
  if (!*file) return false;
  SetSink(
      [file](const TLogEntry& e) {
        *file << FormatLogEntry(e) << '\n';
        file->flush();
      },
      level);
  return true;
}
