// Deadlines, low speed, connection reuse, proxies and the fetch log, against local servers.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "local_server.h"
#include "net/client_settings.h"
#include "net/fetch.h"
#include "net/http_client.h"
#include "test_support.h"

using testsupport::LocalServer;
using testsupport::MsSince;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// A bare TCP server on 127.0.0.1: each connection is handed to `serve`, one at a time.
class RawServer {
 public:
  using Serve = std::function<void(int fd, const std::atomic<bool>& stop)>;
  explicit RawServer(Serve serve) : serve_(std::move(serve)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd_, 8);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) continue;
        serve_(c, stop_);
        ::close(c);
      }
    });
  }
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  Serve serve_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Answers with a status line, then one header byte every 100 ms for up to 20 s.
void TrickleHeader(int fd, const std::atomic<bool>& stop) {
  char buf[2048];
  (void)::recv(fd, buf, sizeof buf, 0);
  const std::string start = "HTTP/1.1 200 OK\r\nX-Slow: ";
  ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
  for (int i = 0; i < 200 && !stop.load(); ++i) {
    if (::send(fd, "a", 1, MSG_NOSIGNAL) != 1) return;
    std::this_thread::sleep_for(100ms);
  }
}

LocalServer::Handler TrickleBody() {
  return [](const httplib::Request&, httplib::Response& res) {
    auto sent = std::make_shared<int>(0);
    res.set_chunked_content_provider("application/octet-stream",
                                     [sent](std::size_t, httplib::DataSink& sink) {
                                       if (++*sent > 200) return false;
                                       std::this_thread::sleep_for(100ms);
                                       sink.write("x", 1);
                                       return true;
                                     });
  };
}

}  // namespace

TEST(FetchLimits, TricklingHeadersAndBodiesEndAtTheDeadlineOrTheLowSpeedLimit) {
  RawServer header(TrickleHeader);
  LocalServer body;
  body.Handle("/slow", TrickleBody());

  THttpClient client;
  client.SetReadTimeout(5000);  // every byte is well within the idle time-out
  client.SetDeadline(1500);
  for (const std::string& url : {header.Url(), body.Url("/slow")}) {
    const auto start = Clock::now();
    const THttpResult r = client.Get(url);
    EXPECT_EQ(r.Error, THttpError::Timeout) << url;
    EXPECT_GE(MsSince(start), 1400) << url;
    EXPECT_LT(MsSince(start), 3000) << url;
  }

  // Without a deadline, 10 bytes a second are under a limit of 1000 bytes a second.
  client.SetDeadline(0);
  client.SetLowSpeedLimit(1000, 1);
  const auto start = Clock::now();
  EXPECT_EQ(client.Get(body.Url("/slow")).Error, THttpError::Timeout);
  EXPECT_LT(MsSince(start), 4000);
}

TEST(FetchLimits, PagesOfOneHostShareOneConnection) {
  LocalServer server;
  std::mutex mutex;
  std::set<int> ports;
  server.Handle("*", [&](const httplib::Request& req, httplib::Response& res) {
    {
      std::lock_guard lock(mutex);
      ports.insert(req.remote_port);
    }
    res.set_content("<html>page</html>", "text/html");
  });
  THttpClient client;
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(client.Get(server.Url("www.a.localhost", "/p" + std::to_string(i))).Ok);
  std::lock_guard lock(mutex);
  EXPECT_EQ(ports.size(), 1u);
}

TEST(FetchLimits, TheProxyVariablesAreUsedOnlyWhenAskedFor) {
  LocalServer proxy;
  std::mutex mutex;
  std::string seenTarget;
  proxy.Handle("*", [&](const httplib::Request& req, httplib::Response& res) {
    {
      std::lock_guard lock(mutex);
      seenTarget = req.target;
    }
    res.set_content("via proxy", "text/plain");
  });
  // Only the local proxy ever sees this address: with a proxy, curl resolves no target.
  const std::string far = "http://www.far.example/page";
  // Port 1 of a loopback name: nobody answers there.
  const std::string local = "http://www.near.localhost:1/page";
  ::setenv("http_proxy", proxy.Url("/").c_str(), 1);

  THttpClient client;
  client.SetReadTimeout(3000);
  client.SetProxy(TProxyMode::System);
  const THttpResult r = client.Get(far);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Body, "via proxy");
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(seenTarget, far);
  }
  // Loopback sites never go through a proxy.
  EXPECT_EQ(client.Get(local).Error, THttpError::Connect);
  ::unsetenv("http_proxy");

  client.SetProxy(TProxyMode::Fixed, proxy.Url("/"));
  EXPECT_TRUE(client.Get(far).Ok);
}

TEST(FetchLimits, EveryFetchIsLoggedWithAddressStatusKindAndTime) {
  LocalServer server;
  server.Serve("", "/ok", "<html>ok</html>");
  server.Serve("", "/gone", "gone", "text/html", 404);
  THttpClient client;
  const uint64_t before = TLog::Global().LastSeq();
  FetchPage(client, server.Url("/ok"));
  FetchPage(client, server.Url("/gone"));
  client.Disconnect();
  FetchPage(client, server.Url("/ok"));

  std::vector<TLogEntry> fetches;
  for (TLogEntry& e : TLog::Global().Since(before))
    if (e.Category == "fetch") fetches.push_back(std::move(e));
  ASSERT_EQ(fetches.size(), 3u);
  EXPECT_EQ(fetches[0].Url, server.Url("/ok"));
  EXPECT_EQ(fetches[0].Site, "127.0.0.1");
  EXPECT_EQ(fetches[0].Status, 200);
  EXPECT_EQ(fetches[0].Error, TFetchErrorKind::None);
  EXPECT_GE(fetches[0].ElapsedMs, 0);
  EXPECT_EQ(fetches[1].Status, 404);
  EXPECT_EQ(fetches[1].Error, TFetchErrorKind::HttpStatus);
  EXPECT_EQ(fetches[1].Level, TLogLevel::Warning);
  EXPECT_EQ(fetches[2].Error, TFetchErrorKind::Stopped);
}

TEST(FetchLimits, PageBudgetMakesBodiesWaitForRoomAndStopEndsTheWait) {
  constexpr std::size_t kKiB = 1024;
  LocalServer server;
  server.Serve("", "/big", std::string(600 * kKiB, 'a'), "application/octet-stream");
  // No length announced: the room is taken as the body grows.
  server.Handle("/chunked", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream",
                                     [](std::size_t offset, httplib::DataSink& sink) {
                                       if (offset >= 600 * kKiB) {
                                         sink.done();
                                         return true;
                                       }
                                       const std::string block(64 * kKiB, 'c');
                                       return sink.write(block.data(), block.size());
                                     });
  });
  TPageBudget budget(1024 * kKiB);

  // Four bodies of 600 KiB at once: one at a time fits, each kept while it is used.
  std::vector<std::thread> readers;
  std::atomic<int> ok{0};
  for (int i = 0; i < 4; ++i)
    readers.emplace_back([&] {
      THttpClient client;
      client.SetPageBudget(&budget, 1);
      const THttpResult r = client.Get(server.Url("/big"));
      if (r.Ok && r.Lease.Bytes() == r.Body.size()) ++ok;
      std::this_thread::sleep_for(50ms);  // "analysing" while the room is held
    });
  for (auto& t : readers) t.join();
  EXPECT_EQ(ok.load(), 4);
  EXPECT_EQ(budget.PeakHeld(), 600 * kKiB);
  EXPECT_EQ(budget.Held(), 0u);

  // With 700 KiB held elsewhere, a body of unknown length gets no room to grow into: it
  // fails at once instead of waiting while it holds room itself.
  const std::atomic<bool> never{false};
  ASSERT_TRUE(budget.Acquire(700 * kKiB, never));
  TPageLease held(&budget, 700 * kKiB);
  THttpClient client;
  client.SetPageBudget(&budget, 1);
  EXPECT_EQ(client.Get(server.Url("/chunked")).Error, THttpError::TooLarge);
  EXPECT_EQ(budget.Held(), 700 * kKiB);

  // A body waiting for room ends at once when stopped.
  THttpResult waited;
  std::thread reader([&] { waited = client.Get(server.Url("/big")); });
  std::this_thread::sleep_for(300ms);
  const auto stopAt = Clock::now();
  client.Disconnect();
  reader.join();
  EXPECT_EQ(waited.Error, THttpError::Stopped);
  EXPECT_LT(MsSince(stopAt), 200);
  held.Reset();
  EXPECT_TRUE(client.Get(server.Url("/big")).Ok);  // the stop was used up
  EXPECT_EQ(budget.Held(), 0u);
}

TEST(FetchLimits, HugeTimeAndSizeSettingsAreComputedWithoutOverflow) {
  TGlobalSet set = FactoryGlobalSet();
  set.PageDeadline = 2147483647;
  set.PageMemoryMiB = 2147483647;
  EXPECT_EQ(PageDeadlineMs(set), 2147483647000LL);
  EXPECT_EQ(PageBudgetBytes(set), uint64_t{2147483647} << 20);
  THttpClient client;
  ConfigureClient(client, set, kUserAgentDefault);
  EXPECT_EQ(client.Deadline(), 2147483647000LL);
  set.PageMemoryMiB = 256;
  ConfigureClient(client, set, kUserAgentDefault);
  EXPECT_EQ(TPageBudget::Global().Limit(), uint64_t{256} << 20);
}
