#include "core/global_set.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "core/gbk.h"
#include "test_support.h"

using testsupport::G;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (auto l : lines) (out += l) += "\r\n";
  return out;
}

TLikeList L(std::initializer_list<const char*> utf8) {
  TLikeList list;
  for (const char* s : utf8) list.push_back(G(s));
  return list;
}

}  // namespace

TEST(Settings, MissingFileGivesDefaults) {
  TempDir dir;
  TGlobalSet set;
  set.AddressLike = {"stale"};
  set.EngineHost["Sina"] = "stale";
  EXPECT_TRUE(LoadSettings(set, (dir / "Gleaner.ini").string()));
  for (const auto& line : SettingsLines(set)) {
    if (line.Section == "SETTING" || line.Section == "CRAWL" || line.Section == "NETWORK" ||
        line.Section == "LEADS")
      continue;
    const bool isFlag =
        line.Key.starts_with("BUse") || gbk::LowerLatin(line.Key).starts_with("flag");
    EXPECT_EQ(line.Value, isFlag ? "1" : "") << line.Key;
  }
  EXPECT_EQ(set.MaxFindWebThreadCount, 10);
  EXPECT_EQ(set.MaxCrawlLevel, 2);
  EXPECT_EQ(set.MaxReadHTMLTimeOut, 30000);
  EXPECT_TRUE(set.EngineHost.empty());
  // The crawl and network keys default to what the options dialog's default button sets.
  const TGlobalSet factory = FactoryGlobalSet();
  EXPECT_EQ(set.SitePageBudget, factory.SitePageBudget);
  EXPECT_EQ(set.SiteParallelPages, factory.SiteParallelPages);
  EXPECT_EQ(set.UserAgent, factory.UserAgent);
  EXPECT_EQ(set.ProxyMode, factory.ProxyMode);
  EXPECT_FALSE(set.UseRobotsTxt || set.AcceptBrokenTls);
  EXPECT_TRUE(set.MergeLeads);
  EXPECT_EQ(set.PhoneRegion, "CN");
  // Pages are rendered only where a file asks: a file without the key crawls as before.
  EXPECT_EQ(set.RenderScripts, 0);
  EXPECT_EQ(factory.RenderScripts, 1);
  EXPECT_EQ(set.RenderParallel, factory.RenderParallel);
  EXPECT_EQ(set.RenderDeadline, factory.RenderDeadline);
  EXPECT_EQ(SettingsLines(set).size(), 45u);
}

TEST(Settings, HandWrittenFileLoadsAndIsRewrittenInPlace) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  WriteFile(path, G(Crlf({"; 手写的配置",
                          "[mainlike]",
                          "addresslike = 地址;厂址;",
                          "faxnoLike=传真;fax",
                          "[SECONDLIKE]",
                          "AddressContentLike=省;;市;",
                          "Unknown=保留",
                          "",
                          "[SETTING]",
                          "MaxCrawlLevel=0x4",
                          "MaxFindWebThreadCount=99",
                          "MaxReadHTMLTimeOut=abc",
                          "ClampNumbers=0",
                          "[FINDFLAGS]",
                          "FlagFindAddressAndPostCode=2",
                          "FlagFindTelAndFax=0",
                          "FlagFindMailAddress=",
                          "[flagusesearch]",
                          "flaguse163=0",
                          "FlagUseBaidu=0",
                          "[ENGINEHOST]",
                          "baidu = 127.0.0.1:8080",
                          "Google=",
                          "[LIKE]",
                          "LIKESETTING=0"})));
  TGlobalSet set;
  EXPECT_FALSE(LoadSettings(set, path));
  EXPECT_EQ(set.AddressLike, L({"地址", "厂址"}));
  EXPECT_EQ(set.faxnoLike, L({"传真", "fax"}));
  EXPECT_EQ(set.AddressContentLike, L({"省", "", "市"}));
  EXPECT_EQ(set.MaxCrawlLevel, 4);
  EXPECT_EQ(set.MaxFindWebThreadCount, 99);
  EXPECT_EQ(set.MaxReadHTMLTimeOut, 30000);
  EXPECT_TRUE(set.FlagFindAddressAndPostCode);
  EXPECT_FALSE(set.FlagFindTelAndFax);
  EXPECT_TRUE(set.FlagFindMailAddress);
  EXPECT_FALSE(set.FlagUse163);
  EXPECT_FALSE(set.FlagUseBaidu);
  EXPECT_TRUE(set.FlagUseGoogle);
  EXPECT_EQ(set.EngineHost, (std::map<std::string, std::string>{{"Baidu", "127.0.0.1:8080"}}));

  SaveSettings(set, path);
  EXPECT_EQ(ReadFile(path), G(Crlf({"; 手写的配置",
                                    "[mainlike]",
                                    "AddressLike=地址;厂址;",
                                    "faxnoLike=传真;fax;",
                                    "PostCodeLike=",
                                    "telephoneLike=",
                                    "MailAddressLike=",
                                    "CompanyLike=",
                                    "[SECONDLIKE]",
                                    "AddressContentLike=省;;市;",
                                    "Unknown=保留",
                                    "HTMLNameLike=",
                                    "CompanyNameLike=",
                                    "",
                                    "[SETTING]",
                                    "MaxCrawlLevel=4",
                                    "MaxFindWebThreadCount=99",
                                    "MaxReadHTMLTimeOut=30000",
                                    "ClampNumbers=0",
                                    "[FINDFLAGS]",
                                    "FlagFindAddressAndPostCode=1",
                                    "FlagFindTelAndFax=0",
                                    "FlagFindMailAddress=1",
                                    "[flagusesearch]",
                                    "FlagUse163=0",
                                    "FLAGUSEBaidu=0",
                                    "FlagUseSina=1",
                                    "FlagUseSohu=1",
                                    "FlagUseYahoo=1",
                                    "FlagUseGoogle=1",
                                    "[ENGINEHOST]",
                                    "baidu = 127.0.0.1:8080",
                                    "Google=",
                                    "[LIKE]",
                                    "LIKESETTING=0",
                                    "[POINTLIKE]",
                                    "InfoLinkLike=",
                                    "NextPageLinkLike=",
                                    "NextPageLike=",
                                    "BUseCompanyNameLike=1",
                                    "BUseNextPageLike=1"})));

  TGlobalSet again;
  EXPECT_FALSE(LoadSettings(again, path));
  auto a = SettingsLines(set);
  auto b = SettingsLines(again);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].Value, b[i].Value) << a[i].Key;
}

TEST(Settings, EachSaveWritesOnlyItsOwnSections) {
  TGlobalSet set;
  set.AddressLike = L({"新地址"});
  set.HTMLNameLike = {"about"};
  set.NextPageLike = L({"页"});
  set.MaxCrawlLevel = -3;
  set.FlagFindMailAddress = false;  // and FlagFindTelAndFax stays on
  set.FlagUseBaidu = false;
  set.BUseNextPageLike = false;
  const std::set<std::string> all = {"MAINLIKE", "SECONDLIKE", "POINTLIKE",
                                     "SETTING",  "FINDFLAGS",  "FLAGUSESEARCH"};
  struct Op {
    const char* name;
    std::function<void(const std::string&)> save;
    std::set<std::string> sections;
  } ops[] = {
      {"SaveSettings", [&](const std::string& p) { SaveSettings(set, p); }, all},
      {"SaveMatchingSettings",
       [&](const std::string& p) { SaveMatchingSettings(set, p); },
       {"MAINLIKE", "SECONDLIKE", "SETTING", "FINDFLAGS"}},
      {"SavePointWebSettings",
       [&](const std::string& p) { SavePointWebSettings(set, p); },
       {"POINTLIKE"}},
      {"SaveEngineSettings",
       [&](const std::string& p) { SaveEngineSettings(set, p); },
       {"FLAGUSESEARCH"}},
      {"SaveSearchMode", [&](const std::string& p) { SaveSearchMode(false, p); }, {"LIKE"}},
  };

  // Every key hand-edited to "hand", plus keys and a section the program does not know.
  std::string hand;
  std::string section;
  for (const auto& line : SettingsLines(TGlobalSet{})) {
    if (line.Section != section) {
      if (!section.empty()) hand += "Extra=keep\r\n";
      section = line.Section;
      hand += "[" + section + "]\r\n";
    }
    hand += (line.Key == "FLAGUSEBaidu" ? "FlagUseBaidu" : line.Key) + "=hand\r\n";
  }
  hand += Crlf({"Extra=keep", "[ENGINEHOST]", "Sina=s.localhost", "[LIKE]", "LIKESETTING=hand"});

  for (const auto& op : ops) {
    TempDir dir;
    const auto path = (dir / "Gleaner.ini").string();
    WriteFile(path, hand);
    op.save(path);
    TIniFile ini(ReadFile(path));
    for (const auto& line : SettingsLines(set)) {
      const bool owned = op.sections.count(line.Section) > 0;
      EXPECT_EQ(ini.ReadString(line.Section, line.Key), owned ? line.Value : "hand")
          << op.name << " " << line.Key;
      EXPECT_EQ(ini.ReadString(line.Section, "Extra"), "keep") << op.name;
    }
    EXPECT_EQ(ini.ReadString("ENGINEHOST", "Sina"), "s.localhost") << op.name;
    EXPECT_EQ(ini.ReadString("LIKE", "LIKESETTING"), op.sections.count("LIKE") ? "0" : "hand")
        << op.name;
    if (op.sections.count("FINDFLAGS")) {
      EXPECT_EQ(ini.ReadString("FINDFLAGS", "FlagFindMailAddress"), "0");
      EXPECT_EQ(ini.ReadString("FINDFLAGS", "FlagFindTelAndFax"), "1");
    }
    if (op.sections.count("FLAGUSESEARCH")) {
      // The Baidu line is rewritten under the writers' spelling, in the same place.
      EXPECT_NE(ReadFile(path).find("\r\nFLAGUSEBaidu=0\r\nExtra=keep\r\n"), std::string::npos);
      TGlobalSet back;
      LoadSettings(back, path);
      EXPECT_FALSE(back.FlagUseBaidu);
    }
  }
}

TEST(Settings, ListLongerThan2047BytesLosesItsTail) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  std::string entries;
  for (int i = 0; i < 1000; ++i) entries += G("厂;");
  WriteFile(path, "[SECONDLIKE]\r\nCompanyNameLike=" + entries + "\r\n");
  TGlobalSet set;
  LoadSettings(set, path);
  // 682 whole entries fill 2046 bytes; the 2047th byte would be half a character.
  ASSERT_EQ(set.CompanyNameLike.size(), 682u);
  EXPECT_EQ(set.CompanyNameLike.back(), G("厂"));
  SaveMatchingSettings(set, path);
  EXPECT_EQ(TIniFile(ReadFile(path)).ReadString("SECONDLIKE", "CompanyNameLike"),
            entries.substr(0, 2046));
}

TEST(Settings, SaveToAPathThatCannotBeWrittenReportsTheFullPath) {
  // Runs as root too: a path below a regular file and a path that is a directory can never
  // be written, whatever the permissions.
  TempDir dir;
  WriteFile(dir / "plain", "x");
  const auto below = (dir / "plain" / "Gleaner.ini").string();
  TGlobalSet set;
  EXPECT_TRUE(LoadSettings(set, below));
  EXPECT_EQ(set.MaxCrawlLevel, 2);
  try {
    SaveSettings(set, below);
    ADD_FAILURE() << "no error";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + below);
  }
  const auto isDir = dir.Path().string();
  EXPECT_TRUE(LoadSettings(set, isDir));
  EXPECT_THROW(SaveEngineSettings(set, isDir), EIniWriteError);
  EXPECT_THROW(SaveSearchMode(true, isDir), EIniWriteError);

  if (::geteuid() != 0) {
    const auto ro = (dir / "ro.ini").string();
    WriteFile(ro, "[LIKE]\r\nLIKESETTING=1\r\n");
    std::filesystem::permissions(ro, std::filesystem::perms::owner_read);
    EXPECT_THROW(SaveSearchMode(false, ro), EIniWriteError);
    EXPECT_EQ(ReadFile(ro), "[LIKE]\r\nLIKESETTING=1\r\n");
  }
}

TEST(Settings, FailedKeyStopsTheSaveAndKeepsTheKeysBeforeIt) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  TGlobalSet set;
  LoadSettings(set, path);
  SaveSettings(set, path);
  const auto before = std::filesystem::file_size(path);

  set.AddressLike = {"new"};
  set.HTMLNameLike = {"new"};
  set.CompanyNameLike = {std::string(20000, 'x')};  // too big for the file size limit below
  set.MaxCrawlLevel = 5;
  // A file size limit makes one key's write fail even for root.
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit oldLimit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  rlimit limit = oldLimit;
  limit.rlim_cur = before + 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string error;
  try {
    SaveSettings(set, path);
  } catch (const EIniWriteError& e) {
    error = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &oldLimit);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(error, "Unable to write to " + path);
  TGlobalSet back;
  LoadSettings(back, path);
  EXPECT_EQ(back.AddressLike, TLikeList{"new"});
  EXPECT_EQ(back.HTMLNameLike, TLikeList{"new"});
  EXPECT_TRUE(back.CompanyNameLike.empty());
  EXPECT_EQ(back.MaxCrawlLevel, 2);
  EXPECT_EQ(set.MaxCrawlLevel, 5);
  // The failed write left no temporary file behind and the file whole.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  EXPECT_NE(ReadFile(path).find("FLAGUSEBaidu=1\r\n"), std::string::npos);
}

TEST(Settings, LikeListTextConversions) {
  EXPECT_EQ(LikeListFromText(G("传真;fax;")), L({"传真", "fax"}));
  EXPECT_EQ(LikeListFromText(G("传真;fax")), L({"传真", "fax"}));
  EXPECT_EQ(LikeListFromText("a;;b;"), (TLikeList{"a", "", "b"}));
  EXPECT_EQ(LikeListFromText(";"), (TLikeList{""}));
  EXPECT_EQ(LikeListFromText(";;"), (TLikeList{"", ""}));
  EXPECT_TRUE(LikeListFromText("").empty());
  EXPECT_EQ(LikeListFromText(" a ;b"), (TLikeList{" a ", "b"}));
  EXPECT_EQ(LikeListFromText("a\r\nb\nc\rd\r\n"), (TLikeList{"a", "b", "c", "d"}));

  EXPECT_EQ(LikeListToText({}), "");
  EXPECT_EQ(LikeListToText({"a", ""}), "a;;");
  EXPECT_EQ(LikeListToText(L({"传真", "fax"})), G("传真;fax;"));
}

namespace {

// Sets an environment variable for one scope.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(SettingsLocation, PortableFileElseXdgConfigElseHomeConfig) {
  TempDir dir;
  const std::string exeDir = dir.Path().string();
  TScopedEnv home("HOME", "/home/u");
  {
    TScopedEnv xdg("XDG_CONFIG_HOME", (dir / "cfg").c_str());
    EXPECT_EQ(SettingsFilePath(exeDir), (dir / "cfg/veltra/Gleaner.ini").string());
    WriteFile(dir / "Gleaner.ini", "");
    EXPECT_EQ(SettingsFilePath(exeDir), (dir / "Gleaner.ini").string());
    std::filesystem::remove(dir / "Gleaner.ini");
  }
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
    TScopedEnv env("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(SettingsFilePath(exeDir), "/home/u/.config/veltra/Gleaner.ini");
  }
}

TEST(SettingsLocation, FirstStartCopiesTheShippedDefaultsOnceAndOnlyWhenAsked) {
  TempDir dir;
  const std::string shipped = (dir / "default-settings.ini").string();
  const std::string defaults =
      G("[MAINLIKE]\r\nfaxnoLike=传真;\r\n[SETTING]\r\nMaxCrawlLevel=3\r\n");
  WriteFile(shipped, defaults);
  const std::string path = (dir / "cfg/veltra/Gleaner.ini").string();

  TSettingsStart start = PrepareSettingsFile(path, shipped, false);  // the CLI: reads only
  EXPECT_EQ(start.LoadPath, shipped);
  EXPECT_FALSE(std::filesystem::exists(path));

  start = PrepareSettingsFile(path, shipped, true);
  EXPECT_EQ(start.Path, path);
  EXPECT_EQ(start.LoadPath, path);
  EXPECT_EQ(start.Problem, "");
  EXPECT_EQ(ReadFile(path), defaults);
  TGlobalSet set;
  LoadSettings(set, start.LoadPath);
  EXPECT_EQ(set.MaxCrawlLevel, 3);

  WriteFile(path, "[SETTING]\r\nMaxCrawlLevel=5\r\n");  // the user's own from now on
  start = PrepareSettingsFile(path, shipped, true);
  EXPECT_EQ(start.LoadPath, path);
  EXPECT_EQ(ReadFile(path), "[SETTING]\r\nMaxCrawlLevel=5\r\n");

  // Nothing shipped: the built-in defaults, and no file until the first save.
  const std::string other = (dir / "other/Gleaner.ini").string();
  start = PrepareSettingsFile(other, std::nullopt, true);
  EXPECT_EQ(start.LoadPath, other);
  EXPECT_EQ(start.Problem, "");
  EXPECT_FALSE(std::filesystem::exists(other));
  SaveSearchMode(false, other);  // its folder is there for the first save
  EXPECT_EQ(ReadFile(other), "[LIKE]\r\nLIKESETTING=0\r\n");
}

TEST(SettingsLocation, BadPlacesAndBrokenDefaultsStartWithDefaultsAndOverwriteNothing) {
  TempDir dir;
  const std::string shipped = (dir / "default-settings.ini").string();
  WriteFile(shipped, "[SETTING]\r\nMaxFindWebThreadCount=7\r\n");
  auto loaded = [](const TSettingsStart& start) {
    TGlobalSet set;
    LoadSettings(set, start.LoadPath);
    return set.MaxFindWebThreadCount;
  };

  // A config folder that cannot be created (a file stands where a folder should be).
  WriteFile(dir / "file", "keep");
  const std::string unwritable = (dir / "file/veltra/Gleaner.ini").string();
  TSettingsStart start = PrepareSettingsFile(unwritable, shipped, true);
  EXPECT_NE(start.Problem.find("无法创建设置文件: " + unwritable), std::string::npos);
  EXPECT_EQ(loaded(start), 7);  // the shipped defaults, read where they lie
  EXPECT_THROW(SaveSettings(FactoryGlobalSet(), start.Path), EIniWriteError);
  EXPECT_EQ(ReadFile(dir / "file"), "keep");

  // A settings "file" that is a folder: an error that stops the start; never written into.
  const auto folder = dir / "cfg/Gleaner.ini";
  std::filesystem::create_directories(folder / "inside");
  start = PrepareSettingsFile(folder.string(), shipped, true);
  EXPECT_EQ(start.Error, "设置文件不是普通文件: " + folder.string());
  EXPECT_EQ(start.LoadPath, "");
  EXPECT_THROW(SaveSearchMode(false, start.Path), EIniWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "inside"));

  // Broken shipped defaults: binary bytes, no settings key, a folder. Built-in defaults, and
  // no settings file is made from them.
  const std::string path = (dir / "new/Gleaner.ini").string();
  for (const std::string& bytes : {std::string("[SETTING]\0\x01\xff", 12), std::string("junk\n")}) {
    WriteFile(shipped, bytes);
    start = PrepareSettingsFile(path, shipped, true);
    EXPECT_NE(start.Problem.find("默认设置文件已损坏: " + shipped), std::string::npos);
    EXPECT_EQ(start.LoadPath, "");
    EXPECT_EQ(loaded(start), 10);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  start = PrepareSettingsFile(path, (dir / "cfg").string(), true);
  EXPECT_NE(start.Problem.find("默认设置文件已损坏"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SettingsStore, ReadersSeeWholeListsWhileTheGuiThreadPublishes) {
  TSettingsStore store;
  auto first = store.Snapshot();
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!done) {
        auto snap = store.Snapshot();
        const auto g = static_cast<std::size_t>(snap->MaxCrawlLevel);
        if (snap->telephoneLike.size() != g) ++torn;
        for (const auto& e : snap->telephoneLike)
          if (e != std::to_string(g)) ++torn;
      }
    });
  for (int g = 1; g <= 300; ++g) {
    TGlobalSet next;
    next.telephoneLike.assign(static_cast<std::size_t>(g), std::to_string(g));
    next.MaxCrawlLevel = g;
    store.Publish(next);
  }
  done = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_TRUE(first->telephoneLike.empty());
  EXPECT_EQ(store.Snapshot()->MaxCrawlLevel, 300);
}

TEST(Settings, NumbersAreClampedToTheDialogRangesOnLoad) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  struct Case {
    const char* threads;
    const char* depth;
    const char* timeout;
    int32_t wantThreads, wantDepth, wantTimeout;
  } cases[] = {
      {"2147483647", "100000", "0", 30, 6, 10000},
      {"-5", "-1", "99999", 1, 0, 30000},
      // In range: as stored, also off the dialog's 1000 ms steps.
      {"7", "3", "12345", 7, 3, 12345},
  };
  for (const auto& c : cases) {
    WriteFile(path, Crlf({"[SETTING]", std::string("MaxFindWebThreadCount=") + c.threads,
                          std::string("MaxCrawlLevel=") + c.depth,
                          std::string("MaxReadHTMLTimeOut=") + c.timeout}));
    TGlobalSet set;
    LoadSettings(set, path);
    EXPECT_EQ(set.MaxFindWebThreadCount, c.wantThreads) << c.threads;
    EXPECT_EQ(set.MaxCrawlLevel, c.wantDepth) << c.depth;
    EXPECT_EQ(set.MaxReadHTMLTimeOut, c.wantTimeout) << c.timeout;
  }
  // Switched off, the numbers are taken as stored.
  WriteFile(path, Crlf({"[SETTING]", "ClampNumbers=0", "MaxFindWebThreadCount=99",
                        "MaxReadHTMLTimeOut=0"}));
  TGlobalSet set;
  LoadSettings(set, path);
  EXPECT_EQ(set.MaxFindWebThreadCount, 99);
  EXPECT_EQ(set.MaxReadHTMLTimeOut, 0);
  EXPECT_FALSE(set.ClampNumbers);

  // The renderer's numbers are always brought into range: none at once, or no deadline,
  // would leave a worker waiting for ever.
  WriteFile(path, Crlf({"[CRAWL]", "RenderScripts=7", "RenderParallel=0", "RenderDeadline=0"}));
  LoadSettings(set, path);
  EXPECT_EQ(set.RenderScripts, 2);
  EXPECT_EQ(set.RenderParallel, 1);
  EXPECT_EQ(set.RenderDeadline, 1);
}

TEST(Settings, GbkThatIsAlsoValidUtf8StaysGbkAndNothingUnreadableIsWrittenBack) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  // "省" in GBK is CA A1, a valid two-byte UTF-8 character as well.
  const std::string gbkFile = G("[SECONDLIKE]\r\nAddressContentLike=省;\r\n");
  ASSERT_TRUE(gbk::IsValidUtf8(gbkFile));
  WriteFile(path, gbkFile);
  TGlobalSet set;
  LoadSettings(set, path);
  EXPECT_EQ(set.AddressContentLike, L({"省"}));
  SaveMatchingSettings(set, path);
  EXPECT_NE(ReadFile(path).find(gbkFile), std::string::npos);

  // UTF-8 without a byte-order mark is still recognised by its three-byte characters; a line
  // with a character GBK lacks is kept byte for byte instead of coming back as "?".
  const std::string emoji = "CompanyLike=\xF0\x9F\x98\x80;公司名称;";
  WriteFile(path, Crlf({"[MAINLIKE]", "faxnoLike=传真;fax", emoji}));
  LoadSettings(set, path);
  EXPECT_EQ(set.faxnoLike, L({"传真", "fax"}));
  set.AddressLike = L({"地址"});
  SaveMatchingSettings(set, path);
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find(G("faxnoLike=传真;fax;\r\n")), std::string::npos) << saved;
  EXPECT_NE(saved.find(emoji + "\r\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find('?'), std::string::npos) << saved;

  // GBK whose only bytes that are not UTF-8 sit in a value the save replaces: E4 BC 8F 41 are
  // two GBK characters and, as UTF-8, "伏A". The saved file still reads as GBK.
  WriteFile(path,
            "[MAINLIKE]\r\nfaxnoLike=\xE4\xBC\x8F\x41;\r\n[SETTING]\r\nMaxCrawlLevel=\xFF\r\n");
  LoadSettings(set, path);
  const auto fax = set.faxnoLike;
  EXPECT_EQ(fax.size(), 1u);
  SaveSettings(set, path);
  TGlobalSet again;
  LoadSettings(again, path);
  EXPECT_EQ(again.faxnoLike, fax);
  EXPECT_EQ(again.MaxCrawlLevel, set.MaxCrawlLevel);
}

TEST(Settings, Utf8FileIsReadAsUtf8AndWrittenBackAsGbk) {
  TempDir dir;
  const auto path = (dir / "Gleaner.ini").string();
  // As a text editor saves it: UTF-8 with a byte-order mark, and a comment of our own. A mark
  // written twice counts once and is not left in front of the first line.
  for (const std::string mark : {"\xEF\xBB\xBF", "\xEF\xBB\xBF\xEF\xBB\xBF"}) {
    SCOPED_TRACE(mark.size());
    WriteFile(path, mark + Crlf({"; 编辑器保存", "[MAINLIKE]", "faxnoLike=传真;fax"}));
    TGlobalSet set;
    LoadSettings(set, path);
    EXPECT_EQ(set.faxnoLike, L({"传真", "fax"}));
    SaveSettings(set, path);
    const std::string saved = ReadFile(path);
    EXPECT_EQ(saved.rfind(G("; 编辑器保存\r\n[MAINLIKE]\r\nfaxnoLike=传真;fax;\r\n"), 0), 0u);
    EXPECT_EQ(saved.find("ClampNumbers"), std::string::npos);  // the switch is never written
  }
  EXPECT_TRUE(TGlobalSet().ClampNumbers);
}
