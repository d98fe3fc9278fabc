// Tokens, entity folding and blocks of TParseHTML.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "test_support.h"

using testsupport::G;

namespace {

struct TTok {
  std::string text;
  bool tag;
  bool operator==(const TTok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TTok& t) {
  return os << (t.tag ? "tag[" : "text[") << t.text << "]";
}

std::vector<TTok> Tokens(const std::string& html) {
  TParseHTML p;
  p.LoadPage(html, "", "", "");
  EXPECT_EQ(p.Tokens.size(), p.TokenIsTag.size());
  std::vector<TTok> out;
  std::size_t i = 0;
  for (std::string_view token : p.Tokens) {
    if (i >= p.TokenIsTag.size()) break;
    out.push_back({std::string(token), p.TokenIsTag[i++] == 1});
  }
  return out;
}

struct TBlocks {
  std::vector<std::string> text;
  std::vector<uint8_t> endsAtTable;
};

TBlocks Blocks(const std::string& html) {
  TParseHTML p;
  p.LoadPage(html, "", "", "");
  p.BuildBlocks();
  return {p.Blocks, p.BlockEndsAtTable};
}

TTok Tag(std::string s) {
  return {std::move(s), true};
}
TTok Text(std::string s) {
  return {std::move(s), false};
}

}  // namespace

TEST(SplitTokens, TextAndTagsAlternateAndTrailingTextIsDropped) {
  EXPECT_EQ(Tokens("a<b>x</b>"),
            (std::vector<TTok>{Text("a"), Tag("<b>"), Text("x"), Tag("</b>")}));
  EXPECT_EQ(Tokens("x<br>y"), (std::vector<TTok>{Text("x"), Tag("<br>")}));
  // Blank runs between tags give no token; an unclosed tag at the end gives none either.
  EXPECT_EQ(Tokens("<p> \r\n <i>z<a href=x"),
            (std::vector<TTok>{Tag("<p>"), Tag("<i>"), Text("z")}));
}

TEST(SplitTokens, PagesWithoutTagsGiveNothing) {
  EXPECT_TRUE(Tokens("").empty());
  EXPECT_TRUE(Tokens("plain text, no markup at all > here").empty());
  EXPECT_TRUE(Tokens(G("只有文字的页面")).empty());
}

TEST(SplitTokens, WhitespaceCollapsesEverywhere) {
  EXPECT_EQ(Tokens("  a \r\n\t b  <i>"), (std::vector<TTok>{Text(" a b "), Tag("<i>")}));
  // Inside tags and quoted values too; case is kept.
  EXPECT_EQ(Tokens("<A  HREF=\"a\t\tb\"\r\n>"), (std::vector<TTok>{Tag("<A HREF=\"a b\" >")}));
}

TEST(SplitTokens, DoubleQuoteInTextHidesTagsUntilTheNextQuote) {
  EXPECT_EQ(Tokens("<p>say \"hi<b>there<i>\" ok<br>"),
            (std::vector<TTok>{Tag("<p>"), Text("say \"hi<b>there<i>\" ok"), Tag("<br>")}));
  // A single quote does nothing.
  EXPECT_EQ(Tokens("it's<b>"), (std::vector<TTok>{Text("it's"), Tag("<b>")}));
}

TEST(SplitTokens, GreaterThanInsideAQuotedValueEndsTheTag) {
  EXPECT_EQ(Tokens("<a title=\"1>2\" href=\"z\">go</a>"),
            (std::vector<TTok>{Tag("<a title=\"1>"), Text("2\" href=\"z\">go"), Tag("</a>")}));
}

TEST(SplitTokens, OpenBracketInsideATagStartsANewOne) {
  // The unfinished tag becomes text (and is folded like text).
  EXPECT_EQ(Tokens("<a &nbsp;<b>"), (std::vector<TTok>{Text("<a  "), Tag("<b>")}));
}

TEST(SplitTokens, NulAndControlBytesAreKept) {
  const std::string html("<b>a\0b\x01<i>", 10);
  EXPECT_EQ(Tokens(html),
            (std::vector<TTok>{Tag("<b>"), Text(std::string("a\0b\x01", 4)), Tag("<i>")}));
}

TEST(SplitTokens, SecondByteOfAChineseCharacterIsNeverMarkup) {
  // Invalid but seen in the wild: a lead byte followed by '"', '<', '>' or a blank. The pair
  // is copied as one unit.
  EXPECT_EQ(Tokens("<b>\x81\"x<i>"), (std::vector<TTok>{Tag("<b>"), Text("\x81\"x"), Tag("<i>")}));
  EXPECT_EQ(Tokens("<b>\x81<x<i>"), (std::vector<TTok>{Tag("<b>"), Text("\x81<x"), Tag("<i>")}));
  EXPECT_EQ(Tokens("<a x=\x81>y>"), (std::vector<TTok>{Tag("<a x=\x81>y>")}));
  EXPECT_EQ(Tokens("<b>\x81  \x81\n<i>"),
            (std::vector<TTok>{Tag("<b>"), Text("\x81  \x81\n"), Tag("<i>")}));
  // A lead byte as the very last byte is harmless.
  EXPECT_EQ(Tokens("<b>\xB0"), (std::vector<TTok>{Tag("<b>")}));
}

TEST(FoldEntities, SpacesAndColonsOnly) {
  EXPECT_EQ(TParseHTML::FoldEntities("a&NBSP;b&nbspc&Copy;d&copye"), "a b c d e");
  EXPECT_EQ(TParseHTML::FoldEntities("&amp;&lt;&#160;&nbsp"), "&amp;&lt;&#160; ");
  EXPECT_EQ(TParseHTML::FoldEntities(G("电话：0571-1234567")), G("电话:0571-1234567"));
  EXPECT_EQ(TParseHTML::FoldEntities(G("地　址")), G("地 址"));
  // Order of the table: "&nbsp;" first, so the semicolon goes with it.
  EXPECT_EQ(TParseHTML::FoldEntities("&nbsp;;"), " ;");
}

TEST(FoldEntities, NeverSplitsAChineseCharacter) {
  // The bytes of "海海" contain those of "："; "上海海德" must come through unchanged.
  EXPECT_EQ(TParseHTML::FoldEntities(G("上海海德有限公司")), G("上海海德有限公司"));
  EXPECT_EQ(TParseHTML::FoldEntities(G("上海海德：海")), G("上海海德:海"));
  // Second bytes that look like Latin letters or brackets are not folded or matched.
  const std::string odd =
      "\x81"
      "A"
      "\x81["
      "\x95\\"
      "\x81]"
      "\x81{"
      "\x81}"
      "\x81|";
  EXPECT_EQ(TParseHTML::FoldEntities(odd), odd);
  EXPECT_EQ(TParseHTML::FoldEntities("\x81&nbsp;"), "\x81&nbsp;");
}

TEST(SplitTokens, TextTokensAreFoldedAndTagsAreNot) {
  EXPECT_EQ(Tokens(G("<td title=\"&nbsp;：\">电话：12&nbsp;34</td>")),
            (std::vector<TTok>{Tag(G("<td title=\"&nbsp;：\">")), Text("\xB5\xE7\xBB\xB0:12 34"),
                               Tag("</td>")}));
  // A token that is only "&nbsp;" is still stored: the blank test comes before folding.
  EXPECT_EQ(Tokens("<i>&nbsp;<b>"), (std::vector<TTok>{Tag("<i>"), Text(" "), Tag("<b>")}));
}

// Tokens are held in chunks: they read back in order across chunk ends, a token larger than
// any chunk included; a reader letting go of the chunks behind it still reads on.
TEST(TokenList, TokensCrossChunksAndAReaderLetsGoBehindItself) {
  std::vector<std::string> want;
  for (int i = 0; i < 40000; ++i)
    want.push_back(i == 30000 ? std::string(3 << 20, 'x') : "<p class=" + std::to_string(i) + ">");
  want.push_back("");
  TTokenList list;
  for (const auto& t : want) list.push_back(t);
  ASSERT_EQ(list.size(), want.size());
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), want);

  std::size_t n = 0;
  for (auto it = list.begin(); it != list.end(); ++it, ++n) {
    if (n % 1000 == 0) list.LetGoBefore(it);
    ASSERT_EQ(*it, want[n]);
  }
  EXPECT_EQ(n, want.size());
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.begin(), list.end());
  list.push_back("a");
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), std::vector<std::string>{"a"});
}

TEST(ClassifyTag, KindsByContainment) {
  EXPECT_EQ(TParseHTML::ClassifyTag("<TABLE width=1>"), 1);
  EXPECT_EQ(TParseHTML::ClassifyTag("</Table>"), -1);
  EXPECT_EQ(TParseHTML::ClassifyTag("<a title=\"<table\">"), 1);
  EXPECT_EQ(TParseHTML::ClassifyTag("<x y=\"</table\" z=\"<table\">"), 1);
  for (const char* tag :
       {"<p>", "</P>", "<tr class=a>", "</tr>", "<BR/>", "</br>", "<ul>", "</ol>", "<li>", "</dl>",
        "<dt>", "</dd>", "<param name=x>", "<pre>", "<link rel=x>"})
    EXPECT_EQ(TParseHTML::ClassifyTag(tag), 0) << tag;
  for (const char* tag : {"<td>", "</td>", "<span>", "<b>", "<div class=p>", "<a href=x>", "<>"})
    EXPECT_EQ(TParseHTML::ClassifyTag(tag), -2) << tag;
  // "<" as the second byte of a two-byte character is not a tag start.
  EXPECT_EQ(TParseHTML::ClassifyTag("<a t=\"\x81<table\">"), -2);
}

TEST(BuildBlocks, OnlyTheBodyCounts) {
  const auto b = Blocks("<html><head><title>Head</title></head><BODY bgcolor=white>Body</body>");
  EXPECT_EQ(b.text, (std::vector<std::string>{"Body"}));
  EXPECT_EQ(b.endsAtTable, (std::vector<uint8_t>{0}));
  EXPECT_TRUE(Blocks("<frameset><frame src=a></frameset>text<p>more<p>").text.empty());
  EXPECT_TRUE(Blocks("plain text only").text.empty());
}

TEST(BuildBlocks, TableTagsCutBlocksAndRowsAreLineBreaks) {
  const auto b = Blocks("<body><table><tr><td>A</td></tr><tr><td>B</td></tr></table>C</body>");
  EXPECT_EQ(b.text, (std::vector<std::string>{"A \n B", "C"}));
  EXPECT_EQ(b.endsAtTable, (std::vector<uint8_t>{1, 0}));
}

TEST(BuildBlocks, LineBreaksCollapseAndOtherTagsBecomeSpaces) {
  EXPECT_EQ(Blocks("<body>x<br><br/><p>y<span>z</span><td>w</td>").text,
            (std::vector<std::string>{"x\ny z  w"}));
  // Every other tag adds one space; text runs are trimmed; a run blank after folding adds nothing.
  EXPECT_EQ(Blocks("<body> a <!-- c --> b <i>&nbsp;</i>c</body>").text,
            (std::vector<std::string>{"a b  c"}));
}

TEST(BuildBlocks, NestedTablesSplitAtEveryTableTagAndBlankBuffersStay) {
  const auto b = Blocks(
      "<body><table><tr><td>out1<table><tr><td>in</td></tr></table>out2</td></tr></table>"
      "<table><tr><td></td></tr></table><p>tail</p>");
  EXPECT_EQ(b.text, (std::vector<std::string>{"out1", "in", "out2", "tail"}));
  EXPECT_EQ(b.endsAtTable, (std::vector<uint8_t>{1, 1, 1, 0}));
}

TEST(BuildBlocks, LineBreakStateSurvivesTableTags) {
  // The break before the table is kept in the blank buffer; the one after it is collapsed.
  EXPECT_EQ(Blocks("<body>a<table>b<br></table><br>c</body>").text,
            (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Blocks("<body><br><table><br>x</body>").text, (std::vector<std::string>{"x"}));
}

TEST(BuildBlocks, QuotedBodyTagInTextAlsoOpensTheBody) {
  // The stray quote turns the body tag into text; that text token still holds "<body".
  EXPECT_EQ(Blocks("<p>\"<body>\" z<i>tail<br>").text, (std::vector<std::string>{"tail"}));
}

TEST(ParseHtmlLifeCycle, LoadPageDiscardsEverythingOfThePreviousPage) {
  TParseHTML p;
  p.LoadPage("<body><table><tr><td>x</td></tr></table>", "t", "http://a/", "d");
  p.BuildBlocks();
  p.BaseTag = "b";
  p.SiteKey = "k";
  p.BaseURL = "u";
  p.MailtoTags = {"m"};
  p.LinkTags = {"l"};
  for (auto* list : {&p.Companies, &p.Addresses, &p.PostCodes, &p.Telephones, &p.Faxes, &p.Emails,
                     &p.WebAddresses, &p.Descriptions})
    list->push_back("x");
  p.PriorityLinks.push_back("x");
  p.OtherLinks.push_back("x");
  for (int f = 0; f < 5; ++f) {
    p.LabelPos[f].push_back(1);
    p.ValuePos[f].push_back(2);
  }
  p.LoadPage("<b>", "t2", "http://b/", "d2");
  EXPECT_EQ(p.HTML, "<b>");
  EXPECT_EQ(p.Title, "t2");
  EXPECT_EQ(p.PageURL, "http://b/");
  EXPECT_EQ(p.Description, "d2");
  EXPECT_EQ(std::vector<std::string>(p.Tokens.begin(), p.Tokens.end()),
            (std::vector<std::string>{"<b>"}));
  EXPECT_TRUE(p.Blocks.empty() && p.BlockEndsAtTable.empty() && p.BaseTag.empty() &&
              p.SiteKey.empty() && p.BaseURL.empty() && p.MailtoTags.empty() && p.LinkTags.empty());
  for (auto* list : {&p.Companies, &p.Addresses, &p.PostCodes, &p.Telephones, &p.Faxes, &p.Emails,
                     &p.WebAddresses, &p.Descriptions})
    EXPECT_TRUE(list->empty());
  EXPECT_TRUE(p.PriorityLinks.empty() && p.OtherLinks.empty());
  for (int f = 0; f < 5; ++f) EXPECT_TRUE(p.LabelPos[f].empty() && p.ValuePos[f].empty());
}

TEST(ParseHtmlLifeCycle, NullSettingsMeanAnEmptyRecord) {
  TParseHTML p;
  EXPECT_TRUE(p.Settings().AddressLike.empty());
  auto set = std::make_shared<TGlobalSet>();
  set->AddressLike = {"x"};
  p.SetSettings(set);
  EXPECT_EQ(p.Settings().AddressLike, (TLikeList{"x"}));
  p.SetSettings(nullptr);
  EXPECT_TRUE(p.Settings().AddressLike.empty());
}

TEST(BuildBlocks, CalledTwiceGivesTheSameBlocks) {
  TParseHTML p;
  p.LoadPage("<body>a<table>b<i>", "", "", "");
  p.BuildBlocks();
  p.BuildBlocks();
  EXPECT_EQ(p.Blocks, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(p.BlockEndsAtTable, (std::vector<uint8_t>{1, 0}));
}

// Pathological inputs must stay linear: each of these would take minutes if any step
// rescanned its buffer per byte or per tag.
TEST(ParseHtmlBadInput, HugeInputsStayLinear) {
  const auto start = std::chrono::steady_clock::now();
  {
    TParseHTML p;  // 10 MB without a tag
    p.LoadPage(std::string(10 << 20, 'x'), "", "", "");
    p.BuildBlocks();
    EXPECT_TRUE(p.Tokens.empty());
  }
  {
    TParseHTML p;  // one 10 MB tag full of "<" inside quotes, then a body
    p.LoadPage("<a \"" + std::string(10 << 20, '<') + "\">", "", "", "");
    p.BuildBlocks();
    EXPECT_EQ(p.Tokens.size(), 1u);
    EXPECT_EQ(TParseHTML::ClassifyTag(*p.Tokens.begin()), -2);
  }
  {
    TParseHTML p;  // spaces from 500k spans kept in a blank buffer across 500k table tags
    std::string html = "<body>";
    for (int i = 0; i < 500000; ++i) html += "<i>";
    for (int i = 0; i < 500000; ++i) html += "<table>";
    html += "end";
    p.LoadPage(html, "", "", "");
    p.BuildBlocks();
    EXPECT_TRUE(p.Blocks.empty());
  }
  {
    TParseHTML p;  // NULs, quotes and brackets in an unbalanced mix
    std::string html;
    for (int i = 0; i < 1 << 19; ++i) html += std::string("\0\"<body><\x81<table \"", 19);
    p.LoadPage(html, "", "", "");
    p.BuildBlocks();
    EXPECT_EQ(p.Tokens.size(), p.TokenIsTag.size());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// Entity folding in one pass must equal replacing each form in turn over the whole text.
TEST(FoldEntities, AgreesWithReplacingEachFormInTurn) {
  const char alphabet[] = {'&', 'n', 'N', 'b',    's',    'p',    'c',   'o',
                           'y', ';', ' ', '\xA1', '\xA3', '\xBA', '\x81'};
  std::mt19937 rng(11);
  for (int round = 0; round < 20000; ++round) {
    std::string text(rng() % 17, ' ');
    for (char& c : text) c = alphabet[rng() % sizeof alphabet];
    std::string expected = text;
    for (const char* entity : {"&nbsp;", "&nbsp", "&copy;", "&copy"})
      expected = gbk::ReplaceAllNoCase(expected, entity, " ");
    expected = gbk::ReplaceAll(expected, G("　"), " ");
    expected = gbk::ReplaceAll(expected, G("："), ":");
    ASSERT_EQ(TParseHTML::FoldEntities(text), expected) << round;
  }
}

// A set stop flag ends a page's work before it starts and marks it partial; cleared, the flag
// changes nothing: both recognitions give what a parser without a flag gives.
TEST(ParseHtmlLifeCycle, StopFlagCutsThePageShortAndOtherwiseChangesNothing) {
  const std::string page =
      G("<html><body><a href='/contact.htm'>联系</a><table><tr><td>上海海德机械有限公司<br>"
        "地址：上海市浦东新区碧波路690号<br>电话：021-50801234<br>传真：021-50801235<br>"
        "E-mail：sales@haide.com.cn</td></tr></table></body></html>");
  for (const bool modern : {false, true}) {
    TGlobalSet set = FactoryGlobalSet();
    set.FlagModernRecognition = modern;
    const auto settings = std::make_shared<const TGlobalSet>(set);
    TParseHTML plain(settings), flagged(settings);
    std::atomic<bool> stop{true};
    flagged.SetCancelFlag(&stop);
    flagged.LoadPage(page, "t", "http://www.haide.localhost/", "d");
    flagged.Analyse();
    flagged.ExtractLinks();
    EXPECT_TRUE(flagged.Interrupted());
    EXPECT_TRUE(flagged.Companies.empty() && flagged.OtherLinks.empty() &&
                flagged.PriorityLinks.empty());

    stop = false;
    for (TParseHTML* p : {&plain, &flagged}) {
      p->LoadPage(page, "t", "http://www.haide.localhost/", "d");
      p->Analyse();
      p->ExtractLinks();
    }
    EXPECT_FALSE(flagged.Interrupted());
    ASSERT_EQ(plain.Companies.size(), 1u) << modern;
    EXPECT_EQ(flagged.Companies, plain.Companies);
    EXPECT_EQ(flagged.Telephones, plain.Telephones);
    EXPECT_EQ(flagged.Emails, plain.Emails);
    EXPECT_EQ(flagged.PriorityLinks, plain.PriorityLinks);
    EXPECT_EQ(flagged.OtherLinks, plain.OtherLinks);
  }
}
