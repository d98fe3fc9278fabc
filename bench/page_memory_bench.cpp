// Peak memory of analysing hostile pages of 1 MiB and 10 MiB (the argument): all "<" (one
// token per byte), the same after a body tag (one block as large as the page), list tables,
// short cells and contact blocks. The counter "peak_per_byte" is the peak resident memory
// over the page's size, the page itself included. Links are extracted only when the page
// gave no records, as the crawl does. Run each case alone (memory freed by one case is
// reused by the next without raising its peak):
// veltra_bench --benchmark_filter='BM_PageMemoryListTable/10/'
//
// Measured, before -> after packing the list reader's records and keys, the line reader's
// records while they are read and merged, five-word tree nodes, sixteen-byte cells, and not
// making the tokens again after the analysis:
// `veltra-cli analyse` whole-process peak RSS less its resident size on an empty page,
// over the page:
//   10 MiB: list table 9.5 -> 7.7, contact blocks 6.4 -> 3.9, short cells 4.3 -> 3.8,
//           "<" after a body tag 3.8 -> 3.8
//    1 MiB: list table 9.8 -> 5.3, contact blocks 5.8 -> 3.3, short cells 3.8 -> 3.2,
//           "<" after a body tag 3.6 -> 2.9
// This benchmark, after (free heap handed back first, so it counts more than the above,
// which reuses heap the program's start left free):
//   10 MiB: list table 8.0, contact blocks 5.1, short cells 4.4, "<" 4.4 (both kinds)
//    1 MiB: list table 9.5, contact blocks 5.4, short cells 5.2, "<" 6.8 (both kinds)
// (a shared machine: figures vary by some 0.3 from run to run)
// Speed (analyse_bench, least CPU time of three runs, before -> after): list table rows
// 1 MB 132 -> 136 ms, 10 MB 1653 -> 1673 ms; store cards 102 -> 107, 1120 -> 1153 ms;
// contact page 67 -> 70, 689 -> 721 ms; branch offices 94 -> 90, 1031 -> 998 ms.
// Third pass, before -> after: cells of one piece read where the document holds them, a long
// group's cells let go before its drafts are made, candidate groups kept as four words each,
// distinct contacts counted over key hashes, document text read where it stands in the page
// when that saves memory, four-word tree nodes, the line reader's waiting records in blocks,
// the result lists packed (TTextList), and blocks of 128 KiB and more handed back to the
// system when freed (ReturnLargeBlocksToSystem, called by the mains and here):
//   `veltra-cli analyse` at 10 MiB: list table 7.4 -> 4.0, contact blocks 3.9 -> 3.2, short
//   cells 3.8 -> 3.4, "<" after a body tag 3.8 -> 3.7 (at 1 MiB the process's start-up heap
//   hides most of the growth: 1.2 and less);
//   this benchmark (a small page of the kind read first, outside the measure) at 10 MiB:
//   list table 8.0 -> 4.6 to 4.8, contact blocks 5.1 -> 3.7, short cells 4.4 -> 4.1, "<"
//   4.4 -> 4.3; at 1 MiB: list table 9.5 -> 6.3, contact 5.4 -> 5.0, short cells 5.2 -> 4.7,
//   "<" 6.8 -> 4.9. The process measure above leaves out heap the program's start left free,
//   some 6 MiB, which this one counts.
// Fourth pass, before -> after: a large page's lists read first, with neither the tokens nor
// the line reader's records held beside the element tree; the tokens kept in chunks that the
// line reader lets go as it passes them (a list of some megabytes gives its pages back when it
// is let go); packed records and drafts with one-byte lengths; labels in twelve bytes.
//   This benchmark at 10 MiB: list table 4.6-4.8 -> 3.8, contact blocks 3.7 -> 3.7, short
//   cells 4.1 -> 3.9, "<" 4.3 -> 3.4; at 1 MiB: list table 6.3 -> 6.3, contact blocks 5.0 ->
//   5.1, short cells 4.7 -> 5.5, "<" 4.9 -> 5.7 to 6.3. At 1 MiB some 1.5 to 2 MiB is heap
//   the stages touch afresh and free again (freed heap handed back between the stages brought
//   1 MiB down to 3.8 to 5.7, but cost up to a fifth of the time of such pages: not kept).
//   `veltra-cli analyse` at 10 MiB: list table 4.0 -> 3.2, contact blocks 3.2 -> 3.0, short
//   cells 3.4 -> 3.4, "<" 3.7 -> 2.7.
//   Speed (analyse_bench, least of three, before -> after): list table rows 1 MB 119 -> 126 ms,
//   10 MB 1376 -> 1439 ms; contact page 63 -> 65, 654 -> 706 ms; branch offices 81 -> 85,
//   803 -> 887 ms; a catalogue page of 300 KB 4.14 -> 4.23 ms (the tokens are made twice on a
//   page of 256 KiB and more).

#include <benchmark/benchmark.h>

#include <fstream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>
#include <string>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/process_memory.h"

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

// The page's size in MiB is the benchmark's argument.
void RunPage(benchmark::State& state, const std::string& prefix, const std::string& unit = "<") {
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  ReturnLargeBlocksToSystem();  // as the program's mains do
  auto settings = std::make_shared<const TGlobalSet>(FactoryGlobalSet());
  {
    // What the program sets up once, at its first page (the phone number tables, the word
    // lists), is not the page's: a small page of each kind is read first.
    TParseHTML warm(settings);
    warm.LoadPage(prefix + unit + unit + unit, "", "http://www.example.com/", "");
    warm.Analyse();
    warm.ExtractLinks();
  }
  double peak = 0;
  for (auto _ : state) {
#if defined(__GLIBC__)
    // Free heap left by the setup of other benchmarks (their pages) goes back to the system,
    // so that reusing it counts as the growth it is.
    malloc_trim(0);
#endif
    const double before = StatusBytes("VmRSS");
    ResetPeak();
    {
      std::string page = prefix;
      page.reserve(size + unit.size() + 8);
      // A "#" in the unit is a running number, so that list entries differ.
      for (int n = 0; page.size() < size; ++n)
        for (char c : unit) {
          if (c == '#')
            page.append(std::to_string(2000000 + n));
          else
            page.push_back(c);
        }
      TParseHTML parser(settings);
      parser.LoadPage(std::move(page), "", "http://www.example.com/", "");
      parser.Analyse();
      // As the crawl does: a page's links are wanted only when it gave no records.
      if (parser.Companies.empty()) parser.ExtractLinks();
      benchmark::DoNotOptimize(parser.Blocks.data());
    }
    peak = StatusBytes("VmHWM") - before;
  }
  state.counters["peak_MiB"] = peak / (1 << 20);
  state.counters["peak_per_byte"] = peak / static_cast<double>(size);
}

void BM_PageMemoryOpenBrackets(benchmark::State& state) {
  RunPage(state, "");
}
BENCHMARK(BM_PageMemoryOpenBrackets)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PageMemoryOpenBracketsInBody(benchmark::State& state) {
  RunPage(state, "<body>");
}
BENCHMARK(BM_PageMemoryOpenBracketsInBody)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A table of some 200,000 rows, each read as a list entry.
void BM_PageMemoryListTable(benchmark::State& state) {
  RunPage(state, "<body><table>",
          gbk::FromUtf8("<tr><td>宁波甬兴机械有限公司</td><td>宁波市鄞州区天童南路588号</td>"
                        "<td>0574-8#</td></tr>"));
}
BENCHMARK(BM_PageMemoryListTable)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// Short cells: one text piece for every five bytes of the page.
void BM_PageMemoryShortCells(benchmark::State& state) {
  RunPage(state, "<body><table><tr>", "<td>1");
}
BENCHMARK(BM_PageMemoryShortCells)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// Contact blocks, one office every 130 bytes or so: lines and records of the line reader.
void BM_PageMemoryContactBlocks(benchmark::State& state) {
  RunPage(
      state, "<body>",
      gbk::FromUtf8("<p>联系人：张先生</p><p>电话：0574-8#</p><p>地址：宁波市鄞州区天童南路588号"
                    "</p><br>邮箱：a#@example.com<div>"));
}
BENCHMARK(BM_PageMemoryContactBlocks)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
