// Whole pages to records: every tests/fixtures/pages/<name>.html against <name>.expected.
//
// An .expected file is UTF-8: "#" lines are comments; "@url", "@title", "@description" and
// "@flags" (three digits: address+postcode, telephone+fax, e-mail) give how the page is
// loaded; every other line is one record, tab-separated in the result list's column order.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "factory_settings.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

fs::path PagesDir() {
  return fs::path(VELTRA_FIXTURE_DIR) / "pages";
}

std::vector<std::string> PageNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(PagesDir())) {
    if (entry.path().extension() == ".expected") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct TExpected {
  std::string url, title, description, flags = "111";
  std::vector<std::string> rows;
};

TExpected ReadExpected(const std::string& name) {
  TExpected expected;
  std::istringstream in(testsupport::ReadFile(PagesDir() / (name + ".expected")));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '@') {
      const std::size_t tab = line.find('\t');
      const std::string key = line.substr(1, tab - 1);
      const std::string value = tab == std::string::npos ? "" : line.substr(tab + 1);
      if (key == "url") expected.url = value;
      if (key == "title") expected.title = value;
      if (key == "description") expected.description = value;
      if (key == "flags") expected.flags = value;
      continue;
    }
    expected.rows.push_back(line);
  }
  return expected;
}

class FixturePage : public ::testing::TestWithParam<std::string> {};

TEST_P(FixturePage, GivesTheExpectedRecords) {
  const std::string name = GetParam();
  const TExpected expected = ReadExpected(name);
  ASSERT_EQ(expected.flags.size(), 3u);

  TGlobalSet set = testsupport::FactorySettings();
  set.FlagModernRecognition = false;  // the switch off gives exactly these label-driven records
  set.FlagFindAddressAndPostCode = expected.flags[0] == '1';
  set.FlagFindTelAndFax = expected.flags[1] == '1';
  set.FlagFindMailAddress = expected.flags[2] == '1';
  TParseHTML parser(std::make_shared<const TGlobalSet>(set));
  parser.LoadPage(testsupport::ReadFile(PagesDir() / (name + ".html")),
                  gbk::FromUtf8(expected.title), expected.url, gbk::FromUtf8(expected.description));
  parser.Analyse();

  const std::size_t n = parser.Companies.size();
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view columns[] = {
        parser.Companies[i], parser.WebAddresses[i], parser.Emails[i],    parser.Telephones[i],
        parser.Faxes[i],     parser.Addresses[i],    parser.PostCodes[i], parser.Descriptions[i]};
    std::string row;
    for (std::size_t c = 0; c < std::size(columns); ++c) {
      if (c > 0) row += '\t';
      row += gbk::ToUtf8(columns[c]);
    }
    rows.push_back(row);
  }
  EXPECT_EQ(rows, expected.rows);
  for (const auto* list : {&parser.Addresses, &parser.PostCodes, &parser.Telephones, &parser.Faxes,
                           &parser.Emails, &parser.WebAddresses, &parser.Descriptions})
    EXPECT_EQ(list->size(), n);
}

// The GBK pages are generated from src/ by make_pages.sh; they must not drift apart.
TEST_P(FixturePage, IsTheGbkFormOfItsSource) {
  const std::string name = GetParam();
  const std::string source = testsupport::ReadFile(PagesDir() / "src" / (name + ".html"));
  EXPECT_EQ(testsupport::ReadFile(PagesDir() / (name + ".html")), gbk::FromUtf8(source));
}

INSTANTIATE_TEST_SUITE_P(Pages, FixturePage, ::testing::ValuesIn(PageNames()),
                         [](const auto& pageInfo) { return pageInfo.param; });

}  // namespace
