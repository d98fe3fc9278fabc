#include <gtest/gtest.h>

#include <memory>

#include "analysis/parse_html.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;
using Links = std::vector<std::string>;

namespace {

// Cuts markup into tag and text tokens the way the page tokeniser marks them.
void SetTokens(TParseHTML& p, std::string_view html) {
  p.Tokens.clear();
  p.TokenIsTag.clear();
  std::size_t i = 0;
  while (i < html.size()) {
    const bool tag = html[i] == '<';
    std::size_t end = tag ? html.find('>', i) : html.find('<', i);
    if (end == std::string_view::npos) end = html.size() - (tag ? 1 : 0);
    const std::size_t next = tag ? end + 1 : end;
    p.Tokens.emplace_back(html.substr(i, next - i));
    p.TokenIsTag.push_back(tag ? 1 : 0);
    i = next;
  }
}

class ExtractLinksTest : public ::testing::Test {
 protected:
  ExtractLinksTest() { Use(false); }
  void Use(bool modern) {
    auto set = std::make_shared<TGlobalSet>();
    set->HTMLNameLike = {"about", "contact"};
    set->FlagModernRecognition = modern;
    parser = std::make_unique<TParseHTML>(set);
  }
  void Extract(const std::string& pageURL, std::string_view html) {
    parser->PageURL = pageURL;
    parser->PriorityLinks.clear();
    parser->OtherLinks.clear();
    SetTokens(*parser, html);
    parser->ExtractLinks();
  }
  Links All() const {
    Links all = parser->PriorityLinks;
    all.insert(all.end(), parser->OtherLinks.begin(), parser->OtherLinks.end());
    return all;
  }
  std::unique_ptr<TParseHTML> parser;
};

}  // namespace

TEST_F(ExtractLinksTest, PriorityAndOtherLinksInPageOrderWithoutDuplicates) {
  Extract("http://www.acme.com/index.htm",
          "<html><head><a href=\"news.htm\"></head><body>"
          "<a href=\"contact.html\">" +
              G("联系我们") +
              "</a><a href=products.htm>x</a>"
              "<a href=\"contact.html\">again</a><A HREF=\"/About/us.htm\">"
              "<a href=\"news.htm\"><a href='http://www.acme.com/products.htm'></body>");
  EXPECT_EQ(parser->PriorityLinks,
            (Links{"http://www.acme.com/contact.html", "http://www.acme.com/About/us.htm"}));
  EXPECT_EQ(parser->OtherLinks,
            (Links{"http://www.acme.com/news.htm", "http://www.acme.com/products.htm"}));
  EXPECT_EQ(parser->SiteKey, "acme.com");
  EXPECT_EQ(parser->BaseURL, "http://www.acme.com/");

  // A second run on the same page lists nothing twice.
  parser->ExtractLinks();
  EXPECT_EQ(parser->PriorityLinks.size(), 2u);
  EXPECT_EQ(parser->OtherLinks.size(), 2u);
}

TEST_F(ExtractLinksTest, MailtoAndScriptLinksGiveNothing) {
  Extract("http://www.acme.com/",
          "<a href=\"mailto:sales@acme.com\">mail</a>"
          "<a href=\"#\" onclick=\"javascript:window.open('about.htm')\">"
          "<a href=\"javascript:void(0)\"><a href=\"VBScript:go()\"><a href=\"tel:12345678\">"
          "<a href=ok.htm>");
  EXPECT_EQ(All(), (Links{"http://www.acme.com/ok.htm"}));
}

TEST_F(ExtractLinksTest, FramesOfAFramesetAreFollowed) {
  Extract("http://www.acme.com/site/",
          "<frameset rows=\"80,*\"><frame src=\"top.htm\"><FRAME name=m SRC=main.htm>"
          "</frameset>");
  EXPECT_EQ(All(),
            (Links{"http://www.acme.com/site/top.htm", "http://www.acme.com/site/main.htm"}));
}

TEST_F(ExtractLinksTest, RelativeBaseTagChangesTheDirectory) {
  Extract("http://www.acme.com/dir/index.htm",
          "<head><base href=\"../other/sub/page.htm?x\"></head><a href=\"p.htm\">"
          "<a href=\"#top\">");
  EXPECT_EQ(parser->BaseTag, "../other/sub/page.htm?x");
  EXPECT_EQ(parser->BaseURL, "http://www.acme.com/other/sub/");
  // A fragment stays on the page itself, not on the base.
  EXPECT_EQ(All(), (Links{"http://www.acme.com/other/sub/p.htm",
                          "http://www.acme.com/dir/index.htm#top"}));
}

TEST_F(ExtractLinksTest, SameSiteKeysOfTwoThreeAndFourLabelHosts) {
  const std::string html =
      "<a href=\"http://shop.acme.com.cn/a.htm\"><a href=\"HTTP://BBS.ACME.COM/b.htm\">"
      "<a href=\"http://www.other.net/c.htm\"><a href=\"//img.acme.com/d.htm\">"
      "<a href=\"https://www.acme.com/e.htm\">";
  Extract("http://www.acme.com.cn/", html);  // key acme.com
  EXPECT_EQ(All(), (Links{"http://shop.acme.com.cn/a.htm", "HTTP://BBS.ACME.COM/b.htm",
                          "http://img.acme.com/d.htm", "https://www.acme.com/e.htm"}));
  Extract("http://www.acme.com/", html);  // key acme.com
  EXPECT_EQ(All().size(), 4u);
  // Two labels leave only the top label: every ".net" host counts as the same site.
  Extract("http://acme.net/", html);
  EXPECT_EQ(All(), (Links{"http://www.other.net/c.htm"}));

  // Modern recognition compares registrable domains.
  Use(true);
  Extract("http://www.acme.com.cn/", html);
  EXPECT_EQ(All(), (Links{"http://shop.acme.com.cn/a.htm"}));
  Extract("http://acme.com/", html);
  EXPECT_EQ(All(), (Links{"HTTP://BBS.ACME.COM/b.htm", "http://img.acme.com/d.htm",
                          "https://www.acme.com/e.htm"}));
  Extract("http://www.acme.localhost:8080/",
          "<a href=\"http://acme.localhost:8080/x\">"
          "<a href=\"http://www.bolt.localhost:8080/y\">");
  EXPECT_EQ(All(), (Links{"http://acme.localhost:8080/x"}));
}

TEST_F(ExtractLinksTest, RootRelativeAndParentLinks) {
  Extract("https://www.acme.com/a/b/page.htm",
          "<a href=\"/x.htm\"><a href=\"../y.htm\"><a href=\"../../../z.htm\">"
          "<a href=\"https://www.acme.com/s.htm\">");
  EXPECT_EQ(All(), (Links{"http://www.acme.com/x.htm", "https://www.acme.com/a/y.htm",
                          "https://www.acme.com/z.htm", "https://www.acme.com/s.htm"}));
}

TEST_F(ExtractLinksTest, UnquotedHrefEndsAtTheClosingBracket) {
  Extract("http://www.acme.com/", "<a href=list.asp?page=2>next</a>");
  EXPECT_EQ(All(), (Links{"http://www.acme.com/list.asp?page=2"}));
}

TEST_F(ExtractLinksTest, BrokenTargetsAreSkippedAndTheRestIsRead) {
  Extract("http://www.acme.com/",
          "<a href=\"http:www.acme.com/x.htm\"><a href=\"http:///acme.com/y.htm\"><a href=\"\">"
          "<a href=\"  spaced.htm \"><a href=\"unclosed.htm>");
  EXPECT_EQ(All(), (Links{"http://www.acme.com/spaced.htm"}));
}

TEST_F(ExtractLinksTest, PageWithoutHostGivesOnlyLinksUnderAnAbsoluteBase) {
  const std::string html =
      "<a href=\"rel.htm\"><a href=\"/root.htm\"><a href=\"#frag\">"
      "<a href=\"http://www.acme.com/abs.htm\">";
  for (const char* page : {"", "index.htm", "www.acme.com/index.htm", "//www.acme.com/"}) {
    Extract(page, html);
    EXPECT_TRUE(All().empty()) << page;
    EXPECT_EQ(parser->SiteKey, "") << page;
    EXPECT_EQ(parser->BaseURL, "") << page;
  }
  Extract("index.htm", "<base href=\"http://www.acme.com/s/\">" + html);
  EXPECT_EQ(All(), (Links{"http://www.acme.com/s/rel.htm", "http://www.acme.com/root.htm"}));
}

TEST(ExtractLinksPage, LinksOfALoadedGbkPage) {
  TParseHTML parser(testsupport::FactorySnapshot());
  const std::string page =
      G("<html>\r\n<head><title>上海海德机械有限公司</title>\r\n"
        "<base\thref=\"http://www.haide.com.cn/cn/\">\r\n</head>\r\n<body>\r\n"
        "<table><tr><td><a\r\n  href=\"about.asp\">公司简介</a></td>\r\n"
        "<td><A HREF=\"../Contact.asp?lang=cn\" title=\"联系我们\">联系我们</a></td>\r\n"
        "<td><a href=\"产品/列表.htm\">产品</a></td>\r\n"
        "<td><a href=\"mailto:sales@haide.com.cn\">sales@haide.com.cn</a></td>\r\n"
        "<td><a href=\"http://www.baidu.com/\">百度</a>"
        "<a href=\"http://bbs.haide.com.cn/\">论坛</a></td></tr></table>\r\n"
        "<p>地址：上海市 <a href=\"about.asp\">再次</a></p>\r\n</body></html>\r\n");
  parser.LoadPage(page, "", "http://www.haide.com.cn/index.asp", "");
  parser.ExtractLinks();
  EXPECT_EQ(parser.PriorityLinks, (Links{"http://www.haide.com.cn/cn/about.asp",
                                         "http://www.haide.com.cn/Contact.asp?lang=cn"}));
  EXPECT_EQ(parser.OtherLinks, (Links{"http://www.haide.com.cn/cn/" + G("产品/列表.htm"),
                                      "http://bbs.haide.com.cn/"}));
}
