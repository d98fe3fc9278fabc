#include "net/client_settings.h"

#include <algorithm>

void ConfigureClient(THttpClient& client, const TGlobalSet& settings,
                     const char* classicUserAgent) {
  client.SetReadTimeout(settings.MaxReadHTMLTimeOut);
  client.SetDeadline(std::max(settings.PageDeadline, 0) * 1000);
  // The slow-speed window is the read time-out, so a stalled transfer is judged as before.
  const int windowSeconds = std::max(settings.MaxReadHTMLTimeOut / 1000, 1);
  client.SetLowSpeedLimit(std::max(settings.LowSpeedLimit, 0),
                          settings.LowSpeedLimit > 0 ? windowSeconds : 0);
  if (settings.UserAgent.empty()) {
    client.SetUserAgent(classicUserAgent);
    client.SetRequestHeaders(kAcceptClassic, std::string());
  } else {
    client.SetUserAgent(settings.UserAgent);
    client.SetRequestHeaders(kAcceptModern, settings.AcceptLanguage);
  }
  switch (settings.ProxyMode) {
    case 1:
      client.SetProxy(TProxyMode::System);
      break;
    case 2:
      client.SetProxy(TProxyMode::Fixed, settings.ProxyAddress);
      break;
    default:
      client.SetProxy(TProxyMode::Direct);
      break;
  }
  client.SetAcceptBrokenTls(settings.AcceptBrokenTls);
}
