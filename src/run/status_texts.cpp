#include "run/status_texts.h"

#include <array>
#include <chrono>
#include <ctime>
#include <map>
#include <string_view>
#include <utility>

#include "core/gbk.h"
#include "core/ini_file.h"
#include "core/log.h"

std::string RunStateText(int32_t runState) {
  switch (runState) {
    case -1:
      return GBK("结束");
    case 0:
      return GBK("就绪");
    case 1:
      return GBK("正在运行...");
    default:
      return {};
  }
}

std::string URLCountText(std::size_t count) {
  return GBK("得到网址数:") + std::to_string(count);
}

std::string ProcessedURLText(int64_t count) {
  return GBK("已处理网址:") + std::to_string(count);
}

std::string RecordCountText(std::size_t count) {
  return GBK("得到信息:") + std::to_string(count);
}

std::string RunTimeText(uint32_t elapsedMs) {
  const uint32_t s = elapsedMs / 1000;
  return GBK("运行时间:") + std::to_string(s / 3600) + GBK("时") + std::to_string(s % 3600 / 60) +
         GBK("分") + std::to_string(s % 60) + GBK("秒");
}

std::string LogLevelText(int level) {
  switch (static_cast<TLogLevel>(level)) {
    case TLogLevel::Debug:
      return "调试";
    case TLogLevel::Info:
      return "信息";
    case TLogLevel::Warning:
      return "警告";
    case TLogLevel::Error:
      return "错误";
  }
  return "?";
}

std::string FetchErrorText(int kind) {
  switch (static_cast<TFetchErrorKind>(kind)) {
    case TFetchErrorKind::None:
      return "成功";
    case TFetchErrorKind::Timeout:
      return "超时";
    case TFetchErrorKind::Dns:
      return "域名解析失败";
    case TFetchErrorKind::Connect:
      return "连接失败";
    case TFetchErrorKind::Tls:
      return "证书错误";
    case TFetchErrorKind::HttpStatus:
      return "服务器返回错误";
    case TFetchErrorKind::TooLarge:
      return "网页过大";
    case TFetchErrorKind::TooManyRedirects:
      return "重定向过多";
    case TFetchErrorKind::Stopped:
      return "已停止";
    case TFetchErrorKind::BadUrl:
      return "网址无效";
    case TFetchErrorKind::Network:
      return "网络错误";
    case TFetchErrorKind::Blocked:
      return "访问受阻";
  }
  return "?";
}

namespace {

std::string CategoryText(const std::string& category) {
  static const std::map<std::string, std::string> names = {
      {"fetch", "抓取"}, {"search", "搜索"}, {"worker", "爬行"}, {"settings", "设置"}};
  const auto found = names.find(category);
  if (found != names.end()) return found->second;
  return category.empty() ? "-" : category;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The few fixed messages the program writes, in Chinese; anything else (texts of the
// network library, names of sources) stays as it came.
std::string MessageText(const TLogEntry& e) {
  const std::string& m = e.Message;
  if (e.Error != TFetchErrorKind::None && m == FetchErrorKindName(e.Error))
    return FetchErrorText(static_cast<int>(e.Error));
  static const std::array<std::pair<std::string_view, std::string_view>, 3> tails = {{
      {" result page failed", " 结果页读取失败"},
      {" result page", " 结果页"},
      {" bytes", " 字节"},
  }};
  for (const auto& [tail, chinese] : tails)
    if (EndsWith(m, tail)) return m.substr(0, m.size() - tail.size()) + std::string(chinese);
  static const std::array<std::pair<std::string_view, std::string_view>, 4> heads = {{
      {"exception: ", "异常："},
      {"search source skipped: ", "已跳过搜索来源："},
      {"settings file ", "设置文件 "},
      {"tracking link -> ", "跳转链接 -> "},
  }};
  for (const auto& [head, chinese] : heads)
    if (m.rfind(head, 0) == 0) return std::string(chinese) + m.substr(head.size());
  if (m == "unknown exception") return "未知异常";
  return m;
}

}  // namespace

std::string LogEntryText(const TLogEntry& e, bool english) {
  if (english) return FormatLogEntry(e);
  std::time_t t = std::chrono::system_clock::to_time_t(e.Time);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::string line = stamp;
  line += ' ' + LogLevelText(static_cast<int>(e.Level)) + ' ' + CategoryText(e.Category);
  if (!e.Url.empty()) line += ' ' + e.Url;
  if (e.Status != 0) line += " 状态码=" + std::to_string(e.Status);
  if (e.Error != TFetchErrorKind::None)
    line += " 错误=" + FetchErrorText(static_cast<int>(e.Error));
  if (e.ElapsedMs >= 0) line += " 用时=" + std::to_string(e.ElapsedMs) + "毫秒";
  if (!e.Message.empty()) line += " : " + MessageText(e);
  return line;
}

bool LogInEnglish(const std::string& settingsPath) {
  TIniFile ini;
  if (settingsPath.empty() || !ini.LoadFile(settingsPath)) return false;
  const std::string value = ini.ReadString("WINDOW", "LogLanguage").value_or("");
  return value.size() == 2 && (value[0] | 0x20) == 'e' && (value[1] | 0x20) == 'n';
}
