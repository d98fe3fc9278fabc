// Value regions, field extractors, shape tests and company names on block text.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;

namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override { parser_.SetSettings(testsupport::FactorySnapshot()); }

  // Counts the block's records, then extracts field f from its k-th value start.
  std::string Extract(const std::string& block, int f, int k = 0) {
    parser_.CountRecords(block);
    if (static_cast<std::size_t>(k) >= parser_.ValuePos[f].size()) return "<no label>";
    const int32_t start = parser_.ValuePos[f][k] + 1;
    switch (f) {
      case 0:
        return parser_.ExtractAddress(block, start);
      case 1:
        return parser_.ExtractPostCode(block, start);
      case 2:
        return parser_.ExtractTelephone(block, start);
      case 3:
        return parser_.ExtractFax(block, start);
      default:
        return parser_.ExtractEmail(block, start);
    }
  }

  TParseHTML parser_;
};

TEST_F(FieldTest, ValueStopsBeforeTheNextLabelOfAnyField) {
  const std::string block = G("地址:杭州市文三路90号 联系电话:0571-88231234\n邮编:310012");
  EXPECT_EQ(Extract(block, 0), G("杭州市文三路90号"));
  EXPECT_EQ(Extract(block, 2), "0571-88231234");
  EXPECT_EQ(Extract(block, 1), "310012");
}

TEST_F(FieldTest, ColonLaterOnTheLineBelongsToTheFirstLabel) {
  EXPECT_EQ(Extract(G("电话0571-88231234 传真:0571-88231235"), 2), "0571-88231235");
  EXPECT_EQ(Extract(G("电话0571-88231234 传真:12345"), 2), "");
}

TEST_F(FieldTest, PostCodeShapes) {
  EXPECT_TRUE(TParseHTML::IsPostCode(G("３１００１２")));
  EXPECT_FALSE(TParseHTML::IsPostCode("12345 6"));
  EXPECT_FALSE(TParseHTML::IsPostCode("12345"));
  EXPECT_TRUE(TParseHTML::IsPostCode(G("邮政编码是1234567")));
  // The whole line is the value, in its written form.
  EXPECT_EQ(Extract(G("邮编:３１００１２ 杭州\n电话:0571-88231234"), 1), G("３１００１２ 杭州"));
  EXPECT_EQ(Extract(G("邮编:\n\n  310012 \n"), 1), "310012");
  EXPECT_EQ(Extract(G("邮编:31001\n310012"), 1), "");
}

TEST_F(FieldTest, PhoneShapes) {
  EXPECT_FALSE(TParseHTML::IsPhoneNumber("(010)x"));
  EXPECT_TRUE(TParseHTML::IsPhoneNumber("0571-8823123"));
  EXPECT_TRUE(TParseHTML::IsPhoneNumber("0 5 7 1 8 8"));
  EXPECT_TRUE(TParseHTML::IsPhoneNumber(G("（０５７）８")));
  EXPECT_FALSE(TParseHTML::IsPhoneNumber(G("１２３、ab")));
  // The test is on single bytes: the second byte of "癩" is "]".
  EXPECT_TRUE(TParseHTML::IsPhoneNumber(G("癩12345")));
  EXPECT_FALSE(TParseHTML::IsPhoneNumber("12345"));
  EXPECT_TRUE(TParseHTML::IsPhoneChar(']'));
  EXPECT_FALSE(TParseHTML::IsPhoneChar(':'));
  // Stored values keep their written form.
  EXPECT_EQ(Extract(G("传真:（０５７７）８６９１２３４６"), 3), G("（０５７７）８６９１２３４６"));
}

TEST_F(FieldTest, EmailShape) {
  EXPECT_TRUE(TParseHTML::IsEmail("a@b.cn"));
  EXPECT_TRUE(TParseHTML::IsEmail(G("a@b．cn")));
  EXPECT_FALSE(TParseHTML::IsEmail("a@bcn"));
  EXPECT_FALSE(TParseHTML::IsEmail("ab.cn"));
}

TEST_F(FieldTest, FoldingMatchesWholeCharactersOnly) {
  // "海啊" holds the bytes of "０" across its two characters; "啊（" those of "。".
  EXPECT_EQ(TParseHTML::FoldDigits(G("海啊")), G("海啊"));
  EXPECT_EQ(TParseHTML::FoldDigits(G("电话０５７１")), G("电话0571"));
  EXPECT_EQ(TParseHTML::FoldPunctuation(G("啊（1")), G("啊") + "(1");
  EXPECT_EQ(TParseHTML::FoldPunctuation(G("（０５７１）８８ ８８、１２")), "(0571)8888.12");
}

TEST_F(FieldTest, CompanyNameLengthAndPosition) {
  const std::string suffix = G("有限公司");
  EXPECT_TRUE(parser_.IsCompanyName(std::string(92, 'x') + suffix));   // 100 bytes
  EXPECT_FALSE(parser_.IsCompanyName(std::string(93, 'x') + suffix));  // 101 bytes
  EXPECT_FALSE(parser_.IsCompanyName("abc" + G("公司")));
  EXPECT_TRUE(parser_.IsCompanyName("abcd" + G("公司")));
  // The suffix must end in the second half of the line.
  EXPECT_FALSE(parser_.IsCompanyName(G("公司") + "abcdefgh"));
  // A word that occurs but fails lets the next word decide.
  EXPECT_TRUE(parser_.IsCompanyName(G("厂") + "abcdefgh" + G("公司")));
}

TEST_F(FieldTest, AddressTakesLinesDownToTheLastAddressLine) {
  EXPECT_EQ(Extract(G("地址:杭州市\n西湖区文三路\n(近学院路)\n电话:0571-88231234"), 0),
            G("杭州市 西湖区文三路"));
  // Only the first three non-blank lines count.
  EXPECT_EQ(Extract(G("地址:\n绿色园林\n\n南门\n东侧\n文三路90号"), 0), "");
  EXPECT_EQ(Extract(G("地址:浙江宁波"), 0), "");
}

TEST_F(FieldTest, AddressLongerThan150BytesIsDropped) {
  const std::string line150 = std::string(148, 'a') + G("市");
  EXPECT_EQ(Extract(G("地址:") + line150, 0), line150);
  EXPECT_EQ(Extract(G("地址:b") + line150, 0), "");
  // The limit applies to the joined lines.
  EXPECT_EQ(Extract(G("地址:") + std::string(100, 'a') + "\n" + std::string(48, 'b') + G("市"), 0),
            "");
}

TEST_F(FieldTest, PhoneLinesFromTheLowestPhoneLineUpwards) {
  const std::string odd29(29, 'x');
  const std::string odd30(30, 'x');
  const std::string below = G("工作时间");
  EXPECT_EQ(Extract(G("电话:0571-1234567\n") + odd29 + "\n0571-7654321\n" + below, 2),
            "0571-1234567 " + odd29 + " 0571-7654321");
  EXPECT_EQ(Extract(G("电话:0571-1234567\n") + odd30 + "\n0571-7654321\n" + below, 2),
            "0571-1234567 0571-7654321");
  EXPECT_EQ(Extract(G("电话:") + below + "\n0571-7654321", 2), below + " 0571-7654321");

  std::string many = G("电话:");
  for (int i = 0; i < 12; ++i) many += "0571-1234567\n";  // 12 * 12 + 11 spaces > 150
  EXPECT_EQ(Extract(many, 2), "");
}

TEST_F(FieldTest, EmailLinesLikePhoneLines) {
  EXPECT_EQ(Extract(G("E-mail:\nsales@a.com\n客服\nhelp@a.com\n欢迎来信"), 4),
            G("sales@a.com 客服 help@a.com"));
}

TEST_F(FieldTest, CompanyNameAfterTheCompanyLabel) {
  std::string block = G("公司名称:  杭州明远  \n电话:0571-88231234");
  parser_.CountRecords(block);
  EXPECT_EQ(parser_.ExtractCompanyName(block, "", 0), G("杭州明远"));  // no shape test

  block = G("企业名称:\n\n 杭州明远化工有限公司 \n电话:0571-88231234");
  parser_.CountRecords(block);
  EXPECT_EQ(parser_.ExtractCompanyName(block, "", 0), G("杭州明远化工有限公司"));
}

TEST_F(FieldTest, CompanyNameFromThePreviousBlock) {
  const std::string block = G("地址:杭州市延安路398号\n电话:0571-87001234");
  parser_.CountRecords(block);
  EXPECT_EQ(parser_.ExtractCompanyName(block, "", 0), "");
  EXPECT_EQ(parser_.ExtractCompanyName(block, G(" 首页\n浙江天诚律师事务所 "), 0),
            G("浙江天诚律师事务所"));
}

TEST_F(FieldTest, CompanyNameRegionsOfLaterRecords) {
  const std::string block =
      G("杭州明远化工有限公司\n电话:0571-1111111\n宁波海通贸易有限公司\n电话:0574-2222222");
  ASSERT_EQ(parser_.CountRecords(block), 2);
  EXPECT_EQ(parser_.RegionEnd(1), parser_.LabelPos[2][1] - 1);
  EXPECT_EQ(parser_.RegionStart(parser_.RegionEnd(1)), parser_.ValuePos[2][0] - 1);
  EXPECT_EQ(parser_.RegionStart(parser_.RegionEnd(0)), 1);
  EXPECT_EQ(parser_.ExtractCompanyName(block, "", 0), G("杭州明远化工有限公司"));
  EXPECT_EQ(parser_.ExtractCompanyName(block, "", 1), G("宁波海通贸易有限公司"));
}

}  // namespace

// Digit and punctuation folding in one pass must equal replacing each character in turn.
TEST(Folding, AgreesWithReplacingEachCharacterInTurn) {
  const std::string digits = G("０１２３４５６７８９");
  const std::string punctuation = G("＋－，；．。（）［］｛｝／＼、");
  const std::string pool = digits + punctuation + G("海啊") + "1 (\x81";
  std::mt19937 rng(5);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (std::size_t n = rng() % 12; n > 0; --n) text.push_back(pool[rng() % pool.size()]);
    std::string expected = text;
    for (std::size_t d = 0; d < 10; ++d)
      expected = gbk::ReplaceAll(expected, digits.substr(2 * d, 2), std::string(1, char('0' + d)));
    ASSERT_EQ(TParseHTML::FoldDigits(text), expected) << round;
    const std::string ascii = "+-,;..()[]{}/\\.";
    for (std::size_t p = 0; p < ascii.size(); ++p)
      expected = gbk::ReplaceAll(expected, punctuation.substr(2 * p, 2), ascii.substr(p, 1));
    std::erase(expected, ' ');
    ASSERT_EQ(TParseHTML::FoldPunctuation(text), expected) << round;
  }
}
