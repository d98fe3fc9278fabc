// Label search, hit bookkeeping and record counting on block text.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "factory_settings.h"
#include "test_support.h"

using testsupport::G;

namespace {

TLikeList Words(std::initializer_list<const char*> utf8) {
  TLikeList list;
  for (const char* w : utf8) list.push_back(G(w));
  return list;
}

int32_t PosOf(const std::string& text, const std::string& part) {
  return static_cast<int32_t>(text.find(part)) + 1;
}

TEST(FindLabel, ListOrderBeatsTextPosition) {
  const std::string text = G("电话:0571-88231234 传真:0571-88231235");
  auto hit = TParseHTML::FindLabel(text, Words({"传真", "电话"}));
  EXPECT_EQ(hit.p, PosOf(text, G("传真")));
  EXPECT_EQ(hit.len, 4);
}

TEST(FindLabel, FusedLabelStartsAtItsWord) {
  const std::string text = G("总机 联系电话:0571");
  auto hit = TParseHTML::FindLabel(text, Words({"电话"}));
  EXPECT_EQ(hit.p, PosOf(text, G("联系")));
  EXPECT_EQ(hit.len, 8);

  hit = TParseHTML::FindLabel(G("联系电话0571"), Words({"电话"}));
  EXPECT_EQ(hit.p, 1);
  EXPECT_EQ(hit.len, 8);
}

TEST(FindLabel, FoldsLatinCaseAndSkipsEmptyKeywords) {
  auto hit = TParseHTML::FindLabel("Office TEL: 1234567", {"", "tel"});
  EXPECT_EQ(hit.p, 8);
  EXPECT_EQ(hit.len, 3);
  EXPECT_EQ(TParseHTML::FindLabel("abc", {""}).p, 0);
  EXPECT_EQ(TParseHTML::FindLabel("", {"tel"}).p, 0);
}

TEST(FindLabel, MatchesOnlyWholeCharacters) {
  // The bytes of "海海" contain those of "：".
  EXPECT_EQ(TParseHTML::FindLabel(G("上海海德"), Words({"："})).p, 0);
}

TEST(FindLabel, SpacedLabelOnlyWhenNoKeywordOccursExactly) {
  const std::string spaced = G("电  话:0571-1 备注");
  auto hit = TParseHTML::FindLabel(spaced, Words({"电话"}));
  EXPECT_EQ(hit.p, 1);
  EXPECT_EQ(hit.len, 6);  // blanks between the characters count

  // A later keyword occurring exactly anywhere wins over the spaced first keyword.
  const std::string mixed = G("电  话:0571-1 Tel:0571-2");
  hit = TParseHTML::FindLabel(mixed, Words({"电话", "tel"}));
  EXPECT_EQ(hit.p, PosOf(mixed, "Tel"));
  EXPECT_EQ(hit.len, 3);

  hit = TParseHTML::FindLabelSpaced("fax", "ref: f a\nx 12");
  EXPECT_EQ(hit.p, 6);
  EXPECT_EQ(hit.len, 5);
  EXPECT_EQ(TParseHTML::FindLabelSpaced("fax", "f a").p, 0);
}

TEST(ValueStart, ColonLaterOnTheLabelLine) {
  const std::string text = G("电话0571 传真:88\n地址:x");
  EXPECT_EQ(TParseHTML::ValueStart(text, 1, 4), PosOf(text, ":"));
  // No colon on the label's own line: the label's last byte.
  const std::string fused = G("电话0571\n传真:88");
  EXPECT_EQ(TParseHTML::ValueStart(fused, 1, 4), 4);
}

class RecognitionTest : public ::testing::Test {
 protected:
  void SetUp() override { Use(testsupport::FactorySettings()); }
  void Use(const TGlobalSet& set) { parser_.SetSettings(std::make_shared<const TGlobalSet>(set)); }
  TParseHTML parser_;
};

TEST_F(RecognitionTest, FindLabelsKeepsOneHitPerLineAndResumesAfterTheValueLine) {
  const std::string text = G("电话:1 电话:2\n 电话:3\n说明\n总机电话 4");
  parser_.FindLabels(text, parser_.Settings().telephoneLike, 2);
  const int32_t third = PosOf(text, G(" 电话:3")) + 1;
  const int32_t fourth = PosOf(text, G("总机"));
  EXPECT_EQ(parser_.LabelPos[2], (std::vector<int32_t>{1, third, fourth}));
  EXPECT_EQ(parser_.ValuePos[2],
            (std::vector<int32_t>{5, third + 4, fourth + 7}));  // colon, colon, label end
}

TEST_F(RecognitionTest, CountRecordsTakesTheSmallestNonZeroCount) {
  TGlobalSet set = testsupport::FactorySettings();
  set.FlagFindAddressAndPostCode = false;
  set.FlagFindMailAddress = false;
  Use(set);
  const std::string block =
      G("电话:0571-1111111 传真:0571-2222222\n电话:0571-3333333 传真:0571-4444444\n"
        "电话:0571-5555555\n地址:杭州市 邮编:310012\nE-mail:a@b.com");
  EXPECT_EQ(parser_.CountRecords(block), 2);
  EXPECT_EQ(parser_.LabelPos[2].size(), 3u);
  EXPECT_EQ(parser_.LabelPos[3].size(), 2u);
  // Disabled fields are never searched.
  EXPECT_TRUE(parser_.LabelPos[0].empty());
  EXPECT_TRUE(parser_.LabelPos[1].empty());
  EXPECT_TRUE(parser_.LabelPos[4].empty());

  // Every call starts from empty arrays.
  EXPECT_EQ(parser_.CountRecords(G("公司简介")), 0);
  for (int f = 0; f < 5; ++f) {
    EXPECT_TRUE(parser_.LabelPos[f].empty());
    EXPECT_TRUE(parser_.ValuePos[f].empty());
  }
}

TEST_F(RecognitionTest, CountRecordsIgnoresFieldsWithoutLabels) {
  EXPECT_EQ(parser_.CountRecords(G("电话:1\n电话:2\n电话:3\nemail:a@b.c")), 1);
  EXPECT_EQ(parser_.CountRecords(G("电话:1\n电话:2")), 2);
}

// The label search as plainly written: every keyword lowers and searches the whole text anew.
TParseHTML::TLabelHit PlainFindLabel(std::string_view text, const TLikeList& list) {
  for (const auto& w : list) {
    const std::size_t at = gbk::FindNoCase(text, w);
    if (at == gbk::npos) continue;
    std::size_t start = at;
    while (start > 0 && !gbk::IsBlankByte(static_cast<unsigned char>(text[start - 1]))) --start;
    return {static_cast<int32_t>(start + 1), static_cast<int32_t>(w.size() + at - start)};
  }
  for (const auto& w : list) {
    if (w.empty()) continue;
    const std::string lowText = gbk::LowerLatin(text);
    const std::string lowWord = gbk::LowerLatin(w);
    for (std::size_t i = 0; i < lowText.size(); i += gbk::CharLen(lowText, i)) {
      if (lowText[i] != lowWord[0]) continue;
      std::string collected;
      std::size_t j = i;
      while (collected.size() < lowWord.size() && j < lowText.size()) {
        const std::size_t n = gbk::CharLen(lowText, j);
        if (n == 1 && gbk::IsBlankByte(static_cast<unsigned char>(lowText[j]))) {
          ++j;
          continue;
        }
        collected += lowText.substr(j, n);
        j += n;
      }
      if (gbk::Trim(collected) == gbk::Trim(lowWord))
        return {static_cast<int32_t>(i + 1), static_cast<int32_t>(j - i)};
    }
  }
  return {};
}

// FindLabels lowers the block once and remembers keyword positions between searches; the
// hits must be those of searching every remaining tail afresh, lowering per keyword.
TEST_F(RecognitionTest, FindLabelsMatchesSearchingEachTailAfresh) {
  const std::vector<std::string> pieces = {
      G("电话"), G("传真"), G("电"), G("话"), " ",     "\n",   ":", "TEL", "tel", "Te",
      "l",       "x",       "1",     G("海"), G("："), "\x81", "A", "  ",  "Fa",  "F"};
  const TLikeList list = {G("电话"), "tel", G("传真"), "", "fax"};
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) text += pieces[rng() % pieces.size()];

    std::vector<int32_t> labels;
    std::vector<int32_t> values;
    std::string rest = text;
    int32_t offset = 0;
    for (;;) {
      const auto hit = PlainFindLabel(rest, list);
      const auto fast = TParseHTML::FindLabel(rest, list);
      ASSERT_EQ(fast.p, hit.p) << "round " << round;
      ASSERT_EQ(fast.len, hit.len) << "round " << round;
      if (hit.p == 0) break;
      const int32_t v = TParseHTML::ValueStart(rest, hit.p, hit.len);
      labels.push_back(offset + hit.p);
      values.push_back(offset + v);
      const std::size_t lf = rest.find('\n', static_cast<std::size_t>(v) - 1);
      const std::size_t e = lf == std::string::npos ? rest.size() + 1 : lf + 1;
      rest = e >= rest.size() ? std::string() : rest.substr(e);
      offset += static_cast<int32_t>(e);
    }

    parser_.LabelPos[2].clear();
    parser_.ValuePos[2].clear();
    parser_.FindLabels(text, list, 2);
    ASSERT_EQ(parser_.LabelPos[2], labels) << "round " << round;
    ASSERT_EQ(parser_.ValuePos[2], values) << "round " << round;
  }
}

}  // namespace
