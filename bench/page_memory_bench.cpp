// Peak memory of analysing hostile 16 MiB pages: all "<" (one token per byte) and the same
// after a body tag (one block as large as the page). The counter "peak_per_byte" is the
// peak resident memory over the page's size, the page itself included. Run alone:
// veltra_bench --benchmark_filter=PageMemory

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "analysis/parse_html.h"
#include "core/global_set.h"

namespace {

// A "VmRSS" or "VmHWM" line of /proc/self/status, in bytes.
double StatusBytes(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.starts_with(key + ":")) return std::stod(line.substr(key.size() + 1)) * 1024;
  return 0;
}

// Lets VmHWM restart from the current resident size.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

void RunPage(benchmark::State& state, const std::string& prefix) {
  constexpr std::size_t kSize = 16u << 20;
  auto settings = std::make_shared<const TGlobalSet>(FactoryGlobalSet());
  double peak = 0;
  for (auto _ : state) {
    const double before = StatusBytes("VmRSS");
    ResetPeak();
    {
      std::string page = prefix + std::string(kSize - prefix.size(), '<');
      TParseHTML parser(settings);
      parser.LoadPage(std::move(page), "", "http://www.example.com/", "");
      parser.Analyse();
      parser.ExtractLinks();
      benchmark::DoNotOptimize(parser.Blocks.data());
    }
    peak = StatusBytes("VmHWM") - before;
  }
  state.counters["peak_MiB"] = peak / (1 << 20);
  state.counters["peak_per_byte"] = peak / static_cast<double>(kSize);
}

void BM_PageMemoryOpenBrackets(benchmark::State& state) {
  RunPage(state, "");
}
BENCHMARK(BM_PageMemoryOpenBrackets)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PageMemoryOpenBracketsInBody(benchmark::State& state) {
  RunPage(state, "<body>");
}
BENCHMARK(BM_PageMemoryOpenBracketsInBody)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
