// Result-page addresses per engine, engine names, hosts and the engine list.

#include "engines/engine_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/global_set.h"
#include "test_support.h"

using testsupport::G;

namespace {

// Addresses of the first three pages of a run that starts from the beginning.
std::vector<std::string> FirstThreePages(TSearchEngineObject& e) {
  e.ResetSearch();
  std::vector<std::string> urls;
  for (int page = 0; page < 3; ++page) {
    urls.push_back(e.GetNextURL());
    e.NeedTotal = false;
    e.Paging = true;
    e.SetPosition(e.ResultOffset + e.PageStep, e.PageCount + 1);
  }
  return urls;
}

}  // namespace

TEST(EngineAddresses, EveryEnginePagesByItsOwnPattern) {
  TEngineSet engines;
  const std::string k = G("数控 机床");
  for (TSearchEngineObject* e : engines.All()) e->SetKeyword("  " + k + " ");

  EXPECT_EQ(FirstThreePages(engines.Baidu()),
            (std::vector<std::string>{"http://www.baidu.com/baidu?word=" + k + "&pn=0",
                                      "http://www.baidu.com/baidu?word=" + k + "&pn=10",
                                      "http://www.baidu.com/baidu?word=" + k + "&pn=20"}));
  EXPECT_EQ(FirstThreePages(engines.Engine163()),
            (std::vector<std::string>{"http://search.163.com/Psearch?q=" + k + "&ofs=0",
                                      "http://search.163.com/Psearch?q=" + k + "&ofs=10",
                                      "http://search.163.com/Psearch?q=" + k + "&ofs=20"}));
  const std::string g =
      "http://www.google.com/search?&q=" + k + "&num=30&hl=zh-CN&lr=lang_zh-CN&inlang=zh-CN&start=";
  EXPECT_EQ(FirstThreePages(engines.Google()),
            (std::vector<std::string>{g + "0", g + "30", g + "60"}));
  const std::string y = "http://search.cn.yahoo.com/search/cn?p=" + k + "&b=";
  EXPECT_EQ(FirstThreePages(engines.Yahoo()),
            (std::vector<std::string>{y + "1&h=s&n=30", y + "31&h=s&n=30", y + "61&h=s&n=30"}));
  const std::string s = "http://dir.sohu.com/website.jsp?key_word=" + k + "&page_index=";
  EXPECT_EQ(FirstThreePages(engines.Sohu()), (std::vector<std::string>{s + "0", s + "1", s + "2"}));
  const std::string n = "http://search.sina.com.cn/cgi-bin/search/search.cgi?_searchkey=" + k +
                        "&_andor=and&_ss=href&_begin=";
  EXPECT_EQ(FirstThreePages(engines.Sina()),
            (std::vector<std::string>{n + "1", n + "31", n + "61"}));

  EXPECT_EQ(engines.Sina().PageStep, 30);
  EXPECT_EQ(engines.Sohu().PageStep, 20);
  EXPECT_EQ(engines.Yahoo().PageStep, 30);
  EXPECT_EQ(engines.Google().PageStep, 30);
  EXPECT_EQ(engines.Engine163().PageStep, 10);
  EXPECT_EQ(engines.Baidu().PageStep, 10);
}

TEST(EngineAddresses, NoAddressWithoutQueryTextOrWhenFinished) {
  TEngineSet engines;
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.SetKeyword(" \t ");
  EXPECT_EQ(baidu.GetNextURL(), "");
  baidu.SetKeyword("x");
  EXPECT_EQ(baidu.GetNextURL(), "http://www.baidu.com/baidu?word=x&pn=0");
  baidu.Finished = true;
  EXPECT_EQ(baidu.GetNextURL(), "");
  baidu.ResetSearch();
  EXPECT_EQ(baidu.GetNextURL(), "http://www.baidu.com/baidu?word=x&pn=0");
  // Neither first page nor paging.
  baidu.NeedTotal = false;
  EXPECT_EQ(baidu.GetNextURL(), "");
  // SetPosition moves the page, not the state.
  baidu.ResetSearch();
  baidu.SetPosition(41, 4);
  EXPECT_TRUE(baidu.NeedTotal);
  EXPECT_EQ(baidu.GetNextURL(), "http://www.baidu.com/baidu?word=x&pn=40");
}

TEST(EngineAddresses, HostOverrideFromSettings) {
  TEngineSet engines;
  TGlobalSet settings;
  settings.EngineHost["Baidu"] = "127.0.0.1:8080";
  settings.EngineHost["163"] = " http://search.163.localhost:9000/ ";
  settings.EngineHost["baidu"] = "ignored.example";  // keys are case-sensitive
  engines.ApplyHosts(settings);
  engines.Baidu().SetKeyword("x");
  EXPECT_EQ(engines.Baidu().GetNextURL(), "http://127.0.0.1:8080/baidu?word=x&pn=0");
  EXPECT_EQ(engines.Engine163().Host(), "search.163.localhost:9000");
  EXPECT_EQ(engines.Sina().Host(), "search.sina.com.cn");

  engines.ApplyHosts(TGlobalSet{});
  EXPECT_EQ(engines.Baidu().Host(), "www.baidu.com");
}

TEST(EngineNames, NamesAreExactAndCaseSensitive) {
  TEngineSet engines;
  const std::vector<std::string> names = {"sina", "sohu", "yahoo", "google", "163", "baidu"};
  ASSERT_GE(engines.All().size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(EngineName(engines.All()[i]), names[i]);
    EXPECT_EQ(EngineByName(engines, names[i]), engines.All()[i]);
  }
  EXPECT_EQ(EngineByName(engines, "163"), &engines.Engine163());
  EXPECT_EQ(EngineName(nullptr), "");
  EXPECT_EQ(EngineByName(engines, ""), nullptr);
  EXPECT_EQ(EngineByName(engines, "Baidu"), nullptr);
  EXPECT_EQ(EngineByName(engines, "baidu "), nullptr);
  EXPECT_EQ(EngineByName(engines, "bing"), nullptr);

  // Two sets are distinct: a name resolves to the adapter of the set asked.
  TEngineSet other;
  EXPECT_EQ(EngineByName(other, "sina"), &other.Sina());
}

TEST(EngineNames, SelectedFollowsFlagsInFixedOrder) {
  TEngineSet engines;
  TGlobalSet settings;
  EXPECT_EQ(engines.Selected(settings).size(), 6u);
  settings.FlagUseSina = false;
  settings.FlagUseYahoo = false;
  settings.FlagUse163 = false;
  EXPECT_EQ(engines.Selected(settings), (std::vector<TSearchEngineObject*>{
                                            &engines.Sohu(), &engines.Google(), &engines.Baidu()}));
  settings.FlagUseSohu = settings.FlagUseGoogle = settings.FlagUseBaidu = false;
  EXPECT_TRUE(engines.Selected(settings).empty());
}
