#include "demo_web.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <stdexcept>

#include "core/gbk.h"
#include "core/global_set.h"
#include "core/ini_file.h"
#include "demo_scripts.h"
#include "demo_sources.h"

namespace demoweb {

std::string EscapeHtml(std::string_view bytes) {
  // Markup bytes are below 0x40, never the second byte of a GBK character.
  std::string out;
  for (char c : bytes) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

TDemoResponse NotFound() {
  TDemoResponse r;
  r.Status = 404;
  r.ContentType = "text/html";
  r.Body = "<html><body><h1>404 Not Found</h1></body></html>\n";
  return r;
}

namespace {

struct TCity {
  const char* Name;
  const char* Region;  // province and city as an address starts
  const char* District;
  const char* Road;
  const char* PostPrefix;
  const char* AreaCode;
};

constexpr TCity kCities[] = {
    {"杭州", "浙江省杭州市", "西湖区", "文三路", "3100", "0571"},
    {"宁波", "浙江省宁波市", "江北区", "育才路", "3150", "0574"},
    {"上海", "上海市", "浦东新区", "张江路", "2012", "021"},
    {"苏州", "江苏省苏州市", "工业园区", "星湖街", "2150", "0512"},
    {"广州", "广东省广州市", "天河区", "体育西路", "5106", "020"},
    {"深圳", "广东省深圳市", "南山区", "科技园路", "5180", "0755"},
    {"北京", "北京市", "海淀区", "中关村大街", "1000", "010"},
    {"天津", "天津市", "滨海新区", "黄海路", "3004", "022"},
    {"青岛", "山东省青岛市", "崂山区", "香港东路", "2661", "0532"},
    {"成都", "四川省成都市", "武侯区", "人民南路", "6100", "028"},
    {"武汉", "湖北省武汉市", "江汉区", "解放大道", "4300", "027"},
    {"温州", "浙江省温州市", "鹿城区", "人民路", "3250", "0577"},
    {"无锡", "江苏省无锡市", "滨湖区", "梁溪路", "2140", "0510"},
    {"济南", "山东省济南市", "历下区", "泉城路", "2500", "0531"},
};

struct TBrand {
  const char* Name;
  const char* Latin;
};
constexpr TBrand kBrands[] = {
    {"恒达", "hengda"},    {"明远", "mingyuan"},   {"海通", "haitong"},  {"华兴", "huaxing"},
    {"金马", "jinma"},     {"宏达", "hongda"},     {"东方", "dongfang"}, {"新华", "xinhua"},
    {"天马", "tianma"},    {"星河", "xinghe"},     {"精工", "jinggong"}, {"博业", "boye"},
    {"永盛", "yongsheng"}, {"鑫源", "xinyuan"},    {"瑞丰", "ruifeng"},  {"长城", "changcheng"},
    {"远航", "yuanhang"},  {"中诚", "zhongcheng"}, {"嘉禾", "jiahe"},    {"立新", "lixin"},
};

struct TIndustry {
  const char* Name;
  const char* Latin;
  const char* Product;
};
constexpr TIndustry kIndustries[] = {
    {"机械", "jixie", "液压机械"},   {"化工", "huagong", "化工原料"},
    {"电器", "dianqi", "低压电器"},  {"纺织", "fangzhi", "纺织面料"},
    {"塑料", "suliao", "塑料制品"},  {"五金", "wujin", "五金工具"},
    {"电子", "dianzi", "电子元件"},  {"包装", "baozhuang", "包装材料"},
    {"建材", "jiancai", "新型建材"}, {"食品", "shipin", "休闲食品"},
};

constexpr const char* kSuffixes[] = {"有限公司", "厂", "集团有限公司", "股份有限公司",
                                     "制造有限公司"};

// Fixed seed: the same site count always gives the same web.
constexpr uint64_t kSeed = 0x5EED2004ULL;

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

uint64_t Pick(int index, int salt, uint64_t range) {
  return Mix(kSeed ^ (static_cast<uint64_t>(index) << 8) ^ static_cast<uint64_t>(salt)) % range;
}

std::string Digits(int index, int salt, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += static_cast<char>('0' + Pick(index, salt * 16 + i, 10));
  // No leading zero: local numbers never start with 0.
  if (s[0] == '0') s[0] = '8';
  return s;
}

constexpr TSiteShape kShapeCycle[] = {
    TSiteShape::TableHome, TSiteShape::LinesHome, TSiteShape::ContactPage, TSiteShape::TwoDeep,
    TSiteShape::Redirect,  TSiteShape::Slow,      TSiteShape::TableHome,   TSiteShape::ContactPage,
    TSiteShape::Branches,  TSiteShape::NoContact, TSiteShape::LinesHome,   TSiteShape::DeadStatus,
};
constexpr TCharset kCharsetCycle[] = {
    TCharset::GbkHeader, TCharset::Utf8Header, TCharset::GbkMeta,     TCharset::Utf8Sniffed,
    TCharset::GbkMeta,   TCharset::Utf8Header, TCharset::Utf8Sniffed, TCharset::Utf8Header,
    TCharset::GbkHeader, TCharset::Utf8Header, TCharset::GbkMeta,     TCharset::GbkHeader,
};
// Baidu lists most sites, as on the real web; the others a share each.
constexpr int kEngineCycle[] = {0, 1, 2, 3, 4, 5, 5, 5};

bool IsGbk(TCharset c) {
  return c == TCharset::GbkHeader || c == TCharset::GbkMeta;
}

std::string Query(const std::multimap<std::string, std::string>& query, const std::string& key) {
  auto it = query.find(key);
  return it == query.end() ? std::string() : it->second;
}

int QueryInt(const std::multimap<std::string, std::string>& query, const std::string& key,
             int fallback) {
  const std::string v = Query(query, key);
  if (v.empty() || v.size() > 9) return fallback;
  for (char c : v)
    if (c < '0' || c > '9') return fallback;
  return std::stoi(v);
}

constexpr const char* kKeywordMark = "\x01KW\x01";

std::string FillKeyword(std::string gbkPage, const std::string& keyword) {
  return gbk::ReplaceAll(gbkPage, kKeywordMark, EscapeHtml(keyword));
}

// The page-number bar under a result list; `base` is the first value of the paging key.
// Engines that end their list without a table need it: a result block ends at a table tag.
std::string Pager(const std::string& prefix, int current, int step, int total, int base) {
  std::string p =
      "<table cellpadding=\"0\" cellspacing=\"0\"><tr><td><font size=3>结果页码：</font>";
  for (int page = 0; page * step < total && page < 10; ++page) {
    const int value = base + page * step;
    if (value == current)
      p += "<b>" + std::to_string(page + 1) + "</b> ";
    else
      p += "<a href=\"" + prefix + std::to_string(value) + "\">[" + std::to_string(page + 1) +
           "]</a> ";
  }
  return p + "</td></tr></table>\n";
}

std::string Head(const TDemoSite& site, const std::string& title) {
  std::string h = "<html>\n<head>\n";
  if (site.Charset == TCharset::GbkMeta)
    h += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n";
  if (site.Charset == TCharset::Utf8Header) h += "<meta charset=\"utf-8\">\n";
  h += "<title>" + title + "</title>\n</head>\n<body leftmargin=\"0\" topmargin=\"0\">\n";
  return h;
}

constexpr const char* kTail = "</body>\n</html>\n";

std::string ContactTable(const TDemoSite& site) {
  std::string t =
      "<table width=\"760\" border=\"0\" align=\"center\" cellpadding=\"4\">\n"
      "  <tr><td class=\"title\">公司名称：" +
      site.Company +
      "</td></tr>\n"
      "  <tr><td>地址：" +
      site.Address + "</td></tr>\n  <tr><td>邮编：" + site.PostCode +
      "</td></tr>\n  <tr><td>电话：" + site.Telephone + "</td></tr>\n";
  if (!site.Fax.empty()) t += "  <tr><td>传真：" + site.Fax + "</td></tr>\n";
  if (!site.Email.empty())
    t += "  <tr><td>E-mail：<a href=\"mailto:" + site.Email + "\">" + site.Email +
         "</a></td></tr>\n";
  t += "</table>\n";
  return t;
}

std::string ContactLines(const TDemoSite& site) {
  std::string t = "<div class=\"top\"><h1>" + site.Company +
                  "</h1></div>\n<p>欢迎光临！我们专业生产" + site.Product +
                  "，质量可靠，价格合理。</p>\n<p>地址：" + site.Address + "</p>\n<p>邮政编码：" +
                  site.PostCode + "<br>\n联系电话：" + site.Telephone;
  if (!site.Fax.empty()) t += "<br>\n传真：" + site.Fax;
  if (!site.Email.empty()) t += "<br>\n电子信箱：" + site.Email;
  t += "</p>\n";
  return t;
}

std::string Logo() {
  return "<table width=\"760\" border=\"0\" align=\"center\"><tr><td><img src=\"/images/logo.gif\" "
         "width=\"760\" height=\"90\"></td></tr></table>\n";
}

std::string Copyright(const TDemoSite& site) {
  return "<table width=\"760\" border=\"0\" align=\"center\"><tr><td align=\"center\">"
         "版权所有&copy; 2024 " +
         site.Company + "</td></tr></table>\n";
}

std::string Intro(const TDemoSite& site) {
  return "<p>" + site.Company + "成立于1998年，专业生产" + site.Product +
         "，产品畅销全国二十多个省市，并出口东南亚。</p>\n"
         "<p>我们坚持质量第一、信誉至上，竭诚欢迎各界朋友光临指导。</p>\n";
}

std::string Products(const TDemoSite& site) {
  return "<ul>\n<li>" + site.Product + " A型</li>\n<li>" + site.Product + " B型</li>\n<li>" +
         site.Product + "配件</li>\n</ul>\n";
}

// The three branch offices of a Branches site: name, city record.
struct TBranch {
  std::string Name;
  const TCity* City;
};

std::vector<TBranch> Branches(const TDemoSite& site) {
  std::vector<TBranch> out;
  const char* kinds[] = {"分公司", "办事处", "分公司"};
  std::size_t c = Pick(site.Index, 71, std::size(kCities));
  while (out.size() < 3) {
    const TCity& city = kCities[c % std::size(kCities)];
    ++c;
    if (site.City == city.Name) continue;
    out.push_back({std::string(city.Name) + kinds[out.size()], &city});
  }
  return out;
}

std::string BranchAddress(const TDemoSite& site, std::size_t k, const TCity& city) {
  return std::string(city.Region) + city.District + city.Road +
         std::to_string(10 + Pick(site.Index, 80 + static_cast<int>(k), 180)) + "号";
}
std::string BranchPostCode(const TDemoSite& site, std::size_t k, const TCity& city) {
  return std::string(city.PostPrefix) + Digits(site.Index, 90 + static_cast<int>(k), 2);
}
std::string BranchPhone(const TDemoSite& site, std::size_t k, const TCity& city, int last) {
  std::string n = Digits(site.Index, 100 + static_cast<int>(k), 8);
  n.back() = static_cast<char>('0' + last);
  return std::string(city.AreaCode) + "-" + n;
}

std::string BranchTable(const TDemoSite& site) {
  std::string t = "<table border=\"1\" cellpadding=\"3\">\n";
  const auto branches = Branches(site);
  for (std::size_t k = 0; k < branches.size(); ++k) {
    const TCity& city = *branches[k].City;
    t += "<tr><td>" + branches[k].Name + "</td></tr>\n";
    t += "<tr><td>地址：" + BranchAddress(site, k, city) + "　邮编：" +
         BranchPostCode(site, k, city) + "</td></tr>\n";
    t += "<tr><td>电话：" + BranchPhone(site, k, city, 1) + "　传真：" +
         BranchPhone(site, k, city, 2) + "</td></tr>\n";
  }
  t += "</table>\n";
  return t;
}

TDemoResponse Html(const TDemoSite& site, const std::string& utf8) {
  TDemoResponse r;
  switch (site.Charset) {
    case TCharset::GbkHeader:
      r.ContentType = "text/html; charset=gbk";
      break;
    case TCharset::Utf8Header:
      r.ContentType = "text/html; charset=utf-8";
      break;
    default:
      r.ContentType = "text/html";
  }
  r.Body = IsGbk(site.Charset) ? gbk::FromUtf8(utf8) : utf8;
  return r;
}

}  // namespace

TDemoWeb::TDemoWeb(int siteCount, int port, int slowMs, const TSourceBlocks& blocks)
    : port_(port), slowMs_(slowMs) {
  if (siteCount < 1 || siteCount > 5000) throw std::invalid_argument("site count out of range");
  std::set<std::string> names;
  for (int i = 0; i < siteCount; ++i) {
    TDemoSite s;
    s.Index = i;
    const TCity& city = kCities[Pick(i, 1, std::size(kCities))];
    std::size_t brand = Pick(i, 2, std::size(kBrands));
    std::size_t industry = Pick(i, 3, std::size(kIndustries));
    const char* suffix = kSuffixes[Pick(i, 4, std::size(kSuffixes))];
    // Company names are unique: on a clash, take the next brand (and industry).
    for (int tries = 0;; ++tries) {
      s.Company =
          std::string(city.Name) + kBrands[brand].Name + kIndustries[industry].Name + suffix;
      if (names.insert(s.Company).second) break;
      brand = (brand + 1) % std::size(kBrands);
      if (tries % std::size(kBrands) == std::size(kBrands) - 1)
        industry = (industry + 1) % std::size(kIndustries);
    }
    char num[8];
    std::snprintf(num, sizeof num, "%03d", i);
    s.Host = std::string("www.") + kBrands[brand].Latin + "-" + kIndustries[industry].Latin + "-" +
             num + ".localhost";
    s.City = city.Name;
    s.Product = kIndustries[industry].Product;
    s.Address = std::string(city.Region) + city.District + city.Road +
                std::to_string(1 + Pick(i, 5, 199)) + "号";
    s.PostCode = std::string(city.PostPrefix) + Digits(i, 6, 2);
    const std::string local = Digits(i, 7, 8);
    s.Telephone = std::string(city.AreaCode) + "-" + local;
    if (i % 4 != 3) {
      std::string fax = local;
      fax.back() = static_cast<char>('0' + (fax.back() - '0' + 1) % 10);
      s.Fax = std::string(city.AreaCode) + "-" + fax;
    }
    if (i % 5 != 4)
      s.Email = std::string(i % 2 ? "sales@" : "info@") + kBrands[brand].Latin + num + ".com.cn";
    s.Shape = kShapeCycle[i % std::size(kShapeCycle)];
    if (s.Shape == TSiteShape::DeadStatus && (i / 12) % 2 == 1) s.Shape = TSiteShape::DeadRefused;
    s.Charset = kCharsetCycle[i % std::size(kCharsetCycle)];
    s.HomeEngine = kEngineCycle[i % std::size(kEngineCycle)];
    byHost_[s.Host] = sites_.size();
    sites_.push_back(std::move(s));
  }
  sources_ = std::make_unique<TDemoSources>(*this, blocks);
}

TDemoWeb::~TDemoWeb() = default;

void TDemoWeb::SetBlocks(const TSourceBlocks& blocks) {
  sources_->SetBlocks(blocks);
}

std::string TDemoWeb::Url(const std::string& host, const std::string& path) const {
  return "http://" + host + ":" + std::to_string(port_) + path;
}

std::string TDemoWeb::SiteUrl(const TDemoSite& site) const {
  // Nothing listens on port 1: the connection is refused at once.
  if (site.Shape == TSiteShape::DeadRefused) return "http://" + site.Host + ":1/";
  return Url(site.Host, "/");
}

std::string TDemoWeb::DirectoryUrl() const {
  return Url(kDirectoryHost, "/list.asp?page=1");
}

std::vector<const TDemoSite*> TDemoWeb::EngineList(int engine) const {
  // Own sites, with every third entry a site an earlier engine has listed already: each
  // page brings new addresses, so every engine is read to its last page.
  std::vector<const TDemoSite*> earlier;
  std::vector<const TDemoSite*> own;
  for (const auto& s : sites_) {
    if (s.HomeEngine < engine) earlier.push_back(&s);
    if (s.HomeEngine == engine) own.push_back(&s);
  }
  std::vector<const TDemoSite*> list;
  for (std::size_t k = 0; k < own.size(); ++k) {
    list.push_back(own[k]);
    if (k % 2 == 1 && !earlier.empty()) list.push_back(earlier[(k * 7) % earlier.size()]);
  }
  return list;
}

std::vector<std::string> TDemoWeb::ListedSiteUrls() const {
  std::vector<std::string> urls;
  for (const auto& s : sites_) urls.push_back(SiteUrl(s));
  return urls;
}

std::string TDemoWeb::EnginePage(int engine,
                                 const std::multimap<std::string, std::string>& query) const {
  static constexpr int kStep[] = {30, 20, 30, 30, 10, 10};
  const auto list = EngineList(engine);
  const int total = static_cast<int>(list.size());
  int first = 0;
  switch (engine) {
    case 0:
      first = QueryInt(query, "_begin", 1) - 1;
      break;
    case 1:
      first = QueryInt(query, "page_index", 0) * kStep[1];
      break;
    case 2:
      first = QueryInt(query, "b", 1) - 1;
      break;
    case 3:
      first = QueryInt(query, "start", 0);
      break;
    case 4:
      first = QueryInt(query, "ofs", 0);
      break;
    default:
      first = QueryInt(query, "pn", 0);
  }
  if (first < 0) first = 0;
  const int last = std::min(total, first + kStep[engine]);
  const std::string from = std::to_string(first + 1);
  const std::string to = std::to_string(std::max(last, first));
  const std::string kw = kKeywordMark;

  auto title = [](const TDemoSite& s) { return s.Company; };
  auto desc = [](const TDemoSite& s) {
    return s.Company + "，专业生产" + s.Product + "，" + s.City + "地区知名企业";
  };
  auto shortUrl = [](const TDemoSite& s) { return s.Host + "/"; };

  std::string p;
  switch (engine) {
    case 0: {  // Sina: one table per result, the count in "共 N 个网站"
      p = "<html><head><title>新浪网站搜索 - " + kw +
          "</title></head>\n<body>\n<table width=750><tr><td>搜索到与“" + kw + "”相关网站共 " +
          std::to_string(total) + " 个网站</td></tr></table>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<table width=750>\n<tr><td width=20>" + std::to_string(k + 1) +
             ".</td><td><a href=\"" + SiteUrl(s) + "\" target=_blank>" + title(s) + "</a> " +
             desc(s) +
             " <a href=\"/cgi-bin/search/search.cgi?cat=12\">[工商&gt;企业]</a></td></tr>\n"
             "</table>\n";
      }
      p += "</body></html>\n";
      break;
    }
    case 1: {  // Sohu: list items, "共有N个查询结果"
      p = "<html><head><title>搜狐网站搜索 - " + kw +
          "</title></head>\n<body>\n<table width=770><tr><td class=ui>网站搜索：关键词“" + kw +
          "”共有" + std::to_string(total) + "个查询结果，以下是第" + from + "-" + to +
          "个</td></tr></table>\n<table width=770><tr><td>\n<ul>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<li><a href=\"" + SiteUrl(s) + "\" target=_blank>" + title(s) + "</a> -- " + desc(s) +
             " <a href=\"http://dir.sohu.localhost/cat?id=12\">工商 &gt; 企业</a></li>\n";
      }
      p += "</ul>\n</td></tr></table>\n</body></html>\n";
      break;
    }
    case 2: {  // Yahoo: ordered list, count in a bold tag after "共找到"
      p = "<html><head><title>雅虎中国搜索 - " + kw +
          "</title></head>\n<body marginheight=0>\n"
          "<table width=100%><tr><td><a href=\"http://cn.yahoo.localhost/\">雅虎首页</a></td></tr>"
          "</table>\n<table width=100%><tr><td><font size=2>共找到 <b>" +
          std::to_string(total) + "</b> 个相关网站，本页显示第 " + from + " - " + to +
          " 个</font></td></tr></table>\n<ol>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<li><a href=\"" + SiteUrl(s) + "\" target=_blank>" + title(s) + "</a><br>" + desc(s) +
             "<br><em>" + SiteUrl(s) + "</em>\n";
      }
      p += "</ol>\n" + Pager("/search/cn?p=" + kw + "&b=", first + 1, 30, total, 1) +
           "</body></html>\n";
      break;
    }
    case 3: {  // Google: paragraphs with a cache link, "共约有N项查询结果"
      p = "<html><head><meta HTTP-EQUIV=\"content-type\" CONTENT=\"text/html; charset=GB2312\">\n"
          "<title>Google 搜索: " +
          kw +
          "</title></head>\n<body bgcolor=#ffffff>\n"
          "<table width=100% border=0><tr><td bgcolor=#e5ecf9 nowrap><b>网页</b></td>"
          "<td bgcolor=#e5ecf9 align=right nowrap><font size=-1>共约有<b>" +
          std::to_string(total) + "</b>项查询结果，这是第<b>" + from + "</b>-<b>" + to +
          "</b>项。 搜索用时<b>0.18</b>秒。</font></td></tr></table>\n<div>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<p class=g><a href=" + SiteUrl(s) + ">" + title(s) + "</a><br><font size=-1>" +
             desc(s) + "<b>...</b><br><font color=#008000>" + shortUrl(s) +
             " - 12k - </font><nobr><a class=fl "
             "href=\"http://www.google.localhost/search?q=cache:x\">网页快照</a></nobr></font>\n";
      }
      p += "</div>\n<br clear=all>\n" +
           Pager("/search?&q=" + kw + "&num=30&hl=zh-CN&start=", first, 30, total, 0) +
           "</body></html>\n";
      break;
    }
    case 4: {  // 163: table rows with a middle dot, "相关网页 a - b of N"
      p = "<html><head><title>网易搜索 - " + kw +
          "</title></head>\n<body topmargin=0>\n<table width=760 border=0>\n"
          "<tr><td class=f12>相关网页 " +
          from + " - " + to + " of " + std::to_string(total) +
          "</td><td align=right>用时 0.08 秒</td></tr>\n</table>\n<table width=760 border=0>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<tr><td class=f14>·<a href=\"" + SiteUrl(s) + "\" target=_blank>" + title(s) +
             "</a>\n<br><span class=f12>" + desc(s) + "... " + SiteUrl(s) +
             " - 15K</span></td></tr>\n";
      }
      p += "</table>\n</body></html>\n";
      break;
    }
    default: {  // Baidu: paragraphs, "找到相关网页约N篇"
      p = "<html>\n<head>\n<meta http-equiv=\"content-type\" "
          "content=\"text/html;charset=gb2312\">\n<title>百度搜索_" +
          kw +
          "</title>\n</head>\n<body bgcolor=#ffffff>\n"
          "<table width=\"100%\" bgcolor=\"#e6e6e6\"><tr><td nowrap><font size=-1>"
          "&nbsp;&nbsp;百度一下，找到相关网页约<b>" +
          std::to_string(total) + "</b>篇，用时0.002秒</font></td></tr></table>\n";
      for (int k = first; k < last; ++k) {
        const TDemoSite& s = *list[static_cast<std::size_t>(k)];
        p += "<p><a href=\"" + SiteUrl(s) + "\" target=\"_blank\">" + title(s) +
             "</a><br>\n<font size=-1>" + desc(s) + "...<br><span>" + shortUrl(s) +
             " 12K</span> - <a href=\"http://cache.baidu.localhost/c?word=x\" "
             "class=m>百度快照</a></font></p>\n";
      }
      p += "<br clear=all>\n" + Pager("/baidu?word=" + kw + "&pn=", first, 10, total, 0) +
           "</body>\n</html>\n";
    }
  }
  return p;
}

TDemoResponse TDemoWeb::SitePage(const TDemoSite& site, const std::string& path) const {
  const std::string& name = site.Company;
  TDemoResponse r;
  switch (site.Shape) {
    case TSiteShape::TableHome:
      if (path != "/") return NotFound();
      return Html(site, Head(site, name) + Logo() + ContactTable(site) + Copyright(site) + kTail);
    case TSiteShape::LinesHome:
    case TSiteShape::Slow:
      if (path != "/") return NotFound();
      r = Html(site, Head(site, name) + ContactLines(site) + kTail);
      if (site.Shape == TSiteShape::Slow) r.ExtraDelayMs = slowMs_;
      return r;
    case TSiteShape::ContactPage:
    case TSiteShape::Branches: {
      const bool branches = site.Shape == TSiteShape::Branches;
      const std::string about = branches ? "about.htm" : "about.html";
      const std::string contact = branches ? "contact.htm" : "contact.html";
      const std::string nav = "<table width=\"100%\"><tr><td><a href=\"/\">首页</a> | <a href=\"" +
                              about + "\">关于我们</a> | <a href=\"products.html\">产品展示</a>" +
                              " | <a href=\"" + contact + "\">联系我们</a></td></tr></table>\n";
      if (path == "/")
        return Html(site, Head(site, name) + Logo() + nav + Intro(site) + Copyright(site) + kTail);
      if (path == "/" + about)
        return Html(site, Head(site, "关于我们 - " + name) + nav + Intro(site) + kTail);
      if (path == "/products.html")
        return Html(site, Head(site, "产品展示 - " + name) + nav + Products(site) + kTail);
      if (path == "/" + contact)
        return Html(site,
                    Head(site, "联系我们 - " + name) + nav +
                        (branches ? BranchTable(site) : ContactTable(site) + Copyright(site)) +
                        kTail);
      return NotFound();
    }
    case TSiteShape::TwoDeep:
      if (path == "/" || path == "/index.asp")
        return Html(site, Head(site, name) +
                              "<p><a href=\"gsjj.asp\">公司简介</a> <a "
                              "href=\"cpzs.asp\">产品展示</a></p>\n<p>欢迎光临" +
                              name + "网站！</p>\n" + kTail);
      if (path == "/gsjj.asp")
        return Html(site, Head(site, "公司简介") + Intro(site) +
                              "<p><a href=\"lxwm.asp\">联系我们</a> <a "
                              "href=\"index.asp\">返回首页</a></p>\n" +
                              kTail);
      if (path == "/cpzs.asp")
        return Html(site,
                    Head(site, "产品展示") + Products(site) +
                        "<p><a href=\"cp1.asp\">产品一</a> <a href=\"cp2.asp\">产品二</a></p>\n" +
                        kTail);
      if (path == "/cp1.asp" || path == "/cp2.asp")
        return Html(site, Head(site, "产品介绍") + Products(site) + kTail);
      if (path == "/lxwm.asp")
        return Html(site, Head(site, "联系我们") + ContactLines(site) + kTail);
      return NotFound();
    case TSiteShape::Redirect:
      if (path == "/") {
        r.Status = 302;
        r.ContentType = "text/html";
        r.Location = "/cn/index.htm";
        r.Body = "<html><body><a href=\"/cn/index.htm\">moved</a></body></html>\n";
        return r;
      }
      if (path == "/cn/index.htm")
        return Html(site, Head(site, name) + Logo() + ContactTable(site) + Copyright(site) + kTail);
      return NotFound();
    case TSiteShape::NoContact:
      if (site.Index == bigSite_ && (path == "/" || path.starts_with("/p"))) {
        std::string links;
        for (int i = 0; i < bigPages_; ++i)
          links +=
              "<a href=\"/p" + std::to_string(i) + ".html\">产品" + std::to_string(i) + "</a>\n";
        return Html(site, Head(site, name) + links + kTail);
      }
      if (path == "/")
        return Html(site, Head(site, name) +
                              "<p><a href=\"products.html\">产品展示</a> <a "
                              "href=\"news.html\">新闻动态</a></p>\n<p>欢迎光临！</p>\n" +
                              kTail);
      if (path == "/products.html" || path == "/news.html")
        return Html(site, Head(site, name) + Products(site) + kTail);
      return NotFound();
    case TSiteShape::DeadStatus:
    case TSiteShape::DeadRefused:
      r.Status = 503;
      r.ContentType = "text/html";
      r.Body = "<html><body>Service Unavailable</body></html>\n";
      return r;
  }
  return NotFound();
}

void TDemoWeb::SetBigSitePages(int pages) {
  bigPages_ = pages;
  bigSite_ = -1;
  if (pages <= 0) return;
  for (const TDemoSite& site : sites_)
    if (site.Shape == TSiteShape::NoContact) {
      bigSite_ = site.Index;
      return;
    }
}

int TDemoWeb::DirectoryPageCount() const {
  return static_cast<int>((sites_.size() + 9) / 10);
}

namespace {

constexpr const char* kDirectoryName = "中华企业名录服务中心";

std::string DirectoryFooter() {
  return std::string(
             "<table width=\"778\" border=\"0\" align=\"center\">\n"
             "  <tr><td>公司名称：") +
         kDirectoryName +
         "</td></tr>\n"
         "  <tr><td>地址：北京市西城区复兴门内大街158号</td></tr>\n"
         "  <tr><td>邮编：100031</td></tr>\n"
         "  <tr><td>电话：010-66051234</td></tr>\n"
         "</table>\n";
}

int DetailId(const TDemoSite& s) {
  return 1001 + s.Index;
}

// Every fourth detail page keeps its contact data one link further.
bool DetailHasContactLink(const TDemoSite& s) {
  return s.Index % 4 == 3;
}

}  // namespace

TDemoResponse TDemoWeb::DirectoryPage(const std::string& path,
                                      const std::multimap<std::string, std::string>& query) const {
  TDemoResponse r;
  r.ContentType = "text/html; charset=gbk";
  const std::string head =
      "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=gb2312\">\n<title>";
  const std::string nav =
      "<table width=\"778\" border=\"0\" align=\"center\"><tr><td><a href=\"/\">首页</a> | <a "
      "href=\"/about.html\">关于我们</a> | <a "
      "href=\"javascript:window.external.AddFavorite(location.href,'企业名录')\">加入收藏</a>"
      "</td></tr></table>\n";
  if (path == "/") {
    r.Status = 302;
    r.Location = "/list.asp?page=1";
    return r;
  }
  if (path == "/list.asp") {
    const int pages = DirectoryPageCount();
    const int page = QueryInt(query, "page", 1);
    if (page < 1 || page > pages) return NotFound();
    std::string p = head + "企业名录 - 第" + std::to_string(page) +
                    "页</title>\n</head>\n<body topmargin=\"0\">\n" + nav +
                    "<table width=\"778\" border=\"0\" align=\"center\" class=\"list\">\n";
    for (std::size_t i = static_cast<std::size_t>(page - 1) * 10;
         i < sites_.size() && i < static_cast<std::size_t>(page) * 10; ++i) {
      const TDemoSite& s = sites_[i];
      p += "<tr><td class=\"name\"><a href=\"/company/show.asp?id=" + std::to_string(DetailId(s)) +
           "\" target=\"_blank\">" + s.Company + "</a></td><td>" + s.City + "</td></tr>\n";
    }
    p +=
        "</table>\n<table width=\"778\" border=\"0\" align=\"center\"><tr><td align=\"center\">共" +
        std::to_string(pages) + "页 <a href=\"list.asp?page=1\">首页</a> ";
    if (page > 1)
      p += "<a href=\"list.asp?page=" + std::to_string(page - 1) + "\">上一页</a> ";
    else
      p += "上一页 ";
    if (page < pages)
      p += "<a href=\"list.asp?page=" + std::to_string(page + 1) + "\">下一页</a> ";
    else
      p += "下一页 ";
    p += "<a href=\"list.asp?page=" + std::to_string(pages) + "\">尾页</a></td></tr></table>\n" +
         DirectoryFooter() + kTail;
    r.Body = gbk::FromUtf8(p);
    return r;
  }
  if (path == "/company/show.asp" || path == "/company/contact.asp") {
    const int id = QueryInt(query, "id", 0);
    if (id < 1001 || static_cast<std::size_t>(id - 1001) >= sites_.size()) return NotFound();
    const TDemoSite& s = sites_[static_cast<std::size_t>(id - 1001)];
    const bool detail = path == "/company/show.asp";
    std::string p = head + s.Company + " - 企业名录</title>\n</head>\n<body>\n" +
                    "<p><a href=\"/list.asp?page=1\">返回列表</a></p>\n";
    if (detail && DetailHasContactLink(s)) {
      p += Intro(s) + "<p><a href=\"contact.asp?id=" + std::to_string(id) + "\">联系方式</a></p>\n";
    } else {
      p += ContactTable(s);
    }
    r.Body = gbk::FromUtf8(p + kTail);
    return r;
  }
  if (path == "/about.html") {
    r.Body = gbk::FromUtf8(head + "关于我们</title>\n</head>\n<body>\n<p>" + kDirectoryName +
                           "收录全国各地企业信息。</p>\n" + kTail);
    return r;
  }
  return NotFound();
}

TDemoResponse TDemoWeb::Respond(const std::string& host, const std::string& path,
                                const std::multimap<std::string, std::string>& query) const {
  static const std::string kEnginePaths[] = {
      "/cgi-bin/search/search.cgi", "/website.jsp", "/search/cn", "/search", "/Psearch", "/baidu"};
  static const std::string kKeyParams[] = {"_searchkey", "key_word", "p", "q", "q", "word"};
  for (int e = 0; e < 6; ++e) {
    if (host != kEngineHosts[static_cast<std::size_t>(e)]) continue;
    if (path != kEnginePaths[e]) return NotFound();
    TDemoResponse r;
    r.ContentType = "text/html; charset=gbk";
    r.Body = FillKeyword(gbk::FromUtf8(EnginePage(e, query)), Query(query, kKeyParams[e]));
    return r;
  }
  if (host == kDirectoryHost) return DirectoryPage(path, query);
  if (auto page = sources_->Respond(host, path, query)) return *page;
  if (auto page = RespondScriptSites(*this, host, path, query)) return *page;
  auto it = byHost_.find(host);
  if (it == byHost_.end()) return NotFound();
  return SitePage(sites_[it->second], path);
}

TDemoRecord TDemoWeb::Record(const TDemoSite& site, const std::string& pageUrl) const {
  return {site.Company, pageUrl,      site.Email,    site.Telephone,
          site.Fax,     site.Address, site.PostCode, std::string()};
}

void TDemoWeb::AppendKeywordRecords(const TDemoSite& s, std::vector<TDemoRecord>& out) const {
  switch (s.Shape) {
    case TSiteShape::TableHome:
    case TSiteShape::LinesHome:
    case TSiteShape::Slow:
      out.push_back(Record(s, Url(s.Host, "/")));
      break;
    case TSiteShape::ContactPage:
      out.push_back(Record(s, Url(s.Host, "/contact.html")));
      break;
    case TSiteShape::TwoDeep:
      out.push_back(Record(s, Url(s.Host, "/lxwm.asp")));
      break;
    case TSiteShape::Redirect:
      out.push_back(Record(s, Url(s.Host, "/cn/index.htm")));
      break;
    case TSiteShape::Branches: {
      const auto branches = Branches(s);
      for (std::size_t k = 0; k < branches.size(); ++k) {
        const TCity& city = *branches[k].City;
        out.push_back({s.Company + branches[k].Name, Url(s.Host, "/contact.htm"), std::string(),
                       BranchPhone(s, k, city, 1), BranchPhone(s, k, city, 2),
                       BranchAddress(s, k, city), BranchPostCode(s, k, city), std::string()});
      }
      break;
    }
    case TSiteShape::NoContact:
    case TSiteShape::DeadStatus:
    case TSiteShape::DeadRefused:
      break;
  }
}

std::vector<TDemoRecord> TDemoWeb::ExpectedKeywordRecords() const {
  std::vector<TDemoRecord> out;
  for (const auto& s : sites_) AppendKeywordRecords(s, out);
  return out;
}

std::vector<TDemoRecord> TDemoWeb::ExpectedTodayRecords() const {
  const auto reachable = sources_->ReachableSites();
  std::vector<TDemoRecord> out;
  for (const auto& s : sites_)
    if (reachable.contains(&s)) AppendKeywordRecords(s, out);
  return out;
}

std::vector<TDemoRecord> TDemoWeb::ExpectedDirectoryRecords() const {
  // The directory's own contact is printed on every list page but recorded once per run.
  std::vector<TDemoRecord> out;
  out.push_back({kDirectoryName, Url(kDirectoryHost, "/list.asp?page=1"), "", "010-66051234", "",
                 "北京市西城区复兴门内大街158号", "100031", ""});
  for (const auto& s : sites_) {
    const std::string id = std::to_string(DetailId(s));
    out.push_back(Record(
        s, Url(kDirectoryHost,
               (DetailHasContactLink(s) ? "/company/contact.asp?id=" : "/company/show.asp?id=") +
                   id)));
  }
  return out;
}

void TDemoWeb::WriteSettings(const std::string& path, int workerCount, TSourceSet sources) const {
  const bool today = sources == TSourceSet::Today;
  TGlobalSet set = FactoryGlobalSet();
  set.FlagUseSina = set.FlagUseSohu = set.FlagUseYahoo = !today;
  set.FlagUseGoogle = set.FlagUse163 = set.FlagUseBaidu = !today;
  // The demo directory: detail pages are "show.asp", list pages "list.asp" with "页" links.
  set.InfoLinkLike = LikeListFromText("show.asp;");
  set.NextPageLinkLike = LikeListFromText("list.asp;");
  set.MaxFindWebThreadCount = workerCount;
  set.MaxReadHTMLTimeOut = 10000;
  SaveSettings(set, path);
  SaveSearchMode(true, path);
  TIniFile ini;
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  for (std::size_t e = 0; e < 6; ++e)
    ini.WriteString("ENGINEHOST", kEngineKeys[e],
                    std::string(kEngineHosts[e]) + ":" + std::to_string(port_));
  for (std::size_t k = 0; k < kSourceNames.size(); ++k) {
    ini.WriteString("SOURCES", kSourceNames[k], today ? "1" : "0");
    ini.WriteString("SOURCEHOST", kSourceNames[k], Url(kSourceHosts[k], ""));
  }
  // Short pacing: the demo answers at once and the tests should not wait for it.
  if (today) ini.WriteString("SEARCH", "PaceMs", "100");
  ini.SaveFile(path);
}

void TDemoWeb::WriteExpected(const std::string& path) const {
  std::ofstream out(path, std::ios::binary);
  auto write = [&](const char* mode, const std::vector<TDemoRecord>& records) {
    for (const auto& r : records) {
      out << mode;
      for (const auto& field : r) out << '\t' << field;
      out << '\n';
    }
  };
  write("keyword", ExpectedKeywordRecords());
  write("site", ExpectedDirectoryRecords());
  out.flush();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace demoweb
