// Recognition beyond the keyword lists (FlagModernRecognition) and the shipped defaults.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/contact_shapes.h"
#include "analysis/page_lines.h"
#include "analysis/parse_html.h"
#include "core/charset.h"
#include "core/data_files.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "test_support.h"

using testsupport::G;

namespace {

namespace fs = std::filesystem;

std::shared_ptr<const TGlobalSet> ShippedDefaults() {
  TGlobalSet set;
  LoadSettings(set, FindDataFile("default-settings.ini").value_or(""));
  return std::make_shared<const TGlobalSet>(set);
}

std::vector<std::string> Rows(const TParseHTML& p) {
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < p.Companies.size(); ++i) {
    const std::string_view columns[] = {p.Companies[i],  p.WebAddresses[i], p.Emails[i],
                                        p.Telephones[i], p.Faxes[i],        p.Addresses[i],
                                        p.PostCodes[i],  p.Descriptions[i]};
    std::string row;
    for (std::size_t c = 0; c < std::size(columns); ++c)
      row += (c == 0 ? "" : "\t") + gbk::ToUtf8(columns[c]);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST(ShippedDefaults, AreTheFactoryValuesPlusTodaysLabels) {
  const auto path = FindDataFile("default-settings.ini");
  ASSERT_TRUE(path.has_value());
  TGlobalSet loaded;
  EXPECT_TRUE(LoadSettings(loaded, *path));
  const TGlobalSet factory = FactoryGlobalSet();
  // Each factory list comes first, in its order; today's labels follow.
  for (auto list : {&TGlobalSet::AddressLike, &TGlobalSet::PostCodeLike, &TGlobalSet::telephoneLike,
                    &TGlobalSet::faxnoLike, &TGlobalSet::MailAddressLike, &TGlobalSet::CompanyLike,
                    &TGlobalSet::HTMLNameLike, &TGlobalSet::CompanyNameLike,
                    &TGlobalSet::AddressContentLike, &TGlobalSet::NextPageLike}) {
    const TLikeList& want = factory.*list;
    const TLikeList& got = loaded.*list;
    ASSERT_GE(got.size(), want.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << LikeListToText(got);
  }
  for (const char* label : {"邮箱", "手机", "座机", "热线", "联系电话"})
    EXPECT_NE((LikeListToText(loaded.telephoneLike) + LikeListToText(loaded.MailAddressLike))
                  .find(G(label)),
              std::string::npos)
        << label;
  EXPECT_EQ(loaded.MaxFindWebThreadCount, 20);
  EXPECT_EQ(loaded.MaxCrawlLevel, 2);
  EXPECT_EQ(loaded.MaxReadHTMLTimeOut, 30000);
  EXPECT_TRUE(loaded.FlagFindAddressAndPostCode && loaded.FlagFindTelAndFax &&
              loaded.FlagFindMailAddress && loaded.FlagModernRecognition);
  EXPECT_FALSE(loaded.FlagUseSina || loaded.FlagUseBaidu);

  // The switch is on when its key is missing and off when stored as 0.
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "a.ini", "[FINDFLAGS]\r\nFlagModernRecognition=0\r\n");
  LoadSettings(loaded, (dir / "a.ini").string());
  EXPECT_FALSE(loaded.FlagModernRecognition);
  LoadSettings(loaded, (dir / "missing.ini").string());
  EXPECT_TRUE(loaded.FlagModernRecognition);
}

// Pages under tests/fixtures/modern: UTF-8 as fetched, with the shipped defaults.
TEST(ModernRecognition, FixturePagesGiveTheExpectedRecords) {
  const fs::path dir = fs::path(VELTRA_FIXTURE_DIR) / "modern";
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".html") continue;
    ++pages;
    std::vector<std::string> want;
    std::istringstream in(
        testsupport::ReadFile(fs::path(entry.path()).replace_extension(".expected")));
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line[0] != '#') want.push_back(line);

    TParseHTML parser(ShippedDefaults());
    parser.LoadPage(PageToGbk(testsupport::ReadFile(entry.path())), "",
                    "http://www.example.com/lx.htm", "");
    parser.Analyse();
    EXPECT_EQ(Rows(parser), want) << entry.path().filename();
  }
  EXPECT_GE(pages, 2);
}

TEST(ModernRecognition, ShapesRefuseDatesPricesPostcodesAndFilingNumbers) {
  struct TCase {
    const char* text;
    bool labelled;
    std::vector<std::string> phones;
  };
  const TCase cases[] = {
      {"0571-88886666/13912345678 张生", false, {"0571-88886666", "13912345678"}},
      {"手机 139 0168 3028，座机 (0571)8888 6666", false, {"139 0168 3028", "(0571)8888 6666"}},
      {"+86 577 88951111 或 400-800-1234", false, {"+86 577 88951111", "400-800-1234"}},
      {"0632-6081183 3970808", true, {"0632-6081183", "3970808"}},
      {"310012 0571-88886666-8001 转 8002", true, {"0571-88886666"}},
      {"（０５７１）８８８８６６６６、0571—88886667",
       false,
       {"（０５７１）８８８８６６６６", "0571—88886667"}},
      {"更新于 2019-05-12，2006-2016 年", false, {}},
      {"浙ICP备12345678号-1 京公网安备 11010802012345号", false, {}},
      {"价格 ￥1280000，共 2000000 件，邮编 310012", false, {}},
      {"QQ12345678901 或 ab13912345678", false, {}},
      {"3970808", false, {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> got;
    for (const auto& f : contact::FindPhones(G(c.text), c.labelled))
      got.push_back(gbk::ToUtf8(f.Value));
    EXPECT_EQ(got, c.phones) << c.text;
  }
  std::vector<std::string> mails;
  for (const auto& f : contact::FindEmails(G("邮箱：a.b@x.cn; info@ casa.example.ca，@@ x@y")))
    mails.push_back(f.Value);
  EXPECT_EQ(mails, (std::vector<std::string>{"a.b@x.cn", "info@casa.example.ca"}));
}

// The switch off gives the label-driven records exactly; on, shapes and page names add more.
TEST(ModernRecognition, SwitchOffKeepsTheLabelDrivenRecords) {
  TGlobalSet set = FactoryGlobalSet();
  const std::string page =
      G("<html><head><title>明远化工</title></head><body><p>联系人：王先生 13712345678</p>"
        "<p>电话：0571-88886666 手机：13912345678</p></body></html>");
  set.FlagModernRecognition = false;
  TParseHTML off(std::make_shared<const TGlobalSet>(set));
  off.LoadPage(page, G("明远"), "http://www.example.com/", "");
  off.Analyse();
  // The telephone runs into the next label, as the specified extractor reads it.
  EXPECT_EQ(Rows(off),
            (std::vector<std::string>{
                "明远\thttp://www.example.com/\t\t0571-88886666 手机:13912345678\t\t\t\t"}));

  set.FlagModernRecognition = true;
  TParseHTML on(std::make_shared<const TGlobalSet>(set));
  on.LoadPage(page, G("明远"), "http://www.example.com/", "");
  on.Analyse();
  EXPECT_EQ(Rows(on), (std::vector<std::string>{"明远化工\thttp://www.example.com/\t\t"
                                                "13712345678 0571-88886666 13912345678\t\t\t\t"}));
}

TEST(ModernRecognition, BadInputNeitherCrashesNorSlowsDown) {
  const auto settings = ShippedDefaults();
  TParseHTML parser(settings);
  const std::vector<std::string> pieces = {"<body>",
                                           "<p>",
                                           "<br>",
                                           "<td>",
                                           "</div>",
                                           "<div style=\"display:none\">",
                                           "<!--",
                                           "-->",
                                           "<script>",
                                           "</script>",
                                           G("电 话："),
                                           G("地址："),
                                           G("【北京分公司】"),
                                           G("有限公司"),
                                           "0571-88886666",
                                           "13912345678",
                                           "2019-05-12",
                                           "a@b.cn",
                                           "@",
                                           ":",
                                           " ",
                                           "\x81",
                                           "\xFE",
                                           std::string(1, '\0'),
                                           "<a href='mailto:x@y.cn'>",
                                           G("版权所有"),
                                           "\"",
                                           "/",
                                           "<a data-cfemail=\"5a29",
                                           "#",
                                           G("（请把#换成@）"),
                                           "[at]",
                                           "[dot]",
                                           "&#64;",
                                           "'+'",
                                           "&copy;",
                                           "Add.:",
                                           "Zip Code:"};
  std::mt19937 rng(5);
  for (int round = 0; round < 1500; ++round) {
    std::string html;
    for (int i = static_cast<int>(rng() % 150); i > 0; --i) html += pieces[rng() % pieces.size()];
    parser.LoadPage(html, rng() % 2 ? G("明远") : "", "http://a.cn/", "");
    parser.Analyse();
    const std::size_t n = parser.Companies.size();
    for (const auto* list : {&parser.Addresses, &parser.Telephones, &parser.Emails,
                             &parser.WebAddresses, &parser.Descriptions})
      ASSERT_EQ(list->size(), n);
  }

  // Speed on such pages is measured in bench/analyse_bench.cpp.
  for (const std::string& html :
       {"<body><p>" + std::string(100000, '@') + "</p>",
        "<body>" + std::string(1 << 20, '\0') + "<p>a@b.cn",
        "<body><div " + std::string(50 << 20, 'x') + ">",
        "<body>" + G("电话:") + std::string(1 << 20, ':') + "<br>0571-88886666",
        "<body><a data-cfemail=\"" + std::string(10 << 20, 'f') + "\">x</a>",
        "<body><p>a" + std::string(100000, '#') + G("b.cn（请把#换成@）"),
        "<body><script>" + std::string(1 << 20, '+') + "</script>"}) {
    parser.LoadPage(html, "", "http://a.cn/", "");
    parser.Analyse();
    EXPECT_LE(parser.Companies.size(), 1u);
  }

  // A run without break tags, far longer than a line is read at once, is read in pieces; the
  // contact block after it is still found.
  std::string run = "<html><head><title>" + G("明远机械有限公司") + "</title></head><body><p>";
  for (int i = 0; i < 30000; ++i) run += "<span>lorem ipsum</span> < ";
  run +=
      "</p><p>" + G("明远机械有限公司</p><p>电话：0571-88886666</p><p>邮箱：sales@mingyuan.cn</p>");
  parser.LoadPage(run, "", "http://a.cn/", "");
  parser.Analyse();
  ASSERT_EQ(parser.Emails.size(), 1u);
  EXPECT_EQ(parser.Emails[0], "sales@mingyuan.cn");
  EXPECT_EQ(parser.Telephones[0], "0571-88886666");
}

// Names from a title, a copyright line or a footer are cut at separators and slogans.
TEST(ModernRecognition, NamesFromTitleAndFooterLoseSlogans) {
  const auto settings = ShippedDefaults();
  const auto nameOf = [&](const std::string& utf8Page) {
    TParseHTML parser(settings);
    parser.LoadPage(G(utf8Page), "", "http://a.cn/", "");
    parser.Analyse();
    return parser.Companies.empty() ? std::string() : gbk::ToUtf8(parser.Companies[0]);
  };
  EXPECT_EQ(nameOf("<title>联系我们-宁波精工包装集团有限公司-包装材料-宁波专业包装材料厂家</title>"
                   "<body><p>电话：0574-87654321</p>"),
            "宁波精工包装集团有限公司");
  EXPECT_EQ(nameOf("<title>首页</title><body><p>电话：0574-87654321</p>"
                   "<p>&copy; 2024 杭州明德软件 | 专注工业软件二十年</p>"),
            "杭州明德软件");
  EXPECT_EQ(nameOf("<title>Contact Us | Star Tools Co., Ltd. - Hand Tools Maker</title><body>"
                   "<p>Tel: +86 574 8765 4321</p>"),
            "Star Tools Co., Ltd.");
}

// The line reader's records wait packed while the list reader runs: a record named by the
// page keeps the site entry's description, a lone record takes the address of a hidden
// mailto link, analysing again gives the same records and the links find the tokens again.
TEST(ModernRecognition, RecordsWaitingForTheListReaderComeBackWhole) {
  const std::string page =
      G("<html><head><title>明远化工</title></head><body><p>电话：0571-88886666</p>"
        "<div style=\"display:none\"><a href=\"mailto:sales@mingyuan.cn\">写信</a></div>"
        "</body></html>");
  TParseHTML p(ShippedDefaults());
  p.LoadPage(page, "", "http://www.example.com/", G("化工原料"));
  const std::vector<std::string> want = {
      "明远化工\thttp://www.example.com/\tsales@mingyuan.cn\t0571-88886666\t\t\t\t化工原料"};
  const std::vector<std::string> tokens(p.Tokens.begin(), p.Tokens.end());
  p.Analyse();
  EXPECT_EQ(Rows(p), want);
  p.Analyse();
  EXPECT_EQ(Rows(p), want);
  // The tokens, let go while records are read, are back for the links.
  p.ExtractLinks();
  EXPECT_EQ(std::vector<std::string>(p.Tokens.begin(), p.Tokens.end()), tokens);
  EXPECT_EQ(p.TokenIsTag.size(), tokens.size());

  TRecordRows rows;
  rows.Add({"a", "", "bc", "", "", "", "u", ""});
  rows.Add({"d", "e", "", "", "", "", "u", ""});
  rows.SetLast(7, "long description");
  rows.SetLast(0, "");
  std::array<TTextList, TRecordRows::kWidth> columns;
  TRecordRows::TColumns out;
  for (std::size_t c = 0; c < out.size(); ++c) out[c] = &columns[c];
  rows.Unpack(out);
  EXPECT_EQ(columns[0], (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(columns[2], (std::vector<std::string>{"bc", ""}));
  EXPECT_EQ(columns[1], (std::vector<std::string>{"", "e"}));
  EXPECT_EQ(columns[7], (std::vector<std::string>{"", "long description"}));
  // Equal neighbours share their text; changing one leaves the other.
  columns[6].Set(0, "v");
  columns[6].push_back("u");
  EXPECT_EQ(columns[6], (std::vector<std::string>{"v", "u", "u"}));

  // Rows held in blocks: the last row of a block and the first of the next change alike.
  TRecordRows many;
  for (int i = 0; i < 2500; ++i) {
    const std::string n = std::to_string(i);
    // Some fields longer than a one-byte length.
    many.Add({n, "", "", n, "", "", i % 7 == 0 ? std::string(100 + i % 300, 'x') : "u", ""});
    if (i == 1023 || i == 1024) many.SetLast(1, "a" + n);
  }
  ASSERT_EQ(many.size(), 2500u);
  EXPECT_EQ(many.Field(1023, 1), "a1023");
  EXPECT_EQ(many.Field(1024, 1), "a1024");
  EXPECT_EQ(many.Field(1024, 3), "1024");
  EXPECT_EQ(many.Field(2499, 0), "2499");
  EXPECT_EQ(many.Field(1022, 1), "");
  EXPECT_EQ(many.Field(1022, 6), std::string(222, 'x'));
  EXPECT_EQ(many.Field(1022, 7), "");
  EXPECT_EQ(many.Field(1024, 6), "u");
  EXPECT_EQ(many.Field(2499, 6), std::string(199, 'x'));
}

// Thousands of offices wait packed to be merged: the hotline at the top shares its number
// with an office far down the page and takes in that office's name; every office is also a
// list entry of its own.
TEST(ModernRecognition, ManyOfficesMergeAcrossThePackedRecords) {
  // Office names without digits: each digit of the number written as a character.
  const auto name = [](int i) {
    static const char* const kDigits[] = {"甲", "乙", "丙", "丁", "戊",
                                          "己", "庚", "辛", "壬", "癸"};
    std::string n;
    for (const char d : std::to_string(i)) n += kDigits[d - '0'];
    return G(n + "分公司");
  };
  std::string page = G("<html><body><p>服务热线：0571-81005000 邮箱：service@example.com</p>");
  for (int i = 0; i < 6000; ++i)
    page += "<h3>" + name(i) + G("</h3><p>电话：0571-8") + std::to_string(1000000 + i) + "</p>";
  page += "</body></html>";
  // Large enough for the tokens to be let go while the lists are read, and made again.
  ASSERT_GE(page.size(), 256u * 1024);
  TParseHTML p(ShippedDefaults());
  p.LoadPage(page, "", "http://www.example.com/", "");
  const std::vector<std::string> tokens(p.Tokens.begin(), p.Tokens.end());
  p.Analyse();
  ASSERT_EQ(p.Companies.size(), 6001u);
  EXPECT_EQ(p.Companies[4999], name(4999));
  EXPECT_EQ(p.Telephones[5999], "0571-81005999");
  EXPECT_TRUE(p.Companies[6000].ends_with(name(5000)));
  EXPECT_EQ(p.Emails[6000], "service@example.com");
  EXPECT_EQ(p.WebAddresses[6000], "http://www.example.com/");
  const std::vector<std::string> rows = Rows(p);
  p.Analyse();
  EXPECT_EQ(Rows(p), rows);
  p.ExtractLinks();
  EXPECT_EQ(std::vector<std::string>(p.Tokens.begin(), p.Tokens.end()), tokens);
}

// Lines share one buffer: an address linked without text goes with the line before, and a
// line rewritten later leaves its neighbours as they were.
TEST(ModernRecognition, PackedLinesKeepTextAndAddressesApart) {
  TParseHTML p;
  p.LoadPage(G("<body><p>电话：0571-88886666</p><p><a href=\"mailto:a@b.cn\"></a></p>"
               "<p>地址</p></body>"),
             "", "", "");
  std::string title;
  pagetext::TLines lines = pagetext::PageLines(p.Tokens, p.TokenIsTag, title);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines.Text(0), G("电话:0571-88886666"));
  ASSERT_EQ(lines.Mailto(0).size(), 1u);
  EXPECT_EQ(lines.Mailto(0)[0], "a@b.cn");
  EXPECT_TRUE(lines.Mailto(1).empty());
  lines.SetText(0, "x");
  EXPECT_EQ(lines.Text(0), "x");
  EXPECT_EQ(lines.Text(1), G("地址"));
}
