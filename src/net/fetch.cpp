#include "net/fetch.h"

#include <chrono>

#include "core/charset.h"
#include "core/gbk.h"

TFetchErrorKind FetchErrorKindOf(THttpError error) {
  switch (error) {
    case THttpError::None:
      return TFetchErrorKind::None;
    case THttpError::BadUrl:
      return TFetchErrorKind::BadUrl;
    case THttpError::Network:
      return TFetchErrorKind::Network;
    case THttpError::Dns:
      return TFetchErrorKind::Dns;
    case THttpError::Connect:
      return TFetchErrorKind::Connect;
    case THttpError::Tls:
      return TFetchErrorKind::Tls;
    case THttpError::Timeout:
      return TFetchErrorKind::Timeout;
    case THttpError::HttpStatus:
      return TFetchErrorKind::HttpStatus;
    case THttpError::TooManyRedirects:
      return TFetchErrorKind::TooManyRedirects;
    case THttpError::TooLarge:
      return TFetchErrorKind::TooLarge;
    case THttpError::Stopped:
      return TFetchErrorKind::Stopped;
  }
  return TFetchErrorKind::Network;
}

TLogEntry FetchLogEntry(const std::string& url, const THttpResult& result,
                        std::chrono::steady_clock::time_point started) {
  TLogEntry entry;
  entry.Category = "fetch";
  entry.Url = gbk::ToUtf8(url);  // addresses are GBK, the log is UTF-8
  entry.Status = result.Status;
  entry.Error = FetchErrorKindOf(result.Error);
  entry.ElapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
  if (result.Ok) {
    entry.Level = TLogLevel::Debug;
    entry.Message = std::to_string(result.Body.size()) + " bytes";
    if (result.Url != url) entry.Message += " from " + gbk::ToUtf8(result.Url);
  } else {
    // A stop is asked for, not a fault of the site.
    entry.Level = result.Error == THttpError::Stopped ? TLogLevel::Debug : TLogLevel::Warning;
    entry.Message = result.ErrorText.empty() ? FetchErrorKindName(entry.Error) : result.ErrorText;
  }
  return entry;
}

std::string FetchPage(THttpClient& client, const std::string& url, TPageLease* lease) {
  const auto started = std::chrono::steady_clock::now();
  THttpResult result = client.Get(url);
  TLog::Global().Add(FetchLogEntry(url, result, started));
  if (!result.Ok) return {};
  std::string page = PageToGbk(result.Body, result.ContentType);
  if (lease) *lease = std::move(result.Lease);
  return page;
}
