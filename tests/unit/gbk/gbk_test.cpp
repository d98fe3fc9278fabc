#include "core/gbk.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

using testsupport::G;

TEST(GbkConversion, RoundTripsChineseAndAscii) {
  const std::string utf8 = "上海海德 Co., Ltd：电话 021-12345678";
  const std::string g = gbk::FromUtf8(utf8);
  EXPECT_NE(g, utf8);
  EXPECT_EQ(gbk::ToUtf8(g), utf8);
  // "中" is D6 D0 in GBK.
  EXPECT_EQ(gbk::FromUtf8("中"), "\xD6\xD0");
  EXPECT_EQ(GBK("中"), "\xD6\xD0");
}

TEST(GbkConversion, UnconvertibleBytesBecomeQuestionMarksWithoutLosingTheRest) {
  // An emoji has no GBK form; invalid UTF-8 and a lone GBK lead byte are replaced too.
  EXPECT_EQ(gbk::ToUtf8(gbk::FromUtf8("a😀b中")), "a?b中");
  EXPECT_EQ(gbk::FromUtf8("a\xFF"
                          "b"),
            "a?b");
  EXPECT_EQ(gbk::ToUtf8("x\xD6"), "x?");
  EXPECT_EQ(gbk::ToUtf8("x\xFFy"), "x?y");
  EXPECT_EQ(gbk::ToGbk("caf\xE9", "iso-8859-1"), "caf\xA8\xA6");
  EXPECT_EQ(gbk::ToGbk("\xD6\xD0", "GB2312"), "\xD6\xD0");
  EXPECT_EQ(gbk::ToGbk("abc", "no-such-charset"), "abc");
}

TEST(GbkConversion, Utf8Validity) {
  EXPECT_TRUE(gbk::IsValidUtf8("中文 text"));
  EXPECT_FALSE(gbk::IsValidUtf8(G("中文")));
  EXPECT_FALSE(gbk::IsValidUtf8("\xC0\x80"));  // overlong
  EXPECT_FALSE(gbk::IsValidUtf8("\xE4\xB8"));  // truncated
}

TEST(GbkText, TrimAndBlank) {
  EXPECT_EQ(gbk::Trim(" \t\r\n a b \x01"), "a b");
  EXPECT_TRUE(gbk::IsBlank(" \x1F\n"));
  EXPECT_FALSE(gbk::IsBlank(" x "));
  EXPECT_EQ(gbk::Trim(""), "");
}

TEST(GbkText, LowerFoldsOnlySingleByteLatinLetters) {
  // The second byte of a double-byte character may lie in A-Z; it must stay as it is.
  const std::string s =
      "AB\x81\x41"
      "Cd";
  EXPECT_EQ(gbk::LowerLatin(s),
            "ab\x81\x41"
            "cd");
}

TEST(GbkText, FindMatchesOnlyAtCharacterBoundaries) {
  // "海海" is BA A3 BA A3; the full-width colon "：" is A3 BA, straddling the two characters.
  const std::string name = G("上海海德");
  const std::string colon = G("：");
  ASSERT_NE(name.find(colon), std::string::npos);  // the raw bytes do contain it
  EXPECT_EQ(gbk::Find(name, colon), gbk::npos);
  EXPECT_FALSE(gbk::Contains(name, colon));
  EXPECT_EQ(gbk::ReplaceAll(name, colon, ":"), name);
  const std::string labelled = G("上海海德：电话");
  EXPECT_EQ(gbk::Find(labelled, colon), 8u);
  EXPECT_EQ(gbk::ReplaceAll(labelled, colon, ":"), G("上海海德:电话"));
  EXPECT_EQ(gbk::Find("abcabc", "c", 3), 5u);
  EXPECT_EQ(gbk::Find("abc", ""), gbk::npos);
}

TEST(GbkText, CaseBlindSearchAndReplace) {
  EXPECT_EQ(gbk::FindNoCase("Tel: E-MAIL", "e-mail"), 5u);
  EXPECT_TRUE(gbk::ContainsNoCase("<BODY bgcolor=x>", "<body"));
  EXPECT_EQ(gbk::ReplaceAllNoCase("a&NBSP;b&nbsp;c", "&nbsp;", " "), "a b c");
  // A letter that is a trail byte must not match a Latin needle.
  EXPECT_EQ(gbk::FindNoCase("\x81\x41", "a"), gbk::npos);
}

// The case-blind search scans the text in place; it must agree with searching lowered copies,
// including letters that are second bytes and lead bytes at the very end.
TEST(GbkText, CaseBlindSearchAgreesWithLoweredCopies) {
  const char alphabet[] = {'a', 'A', 'b', 'B', ' ', '&', '\x81', '\xC1', '\xD6', '\x41', '\x61'};
  std::mt19937 rng(7);
  auto randomText = [&](std::size_t maxLen) {
    std::string s(rng() % (maxLen + 1), ' ');
    for (char& c : s) c = alphabet[rng() % sizeof alphabet];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string hay = randomText(12);
    const std::string needle = randomText(4);
    const std::string lowHay = gbk::LowerLatin(hay);
    const std::string lowNeedle = gbk::LowerLatin(needle);
    for (std::size_t from = 0; from <= hay.size(); from += gbk::CharLen(hay, from)) {
      ASSERT_EQ(gbk::FindNoCase(hay, needle, from), gbk::Find(lowHay, lowNeedle, from))
          << round << " " << from;
      if (from == hay.size()) break;
    }
    // A needle ending in half a character leaves the next search off a character boundary.
    std::size_t last = 0;
    for (std::size_t i = 0; i < needle.size(); i += gbk::CharLen(needle, i)) last = i;
    if (!needle.empty() && last == needle.size() - 1 &&
        gbk::IsLeadByte(static_cast<unsigned char>(needle.back())))
      continue;
    std::string expected;
    std::size_t pos = 0;
    for (std::size_t hit; !needle.empty() && (hit = gbk::Find(lowHay, lowNeedle, pos)) != gbk::npos;
         pos = hit + needle.size())
      expected.append(hay, pos, hit - pos).append("_");
    expected.append(hay, pos);
    ASSERT_EQ(gbk::ReplaceAllNoCase(hay, needle, "_"), expected) << round;
  }
}
