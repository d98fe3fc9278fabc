// E-mail addresses hidden from harvesters, read back by the decoders of the line reader.

#include "analysis/hidden_emails.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "test_support.h"

using testsupport::G;

namespace {

// The CDN's encoding: a key byte, then every byte of the address XOR the key, in hex.
std::string Protect(std::string_view email, unsigned key) {
  static const char* hex = "0123456789abcdef";
  std::string out{hex[key >> 4], hex[key & 15]};
  for (unsigned char c : email) {
    const unsigned b = c ^ key;
    out += {hex[b >> 4], hex[b & 15]};
  }
  return out;
}

}  // namespace

TEST(HiddenEmails, CdnProtectionIsDecodedFromAttributeAndLink) {
  const std::string value = Protect("sales@example.com", 0x5a);
  EXPECT_EQ(contact::DecodeProtectedEmail(value), "sales@example.com");
  EXPECT_EQ(
      contact::ProtectedEmailOfTag("<span class=\"__cf_email__\" data-cfemail=\"" + value + "\">"),
      "sales@example.com");
  EXPECT_EQ(contact::ProtectedEmailOfTag("<a href='/cdn-cgi/l/email-protection#" +
                                         Protect("hr@example.cn", 0x11) + "'>"),
            "hr@example.cn");
  // Odd length, bad hex, a decoded text that is no address, control bytes: nothing.
  for (const std::string& bad : {value.substr(1), "zz" + value.substr(2),
                                 Protect("no address here", 0x20), Protect("a\n@b.cn", 0x20)})
    EXPECT_EQ(contact::DecodeProtectedEmail(bad), "") << bad;
}

TEST(HiddenEmails, StandInsForAtAndDotAreReadWhereAHintOrBracketsSaySo) {
  EXPECT_EQ(contact::AtStandInHint(G("info#example.com (请把#换成@)")), "#");
  EXPECT_EQ(contact::AtStandInHint(G("发邮件时将“★”替换为“@”")), G("★"));
  EXPECT_EQ(contact::AtStandInHint("please replace [AT] with @"), "[AT]");
  EXPECT_EQ(contact::AtStandInHint(G("订单 #123，咨询请发邮件@我们")), "");

  struct TCase {
    const char* text;
    const char* hinted;
    const char* want;
  };
  const TCase cases[] = {
      {"info#example.com（请把#换成@）", "#", "info@example.com（请把#换成@）"},
      {"邮箱：sales [at] abc-mould [dot] com [dot] cn", "", "邮箱：sales@abc-mould.com.cn"},
      {"hr(AT)example.org，hr＠example.net", "", "hr@example.org，hr@example.net"},
      {"info@example[dot]com", "", "info@example.com"},
      // Not addresses: no local part, no dotted domain, a number, a Chinese character's byte.
      {"#1号楼 [at] 二楼, a#b, 第#12.5", "#", "#1号楼 [at] 二楼, a#b, 第#12.5"},
      {"C# 与 F#.net", "#", "C# 与 F#.net"},
      {"contact: info at abc.com", "at", "contact: info@abc.com"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(gbk::ToUtf8(contact::RevealEmails(G(c.text), G(c.hinted))), c.want) << c.text;
}

TEST(HiddenEmails, ReferencesAndScriptsAssembleAddresses) {
  EXPECT_EQ(contact::DecodeAsciiReferences("info&#64;x.cn &#x40; &#9; &#20320; &#64"),
            "info@x.cn @ &#9; &#20320; &#64");

  const std::string script = R"(
    // document.write('old' + '@' + 'x.cn');  commented out
    /* var dead = 'dead' + '@' + 'x.cn'; */
    var u = "sales", d = 'ex\x61mple.com';
    var m = u + '@';
    m += d;
    document.write('<a href="mailto:' + m + '">' + 'info' + "@" + `x.cn` + '</a>');
    var lone = 'single@literal.cn';
    var unknown = who + '@' + 'x.cn';
  )";
  EXPECT_EQ(contact::ScriptEmails(script),
            (std::vector<std::string>{"sales@example.com", "info@x.cn"}));
}

// Hostile values stay linear: a 10 MB protected value, 100,000 stand-ins, a script that
// doubles a string every statement.
TEST(HiddenEmails, BadInputStaysLinear) {
  const auto start = std::chrono::steady_clock::now();
  const std::string huge(10 << 20, 'a');
  EXPECT_EQ(contact::ProtectedEmailOfTag("<a data-cfemail=\"" + huge + "\">"), "");
  EXPECT_EQ(contact::DecodeProtectedEmail(huge), "");
  const std::string hashes(100000, '#');
  EXPECT_EQ(contact::RevealEmails("a" + hashes + "b.cn", "#"), "a" + hashes + "b.cn");
  std::string brackets;
  for (int i = 0; i < 100000; ++i) brackets += "x[at]";
  EXPECT_EQ(contact::RevealEmails(brackets).size(), brackets.size());
  EXPECT_EQ(contact::AtStandInHint(std::string(100000, '#') + G("换成@")), "#");
  std::string doubling = "var s = 'ab@';";
  for (int i = 0; i < 2000; ++i) doubling += "s = s + s + 'x.cn';";
  EXPECT_LE(contact::ScriptEmails(doubling).size(), 16u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
