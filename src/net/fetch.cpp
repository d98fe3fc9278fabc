#include "net/fetch.h"

#include "core/charset.h"

std::string FetchPage(THttpClient& client, const std::string& url) {
  THttpResult result = client.Get(url);
  if (!result.Ok) return {};
  return PageToGbk(result.Body, result.ContentType);
}
