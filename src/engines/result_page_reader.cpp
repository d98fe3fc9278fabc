#include "engines/result_page_reader.h"

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "core/charset.h"
#include "engines/source_registry.h"

namespace {

void InitLibxmlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

struct TDocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct TContextFree {
  void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
};
struct TObjectFree {
  void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};
using TObject = std::unique_ptr<xmlXPathObject, TObjectFree>;

void Silent(void*, const char*, ...) {}

TObject Evaluate(xmlXPathContext* ctx, xmlNode* node, const std::string& expr) {
  if (expr.empty()) return nullptr;
  ctx->node = node;
  return TObject(xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expr.c_str()), ctx));
}

// Text of the first node, or of a string result, with blank runs folded to one space.
std::string StringOf(xmlXPathContext* ctx, xmlNode* node, const std::string& expr) {
  TObject obj = Evaluate(ctx, node, expr);
  if (!obj) return {};
  xmlChar* raw = xmlXPathCastToString(obj.get());
  if (!raw) return {};
  std::string out;
  bool space = false;
  for (const xmlChar* p = raw; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c <= ' ') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += static_cast<char>(c);
  }
  xmlFree(raw);
  return out;
}

bool Matches(xmlXPathContext* ctx, xmlNode* node, const std::string& expr) {
  TObject obj = Evaluate(ctx, node, expr);
  if (!obj) return false;
  return xmlXPathCastToBoolean(obj.get()) != 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Base64UrlDecode(std::string_view in) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-' || c == '+') return 62;
    if (c == '_' || c == '/') return 63;
    return -1;
  };
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    if (c == '=') break;
    const int v = value(c);
    if (v < 0) return {};
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

bool IsHttpAddress(std::string_view s) {
  return s.starts_with("http://") || s.starts_with("https://");
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string PercentEncodeQuery(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string QueryParam(std::string_view url, std::string_view key) {
  const std::size_t q = url.find('?');
  if (q == std::string_view::npos) return {};
  std::string_view rest = url.substr(q + 1);
  rest = rest.substr(0, rest.find('#'));
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == key)
      return std::string(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return {};
}

std::string DecodeBingLink(std::string_view link) {
  std::string u = PercentDecode(QueryParam(link, "u"));
  if (!u.starts_with("a1")) return {};
  std::string target = Base64UrlDecode(std::string_view(u).substr(2));
  return IsHttpAddress(target) ? target : std::string();
}

std::string DecodeUddgLink(std::string_view link) {
  std::string target = PercentDecode(QueryParam(link, "uddg"));
  return IsHttpAddress(target) ? target : std::string();
}

std::string HostOf(std::string_view url) {
  std::size_t start;
  if (url.starts_with("http://"))
    start = 7;
  else if (url.starts_with("https://"))
    start = 8;
  else
    return {};
  std::string_view host = url.substr(start);
  host = host.substr(0, host.find_first_of("/?#"));
  if (const std::size_t at = host.rfind('@'); at != std::string_view::npos)
    host.remove_prefix(at + 1);
  host = host.substr(0, host.find(':'));
  std::string out(host);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string AbsoluteLink(std::string_view link, std::string_view pageUrl) {
  if (link.empty() || IsHttpAddress(link)) return std::string(link);
  const std::size_t schemeEnd = pageUrl.find("://");
  if (schemeEnd == std::string_view::npos) return std::string(link);
  const std::string_view scheme = pageUrl.substr(0, schemeEnd);
  if (link.starts_with("//")) return std::string(scheme) + ":" + std::string(link);
  const std::size_t pathStart = pageUrl.find_first_of("/?#", schemeEnd + 3);
  const std::string_view origin = pageUrl.substr(0, pathStart);
  if (link.starts_with('/')) return std::string(origin) + std::string(link);
  std::string_view path =
      pathStart == std::string_view::npos ? std::string_view("/") : pageUrl.substr(pathStart);
  if (link.starts_with('?')) {
    path = path.substr(0, path.find_first_of("?#"));
    return std::string(origin) + std::string(path) + std::string(link);
  }
  path = path.substr(0, path.find_first_of("?#"));
  const std::size_t slash = path.rfind('/');
  const std::string_view dir = slash == std::string_view::npos ? "/" : path.substr(0, slash + 1);
  return std::string(origin) + std::string(dir) + std::string(link);
}

TResultPageRead ReadHtmlResultPage(std::string_view body, std::string_view contentType,
                                   const TSourceDef& def) {
  TResultPageRead read;
  if (body.empty()) {
    read.Blocked = true;
    read.Reason = "empty page";
    return read;
  }
  InitLibxmlOnce();
  xmlSetGenericErrorFunc(nullptr, Silent);
  const std::string charset = DetectPageCharset(body, contentType);
  constexpr int kOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                           HTML_PARSE_NONET | HTML_PARSE_COMPACT;
  const int size = static_cast<int>(std::min<std::size_t>(body.size(), 64u << 20));
  std::unique_ptr<xmlDoc, TDocFree> doc(
      htmlReadMemory(body.data(), size, nullptr, charset.c_str(), kOptions));
  if (!doc) doc.reset(htmlReadMemory(body.data(), size, nullptr, nullptr, kOptions));
  if (!doc) {
    read.Failed = true;
    read.Reason = "not an HTML page";
    return read;
  }
  std::unique_ptr<xmlXPathContext, TContextFree> ctx(xmlXPathNewContext(doc.get()));
  if (!ctx) {
    read.Failed = true;
    read.Reason = "out of memory";
    return read;
  }
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root) {
    read.Blocked = true;
    read.Reason = "empty page";
    return read;
  }
  if (!def.BlockedXPath.empty() && Matches(ctx.get(), root, def.BlockedXPath)) {
    read.Blocked = true;
    read.Reason = "verification page";
    return read;
  }
  if (!def.BlockedTexts.empty()) {
    const std::string text = StringOf(ctx.get(), root, "string(//title)") + " " +
                             StringOf(ctx.get(), root, "string(//body)");
    for (const auto& marker : def.BlockedTexts) {
      if (text.find(marker) != std::string::npos) {
        read.Blocked = true;
        read.Reason = "verification page (" + marker + ")";
        return read;
      }
    }
  }

  TObject items = Evaluate(ctx.get(), root, def.Results);
  if (items && items->type == XPATH_NODESET && items->nodesetval) {
    xmlNodeSet* set = items->nodesetval;
    for (int i = 0; i < set->nodeNr; ++i) {
      xmlNode* node = set->nodeTab[i];
      TResultItem item;
      item.Link = StringOf(ctx.get(), node, def.Link);
      item.RealLink = StringOf(ctx.get(), node, def.RealLink);
      item.Title = StringOf(ctx.get(), node, def.Title);
      item.Snippet = StringOf(ctx.get(), node, def.Snippet);
      if (!item.Link.empty() || !item.RealLink.empty()) read.Items.push_back(std::move(item));
    }
  }
  read.HasNext = !def.Next.empty() && !StringOf(ctx.get(), root, def.Next).empty();
  read.NoResults = !def.NoResults.empty() && Matches(ctx.get(), root, def.NoResults);
  return read;
}

TResultPageRead ReadJsonResultPage(std::string_view body, const TSourceDef&) {
  using nlohmann::json;
  TResultPageRead read;
  if (body.empty()) {
    read.Blocked = true;
    read.Reason = "empty page";
    return read;
  }
  const json doc = json::parse(body.begin(), body.end(), nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    read.Failed = true;
    read.Reason = "not a JSON object";
    return read;
  }
  const auto results = doc.find("results");
  if (results == doc.end() || !results->is_array()) {
    read.Failed = true;
    read.Reason = "no results array";
    return read;
  }
  auto text = [](const json& obj, const char* key) -> std::string {
    const auto it = obj.find(key);
    return it != obj.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  for (const json& r : *results) {
    if (!r.is_object()) continue;
    TResultItem item;
    item.Link = text(r, "url");
    item.Title = text(r, "title");
    item.Snippet = text(r, "content");
    if (!item.Link.empty()) read.Items.push_back(std::move(item));
  }
  read.HasNext = !read.Items.empty();
  const auto unresponsive = doc.find("unresponsive_engines");
  if (read.Items.empty() && unresponsive != doc.end() && unresponsive->is_array() &&
      !unresponsive->empty()) {
    read.Blocked = true;
    read.Reason = "unresponsive engines: " +
                  unresponsive->dump(-1, ' ', false, json::error_handler_t::replace);
    if (read.Reason.size() > 300) read.Reason.resize(300);
    return read;
  }
  read.NoResults = read.Items.empty();
  return read;
}
