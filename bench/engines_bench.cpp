// Reading engine result pages: one 100-item page, into an empty and into a large URL list.

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/program_state.h"
#include "engines/engine_set.h"

namespace {

std::string BaiduPage(int items) {
  std::string body =
      "<html><head><title>t</title></head><body><table><tr><td>"
      "找到相关网页约1,000,000篇，用时0.1秒</td></tr></table>";
  for (int i = 0; i < items; ++i) {
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

void BM_ParsePage(benchmark::State& st, int known) {
  const std::string page = BaiduPage(100);
  const std::vector<TSearchURLResult> entries = KnownEntries(known);
  TEngineSet engines;
  TSearchEngineObject& baidu = engines.Baidu();
  baidu.SetKeyword("x");
  // The list is rebuilt (and the old one freed) outside the timed part.
  std::optional<TProgramState> ps;
  for (auto _ : st) {
    st.PauseTiming();
    ps.reset();
    ps.emplace();
    ps->ReplaceURLList(entries);
    baidu.SetProgramState(&*ps);
    baidu.ResetSearch();
    st.ResumeTiming();
    baidu.ParsePage(page);
    benchmark::DoNotOptimize(baidu.NewResults);
  }
  st.SetItemsProcessed(st.iterations() * 100);
  st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(page.size()));
}

}  // namespace

BENCHMARK_CAPTURE(BM_ParsePage, empty_url_list, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ParsePage, url_list_100k, 100000)->Unit(benchmark::kMicrosecond);
