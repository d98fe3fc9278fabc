#pragma once
// The settings record and the "Gleaner.ini" configuration file.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
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
  // Search sources beyond the classic six: [SOURCES] name -> on, [SOURCEHOST] name -> host or
  // base URL, [SEARCH] PaceMs between two requests to one search host. A source that
  // SourceUse does not name is off, or takes its registry default when SourceDefaultsApply
  // (set by LoadSettings: a file read from disk, not settings made in code).
  std::map<std::string, bool, TIniNameLess> SourceUse;
  std::map<std::string, std::string, TIniNameLess> SourceHost;
  int32_t PaceMs = 2000;
  bool SourceDefaultsApply = false;
};

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

// Full path of "Gleaner.ini" beside the running executable.
std::string SettingsFilePath();

// Reads every section into `set`; returns the search mode (LIKE/LIKESETTING). A missing or
// unreadable file gives the defaults. The saves write each key at once and throw
// EIniWriteError at the first key that cannot be written (keys before it stay written).
bool LoadSettings(TGlobalSet& set, const std::string& path);
void SaveSettings(const TGlobalSet& set, const std::string& path);
void SaveMatchingSettings(const TGlobalSet& set, const std::string& path);
void SavePointWebSettings(const TGlobalSet& set, const std::string& path);
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
