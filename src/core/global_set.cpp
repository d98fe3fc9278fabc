#include "core/global_set.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>

#include "core/gbk.h"

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

// Names of the keys of one section, in file order, as the file spells them.
std::vector<std::string> SectionKeys(const TIniFile& ini, std::string_view section) {
  std::vector<std::string> keys;
  const std::string bytes = ini.Bytes();
  std::string_view rest = bytes;
  bool inSection = false;
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    const std::string_view line = gbk::TrimView(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.starts_with('[')) {
      const std::size_t close = line.find(']');
      inSection =
          close != std::string_view::npos && IniNamesEqual(line.substr(1, close - 1), section);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos || line.starts_with(';')) continue;
    const std::string key = gbk::Trim(line.substr(0, eq));
    if (!key.empty()) keys.push_back(key);
  }
  return keys;
}

// The search sources' sections: read every key they hold, written once a source is named.
void LoadSourceSections(TGlobalSet& set, const TIniFile& ini) {
  set.EngineHost.clear();
  for (const char* key : kEngineHostKeys) {
    auto host = ini.ReadString("ENGINEHOST", key);
    if (host && !host->empty()) set.EngineHost[key] = *host;
  }
  set.SourceUse.clear();
  for (const auto& key : SectionKeys(ini, "SOURCES")) {
    auto text = ini.ReadString("SOURCES", key);
    if (text) set.SourceUse[key] = ParseIniInteger(*text).value_or(0) != 0;
  }
  set.SourceHost.clear();
  for (const auto& key : SectionKeys(ini, "SOURCEHOST")) {
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

std::string SettingsFilePath() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) exe = std::filesystem::current_path() / "veltra";
  return (exe.parent_path() / "Gleaner.ini").string();
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

bool LoadSettings(TGlobalSet& set, const std::string& path) {
  TIniFile ini;
  ini.LoadFile(path);  // missing or unreadable: no keys, so every default applies
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
  return ReadBool(ini, "LIKE", "LIKESETTING", true);
}

void SaveSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path,
               {"MAINLIKE", "SECONDLIKE", "POINTLIKE", "SETTING", "FINDFLAGS", "FLAGUSESEARCH"});
  SaveSourceSections(set, path);
}

void SaveMatchingSettings(const TGlobalSet& set, const std::string& path) {
  SaveSections(set, path, {"MAINLIKE", "SECONDLIKE", "SETTING", "FINDFLAGS"});
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
  return set;
}
