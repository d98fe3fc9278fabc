// Tokens and blocks of a generated GBK company page: 300 KB and ten times that. The two
// rates must match, since tokenising and block building are single linear passes.

#include <benchmark/benchmark.h>

#include <string>

#include "analysis/parse_html.h"
#include "core/gbk.h"

namespace {

// A page that looks like a Chinese company site: navigation, product tables with nested
// cells, contact blocks with full-width colons and entities, a quoted script.
std::string MakePage(std::size_t targetBytes) {
  std::string page =
      GBK("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
          "<title>杭州海德机械制造有限公司</title>\r\n<script>var s = \"<b>\";</script></head>\r\n"
          "<BODY leftmargin=0 topmargin=0>\r\n");
  const std::string& row = GBK(
      "<table width=\"100%\" border=0><tr><td class=\"nav\"><a href=\"index.htm\">首页</a>"
      "&nbsp;|&nbsp;<a href=\"about.htm\">公司简介</a>&nbsp;|&nbsp;<a href=\"contact.htm\">"
      "联系我们</a></td></tr>\r\n<tr><td><table><tr><td><img src=\"p.jpg\"></td><td><p>"
      "产品名称：液压机械　型号：HD-200<br>\r\n  规格：  1200 x 800 mm<br><br>"
      "<span style=\"color:red\">价格面议</span></p></td></tr></table></td></tr>\r\n"
      "<tr><td>地址：浙江省杭州市西湖区文三路１２号<br>电话：0571-88886666<br>"
      "传真：0571-88886667<br>邮编：310012<br>E-mail: sales@haide.example.com</td></tr>"
      "</table>\r\n<div class=\"foot\">Copyright &copy; 2005 上海海德 &amp; Co. &#169;</div>\r\n");
  while (page.size() < targetBytes) page += row;
  page += "</BODY></html>\r\n";
  return page;
}

void BM_TokensAndBlocks(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)) * 1024);
  TParseHTML p;
  for (auto _ : state) {
    p.LoadPage(page, "", "http://www.example.com/", "");
    p.BuildBlocks();
    benchmark::DoNotOptimize(p.Blocks.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  state.counters["tokens"] = static_cast<double>(p.Tokens.size());
  state.counters["blocks"] = static_cast<double>(p.Blocks.size());
}
BENCHMARK(BM_TokensAndBlocks)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace
