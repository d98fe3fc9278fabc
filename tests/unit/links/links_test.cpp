#include "analysis/links.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::G;

TEST(LinkTarget, QuotedUnquotedAndMissingValues) {
  EXPECT_EQ(links::LinkTarget(R"(<a href="About.HTML" class="x">)"), "About.HTML");
  EXPECT_EQ(links::LinkTarget("<A HREF='news/1.htm' title=\"t\">"), "news/1.htm");
  EXPECT_EQ(links::LinkTarget("<a href=list.asp?id=3 target=_blank>"), "list.asp?id=3");
  // Unquoted value closed directly by ">".
  EXPECT_EQ(links::LinkTarget("<a href=contact.html>"), "contact.html");
  EXPECT_EQ(links::LinkTarget("<a href=\"x.htm>"), "");
  EXPECT_EQ(links::LinkTarget("<a href = \"x.htm\">"), "");
  EXPECT_EQ(links::LinkTarget("<a name=top>"), "");
  EXPECT_EQ(links::LinkTarget("<a href=\"\">"), "");
  EXPECT_EQ(links::LinkTarget("<a href=x.htm"), "");
  // Chinese text in the address is kept byte for byte.
  EXPECT_EQ(links::LinkTarget("<a href=\"" + G("联系我们") + ".htm\">"), G("联系我们") + ".htm");
  // The first occurrence counts.
  EXPECT_EQ(links::LinkTarget("<a href=a.htm href=b.htm>"), "a.htm");
}

TEST(LinkTarget, FramesUseSrcAndScriptsGiveNothing) {
  EXPECT_EQ(links::LinkTarget("<frame name=main src=\"main.htm\">"), "main.htm");
  EXPECT_EQ(links::LinkTarget("<frame name=main>"), "");
  EXPECT_EQ(links::LinkTarget("<a href=\"#\" onclick=\"JavaScript:open('x.htm')\">"), "");
  EXPECT_EQ(links::LinkTarget("<a href=\"vbscript:go\">"), "");
  EXPECT_EQ(links::BaseHref("<BASE HREF=\"/d/\" target=x>"), "/d/");
}

TEST(CollectLinkTags, AnchorsFramesAndTheLastBaseTag) {
  const std::vector<std::string> tokens = {"<base href=\"/a/\">",         " <a href=\"x.htm\"> ",
                                           "text <a href=y.htm> in text", "<AREA HREF=\"m.htm\">",
                                           "<a href=\"MailTo:x@a.com\">", "<frameset cols=\"*,*\">",
                                           "<frame src=\"f.htm\">",       "<iframe src=\"i.htm\">",
                                           "<base href=\"/b/\">",         "<abbr title=href>"};
  const std::vector<uint8_t> isTag = {1, 1, 0, 1, 1, 1, 1, 1, 1};  // last token: no flag
  std::vector<std::string> linkTags;
  std::string baseTag;
  links::CollectLinkTags(tokens, isTag, linkTags, baseTag);
  EXPECT_EQ(linkTags, (std::vector<std::string>{"<a href=\"x.htm\">", "<AREA HREF=\"m.htm\">",
                                                "<frame src=\"f.htm\">"}));
  EXPECT_EQ(baseTag, "<base href=\"/b/\">");
}

TEST(LinkKind, AbsoluteRelativeAndFragment) {
  for (const char* a : {"http://a.com/", "HTTP:x", "https://a.com/", "ftp://a.com", "//cdn.a.com/x",
                        "mailto:x", "./x//y"}) {
    EXPECT_EQ(links::LinkKind(a), links::kAbsoluteLink) << a;
  }
  for (const char* r :
       {"x.htm", "/x.htm", "../x.htm", "?id=1", "dir/page.asp?u=a:b", "abcdefg//x"}) {
    EXPECT_EQ(links::LinkKind(r), links::kRelativeLink) << r;
  }
  EXPECT_EQ(links::LinkKind("#top"), links::kFragmentLink);
}

TEST(ResolveURL, RelativeAndRootRelative) {
  EXPECT_EQ(links::ResolveURL("p.htm", "http://www.a.com/d/"), "http://www.a.com/d/p.htm");
  EXPECT_EQ(links::ResolveURL("p.htm", "http://www.a.com/d"), "http://www.a.com/d/p.htm");
  EXPECT_EQ(links::ResolveURL("./p.htm", "http://www.a.com/d/"), "http://www.a.com/d/./p.htm");
  EXPECT_EQ(links::ResolveURL("/x/p.htm", "http://www.a.com/d/"), "http://www.a.com/x/p.htm");
  // The scheme of the page is not carried over to a root-relative link...
  EXPECT_EQ(links::ResolveURL("/p.htm", "https://www.a.com/d/"), "http://www.a.com/p.htm");
  // ...but the port is, and the result still gets a scheme.
  EXPECT_EQ(links::ResolveURL("/p.htm", "http://www.a.com:8080/d/"), "http://www.a.com:8080/p.htm");
  EXPECT_EQ(links::ResolveURL("/p.htm?t=a:b", "http://www.a.com/"), "http://www.a.com/p.htm?t=a:b");
  // Relative links keep the base's scheme, https included.
  EXPECT_EQ(links::ResolveURL("p.htm", "https://www.a.com/"), "https://www.a.com/p.htm");
  EXPECT_EQ(links::ResolveURL("p.htm", "www.a.com/d/"), "http://www.a.com/d/p.htm");
}

TEST(ResolveURL, ParentSegments) {
  const std::string base = "http://www.a.com/a/b/";
  EXPECT_EQ(links::ResolveURL("../x.htm", base), "http://www.a.com/a/x.htm");
  EXPECT_EQ(links::ResolveURL("../../x.htm", base), "http://www.a.com/x.htm");
  // Climbing above the host: the surplus "../" are dropped.
  EXPECT_EQ(links::ResolveURL("../../../../x.htm", base), "http://www.a.com/x.htm");
  EXPECT_EQ(links::ResolveURL("/../x.htm", base), "http://www.a.com/x.htm");
  // A host without a dot is not climbed over either.
  EXPECT_EQ(links::ResolveURL("../../x.htm", "http://localhost:8080/a/"),
            "http://localhost:8080/x.htm");
  // A segment holding a dot stops the climbing; the "../" are then deleted.
  EXPECT_EQ(links::ResolveURL("../x.htm", "http://www.a.com/v1.2/"), "http://www.a.com/v1.2/x.htm");
  EXPECT_EQ(links::ResolveURL("../d/../x.htm", "http://www.a.com/v1.2/"),
            "http://www.a.com/v1.2/d/x.htm");
  // Only the segment before "/../" goes, not equal text elsewhere in the address.
  EXPECT_EQ(links::ResolveURL("../ba/../x.htm", "http://www.a.com/a/"), "http://www.a.com/x.htm");
  EXPECT_EQ(links::ResolveURL("../xa/../y.htm", "http://www.a.com/A/"), "http://www.a.com/y.htm");
  // "../" glued to a name is not a parent step, and never makes the loop hang.
  EXPECT_EQ(links::ResolveURL("a../b/../c.htm", "http://www.a.com/d/"),
            "http://www.a.com/d/a../c.htm");
  EXPECT_EQ(links::ResolveURL("..", "http://www.a.com/d/"), "http://www.a.com/d/..");
}

TEST(SiteKey, KeepsTheTwoLabelsAfterTheFirst) {
  EXPECT_EQ(links::ComputeSiteKey("http://www.acme.com.cn/index.htm"), "acme.com");
  EXPECT_EQ(links::ComputeSiteKey("http://www.acme.com/"), "acme.com");
  EXPECT_EQ(links::ComputeSiteKey("http://acme.com/x/y.htm"), "com");
  EXPECT_EQ(links::ComputeSiteKey("http://www.acme.localhost:8080/"), "acme.localhost:8080");
  EXPECT_EQ(links::ComputeSiteKey("http://www.acme.com?x=1.2.3"), "acme.com");
  EXPECT_EQ(links::ComputeSiteKey("http://localhost/"), "localhost");
  EXPECT_EQ(links::ComputeSiteKey(""), "");

  EXPECT_TRUE(links::IsSameSite("HTTP://BBS.ACME.COM.CN/x", "acme.com"));
  EXPECT_FALSE(links::IsSameSite("http://www.other.cn/", "acme.com"));
  EXPECT_FALSE(links::IsSameSite("http://www.other.cn/", ""));
}

TEST(BaseURL, PageDirectoryOrTheBaseTag) {
  const std::string page = "http://u:p@www.a.com/d/e/page.asp?x=1#f";
  EXPECT_EQ(links::ComputeBaseURL(page, ""), "http://www.a.com/d/e/");
  EXPECT_EQ(links::ComputeBaseURL(page, "  "), "http://www.a.com/d/e/");
  EXPECT_EQ(links::ComputeBaseURL(page, "../f/index.htm"), "http://www.a.com/d/f/");
  EXPECT_EQ(links::ComputeBaseURL(page, "/g/"), "http://www.a.com/g/");
  EXPECT_EQ(links::ComputeBaseURL(page, "https://b.com/h/i.htm?z"), "https://b.com/h/");
  EXPECT_EQ(links::ComputeBaseURL(page, "//cdn.a.com/k/"), "http://cdn.a.com/k/");
  // A base that cannot be an address leaves the page's directory in force.
  EXPECT_EQ(links::ComputeBaseURL(page, "mailto:x@a.com"), "http://www.a.com/d/e/");
  // A page without a host has a directory only through an absolute base.
  EXPECT_EQ(links::ComputeBaseURL("index.htm", ""), "");
  EXPECT_EQ(links::ComputeBaseURL("index.htm", "sub/"), "");
  EXPECT_EQ(links::ComputeBaseURL("", "http://www.a.com/s/"), "http://www.a.com/s/");
}

TEST(AddressHelpers, SchemesArePutInFrontOnlyWhereMissing) {
  EXPECT_EQ(links::WithHttpScheme(" www.a.com "), "http://www.a.com");
  EXPECT_EQ(links::WithHttpScheme("https://www.a.com/"), "https://www.a.com/");
  EXPECT_EQ(links::WithHttpScheme("HTTP://www.a.com/"), "HTTP://www.a.com/");
  EXPECT_EQ(links::WithHttpScheme("//www.a.com/"), "http://www.a.com/");

  EXPECT_EQ(links::MakeAbsolute("//www.a.com/x", "", ""), "http://www.a.com/x");
  EXPECT_EQ(links::MakeAbsolute("https://www.a.com/x", "", ""), "https://www.a.com/x");
  EXPECT_EQ(links::MakeAbsolute("#t", "http://a.com/", "http://a.com/p.htm"),
            "http://a.com/p.htm#t");
  EXPECT_FALSE(links::MakeAbsolute("tel:12345678", "http://a.com/", "http://a.com/").has_value());
  EXPECT_FALSE(links::MakeAbsolute("http:x.htm", "http://a.com/", "http://a.com/").has_value());
  EXPECT_FALSE(links::MakeAbsolute("x.htm", "", "").has_value());
  EXPECT_FALSE(links::MakeAbsolute("/x.htm", "", "").has_value());
  EXPECT_FALSE(links::MakeAbsolute("#t", "", "index.htm").has_value());

  const links::TWordMatcher m({"about", "", G("联系")});
  EXPECT_TRUE(m.Matches("http://a.com/ABOUT.htm"));
  EXPECT_TRUE(m.Matches("http://a.com/" + G("联系") + ".htm"));
  EXPECT_FALSE(m.Matches("http://a.com/news.htm"));
  EXPECT_FALSE(links::TWordMatcher({}).Matches("about"));
}
