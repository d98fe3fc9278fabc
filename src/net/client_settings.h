#pragma once
// Applies the network settings to a thread's HTTP client.

#include <cstdint>

#include "core/global_set.h"
#include "net/http_client.h"

// Read time-out, page deadline, low-speed limit, page memory budget, "User-Agent" (an empty setting
// keeps `classicUserAgent` with the classic "Accept" and no "Accept-Language"), proxy and TLS
// checks.
void ConfigureClient(THttpClient& client, const TGlobalSet& settings, const char* classicUserAgent);

// PageMemoryMiB in bytes; 0: no limit.
uint64_t PageBudgetBytes(const TGlobalSet& settings);
// PageDeadline in milliseconds, computed in 64 bits; 0 (none) for 0 or less.
int64_t PageDeadlineMs(const TGlobalSet& settings);
