#pragma once
// The texts of the five status panels, for run control, the window and the CLI (GBK).

#include <cstdint>
#include <string>

// Panel 0 by RunState: "结束" (-1), "就绪" (0), "正在运行..." (1); empty for anything else.
std::string RunStateText(int32_t runState);
// Panels 1 to 3: "得到网址数:N", "已处理网址:N", "得到信息:N".
std::string URLCountText(std::size_t count);
std::string ProcessedURLText(int64_t count);
std::string RecordCountText(std::size_t count);
// Panel 4: "运行时间:" H "时" M "分" S "秒".
std::string RunTimeText(uint32_t elapsedMs);

struct TLogEntry;
// One log line as FormatLogEntry writes it, with the level, the kind of entry and the kind of
// failure in Chinese ("警告 抓取 … 超时") unless `english`. UTF-8, like every log text.
std::string LogEntryText(const TLogEntry& entry, bool english = false);
// Chinese names of a log level and a failure kind (UTF-8).
std::string LogLevelText(int level);
std::string FetchErrorText(int kind);
// Whether the settings file asks for the log in English ([WINDOW] LogLanguage=en).
bool LogInEnglish(const std::string& settingsPath);
