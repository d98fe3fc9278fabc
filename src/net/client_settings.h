#pragma once
// Applies the network settings to a thread's HTTP client.

#include "core/global_set.h"
#include "net/http_client.h"

// Read time-out, page deadline, low-speed limit, "User-Agent" (an empty setting keeps
// `classicUserAgent` with the classic "Accept" and no "Accept-Language"), proxy and TLS checks.
void ConfigureClient(THttpClient& client, const TGlobalSet& settings, const char* classicUserAgent);
