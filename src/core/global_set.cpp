#include "core/global_set.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>

#include "core/data_files.h"
#include "core/file_read.h"
#include "core/gbk.h"
#include "core/log.h"

namespace {

// One key of the file and the record field it holds.
struct TKeyDef {
  const char* Section;
  const char* ReadKey;
  const char* WriteKey;
  TLikeList TGlobalSet::*List = nullptr;
  bool TGlobalSet::*Flag = nullptr;
  int32_t TGlobalSet::*Number = nullptr;
  int32_t Missing = 0;
  std::string TGlobalSet::*Text = nullptr;  // a plain string value, kept as written
  const char* MissingText = "";
};

TKeyDef ListKey(const char* section, const char* key, TLikeList TGlobalSet::*field) {
  return {section, key, key, field, nullptr, nullptr, 0};
}
TKeyDef FlagKey(const char* section, const char* key, bool TGlobalSet::*field,
                const char* writeKey = nullptr) {
  return {section, key, writeKey ? writeKey : key, nullptr, field, nullptr, 1};
}
TKeyDef NumberKey(const char* section, const char* key, int32_t TGlobalSet::*field,
                  int32_t missing) {
  return {section, key, key, nullptr, nullptr, field, missing};
}
[[maybe_unused]] TKeyDef TextKey(const char* section, const char* key,
                                 std::string TGlobalSet::*field, const char* missing = "") {
  return {section, key, key, nullptr, nullptr, nullptr, 0, field, missing};
}

#ifndef VELTRA_VERSION
#define VELTRA_VERSION "0"
#endif

const char* DefaultUserAgentText() {
  return "Veltra/" VELTRA_VERSION " (company contact collector)";
}

// Every key of the record in the order the file is read and written.
const std::vector<TKeyDef>& KeyTable() {
  using S = TGlobalSet;
  static const std::vector<TKeyDef> table = {
      ListKey("MAINLIKE", "AddressLike", &S::AddressLike),
      ListKey("MAINLIKE", "PostCodeLike", &S::PostCodeLike),
      ListKey("MAINLIKE", "telephoneLike", &S::telephoneLike),
      ListKey("MAINLIKE", "faxnoLike", &S::faxnoLike),
      ListKey("MAINLIKE", "MailAddressLike", &S::MailAddressLike),
      ListKey("MAINLIKE", "CompanyLike", &S::CompanyLike),
      ListKey("SECONDLIKE", "HTMLNameLike", &S::HTMLNameLike),
      ListKey("SECONDLIKE", "CompanyNameLike", &S::CompanyNameLike),
      ListKey("SECONDLIKE", "AddressContentLike", &S::AddressContentLike),
      ListKey("POINTLIKE", "InfoLinkLike", &S::InfoLinkLike),
      ListKey("POINTLIKE", "NextPageLinkLike", &S::NextPageLinkLike),
      ListKey("POINTLIKE", "NextPageLike", &S::NextPageLike),
      FlagKey("POINTLIKE", "BUseCompanyNameLike", &S::BUseCompanyNameLike),
      FlagKey("POINTLIKE", "BUseNextPageLike", &S::BUseNextPageLike),
      NumberKey("SETTING", "MaxFindWebThreadCount", &S::MaxFindWebThreadCount, 10),
      NumberKey("SETTING", "MaxCrawlLevel", &S::MaxCrawlLevel, 2),
      NumberKey("SETTING", "MaxReadHTMLTimeOut", &S::MaxReadHTMLTimeOut, 30000),
      FlagKey("FINDFLAGS", "FlagFindAddressAndPostCode", &S::FlagFindAddressAndPostCode),
      FlagKey("FINDFLAGS", "FlagFindTelAndFax", &S::FlagFindTelAndFax),
      FlagKey("FINDFLAGS", "FlagFindMailAddress", &S::FlagFindMailAddress),
      FlagKey("FLAGUSESEARCH", "FlagUseSina", &S::FlagUseSina),
      FlagKey("FLAGUSESEARCH", "FlagUseSohu", &S::FlagUseSohu),
      FlagKey("FLAGUSESEARCH", "FlagUseYahoo", &S::FlagUseYahoo),
      FlagKey("FLAGUSESEARCH", "FlagUse163", &S::FlagUse163),
      FlagKey("FLAGUSESEARCH", "FlagUseGoogle", &S::FlagUseGoogle),
      // Read as "FlagUseBaidu", written as "FLAGUSEBaidu": the same key by the case rule.
      FlagKey("FLAGUSESEARCH", "FlagUseBaidu", &S::FlagUseBaidu, "FLAGUSEBaidu"),
      // Window conveniences.
      FlagKey("WINDOW", "FlagModernWindow", &S::FlagModernWindow),
      // Crawl manners and network.
      NumberKey("CRAWL", "SitePageBudget", &S::SitePageBudget, 30),
      NumberKey("CRAWL", "SiteTimeBudget", &S::SiteTimeBudget, 60),
      NumberKey("CRAWL", "SiteParallelPages", &S::SiteParallelPages, 2),
      NumberKey("CRAWL", "HostRequestLimit", &S::HostRequestLimit, 2),
      {"CRAWL", "UseRobotsTxt", "UseRobotsTxt", nullptr, &S::UseRobotsTxt, nullptr, 0},
      NumberKey("CRAWL", "RenderScripts", &S::RenderScripts, 0),
      NumberKey("CRAWL", "RenderParallel", &S::RenderParallel, 2),
      NumberKey("CRAWL", "RenderDeadline", &S::RenderDeadline, 20),
      NumberKey("NETWORK", "PageDeadline", &S::PageDeadline, 60),
      NumberKey("NETWORK", "LowSpeedLimit", &S::LowSpeedLimit, 100),
      TextKey("NETWORK", "UserAgent", &S::UserAgent, DefaultUserAgentText()),
      TextKey("NETWORK", "AcceptLanguage", &S::AcceptLanguage, kDefaultAcceptLanguage),
      NumberKey("NETWORK", "ProxyMode", &S::ProxyMode, 1),
      TextKey("NETWORK", "ProxyAddress", &S::ProxyAddress),
      {"NETWORK", "AcceptBrokenTls", "AcceptBrokenTls", nullptr, &S::AcceptBrokenTls, nullptr, 0},
      NumberKey("NETWORK", "PageMemoryMiB", &S::PageMemoryMiB, 256),
      // Leads.
      FlagKey("LEADS", "MergeLeads", &S::MergeLeads),
      TextKey("LEADS", "PhoneRegion", &S::PhoneRegion, "CN"),
  };
  return table;
}

int32_t ReadInteger(const TIniFile& ini, const char* section, const char* key, int32_t missing) {
  auto text = ini.ReadString(section, key);
  if (!text) return missing;
  return ParseIniInteger(*text).value_or(missing);
}

bool ReadBool(const TIniFile& ini, const char* section, const char* key, bool missing) {
  return ReadInteger(ini, section, key, missing ? 1 : 0) != 0;
}

std::string ValueText(const TGlobalSet& set, const TKeyDef& def) {
  if (def.List) return LikeListToText(set.*def.List);
  if (def.Flag) return set.*def.Flag ? "1" : "0";
  if (def.Text) return set.*def.Text;
  return std::to_string(set.*def.Number);
}

// Loads the file once, then writes every key of the given sections in the table's order,
// each straight to disk, so a failure leaves the keys before it written.
void SaveSections(const TGlobalSet& set, const std::string& path,
                  std::initializer_list<std::string_view> sections) {
  TIniFile ini;
  // A file that exists but cannot be read is not overwritten with our keys alone.
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  for (const auto& def : KeyTable()) {
    bool wanted = false;
    for (auto s : sections) wanted = wanted || s == def.Section;
    if (!wanted) continue;
    ini.WriteString(def.Section, def.WriteKey, ValueText(set, def));
    ini.SaveFile(path);
  }
}

// The search sources' sections: read every key they hold, written once a source is named.
void LoadSourceSections(TGlobalSet& set, const TIniFile& ini) {
  set.EngineHost.clear();
  for (const char* key : kEngineHostKeys) {
    auto host = ini.ReadString("ENGINEHOST", key);
    if (host && !host->empty()) set.EngineHost[key] = *host;
  }
  set.SourceUse.clear();
  for (const auto& key : ini.Keys("SOURCES")) {
    auto text = ini.ReadString("SOURCES", key);
    if (text) set.SourceUse[key] = ParseIniInteger(*text).value_or(0) != 0;
  }
  set.SourceHost.clear();
  for (const auto& key : ini.Keys("SOURCEHOST")) {
    auto host = ini.ReadString("SOURCEHOST", key);
    if (host && !host->empty()) set.SourceHost[key] = *host;
  }
  set.PaceMs = std::max(0, ReadInteger(ini, "SEARCH", "PaceMs", 2000));
  set.SourceDefaultsApply = true;
}

void SaveSourceSections(const TGlobalSet& set, const std::string& path) {
  if (set.SourceUse.empty() && set.SourceHost.empty()) return;
  TIniFile ini;
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  for (const auto& [name, on] : set.SourceUse) ini.WriteString("SOURCES", name, on ? "1" : "0");
  for (const auto& [name, host] : set.SourceHost) ini.WriteString("SOURCEHOST", name, host);
  ini.WriteString("SEARCH", "PaceMs", std::to_string(set.PaceMs));
  ini.SaveFile(path);
}

}  // namespace

bool TIniNameLess::operator()(std::string_view a, std::string_view b) const {
  return gbk::LowerLatin(a) < gbk::LowerLatin(b);
}

std::string DefaultUserAgent() {
  return DefaultUserAgentText();
}

std::string SettingsFilePath(const std::string& exeDir) {
  namespace fs = std::filesystem;
  const fs::path beside = fs::path(exeDir) / "Gleaner.ini";
  std::error_code ec;
  if (fs::is_regular_file(beside, ec) && ::access(beside.c_str(), W_OK) == 0)
    return beside.string();
  fs::path config;
  // The XDG rule: a relative or empty XDG_CONFIG_HOME is ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    config = fs::path(home) / ".config";
  else
    return beside.string();  // no home folder: the portable place is all there is
  return (config / "veltra" / "Gleaner.ini").string();
}

std::string SettingsFilePath() {
  return SettingsFilePath(ExecutableDir());
}

namespace {

std::string SystemError(int err) {
  return std::strerror(err);
}

// Reads the shipped defaults and says what is wrong with them, if anything.
std::optional<std::string> ReadShippedDefaults(const std::string& path, std::string& problem) {
  TIniFile probe;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    problem = "not a regular file";
    return std::nullopt;
  }
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kIniMaxFileBytes, bytes);
  if (read.Status != TFileReadStatus::Ok) {
    problem = read.Status == TFileReadStatus::TooLarge ? "over 16 MiB"
              : read.Error != 0                        ? SystemError(read.Error)
                                                       : "read error";
    return std::nullopt;
  }
  if (bytes.find('\0') != std::string::npos) {
    problem = "not a text file";
    return std::nullopt;
  }
  probe.Parse(bytes);
  bool known = false;
  for (const auto& def : KeyTable()) known = known || probe.ReadString(def.Section, def.ReadKey);
  if (!known) {
    problem = "no settings key in it";
    return std::nullopt;
  }
  return bytes;
}

// Creates `path` with `bytes`, never replacing a file that exists; false with the reason.
bool CreateNewFile(const std::string& path, const std::string& bytes, std::string& reason) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (ec) {
    reason = ec.message();
    return false;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = SystemError(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const int writeErr = done == bytes.size() ? 0 : (errno ? errno : EIO);
  if (::close(fd) != 0 || writeErr != 0) {
    reason = SystemError(writeErr ? writeErr : errno);
    ::unlink(path.c_str());  // only what we created ourselves
    return false;
  }
  return true;
}

}  // namespace

std::string SettingsReadError(const std::string& path) {
  if (path.empty()) return {};
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kIniMaxFileBytes, bytes);
  switch (read.Status) {
    case TFileReadStatus::Ok:
    case TFileReadStatus::Missing:
      return {};
    case TFileReadStatus::NotRegular:
      return "设置文件不是普通文件: " + path;
    case TFileReadStatus::Failed:
      if (read.Error == EISDIR) return "设置文件不是普通文件: " + path;
      break;
    case TFileReadStatus::TooLarge:
      return "设置文件过大: " + path + " (超过 " + std::to_string(kIniMaxFileBytes >> 20) + " MiB)";
  }
  return "无法读取设置文件: " + path + " (" + FileReadReason(read, kIniMaxFileBytes) + ")";
}

TSettingsStart PrepareSettingsFile(const std::string& path,
                                   const std::optional<std::string>& defaults, bool create) {
  namespace fs = std::filesystem;
  TSettingsStart start{path, path, {}};
  std::error_code ec;
  const auto status = fs::symlink_status(path, ec);
  const bool exists = fs::exists(status) || fs::is_symlink(status);
  // A file that is there but cannot be read stops the start: nothing falls back to defaults.
  if (exists && fs::exists(path, ec)) {
    start.Error = SettingsReadError(path);
    if (!start.Error.empty()) start.LoadPath.clear();
    return start;
  }
  if (!exists && !defaults) {
    // Nothing shipped: the built-in defaults; the folder is made so the first save succeeds.
    if (create && !fs::create_directories(fs::path(path).parent_path(), ec) && ec)
      start.Problem = "无法创建设置文件: " + path + " (" + ec.message() + "); 更改不会保存";
    return start;
  }

  // From here on the program starts with the shipped defaults, or the built-in ones.
  std::string problem;
  const auto bytes = defaults ? ReadShippedDefaults(*defaults, problem) : std::nullopt;
  start.LoadPath = bytes ? *defaults : std::string();
  if (exists) {
    start.Problem = fs::is_regular_file(path, ec)
                        ? "无法读取设置文件: " + path + " (" + SystemError(EACCES) + ")"
                        : "设置文件不是普通文件: " + path;
    start.Problem += "; 使用默认设置, 不会写入该位置";
  } else if (!bytes) {
    start.Problem = "默认设置文件已损坏: " + *defaults + " (" + problem + "); 使用内置默认设置";
  } else if (create && !CreateNewFile(path, *bytes, problem)) {
    start.Problem = "无法创建设置文件: " + path + " (" + problem + "); 使用默认设置, 更改不会保存";
  } else if (create) {
    start.LoadPath = path;
  }
  return start;
}

TSettingsStart PrepareSettingsFile(bool create) {
  return PrepareSettingsFile(SettingsFilePath(), FindDataFile("default-settings.ini"), create);
}

TLikeList LikeListFromText(std::string_view text) {
  // ";" and every line break (CR LF, LF or CR) end an entry; a break at the very end adds
  // none. None of these bytes can be the second byte of a GBK character.
  TLikeList list;
  std::string entry;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ';' || c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      list.push_back(std::move(entry));
      entry.clear();
      pending = false;
    } else {
      entry.push_back(c);
      pending = true;
    }
  }
  if (pending) list.push_back(std::move(entry));
  return list;
}

std::string LikeListToText(const TLikeList& list) {
  std::string text;
  for (const auto& entry : list) {
    text += entry;
    text += ';';
  }
  return text;
}

std::vector<TSettingsLine> SettingsLines(const TGlobalSet& set) {
  std::vector<TSettingsLine> lines;
  for (const auto& def : KeyTable())
    lines.push_back({def.Section, def.WriteKey, ValueText(set, def)});
  return lines;
}

namespace {

bool LoadSettingsFrom(TGlobalSet& set, const std::string& path, bool throwIfUnreadable) {
  TIniFile ini;
  std::string error;
  // Missing or unreadable: no keys, so every default applies.
  if (!ini.LoadFile(path, &error)) {
    if (throwIfUnreadable) {
      const std::string why = SettingsReadError(path);
      throw ESettingsReadError(why.empty() ? error : why);
    }
    TLog::Global().Write(TLogLevel::Error, "settings", error);
  }
  for (const auto& def : KeyTable()) {
    if (def.List)
      set.*def.List = LikeListFromText(ini.ReadString(def.Section, def.ReadKey).value_or(""));
    else if (def.Flag)
      set.*def.Flag = ReadBool(ini, def.Section, def.ReadKey, def.Missing != 0);
    else if (def.Text)
      set.*def.Text = ini.ReadString(def.Section, def.ReadKey).value_or(def.MissingText);
    else
      set.*def.Number = ReadInteger(ini, def.Section, def.ReadKey, def.Missing);
  }
  LoadSourceSections(set, ini);
  set.FlagModernRecognition = ReadBool(ini, "FINDFLAGS", "FlagModernRecognition", true);
  // The options dialog's ranges: a huge worker count or depth, or a time-out of 0 (none),
  // would exhaust memory or hold a worker for ever.
  set.ClampNumbers = ReadBool(ini, "SETTING", "ClampNumbers", true);
  if (set.ClampNumbers) {
    set.MaxFindWebThreadCount = std::clamp(set.MaxFindWebThreadCount, 1, 30);
    set.MaxCrawlLevel = std::clamp(set.MaxCrawlLevel, 0, 6);
    set.MaxReadHTMLTimeOut = std::clamp(set.MaxReadHTMLTimeOut, 10000, 30000);
  }
  // Outside these the renderer would either never answer or take the machine.
  set.RenderScripts = std::clamp(set.RenderScripts, 0, 2);
  set.RenderParallel = std::clamp(set.RenderParallel, 1, kMaxRenderParallel);
  set.RenderDeadline = std::clamp(set.RenderDeadline, 1, kMaxRenderDeadline);
  return ReadBool(ini, "LIKE", "LIKESETTING", true);
}

}  // namespace

bool LoadSettings(TGlobalSet& set, const std::string& path) {
  return LoadSettingsFrom(set, path, false);
}

bool LoadSettingsOrThrow(TGlobalSet& set, const std::string& path) {
  return LoadSettingsFrom(set, path, true);
}

void SaveSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path,
               {"MAINLIKE", "SECONDLIKE", "POINTLIKE", "SETTING", "FINDFLAGS", "FLAGUSESEARCH"});
  SaveSourceSections(set, path);
}

void SaveMatchingSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"MAINLIKE", "SECONDLIKE", "SETTING", "FINDFLAGS"});
}

void SaveCrawlSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"CRAWL", "NETWORK"});
}

void SaveLeadSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"LEADS"});
}

void SaveRecognitionSwitch(const TGlobalSet& set, const std::string& path) {
  TIniFile ini;
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  ini.WriteString("FINDFLAGS", "FlagModernRecognition", set.FlagModernRecognition ? "1" : "0");
  ini.SaveFile(path);
}

void SavePointWebSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"POINTLIKE"});
}

void SaveEngineSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"FLAGUSESEARCH"});
  SaveSourceSections(set, path);
}

void SaveSearchMode(bool keywordSearch, const std::string& path) {
  TIniFile ini;
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  ini.WriteString("LIKE", "LIKESETTING", keywordSearch ? "1" : "0");
  ini.SaveFile(path);
}

TGlobalSet FactoryGlobalSet() {
  TGlobalSet set;
  set.AddressLike = LikeListFromText(GBK("地址;厂址;"));
  set.PostCodeLike = LikeListFromText(GBK("邮编;邮政编码;"));
  set.telephoneLike = LikeListFromText(GBK("电话;语音热线;tel;"));
  set.faxnoLike = LikeListFromText(GBK("传真;fax;"));
  set.MailAddressLike = LikeListFromText(GBK("电子信箱;信箱;邮件;e-mail;mailto;email;"));
  set.CompanyLike = LikeListFromText(GBK("公司名称;企业名称;"));
  set.HTMLNameLike = LikeListFromText("about;contact;");
  set.CompanyNameLike = LikeListFromText(GBK("厂;局;公司;处;集团;中心;院;所;办;部;大学;会;"));
  set.AddressContentLike = LikeListFromText(GBK("省;市;县;区;号;座;街;厦;乡;墩;村;"));
  set.InfoLinkLike.clear();
  set.NextPageLinkLike.clear();
  set.NextPageLike = LikeListFromText(GBK("页;"));
  set.BUseCompanyNameLike = true;
  set.BUseNextPageLike = true;
  set.MaxFindWebThreadCount = 20;
  set.MaxCrawlLevel = 2;
  set.MaxReadHTMLTimeOut = 30000;
  set.FlagFindAddressAndPostCode = true;
  set.FlagFindTelAndFax = true;
  set.FlagFindMailAddress = true;
  set.FlagUseSina = true;
  set.FlagUseSohu = true;
  set.FlagUseYahoo = true;
  set.FlagUse163 = true;
  set.FlagUseGoogle = true;
  set.FlagUseBaidu = true;
  set.SitePageBudget = 30;
  set.SiteTimeBudget = 60;
  set.SiteParallelPages = 2;
  set.HostRequestLimit = 2;
  set.UseRobotsTxt = false;
  set.PageDeadline = 60;
  set.LowSpeedLimit = 100;
  set.UserAgent = DefaultUserAgent();
  set.AcceptLanguage = kDefaultAcceptLanguage;
  set.ProxyMode = 1;
  set.ProxyAddress.clear();
  set.AcceptBrokenTls = false;
  set.PageMemoryMiB = 256;
  set.RenderScripts = 1;
  set.RenderParallel = 2;
  set.RenderDeadline = 20;
  return set;
}
