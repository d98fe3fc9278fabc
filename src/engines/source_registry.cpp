#include "engines/source_registry.h"

#include <libxml/xpath.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>

#include "core/data_files.h"
#include "core/file_read.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/ini_file.h"
#include "core/log.h"
#include "engines/engine_set.h"

namespace {

TSourceDef ClassicDef(const char* name, const char* caption, bool TGlobalSet::*flag,
                      const TEngineProfile& profile) {
  TSourceDef d;
  d.Name = name;
  d.TaskName = profile.Name;
  d.HostKey = profile.HostKey;
  d.Caption = caption;
  d.Kind = TSourceKind::Classic;
  d.DefaultOn = true;
  d.ClassicFlag = flag;
  d.Profile = &profile;
  d.PageStep = profile.PageStep;
  d.BaseURL = "http://" + profile.DefaultHost;
  return d;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::vector<std::string> SplitOn(std::string_view text, char sep) {
  std::vector<std::string> parts;
  while (!text.empty()) {
    const std::size_t p = text.find(sep);
    const std::string_view part = Trimmed(text.substr(0, p));
    if (!part.empty()) parts.emplace_back(part);
    if (p == std::string_view::npos) break;
    text.remove_prefix(p + 1);
  }
  return parts;
}

void SilentXmlError(void*, const char*, ...) {}

bool CompilesAsXPath(const std::string& expr) {
  if (expr.empty()) return true;
  // Compile errors go to libxml2's generic handler; a silent one keeps the output clean.
  xmlSetGenericErrorFunc(nullptr, SilentXmlError);
  xmlXPathCompExprPtr comp = xmlXPathCompile(reinterpret_cast<const xmlChar*>(expr.c_str()));
  if (!comp) return false;
  xmlXPathFreeCompExpr(comp);
  return true;
}

bool ValidBase(std::string_view base) {
  std::string_view rest;
  if (base.starts_with("http://"))
    rest = base.substr(7);
  else if (base.starts_with("https://"))
    rest = base.substr(8);
  else
    return false;
  return !rest.empty() && rest.find_first_of("/?# ") == std::string_view::npos;
}

// One "[Name]" section being read, with the line of its header.
struct TPending {
  TSourceDef Def;
  std::map<std::string, std::string> Values;
  std::map<std::string, int> Lines;
  std::string Error;
  int ErrorLine = 0;
};

void Fail(TPending& p, int line, std::string reason) {
  if (!p.Error.empty()) return;
  p.Error = std::move(reason);
  p.ErrorLine = line;
}

// Checks and converts the keys of one entry; the first problem names its line.
void Complete(TPending& p) {
  TSourceDef& d = p.Def;
  auto value = [&](const char* key) -> std::string {
    auto it = p.Values.find(key);
    return it == p.Values.end() ? std::string() : it->second;
  };
  auto lineOf = [&](const char* key) {
    auto it = p.Lines.find(key);
    return it == p.Lines.end() ? d.SourceLine : it->second;
  };
  auto number = [&](const char* key, int32_t fallback, int32_t min, int32_t max) {
    const std::string text = value(key);
    if (text.empty()) return fallback;
    int32_t n = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || ptr != text.data() + text.size() || n < min || n > max) {
      Fail(p, lineOf(key),
           key + std::string(" must be a number from ") + std::to_string(min) + " to " +
               std::to_string(max));
      return fallback;
    }
    return n;
  };

  const std::string kind = value("kind");
  if (kind == "html" || kind.empty())
    d.Kind = TSourceKind::Html;
  else if (kind == "json")
    d.Kind = TSourceKind::Json;
  else
    Fail(p, lineOf("kind"), "kind must be html or json");

  d.Caption = value("caption").empty() ? d.Name : value("caption");
  d.BaseURL = value("base");
  while (d.BaseURL.ends_with('/')) d.BaseURL.pop_back();
  if (!d.BaseURL.empty() && !ValidBase(d.BaseURL))
    Fail(p, lineOf("base"), "base must be http:// or https:// and a host, without a path");
  d.Path = value("path");
  if (d.Path.empty() || d.Path.front() != '/' || d.Path.find("{q}") == std::string::npos)
    Fail(p, lineOf("path"), "path must start with / and contain {q}");
  d.PageStep = number("step", 10, 1, 1000);
  d.MaxPages = number("pages", 0, 0, 1000);
  const std::string on = value("default");
  if (on != "" && on != "0" && on != "1") Fail(p, lineOf("default"), "default must be 0 or 1");
  d.DefaultOn = on == "1";

  d.Results = value("results");
  d.Link = value("link");
  d.RealLink = value("real");
  d.Title = value("title");
  d.Snippet = value("snippet");
  d.Next = value("next");
  d.NoResults = value("noresults");
  d.BlockedXPath = value("blocked_xpath");
  d.BlockedTexts = SplitOn(value("blocked"), '|');
  d.SkipHosts = SplitOn(value("skip_hosts"), ' ');
  d.TrackPattern = value("track");
  const std::string resolve = value("resolve");
  if (resolve.empty() || resolve == "none")
    d.Resolve = TLinkResolve::None;
  else if (resolve == "redirect")
    d.Resolve = TLinkResolve::Redirect;
  else if (resolve == "bing")
    d.Resolve = TLinkResolve::BingCk;
  else if (resolve == "uddg")
    d.Resolve = TLinkResolve::Uddg;
  else
    Fail(p, lineOf("resolve"), "resolve must be none, redirect, bing or uddg");

  if (d.Kind == TSourceKind::Html) {
    if (d.Results.empty()) Fail(p, d.SourceLine, "an html source needs results");
    if (d.Link.empty()) Fail(p, d.SourceLine, "an html source needs link");
    for (const char* key :
         {"results", "link", "real", "title", "snippet", "next", "noresults", "blocked_xpath"}) {
      if (!CompilesAsXPath(value(key))) Fail(p, lineOf(key), std::string("bad XPath in ") + key);
    }
  }
}

const std::map<std::string, int>& KnownKeys() {
  static const std::map<std::string, int> keys = {
      {"caption", 0}, {"kind", 0},    {"base", 0},       {"path", 0},          {"step", 0},
      {"pages", 0},   {"default", 0}, {"results", 0},    {"link", 0},          {"real", 0},
      {"title", 0},   {"snippet", 0}, {"next", 0},       {"noresults", 0},     {"blocked", 0},
      {"track", 0},   {"resolve", 0}, {"skip_hosts", 0}, {"blocked_xpath", 0},
  };
  return keys;
}

}  // namespace

std::string TSourceMessage::Text() const {
  return File + ":" + std::to_string(Line) + ": " + Reason;
}

TSourceRegistry::TSourceRegistry() {
  entries_ = {
      ClassicDef("Sina", "新浪", &TGlobalSet::FlagUseSina, SinaProfile()),
      ClassicDef("Sohu", "搜狐", &TGlobalSet::FlagUseSohu, SohuProfile()),
      ClassicDef("Yahoo", "中文雅虎", &TGlobalSet::FlagUseYahoo, YahooProfile()),
      ClassicDef("Google", "中文google", &TGlobalSet::FlagUseGoogle, GoogleProfile()),
      ClassicDef("163", "网易163", &TGlobalSet::FlagUse163, Profile163()),
      ClassicDef("Baidu", "百度", &TGlobalSet::FlagUseBaidu, BaiduProfile()),
  };
}

void TSourceRegistry::LoadFile(const std::string& path) {
  std::string text;
  if (ReadFileCapped(path, kIniMaxFileBytes, text).Status != TFileReadStatus::Ok) return;
  LoadText(text, path);
}

void TSourceRegistry::LoadText(std::string_view text, const std::string& fileName) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark
  std::vector<TPending> read;
  TPending* current = nullptr;
  int lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    const std::size_t eol = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      read.emplace_back();
      current = &read.back();
      current->Def.SourceFile = fileName;
      current->Def.SourceLine = lineNo;
      if (line.back() != ']' || Trimmed(line.substr(1, line.size() - 2)).empty()) {
        Fail(*current, lineNo, "a section header is [Name]");
        continue;
      }
      current->Def.Name = std::string(Trimmed(line.substr(1, line.size() - 2)));
      current->Def.TaskName = current->Def.Name;
      current->Def.HostKey = current->Def.Name;
      for (char c : current->Def.Name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
          Fail(*current, lineNo, "a source name has only letters, digits, _ and -");
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!current) {
      messages_.push_back({fileName, lineNo, "a key before the first [Name]"});
      continue;
    }
    if (eq == std::string_view::npos) {
      Fail(*current, lineNo, "a line is key = value");
      continue;
    }
    const std::string key(Trimmed(line.substr(0, eq)));
    if (!KnownKeys().contains(key)) {
      Fail(*current, lineNo, "unknown key " + key);
      continue;
    }
    current->Values[key] = std::string(Trimmed(line.substr(eq + 1)));
    current->Lines[key] = lineNo;
  }

  for (TPending& p : read) {
    if (p.Error.empty()) Complete(p);
    const TSourceDef* existing = Find(p.Def.Name);
    if (p.Error.empty() && existing && existing->Kind == TSourceKind::Classic)
      Fail(p, p.Def.SourceLine, "the name " + p.Def.Name + " is a built-in engine");
    if (!p.Error.empty()) {
      messages_.push_back({fileName, p.ErrorLine,
                           p.Def.Name.empty() ? p.Error : "[" + p.Def.Name + "] " + p.Error});
      continue;
    }
    bool replaced = false;
    for (TSourceDef& e : entries_) {
      if (e.Name == p.Def.Name) {
        e = p.Def;
        replaced = true;
      }
    }
    if (!replaced) entries_.push_back(std::move(p.Def));
  }
}

const TSourceDef* TSourceRegistry::Find(std::string_view name) const {
  for (const auto& e : entries_)
    if (e.Name == name) return &e;
  return nullptr;
}

const TSourceRegistry& TSourceRegistry::Default() {
  static const TSourceRegistry registry = [] {
    TSourceRegistry r;
    if (auto shipped = FindDataFile("sources.ini")) r.LoadFile(*shipped);
    const auto user = std::filesystem::path(SettingsFilePath()).parent_path() / "sources.user.ini";
    r.LoadFile(user.string());
    for (const auto& m : r.Messages())
      TLog::Global().Write(TLogLevel::Warning, "settings", "search source skipped: " + m.Text());
    return r;
  }();
  return registry;
}

std::vector<TSearchEngineObject*> SelectedEngines(const std::vector<TEngineEntry>& entries,
                                                  const TGlobalSet& settings) {
  std::vector<TSearchEngineObject*> list;
  for (const auto& e : entries)
    if (e.Engine && e.Def && SourceEnabled(*e.Def, settings)) list.push_back(e.Engine);
  return list;
}

std::vector<TNamedEngine> NamedEngines(const std::vector<TEngineEntry>& entries) {
  std::vector<TNamedEngine> named;
  for (const auto& e : entries)
    if (e.Engine && e.Def) named.push_back({e.Engine, e.Def->TaskName});
  return named;
}

TEngineNaming SourceNaming(const std::vector<TEngineEntry>& entries) {
  TEngineNaming naming = EngineNamingFor(NamedEngines(entries));
  std::vector<TEngineEntry> web;
  for (const auto& e : entries)
    if (e.Engine && e.Def && e.Def->Kind != TSourceKind::Classic) web.push_back(e);
  naming.Blocked = [web] {
    std::vector<TBlockedSource> blocked;
    for (const auto& e : web) {
      const int32_t offset = e.Engine->BlockedOffset.load();
      if (offset > 0) blocked.push_back({e.Def->TaskName, offset, e.Engine->BlockedPages.load()});
    }
    return blocked;
  };
  naming.RestoreBlocked = [web](const std::vector<TBlockedSource>& blocked) {
    for (const auto& e : web) {
      e.Engine->ClearRunStatus();
      for (const auto& b : blocked) {
        if (b.Name != e.Def->TaskName || b.ResultOffset <= 0) continue;
        e.Engine->BlockedOffset = b.ResultOffset;
        e.Engine->BlockedPages = std::max(0, b.PageCount);
        e.Engine->State = TSourceState::Blocked;
        // The page that blocked is not kept; the source's own address is where to start.
        e.Engine->SetVerifyURL(e.Engine->HomeURL());
      }
    }
  };
  return naming;
}

bool SourceEnabled(const TSourceDef& def, const TGlobalSet& settings) {
  if (def.ClassicFlag) return settings.*def.ClassicFlag;
  const auto it = settings.SourceUse.find(def.Name);
  if (it != settings.SourceUse.end()) return it->second;
  return settings.SourceDefaultsApply && def.DefaultOn;
}

std::string SourceHostSetting(const TSourceDef& def, const TGlobalSet& settings) {
  if (def.Kind == TSourceKind::Classic) {
    for (const auto& [key, value] : settings.EngineHost)
      if (IniNamesEqual(key, def.HostKey)) return gbk::Trim(value);
    return {};
  }
  const auto it = settings.SourceHost.find(def.HostKey);
  return it == settings.SourceHost.end() ? std::string() : gbk::Trim(it->second);
}
