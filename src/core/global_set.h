#pragma once
// The settings record and the "Gleaner.ini" configuration file.

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
};

// Error raised by a save that cannot write a key: "Unable to write to <path>".
class EIniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Full path of "Gleaner.ini" beside the running executable.
std::string SettingsFilePath();

// Reads every section into `set`; returns the search mode (LIKE/LIKESETTING).
bool LoadSettings(TGlobalSet& set, const std::string& path);
void SaveSettings(const TGlobalSet& set, const std::string& path);
void SaveMatchingSettings(const TGlobalSet& set, const std::string& path);
void SavePointWebSettings(const TGlobalSet& set, const std::string& path);
void SaveEngineSettings(const TGlobalSet& set, const std::string& path);
void SaveSearchMode(bool keywordSearch, const std::string& path);

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
