// List pages: one record per repeated entry, columns by shape and header, the page's own
// contact kept once, and hostile markup read in bounded time.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/list_document.h"
#include "analysis/page_lists.h"
#include "analysis/parse_html.h"
#include "core/charset.h"
#include "core/data_files.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "test_support.h"

using testsupport::G;

namespace {

std::shared_ptr<const TGlobalSet> Shipped() {
  TGlobalSet set;
  LoadSettings(set, FindDataFile("default-settings.ini").value_or(""));
  return std::make_shared<const TGlobalSet>(set);
}

struct TRow {
  std::string Company, Telephone, Fax, Email, Address;
};

std::vector<TRow> Analyse(const std::string& gbkPage) {
  TParseHTML p(Shipped());
  p.LoadPage(gbkPage, "", "http://www.example.localhost/list.html", "");
  p.Analyse();
  std::vector<TRow> rows;
  for (std::size_t i = 0; i < p.Companies.size(); ++i)
    rows.push_back({gbk::ToUtf8(p.Companies[i]), gbk::ToUtf8(p.Telephones[i]),
                    gbk::ToUtf8(p.Faxes[i]), gbk::ToUtf8(p.Emails[i]),
                    gbk::ToUtf8(p.Addresses[i])});
  return rows;
}

std::vector<TRow> AnalyseFixture(const std::string& name) {
  return Analyse(PageToGbk(testsupport::ReadFixture("lists/" + name), "text/html"));
}

lists::TListVocabulary Vocabulary() {
  const auto s = Shipped();
  lists::TListVocabulary v;
  v.Labels = {s->AddressLike, s->PostCodeLike, s->telephoneLike, s->faxnoLike, s->MailAddressLike};
  v.Company = s->CompanyLike;
  v.AddressContent = s->AddressContentLike;
  return v;
}

}  // namespace

TEST(ListPages, TableWithoutLabelsGivesOneRecordPerRowNamedAfterTheParent) {
  const auto rows = AnalyseFixture("branch_table.html");
  ASSERT_EQ(rows.size(), 6u);
  // Columns by shape: row numbers ignored, branch names prefixed by the "关于" heading.
  EXPECT_EQ(rows[0].Company, "恒远北京分公司");
  EXPECT_EQ(rows[0].Address, "北京市海淀区学院路38号7层");
  EXPECT_EQ(rows[0].Telephone, "010-62345678");
  // A name over two paragraphs; an empty phone cell keeps the record by its address.
  EXPECT_EQ(rows[2].Company, "恒远成都 第二分公司");
  EXPECT_EQ(rows[2].Telephone, "");
  EXPECT_EQ(rows[2].Address, "成都市高新区天府大道中段1388号");
  EXPECT_EQ(rows[3].Telephone, "029-88654321 029-88654322");
  // The site's own footer contact stays one ordinary record; the meta description adds none.
  EXPECT_EQ(rows[5].Telephone, "400-810-2233");
  EXPECT_NE(rows[5].Company.find("恒远科技有限公司"), std::string::npos);
}

TEST(ListPages, LabelledCardsAndTheSiteContact) {
  const auto rows = AnalyseFixture("store_cards.html");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].Company, "新禾超市城东店");
  EXPECT_EQ(rows[0].Address, "杭州市上城区解放路188号");  // the full stop dropped
  EXPECT_EQ(rows[0].Telephone, "86001111-8001");          // opening hours and bus lines are not
  EXPECT_EQ(rows[1].Fax, "0571-86002223");
  EXPECT_EQ(rows[2].Email, "binjiang@xinhe-market.cn");
  EXPECT_EQ(rows[3].Telephone, "400-600-7788");
  EXPECT_EQ(rows[3].Email, "service@xinhe-market.cn");
}

TEST(ListPages, CellsSetApartOnlyByBlanks) {
  const auto rows = AnalyseFixture("space_cells.html");
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].Company, "浙江新潮机电有限公司");
  EXPECT_EQ(rows[0].Address, "杭州市拱墅区莫干山路1418号");
  EXPECT_EQ(rows[2].Telephone, "021-64881122 13916881122");
  EXPECT_EQ(rows[5].Company, "江西赣新实业有限公司");
  EXPECT_EQ(rows[5].Telephone, "0791-88123456");
}

TEST(ListPages, HeaderNamesColumnsThatShapesCannot) {
  const std::string page = G(
      "<body><table><tr><th>门店</th><th>地址</th><th>营业时间</th><th>电话</th></tr>"
      "<tr><td>东门店</td><td>深圳市罗湖区东门中路1号</td><td>8:30-17:00</td><td>82230001</td></tr>"
      "<tr><td>西丽店</td><td>深圳市南山区西丽路2号</td><td>9:00-18:00</td><td>26530002</td></tr>"
      "<tr><td>龙华店</td><td>深圳市龙华区人民路3号</td><td>9:00-21:00</td><td>28130003</td></tr>"
      "</table></body>");
  const auto found = lists::FindListRecords(page, Vocabulary());
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].Company, G("西丽店"));
  ASSERT_EQ(found[1].Phones.size(), 1u);
  EXPECT_EQ(found[1].Phones[0], "26530002");
}

TEST(ListPages, PopoversHeadingListsAndWhatIsNotRead) {
  const lists::TListVocabulary v = Vocabulary();
  // Records kept in popover attributes; one popover holds two dealers, the button's own text
  // (a province) is no name.
  const std::string popovers =
      G("<ul><li><button class=\"btn p01\" data-content=\"长春越野车会&lt;br&gt;联系人：张三"
        "&lt;br&gt;联系电话：18643135555\">吉林</button>"
        "<button class=\"btn p02\" data-content=\"北京北汽摩有限公司<br>联系电话：13901395737"
        "<br>北京全地形车商城<br>联系电话：13311292963\">北京</button>"
        "<button class=\"btn p03\" data-content=\"西安龙城户外运动有限公司<br>联系电话："
        "15991987062<br>　　029-88886666\">陕西</button></li></ul>");
  auto found = lists::FindListRecords(popovers, v);
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].Company, G("长春越野车会"));
  EXPECT_EQ(found[2].Company, G("北京全地形车商城"));
  EXPECT_EQ(found[2].Phones, std::vector<std::string>{"13311292963"});
  EXPECT_EQ(found[3].Phones.size(), 2u);

  // Entries opened by a repeated heading; a hidden entry and a commented-out one are skipped.
  const std::string headed = G(
      "<dl><dt>东城服务中心</dt><dd>地址：北京市东城区东四北大街1号</dd><dd>电话：010-64001111</dd>"
      "<dt>西城服务中心</dt><dd>地址：北京市西城区西单北大街2号</dd><dd>电话：010-66002222</dd>"
      "<!-- <dt>旧服务中心</dt><dd>电话：010-60000000</dd> -->"
      "<dt style=\"display: none\">停业服务中心</dt>"
      "<dt>朝阳服务中心</dt><dd>地址：北京市朝阳区朝阳路3号</dd><dd>电话：010-65003333</dd></dl>");
  found = lists::FindListRecords(headed, v);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].Company, G("西城服务中心"));
  EXPECT_EQ(found[1].Address, G("北京市西城区西单北大街2号"));
  EXPECT_EQ(found[2].Phones, std::vector<std::string>{"010-65003333"});

  // Side blocks that all repeat the site's hotline are no list.
  std::string blocks;
  for (const char* title : {"产品中心", "新闻动态", "客户服务", "关于我们"})
    blocks +=
        G("<div class=\"side\"><h4>") + G(title) + G("</h4><p>服务热线：400-800-1234</p></div>");
  EXPECT_TRUE(lists::FindListRecords(blocks, v).empty());
}

TEST(ListPages, OrdinaryContactPagesAreNoList) {
  for (const char* name : {"modern/sidebar_and_form.html", "modern/footer_contacts.html",
                           "modern/latin_labels.html"}) {
    const std::string page = PageToGbk(testsupport::ReadFixture(name), "text/html");
    EXPECT_TRUE(lists::FindListRecords(page, Vocabulary()).empty()) << name;
  }
}

TEST(ListPages, HostileMarkupEndsInBoundedWork) {
  const lists::TListVocabulary v = Vocabulary();
  std::mt19937 random(7);
  std::string bytes(200000, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % 256);
  lists::FindListRecords(bytes, v);

  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "<table><tr><td>";
  nested += G("上海一号有限公司 021-62345678");
  EXPECT_TRUE(lists::FindListRecords(nested, v).empty());

  std::string wide = "<table><tr>";
  for (int i = 0; i < 5000; ++i) wide += "<td>0571-8800" + std::to_string(1000 + i % 9000);
  EXPECT_TRUE(lists::FindListRecords(wide, v).empty());

  // Many rows, unclosed cells and rows: every row is one record, in page order, past the
  // blocks the records are packed in and after the first ones are taken.
  std::string tall = "<table>";
  for (int i = 0; i < 20000; ++i)
    tall += G("<tr><td>华东经销有限公司<td>杭州市西湖区文三路") + std::to_string(i) +
            G("号<td>0571-8") + std::to_string(1000000 + i);
  lists::TListRecords found = lists::FindListRecords(tall, v);
  ASSERT_EQ(found.size(), 20000u);
  EXPECT_EQ(found[4096].Address, G("杭州市西湖区文三路4096号"));
  for (int i = 0; i < 5000; ++i) found.pop_front();
  ASSERT_EQ(found.size(), 15000u);
  EXPECT_EQ(found[0].Phones, std::vector<std::string>{"0571-81005000"});
  EXPECT_EQ(found[14999].Address, G("杭州市西湖区文三路19999号"));
}

// Text is read where it stands in the page once that saves memory, and decoded into the
// document's own buffer where entities, blank runs or full-width colons change it.
TEST(ListPages, DocumentTextReadInPlaceOrDecoded) {
  for (const bool longPieces : {true, false}) {
    SCOPED_TRACE(longPieces);
    std::string page = "<table>";
    for (int i = 0; i < 100; ++i)
      page += "<tr><td>" + (longPieces ? G("宁波甬兴机械有限公司 0574-8") : std::string()) +
              std::to_string(i);
    // Pieces longer than their one-byte size can tell.
    page += G("<p>A&amp;B</p><p>名称  电话</p><p>电话：1</p><p>x\n  y z</p>") +
            "<div data-content=\"c&lt;br&gt;d\">e</div><p>" + std::string(300, 'q') + "</p><p>" +
            std::string(5000, 'r') + "</p><p>s</p>";
    lists::TDocument doc(page);
    doc.Build();
    std::vector<std::string> texts;
    for (std::size_t k = 0; k < doc.PieceCount(); ++k) texts.emplace_back(doc.PieceText(k));
    ASSERT_EQ(texts.size(), 110u);
    EXPECT_EQ(texts[99], (longPieces ? G("宁波甬兴机械有限公司 0574-8") : std::string()) + "99");
    const std::vector<std::string> tail = {"A&B",
                                           G("名称") + lists::kCellBreak + G("电话"),
                                           G("电话:1"),
                                           "x y z",
                                           "c",
                                           "d",
                                           "e",
                                           std::string(300, 'q'),
                                           std::string(5000, 'r'),
                                           "s"};
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 100, texts.end()), tail);
    std::size_t bytes = 0;
    for (std::size_t k = 3; k < 109; ++k) bytes += texts[k].size();
    EXPECT_EQ(doc.Bytes(3, 109), bytes);
  }
}
