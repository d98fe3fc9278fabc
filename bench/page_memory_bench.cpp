// Peak memory of analysing hostile pages of 1 MiB and 10 MiB (the argument): all "<" (one
// token per byte), the same after a body tag (one block as large as the page), list tables,
// short cells, contact blocks, nested tables, a wide row, a protected e-mail value and "#". The
// counter "peak_per_byte" is the growth of the process's peak resident memory while a page is made
// and analysed, over the page's size, the page itself included. Links are extracted only when the
// page gave no records, as the crawl does. The page is read on a thread of its own, whose heap
// starts empty. Run each case alone (a later case's thread takes over the heap of an earlier one,
// free blocks and all): veltra_bench --benchmark_filter='BM_PageMemoryListTable/10/'
//
// Room reserved and never written (the element tree and the lines reserve for the most
// the page could need) is not resident and is not counted.
//
// Measured (a shared machine: figures vary by up to 0.3 from run to run), 1 MiB / 10 MiB:
//   list table 3.6 / 3.5, contact blocks 3.4-3.6 / 3.3, short cells 3.2-3.3 / 3.3, "<" 3.4-3.55 /
//   3.2, "<" after a body tag 3.5 / 3.2, nested tables 2.4 / 2.4, wide row 2.75-2.9 / 2.7,
//   protected e-mail 1.8-1.9 / 2.0, "#" 1.9 / 2.0.
// Before the page was read on a thread of its own, the benchmark read it on the main thread
// after handing the heap's free blocks back to the system: every block the analysis took then
// landed on fresh pages and stayed resident when freed, so that figure came near all the memory
// the stages ever touched (1 MiB: list table 6.3, contact 5.1, short cells 5.5, "<" 5.7-6.3).
// On its own thread, with the same code, 1 MiB read list table 3.8-3.95, contact 3.65, short
// cells 3.7-4.0, "<" 4.3, "<" after a body tag 4.1; then character units of eight bytes (a long
// line holds one for each character), character starts made only for lines holding a number,
// the merge's contact keys in a flat table, sixteen-byte record counts and element tree pieces
// of some five and a half bytes brought them to the figures above. `veltra-cli analyse` (peak
// RSS less that of an empty page) gives 3.4 and less at 10 MiB; at 1 MiB the heap the
// program's start leaves free hides most of the growth. Earlier passes (packed records and
// drafts, chunked tokens let go as they are read, lists read before the line reader) are
// described in the history of this file.

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>

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
// A "#" in the unit is a running number, so that list entries differ, unless `numbered` is
// false.
void RunPage(benchmark::State& state, const std::string& prefix, const std::string& unit,
             bool numbered) {
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
    // On a thread of its own, as a crawl worker reads a page: its heap starts empty.
    auto body = [&] {
      const double before = StatusBytes("VmRSS");
      ResetPeak();
      {
        std::string page = prefix;
        page.reserve(size + unit.size() + 8);
        for (int n = 0; page.size() < size; ++n)
          for (char c : unit) {
            if (c == '#' && numbered)
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
    };
    std::thread(body).join();
  }
  state.counters["peak_MiB"] = peak / (1 << 20);
  state.counters["peak_per_byte"] = peak / static_cast<double>(size);
}

// The cases: name, the page's start, the unit repeated after it, whether "#" is a number.
void RegisterAll() {
  struct TCase {
    const char* Name;
    std::string Prefix;
    std::string Unit;
    bool Numbered = true;
  };
  const TCase cases[] = {
      {"BM_PageMemoryOpenBrackets", "", "<"},
      {"BM_PageMemoryOpenBracketsInBody", "<body>", "<"},
      // A table of some 200,000 rows, each read as a list entry.
      {"BM_PageMemoryListTable", "<body><table>",
       gbk::FromUtf8("<tr><td>宁波甬兴机械有限公司</td><td>宁波市鄞州区天童南路588号</td>"
                     "<td>0574-8#</td></tr>")},
      // Short cells: one text piece for every five bytes of the page.
      {"BM_PageMemoryShortCells", "<body><table><tr>", "<td>1"},
      // Contact blocks, one office every 130 bytes or so: lines and records of the line reader.
      {"BM_PageMemoryContactBlocks", "<body>",
       gbk::FromUtf8("<p>联系人：张先生</p><p>电话：0574-8#</p><p>地址：宁波市鄞州区天童南路588号"
                     "</p><br>邮箱：a#@example.com<div>")},
      // The other hostile pages: tables nested in each other, one row of ever more cells, a
      // protected e-mail value as long as the page, and a page of "#".
      {"BM_PageMemoryNestedTables", "<body>", "<table><tr><td>x"},
      {"BM_PageMemoryWideRow", "<body><table><tr>", "<td>0571-8#</td>"},
      {"BM_PageMemoryProtectedEmail", "<body><a data-cfemail=\"", "f"},
      {"BM_PageMemoryHashes", "<body><p>", "#", false},
  };
  for (const TCase& c : cases)
    benchmark::RegisterBenchmark(
        c.Name, [c](benchmark::State& state) { RunPage(state, c.Prefix, c.Unit, c.Numbered); })
        ->Arg(1)
        ->Arg(10)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}
const bool kRegistered = (RegisterAll(), true);

}  // namespace
