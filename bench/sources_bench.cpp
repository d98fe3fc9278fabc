// Reading result pages of today's sources: pages per second per source, on the real saved
// pages of the development corpus when present, else on the project's own fixtures.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/program_state.h"
#include "engines/source_registry.h"
#include "engines/web_source.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string PageOf(const std::string& corpusStem, const std::string& fixture) {
  const std::filesystem::path corpus = "/work/shared/corpus/engines/" + corpusStem + ".html";
  if (std::filesystem::exists(corpus)) return ReadAll(corpus);
  return ReadAll(std::filesystem::path(VELTRA_FIXTURE_DIR) / "engines" / fixture);
}

void BM_SourcePage(benchmark::State& st, const char* name, const char* stem, const char* fixture) {
  const std::string page = PageOf(stem, fixture);
  TWebSourceObject source(*TSourceRegistry::Default().Find(name));
  source.SetKeyword("x");
  int n = 0;
  source.SetRedirectReader(
      [&n](const std::string&) { return "http://site" + std::to_string(++n) + ".example/"; });
  TSearchResponse response;
  response.Ok = true;
  response.Status = 200;
  response.Body = page;
  response.Url = source.BuildURL();
  int64_t added = 0;
  for (auto _ : st) {
    TProgramState state;
    source.SetProgramState(&state);
    source.ResetSearch();
    source.ReadResponse(response);
    added += source.NewResults;
  }
  st.SetBytesProcessed(static_cast<int64_t>(page.size()) * st.iterations());
  st.counters["pages/s"] =
      benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
  st.counters["items/page"] = static_cast<double>(added) / static_cast<double>(st.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(BM_SourcePage, BaiduWeb, "BaiduWeb", "baidu-01-astm-a106", "baiduweb_page.html");
BENCHMARK_CAPTURE(BM_SourcePage, Bing, "Bing", "bing-01-win10-iso-xiazai", "bing_page.html");
BENCHMARK_CAPTURE(BM_SourcePage, Sogou, "Sogou", "sogou-01-tigong-jinkou-qiqiang",
                  "sogou_page.html");
BENCHMARK_CAPTURE(BM_SourcePage, So360, "So360", "360-01-kuaiji-peixun", "so360_page.html");
BENCHMARK_CAPTURE(BM_SourcePage, DuckDuckGo, "DuckDuckGo", "duckduckgo-01-antani",
                  "duckduckgo_page.html");
BENCHMARK_CAPTURE(BM_SourcePage, SearXNG, "SearXNG", "none", "searxng_page.json");
