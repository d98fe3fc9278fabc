#include "demo_scripts.h"

#include <array>

#include "core/global_set.h"
#include "core/ini_file.h"
#include "demo_sources.h"

namespace demoweb {

namespace {

struct TScriptSite {
  const char* Host;
  const char* Company;
  const char* Address;
  const char* PostCode;
  const char* Telephone;
  const char* Fax;
  const char* Email;
};

constexpr TScriptSite kStatic = {
    kStaticSiteHost, "杭州精泰机械有限公司", "浙江省杭州市余杭区文一西路1818号", "311121",
    "0571-88613520", "0571-88613521",        "sales@jingtai-jixie.localhost"};
constexpr TScriptSite kTimer = {
    kTimerSiteHost,  "苏州云启软件有限公司", "江苏省苏州市工业园区星湖街328号", "215123",
    "0512-62957310", "0512-62957311",        "info@yunqi-ruanjian.localhost"};
constexpr TScriptSite kJson = {kJsonSiteHost,
                               "深圳数聚科技有限公司",
                               "广东省深圳市南山区科技园路9号",
                               "518057",
                               "0755-86639420",
                               "",
                               "hr@shuju-keji.localhost"};

enum class THostile { Loop, Alloc, Popup, Away, RedirectLoop, Stall };
struct THostilePage {
  THostile Kind;
  const char* Host;
};
constexpr std::array<THostilePage, 6> kHostile = {{
    {THostile::Loop, "www.hostile-loop.localhost"},
    {THostile::Alloc, "www.hostile-alloc.localhost"},
    {THostile::Popup, "www.hostile-popup.localhost"},
    {THostile::Away, "www.hostile-away.localhost"},
    {THostile::RedirectLoop, "www.hostile-redirect.localhost"},
    {THostile::Stall, "www.hostile-stall.localhost"},
}};

TDemoResponse Utf8(std::string body, const char* type = "text/html; charset=utf-8") {
  TDemoResponse r;
  r.ContentType = type;
  r.Body = std::move(body);
  return r;
}

// What a single-page application sends: a title, an empty root and its bundle.
std::string Shell(const std::string& title, const std::string& bundle) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + title +
         "</title>\n<script src=\"" + bundle +
         "\"></script></head>\n<body><noscript>本网站需要启用 JavaScript 才能正常显示。</noscript>"
         "<div id=\"app\"></div></body></html>\n";
}

std::string ContactHtml(const TScriptSite& s) {
  std::string t = "<h1>" + std::string(s.Company) + "</h1><p>地址：" + s.Address +
                  "</p><p>邮政编码：" + s.PostCode + "<br>联系电话：" + s.Telephone;
  if (*s.Fax) t += "<br>传真：" + std::string(s.Fax);
  if (*s.Email) t += "<br>电子信箱：" + std::string(s.Email);
  return t + "</p>";
}

std::string JsString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

TDemoResponse StaticSite(const std::string& path) {
  if (path != "/") return NotFound();
  return Utf8("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
              std::string(kStatic.Company) +
              "</title><script src=\"/js/stat.js\"></script></head><body>\n<div id=\"app\">" +
              "<p>我们专业生产数控机床、液压机械和各类非标自动化设备，产品远销海内外。</p>" +
              ContactHtml(kStatic) + "</div></body></html>\n");
}

TDemoResponse TimerSite(const std::string& path) {
  if (path == "/") return Utf8(Shell("云启软件", "/static/js/app.3f9c.js"));
  if (path == "/static/js/app.3f9c.js")
    return Utf8("setTimeout(function () {\n  document.getElementById('app').innerHTML = " +
                    JsString(ContactHtml(kTimer)) + ";\n}, 600);\n",
                "application/javascript; charset=utf-8");
  return NotFound();
}

TDemoResponse JsonSite(const std::string& path) {
  if (path == "/") return Utf8(Shell("数聚科技", "/assets/index.js"));
  if (path == "/assets/index.js")
    return Utf8(
        "window.addEventListener('DOMContentLoaded', function () {\n"
        "  var xhr = new XMLHttpRequest();\n"
        "  xhr.open('GET', '/api/company.json');\n"
        "  xhr.onload = function () {\n"
        "    var c = JSON.parse(xhr.responseText);\n"
        "    var html = '<h1>' + c.name + '</h1><p>地址：' + c.address + '</p><p>邮政编码：' +\n"
        "      c.postcode + '<br>联系电话：' + c.phone + '<br>电子信箱：' + c.email + '</p>';\n"
        "    document.getElementById('app').innerHTML = html;\n"
        "  };\n"
        "  xhr.send();\n"
        "});\n",
        "application/javascript; charset=utf-8");
  if (path == "/api/company.json")
    return Utf8(std::string("{\"name\": ") + JsString(kJson.Company) + ", \"address\": " +
                    JsString(kJson.Address) + ", \"postcode\": " + JsString(kJson.PostCode) +
                    ", \"phone\": " + JsString(kJson.Telephone) +
                    ", \"email\": " + JsString(kJson.Email) + "}\n",
                "application/json");
  return NotFound();
}

TDemoResponse HostilePage(THostile kind, const std::string& path) {
  static const char* const kScripts[] = {
      // Loop
      "while (true) {}\n",
      // Alloc
      "var hoard = [];\nwhile (true) { hoard.push(new Array(1 << 20).fill(hoard.length)); }\n",
      // Popup
      "for (var i = 0; i < 50; ++i) window.open('/?' + i, '_blank');\n"
      "alert('欢迎'); confirm('继续？'); prompt('姓名');\n"
      "setInterval(function () { window.open('/'); }, 50);\n",
      // Away: every load goes on to the next page, so the page never settles.
      "window.addEventListener('load', function () {\n"
      "  setTimeout(function () { location.href = '/next?' + Date.now(); }, 100);\n"
      "});\n",
      // RedirectLoop
      "location.replace('/r/1');\n",
      // Stall: never used, the bundle never arrives in time.
      "",
  };
  const auto index = static_cast<std::size_t>(kind);
  if (path == "/" || (kind == THostile::Away && path == "/next"))
    return Utf8(Shell("页面", "/bundle.js"));
  if (path == "/bundle.js") {
    TDemoResponse r = Utf8(kScripts[index], "application/javascript; charset=utf-8");
    if (kind == THostile::Stall) r.ExtraDelayMs = kStallSeconds * 1000;
    return r;
  }
  if (kind == THostile::RedirectLoop && (path == "/r/1" || path == "/r/2")) {
    TDemoResponse r;
    r.Status = 302;
    r.ContentType = "text/html";
    r.Location = path == "/r/1" ? "/r/2" : "/r/1";
    return r;
  }
  return NotFound();
}

std::string Json(const std::string& text) {
  return JsString(text);
}

TDemoResponse SearchPage(const TDemoWeb& web,
                         const std::multimap<std::string, std::string>& query) {
  auto param = [&](const char* name) {
    auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
  };
  if (param("format") != "json") {
    TDemoResponse r = Utf8("<html><body><h1>403 Forbidden</h1></body></html>\n");
    r.Status = 403;
    return r;
  }
  const std::string keyword = param("q");
  std::vector<std::pair<std::string, std::string>> items;  // address, title
  if (param("pageno").empty() || param("pageno") == "1") {
    if (keyword == kHostileKeyword)
      for (const auto& h : kHostile) items.emplace_back(web.Url(h.Host, "/"), "页面");
    else
      items.emplace_back(web.Url(kStatic.Host, "/"), kStatic.Company);
    items.emplace_back(web.Url(kTimer.Host, "/"), kTimer.Company);
    items.emplace_back(web.Url(kJson.Host, "/"), kJson.Company);
  }
  std::string j = "{\"query\": " + Json(keyword) +
                  ", \"number_of_results\": " + std::to_string(items.size()) + ", \"results\": [";
  for (std::size_t k = 0; k < items.size(); ++k)
    j += std::string(k ? ", " : "") + "{\"url\": " + Json(items[k].first) +
         ", \"title\": " + Json(items[k].second) +
         ", \"content\": \"\", \"engine\": \"bing\", \"engines\": [\"bing\"], \"positions\": [" +
         std::to_string(k + 1) + "], \"score\": 1, \"category\": \"general\"}";
  j += "], \"answers\": [], \"corrections\": [], \"infoboxes\": [], \"suggestions\": [], "
       "\"unresponsive_engines\": []}\n";
  return Utf8(j, "application/json");
}

}  // namespace

std::optional<TDemoResponse> RespondScriptSites(
    const TDemoWeb& web, const std::string& host, const std::string& path,
    const std::multimap<std::string, std::string>& query) {
  if (host == kScriptSearchHost) return path == "/search" ? SearchPage(web, query) : NotFound();
  if (host == kStatic.Host) return StaticSite(path);
  if (host == kTimer.Host) return TimerSite(path);
  if (host == kJson.Host) return JsonSite(path);
  for (const auto& h : kHostile)
    if (host == h.Host) return HostilePage(h.Kind, path);
  return std::nullopt;
}

std::vector<TDemoRecord> ScriptSiteRecords(const TDemoWeb& web) {
  std::vector<TDemoRecord> out;
  for (const TScriptSite* s : {&kStatic, &kTimer, &kJson})
    out.push_back({s->Company, web.Url(s->Host, "/"), s->Email, s->Telephone, s->Fax, s->Address,
                   s->PostCode, std::string()});
  return out;
}

std::vector<std::string> HostilePageUrls(const TDemoWeb& web) {
  std::vector<std::string> out;
  for (const auto& h : kHostile) out.push_back(web.Url(h.Host, "/"));
  return out;
}

void WriteScriptSettings(const TDemoWeb& web, const std::string& path, int renderScripts,
                         int deadlineSeconds, int parallel, int workers) {
  web.WriteSettings(path, workers, TSourceSet::Today);
  TIniFile ini;
  if (!ini.LoadFile(path)) ThrowIniWriteError(path);
  for (const char* name : kSourceNames) ini.WriteString("SOURCES", name, "0");
  ini.WriteString("SOURCES", "SearXNG", "1");
  ini.WriteString("SOURCEHOST", "SearXNG", web.Url(kScriptSearchHost, ""));
  ini.WriteString("CRAWL", "RenderScripts", std::to_string(renderScripts));
  ini.WriteString("CRAWL", "RenderDeadline", std::to_string(deadlineSeconds));
  ini.WriteString("CRAWL", "RenderParallel", std::to_string(parallel));
  ini.SaveFile(path);
}

}  // namespace demoweb
