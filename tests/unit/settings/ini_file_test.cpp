#include "core/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace std::string_literals;
using testsupport::G;

namespace {

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (auto l : lines) (out += l) += "\r\n";
  return out;
}

}  // namespace

TEST(IniFile, UntouchedBytesSurviveParseAndWrite) {
  // Comments, blank lines, LF-only lines, odd bytes and a missing final line break.
  const std::string text =
      "; comment\r\n\r\n[A]\r\nk=v\nodd line\r\n  [ B ] \r\nx = 1 ;2\r\n\x01\xff\x00z\r\nlast=1"s;
  TIniFile ini(text);
  EXPECT_EQ(ini.Bytes(), text);
  ini.WriteString("a", "K", "v");  // same value, new spelling of the name
  EXPECT_EQ(
      ini.Bytes(),
      "; comment\r\n\r\n[A]\r\nK=v\nodd line\r\n  [ B ] \r\nx = 1 ;2\r\n\x01\xff\x00z\r\nlast=1"s);
  EXPECT_EQ(ini.ReadString("B", "x"), "1 ;2");
}

TEST(IniFile, ReadsValueAfterFirstEqualsTrimmedWithSemicolons) {
  TIniFile ini(Crlf({"[S]", "  key  =  a=b;c;  ", "empty=", "noequals", "[T]", "key=other"}));
  EXPECT_EQ(ini.ReadString("S", "key"), "a=b;c;");
  EXPECT_EQ(ini.ReadString("S", "empty"), "");
  EXPECT_EQ(ini.ReadString("S", "noequals"), std::nullopt);
  EXPECT_EQ(ini.ReadString("S", "missing"), std::nullopt);
  EXPECT_EQ(ini.ReadString("U", "key"), std::nullopt);
  EXPECT_EQ(ini.ReadString("T", "key"), "other");
}

TEST(IniFile, NamesAreCaseBlindForLatinLettersOnly) {
  TIniFile ini(Crlf({"[flagusesearch]", "flaguse163=0", "FlagUseBaidu=1"}));
  EXPECT_EQ(ini.ReadString("FLAGUSESEARCH", "FlagUse163"), "0");
  EXPECT_EQ(ini.ReadString("FlagUseSearch", "FLAGUSEBaidu"), "1");
  // The second byte of a Chinese character is never folded: 0xB0 0x41 is not 0xB0 0x61.
  EXPECT_TRUE(IniNamesEqual("a\xB0\x41Z", "A\xB0\x41z"));
  EXPECT_FALSE(IniNamesEqual("\xB0\x41", "\xB0\x61"));
  EXPECT_FALSE(IniNamesEqual("[", "{"));
}

TEST(IniFile, FirstOfDuplicateKeysAndSectionsCounts) {
  TIniFile ini(Crlf({"[S]", "k=1", "K=2", "[s]", "k=3", "j=4"}));
  EXPECT_EQ(ini.ReadString("S", "k"), "1");
  EXPECT_EQ(ini.ReadString("S", "j"), std::nullopt);
  ini.WriteString("S", "k", "9");
  EXPECT_EQ(ini.Bytes(), Crlf({"[S]", "k=9", "K=2", "[s]", "k=3", "j=4"}));
}

TEST(IniFile, WritesReplaceInPlaceAppendToSectionOrAddSection) {
  TIniFile ini(Crlf({"[A]", "one=1", "two=2", "", "[B]", "b=1"}));
  ini.WriteString("A", "ONE", "x");
  ini.WriteString("A", "three", "3");  // after the last key, before the blank line
  ini.WriteString("B", "c", "");
  ini.WriteString("C", "k", "v");
  EXPECT_EQ(ini.Bytes(),
            Crlf({"[A]", "ONE=x", "two=2", "three=3", "", "[B]", "b=1", "c=", "[C]", "k=v"}));
}

TEST(IniFile, WritesAfterALastLineWithoutBreak) {
  TIniFile section("[A]\r\nk=1");
  section.WriteString("A", "j", "2");
  EXPECT_EQ(section.Bytes(), "[A]\r\nk=1\r\nj=2\r\n");
  TIniFile file("junk");
  file.WriteString("A", "j", "2");
  EXPECT_EQ(file.Bytes(), "junk\r\n[A]\r\nj=2\r\n");
  TIniFile header("[A]");
  header.WriteString("a", "j", "2");
  EXPECT_EQ(header.Bytes(), "[A]\r\nj=2\r\n");
}

// Writes keep the section index up to date: after each one, every section reads exactly as
// it does in a file parsed afresh from the same bytes (keys that look like headers included).
TEST(IniFile, ManyWritesReadLikeAFreshParse) {
  TIniFile ini(Crlf({"[A]", "a=1", "", "[B]", "[c]=x", "[C]", "c=3"}));
  const char* sections[] = {"A", "B", "C", "D", "c]=x"};
  const char* keys[] = {"a", "bb", "[C]", "ccc", " [A]", "e"};
  for (int i = 0; i < 60; ++i) {
    const char* section = sections[(i * 7) % 5];
    const char* key = keys[(i * 5) % 6];
    ini.WriteString(section, key, std::string(static_cast<std::size_t>(i % 9), 'v'));
    const TIniFile fresh(ini.Bytes());
    for (const char* s : sections)
      for (const char* k : keys) ASSERT_EQ(ini.ReadString(s, k), fresh.ReadString(s, k)) << i;
  }
}

TEST(IniFile, KeysBeforeAnySectionAreNeitherReadNorTouched) {
  TIniFile ini(Crlf({"k=0", "[S]", "x=1"}));
  EXPECT_EQ(ini.ReadString("S", "k"), std::nullopt);
  ini.WriteString("S", "k", "5");
  EXPECT_EQ(ini.Bytes(), Crlf({"k=0", "[S]", "x=1", "k=5"}));
}

TEST(IniFile, ValueWithLineBreaksCannotInjectLines) {
  TIniFile ini;
  ini.WriteString("S", "k", "a\r\n[SETTING]\nMaxCrawlLevel=6");
  EXPECT_EQ(ini.ReadString("SETTING", "MaxCrawlLevel"), std::nullopt);
  EXPECT_EQ(ini.ReadString("S", "k"), "a  [SETTING] MaxCrawlLevel=6");
}

TEST(IniFile, LongValuesAreCutTo2047BytesNeverInsideACharacter) {
  std::string ascii(3000, 'a');
  TIniFile a("[S]\r\nk=" + ascii + "\r\n");
  EXPECT_EQ(a.ReadString("S", "k"), std::string(2047, 'a'));

  // Two-byte characters only: byte 2047 is a first byte, so the cut falls before it.
  std::string chinese;
  while (chinese.size() < 3000) chinese += G("中");
  TIniFile c("[S]\r\nk=" + chinese);
  std::string cut = *c.ReadString("S", "k");
  EXPECT_EQ(cut.size(), 2046u);
  EXPECT_EQ(cut, chinese.substr(0, 2046));

  // A first byte followed by a byte that cannot be a second byte stands alone.
  TIniFile lone("[S]\r\nk=" + std::string(2046, 'a') + "\xB0;more");
  EXPECT_EQ(lone.ReadString("S", "k"), std::string(2046, 'a') + "\xB0");

  // A 100 KB line and binary bytes load without trouble.
  std::string big = "[S]\r\n" + std::string(100 * 1024, '\x01') + "\r\nk=a\x00\xff v\r\n"s;
  TIniFile b(big);
  EXPECT_EQ(b.ReadString("S", "k"), "a\x00\xff v"s);
}

TEST(IniFile, IntegersInDecimalAndHexForms) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"99", 99},
      {"-12", -12},
      {"+7", 7},
      {"0x4", 4},
      {"0X1f", 31},
      {"$1F", 31},
      {"-$10", -16},
      {"0xFFFFFFFF", -1},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"007", 7},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"0x", std::nullopt},
      {"0x1G", std::nullopt},
      {"0x100000000", std::nullopt},
      {"$", std::nullopt},
      {"-", std::nullopt},
      {"1 2", std::nullopt},
      {"1.5", std::nullopt},
      {"0x-5", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIniInteger(c.text), c.value) << c.text;
}
