#include "net/cookie_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "local_server.h"
#include "net/http_client.h"

using testsupport::LocalServer;

TEST(CookieFile, ReadsTheFormsExportersWrite) {
  const std::string text =
      "\xEF\xBB\xBF# Netscape HTTP Cookie File\r\n"
      "# https://curl.se/docs/http-cookies.html\r\n"
      "\r\n"
      ".bing.com\tTRUE\t/\tTRUE\t1893456000\tMUID\t0A1B2C\r\n"
      "#HttpOnly_www.baidu.com\tFALSE\t/s\tFALSE\t1893456000.25\tBDSVRTM\t12\n"
      "cn.bing.com\tfalse\t/\tfalse\t0\tSRCHD\tAF=NOFORM\n"
      "sogou.com\tTRUE\t/\tFALSE\t0\tempty\t\n"
      "sogou.com\tTRUE\t/\tFALSE\t0\tnotab";
  const auto cookies = ParseNetscapeCookies(text);
  ASSERT_EQ(cookies.size(), 5u);
  EXPECT_EQ(cookies[0].Domain, "bing.com");
  EXPECT_TRUE(cookies[0].IncludeSubdomains);
  EXPECT_TRUE(cookies[0].Secure);
  EXPECT_EQ(cookies[0].Expires, 1893456000);
  EXPECT_EQ(cookies[0].Value, "0A1B2C");
  EXPECT_TRUE(cookies[1].HttpOnly);
  EXPECT_EQ(cookies[1].Domain, "www.baidu.com");
  EXPECT_EQ(cookies[1].Path, "/s");
  EXPECT_EQ(cookies[1].Expires, 1893456000);
  EXPECT_FALSE(cookies[2].IncludeSubdomains);
  EXPECT_EQ(cookies[2].Expires, 0);
  EXPECT_EQ(cookies[2].Value, "AF=NOFORM");
  EXPECT_EQ(cookies[3].Value, "");
  EXPECT_EQ(cookies[4].Name, "notab");

  // Written back, a line reads as the same cookie.
  EXPECT_EQ(NetscapeLine(cookies[0]), ".bing.com\tTRUE\t/\tTRUE\t1893456000\tMUID\t0A1B2C");
  EXPECT_EQ(NetscapeLine(cookies[1]),
            "#HttpOnly_www.baidu.com\tFALSE\t/s\tFALSE\t1893456000\tBDSVRTM\t12");

  EXPECT_TRUE(CookieMatchesHost(cookies[0], "cn.Bing.com"));
  EXPECT_TRUE(CookieMatchesHost(cookies[0], "bing.com"));
  EXPECT_FALSE(CookieMatchesHost(cookies[0], "notbing.com"));
  EXPECT_FALSE(CookieMatchesHost(cookies[2], "www.cn.bing.com"));
}

TEST(CookieFile, MalformedFilesAreRefusedWithTheLine) {
  const auto message = [](const std::string& text) {
    try {
      ParseNetscapeCookies(text);
    } catch (const ECookieFileError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(message("# only comments\n\n").find("no cookies"), std::string::npos);
  EXPECT_NE(message("a.com\tTRUE\t/\tFALSE\t0\tn\tv\nname=value; other=1\n").find("line 2"),
            std::string::npos);
  EXPECT_NE(message("a.com\tYES\t/\tFALSE\t0\tn\tv").find("TRUE or FALSE"), std::string::npos);
  EXPECT_NE(message("a.com\tTRUE\t/\tFALSE\tsoon\tn\tv").find("expiry"), std::string::npos);
  EXPECT_NE(message("a.com\tTRUE\tx\tFALSE\t0\tn\tv").find("path"), std::string::npos);
  EXPECT_NE(message("\tTRUE\t/\tFALSE\t0\tn\tv").find("domain"), std::string::npos);
  EXPECT_NE(message("a.com\tTRUE\t/\tFALSE\t0\tn\tv\textra").find("found 8"), std::string::npos);
  EXPECT_NE(message("[{\"domain\": \"a.com\"}]").find("JSON"), std::string::npos);
  EXPECT_NE(message("").find("no cookies"), std::string::npos);
}

TEST(CookieFile, ClientsSendTheStoreCookiesToMatchingHostsOnly) {
  LocalServer server;
  server.Serve("", "/", "x");
  auto store = std::make_shared<TCookieStore>();
  store->Add(
      ParseNetscapeCookies("www.a.localhost\tFALSE\t/\tFALSE\t0\tpass\tone\n"
                           ".b.localhost\tTRUE\t/\tFALSE\t0\tother\ttwo\n"));
  THttpClient client;
  client.SetCookieStore(store);
  ASSERT_TRUE(client.Get(server.Url("www.a.localhost", "/")).Ok);
  ASSERT_TRUE(client.Get(server.Url("www.b.localhost", "/")).Ok);
  // A cookie of the same name replaces the one held; the client picks the change up.
  store->Add(ParseNetscapeCookies("www.a.localhost\tFALSE\t/\tFALSE\t0\tpass\tthree\n"));
  ASSERT_TRUE(client.Get(server.Url("www.a.localhost", "/")).Ok);
  const auto seen = server.Requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].Header("Cookie"), "pass=one");
  EXPECT_EQ(seen[1].Header("Cookie"), "other=two");
  EXPECT_EQ(seen[2].Header("Cookie"), "pass=three");
}
