#pragma once
// A search source of the demo web that asks for verification the way real engines do, and
// can be passed by hand: after a number of result pages, every result page requested without
// the pass cookie is a verification page whose button sets that cookie and loads the page
// again, which then shows the results. Requests carrying the cookie always get results.

#include <atomic>
#include <optional>
#include <string>

#include "demo_web.h"

namespace demoweb {

class TDemoVerifyGate {
 public:
  static constexpr const char* kCookieName = "demo_verified";
  static constexpr const char* kCookieValue = "passed";

  // `source` is one of kSourceNames (std::invalid_argument otherwise); `freePages` result
  // pages are answered without the cookie before the verification starts.
  TDemoVerifyGate(const std::string& source, int freePages);

  // The verification page when the request must pass it first; none when it goes on to the
  // source. `cookieHeader` is the request's Cookie header.
  std::optional<TDemoResponse> Check(const std::string& host, const std::string& path,
                                     const std::string& cookieHeader);

  const std::string& Host() const { return host_; }
  // Verification pages served so far, and result pages let through with the cookie.
  int Refused() const { return refused_.load(); }
  int Passed() const { return passed_.load(); }

 private:
  std::string host_;
  std::string path_;
  int freePages_;
  std::atomic<int> freeSeen_{0};
  std::atomic<int> refused_{0};
  std::atomic<int> passed_{0};
};

}  // namespace demoweb
