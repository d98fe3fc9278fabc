#include "net/fetch.h"

#include <gtest/gtest.h>

#include "local_server.h"
#include "net/page_renderer.h"
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

TEST(RenderedPages, OnlyEmptyScriptShellsLookScriptBuilt) {
  const std::string filler(120, 'x');
  const std::string contacts =
      G("<p>公司名称：杭州精泰机械有限公司 地址：浙江省杭州市文一西路1818号 " + filler +
        " 电话：0571-88613520 " + filler + " " + filler + "</p>");
  // Shells: an empty root, a bundle, a notice for browsers without scripts.
  EXPECT_TRUE(LooksScriptBuilt("<html><body><div id=\"app\"></div></body></html>"));
  EXPECT_TRUE(LooksScriptBuilt("<html><body><DIV ID='root'></DIV></body></html>"));
  EXPECT_TRUE(LooksScriptBuilt("<script src=\"/js/app.3f9c.js\"></script><p>Loading</p>"));
  EXPECT_TRUE(LooksScriptBuilt(
      G("<noscript>本网站需要启用 JavaScript。</noscript><div class=\"page\"></div>")));
  // Text inside scripts and styles is not the page's own text.
  EXPECT_TRUE(LooksScriptBuilt("<div id=\"app\"></div><script>var s = \"" + filler + filler +
                               filler + filler + "\";</script><style>" + filler + "</style>"));
  // Pages whose text is in the markup, and small pages without scripts, are never rendered.
  EXPECT_FALSE(
      LooksScriptBuilt("<div id=\"app\">" + contacts + "</div><script src=\"/stat.js\"></script>"));
  EXPECT_FALSE(LooksScriptBuilt("<html><body><p>Welcome</p></body></html>"));
  EXPECT_FALSE(LooksScriptBuilt("<div id=\"application\"></div>"));
  EXPECT_FALSE(LooksScriptBuilt(""));
}

namespace {

class TFixedRenderer : public TPageRenderer {
 public:
  TRenderResult Result;
  TRenderRequest Seen;
  TRenderResult Render(const TRenderRequest& request) override {
    Seen = request;
    return Result;
  }
};

}  // namespace

TEST(RenderedPages, DocumentArrivesAsGbkAndFailuresAreLoggedNotReturned) {
  TFixedRenderer renderer;
  renderer.Result.Ok = true;
  renderer.Result.Html = "<p>电话：0512-62957310</p>";
  const std::string url = G("http://www.例子.localhost/联系");
  TRenderRequest request;
  request.DeadlineMs = 3000;
  EXPECT_EQ(RenderPage(renderer, url, request), G("<p>电话：0512-62957310</p>"));
  EXPECT_EQ(renderer.Seen.Url, "http://www.例子.localhost/联系");  // UTF-8 to the engine
  EXPECT_EQ(renderer.Seen.DeadlineMs, 3000);

  const uint64_t before = TLog::Global().LastSeq();
  renderer.Result = {};
  renderer.Result.Error = "deadline";
  renderer.Result.ElapsedMs = 3001;
  EXPECT_EQ(RenderPage(renderer, url, request), "");
  const auto entries = TLog::Global().Since(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Category, "render");
  EXPECT_EQ(entries[0].Error, TFetchErrorKind::Timeout);
  EXPECT_EQ(entries[0].ElapsedMs, 3001);
  EXPECT_NE(entries[0].Message.find("deadline"), std::string::npos);
}
