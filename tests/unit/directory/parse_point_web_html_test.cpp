#include "crawl/parse_point_web_html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/program_state.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;

namespace {

const std::string kPage1 = "http://www.huangye.localhost/list/list.asp?page=1";
const std::string kPage2 = "http://www.huangye.localhost/yp/list.asp?page=2";
const std::string kPage3 = "http://www.huangye.localhost/list/list.asp?page=3";
const std::string kCompany = "http://www.huangye.localhost/company/show.asp?id=";

// The lists the point-web wizard would set for this directory.
TGlobalSet DirectorySettings() {
  TGlobalSet set = testsupport::FactorySettings();
  set.InfoLinkLike = {"show.asp"};
  set.NextPageLinkLike = {"list.asp", "page="};
  return set;
}

struct TPage {
  TProgramState state;
  TParsePointWebHTML parser;
  explicit TPage(const TGlobalSet& set) : parser(state, std::make_shared<const TGlobalSet>(set)) {}
  void Read(const std::string& html, const std::string& url) {
    parser.LoadPage(html, url);
    parser.Analyse();
  }
  std::vector<std::string> URLs() const {
    std::vector<std::string> out;
    for (const auto& e : state.CopyURLList()) out.push_back(e.URL);
    return out;
  }
};

}  // namespace

TEST(ParsePointWebHTML, SortsInformationAndNextPageLinks) {
  TPage page(DirectorySettings());
  page.Read(testsupport::ReadFixture("directory/list1.html"), kPage1);

  // Not a company word in "温州小商品批发"; the mail link cannot be rebuilt and is skipped,
  // the repeated company link adds nothing, and the links after them are still read.
  EXPECT_EQ(page.URLs(), (std::vector<std::string>{kCompany + "101", kCompany + "102"}));
  const auto entries = page.state.CopyURLList();
  EXPECT_EQ(entries[0].Title, G("杭州明远化工有限公司"));
  // Tags inside the anchor are removed; the closing tag is written "</A>".
  EXPECT_EQ(entries[1].Title, G("宁波海德机械厂"));
  EXPECT_EQ(entries[1].Description, "");

  // "2" and "3" have no next-page word; "上一页" is a script link.
  EXPECT_EQ(page.parser.NextPages, (std::vector<std::string>{kPage1, kPage2, kPage3}));
  for (const std::string& a : page.parser.Anchors)
    EXPECT_EQ(a.find("javascript"), std::string::npos) << a;
}

TEST(ParsePointWebHTML, CompanyNameTestCanBeSwitchedOff) {
  TGlobalSet set = DirectorySettings();
  set.BUseCompanyNameLike = false;
  TPage page(set);
  page.Read(testsupport::ReadFixture("directory/list1.html"), kPage1);
  EXPECT_EQ(page.URLs(),
            (std::vector<std::string>{kCompany + "101", kCompany + "102",
                                      "http://www.huangye.localhost/list/show.asp?id=103"}));
  EXPECT_EQ(page.state.CopyURLList()[2].Title, G("温州小商品批发"));
}

TEST(ParsePointWebHTML, EmptyInformationListTakesEveryAnchorAsInformationLink) {
  TGlobalSet set = DirectorySettings();
  set.InfoLinkLike.clear();
  set.BUseCompanyNameLike = false;
  TPage page(set);
  page.Read(testsupport::ReadFixture("directory/list1.html"), kPage1);

  const std::string site = "http://www.huangye.localhost/";
  EXPECT_EQ(page.URLs(),
            (std::vector<std::string>{site, site + "about.html", kCompany + "101", kCompany + "102",
                                      site + "list/show.asp?id=103",
                                      // The fragment is dropped when the address is rebuilt.
                                      "http://www.jinhua-pharm.localhost/index.htm", kPage1,
                                      site + "list/list.asp?page=2", kPage3, kPage2}));
  EXPECT_EQ(page.state.CopyURLList()[0].Title, G("首页"));
  EXPECT_TRUE(page.parser.NextPages.empty());
}

TEST(ParsePointWebHTML, BaseTagAndRepeatedLinksAcrossPages) {
  TPage page(DirectorySettings());
  // A company already queued (by another page or a search engine) keeps its entry.
  page.state.AppendURL(kCompany + "102", "earlier title", "earlier description");
  page.Read(testsupport::ReadFixture("directory/list2.html"), kPage2);

  // The anchor that is both kinds of link is an information link only.
  EXPECT_EQ(page.URLs(),
            (std::vector<std::string>{kCompany + "102", kCompany + "201", kCompany + "202",
                                      kCompany + "203&from=list.asp&page=2"}));
  EXPECT_EQ(page.state.CopyURLList()[0].Title, "earlier title");
  EXPECT_EQ(page.state.CopyURLList()[3].Title, G("舟山水产公司产品页"));
  // Relative next-page links resolve against the base tag's directory; duplicates stay.
  EXPECT_EQ(page.parser.NextPages, (std::vector<std::string>{kPage1, kPage1, kPage3, kPage3}));
  EXPECT_EQ(page.parser.BaseURL, "http://www.huangye.localhost/list/");

  // The next page is read with the same analyser: nothing of page 2 is left over.
  page.Read(testsupport::ReadFixture("directory/list3.html"), kPage3);
  EXPECT_EQ(page.URLs().size(), 7u);
  EXPECT_EQ(page.URLs()[4], kCompany + "101");
  EXPECT_EQ(page.URLs()[6], kCompany + "302");
  // A blank inside the closing tag: the link counts, its text does not.
  EXPECT_EQ(page.state.CopyURLList()[6].Title, "");
  EXPECT_EQ(page.parser.NextPages, (std::vector<std::string>{kPage1, kPage2}));
  EXPECT_EQ(page.parser.BaseURL, "http://www.huangye.localhost/list/");
}

TEST(ParsePointWebHTML, AddressesAreRebuiltAndHttpsIsKept) {
  TPage page(DirectorySettings());
  page.Read(G("<html><body>"
              "<a href=\"https://secure.localhost/show.asp?id=1\">安全公司</a>"
              "<a href=\"http://user:pw@www.a.localhost:8080/show.asp?id=2#top\">甲公司</a>"
              "<a href=\"//cdn.localhost/show.asp?id=3\">乙公司</a>"
              "<a href=\"#show.asp\">本页公司</a>"
              "<a href=\"  \">空白公司 show.asp</a>"
              "<a href=ftp://files.localhost/show.asp>丁公司</a>"
              "</body></html>"),
            "http://www.dir.localhost/a/b.html");
  EXPECT_EQ(page.URLs(), (std::vector<std::string>{
                             "https://secure.localhost/show.asp?id=1",
                             "http://www.a.localhost:8080/show.asp?id=2",
                             "http://cdn.localhost/show.asp?id=3",
                             "http://www.dir.localhost/a/b.html",
                             "ftp://files.localhost/show.asp",
                         }));
}

TEST(ParsePointWebHTML, AnchorAddressAndText) {
  using P = TParsePointWebHTML;
  auto address = [](std::string_view a) { return P::SplitAnchor(a).Address.value_or("<none>"); };
  EXPECT_EQ(address("<a href=\"x.html\">X</a>"), "x.html");
  EXPECT_EQ(address("<A HREF='x.html' class=c>X</A>"), "x.html");
  EXPECT_EQ(address("<a href=x.html target=_blank>X</a>"), "x.html");
  EXPECT_EQ(address("<a href=x.html>X</a>"), "x.html");
  EXPECT_EQ(address("<a href=\"x.html>X</a>"), "<none>");
  EXPECT_EQ(address("<a href=x.html"), "<none>");
  EXPECT_EQ(address("<a name=top>X</a>"), "<none>");
  EXPECT_EQ(address("<a href = \"x.html\">X</a>"), "<none>");

  EXPECT_EQ(P::SplitAnchor("<a href=x.html><img src=logo.gif><b>A</b>B</a>").Text, "AB");
  EXPECT_EQ(P::SplitAnchor("<a href=x.html>A<B</a>").Text, "A<B");
  EXPECT_EQ(P::SplitAnchor("<a href=x.html>AB</A>").Text, "AB");
  EXPECT_EQ(P::SplitAnchor("<a href=x.html>AB</a >").Text, "");
  // Two-byte characters whose second byte is a Latin letter keep their bytes.
  EXPECT_EQ(P::SplitAnchor(G("<a href=x.html>海德</a>")).Text, G("海德"));
}

TEST(ParsePointWebHTML, UnclosedAnchorSwallowsTheRestOfAPageInLinearTime) {
  TGlobalSet set = DirectorySettings();
  set.InfoLinkLike.clear();
  set.BUseCompanyNameLike = false;
  TPage page(set);
  std::string html = "<html><body><a href=\"/first.html\">first ";
  for (int i = 0; i < 60000; ++i) html += "<span>text</span> ";
  html += "<a href=\"/second.html\">second</a></body></html>";
  page.Read(html, "http://www.big.localhost/");
  ASSERT_EQ(page.parser.Anchors.size(), 1u);
  // The first address wins; its text runs to the only closing tag.
  EXPECT_EQ(page.URLs(), std::vector<std::string>{"http://www.big.localhost/first.html"});
}

TEST(ParsePointWebHTML, PageWithoutAddressGivesNoRelativeLinks) {
  TGlobalSet set = DirectorySettings();
  set.InfoLinkLike.clear();
  set.BUseCompanyNameLike = false;
  TPage page(set);
  page.Read("<a href=\"a.html\">a</a><a href=\"#x\">x</a><a href=\"http://ok.localhost/\">ok</a>",
            "not an address");
  EXPECT_EQ(page.URLs(), std::vector<std::string>{"http://ok.localhost/"});
}
