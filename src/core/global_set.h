#pragma once
// The settings record and the "Gleaner.ini" configuration file.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_file.h"

// Orders INI key names as the file compares them: letter case does not count.
struct TIniNameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

// An ordered keyword list; stored in the file as entries each followed by ";".
using TLikeList = std::vector<std::string>;

class TGlobalSet {
 public:
  TLikeList AddressLike;
  TLikeList PostCodeLike;
  TLikeList telephoneLike;
  TLikeList faxnoLike;
  TLikeList MailAddressLike;
  TLikeList CompanyLike;
  TLikeList HTMLNameLike;
  TLikeList CompanyNameLike;
  TLikeList AddressContentLike;
  TLikeList InfoLinkLike;
  bool BUseCompanyNameLike = true;
  TLikeList NextPageLinkLike;
  TLikeList NextPageLike;
  bool BUseNextPageLike = true;
  int32_t MaxFindWebThreadCount = 0;
  int32_t MaxCrawlLevel = 0;
  int32_t MaxReadHTMLTimeOut = 0;
  bool FlagFindAddressAndPostCode = true;
  bool FlagFindTelAndFax = true;
  bool FlagFindMailAddress = true;
  bool FlagUseSina = true;
  bool FlagUseSohu = true;
  bool FlagUseYahoo = true;
  bool FlagUse163 = true;
  bool FlagUseGoogle = true;
  bool FlagUseBaidu = true;
  // Section ENGINEHOST: engine key ("Sina", "Sohu", "Yahoo", "Google", "163", "Baidu") ->
  // host[:port] overriding the built-in host. Read only; nothing writes it.
  std::map<std::string, std::string> EngineHost;
  // Window conveniences (section WINDOW): clearer run texts, an unsaved marker in the title,
  // editor steps that keep typed text, a filter box. Off gives the window as first designed.
  bool FlagModernWindow = true;
  // Recognition beyond the keyword lists (shapes, branches, page-wide names); section
  // FINDFLAGS, key FlagModernRecognition, on when missing. The other saves leave it alone;
  // the options dialog writes it with SaveRecognitionSwitch.
  bool FlagModernRecognition = true;
  // SETTING/ClampNumbers (read only, default on): LoadSettings brings the three numbers into
  // the options dialog's ranges; 0 takes them as stored.
  bool ClampNumbers = true;
  // Crawl manners and network (sections CRAWL and NETWORK). The values here are the classic
  // behaviour; a settings file without these keys gets FactoryGlobalSet's.
  int32_t SitePageBudget = 0;     // pages read per site; 0: no limit
  int32_t SiteTimeBudget = 0;     // seconds per site; 0: no limit
  int32_t SiteParallelPages = 1;  // pages of one site read at once
  int32_t HostRequestLimit = 0;   // requests at once to one host over all workers; 0: no limit
  bool UseRobotsTxt = false;
  int32_t PageDeadline = 60;  // seconds one page may take over all its redirects; 0: none
  int32_t LowSpeedLimit = 0;  // bytes/s below which a page fails after the read time-out
  std::string UserAgent;      // empty: each thread kind's classic "User-Agent" and "Accept"
  std::string AcceptLanguage;
  int32_t ProxyMode = 0;  // 0 direct, 1 the proxy variables of the environment, 2 ProxyAddress
  std::string ProxyAddress;
  bool AcceptBrokenTls = false;
  // Pages held at once by all the threads, in MiB (bodies being read and pages being
  // analysed); a thread waits for room before it reads a large body. 0: no limit.
  int32_t PageMemoryMiB = 256;
  // Site pages whose content scripts build (section CRAWL): RenderScripts 0 never, 1 when a
  // page yields no record and looks script-built, 2 every page; at most RenderParallel pages
  // rendered at once, each within RenderDeadline seconds. Used only where a browser is built.
  int32_t RenderScripts = 0;
  int32_t RenderParallel = 2;
  int32_t RenderDeadline = 20;
  // Search sources beyond the classic six: [SOURCES] name -> on, [SOURCEHOST] name -> host or
  // base URL, [SEARCH] PaceMs between two requests to one search host. A source that
  // SourceUse does not name is off, or takes its registry default when SourceDefaultsApply
  // (set by LoadSettings: a file read from disk, not settings made in code).
  std::map<std::string, bool, TIniNameLess> SourceUse;
  std::map<std::string, std::string, TIniNameLess> SourceHost;
  int32_t PaceMs = 2000;
  bool SourceDefaultsApply = false;
  // Section LEADS. MergeLeads: with FlagModernRecognition, a record whose phone (E.164) or
  // e-mail is already listed in the run is merged into the earlier one. PhoneRegion: the
  // region of numbers written without "+" (a two-letter code).
  bool MergeLeads = true;
  std::string PhoneRegion = "CN";
};

// "Veltra/<version> (...)": the program's own "User-Agent".
std::string DefaultUserAgent();
// A current desktop browser's "User-Agent", offered in the options dialog.
inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/124.0.0.0 Safari/537.36";
// Ranges of RenderParallel and RenderDeadline (seconds); RenderScripts is 0 to 2.
inline constexpr int32_t kMaxRenderParallel = 8;
inline constexpr int32_t kMaxRenderDeadline = 300;
inline constexpr const char* kDefaultAcceptLanguage = "zh-CN,zh;q=0.9,en;q=0.8";

// Keys of section ENGINEHOST (the classic engines' host keys), spelled as
// TGlobalSet::EngineHost holds them.
inline constexpr std::array<const char*, 6> kEngineHostKeys = {"Sina",   "Sohu", "Yahoo",
                                                               "Google", "163",  "Baidu"};

// One key of the file as the writers store it: section, key name, value text.
struct TSettingsLine {
  std::string Section;
  std::string Key;
  std::string Value;
};
// Every key the record is saved under, in the file's order (LIKE and ENGINEHOST excluded).
std::vector<TSettingsLine> SettingsLines(const TGlobalSet& set);

// The settings file: "Gleaner.ini" beside the executable when it exists and may be written
// (a portable folder), else $XDG_CONFIG_HOME/veltra/Gleaner.ini (~/.config when unset).
std::string SettingsFilePath();
std::string SettingsFilePath(const std::string& exeDir);

// The settings file a front end starts with.
struct TSettingsStart {
  std::string Path;      // read at start, written by the dialogs and on exit
  std::string LoadPath;  // what LoadSettings reads: Path, or the shipped defaults while Path
                         // does not exist; empty: the built-in defaults
  std::string Problem;   // UTF-8; set when the program starts with defaults because of it
  // UTF-8; set when the settings file exists but cannot be read (a folder, a pipe or a
  // device, unreadable, over 16 MiB). The program must not start: the built-in defaults
  // could send requests where the user's settings say not to.
  std::string Error = {};
};

// Raised when the settings file exists but cannot be read; the text is UTF-8.
class ESettingsReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Empty when `path` is missing or can be read as a settings file; else why not (UTF-8).
std::string SettingsReadError(const std::string& path);
// Checks `path` before a start. When it does not exist and `create` is set, it is created as
// a copy of `defaults` (the shipped "default-settings.ini"; nullopt when none is shipped).
// Nothing that exists is ever overwritten; a problem leaves the defaults in use.
TSettingsStart PrepareSettingsFile(const std::string& path,
                                   const std::optional<std::string>& defaults, bool create);
// The same for SettingsFilePath() and the shipped defaults found by FindDataFile.
TSettingsStart PrepareSettingsFile(bool create);

// Reads every section into `set`; returns the search mode (LIKE/LIKESETTING). A missing or
// unreadable file gives the defaults (an unreadable one is logged). LoadSettingsOrThrow
// throws ESettingsReadError for a file that exists but cannot be read instead. The saves write each
// key at once and throw EIniWriteError at the first key that cannot be written (keys before it stay
// written).
bool LoadSettings(TGlobalSet& set, const std::string& path);
bool LoadSettingsOrThrow(TGlobalSet& set, const std::string& path);
void SaveSettings(const TGlobalSet& set, const std::string& path);
void SaveMatchingSettings(const TGlobalSet& set, const std::string& path);
void SavePointWebSettings(const TGlobalSet& set, const std::string& path);
void SaveCrawlSettings(const TGlobalSet& set, const std::string& path);  // CRAWL and NETWORK
void SaveLeadSettings(const TGlobalSet& set, const std::string& path);   // LEADS
void SaveRecognitionSwitch(const TGlobalSet& set, const std::string& path);
// FLAGUSESEARCH, and SOURCES, SOURCEHOST and SEARCH once the record names any source.
void SaveEngineSettings(const TGlobalSet& set, const std::string& path);
void SaveSearchMode(bool keywordSearch, const std::string& path);

// The values the options dialog's default button restores: the factory keyword lists, 20
// workers, depth 2, 30000 ms, every switch on, "页;" as the next-page text.
TGlobalSet FactoryGlobalSet();

std::string LikeListToText(const TLikeList& list);
TLikeList LikeListFromText(std::string_view text);

// The settings that threads read: an immutable copy, swapped whole when the GUI thread
// publishes new values, so a reader never sees a list half replaced.
class TSettingsStore {
 public:
  TSettingsStore() : current_(std::make_shared<const TGlobalSet>()) {}
  std::shared_ptr<const TGlobalSet> Snapshot() const {
    std::lock_guard lock(mutex_);
    return current_;
  }
  void Publish(const TGlobalSet& set) {
    auto next = std::make_shared<const TGlobalSet>(set);
    std::lock_guard lock(mutex_);
    current_ = std::move(next);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const TGlobalSet> current_;
};
