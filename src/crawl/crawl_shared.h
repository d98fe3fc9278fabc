#pragma once
// What the crawl threads of one run share: the per-host request limit, the robots.txt cache,
// the cookies the user brought and the renderer of script-built pages.

#include <memory>

#include "crawl/robots.h"
#include "net/cookie_store.h"
#include "net/host_limiter.h"
#include "net/page_renderer.h"

struct TCrawlShared {
  std::shared_ptr<THostLimiter> Limiter;          // null: no limit
  std::shared_ptr<TRobotsCache> Robots;           // null: robots.txt is not consulted
  std::shared_ptr<const TCookieStore> Cookies{};  // null: none
  TPageRenderer* Renderer = nullptr;              // null: pages are never rendered
};
