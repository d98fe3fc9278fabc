// Reading result pages: tokens and blocks, total counts, harvested items, end of an engine.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/program_state.h"
#include "engines/engine_set.h"
#include "test_support.h"

using testsupport::G;
using testsupport::ReadFixture;

namespace {

struct TExpected {
  std::string Url;
  std::string Title;        // UTF-8
  std::string Description;  // UTF-8
};

class ResultPage : public ::testing::Test {
 protected:
  ResultPage() {
    engines.SetProgramState(&state);
    for (TSearchEngineObject* e : engines.All()) {
      e->SetKeyword(G("机床"));
      e->ResetSearch();
    }
  }

  std::vector<TSearchURLResult> Urls() const { return state.CopyURLList(); }

  // A minimal page: body, then the given markup.
  static std::string Page(const std::string& utf8Body) {
    return G("<html><head><title>t</title></head><body>" + utf8Body + "</body></html>");
  }

  TProgramState state;
  TEngineSet engines;
};

void ExpectEntries(const std::vector<TSearchURLResult>& got,
                   const std::vector<TExpected>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].URL, expected[i].Url);
    EXPECT_EQ(got[i].Title, G(expected[i].Title));
    EXPECT_EQ(got[i].Description, G(expected[i].Description));
  }
}

}  // namespace

TEST_F(ResultPage, BaiduFixtureGivesCountItemsTitlesAndDescriptions) {
  TSearchEngineObject& e = engines.Baidu();
  e.ParsePage(ReadFixture("engines/baidu_page.html"));
  EXPECT_EQ(e.TotalCount, 1234);
  // The duplicate (fragment only), the root-relative link and the item inside "<% ... %>"
  // add nothing; the https address keeps its scheme; the host in capitals is a new entry.
  ExpectEntries(Urls(),
                {
                    {"http://www.acme-tools.com.cn/", "上海机床厂有限公司",
                     "专业生产数控机床、加工中心，质量可靠"},
                    {"http://www.huaxing-jc.com/index.html", "华兴机床配件", "机床附件 批发零售"},
                    {"HTTP://WWW.Acme-Tools.com.cn/about.htm", "关于上海机床厂", "企业简介"},
                    {"https://secure.jcmall.cn/shop?id=7", "机床商城", "在线订购"},
                    {"http://www.dalian-machine.com/", "大连机床集团", "大连机床集团有限责任公司"},
                });
  EXPECT_EQ(e.NewResults, 5);
  EXPECT_EQ(e.ResultOffset, 11);
  EXPECT_EQ(e.PageCount, 1);
  EXPECT_FALSE(e.Finished);
  EXPECT_TRUE(e.Paging);
  EXPECT_EQ(state.EngineResultOffset.load(), 11);
  EXPECT_EQ(state.EnginePageCount.load(), 1);
}

TEST_F(ResultPage, F163FixtureUsesMiddleDotAnchorAndTextBeforeHttp) {
  TSearchEngineObject& e = engines.Engine163();
  e.ParsePage(ReadFixture("engines/163_page.html"));
  EXPECT_EQ(e.TotalCount, 356);
  ExpectEntries(
      Urls(),
      {
          {"http://www.huada-jc.com.cn/", "华达机床有限公司", "专业生产各类机床，欢迎选购 "},
          {"http://www.jingji.net/product/list.asp?cid=3", "精机机床产品目录", "精密机床目录 "},
          {"http://www.boye.com.cn/", "博业机床维修", ""},
      });
}

TEST_F(ResultPage, GoogleFixtureNeedsSnapshotLinkAndCutsAtBoldEllipsis) {
  TSearchEngineObject& e = engines.Google();
  e.ParsePage(ReadFixture("engines/google_page.html"));
  EXPECT_EQ(e.TotalCount, 12300);
  ExpectEntries(
      Urls(), {
                  {"http://www.dongfang-jc.com/", "东方机床集团", "东方机床集团主营数控车床、铣床"},
                  {"http://www.xinhua-machine.com/cn/index.asp", "新华机床厂 - 首页", ""},
                  {"http://WWW.DONGFANG-JC.COM/", "东方机床（大写）", "大写主机名"},
              });
  EXPECT_EQ(e.ResultOffset, 31);
}

TEST_F(ResultPage, YahooFixtureSkipsCategoryLineAndReadsBoldCount) {
  TSearchEngineObject& e = engines.Yahoo();
  e.ParsePage(ReadFixture("engines/yahoo_page.html"));
  EXPECT_EQ(e.TotalCount, 856);
  ExpectEntries(Urls(),
                {
                    {"http://www.xinghe-jc.com/", "星河机床厂", "数控机床生产厂家，产品远销海外"},
                    {"http://www.tianma.com.cn/jc/", "天马机床", ""},
                    {"http://www.jinggong.cn:8080/", "精工机床", "带端口的网址"},
                });
}

TEST_F(ResultPage, SohuFixtureRemovesDoubleDashFiller) {
  TSearchEngineObject& e = engines.Sohu();
  e.ParsePage(ReadFixture("engines/sohu_page.html"));
  EXPECT_EQ(e.TotalCount, 45);
  ExpectEntries(Urls(), {
                            {"http://www.hongda-jc.cn/", "宏达机床公司", " 主营机床、刀具"},
                            {"http://www.fuxing.com/", "复兴机床配件", ""},
                        });
  EXPECT_EQ(e.ResultOffset, 21);
}

TEST_F(ResultPage, SinaFixtureReadsOnlyFirstLinkPerTable) {
  TSearchEngineObject& e = engines.Sina();
  e.ParsePage(ReadFixture("engines/sina_page.html"));
  EXPECT_EQ(e.TotalCount, 28);
  ExpectEntries(Urls(), {
                            {"http://www.jinma-jc.com.cn/", "金马机床", "机床制造与销售"},
                            {"http://www.qinchuan.com/", "秦川机床集团", "陕西秦川"},
                            {"http://www.baoji-jc.cn/", "宝鸡机床", ""},
                        });
  EXPECT_FALSE(state.HasURL("http://www.same-table.com/"));
}

TEST_F(ResultPage, TotalCountCleaningPerEngine) {
  struct TCase {
    TSearchEngineObject* Engine;
    std::string InfoBlock;  // UTF-8
    int32_t Expected;
  };
  const std::vector<TCase> cases = {
      {&engines.Baidu(), "找到相关网页约<b>1，234,567</b>篇，用时0.1秒", 1234567},
      {&engines.Baidu(), "找到相关网页约 2147483648 篇，用时", 0},
      {&engines.Baidu(), "找到相关网页约 2147483647 篇，用时", INT_MAX},
      {&engines.Baidu(), "找到相关网页约很多篇，用时", 0},
      {&engines.Google(), "共约有<b>12,300</b>项查询结果 用时", 12300},
      {&engines.Sohu(), "网站搜索 关键词 共有 1,200 个查询结果", 0},
      {&engines.Sohu(), "网站搜索 关键词 共有 1200 个查询结果", 1200},
      {&engines.Sina(), "相关网站共1,000个网站", 0},
      {&engines.Yahoo(), "共找到<b>77</b>个相关网站 本页", 77},
      {&engines.Engine163(), "相关网页 1-10 of 99</td>", 99},
      // "OF" passes the status test (contains, any case) but the count search is exact.
      {&engines.Engine163(), "相关网页 1-10 OF 99</td>", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.InfoBlock);
    c.Engine->InfoBlocks = {G(c.InfoBlock)};
    EXPECT_EQ(c.Engine->ReadTotalCount(), c.Expected);
  }
  // A block with the start marker but not the rest passes the scan on to the next block.
  engines.Baidu().InfoBlocks = {G("网页约 12 但没有结束"), G("网页约 34 篇")};
  EXPECT_EQ(engines.Baidu().ReadTotalCount(), 34);
  // Markers match only at character boundaries: "of" hidden across a two-byte character.
  engines.Engine163().InfoBlocks = {G("相关网页 ") + "\x81\x6F" + "f 356<"};
  EXPECT_EQ(engines.Engine163().ReadTotalCount(), 0);
}

TEST_F(ResultPage, StatusLineAndItemClassification) {
  TSearchEngineObject& yahoo = engines.Yahoo();
  EXPECT_EQ(yahoo.ClassifyBlock(G("共找到 5 个相关网站，本页显示")), -1);
  EXPECT_EQ(yahoo.ClassifyBlock(G("共找到 5 个相关网站分类，本页显示")), 0);
  EXPECT_EQ(yahoo.ClassifyBlock(G("<LI><A HREF=x>y</A>")), 1);
  // The status test comes first: a status line that looks like an item is still a status.
  TSearchEngineObject& baidu = engines.Baidu();
  EXPECT_EQ(baidu.ClassifyBlock(G("<p><span><a href=x>找到 用时</a>")), -1);
  EXPECT_EQ(baidu.ClassifyBlock(G("<p><a href=x>no span</a>")), 0);
  EXPECT_EQ(engines.Engine163().ClassifyBlock(G("<tr><td>·<a href=x>t</a>...</td>")), 1);
  EXPECT_EQ(engines.Engine163().ClassifyBlock(G("<tr><td>·<a href=x>t</a></td>")), 0);
}

TEST_F(ResultPage, TokeniserBoundariesScriptsAndOlRule) {
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.HTML = "<body><ol start=1><p class=x>a</p><script>if(a<b)\"</script><i>t";
  baidu.TokenisePage();
  // The item tag gets a boundary token; "<ol" becomes "<p>" + tag without one; the script
  // is skipped up to "</script", whose ">" starts the next text run.
  EXPECT_EQ(baidu.Tokens, (std::vector<std::string>{"<body>", "<p><ol start=1>", "<table>",
                                                    "<p class=x>", "a", "</p>", ">", "<i>"}));

  // A "<%" tag closed within itself still starts skipping, up to the next "%>"; script
  // skipping ends at "</script" in any letter case.
  TSearchEngineObject& sina = engines.Sina();
  sina.HTML = "<body><p>x<% a %><b>y</b>%>z<SCRIPT>q</SCRIPT >w<br>";
  sina.TokenisePage();
  EXPECT_EQ(sina.Tokens, (std::vector<std::string>{"<body>", "<p>", "x", "z", " >w", "<br>"}));
}

TEST_F(ResultPage, PageWithoutBodyOrWithUnterminatedScriptGivesNothingAndEnds) {
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.ParsePage(
      G("<html><table><p><a href=http://a.cn/>a</a><br>d<br><span></span>"
        "<table></html>"));
  EXPECT_TRUE(baidu.Items.empty());
  EXPECT_EQ(baidu.TotalCount, 0);
  EXPECT_TRUE(baidu.Finished);
  EXPECT_EQ(state.URLCount(), 0u);

  TSearchEngineObject& google = engines.Google();
  google.ParsePage(Page("<script>document.write('<p><a href=http://x.cn/>')") +
                   std::string(100000, 'x'));
  EXPECT_TRUE(google.Finished);
  EXPECT_EQ(state.URLCount(), 0u);
}

TEST_F(ResultPage, EndOfEngineByTotalCountOrNoNewAddress) {
  // Sohu pages by 20: a total of 20 gives one page, 21 gives two.
  auto sohuPage = [&](int total, const std::string& host) {
    return Page("<table><tr><td>网站搜索 关键词 共有" + std::to_string(total) +
                "个查询结果</td></tr></table><li><a href=http://" + host +
                "/>t</a> d <a href=y>c</a></li><table>");
  };
  TSearchEngineObject& sohu = engines.Sohu();
  sohu.ParsePage(sohuPage(20, "a.cn"));
  EXPECT_TRUE(sohu.Finished);
  EXPECT_EQ(sohu.GetNextURL(), "");

  sohu.ResetSearch();
  sohu.ParsePage(sohuPage(21, "b.cn"));
  EXPECT_FALSE(sohu.Finished);
  EXPECT_EQ(sohu.GetNextURL(),
            "http://dir.sohu.com/website.jsp?key_word=" + G("机床") + "&page_index=1");
  // The second page's count is not read again; its address is new, and 41 > 21 ends it.
  sohu.ParsePage(sohuPage(999, "c.cn"));
  EXPECT_EQ(sohu.TotalCount, 21);
  EXPECT_TRUE(sohu.Finished);
  EXPECT_EQ(state.URLCount(), 3u);

  // A page that brings only known addresses ends the engine although more are promised.
  sohu.ResetSearch();
  sohu.ParsePage(sohuPage(5000, "a.cn"));
  EXPECT_EQ(sohu.NewResults, 0);
  EXPECT_TRUE(sohu.Finished);
  EXPECT_EQ(sohu.PageCount, 1);

  // A first page without a status line: items are harvested and the engine ends.
  TSearchEngineObject& yahoo = engines.Yahoo();
  yahoo.ParsePage(Page("<li><a href=\"http://d.cn/\">d</a><table>"));
  EXPECT_EQ(yahoo.TotalCount, 0);
  EXPECT_EQ(yahoo.NewResults, 1);
  EXPECT_TRUE(yahoo.Finished);

  // An empty page (a failed fetch) ends the engine and still moves the position on.
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.SetPosition(41, 4);
  baidu.ParsePage("");
  EXPECT_TRUE(baidu.Finished);
  EXPECT_EQ(state.EngineResultOffset.load(), 51);
  EXPECT_EQ(state.EnginePageCount.load(), 5);
}

TEST_F(ResultPage, PositionNearTheIntegerLimitDoesNotOverflow) {
  TSearchEngineObject& google = engines.Google();
  google.SetPosition(INT_MAX - 5, INT_MAX);
  EXPECT_EQ(google.GetNextURL().substr(google.GetNextURL().rfind('=') + 1),
            std::to_string(int64_t{INT_MAX} - 6));
  google.ParsePage("");
  EXPECT_EQ(google.ResultOffset, INT_MAX);
  EXPECT_EQ(google.PageCount, INT_MAX);
}

TEST_F(ResultPage, LinkTitleAndDescriptionExtraction) {
  struct TLinkCase {
    std::string Rest;
    std::string Link;
    std::string RestAfter;
  };
  const std::vector<TLinkCase> cases = {
      {"><a href=\"http://a.cn/x\" t=1>T</a>", "http://a.cn/x", "T</a>"},
      {"><a href='http://a.cn/'>T</a>", "http://a.cn/", "T</a>"},
      {"><A HREF=http://a.cn/ x>T</a>", "http://a.cn/", "T</a>"},
      {"><a href=http://a.cn/>T</a>", "http://a.cn/", "T</a>"},
      {"><a href=\"\">T</a>", "", "T</a>"},
      {"><a href=\"http://a.cn/>T", "", "><a href=\"http://a.cn/>T"},
      {"><a href=http://a.cn/", "", "><a href=http://a.cn/"},
      {"><a class=x>href</a>", "", "><a class=x>href</a>"},
      {"><b href=\"http://a.cn/\">", "", "><b href=\"http://a.cn/\">"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Rest);
    std::string rest = c.Rest;
    EXPECT_EQ(TSearchEngineObject::ExtractLink(rest), c.Link);
    EXPECT_EQ(rest, c.RestAfter);
  }

  TSearchEngineObject& baidu = engines.Baidu();
  std::string rest = "no closing anchor<br>d<br>";
  EXPECT_EQ(baidu.ExtractTitle(rest), "");
  EXPECT_EQ(rest, "no closing anchor<br>d<br>");
  rest = "a<B>b</B></A>tail";
  EXPECT_EQ(baidu.ExtractTitle(rest), "ab");
  EXPECT_EQ(rest, "tail");

  EXPECT_EQ(baidu.ExtractDescription("<br>only one"), "");
  EXPECT_EQ(baidu.ExtractDescription("<BR>caps<BR>"), "");
  EXPECT_EQ(baidu.ExtractDescription("x<br><i>d...</i><br>y"), "d");
  EXPECT_EQ(engines.Google().ExtractDescription("<i>d</i><b>...</b>"), "d");
  EXPECT_EQ(engines.Google().ExtractDescription("<i>d</i><B>...</B>"), "");
  EXPECT_EQ(engines.Engine163().ExtractDescription("d... http://x"), "d ");
  EXPECT_EQ(engines.Sina().ExtractDescription("d--<a"), "d--");
  EXPECT_EQ(engines.Sohu().ExtractDescription("d--<a"), "d");
}

TEST_F(ResultPage, StripTagsStopsWhenFirstCloseComesBeforeFirstOpen) {
  TSearchEngineObject& yahoo = engines.Yahoo();
  EXPECT_EQ(yahoo.StripTags("a<b>b</b>c<i"), "abc<i");
  EXPECT_EQ(yahoo.StripTags("a>b<i>c</i>"), "a>b<i>c</i>");
  EXPECT_EQ(yahoo.StripTags("x..."), "x...");
  EXPECT_EQ(engines.Baidu().StripTags("x<b>...</b>y"), "xy");
  EXPECT_EQ(engines.Sohu().StripTags("a--b---c"), "ab-c");
}

TEST_F(ResultPage, AddressesAreNormalisedAndCanonical) {
  using E = TSearchEngineObject;
  EXPECT_EQ(E::NormaliseURL("  //www.a.cn/x "), "http://www.a.cn/x");
  EXPECT_EQ(E::NormaliseURL("www.a.cn"), "http://www.a.cn");
  EXPECT_EQ(E::NormaliseURL("https://www.a.cn/"), "https://www.a.cn/");
  EXPECT_EQ(E::NormaliseURL("HTTPS://www.a.cn/"), "HTTPS://www.a.cn/");
  EXPECT_EQ(E::NormaliseURL("Http://www.a.cn/"), "Http://www.a.cn/");
  EXPECT_EQ(E::NormaliseURL("/x.htm"), "http:///x.htm");
  EXPECT_EQ(E::NormaliseURL("javascript:go()"), "http://javascript:go()");

  EXPECT_EQ(E::CanonicalURL("http://www.a.cn"), "http://www.a.cn/");
  EXPECT_EQ(E::CanonicalURL("http://Www.A.cn/P/Q.htm?X=1#frag"), "http://Www.A.cn/P/Q.htm?X=1");
  EXPECT_EQ(E::CanonicalURL("http://u:p@a.cn:80/x"), "http://a.cn:80/x");
  EXPECT_EQ(E::CanonicalURL("http://a.cn\\dir\\x.htm"), "http://a.cn/dir/x.htm");
  EXPECT_EQ(E::CanonicalURL("https://a.cn"), "https://a.cn/");
  EXPECT_EQ(E::CanonicalURL("http:///x.htm"), std::nullopt);
  EXPECT_EQ(E::CanonicalURL("a.cn/x"), std::nullopt);
  // A backslash that is the second byte of a two-byte character stays as it is.
  EXPECT_EQ(E::CanonicalURL("http://a.cn/\x81\x5C.htm"), "http://a.cn/\x81\x5C.htm");

  // A bare host and the same host written with the slash are one entry.
  TSearchEngineObject& sohu = engines.Sohu();
  sohu.ParsePage(
      Page("<li><a href=www.a.cn>a</a><table><li><a href=\"http://www.a.cn/\">b</a>"
           "<table><li><a href=\"http://www.a.cn/#x\">c</a><table>"));
  ASSERT_EQ(state.URLCount(), 1u);
  EXPECT_EQ(state.URLAt(0).URL, "http://www.a.cn/");
  EXPECT_EQ(sohu.NewResults, 1);
}

TEST_F(ResultPage, ItemWithoutHostIsSkippedAndTheRestOfThePageIsRead) {
  TSearchEngineObject& yahoo = engines.Yahoo();
  yahoo.ParsePage(
      Page("<li><a href=\"/local.htm\">l</a><table>"
           "<li><a href=\"  \">blank</a><table>"
           "<li><a href=\"http://ok.cn\">ok</a><table>"));
  ASSERT_EQ(state.URLCount(), 1u);
  EXPECT_EQ(state.URLAt(0).URL, "http://ok.cn/");
}

TEST_F(ResultPage, DuplicatesAcrossEnginesAreNotAddedTwice) {
  state.AppendURL("http://www.acme-tools.com.cn/", "known", "");
  engines.Baidu().ParsePage(ReadFixture("engines/baidu_page.html"));
  EXPECT_EQ(engines.Baidu().NewResults, 4);
  EXPECT_EQ(state.URLAt(0).Title, "known");
  EXPECT_EQ(state.URLCount(), 5u);
}

TEST_F(ResultPage, FiveMegabyteItemIsReadWhole) {
  std::string text;
  while (text.size() < (5u << 20)) text += G("机床<b>厂</b>");
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.ParsePage(G("<body><p><a href=http://big.cn/>") + text + "</a><br>d<br><span>" +
                  std::string(1u << 16, '<') + "<table>");
  ASSERT_EQ(state.URLCount(), 1u);
  const TSearchURLResult entry = state.URLAt(0);
  // Each "机床<b>厂</b>" leaves "机床厂": the tags are gone.
  EXPECT_EQ(entry.Title.size(), text.size() / G("机床<b>厂</b>").size() * G("机床厂").size());
  EXPECT_EQ(entry.Description, "d");
}

TEST_F(ResultPage, RandomBytesNeverCrashAndEndTheEngine) {
  std::string junk;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1103515245u + 12345u;
    const char pick[] = "<>\"'%/ \n\tabhrefptlis=\x81\xA1\xD6\xFE";
    junk.push_back(pick[(x >> 16) % (sizeof pick - 1)]);
  }
  for (TSearchEngineObject* e : engines.All()) {
    e->ParsePage("<body>" + junk);
    EXPECT_TRUE(e->Finished || e->NewResults > 0);
  }
}
