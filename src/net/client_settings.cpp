#include "net/client_settings.h"

#include <algorithm>

int64_t PageDeadlineMs(const TGlobalSet& settings) {
  return std::max<int64_t>(settings.PageDeadline, 0) * 1000;
}

void ConfigureClient(THttpClient& client, const TGlobalSet& settings,
                     const char* classicUserAgent) {
  client.SetReadTimeout(settings.MaxReadHTMLTimeOut);
  client.SetDeadline(PageDeadlineMs(settings));
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
  // One budget for the process: the latest settings a thread started with set it.
  TPageBudget::Global().SetLimit(PageBudgetBytes(settings));
}

uint64_t PageBudgetBytes(const TGlobalSet& settings) {
  return static_cast<uint64_t>(std::max(settings.PageMemoryMiB, 0)) << 20;
}
