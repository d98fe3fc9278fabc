// Today's sources: result pages of every format read from their fixtures, tracking links,
// blocking, bad input, the data file and the settings that switch sources on.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/global_set.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"
#include "engines/engine_set.h"
#include "engines/result_page_reader.h"
#include "engines/web_source.h"
#include "test_support.h"

using testsupport::G;
using testsupport::ReadFixture;

namespace {

// One source of the shipped registry reading pages into its own program state.
struct TSourceRig {
  explicit TSourceRig(const std::string& name) : source(*TSourceRegistry::Default().Find(name)) {
    source.SetProgramState(&state);
    source.SetKeyword(G("机床"));
    source.ResetSearch();
    source.SetRedirectReader([this](const std::string& url) {
      requested.push_back(url);
      auto it = redirects.find(url);
      return it == redirects.end() ? std::string() : it->second;
    });
  }
  void Read(const std::string& body, long status = 200) {
    TSearchResponse r;
    r.Ok = status < 400;
    r.Status = status;
    r.Body = body;
    r.Url = source.BuildURL();
    source.ReadResponse(r);
  }
  std::vector<std::string> Urls() const {
    std::vector<std::string> urls;
    for (const auto& e : state.CopyURLList()) urls.push_back(e.URL);
    return urls;
  }

  TProgramState state;
  TWebSourceObject source;
  std::map<std::string, std::string> redirects;
  std::vector<std::string> requested;
};

using TUrls = std::vector<std::string>;

}  // namespace

TEST(WebSources, EveryHtmlSourceReadsItsFixture) {
  struct TCase {
    const char* name;
    const char* fixture;
    std::map<std::string, std::string> redirects;
    TUrls expected;
    const char* firstTitle;  // UTF-8
  };
  const std::vector<TCase> cases = {
      // The item's mu attribute spares a request; the engine's own card is left out.
      {"BaiduWeb",
       "engines/baiduweb_page.html",
       {{"http://www.baidu.com/link?url=Bb2-sanli", "http://www.sanli-machine.com/"},
        {"http://www.baidu.com/link?url=Cc3-jixie", "https://jixie.example.cn/a?b=1#top"}},
       {"http://www.hongda-jixie.com.cn/", "http://www.sanli-machine.com/",
        "https://jixie.example.cn/a?b=1"},
       "宏达机床有限公司"},
      {"Bing",
       "engines/bing_page.html",
       {},
       {"http://www.hongda-jixie.com.cn/about.html", "http://www.sanli-machine.com/index.php"},
       "宏达机床"},
      // Relative tracking links resolve against the result page; data-url needs no request.
      {"Sogou",
       "engines/sogou_page.html",
       {{"https://www.sogou.com/link?url=Dd4-dongfang", "http://www.dongfang-bearing.com/"}},
       {"http://www.hongda-jixie.com.cn/", "http://www.dongfang-bearing.com/"},
       "宏达机床"},
      {"So360",
       "engines/so360_page.html",
       {{"https://www.so.com/link?m=eB2", "http://www.sanli-machine.com/"}},
       {"http://www.hongda-jixie.com.cn/", "http://www.sanli-machine.com/"},
       "宏达机床"},
      {"DuckDuckGo",
       "engines/duckduckgo_page.html",
       {},
       {"http://www.dongfang-bearing.com/contact?id=3&x=1", "http://www.sanli-machine.com/"},
       "东方轴承"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSourceRig rig(c.name);
    rig.redirects = c.redirects;
    rig.Read(ReadFixture(c.fixture));
    EXPECT_EQ(rig.Urls(), c.expected);
    EXPECT_EQ(rig.requested.size(), c.redirects.size());
    ASSERT_FALSE(rig.state.CopyURLList().empty());
    EXPECT_EQ(rig.state.CopyURLList()[0].Title, G(c.firstTitle));
    EXPECT_EQ(rig.source.Given.load(), static_cast<int32_t>(c.expected.size()));
    EXPECT_EQ(rig.source.PageCount, 1);
    // DuckDuckGo serves one page; the others show a next-page link.
    const bool onePage = std::string(c.name) == "DuckDuckGo";
    EXPECT_EQ(rig.source.Finished, onePage);
    EXPECT_EQ(rig.source.State.load(), onePage ? TSourceState::Finished : TSourceState::Searching);
    // The same page again brings nothing new and ends the source.
    if (!onePage) {
      rig.Read(ReadFixture(c.fixture));
      EXPECT_TRUE(rig.source.Finished);
      EXPECT_EQ(rig.source.State.load(), TSourceState::Finished);
    }
  }
}

TEST(WebSources, AddressesPageByEachSourcesOwnScheme) {
  auto pages = [](const char* name, const std::string& base) {
    TWebSourceObject s(*TSourceRegistry::Default().Find(name));
    s.SetBase(base);
    s.SetKeyword(G(" 数控 机床 "));
    TUrls urls;
    for (int i = 0; i < 2; ++i) {
      urls.push_back(s.GetNextURL());
      s.SetPosition(s.ResultOffset + s.PageStep, s.PageCount + 1);
    }
    return urls;
  };
  const std::string q = "%E6%95%B0%E6%8E%A7%20%E6%9C%BA%E5%BA%8A";
  EXPECT_EQ(pages("BaiduWeb", ""), (TUrls{"https://www.baidu.com/s?wd=" + q + "&pn=0&ie=utf-8",
                                          "https://www.baidu.com/s?wd=" + q + "&pn=10&ie=utf-8"}));
  // host[:port] keeps the entry's scheme; a full base URL is used as it is.
  EXPECT_EQ(pages("Bing", "bing.example:8443/"),
            (TUrls{"https://bing.example:8443/search?q=" + q + "&first=1",
                   "https://bing.example:8443/search?q=" + q + "&first=11"}));
  EXPECT_EQ(pages("Sogou", "http://sogou.today.localhost:8080"),
            (TUrls{"http://sogou.today.localhost:8080/web?query=" + q + "&page=1&ie=utf8",
                   "http://sogou.today.localhost:8080/web?query=" + q + "&page=2&ie=utf8"}));
  EXPECT_EQ(pages("So360", "")[1], "https://www.so.com/s?q=" + q + "&pn=2");
  EXPECT_EQ(pages("SearXNG", "http://127.0.0.1:9/")[1],
            "http://127.0.0.1:9/search?q=" + q + "&format=json&pageno=2&language=zh-CN");
}

TEST(WebSources, BlockedPagesStopTheSourceAndKeepItsPosition) {
  struct TCase {
    const char* name;
    std::string body;
    long status;
  };
  const std::vector<TCase> cases = {
      {"BaiduWeb", ReadFixture("engines/baiduweb_blocked.html"), 200},
      {"DuckDuckGo", ReadFixture("engines/duckduckgo_blocked.html"), 200},
      {"Bing", "", 200},
      {"Bing", "<html><body><ol id=\"b_results\"></ol></body></html>", 200},
      {"Sogou", "x", 429},
      {"So360", "x", 403},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.status));
    TSourceRig rig(c.name);
    rig.source.SetPosition(21, 2);
    rig.Read(c.body, c.status);
    EXPECT_EQ(rig.source.State.load(), TSourceState::Blocked);
    EXPECT_TRUE(rig.source.Finished);
    EXPECT_EQ(rig.source.GetNextURL(), "");
    EXPECT_EQ(rig.source.BlockedOffset.load(), 21);
    EXPECT_EQ(rig.source.BlockedPages.load(), 2);
    EXPECT_EQ(rig.state.EngineResultOffset.load(), 21);
    EXPECT_TRUE(rig.state.CopyURLList().empty());
  }
  // A network failure is a failed page, not a block.
  TSourceRig rig("Bing");
  rig.Read("", 500);
  EXPECT_EQ(rig.source.State.load(), TSourceState::Failed);
  EXPECT_EQ(rig.source.FailedPages.load(), 1);
}

TEST(WebSources, JsonSourceReadsResultsAndSurvivesBadBodies) {
  TSourceRig rig("SearXNG");
  rig.Read(ReadFixture("engines/searxng_page.json"));
  // Items with wrong types are skipped; a content that is not a string is an empty text.
  EXPECT_EQ(rig.Urls(),
            (TUrls{"http://www.hongda-jixie.com.cn/", "https://www.sanli-machine.com/about"}));
  EXPECT_EQ(rig.state.CopyURLList()[1].Description, "");
  EXPECT_FALSE(rig.source.Finished);

  // Every engine behind the instance unresponsive and nothing found: blocked.
  TSourceRig blocked("SearXNG");
  blocked.Read(R"({"results": [], "unresponsive_engines": [["baidu", "CAPTCHA"]]})");
  EXPECT_EQ(blocked.source.State.load(), TSourceState::Blocked);

  TSourceRig empty("SearXNG");
  empty.Read(R"({"results": [], "unresponsive_engines": []})");
  EXPECT_EQ(empty.source.State.load(), TSourceState::Finished);

  const std::string big(5u << 20, '[');
  for (const std::string& bad :
       {std::string("<html>not json</html>"), std::string(R"({"results": [{"url": "http://a.b/")"),
        std::string(R"({"results": {"url": "http://a.b/"}})"), std::string("[1,2,3]"), big,
        std::string("{\"results\": [{\"url\": \"\xff\xfe\"}]}")}) {
    TSourceRig r("SearXNG");
    r.Read(bad);
    EXPECT_EQ(r.source.State.load(), TSourceState::Failed) << bad.substr(0, 40);
    EXPECT_TRUE(r.state.CopyURLList().empty());
  }
}

TEST(WebSources, HtmlReaderTakesAnyBytes) {
  const TSourceDef& def = *TSourceRegistry::Default().Find("BaiduWeb");
  std::string noise;
  for (int i = 0; i < 200000; ++i) noise += static_cast<char>((i * 7919) % 256);
  for (const std::string& body : {noise, std::string(5u << 20, '<'), std::string("\0\0<h3", 5)}) {
    const TResultPageRead read = ReadHtmlResultPage(body, "text/html; charset=utf-8", def);
    EXPECT_TRUE(read.Items.empty());
  }
}

TEST(WebSources, TrackingLinkDecoders) {
  EXPECT_EQ(
      DecodeBingLink(
          "https://www.bing.com/ck/a?!&&p=1&u=a1aHR0cDovL3d3dy5zYW5saS1tYWNoaW5lLmNvbS8&ntb=1"),
      "http://www.sanli-machine.com/");
  EXPECT_EQ(DecodeBingLink("https://www.bing.com/ck/a?u=a1!!!"), "");
  EXPECT_EQ(DecodeBingLink("https://www.bing.com/ck/a?p=1"), "");
  EXPECT_EQ(DecodeUddgLink("//duckduckgo.com/l/?uddg=https%3A%2F%2Fa.example%2Fx%3Fy%3D1&rut=z"),
            "https://a.example/x?y=1");
  EXPECT_EQ(DecodeUddgLink("//duckduckgo.com/l/?uddg=javascript%3Aalert(1)"), "");
  EXPECT_EQ(AbsoluteLink("?page=2", "https://h.example/web?query=x"),
            "https://h.example/web?page=2");
  EXPECT_EQ(AbsoluteLink("//d.example/l", "https://h.example/"), "https://d.example/l");
  EXPECT_EQ(PercentDecode("%E6%9C%BA%2x%"), "\xE6\x9C\xBA%2x%");
}

TEST(SourceRegistry, BrokenEntriesAreSkippedWithFileLineAndReason) {
  TSourceRegistry registry;
  registry.LoadText(
      "; comment\n"
      "[Good]\n"
      "path = /s?q={q}\n"
      "base = https://good.example\n"
      "results = //li\n"
      "link = .//a/@href\n"
      "[NoQuery]\n"
      "path = /s\n"
      "results = //li\n"
      "link = .//a/@href\n"
      "[BadXPath]\n"
      "path = /s?q={q}\n"
      "results = //li[\n"
      "link = .//a/@href\n"
      "[Baidu]\n"
      "path = /s?q={q}\n"
      "results = //li\n"
      "link = .//a/@href\n"
      "[Odd]\n"
      "colour = red\n"
      "[Steps]\n"
      "kind = json\n"
      "path = /s?q={q}\n"
      "step = -3\n",
      "my.ini");
  ASSERT_NE(registry.Find("Good"), nullptr);
  EXPECT_EQ(registry.Find("Good")->BaseURL, "https://good.example");
  for (const char* name : {"NoQuery", "BadXPath", "Odd", "Steps"})
    EXPECT_EQ(registry.Find(name), nullptr) << name;
  EXPECT_EQ(registry.Find("Baidu")->Kind, TSourceKind::Classic);
  std::vector<std::string> texts;
  for (const auto& m : registry.Messages()) texts.push_back(m.Text());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "my.ini:8: [NoQuery] path must start with / and contain {q}",
                       "my.ini:13: [BadXPath] bad XPath in results",
                       "my.ini:15: [Baidu] the name Baidu is a built-in engine",
                       "my.ini:20: [Odd] unknown key colour",
                       "my.ini:24: [Steps] step must be a number from 1 to 1000",
                   }));

  // A later file replaces an entry of the same name and keeps the order.
  registry.LoadText("[Good]\ncaption = 好\npath = /x?q={q}\nresults = //p\nlink = a/@href\n",
                    "u.ini");
  EXPECT_EQ(registry.Find("Good")->Caption, "好");
  EXPECT_EQ(registry.Entries().size(), 7u);
}

TEST(SourceRegistry, SettingsSwitchSourcesOnAndTaskFilesNameThem) {
  TEngineSet engines;
  const std::vector<std::string> classic = {"sina", "sohu", "yahoo", "google", "163", "baidu"};
  for (std::size_t i = 0; i < classic.size(); ++i)
    EXPECT_EQ(EngineName(engines.All()[i]), classic[i]);
  TSearchEngineObject* bing = engines.Source("Bing");
  ASSERT_NE(bing, nullptr);
  EXPECT_EQ(EngineName(bing), "Bing");
  const TEngineNaming naming = engines.Naming();
  EXPECT_EQ(naming.ByName("Bing"), bing);
  EXPECT_EQ(naming.ByName("bing"), nullptr);
  EXPECT_EQ(naming.ByName("Gone"), nullptr);

  // Settings made in code leave today's sources off; a file that lacks a key takes the
  // registry's default, and a key of the file wins.
  TGlobalSet inCode;
  inCode.FlagUseSina = inCode.FlagUseSohu = inCode.FlagUseYahoo = false;
  inCode.FlagUseGoogle = inCode.FlagUse163 = inCode.FlagUseBaidu = false;
  EXPECT_TRUE(engines.Selected(inCode).empty());

  testsupport::TempDir dir;
  const std::string path = (dir / "g.ini").string();
  testsupport::WriteFile(
      path,
      "[FLAGUSESEARCH]\r\nFlagUseSina=0\r\nFlagUseSohu=0\r\nFlagUseYahoo=0\r\n"
      "FlagUseGoogle=0\r\nFlagUse163=0\r\nFlagUseBaidu=1\r\n"
      "[SOURCES]\r\nbing=0\r\nSearXNG=1\r\n"
      "[SOURCEHOST]\r\nSogou=sogou.localhost:81\r\nSearXNG=http://127.0.0.1:9\r\n"
      "[SEARCH]\r\nPaceMs=0\r\n");
  TGlobalSet loaded;
  LoadSettings(loaded, path);
  EXPECT_EQ(loaded.PaceMs, 0);
  std::vector<std::string> names;
  for (TSearchEngineObject* e : engines.Selected(loaded)) names.push_back(EngineName(e));
  EXPECT_EQ(names, (std::vector<std::string>{"baidu", "BaiduWeb", "Sogou", "So360", "DuckDuckGo",
                                             "SearXNG"}));
  engines.ApplyHosts(loaded);
  auto* sogou = dynamic_cast<TWebSourceObject*>(engines.Source("Sogou"));
  EXPECT_EQ(sogou->Base(), "https://sogou.localhost:81");
  EXPECT_EQ(dynamic_cast<TWebSourceObject*>(engines.Source("SearXNG"))->Base(),
            "http://127.0.0.1:9");

  // The options dialog's save writes the sources back; a second read gives the same.
  loaded.SourceUse["Bing"] = true;
  SaveEngineSettings(loaded, path);
  TGlobalSet again;
  LoadSettings(again, path);
  EXPECT_TRUE(SourceEnabled(*TSourceRegistry::Default().Find("Bing"), again));
  EXPECT_EQ(again.SourceHost.at("Sogou"), "sogou.localhost:81");
}

// The rules measured on real saved pages, where the development corpus is present.
TEST(WebSources, RealSavedPagesGiveTheirExpectedLinks) {
  const std::filesystem::path corpus = "/work/shared/corpus/engines";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus";
  const std::vector<std::pair<std::string, std::string>> pages = {
      {"BaiduWeb", "baidu-01-astm-a106"},          {"Bing", "bing-01-win10-iso-xiazai"},
      {"Sogou", "sogou-01-tigong-jinkou-qiqiang"}, {"So360", "360-01-kuaiji-peixun"},
      {"DuckDuckGo", "duckduckgo-01-antani"},
  };
  for (const auto& [name, stem] : pages) {
    SCOPED_TRACE(stem);
    const std::string links = testsupport::ReadFile(corpus / (stem + ".links.txt"));
    TSourceRig rig(name);
    // Every tracking link resolves to an address of its own.
    int n = 0;
    rig.source.SetRedirectReader(
        [&n](const std::string&) { return "http://site" + std::to_string(++n) + ".example/"; });
    rig.Read(testsupport::ReadFile(corpus / (stem + ".html")));
    std::size_t expected = 0;
    const TUrls got = rig.Urls();
    for (std::size_t p = 0; p < links.size();) {
      const std::size_t eol = links.find('\n', p);
      const std::string line = links.substr(p, eol == std::string::npos ? eol : eol - p);
      p = eol == std::string::npos ? links.size() : eol + 1;
      if (line.empty()) continue;
      ++expected;
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos || line.find("/link?") != std::string::npos) continue;
      const std::string target = line.substr(tab + 1);
      bool found = false;
      for (const auto& u : got) found = found || u == target;
      EXPECT_TRUE(found) << target;
    }
    EXPECT_EQ(got.size(), expected);
  }
}

TEST(SourceRegistry, BlockedPositionsTravelInTheTaskFileOnlyWhenThereAreAny) {
  TTaskFileData data;
  data.TaskName = "t";
  const std::string plain = EncodeTaskFile(data);
  EXPECT_TRUE(DecodeTaskFile(plain).BlockedSources.empty());
  // Bytes after the last item that do not read as blocked positions are ignored as before.
  EXPECT_TRUE(DecodeTaskFile(plain + "junk").BlockedSources.empty());

  TEngineSet engines;
  TSearchEngineObject* bing = engines.Source("Bing");
  bing->BlockedOffset = 21;
  bing->BlockedPages = 2;
  testsupport::TempDir dir;
  const std::string path = (dir / "b.swrw").string();
  TProgramState state;
  TResultTable rows;
  SaveToFile(path, state, rows, {}, engines.Naming());
  const TTaskFileData saved = ReadTaskFile(path);
  ASSERT_EQ(saved.BlockedSources.size(), 1u);
  EXPECT_EQ(saved.BlockedSources[0].Name, "Bing");
  EXPECT_EQ(saved.BlockedSources[0].ResultOffset, 21);
  // Without a blocked source the file is what it always was: item 13 is the last.
  bing->BlockedOffset = 0;
  const std::string path2 = (dir / "plain.swrw").string();
  SaveToFile(path2, state, rows, {}, engines.Naming());
  EXPECT_EQ(testsupport::ReadFile(path2), EncodeTaskFile(ReadTaskFile(path2)));
  EXPECT_EQ(testsupport::ReadFile(path).substr(0, testsupport::ReadFile(path2).size()),
            testsupport::ReadFile(path2));

  TEngineSet other;
  TTaskWindowItems window;
  LoadFromFile(path, state, rows, window, other.Naming());
  EXPECT_EQ(other.Source("Bing")->BlockedOffset.load(), 21);
  EXPECT_EQ(other.Source("Bing")->BlockedPages.load(), 2);
  EXPECT_EQ(other.Source("Bing")->State.load(), TSourceState::Blocked);
  EXPECT_EQ(other.Source("Sogou")->BlockedOffset.load(), 0);
}
