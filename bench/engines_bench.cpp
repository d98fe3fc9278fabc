// Reading engine result pages: one 100-item page, into an empty and into a large URL list.

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/program_state.h"
#include "engines/engine_set.h"

namespace {

// A Baidu result page of `items` entries with hosts numbered from `first`.
std::string BaiduPage(int items, int first = 0) {
  std::string body =
      "<html><head><title>t</title></head><body><table><tr><td>"
      "找到相关网页约1,000,000篇，用时0.1秒</td></tr></table>";
  for (int i = first; i < first + items; ++i) {
    const std::string host = "www.company" + std::to_string(i) + ".com.cn";
    body += "<p><a href=\"http://" + host + "/\" target=\"_blank\">上海<font color=#C60A00>机床" +
            std::to_string(i) + "</font>厂</a><br><font size=-1>专业生产数控机床、加工中心..." +
            "<br><span>" + host + "/ 12K</span> - <a href=\"http://cache.example/c?" +
            std::to_string(i) + "\">快照</a></font></p>\n";
  }
  return gbk::FromUtf8(body + "<table><tr><td>下一页</td></tr></table></body></html>");
}

std::vector<TSearchURLResult> KnownEntries(int count) {
  std::vector<TSearchURLResult> list;
  list.reserve(count);
  for (int i = 0; i < count; ++i) {
    list.push_back({"http://www.known" + std::to_string(i) + ".com/", "title", "description"});
  }
  return list;
}

// Each iteration reads a page of 100 addresses not yet in the list, so every item is
// appended; the list keeps growing as in a run and its index grows (rehashes) with it. After
// kPages pages the list is rebuilt outside the timed part.
void BM_ParsePage(benchmark::State& st, int known) {
  constexpr int kPages = 32;
  std::vector<std::string> pages;
  for (int k = 0; k < kPages; ++k) pages.push_back(BaiduPage(100, 10000000 + k * 100));
  const std::vector<TSearchURLResult> entries = KnownEntries(known);
  TEngineSet engines;
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.SetKeyword("x");
  std::optional<TProgramState> ps;
  int next = kPages;
  int64_t bytes = 0;
  for (auto _ : st) {
    if (next == kPages) {
      st.PauseTiming();
      ps.reset();
      ps.emplace();
      ps->ReplaceURLList(entries);
      baidu.SetProgramState(&*ps);
      next = 0;
      st.ResumeTiming();
    }
    baidu.ResetSearch();
    baidu.ParsePage(pages[next]);
    bytes += static_cast<int64_t>(pages[next].size());
    ++next;
    if (baidu.NewResults != 100) {
      st.SkipWithError("not every item was appended");
      break;
    }
  }
  st.SetItemsProcessed(st.iterations() * 100);
  st.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK_CAPTURE(BM_ParsePage, empty_url_list, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ParsePage, url_list_100k, 100000)->Unit(benchmark::kMicrosecond);
