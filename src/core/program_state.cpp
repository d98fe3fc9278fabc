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
    siteIndex_.clear();
    URLList.Clear();
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
  const bool perSite = oneEntryPerSite_.load();
  const std::string site = perSite ? SiteOfAddress(trimmed) : std::string();
  // The test and the append happen under one hold, so two producers can never both add the
  // same address.
  std::lock_guard lock(URLListLock);
  if (URLList.Contains(trimmed)) return false;
  if (perSite && !site.empty() && !siteIndex_.insert(site).second) return false;
  URLList.Append(trimmed, title, description);
  return true;
}

bool TProgramState::HasURL(std::string_view url) const {
  std::string_view trimmed = gbk::TrimView(url);
  std::lock_guard lock(URLListLock);
  return URLList.Contains(trimmed);
}

std::size_t TProgramState::URLCount() const {
  std::lock_guard lock(URLListLock);
  return URLList.Size();
}

TSearchURLResult TProgramState::URLAt(std::size_t index) const {
  std::lock_guard lock(URLListLock);
  return {std::string(URLList.URL(index)), std::string(URLList.Title(index)),
          std::string(URLList.Description(index))};
}

void TProgramState::ReplaceURLList(std::vector<TSearchURLResult> entries) {
  TURLStore list;
  list.Reserve(entries.size());
  for (const auto& e : entries) list.Append(e.URL, e.Title, e.Description);
  std::vector<TSearchURLResult>().swap(entries);
  ReplaceURLList(std::move(list));
}

void TProgramState::ReplaceURLList(TURLStore entries) {
  std::lock_guard lock(URLListLock);
  std::swap(URLList, entries);
  siteIndex_.clear();
  if (oneEntryPerSite_)
    for (std::size_t i = 0; i < URLList.Size(); ++i)
      siteIndex_.insert(SiteOfAddress(URLList.URL(i)));
}

void TProgramState::SetOneEntryPerSite(bool on) {
  std::lock_guard lock(URLListLock);
  oneEntryPerSite_ = on;
  siteIndex_.clear();
  if (on)
    for (std::size_t i = 0; i < URLList.Size(); ++i)
      siteIndex_.insert(SiteOfAddress(URLList.URL(i)));
}

std::vector<TSearchURLResult> TProgramState::CopyURLList() const {
  std::lock_guard lock(URLListLock);
  std::vector<TSearchURLResult> out;
  out.reserve(URLList.Size());
  for (std::size_t i = 0; i < URLList.Size(); ++i)
    out.push_back({std::string(URLList.URL(i)), std::string(URLList.Title(i)),
                   std::string(URLList.Description(i))});
  return out;
}

void TProgramState::VisitURLList(
    const std::function<void(std::string_view, std::string_view, std::string_view)>& visit) const {
  std::lock_guard lock(URLListLock);
  for (std::size_t i = 0; i < URLList.Size(); ++i)
    visit(URLList.URL(i), URLList.Title(i), URLList.Description(i));
}

std::vector<std::string> TProgramState::URLsFrom(std::size_t first) const {
  std::lock_guard lock(URLListLock);
  std::vector<std::string> out;
  for (std::size_t i = first; i < URLList.Size(); ++i) out.emplace_back(URLList.URL(i));
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
