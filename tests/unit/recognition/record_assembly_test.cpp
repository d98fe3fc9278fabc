// Record assembly: validation, completion from the site entry, mailto fallback.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;

namespace {

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override { Use(testsupport::FactorySettings()); }
  void Use(const TGlobalSet& set) { parser_.SetSettings(std::make_shared<const TGlobalSet>(set)); }
  void Flags(bool addressAndPostCode, bool telAndFax, bool mail) {
    TGlobalSet set = testsupport::FactorySettings();
    set.FlagFindAddressAndPostCode = addressAndPostCode;
    set.FlagFindTelAndFax = telAndFax;
    set.FlagFindMailAddress = mail;
    Use(set);
  }
  // Loads a page whose body is `bodyUtf8` and analyses it.
  std::size_t Analyse(const std::string& bodyUtf8, const std::string& titleUtf8 = "",
                      const std::string& descriptionUtf8 = "", const std::string& headUtf8 = "") {
    parser_.LoadPage(G("<html><head>" + headUtf8 + "</head><body>" + bodyUtf8 + "</body></html>"),
                     G(titleUtf8), " http://www.example.com/lx.htm ", G(descriptionUtf8));
    parser_.Analyse();
    ExpectEqualLengths();
    return parser_.Companies.size();
  }
  void ExpectEqualLengths() {
    const std::size_t n = parser_.Companies.size();
    for (const auto* list :
         {&parser_.Addresses, &parser_.PostCodes, &parser_.Telephones, &parser_.Faxes,
          &parser_.Emails, &parser_.WebAddresses, &parser_.Descriptions})
      EXPECT_EQ(list->size(), n);
  }
  TParseHTML parser_;
};

TEST_F(RecordTest, AddRecordNeedsAContactField) {
  parser_.Title = G("明远化工");
  EXPECT_FALSE(parser_.AddRecord(G("明远"), " ", "", "", "", " ", 1));
  // With address or phone search on, an e-mail alone is not enough.
  EXPECT_FALSE(parser_.AddRecord(G("明远"), "", "", "", "", "a@b.cn", 1));
  Flags(false, false, true);
  EXPECT_TRUE(parser_.AddRecord(G("明远"), "", "", "", "", "a@b.cn", 1));
  ExpectEqualLengths();
}

TEST_F(RecordTest, AddRecordCompletesTheNameFromTheTitle) {
  parser_.PageURL = " http://www.example.com/ ";
  parser_.Description = G(" 化工原料 ");

  parser_.Title = " ";
  EXPECT_FALSE(parser_.AddRecord("", "", "", " 0571-88231234 ", "", "", 1));
  parser_.Title = G(" 明远化工 ");
  EXPECT_FALSE(parser_.AddRecord("", "", "", "0571-88231234", "", "", 2));
  ASSERT_TRUE(parser_.AddRecord("", "", "", " 0571-88231234 ", "", "", 1));
  EXPECT_EQ(parser_.Companies.back(), G("明远化工"));
  EXPECT_EQ(parser_.Descriptions.back(), G(" 化工原料 "));  // kept as given
  EXPECT_EQ(parser_.Telephones.back(), "0571-88231234");
  EXPECT_EQ(parser_.WebAddresses.back(), "http://www.example.com/");

  ASSERT_TRUE(parser_.AddRecord(G("杭州明远化工有限公司 "), "", "", "1", "", "", 3));
  EXPECT_EQ(parser_.Companies.back(), G("明远化工;杭州明远化工有限公司"));
  EXPECT_EQ(parser_.Descriptions.back(), "");

  ASSERT_TRUE(parser_.AddRecord(G("明远化工"), "", "", "1", "", "", 1));
  EXPECT_EQ(parser_.Companies.back(), G("明远化工"));

  parser_.Title = "";
  ASSERT_TRUE(parser_.AddRecord(G("杭州明远化工有限公司"), "", "", "1", "", "", 1));
  EXPECT_EQ(parser_.Companies.back(), G("杭州明远化工有限公司"));
  ExpectEqualLengths();
}

TEST_F(RecordTest, ModernRecognitionNamesTheRecordByThePageAndDescribesItByTheTitle) {
  TGlobalSet set = testsupport::FactorySettings();
  set.FlagModernRecognition = true;
  Use(set);
  parser_.Title = G(" 宁波精工包装集团有限公司-包装材料-宁波专业包装材料厂家 ");
  ASSERT_TRUE(parser_.AddRecord(G("宁波精工包装集团有限公司"), "", "", "0574-87654321", "", "", 1));
  EXPECT_EQ(parser_.Companies.back(), G("宁波精工包装集团有限公司"));
  EXPECT_EQ(parser_.Descriptions.back(),
            G("宁波精工包装集团有限公司-包装材料-宁波专业包装材料厂家"));
  ASSERT_TRUE(parser_.AddRecord(G("宁波精工包装集团有限公司-包装材料-宁波专业包装材料厂家"), "", "",
                                "1", "", "", 1));
  EXPECT_EQ(parser_.Descriptions.back(), "");  // the title itself: nothing to add
}

TEST_F(RecordTest, TelephoneOnlyBlockTakesTheTitle) {
  ASSERT_EQ(Analyse("<p>电话：0571-88231234</p>", "明远化工", "化工原料"), 1u);
  EXPECT_EQ(parser_.Companies[0], G("明远化工"));
  EXPECT_EQ(parser_.Descriptions[0], G("化工原料"));
  EXPECT_EQ(parser_.Telephones[0], "0571-88231234");
  EXPECT_EQ(parser_.WebAddresses[0], "http://www.example.com/lx.htm");
  EXPECT_EQ(Analyse("<p>电话：0571-88231234</p>"), 0u);
}

TEST_F(RecordTest, EmailLabelAloneGivesNoRecordWithAllSwitchesOn) {
  EXPECT_EQ(Analyse("<p>E-mail：sales@example.com</p>", "明远化工"), 0u);
}

TEST_F(RecordTest, CountAboveOneAtPageEndNeedsACompanyName) {
  const std::string body = "<p>电话：0571-88231234</p><p>电话：0571-88231235</p>";
  EXPECT_EQ(Analyse(body, "明远化工"), 0u);
  ASSERT_EQ(Analyse("<p>杭州明远化工有限公司</p>" + body, "明远化工"), 1u);
  EXPECT_EQ(parser_.Companies[0], G("明远化工;杭州明远化工有限公司"));
  EXPECT_EQ(parser_.Telephones[0], "0571-88231234");  // the first hit that gives a value
}

TEST_F(RecordTest, OneRecordTakesTheFirstHitThatGivesAValue) {
  ASSERT_EQ(Analyse("<p>杭州明远化工有限公司</p><p>电话：请来电咨询</p><p>电话：0571-88231235</p>"),
            1u);
  EXPECT_EQ(parser_.Telephones[0], "0571-88231235");
}

TEST_F(RecordTest, DisabledFieldsStayEmpty) {
  Flags(true, false, true);
  const std::string body =
      "<p>地址：杭州市文三路90号</p><p>电话：0571-88231234</p><p>传真：0571-88231235</p>"
      "<p>E-mail：sales@example.com</p>";
  ASSERT_EQ(Analyse(body, "明远化工"), 1u);
  EXPECT_EQ(parser_.Addresses[0], G("杭州市文三路90号"));
  EXPECT_EQ(parser_.Telephones[0], "");
  EXPECT_EQ(parser_.Faxes[0], "");
  EXPECT_EQ(parser_.Emails[0], "sales@example.com");
}

TEST_F(RecordTest, TableBlockWithSeveralRecords) {
  Flags(false, true, false);
  const std::string body =
      "<table><tr><td>北京分公司</td></tr><tr><td>电话：010-62345678 传真：010-62345679</td></tr>"
      "<tr><td>广州分公司</td></tr><tr><td>电话：020-38761234 传真：020-38761235</td></tr>"
      "<tr><td>成都办事处</td></tr><tr><td>电话：028-85551234</td></tr></table>";
  ASSERT_EQ(Analyse(body, "华东重工"), 2u);
  EXPECT_EQ(parser_.Companies[0], G("华东重工;北京分公司"));
  EXPECT_EQ(parser_.Telephones[0], "010-62345678");
  EXPECT_EQ(parser_.Faxes[0], "010-62345679");
  EXPECT_EQ(parser_.Companies[1], G("华东重工;广州分公司"));
  EXPECT_EQ(parser_.Telephones[1], "020-38761234");
  EXPECT_EQ(parser_.Faxes[1], "020-38761235");
}

TEST_F(RecordTest, ColonFoldKeepsNamesWhole) {
  ASSERT_EQ(Analyse("<p>上海海德科技有限公司</p><p>电话：021-54421234</p>"), 1u);
  EXPECT_EQ(parser_.Companies[0], G("上海海德科技有限公司"));
}

TEST_F(RecordTest, MailtoFillsTheEmailOfASingleRecord) {
  const std::string body =
      "<p>电话：0571-88231234</p><a href=\"mailto:a@example.com\">a</a>"
      "<a href=\"mailto:b@example.com\">b</a>";
  ASSERT_EQ(Analyse(body, "明远化工"), 1u);
  EXPECT_EQ(parser_.Emails[0], "b@example.com;a@example.com");

  Flags(true, true, false);
  ASSERT_EQ(Analyse(body, "明远化工"), 1u);
  EXPECT_EQ(parser_.Emails[0], "");
}

TEST_F(RecordTest, MailtoOnlyPageWithOnlyEmailSearch) {
  Flags(false, false, true);
  const std::string body =
      "<p>欢迎联系</p><a href=\"mailto:a@example.com\">a</a>"
      "<a href=\"mailto:b@example.com\">b</a><A HREF=\"MAILTO:B@Example.com\">b</A>";
  ASSERT_EQ(Analyse(body, "明远化工", "化工原料"), 1u);
  EXPECT_EQ(parser_.Companies[0], G("明远化工"));
  EXPECT_EQ(parser_.Emails[0], "b@example.com;a@example.com");
  EXPECT_EQ(parser_.Descriptions[0], G("化工原料"));
  EXPECT_EQ(parser_.MailtoTags.size(), 3u);

  EXPECT_EQ(Analyse(body), 0u);  // no title, no name
  Flags(false, true, true);
  EXPECT_EQ(Analyse(body, "明远化工"), 0u);
}

TEST_F(RecordTest, HarvestMailtoReadsTheWholePage) {
  Flags(false, false, true);
  ASSERT_EQ(Analyse("<a href='mailto:c@example.com?subject=hi'>c</a>", "明远化工", "",
                    "<a href=\"mailto:head@example.com\"></a>"),
            1u);
  // Single-quoted addresses lose their quotes too.
  EXPECT_EQ(parser_.Emails[0], "c@example.com?subject=hi;head@example.com");
  EXPECT_EQ(parser_.HarvestMailto(), parser_.Emails[0]);
}

TEST_F(RecordTest, LastEmailBlockNamesTheMailtoRecord) {
  Flags(false, false, true);
  const std::string body =
      "<table><tr><td>杭州明远化工有限公司</td></tr>"
      "<tr><td>E-mail：<a href=\"mailto:a@example.com\">联系我们</a></td></tr></table>";
  ASSERT_EQ(Analyse(body, "明远化工"), 1u);
  EXPECT_EQ(parser_.Companies[0], G("明远化工;杭州明远化工有限公司"));
  EXPECT_EQ(parser_.Emails[0], "a@example.com");
  EXPECT_EQ(parser_.Descriptions[0], "");
}

TEST_F(RecordTest, AnalysingTwiceGivesTheSameRecords) {
  Analyse("<p>电话：0571-88231234</p>", "明远化工");
  parser_.Analyse();
  EXPECT_EQ(parser_.Companies.size(), 1u);
  EXPECT_EQ(parser_.Blocks.size(), 1u);
  ExpectEqualLengths();
}

}  // namespace

namespace {

// Random pages made of markup, labels, values and stray bytes: Analyse never fails and the
// record lists stay parallel.
TEST_F(RecordTest, RandomPagesKeepTheListsParallel) {
  const std::vector<std::string> pieces = {"<body>",
                                           "<table>",
                                           "</table>",
                                           "<tr>",
                                           "<br>",
                                           "<p>",
                                           "<td>",
                                           "\"",
                                           "'",
                                           " ",
                                           "\n",
                                           ":",
                                           G("："),
                                           G("电话"),
                                           G("传 真"),
                                           G("地址"),
                                           G("邮编"),
                                           "E-mail",
                                           G("公司名称"),
                                           G("有限公司"),
                                           G("市"),
                                           "0571-88231234",
                                           "310012",
                                           "a@b.com",
                                           G("上海海德"),
                                           "<a href=\"mailto:x@y.cn\">",
                                           "<A HREF='mailto:z@y.cn'>",
                                           "</a>",
                                           "\x81",
                                           "\xFE",
                                           "\x80",
                                           "&nbsp;",
                                           std::string(1, '\0'),
                                           "@",
                                           "."};
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string html;
    const int n = static_cast<int>(rng() % 120);
    for (int i = 0; i < n; ++i) html += pieces[rng() % pieces.size()];
    Flags(rng() % 2, rng() % 2, rng() % 2);
    parser_.LoadPage(html, rng() % 2 ? G("明远") : "", "http://a.cn/", "d");
    parser_.Analyse();
    ExpectEqualLengths();
    for (int f = 0; f < 5; ++f) {
      ASSERT_EQ(parser_.LabelPos[f].size(), parser_.ValuePos[f].size());
      ASSERT_TRUE(std::is_sorted(parser_.LabelPos[f].begin(), parser_.LabelPos[f].end()));
    }
  }
}

}  // namespace

namespace {

// The mailto rule as plainly written: the joined result is searched anew for every line.
std::string PlainHarvest(const std::vector<std::string>& mailtoTags) {
  std::string joined;
  for (const auto& tag : mailtoTags) {
    if (!joined.empty()) joined.push_back('\n');
    joined.append(tag);
  }
  for (const char* sep : {" ", ":", ">", "\"", "'"}) joined = gbk::ReplaceAll(joined, sep, "\n");
  std::string result;
  std::size_t from = 0;
  while (from <= joined.size()) {
    std::size_t lf = joined.find('\n', from);
    if (lf == std::string::npos) lf = joined.size();
    const std::string line = gbk::Trim(std::string_view(joined).substr(from, lf - from));
    from = lf + 1;
    if (!TParseHTML::IsEmail(line) || gbk::ContainsNoCase(result, line)) continue;
    result = result.empty() ? line : line + ";" + result;
  }
  return result;
}

TEST_F(RecordTest, HarvestMailtoMatchesThePlainRuleOnManyAddresses) {
  // Addresses that are parts of others, differ in case, hold ";" or Chinese characters.
  const std::vector<std::string> parts = {"a",  "A",  "ab", "b", "@", ".",     ".c",   "cn", ";",
                                          "x@", "@b", "1",  "2", " ", G("海"), "\x81", "om"};
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    std::string body;
    const int anchors = static_cast<int>(rng() % 12);
    for (int i = 0; i < anchors; ++i) {
      std::string address;
      const int n = 1 + static_cast<int>(rng() % 7);
      for (int k = 0; k < n; ++k) address += parts[rng() % parts.size()];
      body += "<a href=\"mailto:" + address + "\">m</a>";
    }
    parser_.LoadPage("<body>" + body, "", "", "");
    const std::string fast = parser_.HarvestMailto();
    ASSERT_EQ(fast, PlainHarvest(parser_.MailtoTags)) << "round " << round;
  }

  // Twenty thousand distinct addresses, newest first (the speed is measured in the bench).
  std::string body;
  for (int i = 0; i < 20000; ++i)
    body += "<a href=\"mailto:user" + std::to_string(i) + "@example.com\">m</a>";
  parser_.LoadPage("<body>" + body, "", "", "");
  const std::string all = parser_.HarvestMailto();
  EXPECT_EQ(std::count(all.begin(), all.end(), ';'), 19999);
  EXPECT_TRUE(all.starts_with("user19999@example.com;user19998@"));
}

}  // namespace
