#include "demo_sources.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <numeric>
#include <stdexcept>

namespace demoweb {

namespace {

enum : std::size_t { kBaidu, kBing, kSogou, kSo360, kDuckDuckGo, kSearXNG };

// Which source lists a site as its own. Baidu and Bing list most, as on the real web; the
// cycle length is prime to the site-shape cycle so every source sees every shape.
constexpr std::size_t kHomeCycle[] = {kBaidu, kBing,  kBaidu,      kSogou,   kBaidu, kSo360,
                                      kBing,  kSogou, kDuckDuckGo, kSearXNG, kBaidu};

uint64_t Hash(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

uint64_t Hash(std::size_t source, int index, int salt) {
  return Hash(0x70DA7ULL ^ (static_cast<uint64_t>(source) << 40) ^
              (static_cast<uint64_t>(index) << 8) ^ static_cast<uint64_t>(salt));
}

std::string Hex(uint64_t v, int digits = 16) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return s;
}

// Percent-encoding of a query value (UTF-8 bytes as they are).
std::string Pct(std::string_view text, bool plusForSpace = false) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) && c < 0x80)
      out += ch;
    else if (c == '-' || c == '_' || c == '.' || c == '~')
      out += ch;
    else if (c == ' ' && plusForSpace)
      out += '+';
    else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += "\\u00" + Hex(c, 2);
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

constexpr char kBase64Url[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Base64Url(std::string_view bytes) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : bytes) {
    acc = (acc << 8) | static_cast<unsigned char>(ch);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += kBase64Url[(acc >> bits) & 63];
    }
  }
  if (bits > 0) out += kBase64Url[(acc << (6 - bits)) & 63];
  return out;  // unpadded, as the engine writes it
}

std::optional<std::string> FromBase64Url(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    if (ch == '=') break;
    const char* p = std::find(std::begin(kBase64Url), std::end(kBase64Url) - 1, ch);
    if (p == std::end(kBase64Url) - 1) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(p - kBase64Url);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string Param(const std::multimap<std::string, std::string>& query, const std::string& key) {
  auto it = query.find(key);
  return it == query.end() ? std::string() : it->second;
}

int IntParam(const std::multimap<std::string, std::string>& query, const std::string& key,
             int fallback) {
  const std::string v = Param(query, key);
  if (v.empty() || v.size() > 9 ||
      !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return fallback;
  return std::stoi(v);
}

// The keyword marked the way the engine marks matches in titles and snippets.
std::string Mark(const std::string& text, const std::string& keyword, const char* tag) {
  const std::string escaped = EscapeHtml(text);
  const std::string kw = EscapeHtml(keyword);
  const auto at = kw.empty() ? std::string::npos : escaped.find(kw);
  if (at == std::string::npos) return escaped;
  return escaped.substr(0, at) + "<" + tag + ">" + kw + "</" + tag + ">" +
         escaped.substr(at + kw.size());
}

std::string Title(const TDemoSite& s) {
  return s.Company + "-" + s.Product + "-" + s.City + "专业" + s.Product + "厂家";
}

std::string Snippet(const TDemoSite& s) {
  return s.Company + "是一家专业生产" + s.Product + "的企业，位于" + s.City +
         "，产品质量可靠，价格合理，欢迎来电咨询。";
}

std::string Date(const TDemoSite& s) {
  return "2025年" + std::to_string(1 + s.Index % 12) + "月" + std::to_string(1 + s.Index % 28) +
         "日";
}

TDemoResponse Page(std::string body, const char* type = "text/html; charset=utf-8") {
  TDemoResponse r;
  r.ContentType = type;
  r.Body = std::move(body);
  return r;
}

TDemoResponse Redirect(const std::string& to, std::string body = std::string()) {
  TDemoResponse r;
  r.Status = 302;
  r.ContentType = "text/html; charset=utf-8";
  r.Location = to;
  r.Body = body.empty() ? "<html><body><a href=\"" + EscapeHtml(to) + "\">moved</a></body></html>\n"
                        : std::move(body);
  return r;
}

// One result on a page: the site, its 0-based rank in the source's list, and the address
// the engine links it with.
struct TItem {
  const TDemoSite* Site;
  int Rank;
  std::string Link;
  std::string Target;
};

// The numbered page links of a pager, first to last shown, with the current one plain.
template <class TLink, class TPlain>
std::string Numbers(int page, int pages, TLink link, TPlain plain) {
  std::string out;
  const int from = std::max(1, page - 4);
  const int to = std::min(pages, from + 9);
  for (int n = from; n <= to; ++n) out += n == page ? plain(n) : link(n);
  return out;
}

struct TPage {
  std::string Keyword;  // UTF-8
  int Number = 1;       // 1-based
  int Pages = 1;
  int Total = 0;
  std::vector<TItem> Items;
  std::string Base;  // "http://host:port"
  bool HasNext() const { return Number < Pages; }
};

std::string BaiduPage(const TPage& p) {
  const std::string kw = EscapeHtml(p.Keyword);
  const std::string q = Pct(p.Keyword);
  const std::string rsv = Hex(Hash(kBaidu, p.Number, 1));
  auto pageUrl = [&](int n) {
    return "/s?wd=" + q + "&amp;pn=" + std::to_string((n - 1) * kSourcePageSize) + "&amp;oq=" + q +
           "&amp;ie=utf-8&amp;rsv_pq=" + rsv;
  };
  std::string h =
      "<!DOCTYPE html>\n<html><head><meta http-equiv=\"content-type\" "
      "content=\"text/html;charset=utf-8\">\n<title>" +
      kw +
      "_百度搜索</title></head>\n<body>\n<div id=\"wrapper\"><div id=\"head\"><form id=\"form\" "
      "name=\"f\" action=\"/s\" class=\"fm\"><input type=\"text\" class=\"s_ipt\" name=\"wd\" "
      "id=\"kw\" value=\"" +
      kw +
      "\"><input type=\"submit\" id=\"su\" value=\"百度一下\"></form>\n<div id=\"s_tab\" "
      "class=\"s_tab\"><a href=\"/s?rtt=1&amp;tn=news&amp;word=" +
      q + "\">资讯</a> <a href=\"http://image.baidu.today.localhost/search/index?word=" + q +
      "\">图片</a> <a href=\"http://zhidao.baidu.today.localhost/search?word=" + q +
      "\">知道</a></div></div>\n<div id=\"container\"><div id=\"content_left\">\n"
      "<span class=\"hint_PIwZX\">百度为您找到相关结果约" +
      std::to_string(p.Total) + "个</span>\n";
  if (p.Number == 1)
    h += "<div id=\"3001\" class=\"ec-tuiguang ecfc-tuiguang\" cmatchid=\"222\"><h3 class=\"t\">"
         "<a href=\"" +
         p.Base + "/baidu.php?url=" + Hex(Hash(kBaidu, 0, 2)) + "\" target=\"_blank\">" + kw +
         "-厂家直销,品质保证</a></h3><div class=\"c-abstract\">" + kw +
         "，源头厂家，免费咨询。</div><span class=\"ec-tuiguang-label\">广告</span></div>\n";
  for (const TItem& it : p.Items) {
    const TDemoSite& s = *it.Site;
    h += "<div class=\"result c-container xpath-log new-pmd\" srcid=\"1599\" id=\"" +
         std::to_string(it.Rank + 1) + "\" tpl=\"www_index\"" +
         (it.Rank % 2 ? " mu=\"" + EscapeHtml(it.Target) + "\"" : std::string()) +
         " data-op=\"{'y':'" + Hex(Hash(kBaidu, s.Index, 3), 8) +
         "'}\">\n<h3 class=\"c-title t t tts-title\"><a href=\"" + EscapeHtml(it.Link) +
         "\" target=\"_blank\">" + Mark(Title(s), p.Keyword, "em") +
         "</a></h3>\n<div class=\"c-row\"><span class=\"c-color-gray2\">" + Date(s) +
         "&nbsp;</span><span class=\"content-right_8Zs40\">" + Mark(Snippet(s), p.Keyword, "em") +
         "</span></div>\n<div class=\"c-row source_1Vdff\"><a target=\"_blank\" href=\"" +
         EscapeHtml(it.Link) + "\" class=\"siteLink_9TPP3\"><span class=\"c-color-gray\">" +
         s.Host + "</span></a> <a href=\"http://cache.baiducontent.today.localhost/c?m=" +
         Hex(Hash(kBaidu, s.Index, 4)) +
         "\" target=\"_blank\" class=\"kuaizhao_2QU4X\">百度快照</a></div>\n</div>\n";
    if (it.Rank == 2)
      h += "<div class=\"result-op c-container xpath-log new-pmd\" srcid=\"1547\" "
           "tpl=\"bk_polysemy\" "
           "mu=\"http://baike.baidu.today.localhost/item/" +
           q + "\"><h3 class=\"t c-title\"><a href=\"http://baike.baidu.today.localhost/item/" + q +
           "\" target=\"_blank\">" + kw + "_百度百科</a></h3><div class=\"c-abstract\">" + kw +
           "是工业生产中常用的产品类别。</div></div>\n";
  }
  h +=
      "</div>\n<div id=\"rs\"><div class=\"tt\">相关搜索</div><table><tr><th><a href=\"/s?wd=" + q +
      "%E5%8E%82%E5%AE%B6&amp;rsf=1\">" + kw + "厂家</a></th><th><a href=\"/s?wd=" + q +
      "%E4%BB%B7%E6%A0%BC&amp;rsf=2\">" + kw +
      "价格</a></th></tr></table></div>\n"
      "<div id=\"page\"><div class=\"page-inner_2jZi2\">";
  if (p.Number > 1) h += "<a class=\"n\" href=\"" + pageUrl(p.Number - 1) + "\">&lt; 上一页</a>";
  h += Numbers(
      p.Number, p.Pages,
      [&](int n) {
        return "<a href=\"" + pageUrl(n) + "\"><span class=\"pc\">" + std::to_string(n) +
               "</span></a>";
      },
      [](int n) { return "<strong><span class=\"pc\">" + std::to_string(n) + "</span></strong>"; });
  if (p.HasNext()) h += "<a class=\"n\" href=\"" + pageUrl(p.Number + 1) + "\">下一页 &gt;</a>";
  h += "</div></div>\n</div></div>\n<div id=\"foot\"><a href=\"/duty/\">使用百度前必读</a> <a "
       "href=\"http://help.baidu.today.localhost/\">帮助中心</a></div>\n</body></html>\n";
  return h;
}

std::string BingPage(const TPage& p) {
  const std::string kw = EscapeHtml(p.Keyword);
  const std::string q = Pct(p.Keyword, true);
  auto pageUrl = [&](int n, const char* form) {
    return "/search?q=" + q + "&amp;first=" + std::to_string((n - 1) * kSourcePageSize + 1) +
           "&amp;FORM=" + form;
  };
  std::string h =
      "<!DOCTYPE html>\n<html lang=\"zh\" xml:lang=\"zh\"><head><meta charset=\"utf-8\">"
      "<title>" +
      kw +
      " - 搜索</title></head>\n<body>\n<header id=\"b_header\"><form action=\"/search\" "
      "id=\"sb_form\"><input id=\"sb_form_q\" name=\"q\" value=\"" +
      kw + "\"></form><nav><ul><li><a href=\"/images/search?q=" + q +
      "&amp;FORM=HDRSC2\">图片</a></li><li><a href=\"/videos/search?q=" + q +
      "&amp;FORM=HDRSC3\">视频</a></li></ul></nav></header>\n<main aria-label=\"搜索结果\">"
      "<div id=\"b_content\"><ol id=\"b_results\" role=\"main\">\n"
      "<li class=\"b_ans\"><div class=\"sb_count\">约 " +
      std::to_string(p.Total) + " 个结果</div></li>\n";
  if (p.Number == 1)
    h += "<li class=\"b_ad b_adTop\"><ul><li><div class=\"sb_add sb_adTA\"><h2><a href=\"" +
         p.Base + "/aclk?ld=" + Hex(Hash(kBing, 0, 2)) + "&amp;u=" + Hex(Hash(kBing, 0, 3)) +
         "\">" + kw + " - 官方旗舰店</a></h2><div class=\"b_caption\"><p>" + kw +
         "，厂家直供。</p></div></div></li></ul></li>\n";
  for (const TItem& it : p.Items) {
    const TDemoSite& s = *it.Site;
    const std::string link = EscapeHtml(it.Link);
    h += "<li class=\"b_algo\" data-id=\"\"><div class=\"b_tpcn\"><a class=\"tilk\" href=\"" +
         link + "\" h=\"ID=SERP,5" + std::to_string(100 + it.Rank) +
         ".1\"><div class=\"tptxt\"><div class=\"tptt\">" + EscapeHtml(s.Company) +
         "</div><div class=\"tpmeta\"><cite>" + EscapeHtml(it.Target) +
         "</cite></div></div></a></div><h2><a href=\"" + link + "\" h=\"ID=SERP,5" +
         std::to_string(200 + it.Rank) + ".1\">" + Mark(Title(s), p.Keyword, "strong") +
         "</a></h2><div class=\"b_caption\"><p class=\"b_lineclamp2 b_algoSlug\"><span "
         "class=\"news_dt\">" +
         Date(s) + "</span>&ensp;·&ensp;" + Mark(Snippet(s), p.Keyword, "strong") +
         "</p></div></li>\n";
  }
  h += "<li class=\"b_pag\"><nav role=\"navigation\" aria-label=\"更多 " + kw +
       " 的结果\"><ul class=\"sb_pagF\">";
  if (p.Number > 1)
    h += "<li><a class=\"sb_pagP sb_pagP_bp b_widePag sb_bp\" title=\"上一页\" href=\"" +
         pageUrl(p.Number - 1, "PORE") + "\"><div class=\"sw_prev\">上一页</div></a></li>";
  h += Numbers(
      p.Number, p.Pages,
      [&](int n) {
        return "<li><a class=\"b_widePag sb_bp\" aria-label=\"第 " + std::to_string(n) +
               " 页\" href=\"" + pageUrl(n, "PERE") + "\">" + std::to_string(n) + "</a></li>";
      },
      [](int n) {
        return "<li><a class=\"sb_pagS sb_pagS_bp b_widePag sb_bp\">" + std::to_string(n) +
               "</a></li>";
      });
  if (p.HasNext())
    h += "<li><a class=\"sb_pagN sb_pagN_bp b_widePag sb_bp \" title=\"下一页\" href=\"" +
         pageUrl(p.Number + 1, "PORE") + "\"><div class=\"sw_next\">下一页</div></a></li>";
  h += "</ul></nav></li>\n</ol></div></main>\n<aside aria-label=\"其他结果\"><ol "
       "id=\"b_context\"><li class=\"b_ans\"><h2>相关搜索</h2><ul><li><a href=\"/search?q=" +
       q + "+%E5%8E%82%E5%AE%B6&amp;FORM=R5FD\">" + kw +
       " 厂家</a></li></ul></li></ol></aside>\n</body></html>\n";
  return h;
}

std::string SogouPage(const TPage& p) {
  const std::string kw = EscapeHtml(p.Keyword);
  const std::string q = Pct(p.Keyword);
  auto pageUrl = [&](int n) {
    return "?query=" + q + "&amp;page=" + std::to_string(n) + "&amp;ie=utf8";
  };
  std::string h = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + kw +
                  " - 搜狗搜索</title></head>\n<body>\n<div class=\"header\"><form name=\"sf\" "
                  "action=\"/web\"><input name=\"query\" id=\"upquery\" value=\"" +
                  kw +
                  "\"></form></div>\n<div id=\"main\" class=\"main\"><div "
                  "class=\"search-info\">搜狗已为您找到约" +
                  std::to_string(p.Total) + "条相关结果</div>\n<div class=\"results\">\n";
  if (p.Number == 1)
    h += "<div class=\"biz_sponsor\"><div class=\"biz_rb\"><h3 class=\"biz_title\"><a href=\"" +
         p.Base + "/bill_cpc?v=1&amp;p=" + Hex(Hash(kSogou, 0, 2)) + "\" target=\"_blank\">" + kw +
         "_优质供应商</a></h3><div class=\"biz_ad\">广告</div></div></div>\n";
  for (const TItem& it : p.Items) {
    const TDemoSite& s = *it.Site;
    const std::string link = EscapeHtml(it.Link);
    const std::string dataUrl =
        it.Rank % 3 == 1 ? " data-url=\"" + EscapeHtml(it.Target) + "\"" : std::string();
    if (it.Rank % 2 == 0) {
      h += "<div class=\"vrwrap\" id=\"rb_" + std::to_string(it.Rank) + "\"" + dataUrl +
           "><div class=\"struct201102\"><h3 class=\"vr-title\"><a target=\"_blank\" href=\"" +
           link + "\" id=\"sogou_vr_30000000_" + std::to_string(it.Rank) + "\">" +
           Mark(Title(s), p.Keyword, "em") +
           "</a></h3><div class=\"fz-mid space-txt\"><span class=\"text-lightgray\">" + Date(s) +
           " - </span>" + Mark(Snippet(s), p.Keyword, "em") +
           "</div><div class=\"citeurl\"><span>" + s.Host +
           "</span><span class=\"cite-date\">&nbsp;-&nbsp;" + Date(s) +
           "</span></div></div></div>\n";
    } else {
      h += "<div class=\"rb\" id=\"rb_" + std::to_string(it.Rank) + "\"" + dataUrl +
           "><h3 class=\"pt\"><a name=\"dttl\" target=\"_blank\" href=\"" + link + "\" id=\"uigs_" +
           std::to_string(it.Rank) + "\">" + Mark(Title(s), p.Keyword, "em") +
           "</a></h3><div class=\"ft\" id=\"cacheresult_summary_" + std::to_string(it.Rank) +
           "\">" + Mark(Snippet(s), p.Keyword, "em") + "</div><div class=\"fb\"><cite>" + s.Host +
           "&nbsp;-&nbsp;" + Date(s) +
           "</cite>&nbsp;-&nbsp;<a href=\"http://snapshot.sogoucdn.today.localhost/snapshot?k=" +
           Hex(Hash(kSogou, s.Index, 4)) + "\" target=\"_blank\">快照</a></div></div>\n";
    }
    if (it.Rank == 1)
      h += "<div class=\"vrwrap\"><div class=\"special-wrap\"><h3 class=\"vr-title\"><a "
           "target=\"_blank\" href=\"http://baike.sogou.today.localhost/v" +
           std::to_string(10000 + p.Number) + ".htm\">" + kw +
           " - 搜狗百科</a></h3><p class=\"star-wiki\">" + kw +
           "是工业生产中常用的产品类别。</p></div></div>\n";
  }
  h += "</div>\n<div class=\"p\" id=\"pagebar_container\">";
  if (p.Number > 1)
    h += "<a id=\"sogou_prev\" href=\"" + pageUrl(p.Number - 1) + "\" class=\"np\">上一页</a> ";
  h += Numbers(
      p.Number, p.Pages,
      [&](int n) {
        return "<a id=\"sogou_page_" + std::to_string(n) + "\" href=\"" + pageUrl(n) + "\">" +
               std::to_string(n) + "</a> ";
      },
      [](int n) { return "<span>" + std::to_string(n) + "</span> "; });
  if (p.HasNext())
    h += "<a id=\"sogou_next\" href=\"" + pageUrl(p.Number + 1) + "\" class=\"np\">下一页</a>";
  h += "</div>\n<div id=\"hint_container\"><a href=\"/web?query=" + q + "%E5%8E%82%E5%AE%B6\">" +
       kw + "厂家</a></div>\n</div>\n</body></html>\n";
  return h;
}

std::string So360Page(const TPage& p) {
  const std::string kw = EscapeHtml(p.Keyword);
  const std::string q = Pct(p.Keyword);
  auto pageUrl = [&](int n) {
    return "/s?q=" + q + "&amp;pn=" + std::to_string(n) + "&amp;src=srp_paging";
  };
  std::string h = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + kw +
                  " - 360搜索</title></head>\n<body>\n<div id=\"header\"><form action=\"/s\" "
                  "id=\"bd_search\"><input name=\"q\" id=\"keyword\" value=\"" +
                  kw +
                  "\"></form></div>\n<div id=\"container\"><div id=\"main\">\n<p "
                  "class=\"nums\">找到相关结果约" +
                  std::to_string(p.Total) + "个</p>\n";
  if (p.Number == 1)
    h += "<ul id=\"e_idea_pp\" class=\"spread\"><li><h3><a href=\"" + p.Base +
         "/adclk?id=" + Hex(Hash(kSo360, 0, 2)) + "\" target=\"_blank\">" + kw +
         "-品牌厂家</a></h3><p>" + kw +
         "，正品保障。</p><span class=\"e_ad\">广告</span></li></ul>\n";
  h += "<ul class=\"result\">\n";
  for (const TItem& it : p.Items) {
    const TDemoSite& s = *it.Site;
    h += "<li class=\"res-list\" data-urlfp=\"" + Hex(Hash(kSo360, s.Index, 3), 12) +
         "\"><h3 class=\"res-title\"><a href=\"" + EscapeHtml(it.Link) + "\" data-mdurl=\"" +
         EscapeHtml(it.Target) +
         "\" rel=\"noopener\" data-res='{\"pos\":" + std::to_string(it.Rank + 1) +
         "}' target=\"_blank\">" + Mark(Title(s), p.Keyword, "em") +
         "</a></h3><p class=\"res-desc\">" + Mark(Snippet(s), p.Keyword, "em") +
         "</p><p class=\"res-linkinfo\"><cite>" + s.Host +
         "</cite>-<a href=\"http://c.360webcache.today.localhost/c?m=" +
         Hex(Hash(kSo360, s.Index, 4)) + "&amp;q=" + q +
         "\" target=\"_blank\" class=\"m\">快照</a></p></li>\n";
  }
  h += "</ul>\n<div id=\"rs\"><h3>相关搜索</h3><table><tr><th><a href=\"/s?q=" + q +
       "%E5%8E%82%E5%AE%B6&amp;src=related\">" + kw +
       "厂家</a></th></tr></table></div>\n"
       "<div id=\"page\">";
  if (p.Number > 1) h += "<a id=\"sprev\" href=\"" + pageUrl(p.Number - 1) + "\">&lt;上一页</a>";
  h += Numbers(
      p.Number, p.Pages,
      [&](int n) { return "<a href=\"" + pageUrl(n) + "\">" + std::to_string(n) + "</a>"; },
      [](int n) { return "<strong>" + std::to_string(n) + "</strong>"; });
  if (p.HasNext()) h += "<a id=\"snext\" href=\"" + pageUrl(p.Number + 1) + "\">下一页&gt;</a>";
  h += "</div>\n</div></div>\n</body></html>\n";
  return h;
}

std::string DuckDuckGoPage(const TPage& p) {
  const std::string kw = EscapeHtml(p.Keyword);
  auto form = [&](int n, const char* caption) {
    return "<div class=\"nav-link\"><form action=\"/html/\" method=\"post\"><input "
           "type=\"submit\" class=\"btn btn--alt\" value=\"" +
           std::string(caption) + "\" /><input type=\"hidden\" name=\"q\" value=\"" + kw +
           "\" /><input type=\"hidden\" name=\"s\" value=\"" +
           std::to_string((n - 1) * kSourcePageSize) +
           "\" /><input type=\"hidden\" name=\"nextParams\" value=\"\" /><input type=\"hidden\" "
           "name=\"v\" value=\"l\" /><input type=\"hidden\" name=\"o\" value=\"json\" /><input "
           "type=\"hidden\" name=\"dc\" value=\"" +
           std::to_string((n - 1) * kSourcePageSize + 1) +
           "\" /><input type=\"hidden\" name=\"api\" value=\"d.js\" /><input name=\"kl\" "
           "value=\"cn-zh\" type=\"hidden\" /></form></div>\n";
  };
  std::string h =
      "<!DOCTYPE html>\n<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
      "charset=UTF-8\"><title>" +
      kw +
      " at DuckDuckGo</title></head>\n<body class=\"body--html\">\n<div class=\"header\"><form "
      "id=\"search_form\" action=\"/html/\" method=\"post\"><input type=\"text\" name=\"q\" "
      "class=\"search__input\" value=\"" +
      kw +
      "\"><input type=\"hidden\" name=\"kl\" value=\"cn-zh\"></form></div>\n<div><div "
      "class=\"serp__results\"><div id=\"links\" class=\"results\">\n";
  if (p.Number == 1)
    h += "<div class=\"result results_links results_links_deep result--ad web-result\"><div "
         "class=\"links_main links_deep result__body\"><h2 class=\"result__title\"><a "
         "rel=\"nofollow\" class=\"result__a\" href=\"" +
         p.Base + "/y.js?ad_provider=bingv7aa&amp;u3=" + Hex(Hash(kDuckDuckGo, 0, 2)) + "\">" + kw +
         " - 官方网站</a><div class=\"result__badge-wrap\"><a class=\"badge--ad\">Ad</a></div>"
         "</h2><a class=\"result__snippet\" href=\"" +
         p.Base + "/y.js?ad_provider=bingv7aa\">" + kw + "，优惠促销。</a></div></div>\n";
  for (const TItem& it : p.Items) {
    const TDemoSite& s = *it.Site;
    const std::string link = EscapeHtml(it.Link);
    h += "<div class=\"result results_links results_links_deep web-result \"><div "
         "class=\"links_main links_deep result__body\"><h2 class=\"result__title\"><a "
         "rel=\"nofollow\" class=\"result__a\" href=\"" +
         link + "\">" + Mark(Title(s), p.Keyword, "b") +
         "</a></h2><div class=\"result__extras\"><div class=\"result__extras__url\"><span "
         "class=\"result__icon\"><a rel=\"nofollow\" href=\"" +
         link +
         "\"><img class=\"result__icon__img\" width=\"16\" height=\"16\" alt=\"\" "
         "src=\"//external-content.duckduckgo.today.localhost/ip3/" +
         s.Host + ".ico\" /></a></span><a class=\"result__url\" href=\"" + link + "\">" + s.Host +
         "/</a></div></div><a class=\"result__snippet\" href=\"" + link + "\">" +
         Mark(Snippet(s), p.Keyword, "b") + "</a><div class=\"clear\"></div></div></div>\n";
  }
  if (p.Number > 1) h += form(p.Number - 1, "Previous");
  if (p.HasNext()) h += form(p.Number + 1, "Next");
  h += "<div class=\"feedback-btn\"><a rel=\"nofollow\" "
       "href=\"//duckduckgo.today.localhost/feedback.html\">Feedback</a></div>\n"
       "</div></div></div>\n</body></html>\n";
  return h;
}

const char* const kSearxEngines[] = {"baidu", "sogou", "360search", "bing"};

std::string SearXNGPage(const TPage& p) {
  std::string j = "{\"query\": " + Json(p.Keyword) +
                  ", \"number_of_results\": " + std::to_string(p.Total) + ", \"results\": [";
  for (std::size_t k = 0; k < p.Items.size(); ++k) {
    const TItem& it = p.Items[k];
    const TDemoSite& s = *it.Site;
    const char* engine =
        kSearxEngines[static_cast<std::size_t>(s.Index) % std::size(kSearxEngines)];
    j += std::string(k ? ", " : "") + "{\"url\": " + Json(it.Target) +
         ", \"title\": " + Json(Title(s)) + ", \"content\": " + Json(Snippet(s)) +
         ", \"engine\": \"" + engine + "\", \"engines\": [\"" + engine + "\"], \"positions\": [" +
         std::to_string(it.Rank + 1) + "], \"score\": " + std::to_string(100 / (it.Rank + 1)) +
         ", \"category\": \"general\", \"publishedDate\": null}";
  }
  j += "], \"answers\": [], \"corrections\": [], \"infoboxes\": [";
  if (p.Number == 1)
    j += "{\"infobox\": " + Json(p.Keyword) +
         ", \"id\": \"http://baike.baidu.today.localhost/item/" + Pct(p.Keyword) +
         "\", \"content\": " + Json(p.Keyword + "是工业生产中常用的产品类别。") +
         ", \"urls\": [{\"title\": \"百度百科\", \"url\": "
         "\"http://baike.baidu.today.localhost/item/" +
         Pct(p.Keyword) + "\"}], \"engine\": \"wikipedia\"}";
  j += "], \"suggestions\": [" + Json(p.Keyword + " 厂家") + "], \"unresponsive_engines\": []}\n";
  return j;
}

// Where Baidu and Sogou send a client they take for a robot, and what it finds there.
constexpr const char* kVerifyPath[] = {
    "/static/captcha/tuxing.html", "", "/antispider/", "", "", ""};

std::string VerifyPage(std::size_t source) {
  if (source == kBaidu)
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>百度安全验证</title></head>"
           "<body><div id=\"passMod_verify\"><p class=\"vcode-title\">百度安全验证</p><p>"
           "请完成下方验证后继续操作</p><div class=\"vcode-spin\"></div></div></body></html>\n";
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>搜狗搜索</title></head><body>"
         "<div class=\"header\"><p>用户您好，我们的系统检测到您网络中存在异常访问请求。</p><p>"
         "此验证码用于确认这些请求是您的正常行为而不是自动程序发出的，需要您协助验证。</p></div>"
         "<form name=\"authform\" method=\"post\" action=\"/antispider/thank.php\"><input "
         "type=\"text\" name=\"c\" id=\"seccodeInput\"><input type=\"submit\" value=\"提交\">"
         "</form></body></html>\n";
}

}  // namespace

void TDemoSources::SetBlocks(const TSourceBlocks& blocks) {
  std::array<int, 6> from{};
  for (const auto& [name, page] : blocks) {
    const std::string& wanted = name;  // a lambda may not capture a structured binding
    const auto it = std::find_if(kSourceNames.begin(), kSourceNames.end(),
                                 [&](const char* n) { return wanted == n; });
    if (it == kSourceNames.end()) throw std::invalid_argument("unknown source " + name);
    from[static_cast<std::size_t>(it - kSourceNames.begin())] = std::max(1, page);
  }
  for (std::size_t k = 0; k < from.size(); ++k) blockedFrom_[k].store(from[k]);
}

TDemoSources::TDemoSources(const TDemoWeb& web, const TSourceBlocks& blocks) : web_(web) {
  SetBlocks(blocks);
  // Own sites, each followed by one a source earlier in the list has listed already: every
  // page brings new addresses, so every source is read to its last page.
  std::array<std::vector<const TDemoSite*>, 6> own;
  for (const TDemoSite& s : web.Sites())
    own[kHomeCycle[static_cast<std::size_t>(s.Index) % std::size(kHomeCycle)]].push_back(&s);
  std::vector<const TDemoSite*> earlier;
  for (std::size_t src = 0; src < own.size(); ++src) {
    auto& list = lists_[src];
    // A stride prime to the count visits every earlier site once before any repeats.
    std::size_t stride = 7;
    while (!earlier.empty() && std::gcd(stride, earlier.size()) != 1) ++stride;
    for (std::size_t k = 0; k < own[src].size(); ++k) {
      list.push_back(own[src][k]);
      if (k < earlier.size()) list.push_back(earlier[(k * stride + src) % earlier.size()]);
    }
    // A source without sites of its own still answers with a few known ones.
    for (std::size_t k = 0; list.empty() && k < 3 && k < earlier.size(); ++k)
      list.push_back(earlier[k]);
    earlier.insert(earlier.end(), own[src].begin(), own[src].end());
  }
  for (std::size_t src = 0; src < lists_.size(); ++src)
    for (const TDemoSite* s : lists_[src]) tokens_.emplace(Token(src, *s), s);
}

std::string TDemoSources::Base(std::size_t source) const {
  return "http://" + std::string(kSourceHosts[source]) + ":" + std::to_string(web_.Port());
}

std::string TDemoSources::Token(std::size_t source, const TDemoSite& site) const {
  // Looks like the engines' own tokens: long, URL-safe, and nothing a client could decode.
  std::string raw;
  for (int k = 0; k < 5; ++k) {
    const uint64_t h = Hash(source, site.Index, 10 + k);
    for (int b = 0; b < 8; ++b) raw += static_cast<char>((h >> (8 * b)) & 0xFF);
  }
  std::string token = Base64Url(raw);
  if (source == kSo360) return "a" + token;
  if (source == kSogou) return token + "..";
  return token;
}

std::set<const TDemoSite*> TDemoSources::ReachableSites() const {
  std::set<const TDemoSite*> out;
  for (std::size_t src = 0; src < lists_.size(); ++src) {
    const auto& list = lists_[src];
    std::size_t end = list.size();
    if (const int from = BlockedFrom(src); from > 0)
      end = std::min(end, static_cast<std::size_t>(from - 1) * kSourcePageSize);
    out.insert(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return out;
}

std::optional<TDemoResponse> TDemoSources::Respond(
    const std::string& host, const std::string& path,
    const std::multimap<std::string, std::string>& query) const {
  const auto at = std::find_if(kSourceHosts.begin(), kSourceHosts.end(),
                               [&](const char* h) { return host == h; });
  if (at == kSourceHosts.end()) return std::nullopt;
  const auto src = static_cast<std::size_t>(at - kSourceHosts.begin());

  int page = 0;
  std::string keyword;
  switch (src) {
    case kBaidu:
      if (path == "/s") {
        keyword = Param(query, "wd");
        page = IntParam(query, "pn", 0) / kSourcePageSize + 1;
      }
      break;
    case kBing:
      if (path == "/search") {
        keyword = Param(query, "q");
        page = (std::max(1, IntParam(query, "first", 1)) - 1) / kSourcePageSize + 1;
      }
      break;
    case kSogou:
      if (path == "/web") {
        keyword = Param(query, "query");
        page = std::max(1, IntParam(query, "page", 1));
      }
      break;
    case kSo360:
      if (path == "/s") {
        keyword = Param(query, "q");
        page = std::max(1, IntParam(query, "pn", 1));
      }
      break;
    case kDuckDuckGo:
      if (path == "/html/" || path == "/html") {
        keyword = Param(query, "q");
        page = IntParam(query, "s", 0) / kSourcePageSize + 1;
      }
      break;
    default:
      if (path == "/search") {
        if (Param(query, "format") != "json") {
          TDemoResponse r = Page("<html><body><h1>403 Forbidden</h1></body></html>\n");
          r.Status = 403;
          return r;
        }
        keyword = Param(query, "q");
        page = std::max(1, IntParam(query, "pageno", 1));
      }
  }
  if (page == 0) {
    if (auto r = TrackingRedirect(src, path, query)) return r;
    if (*kVerifyPath[src] && path == kVerifyPath[src]) return Page(VerifyPage(src));
    return NotFound();
  }
  if (const int from = BlockedFrom(src); from > 0 && page >= from) return BlockedPage(src, keyword);
  return ResultPage(src, page, keyword);
}

TDemoResponse TDemoSources::ResultPage(std::size_t source, int page,
                                       const std::string& keyword) const {
  const auto& list = lists_[source];
  TPage p;
  p.Keyword = keyword;
  p.Number = page;
  p.Total = static_cast<int>(list.size());
  p.Pages = std::max(1, (p.Total + kSourcePageSize - 1) / kSourcePageSize);
  p.Base = Base(source);
  const std::string base = p.Base;
  for (int k = (page - 1) * kSourcePageSize; k < p.Total && k < page * kSourcePageSize; ++k) {
    const TDemoSite& s = *list[static_cast<std::size_t>(k)];
    TItem it{&s, k, std::string(), web_.SiteUrl(s)};
    switch (source) {
      case kBaidu:
        it.Link = base + "/link?url=" + Token(source, s);
        break;
      case kBing:  // every other link through the click tracker, the target readable in `u`
        it.Link = k % 2 ? it.Target
                        : base + "/ck/a?!&&p=" + Hex(Hash(source, s.Index, 5)) +
                              "&ptn=3&ver=2&u=a1" + Base64Url(it.Target) + "&ntb=1";
        break;
      case kSogou:
        it.Link = "/link?url=" + Token(source, s);
        break;
      case kSo360:
        it.Link = base + "/link?m=" + Pct(Token(source, s));
        break;
      case kDuckDuckGo:
        it.Link = k % 2
                      ? it.Target
                      : "//" + std::string(kSourceHosts[source]) + ":" +
                            std::to_string(web_.Port()) + "/l/?uddg=" + Pct(it.Target) +
                            "&rut=" + Hex(Hash(source, s.Index, 6)) + Hex(Hash(source, s.Index, 7));
        break;
      default:
        it.Link = it.Target;
    }
    p.Items.push_back(std::move(it));
  }
  switch (source) {
    case kBaidu:
      return Page(BaiduPage(p));
    case kBing:
      return Page(BingPage(p));
    case kSogou:
      return Page(SogouPage(p));
    case kSo360:
      return Page(So360Page(p));
    case kDuckDuckGo:
      return Page(DuckDuckGoPage(p));
    default:
      return Page(SearXNGPage(p), "application/json");
  }
}

std::optional<TDemoResponse> TDemoSources::TrackingRedirect(
    std::size_t source, const std::string& path,
    const std::multimap<std::string, std::string>& query) const {
  std::string target;
  if ((source == kBaidu || source == kSogou) && path == "/link") {
    const auto it = tokens_.find(Param(query, "url"));
    if (it != tokens_.end()) target = web_.SiteUrl(*it->second);
  } else if (source == kSo360 && path == "/link") {
    const auto it = tokens_.find(Param(query, "m"));
    if (it != tokens_.end()) target = web_.SiteUrl(*it->second);
  } else if (source == kBing && path == "/ck/a") {
    const std::string u = Param(query, "u");
    if (u.rfind("a1", 0) == 0) target = FromBase64Url(u.substr(2)).value_or(std::string());
  } else if (source == kDuckDuckGo && path == "/l/") {
    target = Param(query, "uddg");
  }
  if (target.empty()) return std::nullopt;
  return Redirect(target);
}

TDemoResponse TDemoSources::BlockedPage(std::size_t source, const std::string& keyword) const {
  const std::string kw = EscapeHtml(keyword);
  switch (source) {
    case kBaidu:
      return Redirect(Base(source) + kVerifyPath[source] + "?ak=" + Hex(Hash(source, 0, 20)) +
                          "&backurl=" + Pct(Base(source) + "/s?wd=" + Pct(keyword)),
                      VerifyPage(source));
    case kBing:
      // The result frame with a challenge where the results would be: no result item, and no
      // "no results" notice either.
      return Page("<!DOCTYPE html>\n<html lang=\"zh\"><head><meta charset=\"utf-8\"><title>" + kw +
                  " - 搜索</title></head>\n<body><main><ol id=\"b_results\"></ol><div "
                  "id=\"b_captcha\"><h2>请解决以下难题以继续</h2><iframe "
                  "src=\"/turing/captcha/challenge?q=" +
                  Pct(keyword) + "\" title=\"验证\"></iframe></div></main></body></html>\n");
    case kSogou:
      return Redirect(Base(source) + kVerifyPath[source] +
                      "?from=" + Pct("/web?query=" + Pct(keyword)));
    case kSo360:
      return Page(std::string());
    case kDuckDuckGo:
      return Page(
          "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>DuckDuckGo</title></head>"
          "<body><div class=\"anomaly-modal__modal\" data-testid=\"anomaly-modal\"><div "
          "class=\"anomaly-modal__title\">Unfortunately, bots use DuckDuckGo too.</div><div "
          "class=\"anomaly-modal__description\">Please complete the following challenge to confirm "
          "this search was made by a human.</div><form id=\"challenge-form\" "
          "action=\"/anomaly.js?sv=html&amp;cc=botnet\" method=\"POST\"><div "
          "class=\"anomaly-modal__puzzle\"></div><button type=\"submit\" "
          "class=\"anomaly-modal__submit\">Submit</button></form></div></body></html>\n");
    default: {
      std::string j = "{\"query\": " + Json(keyword) +
                      ", \"number_of_results\": 0, \"results\": [], \"answers\": [], "
                      "\"corrections\": [], \"infoboxes\": [], \"suggestions\": [], "
                      "\"unresponsive_engines\": [";
      const char* reasons[] = {"CAPTCHA", "Suspended: CAPTCHA", "timeout",
                               "Suspended: too many requests"};
      for (std::size_t k = 0; k < std::size(kSearxEngines); ++k)
        j += std::string(k ? ", " : "") + "[\"" + kSearxEngines[k] + "\", \"" + reasons[k] + "\"]";
      return Page(j + "]}\n", "application/json");
    }
  }
}

}  // namespace demoweb
