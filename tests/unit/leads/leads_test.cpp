// Phone numbers, sites by registrable domain, one record per company.

#include <gtest/gtest.h>

#include <chrono>

#include "core/global_set.h"
#include "core/lead_merge.h"
#include "core/phone_numbers.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "core/site_domain.h"
#include "test_support.h"

using testsupport::G;

namespace {

const TPhoneNumbers& China() {
  static const TPhoneNumbers phones("CN");
  return phones;
}

TPhoneNumber One(const std::string& utf8, std::string_view areaCode = {}) {
  const auto numbers = China().ReadCell(G(utf8), areaCode);
  EXPECT_EQ(numbers.size(), 1u) << utf8;
  return numbers.empty() ? TPhoneNumber{} : numbers[0];
}

}  // namespace

TEST(PhoneNumbers, KindsPlacesAndInternationalForms) {
  struct Case {
    const char* Written;
    const char* E164;
    TPhoneKind Kind;
    const char* Place;
  };
  const Case cases[] = {
      {"13812345678", "+8613812345678", TPhoneKind::Mobile, "江苏省"},
      {"+86 138 1234 5678", "+8613812345678", TPhoneKind::Mobile, "江苏省"},
      {"(+86)13900000000", "+8613900000000", TPhoneKind::Mobile, "新疆"},
      {"010-62345678", "+861062345678", TPhoneKind::FixedLine, "北京市"},
      {"0571-87654321", "+8657187654321", TPhoneKind::FixedLine, "杭州市"},
      {"（0571）8765 4321", "+8657187654321", TPhoneKind::FixedLine, "杭州市"},
      {"+86-571-87654321转808", "+8657187654321", TPhoneKind::FixedLine, "杭州市"},
      {"400-810-8888", "+864008108888", TPhoneKind::TollFree, ""},
      {"800-810-8888", "+868008108888", TPhoneKind::TollFree, ""},
  };
  for (const Case& c : cases) {
    const TPhoneNumber n = One(c.Written);
    EXPECT_EQ(n.Written, G(c.Written));
    EXPECT_EQ(n.E164.substr(0, std::string(c.E164).size()), c.E164) << c.Written;
    EXPECT_EQ(n.Kind, c.Kind) << c.Written;
    EXPECT_EQ(n.Place, G(c.Place)) << c.Written;
  }
  // Without an area code a landline is kept as written and unchecked, unless the record
  // gives the area code.
  const TPhoneNumber local = One("8765-4321");
  EXPECT_EQ(local.Kind, TPhoneKind::Unchecked);
  EXPECT_EQ(local.Written, "8765-4321");
  EXPECT_TRUE(local.E164.empty());
  EXPECT_EQ(One("8765-4321", "571").E164, "+8657187654321");
  EXPECT_EQ(One("12345").Kind, TPhoneKind::Unchecked);
}

TEST(PhoneNumbers, CellsSplitIntoNumbersAndColumnsSummariseThem) {
  const auto numbers =
      China().ReadCell(G("0571-87654321 13812345678；400-810-8888、电话待定, 0571 8765 4322"));
  ASSERT_EQ(numbers.size(), 5u);
  EXPECT_EQ(numbers[1].Written, "13812345678");
  EXPECT_EQ(numbers[3].Written, G("电话待定"));
  EXPECT_EQ(numbers[3].Kind, TPhoneKind::Unchecked);
  EXPECT_EQ(numbers[4].E164, "+8657187654322");

  TPhoneColumns columns = PhoneColumns(China(), G("0571-87654321 13812345678 87654322"), "");
  EXPECT_EQ(columns.Kind, G("固话、手机"));
  EXPECT_EQ(columns.Place, G("杭州市、江苏省"));
  // The place of the fax when the telephones name none.
  columns = PhoneColumns(China(), "400-810-8888", "010-62345678");
  EXPECT_EQ(columns.Kind, "400/800");
  EXPECT_EQ(columns.Place, G("北京市"));
  // Another default region.
  EXPECT_EQ(TPhoneNumbers("us").ReadCell("(650) 253-0000")[0].E164, "+16502530000");
  EXPECT_EQ(TPhoneNumbers("nowhere").Region(), "CN");
}

TEST(PhoneNumbers, HugeCellsStayLinearAndKeepWhatTheyHold) {
  const std::string digits(10000, '5');
  const auto longOne = China().ReadCell(digits);
  ASSERT_EQ(longOne.size(), 1u);
  EXPECT_EQ(longOne[0].Written, digits);
  std::string many;
  for (int i = 0; i < 10000; ++i) many += "1381234" + std::to_string(1000 + i % 9000) + " ";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(China().ReadCell(many).size(), 10000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(SiteDomain, RegistrableDomainsAndSites) {
  EXPECT_EQ(RegistrableDomain("www.abc.com.cn"), "abc.com.cn");
  EXPECT_EQ(RegistrableDomain("WWW.SZ.gov.cn."), "sz.gov.cn");
  EXPECT_EQ(RegistrableDomain("shop.foo.github.io"), "foo.github.io");  // a private suffix
  EXPECT_EQ(RegistrableDomain("192.168.1.20"), "192.168.1.20");
  EXPECT_EQ(RegistrableDomain("localhost"), "localhost");
  EXPECT_EQ(RegistrableDomain(G("www.例子.中国")), "例子.中国");
  EXPECT_EQ(SiteOfAddress("http://m.abc.com/a/b.html"), SiteOfAddress("https://abc.com"));
  EXPECT_NE(SiteOfAddress("http://www.abc.com.cn/"), SiteOfAddress("http://www.xyz.com.cn/"));
  EXPECT_EQ(SiteOfAddress("http://www.acme.localhost:8080/x"), "acme.localhost:8080");
  EXPECT_NE(SiteOfAddress("http://www.acme.localhost:8080/"),
            SiteOfAddress("http://www.bolt.localhost:8080/"));
  EXPECT_EQ(SiteOfAddress("http://user@[::1]:81/"), "[::1]:81");
  EXPECT_EQ(SiteOfAddress("no host"), "");
  std::string host;
  for (int i = 0; i < 1000; ++i) host += "a.";
  EXPECT_EQ(SiteOfAddress("http://" + host + "abc.com.cn/"), "abc.com.cn");
}

TEST(SiteDomain, UrlListKeepsTheFirstAddressOfASiteWhenAsked) {
  TProgramState state;
  EXPECT_TRUE(state.AppendURL("http://www.abc.com/", "", ""));
  EXPECT_TRUE(state.AppendURL("http://abc.com/", "", ""));  // exact test only
  state.SetOneEntryPerSite(true);                           // indexes what is listed
  EXPECT_FALSE(state.AppendURL("http://m.abc.com/about.html", "", ""));
  EXPECT_TRUE(state.AppendURL("http://www.abc.com.cn/", "", ""));
  EXPECT_TRUE(state.AppendURL("http://www.xyz.com.cn/", "", ""));
  EXPECT_FALSE(state.AppendURL("http://www.xyz.com.cn/", "", ""));
  EXPECT_EQ(state.URLCount(), 4u);
  EXPECT_EQ(state.URLAt(0).URL, "http://www.abc.com/");
}

namespace {

TResultRow Row(const std::string& name, const std::string& page, const std::string& mail,
               const std::string& tel) {
  return {G(name), page, mail, tel, "", "", "", ""};
}

}  // namespace

TEST(LeadMerge, OneRecordPerCompanyAcrossTheRun) {
  TGlobalSet set;
  TResultTable table;
  TLeadMerger merger;
  auto batch = merger.Merge(
      {Row("明远化工", "http://a.localhost/", "Sales@a.cn", "0571-87654321 (0571)87654321")}, table,
      set);
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(batch[0][kColTelephone], "0571-87654321");  // repeated within the record
  table.AppendRows(std::move(batch));

  // Two other sites give the same company: one by its phone, one by its e-mail; a third
  // record is another company.
  batch = merger.Merge({Row("明远化工", "http://b.localhost/", "", "+86 571 8765 4321 13812345678"),
                        Row("", "http://c.localhost/lx", "sales@a.cn", ""),
                        Row("宏达机械", "http://d.localhost/", "hd@d.cn", "13912345678")},
                       table, set);
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(batch[0][kColCompanyName], G("宏达机械"));
  table.AppendRows(std::move(batch));
  ASSERT_EQ(table.RowCount(), 2u);
  const TResultRow& merged = table.Row(0);
  EXPECT_EQ(merged[kColTelephone], "0571-87654321 13812345678");
  EXPECT_EQ(merged[kColEmail], "Sales@a.cn");
  EXPECT_EQ(merged[kColDescription], G("另见：http://b.localhost/；另见：http://c.localhost/lx"));
  EXPECT_EQ(table.Text(0, kColPhoneKind), G("固话、手机"));

  // After the user sorts the list, merging still finds the right row.
  table.Reorder({1, 0});
  batch = merger.Merge({Row("", "http://e.localhost/", "hd@d.cn", "")}, table, set);
  EXPECT_TRUE(batch.empty());
  EXPECT_EQ(table.Row(0)[kColDescription], G("另见：http://e.localhost/"));

  // Rows of an opened task count too; a deleted row takes no more merges.
  TResultTable opened;
  opened.ReplaceRows({Row("旧客户", "http://g.localhost/", "old@g.cn", "")});
  TLeadMerger another;
  EXPECT_TRUE(another.Merge({Row("", "http://h.localhost/", "OLD@g.cn", "")}, opened, set).empty());
  opened.DeleteRow(0);
  EXPECT_EQ(another.Merge({Row("", "http://i.localhost/", "old@g.cn", "")}, opened, set).size(),
            1u);

  // Either switch off: rows pass unchanged.
  const std::vector<TResultRow> again = {Row("宏达机械", "http://f.localhost/", "hd@d.cn", "1 1")};
  set.MergeLeads = false;
  EXPECT_EQ(merger.Merge(again, table, set), again);
  set.MergeLeads = true;
  set.FlagModernRecognition = false;
  EXPECT_EQ(merger.Merge(again, table, set), again);
}
