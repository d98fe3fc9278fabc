// ExtractLinks on pages with many anchors: the duplicate test must keep it linear.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "analysis/parse_html.h"

namespace {

// Tokens of a page with `anchors` anchors: mostly distinct relative links, with repeats,
// preferred links, parent links and links to other sites mixed in.
void FillTokens(TParseHTML& p, int anchors) {
  p.Tokens.clear();
  p.TokenIsTag.clear();
  auto add = [&p](std::string token, bool tag) {
    p.Tokens.push_back(std::move(token));
    p.TokenIsTag.push_back(tag ? 1 : 0);
  };
  add("<html>", true);
  add("<body>", true);
  for (int i = 0; i < anchors; ++i) {
    std::string href;
    switch (i % 10) {
      case 0:
        href = "contact" + std::to_string(i) + ".htm";
        break;
      case 1:
        href = "products/item" + std::to_string(i / 2) + ".htm";  // repeats earlier ones
        break;
      case 2:
        href = "http://www.other" + std::to_string(i) + ".com/";
        break;
      case 3:
        href = "../list.asp?page=" + std::to_string(i);
        break;
      default:
        href = "products/item" + std::to_string(i) + ".htm";
        break;
    }
    add("<a href=\"" + href + "\" class=\"nav\">", true);
    add("item " + std::to_string(i), false);
    add("</a>", true);
  }
  add("</body>", true);
}

void BM_ExtractLinks(benchmark::State& state) {
  auto set = std::make_shared<TGlobalSet>();
  set->HTMLNameLike = {"about", "contact"};
  TParseHTML parser(set);
  parser.PageURL = "http://www.acme.com.cn/cn/index.htm";
  FillTokens(parser, static_cast<int>(state.range(0)));
  std::size_t found = 0;
  for (auto _ : state) {
    parser.PriorityLinks.clear();
    parser.OtherLinks.clear();
    parser.ExtractLinks();
    found = parser.PriorityLinks.size() + parser.OtherLinks.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["links"] = static_cast<double>(found);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_ExtractLinks)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();
