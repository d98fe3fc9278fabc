#include "net/fetch.h"

#include <gtest/gtest.h>

#include "local_server.h"
#include "test_support.h"

using testsupport::G;
using testsupport::LocalServer;

TEST(FetchPage, DeclaredUtf8PageArrivesAsGbk) {
  LocalServer server;
  server.Serve("", "/utf8", "<p>电话：010-12345678</p>", "text/html; charset=UTF-8");
  server.Serve("", "/meta", "<meta charset=\"utf-8\"><p>公司</p>", "text/html");
  THttpClient client;
  EXPECT_EQ(FetchPage(client, server.Url("/utf8")), G("<p>电话：010-12345678</p>"));
  EXPECT_EQ(FetchPage(client, server.Url("/meta")), G("<meta charset=\"utf-8\"><p>公司</p>"));
}

TEST(FetchPage, GbkPagesAreKeptByteForByte) {
  LocalServer server;
  // Bytes that are not valid GBK either must survive untouched.
  const std::string page = G("<p>上海海德公司 传真：021-1234567</p>") + "\x81\xFF\x80";
  server.Serve("", "/declared", page, "text/html; charset=GB2312");
  server.Serve("", "/undeclared", page, "text/html");
  THttpClient client;
  EXPECT_EQ(FetchPage(client, server.Url("/declared")), page);
  EXPECT_EQ(FetchPage(client, server.Url("/undeclared")), page);
}

TEST(FetchPage, AnyFailureGivesEmptyPage) {
  LocalServer server;
  server.Serve("", "/404", "<html><body>not here</body></html>", "text/html", 404);
  server.Redirect("", "/loop", "/loop");
  THttpClient client;
  EXPECT_EQ(FetchPage(client, server.Url("/404")), "");
  EXPECT_EQ(FetchPage(client, server.Url("/loop")), "");
  client.Disconnect();
  server.Serve("", "/ok", "ok");
  EXPECT_EQ(FetchPage(client, server.Url("/ok")), "");
  EXPECT_EQ(FetchPage(client, server.Url("/ok")), "ok");
}
