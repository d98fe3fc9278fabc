#include "net/http_client.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "local_server.h"
#include "test_support.h"

using testsupport::G;
using testsupport::LocalServer;
using testsupport::MsSince;
using testsupport::SilentServer;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::string Gzip(const std::string& data) {
  z_stream zs{};
  deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, data.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Sends `pieces` chunks of `piece`, pausing `pause` between two chunks.
LocalServer::Handler Trickle(std::string piece, int pieces, std::chrono::milliseconds pause) {
  return [=](const httplib::Request&, httplib::Response& res) {
    auto sent = std::make_shared<int>(0);
    res.set_chunked_content_provider("application/octet-stream",
                                     [=](std::size_t, httplib::DataSink& sink) {
                                       if (*sent > 0) std::this_thread::sleep_for(pause);
                                       if (*sent == pieces) {
                                         sink.done();
                                       } else {
                                         ++*sent;
                                         sink.write(piece.data(), piece.size());
                                       }
                                       return true;
                                     });
  };
}

}  // namespace

TEST(HttpClient, PlainGetReturnsBodyAndContentType) {
  LocalServer server;
  server.Serve("", "/page", "<html>hello</html>", "text/html; charset=utf-8");
  THttpClient client;
  THttpResult r = client.Get(server.Url("/page"));
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Status, 200);
  EXPECT_EQ(r.Body, "<html>hello</html>");
  EXPECT_EQ(r.ContentType, "text/html; charset=utf-8");
}

TEST(HttpClient, SendsUserAgentAcceptAndHttp11) {
  LocalServer server;
  server.Serve("", "/", "x");
  THttpClient client;
  EXPECT_EQ(client.UserAgent(), "Mozilla/3.0 (compatible; Indy Library)");
  for (const char* ua : {kUserAgentDefault, kUserAgentDirectory, kUserAgentSearch}) {
    client.SetUserAgent(ua);
    ASSERT_TRUE(client.Get(server.Url("/")).Ok);
  }
  auto seen = server.Requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(seen[1].Header("User-Agent"), "Mozilla/3.0 (compatible;MSIE5.00;windows2000)");
  EXPECT_EQ(seen[2].Header("User-Agent"), "Mozilla/4.0(compatible;MSIE 5.01;Windows NT 5.0)");
  for (const auto& req : seen) {
    EXPECT_EQ(req.Header("Accept"), "text/html, */*");
    EXPECT_EQ(req.Header("Cookie"), "");
  }
}

TEST(HttpClient, DistinctLocalhostSitesAreServedSeparately) {
  LocalServer server;
  server.Serve("www.a.localhost", "/", "site a");
  server.Serve("www.b.localhost", "/", "site b");
  THttpClient client;
  EXPECT_EQ(client.Get(server.Url("www.a.localhost", "/")).Body, "site a");
  EXPECT_EQ(client.Get(server.Url("www.b.localhost", "/")).Body, "site b");
  EXPECT_FALSE(client.Get(server.Url("www.c.localhost", "/")).Ok);
}

TEST(HttpClient, ErrorStatusFailsEvenWithBody) {
  LocalServer server;
  server.Serve("", "/missing", "<html><body>custom 404 page</body></html>", "text/html", 404);
  server.Serve("", "/broken", "<html>oops</html>", "text/html", 500);
  THttpClient client;
  THttpResult r = client.Get(server.Url("/missing"));
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Error, THttpError::HttpStatus);
  EXPECT_EQ(r.Status, 404);
  EXPECT_TRUE(r.Body.empty());
  EXPECT_EQ(client.Get(server.Url("/broken")).Error, THttpError::HttpStatus);
  // The client is still usable afterwards.
  server.Serve("", "/ok", "fine");
  EXPECT_EQ(client.Get(server.Url("/ok")).Body, "fine");
}

TEST(HttpClient, ConnectionFailuresAndBadAddressesFail) {
  THttpClient client;
  client.SetReadTimeout(2000);
  int freePort;
  {
    LocalServer gone;
    freePort = gone.Port();
  }
  EXPECT_EQ(client.Get("http://127.0.0.1:" + std::to_string(freePort) + "/").Error,
            THttpError::Connect);
  EXPECT_FALSE(client.Get("no scheme or host").Ok);
  EXPECT_FALSE(client.Get("").Ok);
  EXPECT_EQ(client.Get("file:///etc/passwd").Error, THttpError::BadUrl);
  EXPECT_EQ(client.Get("ftp://127.0.0.1/").Error, THttpError::BadUrl);
}

TEST(HttpClient, RedirectChainReportsEveryHopBeforeFollowing) {
  LocalServer server;
  const std::string start = server.Url("www.a.localhost", "/start");
  server.Redirect("www.a.localhost", "/start", "/hop1");         // root-relative
  server.Redirect("www.a.localhost", "/hop1", "dir/hop2", 301);  // relative to the document
  server.Redirect("www.a.localhost", "/dir/hop2", server.Url("www.b.localhost", "/end"), 307);
  server.Serve("www.b.localhost", "/end", "arrived");

  THttpClient client;
  std::vector<std::string> hops;
  std::vector<std::size_t> requestsSeenAtHop;
  client.SetRedirectHandler([&](const std::string& target) {
    hops.push_back(target);
    requestsSeenAtHop.push_back(server.Requests().size());
  });
  THttpResult r = client.Get(start);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Body, "arrived");
  EXPECT_EQ(r.Url, server.Url("www.b.localhost", "/end"));
  EXPECT_EQ(hops, (std::vector<std::string>{server.Url("www.a.localhost", "/hop1"),
                                            server.Url("www.a.localhost", "/dir/hop2"),
                                            server.Url("www.b.localhost", "/end")}));
  // Each hop is announced before its request is made.
  EXPECT_EQ(requestsSeenAtHop, (std::vector<std::size_t>{1, 2, 3}));
}

TEST(HttpClient, FifteenRedirectsAreFollowedSixteenAreTooMany) {
  LocalServer server;
  for (int i = 0; i < 40; ++i)
    server.Redirect("", "/r" + std::to_string(i), "/r" + std::to_string(i + 1));
  server.Serve("", "/r15", "end of 15");
  server.Redirect("", "/loop", "/loop");
  THttpClient client;
  int reported = 0;
  client.SetRedirectHandler([&](const std::string&) { ++reported; });

  THttpResult ok = client.Get(server.Url("/r0"));
  EXPECT_TRUE(ok.Ok);
  EXPECT_EQ(ok.Body, "end of 15");
  EXPECT_EQ(reported, 15);

  reported = 0;
  THttpResult tooMany = client.Get(server.Url("/r20"));  // r20 -> r21 ... r40 (404)
  EXPECT_EQ(tooMany.Error, THttpError::TooManyRedirects);
  EXPECT_TRUE(tooMany.Body.empty());
  EXPECT_EQ(reported, 15);

  EXPECT_EQ(client.Get(server.Url("/loop")).Error, THttpError::TooManyRedirects);
}

TEST(HttpClient, SilentServerTimesOutAfterReadTimeout) {
  SilentServer silent;
  THttpClient client;
  client.SetReadTimeout(300);
  auto start = Clock::now();
  THttpResult r = client.Get(silent.Url());
  const auto elapsed = MsSince(start);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Error, THttpError::Timeout);
  EXPECT_GE(elapsed, 280);
  EXPECT_LT(elapsed, 2000);
}

TEST(HttpClient, ReadTimeoutBoundsEachWaitNotTheWholeTransfer) {
  LocalServer server;
  // 10 pieces 60 ms apart: over 500 ms in all, never 400 ms without data.
  server.Handle("/trickle", Trickle("abc", 10, 60ms));
  // One piece, then silence longer than the time-out.
  server.Handle("/stall", Trickle("abc", 2, 1000ms));
  THttpClient client;
  client.SetReadTimeout(400);
  auto start = Clock::now();
  THttpResult r = client.Get(server.Url("/trickle"));
  ASSERT_TRUE(r.Ok) << static_cast<int>(r.Error);
  EXPECT_GT(MsSince(start), 400);
  EXPECT_EQ(r.Body, "abcabcabcabcabcabcabcabcabcabc");
  EXPECT_EQ(client.Get(server.Url("/stall")).Error, THttpError::Timeout);
}

TEST(HttpClient, DisconnectFromAnotherThreadEndsBlockedReadPromptly) {
  SilentServer silent;
  LocalServer server;
  server.Serve("", "/", "after stop");
  THttpClient client;
  client.SetReadTimeout(30000);
  auto start = Clock::now();
  auto pending = std::async(std::launch::async, [&] { return client.Get(silent.Url()); });
  std::this_thread::sleep_for(200ms);
  client.Disconnect();
  ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
  THttpResult r = pending.get();
  EXPECT_EQ(r.Error, THttpError::Stopped);
  EXPECT_LT(MsSince(start), 1500);

  // The next request on the same client works normally.
  EXPECT_EQ(client.Get(server.Url("/")).Body, "after stop");
}

TEST(HttpClient, DisconnectDuringTrickledBodyAndBeforeGet) {
  LocalServer server;
  server.Handle("/slow", Trickle("x", 20, 50ms));
  server.Serve("", "/fast", "fast");
  THttpClient client;
  client.SetReadTimeout(5000);
  auto pending = std::async(std::launch::async, [&] { return client.Get(server.Url("/slow")); });
  std::this_thread::sleep_for(200ms);
  client.Disconnect();
  ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(pending.get().Error, THttpError::Stopped);

  // A stop that lands between two fetches is not lost: the next Get fails at once,
  // the one after works.
  client.Disconnect();
  EXPECT_EQ(client.Get(server.Url("/fast")).Error, THttpError::Stopped);
  EXPECT_EQ(client.Get(server.Url("/fast")).Body, "fast");
}

TEST(HttpClient, RepeatedDisconnectsRaceWithFetchesSafely) {
  LocalServer server;
  server.Serve("", "/", std::string(64 * 1024, 'z'));
  THttpClient client;
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    while (!done.load()) {
      client.Disconnect();
      std::this_thread::sleep_for(1ms);
    }
  });
  for (int i = 0; i < 50; ++i) {
    THttpResult r = client.Get(server.Url("/"));
    EXPECT_TRUE(r.Ok ? r.Body.size() == 64 * 1024 : r.Error == THttpError::Stopped);
  }
  done = true;
  stopper.join();
}

TEST(HttpClient, ChunkedAndGzipBodiesAreDecoded) {
  LocalServer server;
  server.Handle("/chunked", Trickle("chunk-", 5, 1ms));
  const std::string page = "<html>" + std::string(50000, 'g') + "</html>";
  server.Handle("/gzip", [&](const httplib::Request& req, httplib::Response& res) {
    EXPECT_NE(req.get_header_value("Accept-Encoding").find("gzip"), std::string::npos);
    res.set_header("Content-Encoding", "gzip");
    res.set_content(Gzip(page), "text/html");
  });
  THttpClient client;
  EXPECT_EQ(client.Get(server.Url("/chunked")).Body, "chunk-chunk-chunk-chunk-chunk-");
  THttpResult r = client.Get(server.Url("/gzip"));
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Body, page);
}

TEST(HttpClient, BodiesOverTheCapAreAbandoned) {
  LocalServer server;
  EXPECT_EQ(THttpClient::kMaxBodyBytes, std::size_t{16} << 20);
  server.Serve("", "/over-16m", std::string((std::size_t{16} << 20) + 1, 'a'),
               "application/octet-stream");
  THttpClient client;
  EXPECT_EQ(client.Get(server.Url("/over-16m")).Error, THttpError::TooLarge);

  // The same limit on the paths where the length is not announced, with a small cap.
  const std::size_t cap = 64 * 1024;
  client.SetMaxBodyBytes(cap);
  server.Serve("", "/at-cap", std::string(cap, 'a'), "application/octet-stream");
  server.Serve("", "/over-cap", std::string(cap + 1, 'a'), "application/octet-stream");
  server.Handle("/chunked-over", Trickle(std::string(1024, 'c'), 65, 0ms));
  // Small on the wire, over the cap once decoded.
  server.Handle("/gzip-bomb", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Encoding", "gzip");
    res.set_content(Gzip(std::string(cap + 1, '\0')), "text/html");
  });
  THttpResult atCap = client.Get(server.Url("/at-cap"));
  ASSERT_TRUE(atCap.Ok);
  EXPECT_EQ(atCap.Body.size(), cap);
  for (const char* path : {"/over-cap", "/chunked-over", "/gzip-bomb"}) {
    THttpResult r = client.Get(server.Url(path));
    EXPECT_EQ(r.Error, THttpError::TooLarge) << path;
    EXPECT_TRUE(r.Body.empty()) << path;
  }
}

TEST(HttpClient, UnsafeBytesArePercentEncodedOnTheWireOnly) {
  EXPECT_EQ(EncodeUrlForWire("http://h/a b?q=%41\x01\x7f"), "http://h/a%20b?q=%41%01%7F");
  LocalServer server;
  server.Serve("", "/search", "found");
  THttpClient client;
  const std::string url = server.Url("/search?q=" + G("中文") + " x&k=%D6%D0");
  const std::string copy = url;
  ASSERT_TRUE(client.Get(url).Ok);
  EXPECT_EQ(url, copy);
  auto seen = server.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Target, "/search?q=%D6%D0%CE%C4%20x&k=%D6%D0");
}
