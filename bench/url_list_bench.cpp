// The URL list's duplicate test and append as the list grows: the cost per candidate must
// not depend on how many entries the list already holds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/program_state.h"

namespace {

std::string Address(int64_t i) {
  return "http://www.company" + std::to_string(i) + ".com.cn/index.html";
}

void FillList(TProgramState& state, int64_t count) {
  std::vector<TSearchURLResult> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (int64_t i = 0; i < count; ++i) entries.push_back({Address(i), "title", "description"});
  state.ReplaceURLList(std::move(entries));
}

// Half the candidates are already present (spread over the whole list), half are new. The
// list is rebuilt outside the timed part whenever it has grown by a tenth, so each case stays
// at its size; the index's growth (rehash) is part of the appends, as in a run.
void BM_URLListAppend(benchmark::State& st) {
  const int64_t size = st.range(0);
  constexpr int kBatch = 256;
  const int64_t rebuildEvery = std::max<int64_t>(1, size / 10 / (kBatch / 2));
  std::optional<TProgramState> state;
  std::vector<std::string> candidates;
  int64_t fresh = size;
  int64_t appended = 0;
  int64_t iteration = 0;
  for (auto _ : st) {
    st.PauseTiming();
    if (iteration++ % rebuildEvery == 0) {
      state.reset();
      state.emplace();
      FillList(*state, size);
      fresh = size;
    }
    candidates.clear();
    for (int i = 0; i < kBatch; ++i)
      candidates.push_back(i % 2 ? Address((fresh * 7919 + i) % size) : Address(fresh++));
    st.ResumeTiming();
    for (const std::string& c : candidates)
      appended += state->AppendURL(c, "title", "description") ? 1 : 0;
  }
  benchmark::DoNotOptimize(appended);
  st.SetItemsProcessed(st.iterations() * kBatch);
  st.counters["s_per_candidate"] =
      benchmark::Counter(static_cast<double>(st.iterations() * kBatch),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The duplicate test alone (an engine harvesting a page of known addresses).
void BM_URLListHasURL(benchmark::State& st) {
  const int64_t size = st.range(0);
  TProgramState state;
  FillList(state, size);
  std::vector<std::string> candidates;
  for (int i = 0; i < 1024; ++i)
    candidates.push_back(Address(i % 2 ? (int64_t{i} * 7919) % size : size + i));
  int64_t found = 0;
  for (auto _ : st) {
    for (const std::string& c : candidates) found += state.HasURL(c) ? 1 : 0;
  }
  benchmark::DoNotOptimize(found);
  st.SetItemsProcessed(st.iterations() * static_cast<int64_t>(candidates.size()));
  st.counters["s_per_candidate"] = benchmark::Counter(
      static_cast<double>(st.iterations() * static_cast<int64_t>(candidates.size())),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_URLListAppend)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_URLListHasURL)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
