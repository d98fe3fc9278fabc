#pragma once
// The state of the current task and its run, shared by the GUI thread and the workers.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/url_store.h"

class TSearchEngineObject;
class TDoSearchThread;
class TSearchPointWebThread;
class TFindWebThead;

// One harvested site address with the title and description its source showed.
struct TSearchURLResult {
  std::string URL;
  std::string Title;
  std::string Description;
};

// One found contact record on its way to the window.
struct TCompanyObject {
  std::string CompanyName;
  std::string WebAddress;
  std::string Address;
  std::string PostCode;
  std::string Telephone;
  std::string Fax;
  std::string Email;
  std::string Description;
};

class TProgramState {
 public:
  TProgramState();
  ~TProgramState();
  TProgramState(const TProgramState&) = delete;
  TProgramState& operator=(const TProgramState&) = delete;

  // Prepares for a new run or task; called only while no thread of a run exists.
  void Reset();

  // URL list. The duplicate test compares trimmed addresses exactly (case counts).
  // Appends unless an equal address is present; returns whether it was appended.
  bool AppendURL(std::string_view url, std::string title, std::string description);
  // One entry per site: an address whose site (registrable domain and port) already has an
  // entry is not appended either; the first address of a site is kept. Set by run control
  // before the producer starts; turning it on indexes the entries already listed.
  void SetOneEntryPerSite(bool on);
  bool HasURL(std::string_view url) const;
  std::size_t URLCount() const;
  TSearchURLResult URLAt(std::size_t index) const;  // a copy, taken under the lock
  // Replaces the whole list (task file loading); duplicates are kept as stored.
  void ReplaceURLList(std::vector<TSearchURLResult> entries);
  void ReplaceURLList(TURLStore entries);
  std::vector<TSearchURLResult> CopyURLList() const;
  // Calls `visit` with every entry in order, under the list's lock (appends wait meanwhile).
  void VisitURLList(const std::function<void(std::string_view url, std::string_view title,
                                             std::string_view description)>& visit) const;
  // Addresses of the entries from index `first` on (the URL bar's new lines).
  std::vector<std::string> URLsFrom(std::size_t first) const;

  // Company list: workers append, the GUI thread drains.
  void AppendCompany(std::unique_ptr<TCompanyObject> record);
  std::vector<std::unique_ptr<TCompanyObject>> TakeCompanies();
  std::size_t CompanyCount() const;

  int32_t RunState = 0;
  std::string TaskName;
  std::string TaskFileName;
  std::string AppTitle;
  std::string SearchText;
  int32_t SearchMode = 0;
  int32_t ProcessedURLCount = 0;
  int32_t NextURLIndex = 0;
  // URL list indices at or after the resume point whose sites are already crawled (finished
  // out of order before a stop or a save); a continued run skips them. GUI thread only.
  std::set<int32_t> CrawledAhead;
  // Written by the search thread without a lock; read by the GUI thread when saving.
  std::atomic<TSearchEngineObject*> CurrentEngine{nullptr};
  std::atomic<int32_t> EngineResultOffset{1};
  std::atomic<int32_t> EnginePageCount{0};
  // Directory pages a directory walk starts from instead of its start address (a walk taken
  // over from another machine); empty for a walk from the start. GUI thread, before the start.
  std::vector<std::string> DirectoryResumePages;
  TDoSearchThread* SearchThread = nullptr;
  TSearchPointWebThread* PointWebThread = nullptr;
  std::vector<TFindWebThead*> WorkerSlots;
  std::vector<TSearchEngineObject*> EngineList;
  uint32_t ElapsedMs = 0;
  uint32_t LastTick = 0;
  bool Modified = false;

 private:
  mutable std::mutex URLListLock;
  TURLStore URLList;  // indexed by trimmed address
  std::atomic<bool> oneEntryPerSite_{false};
  std::unordered_set<std::string> siteIndex_;  // sites of the entries while oneEntryPerSite_
  mutable std::mutex CompanyListLock;
  std::vector<std::unique_ptr<TCompanyObject>> CompanyList;
};
