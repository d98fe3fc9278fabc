#pragma once
// The one list of search sources: the six classic engines, built in, and the sources read
// from the shipped data file "sources.ini" and the user's "sources.user.ini" (same format;
// an entry of the user's file replaces the shipped one of that name or adds a new one).

#include <string>
#include <string_view>
#include <vector>

#include "core/task_file.h"
#include "engines/search_object.h"

class TGlobalSet;

// How a source's result page is read.
enum class TSourceKind {
  Classic,  // marker rules of the original six engines
  Html,     // XPath rules over libxml2's HTML parser
  Json,     // a meta-search instance's JSON API
};

// How an item's link is turned into the site's own address.
enum class TLinkResolve {
  None,      // the link is the address
  Redirect,  // a tracking link answered by a redirect: read only its Location
  BingCk,    // "/ck/a?...&u=a1<base64url>"
  Uddg,      // "/l/?uddg=<percent-encoded>"
};

struct TSourceDef {
  std::string Name;      // registry, [SOURCES] and task-file name ("BaiduWeb")
  std::string TaskName;  // name in the task file: the classic six's "baidu"..., else Name
  std::string HostKey;   // classic: key of [ENGINEHOST]; else the key of [SOURCEHOST] (Name)
  std::string Caption;   // shown in the dialogs and the status (UTF-8)
  TSourceKind Kind = TSourceKind::Html;
  bool DefaultOn = false;
  bool TGlobalSet::*ClassicFlag = nullptr;  // classic: its FlagUse... field
  const TEngineProfile* Profile = nullptr;  // classic: marker rules

  // Html and Json sources (UTF-8 texts).
  std::string BaseURL;  // scheme://host[:port] of the built-in host
  std::string Path;     // path and query; {q} {start0} {start1} {page0} {page1} {step}
  int32_t PageStep = 10;
  int32_t MaxPages = 0;      // 0: no limit
  std::string Results;       // XPath: one node per result item
  std::string Link;          // XPath relative to an item: its link
  std::string RealLink;      // XPath relative to an item: the real address, when present
  std::string Title;         // XPath relative to an item
  std::string Snippet;       // XPath relative to an item
  std::string Next;          // XPath: the next-page link; empty: page while items come
  std::string NoResults;     // XPath: present on a genuine "nothing found" page
  std::string BlockedXPath;  // XPath: present on a verification page
  std::vector<std::string> BlockedTexts;  // any of these in the page: verification page
  TLinkResolve Resolve = TLinkResolve::None;
  std::string TrackPattern;            // a link containing it is resolved
  std::vector<std::string> SkipHosts;  // items on these hosts (or below) are the engine's own
  std::string SourceFile;              // where the entry came from
  int SourceLine = 0;
};

// A broken data-file entry, skipped: file, line and reason.
struct TSourceMessage {
  std::string File;
  int Line = 0;
  std::string Reason;
  std::string Text() const;
};

class TSourceRegistry {
 public:
  // The classic six only.
  TSourceRegistry();

  // Reads one data file; entries replace those of the same name (classic names are
  // reserved) or are appended. A missing file adds nothing and no message.
  void LoadFile(const std::string& path);
  void LoadText(std::string_view text, const std::string& fileName);

  // The classic six, the shipped data file and the user's file, read once per process.
  static const TSourceRegistry& Default();

  const std::vector<TSourceDef>& Entries() const { return entries_; }
  const TSourceDef* Find(std::string_view name) const;
  const std::vector<TSourceMessage>& Messages() const { return messages_; }

 private:
  std::vector<TSourceDef> entries_;
  std::vector<TSourceMessage> messages_;
};

// An adapter of a run with its registry entry (tests may pair stand-in adapters with
// entries: nothing here looks into the adapter).
struct TEngineEntry {
  TSearchEngineObject* Engine = nullptr;
  const TSourceDef* Def = nullptr;
};
// The adapters whose source the settings switch on, in the given order.
std::vector<TSearchEngineObject*> SelectedEngines(const std::vector<TEngineEntry>& entries,
                                                  const TGlobalSet& settings);

// The task-file names of the entries' adapters.
std::vector<TNamedEngine> NamedEngines(const std::vector<TEngineEntry>& entries);
// Task-file naming of the entries, with the blocked positions of today's sources.
TEngineNaming SourceNaming(const std::vector<TEngineEntry>& entries);

// Whether the settings switch the source on: classic by its FlagUse... field, the others by
// [SOURCES] (a source the file does not name takes the entry's default when the settings
// were read from a file, and is off in settings made in code).
bool SourceEnabled(const TSourceDef& def, const TGlobalSet& settings);
// The host or base URL setting of the source; empty when none is set.
std::string SourceHostSetting(const TSourceDef& def, const TGlobalSet& settings);
