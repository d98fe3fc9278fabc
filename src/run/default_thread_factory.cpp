#include "run/default_thread_factory.h"

#include "core/global_set.h"
#include "crawl/find_web_thread.h"
#include "crawl/search_point_web_thread.h"
#include "engines/do_search_thread.h"
#include "engines/engine_set.h"

void TDefaultThreadFactory::RunStarted() {
  const auto set = settings_.Snapshot();
  shared_.Limiter =
      set->HostRequestLimit > 0 ? std::make_shared<THostLimiter>(set->HostRequestLimit) : nullptr;
  shared_.Robots = set->UseRobotsTxt ? std::make_shared<TRobotsCache>() : nullptr;
  shared_.Renderer = set->RenderScripts > 0 ? renderer_ : nullptr;
}

std::unique_ptr<TWorkerThread> TDefaultThreadFactory::CreateCrawlWorker(
    const TSearchURLResult& entry) {
  return std::make_unique<TFindWebThead>(state_, settings_, entry.URL, entry.Title,
                                         entry.Description, shared_);
}

std::unique_ptr<TWorkerThread> TDefaultThreadFactory::CreateSearchThread() {
  auto thread = std::make_unique<TDoSearchThread>(state_, settings_.Snapshot(), engines_, store_);
  thread->SetCookieStore(shared_.Cookies);
  return thread;
}

std::unique_ptr<TWorkerThread> TDefaultThreadFactory::CreatePointWebThread() {
  return std::make_unique<TSearchPointWebThread>(state_, settings_, shared_, store_);
}
