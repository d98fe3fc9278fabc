#pragma once
// The single point where the worker threads read a page.

#include <chrono>
#include <string>

#include "core/log.h"
#include "net/http_client.h"

// One blocking GET on the thread's own client. Empty on any failure (network, time-out,
// status >= 400, too many redirects, Disconnect, body over the cap); otherwise the body as
// GBK: GBK, GB2312 and GB18030 pages byte for byte, other charsets converted. Every fetch
// leaves an entry in the program's log with its address, status, error kind and time.
// With `lease`, the page's room in the page budget is handed over, to be kept while the page
// (and what is made of it) is held; without, it is given back at once.
std::string FetchPage(THttpClient& client, const std::string& url, TPageLease* lease = nullptr);

TFetchErrorKind FetchErrorKindOf(THttpError error);

// The log entry of one finished GET started at `started` (category "fetch").
TLogEntry FetchLogEntry(const std::string& url, const THttpResult& result,
                        std::chrono::steady_clock::time_point started);
