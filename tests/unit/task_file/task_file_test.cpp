#include "core/task_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/export_sheet.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/ini_file.h"
#include "engines/source_registry.h"
#include "test_support.h"

using testsupport::G;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string ErrorOf(std::string_view bytes) {
  try {
    DecodeTaskFile(bytes);
  } catch (const ETaskFileError& e) {
    return e.what();
  }
  return "no error";
}

TTaskFileData SampleData() {
  TTaskFileData d;
  d.TaskName = G("上海任务");
  d.SearchText = G("机械 厂");
  d.SearchMode = 1;
  d.ProcessedURLCount = 300;
  d.ResumeIndex = 300;
  d.EngineName = "163";
  d.EngineResultOffset = 70000;
  d.EnginePageCount = -2;
  d.URLs = {{"http://www.acme.localhost/", "Acme", ""},
            {"http://b.localhost/x", G("北京海德公司"), G("简介：机械")}};
  d.Window = {G("  机械 厂 "), false, true};
  d.Rows = {{G("上海海德"), "http://a/", "a@b.c", "021-1", "021-2", G("上海路1号"), "200000", ""},
            {"", "", "", "", "", "", "", "x"}};
  return d;
}

void ExpectSame(const TTaskFileData& a, const TTaskFileData& b) {
  EXPECT_EQ(a.TaskName, b.TaskName);
  EXPECT_EQ(a.SearchText, b.SearchText);
  EXPECT_EQ(a.SearchMode, b.SearchMode);
  EXPECT_EQ(a.ProcessedURLCount, b.ProcessedURLCount);
  EXPECT_EQ(a.ResumeIndex, b.ResumeIndex);
  EXPECT_EQ(a.EngineName, b.EngineName);
  EXPECT_EQ(a.EngineResultOffset, b.EngineResultOffset);
  EXPECT_EQ(a.EnginePageCount, b.EnginePageCount);
  ASSERT_EQ(a.URLs.size(), b.URLs.size());
  for (std::size_t i = 0; i < a.URLs.size(); ++i) {
    EXPECT_EQ(a.URLs[i].URL, b.URLs[i].URL);
    EXPECT_EQ(a.URLs[i].Title, b.URLs[i].Title);
    EXPECT_EQ(a.URLs[i].Description, b.URLs[i].Description);
  }
  EXPECT_EQ(a.Window.InputText, b.Window.InputText);
  EXPECT_EQ(a.Window.KeywordMode, b.Window.KeywordMode);
  EXPECT_EQ(a.Window.WebsiteMode, b.Window.WebsiteMode);
  EXPECT_EQ(a.Rows, b.Rows);
}

// Six distinct stand-in adapters; only their addresses matter.
struct TAdapters {
  std::array<char, 6> storage{};
  std::array<TSearchEngineObject*, 6> list() {
    std::array<TSearchEngineObject*, 6> out{};
    for (std::size_t i = 0; i < 6; ++i)
      out[i] = reinterpret_cast<TSearchEngineObject*>(&storage[i]);
    return out;
  }
  // The stand-ins under the names the registry gives the six classic engines.
  TEngineNaming naming() {
    std::vector<TNamedEngine> named;
    const TSourceRegistry registry;
    for (std::size_t i = 0; i < 6; ++i)
      named.push_back({list()[i], registry.Entries()[i].TaskName});
    return EngineNamingFor(named);
  }
};

}  // namespace

TEST(TaskFile, NewTaskSavedBeforeAnyRunIsTheThirtySevenByteExample) {
  testsupport::TempDir dir;
  TProgramState state;
  TResultTable rows;
  TAdapters adapters;
  SaveToFile((dir / "t.swrw").string(), state, rows, TTaskWindowItems{"", true, false},
             adapters.naming());
  const std::string expected =
      Bytes({0x14, 0x0A, 0x00, 0x00, 0x00, 0xE6, 0x96, 0xB0, 0xE4, 0xBB, 0xBB, 0xE5, 0x8A,
             0xA1, 0x31, 0x06, 0x00, 0x02, 0x00, 0x02, 0x00, 0x02, 0x00, 0x06, 0x00, 0x02,
             0x01, 0x02, 0x00, 0x01, 0x00, 0x06, 0x00, 0x09, 0x08, 0x01, 0x00});
  EXPECT_EQ(testsupport::ReadFile(dir / "t.swrw"), expected);
}

TEST(TaskFile, StringKindFollowsContentAndLength) {
  TTaskFileData d;
  d.TaskName = std::string(255, 'a');
  d.SearchText = std::string(256, 'b');
  const std::string bytes = EncodeTaskFile(d);
  EXPECT_EQ(bytes.substr(0, 2), Bytes({0x06, 0xFF}));
  EXPECT_EQ(bytes.substr(257, 5), Bytes({0x0C, 0x00, 0x01, 0x00, 0x00}));

  d.TaskName = G("公司") + "A";
  const std::string utf8 = EncodeTaskFile(d);
  EXPECT_EQ(utf8.substr(0, 12),
            Bytes({0x14, 0x07, 0, 0, 0, 0xE5, 0x85, 0xAC, 0xE5, 0x8F, 0xB8, 'A'}));
  EXPECT_EQ(DecodeTaskFile(utf8).TaskName, d.TaskName);
  EXPECT_EQ(DecodeTaskFile(bytes).SearchText, d.SearchText);
}

TEST(TaskFile, IntegersUseTheSmallestForm) {
  auto modeBytes = [](int32_t v) {
    TTaskFileData d;
    d.SearchMode = v;
    const std::string b = EncodeTaskFile(d);
    EXPECT_EQ(DecodeTaskFile(b).SearchMode, v);
    // Two empty strings come first.
    const std::size_t len = b[4] == 0x02 ? 2 : b[4] == 0x03 ? 3 : 5;
    return b.substr(4, len);
  };
  EXPECT_EQ(modeBytes(127), Bytes({0x02, 0x7F}));
  EXPECT_EQ(modeBytes(-128), Bytes({0x02, 0x80}));
  EXPECT_EQ(modeBytes(128), Bytes({0x03, 0x80, 0x00}));
  EXPECT_EQ(modeBytes(-32768), Bytes({0x03, 0x00, 0x80}));
  EXPECT_EQ(modeBytes(32768), Bytes({0x04, 0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(modeBytes(-32769), Bytes({0x04, 0xFF, 0x7F, 0xFF, 0xFF}));
}

TEST(TaskFile, RoundTripKeepsEveryItem) {
  const TTaskFileData d = SampleData();
  const std::string bytes = EncodeTaskFile(d);
  ExpectSame(DecodeTaskFile(bytes), d);
  // An ASCII URL entry is written with short strings, a Chinese title in UTF-8.
  EXPECT_NE(bytes.find(Bytes({0x06, 0x04}) + "Acme" + Bytes({0x06, 0x00})), std::string::npos);
  EXPECT_NE(bytes.find(gbk::ToUtf8(G("北京海德公司"))), std::string::npos);
  // Nothing after item 13 is read.
  ExpectSame(DecodeTaskFile(bytes + "trailing junk"), d);
}

TEST(TaskFile, ByteStringsAreGbkAndWideStringsAreDecoded) {
  TTaskFileData d;
  std::string bytes = EncodeTaskFile(d);
  const std::string gbkName = G("海德");
  // Item 1 as a long string of raw GBK bytes; item 2 as a UTF-16LE wide string.
  std::string file = Bytes({0x0C, 4, 0, 0, 0}) + gbkName +
                     Bytes({0x12, 3, 0, 0, 0, 0x77, 0x6D, 0xB7, 0x5F, 'x', 0}) + bytes.substr(4);
  const TTaskFileData r = DecodeTaskFile(file);
  EXPECT_EQ(r.TaskName, gbkName);
  EXPECT_EQ(r.SearchText, G("海德x"));
  // An unpaired surrogate becomes "?" rather than failing.
  file = Bytes({0x12, 2, 0, 0, 0, 0x00, 0xD8, 'y', 0}) + bytes.substr(2);
  EXPECT_EQ(DecodeTaskFile(file).TaskName, "?y");
}

TEST(TaskFile, BooleansAreSingleTagsAndOnlyTrueIsTrue) {
  TTaskFileData d;
  d.Window = {"", false, false};
  std::string bytes = EncodeTaskFile(d);
  TTaskFileData r = DecodeTaskFile(bytes);
  EXPECT_FALSE(r.Window.KeywordMode);
  EXPECT_FALSE(r.Window.WebsiteMode);
  // Any other tag reads as false without an error.
  const std::size_t at = bytes.size() - 4;
  ASSERT_EQ(bytes[at], 0x08);
  bytes[at] = 0x02;
  EXPECT_FALSE(DecodeTaskFile(bytes).Window.KeywordMode);
}

TEST(TaskFile, EveryTruncationIsAStreamReadError) {
  const std::string bytes = EncodeTaskFile(SampleData());
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_EQ(ErrorOf(std::string_view(bytes).substr(0, n)), "Stream read error") << n;
}

TEST(TaskFile, WrongTagAtEachItemIsAnInvalidPropertyValue) {
  TTaskFileData d;
  d.URLs = {{"u", "t", "d"}};
  d.Rows = {{"1", "2", "3", "4", "5", "6", "7", "8"}};
  const std::string good = EncodeTaskFile(d);
  ASSERT_EQ(good.size(), 57u);
  // Tag offsets of the items that have a required kind, found by walking the encoding.
  // 0:name 2:text 4:mode 6:processed 8:resume 10:engine 12:offset 14:pages 16:list
  // 17,20,23: URL entry 26: list end 27:input 29,30: booleans 31: list 32..53: row 56: end
  const std::vector<std::size_t> stringTags = {0, 2, 10, 17, 20, 23, 27, 32, 35, 53};
  const std::vector<std::size_t> intTags = {4, 6, 8, 12, 14};
  for (std::size_t at : stringTags) {
    std::string bad = good;
    bad[at] = 0x02;
    EXPECT_EQ(ErrorOf(bad), "Invalid property value") << at;
  }
  for (std::size_t at : intTags) {
    std::string bad = good;
    bad[at] = 0x06;
    EXPECT_EQ(ErrorOf(bad), "Invalid property value") << at;
  }
  for (std::size_t at : {16, 31}) {
    std::string bad = good;
    bad[at] = 0x00;
    EXPECT_EQ(ErrorOf(bad), "Invalid property value") << at;
  }
  std::string noEnd = good;
  noEnd[26] = 0x09;  // a Boolean where the next URL or the list end belongs
  EXPECT_EQ(ErrorOf(noEnd), "Invalid property value");
}

TEST(TaskFile, HugeLengthsAreRejectedBeforeAllocating) {
  const std::string tail = EncodeTaskFile(TTaskFileData{}).substr(1);
  EXPECT_EQ(ErrorOf(Bytes({0x0C, 0xFF, 0xFF, 0xFF, 0xFF}) + tail), "Stream read error");
  EXPECT_EQ(ErrorOf(Bytes({0x14, 0xF0, 0xFF, 0xFF, 0x7F}) + tail), "Stream read error");
  EXPECT_EQ(ErrorOf(Bytes({0x12, 0xFF, 0xFF, 0xFF, 0xFF}) + tail), "Stream read error");
  EXPECT_EQ(ErrorOf(Bytes({0x12, 0x00, 0x00, 0x00, 0x80}) + tail), "Stream read error");
}

TEST(TaskFile, SaveAndLoadThroughTheProgramState) {
  testsupport::TempDir dir;
  TAdapters adapters;
  const TEngineNaming naming = adapters.naming();
  const std::string path = (dir / "run.swrw").string();

  TProgramState state;
  state.TaskName = G("新任务2");
  state.SearchText = "abc";
  state.SearchMode = 1;
  state.ProcessedURLCount = 2;
  state.NextURLIndex = 3;  // not stored: a reopened task resumes at the processed count
  state.CurrentEngine = adapters.list()[4];
  state.EngineResultOffset = 21;
  state.EnginePageCount = 2;
  for (const char* u : {"http://a/", "http://b/", "http://c/"}) state.AppendURL(u, u, "");
  TResultTable rows;
  rows.AppendRow({G("公司"), "w", "e", "t", "f", "a", "p", "d"});
  SaveToFile(path, state, rows, {"in", false, true}, naming);
  EXPECT_EQ(DecodeTaskFile(testsupport::ReadFile(path)).EngineName, "163");

  TProgramState loaded;
  loaded.TaskFileName = "keep";
  loaded.RunState = 0;
  loaded.AppendCompany(std::make_unique<TCompanyObject>());
  TResultTable loadedRows;
  loadedRows.AppendRow({"old", "", "", "", "", "", "", ""});
  TTaskWindowItems window;
  LoadFromFile(path, loaded, loadedRows, window, naming);
  EXPECT_EQ(loaded.TaskName, state.TaskName);
  EXPECT_EQ(loaded.SearchText, "abc");
  EXPECT_EQ(loaded.SearchMode, 1);
  EXPECT_EQ(loaded.ProcessedURLCount, 2);
  EXPECT_EQ(loaded.NextURLIndex, 2);
  EXPECT_EQ(loaded.CurrentEngine.load(), adapters.list()[4]);
  EXPECT_EQ(loaded.EngineResultOffset.load(), 21);
  EXPECT_EQ(loaded.EnginePageCount.load(), 2);
  EXPECT_EQ(loaded.URLCount(), 3u);
  EXPECT_EQ(loaded.URLAt(2).URL, "http://c/");
  EXPECT_TRUE(loaded.HasURL("http://b/"));
  ASSERT_EQ(loadedRows.RowCount(), 1u);
  EXPECT_EQ(loadedRows.Cell(0, 0), G("公司"));
  EXPECT_EQ(window.InputText, "in");
  EXPECT_FALSE(window.KeywordMode);
  EXPECT_TRUE(window.WebsiteMode);
  // Not part of the file.
  EXPECT_EQ(loaded.TaskFileName, "keep");
  EXPECT_EQ(loaded.CompanyCount(), 1u);
}

// Fields of every length class (empty, one byte, lengths needing one to three length bytes,
// longer than a block of the URL list) and an address list with duplicates, blanks and enough
// entries to regrow its index: a save and load keeps them all, byte for byte.
TEST(TaskFile, LongShortAndRepeatedValuesSurviveSaveAndLoad) {
  testsupport::TempDir dir;
  const std::string path = (dir / "sizes.swrw").string();
  const std::vector<std::size_t> lengths = {0, 1, 127, 128, 16383, 16384, 40000, (1 << 20) + 1};
  TTaskFileData expected;
  TProgramState state;
  for (std::size_t i = 0; i < 3000; ++i) {
    const std::string url = "http://s" + std::to_string(i % 2500) + ".localhost/";
    const std::string title(i % 200, 'T');
    if (state.AppendURL(url, title, G("简介"))) expected.URLs.push_back({url, title, G("简介")});
  }
  EXPECT_EQ(state.URLCount(), 2500u);
  EXPECT_FALSE(state.AppendURL("  http://s7.localhost/ ", "", ""));
  // A loaded list keeps what is stored: repeats and blanks stay, the index trims.
  expected.URLs.push_back({" http://s7.localhost/\t", std::string(1 << 20, 'x'), ""});
  expected.URLs.push_back({"http://new.localhost/", "", ""});
  TResultTable rows;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    TResultRow row;
    for (std::size_t c = 0; c < row.size(); ++c)
      row[c] = std::string(lengths[(i + c) % lengths.size()], static_cast<char>('a' + c));
    row[kColCompanyName] = G("公司") + row[kColCompanyName];
    expected.Rows.push_back(row);
  }
  expected.Rows.push_back({});
  expected.TaskName = state.TaskName;
  expected.EngineResultOffset = state.EngineResultOffset;
  rows.ReplaceRows(expected.Rows);
  state.ReplaceURLList(expected.URLs);
  SaveToFile(path, state, rows, expected.Window, {});
  EXPECT_TRUE(testsupport::ReadFile(path) == EncodeTaskFile(expected));

  TProgramState loaded;
  TResultTable loadedRows;
  TTaskWindowItems window;
  LoadFromFile(path, loaded, loadedRows, window, {});
  EXPECT_EQ(loaded.URLCount(), 2502u);
  EXPECT_EQ(loaded.URLAt(2500).Title.size(), 1u << 20);
  EXPECT_TRUE(loaded.HasURL("http://s7.localhost/"));
  EXPECT_FALSE(loaded.AppendURL("http://s2499.localhost/", "", ""));
  EXPECT_TRUE(loaded.AppendURL("http://s2500.localhost/", "", ""));
  EXPECT_TRUE(loadedRows.Rows() == expected.Rows);
  EXPECT_EQ(loadedRows.Text(6, kColAddress), std::string(lengths[(6 + kColAddress) % 8], 'f'));
  loadedRows.SetCell(6, kColEmail, "x");
  expected.Rows[6][kColEmail] = "x";
  EXPECT_EQ(loadedRows.Row(6), expected.Rows[6]);
}

TEST(TaskFile, EngineNamesCompareExactly) {
  TAdapters adapters;
  const TEngineNaming naming = adapters.naming();
  const char* names[] = {"sina", "sohu", "yahoo", "google", "163", "baidu"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(naming.NameOf(adapters.list()[i]), names[i]);
    EXPECT_EQ(naming.ByName(names[i]), adapters.list()[i]);
  }
  EXPECT_EQ(naming.NameOf(nullptr), "");
  EXPECT_EQ(naming.ByName(""), nullptr);
  EXPECT_EQ(naming.ByName("Baidu"), nullptr);
}

TEST(TaskFile, DamagedFileLeavesTheTaskUntouchedAndCountsAreKeptInRange) {
  testsupport::TempDir dir;
  TTaskFileData d = SampleData();
  std::string bytes = EncodeTaskFile(d);
  testsupport::WriteFile(dir / "cut.swrw", bytes.substr(0, bytes.size() - 3));

  TProgramState state;
  state.AppendURL("http://keep/", "", "");
  TResultTable rows;
  rows.AppendRow({"keep", "", "", "", "", "", "", ""});
  TTaskWindowItems window{"keep", true, false};
  EXPECT_THROW(LoadFromFile((dir / "cut.swrw").string(), state, rows, window, {}), ETaskFileError);
  EXPECT_EQ(state.TaskName, G("新任务1"));
  EXPECT_EQ(state.URLCount(), 1u);
  EXPECT_EQ(rows.Cell(0, 0), "keep");
  EXPECT_EQ(window.InputText, "keep");

  // A hand-edited resume index beyond the list, or a negative count, is kept inside it.
  d.ProcessedURLCount = -5;
  d.ResumeIndex = 1000;
  testsupport::WriteFile(dir / "odd.swrw", EncodeTaskFile(d));
  LoadFromFile((dir / "odd.swrw").string(), state, rows, window, {});
  EXPECT_EQ(state.ProcessedURLCount, 0);
  EXPECT_EQ(state.NextURLIndex, 2);
  EXPECT_EQ(state.CurrentEngine.load(), nullptr);
}

TEST(TaskFile, SitesCrawledAheadAreAnOptionalLastItemAfterAnEmptyBlockedList) {
  testsupport::TempDir dir;
  TTaskFileData d = SampleData();
  d.ProcessedURLCount = d.ResumeIndex = 0;
  d.URLs.push_back({"http://c.localhost/", "", ""});
  const std::string plain = EncodeTaskFile(d);
  d.CrawledAhead = {2, 300};
  const std::string bytes = EncodeTaskFile(d);
  // The earlier file, an empty item 14 (all a reader that knows only it takes), then item 15.
  EXPECT_EQ(bytes, plain + Bytes({0x01, 0x00, 0x01, 0x02, 0x02, 0x03, 0x2C, 0x01, 0x00}));
  EXPECT_EQ(DecodeTaskFile(bytes).CrawledAhead, d.CrawledAhead);
  EXPECT_TRUE(DecodeTaskFile(bytes).BlockedSources.empty());
  EXPECT_TRUE(DecodeTaskFile(bytes.substr(0, bytes.size() - 1)).CrawledAhead.empty());

  // Loading keeps only indices after the resume index and inside the list.
  d.CrawledAhead = {0, 1, 2, 3};
  d.ProcessedURLCount = d.ResumeIndex = 1;
  testsupport::WriteFile(dir / "t.swrw", EncodeTaskFile(d));
  TProgramState state;
  TResultTable rows;
  TTaskWindowItems window;
  LoadFromFile((dir / "t.swrw").string(), state, rows, window, {});
  EXPECT_EQ(state.CrawledAhead, (std::set<int32_t>{2}));
}

TEST(TaskFile, KeptCookiesAreAnOptionalItemAfterEmptyBlockedAndCrawledLists) {
  TTaskFileData d = SampleData();
  const std::string plain = EncodeTaskFile(d);
  d.Cookies = {"bing.today.localhost\tFALSE\t/\tFALSE\t0\tpass\tok"};
  const std::string bytes = EncodeTaskFile(d);
  // Empty items 14 and 15 first: readers that know only those stop there.
  EXPECT_EQ(bytes.substr(0, plain.size() + 4), plain + Bytes({0x01, 0x00, 0x01, 0x00}));
  const TTaskFileData back = DecodeTaskFile(bytes);
  EXPECT_EQ(back.Cookies, d.Cookies);
  EXPECT_TRUE(back.BlockedSources.empty());
  EXPECT_TRUE(back.CrawledAhead.empty());
  EXPECT_TRUE(DecodeTaskFile(plain).Cookies.empty());
  EXPECT_TRUE(DecodeTaskFile(bytes.substr(0, bytes.size() - 1)).Cookies.empty());
}

TEST(TaskFile, MissingFileErrorNamesTheFile) {
  testsupport::TempDir dir;
  const std::string path = (dir / "none.swrw").string();
  try {
    ReadTaskFile(path);
    FAIL();
  } catch (const ETaskFileAccessError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos);
  }
  EXPECT_THROW(WriteTaskFile((dir / "no" / "dir.swrw").string(), {}), ETaskFileAccessError);
}

TEST(TaskFile, FailedSaveKeepsThePreviousFile) {
  testsupport::TempDir dir;
  const auto path = dir / "keep.swrw";
  WriteTaskFile(path.string(), SampleData());
  const std::string before = testsupport::ReadFile(path);

  // A file-size limit makes the write fail half-way, as a full disk would.
  TTaskFileData big = SampleData();
  big.URLs.assign(5000, {"http://www.example.localhost/some/long/path", "t", "d"});
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit limited = old;
  limited.rlim_cur = 64 * 1024;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  EXPECT_THROW(WriteTaskFile(path.string(), big), ETaskFileAccessError);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(testsupport::ReadFile(path), before);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);  // no temporary left behind
  WriteTaskFile(path.string(), big);
  ExpectSame(ReadTaskFile(path.string()), big);
}

TEST(TaskFile, EnsureTaskExtension) {
  EXPECT_EQ(EnsureTaskExtension("/t/a.swrw"), "/t/a.swrw");
  EXPECT_EQ(EnsureTaskExtension("/t/a"), "/t/a.swrw");
  EXPECT_EQ(EnsureTaskExtension("/t/a.txt"), "/t/a.txt.swrw");
  EXPECT_EQ(EnsureTaskExtension("/t/a.SWRW"), "/t/a.SWRW.swrw");
  EXPECT_EQ(EnsureTaskExtension("/t.swrw/a"), "/t.swrw/a.swrw");
}

TEST(FileCaps, FilesOverTheCapAreRefusedByNameBeforeReading) {
  testsupport::TempDir dir;
  // Sparse files one byte over each cap: refused from their size, so the test reads nothing.
  auto sparse = [&](const char* name, std::uintmax_t size) {
    const auto path = dir / name;
    testsupport::WriteFile(path, "");
    std::filesystem::resize_file(path, size);
    return path.string();
  };
  const std::string task = sparse("big.swrw", kTaskFileMaxBytes + 1);
  try {
    ReadTaskFile(task);
    FAIL();
  } catch (const ETaskFileAccessError& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + task + "\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  // A file exactly at the cap is read (and, all zeros, found damaged at its first value).
  std::filesystem::resize_file(task, kTaskFileMaxBytes);
  try {
    ReadTaskFile(task);
    FAIL();
  } catch (const ETaskFileError& e) {
    EXPECT_STREQ(e.what(), "Invalid property value");
  }

  const std::string ini = sparse("Gleaner.ini", kIniMaxFileBytes + 1);
  std::string error;
  TIniFile file;
  EXPECT_FALSE(file.LoadFile(ini, &error));
  EXPECT_NE(error.find("\"" + ini + "\""), std::string::npos) << error;
  TGlobalSet set;
  EXPECT_TRUE(LoadSettings(set, ini));  // the defaults
  EXPECT_EQ(set.MaxFindWebThreadCount, 10);
  EXPECT_THROW(SaveSettings(set, ini), EIniWriteError);  // never replaced by our keys alone

  // CLI inputs: a file over 64 MiB.
  const std::string page = sparse("page.html", (64u << 20) + 1);
  const auto run = testsupport::RunCli(dir, "analyse '" + page + "'");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(page + ": larger than 64 MiB"), std::string::npos) << run.err;
}

TEST(TaskFile, SaveWritesThroughASymbolicLink) {
  testsupport::TempDir dir;
  std::filesystem::create_directory(dir / "real");
  const auto link = dir / "task.swrw";
  std::filesystem::create_symlink("real/target.swrw", link);  // dangling until the first save
  for (int round = 0; round < 2; ++round) {
    TTaskFileData d = SampleData();
    d.ProcessedURLCount = round;
    WriteTaskFile(link.string(), d);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    ExpectSame(ReadTaskFile((dir / "real" / "target.swrw").string()), d);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "real"), {}), 1);
}

TEST(TaskFile, SavesAndExportsRemoveStaleTemporariesOfAnyFileInTheFolder) {
  testsupport::TempDir dir;
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);  // its pid now names no process
  const std::string dead = std::to_string(child);
  const std::string alive = std::to_string(::getppid());
  const auto path = dir / "keep.swrw";
  const std::vector<std::string> stale = {
      "keep.swrw.tmp" + dead + "-0-17", "keep.swrw.tmp" + dead + "-3-99999",
      "other.swrw.tmp" + dead + "-0-1", "list.xlsx.tmp" + dead + "-2-5"};
  const std::vector<std::string> kept = {"keep.swrw.tmp" + alive + "-0-1",  // a save going on
                                         "keep.swrw.tmpnotes", "keep.swrw.tmp" + dead + "-0",
                                         ".tmp" + dead + "-0-1", "a.tmp" + dead + "-0-1x"};
  for (const auto& name : stale) testsupport::WriteFile(dir / name, "partial");
  for (const auto& name : kept) testsupport::WriteFile(dir / name, "other");
  std::filesystem::create_directory(dir / ("sub.tmp" + dead + "-0-1"));
  WriteTaskFile(path.string(), SampleData());
  for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir / ("sub.tmp" + dead + "-0-1")));
  ExpectSame(ReadTaskFile(path.string()), SampleData());
  // An export into the folder clears what a killed save left there, and the reverse.
  testsupport::WriteFile(dir / ("keep.swrw.tmp" + dead + "-9-9"), "partial");
  ExportToCsv({}, (dir / "out.csv").string());
  EXPECT_FALSE(std::filesystem::exists(dir / ("keep.swrw.tmp" + dead + "-9-9")));
  testsupport::WriteFile(dir / ("out.csv.tmp" + dead + "-1-1"), "partial");
  ExportToXlsx({}, (dir / "out.xlsx").string());
  EXPECT_FALSE(std::filesystem::exists(dir / ("out.csv.tmp" + dead + "-1-1")));
}
