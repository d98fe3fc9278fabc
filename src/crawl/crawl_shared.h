#pragma once
// What the crawl threads of one run share: the per-host request limit, the robots.txt cache
// and the cookies the user brought.

#include <memory>

#include "crawl/robots.h"
#include "net/cookie_store.h"
#include "net/host_limiter.h"

struct TCrawlShared {
  std::shared_ptr<THostLimiter> Limiter;                  // null: no limit
  std::shared_ptr<TRobotsCache> Robots;                   // null: robots.txt is not consulted
  std::shared_ptr<const TCookieStore> Cookies = nullptr;  // null: none
};
