#pragma once
// What the crawl threads of one run share: the per-host request limit and the robots.txt
// cache.

#include <memory>

#include "crawl/robots.h"
#include "net/host_limiter.h"

struct TCrawlShared {
  std::shared_ptr<THostLimiter> Limiter;  // null: no limit
  std::shared_ptr<TRobotsCache> Robots;   // null: robots.txt is not consulted
};
