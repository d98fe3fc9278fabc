#include "core/program_state.h"

#include "core/gbk.h"
#include "core/site_domain.h"

TProgramState::TProgramState()
    : TaskName(GBK("新任务1")), AppTitle(GBK("Veltra企业名录采集系统")) {}

TProgramState::~TProgramState() = default;

void TProgramState::Reset() {
  RunState = 0;
  SearchText.clear();
  TaskFileName.clear();
  ProcessedURLCount = 0;
  NextURLIndex = 0;
  CrawledAhead.clear();
  DirectoryResumePages.clear();
  ElapsedMs = 0;
  CurrentEngine = nullptr;
  SearchThread = nullptr;
  PointWebThread = nullptr;
  EngineResultOffset = 1;
  EnginePageCount = 0;
  // No thread of a run exists now; the locks only keep the lists' invariants tidy.
  {
    std::lock_guard lock(URLListLock);
    urlIndex_.clear();
    siteIndex_.clear();
    URLList.clear();
  }
  {
    std::lock_guard lock(CompanyListLock);
    CompanyList.clear();
  }
  WorkerSlots.clear();
  EngineList.clear();
}

bool TProgramState::AppendURL(std::string_view url, std::string title, std::string description) {
  std::string_view trimmed = gbk::TrimView(url);
  // Allocated before the lock; the test and the append happen under one hold, so two
  // producers can never both add the same address.
  auto entry = std::make_unique<TSearchURLResult>(
      TSearchURLResult{std::string(trimmed), std::move(title), std::move(description)});
  const bool perSite = oneEntryPerSite_.load();
  const std::string site = perSite ? SiteOfAddress(trimmed) : std::string();
  std::lock_guard lock(URLListLock);
  if (urlIndex_.contains(trimmed)) return false;
  if (perSite && !site.empty() && !siteIndex_.insert(site).second) return false;
  urlIndex_.insert(entry->URL);
  URLList.push_back(std::move(entry));
  return true;
}

bool TProgramState::HasURL(std::string_view url) const {
  std::string_view trimmed = gbk::TrimView(url);
  std::lock_guard lock(URLListLock);
  return urlIndex_.contains(trimmed);
}

std::size_t TProgramState::URLCount() const {
  std::lock_guard lock(URLListLock);
  return URLList.size();
}

TSearchURLResult TProgramState::URLAt(std::size_t index) const {
  std::lock_guard lock(URLListLock);
  return *URLList.at(index);
}

void TProgramState::ReplaceURLList(std::vector<TSearchURLResult> entries) {
  std::vector<std::unique_ptr<TSearchURLResult>> list;
  list.reserve(entries.size());
  for (auto& e : entries) list.push_back(std::make_unique<TSearchURLResult>(std::move(e)));
  std::unordered_set<std::string_view> index;
  // Room to grow: the first appends after loading a task do not rehash the whole index.
  index.reserve(list.size() + list.size() / 2);
  for (const auto& e : list) index.insert(gbk::TrimView(e->URL));
  std::lock_guard lock(URLListLock);
  urlIndex_.swap(index);
  URLList.swap(list);
  siteIndex_.clear();
  if (oneEntryPerSite_)
    for (const auto& e : URLList) siteIndex_.insert(SiteOfAddress(e->URL));
}

void TProgramState::SetOneEntryPerSite(bool on) {
  std::lock_guard lock(URLListLock);
  oneEntryPerSite_ = on;
  siteIndex_.clear();
  if (on)
    for (const auto& e : URLList) siteIndex_.insert(SiteOfAddress(e->URL));
}

std::vector<TSearchURLResult> TProgramState::CopyURLList() const {
  std::lock_guard lock(URLListLock);
  std::vector<TSearchURLResult> out;
  out.reserve(URLList.size());
  for (const auto& e : URLList) out.push_back(*e);
  return out;
}

std::vector<std::string> TProgramState::URLsFrom(std::size_t first) const {
  std::lock_guard lock(URLListLock);
  std::vector<std::string> out;
  for (std::size_t i = first; i < URLList.size(); ++i) out.push_back(URLList[i]->URL);
  return out;
}

void TProgramState::AppendCompany(std::unique_ptr<TCompanyObject> record) {
  if (!record) return;
  std::lock_guard lock(CompanyListLock);
  CompanyList.push_back(std::move(record));
}

std::vector<std::unique_ptr<TCompanyObject>> TProgramState::TakeCompanies() {
  std::vector<std::unique_ptr<TCompanyObject>> out;
  std::lock_guard lock(CompanyListLock);
  out.swap(CompanyList);
  return out;
}

std::size_t TProgramState::CompanyCount() const {
  std::lock_guard lock(CompanyListLock);
  return CompanyList.size();
}
