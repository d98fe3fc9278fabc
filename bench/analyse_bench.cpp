// Page analysis speed: LoadPage + Analyse on the test pages, on a large catalogue page, on
// pathological blocks full of labels and on a page of many mailto links.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "core/global_set.h"

namespace {

// The factory lists with the label-driven recognition only.
std::shared_ptr<const TGlobalSet> Factory() {
  TGlobalSet set = FactoryGlobalSet();
  set.FlagModernRecognition = false;
  return std::make_shared<const TGlobalSet>(set);
}
std::shared_ptr<const TGlobalSet> Modern() {
  return std::make_shared<const TGlobalSet>(FactoryGlobalSet());
}

std::string ReadPage(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void RunAnalyse(benchmark::State& state, const std::string& html, bool modern = false) {
  TParseHTML parser(modern ? Modern() : Factory());
  std::size_t records = 0;
  for (auto _ : state) {
    parser.LoadPage(html, "Title", "http://www.example.com/", "");
    parser.Analyse();
    records = parser.Companies.size();
    benchmark::DoNotOptimize(records);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(html.size()));
  state.counters["records"] = static_cast<double>(records);
  state.counters["bytes"] = static_cast<double>(html.size());
}

// A product catalogue of about 300 KB: navigation, nested product tables, text, contacts.
std::string CataloguePage() {
  std::string html = gbk::FromUtf8(
      "<html><head><meta charset=\"gb2312\"><title>产品中心 - 杭州明远化工有限公司</title>"
      "</head><body><table width=\"100%\"><tr><td><a href=\"/\">首页</a> | "
      "<a href=\"/about.htm\">关于我们</a> | <a href=\"/contact.htm\">联系我们</a></td></tr>"
      "</table>\n");
  int i = 0;
  while (html.size() < 300 * 1024) {
    html += gbk::FromUtf8(
        "<table class=\"item\"><tr><td><img src=\"/img/p" + std::to_string(i) +
        ".jpg\"></td><td><b>产品型号 MY-" + std::to_string(1000 + i) +
        "</b><br>规格：25kg/桶&nbsp;&nbsp;纯度：99.5%<br>用途：用于涂料、油墨、胶粘剂等行业，"
        "性能稳定，质量可靠。<p>价格面议，欢迎来电洽谈。</p></td></tr></table>\n");
    ++i;
  }
  html += gbk::FromUtf8(
      "<table><tr><td>杭州明远化工有限公司</td></tr><tr><td>地址：浙江省杭州市西湖区文三路 90 号"
      "</td></tr><tr><td>电话：0571-88231234　传真：0571-88231235</td></tr>"
      "<tr><td>E-mail：sales@mingyuan-chem.com.cn</td></tr></table></body></html>");
  return html;
}

std::string Repeat(const std::string& line, std::size_t size) {
  std::string out;
  out.reserve(size + line.size());
  while (out.size() < size) out += line;
  return out;
}

// `line` repeated to about `size` bytes, each "#" in it replaced by a running number of
// seven digits, so that every entry of a list has a contact of its own.
std::string RepeatNumbered(const std::string& line, std::size_t size) {
  std::string out;
  out.reserve(size + line.size() + 8);
  for (int n = 0; out.size() < size; ++n) {
    const std::string number = std::to_string(2000000 + n % 7000000);
    for (char c : line) {
      if (c == '#')
        out.append(number);
      else
        out.push_back(c);
    }
  }
  return out;
}

// One block of about 1 MB made of contact lines; `table` closes it with a table tag.
std::string LabelBlockPage(const std::string& lineUtf8, bool table) {
  const std::string body = Repeat(gbk::FromUtf8(lineUtf8), 1024 * 1024);
  return "<html><body>" + std::string(table ? "<table><tr><td>" : "") + body +
         (table ? "</td></tr></table>" : "") + "</body></html>";
}

// One telephone record and about `size` bytes of distinct mailto links, all of which end up
// in the record's e-mail field.
std::string MailtoPage(std::size_t size) {
  std::string html = gbk::FromUtf8("<html><body><p>电话：0571-88231234</p>");
  for (int i = 0; html.size() < size; ++i)
    html += "<a href=\"mailto:user" + std::to_string(i) + "@example.com\">mail</a>";
  return html + "</body></html>";
}

const char* const kFullLine =
    "<br>杭州明远化工有限公司 电话:0571-88886666 传真:0571-88886667 地址:杭州市西湖区文三路1号 "
    "邮编:310012 "
    "E-mail:a@b.com";

void RegisterAll() {
  const std::filesystem::path dir = std::filesystem::path(VELTRA_FIXTURE_DIR) / "pages";
  std::vector<std::filesystem::path> pages;
  if (std::filesystem::is_directory(dir)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().extension() == ".html") pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end());
  for (const auto& path : pages) {
    benchmark::RegisterBenchmark(
        ("Analyse/page/" + path.stem().string()).c_str(),
        [html = ReadPage(path)](benchmark::State& s) { RunAnalyse(s, html); });
  }
  benchmark::RegisterBenchmark("Analyse/catalogue_300KB", [html = CataloguePage()](
                                                              benchmark::State& s) {
    RunAnalyse(s, html);
  })->Unit(benchmark::kMillisecond);

  struct TCase {
    const char* name;
    std::string html;
  };
  const TCase cases[] = {
      {"Analyse/1MB_block/table_records", LabelBlockPage(kFullLine, true)},
      {"Analyse/1MB_block/page_end_record", LabelBlockPage(kFullLine, false)},
      {"Analyse/1MB_block/labels_without_values",
       LabelBlockPage("<br>电话 传真 地址 邮编 E-mail 说明", false)},
      {"Analyse/1MB_block/spaced_labels_only", LabelBlockPage("<br>电 话 传 真 地 址 邮 编", true)},
      {"Analyse/1MB_block/one_line", LabelBlockPage("电话传真地址邮编tel fax ", true)},
      {"Analyse/1MB_mailto_links", MailtoPage(1024 * 1024)},
  };
  for (const auto& c : cases) {
    benchmark::RegisterBenchmark(c.name, [html = c.html](benchmark::State& s) {
      RunAnalyse(s, html);
    })->Unit(benchmark::kMillisecond);
  }

  // Recognition beyond the lists, list pages and contact pages at 1 MB and 10 MB: time per
  // byte should stay the same.
  for (const std::size_t mb : {1, 10}) {
    const std::size_t size = mb * 1024 * 1024;
    const std::string suffix = "/" + std::to_string(mb) + "MB";
    const TCase modern[] = {
        {"Modern/branch_offices",
         "<html><body>" +
             Repeat(gbk::FromUtf8("<h3>【北京分公司】</h3><p>地 址：北京市海淀区"
                                  "中关村大街27号</p><p>010-62345678/"
                                  "13912345678 张先生</p><p>邮箱："
                                  "bj@example.cn</p>\n"),
                    size) +
             "</body></html>"},
        {"Modern/catalogue", Repeat(CataloguePage(), size)},
        {"Modern/one_tag", "<html><body><div " + std::string(size, 'x') + ">"},
        {"Modern/nul_bytes", "<html><body>" + std::string(size, '\0')},
        {"Modern/at_signs", "<html><body><p>" + std::string(size, '@')},
        {"Modern/colons", "<html><body><p>" + Repeat(gbk::FromUtf8("电话:"), size)},
        {"Modern/digits", "<html><body><p>" + Repeat("0571-8888 6666 ", size)},
        // A contact page: prose, navigation and one contact block at the end.
        {"Contact/company_page",
         Repeat(gbk::FromUtf8("<p>公司成立于2003年，专业生产各类阀门、管件，产品远销欧美，"
                              "欢迎新老客户来电洽谈。</p><ul><li><a href=\"/a.htm\">产品中心"
                              "</a></li><li><a href=\"/b.htm\">新闻动态</a></li></ul>\n"),
                size) +
             gbk::FromUtf8("<p>温州瓯江阀门有限公司</p><p>地址：温州市龙湾区永强大道2188号</p>"
                           "<p>电话：0577-86551234 传真：0577-86551235</p>")},
        // List pages: rows of a table (100,000 rows at 10 MB), labelled cards, and hostile
        // lists: tables nested in each other, one row of ever more cells.
        {"Lists/table_rows",
         "<html><body><table>" +
             RepeatNumbered(gbk::FromUtf8("<tr><td>12</td><td>宁波甬兴机械有限公司</td><td>宁波市"
                                          "鄞州区天童南路588号</td><td>0574-8#</td></tr>\n"),
                            size) +
             "</table></body></html>"},
        {"Lists/store_cards",
         "<html><body><div class=\"stores\">" +
             RepeatNumbered(gbk::FromUtf8("<div class=\"store\"><h3>新禾超市城东店</h3><p>地址："
                                          "杭州市上城区解放路188号<br>电话：0571-8#<br>营业时间："
                                          "8:00-22:00</p></div>\n"),
                            size) +
             "</div></body></html>"},
        {"Lists/nested_tables", "<html><body>" + Repeat("<table><tr><td>x", size)},
        {"Lists/wide_row",
         "<html><body><table><tr>" + RepeatNumbered("<td>0571-8#</td>", size) + "</tr></table>"},
    };
    for (const auto& c : modern) {
      benchmark::RegisterBenchmark((c.name + suffix).c_str(), [html = c.html](benchmark::State& s) {
        RunAnalyse(s, html, true);
      })->Unit(benchmark::kMillisecond);
    }
  }
}

// How soon a stop ends the analysis of a 16 MiB page without records (the hostile page of
// bench/hostile_pages.sh): the flag is set at tenths of the uninterrupted time, and the
// longest wait from the flag to the return is reported.
void BM_StopDuringHugePage(benchmark::State& state) {
  const std::string html =
      ("<html><body><a href='/p1'>p1</a><a href='/p2'>p2</a><a href='/p3'>p3</a>" +
       Repeat("<p>filler text without any contact data</p>", 16 << 20))
          .substr(0, 16 << 20);
  TParseHTML parser(Modern());
  std::atomic<bool> stop{false};
  parser.SetCancelFlag(&stop);
  auto analyse = [&] {
    parser.LoadPage(html, "Title", "http://www.example.com/", "");
    parser.Analyse();
    parser.ExtractLinks();
  };
  using TClock = std::chrono::steady_clock;
  double fullMs = 0, worstMs = 0;
  for (auto _ : state) {
    auto start = TClock::now();
    analyse();
    fullMs = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    worstMs = 0;
    for (int tenth = 1; tenth < 10; ++tenth) {
      stop = false;
      std::thread worker(analyse);
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(fullMs * tenth / 10));
      const auto flagged = TClock::now();
      stop = true;
      worker.join();
      worstMs = std::max(
          worstMs, std::chrono::duration<double, std::milli>(TClock::now() - flagged).count());
    }
  }
  state.counters["full_ms"] = fullMs;
  state.counters["worst_stop_ms"] = worstMs;
}
BENCHMARK(BM_StopDuringHugePage)->Iterations(1)->Unit(benchmark::kMillisecond);

const bool kRegistered = (RegisterAll(), true);

}  // namespace
