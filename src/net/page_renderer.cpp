#include "net/page_renderer.h"

#include <array>
#include <cctype>
#include <utility>

#include "core/gbk.h"
#include "core/log.h"

namespace {

// A page showing more than this much text has its content in the markup already.
constexpr std::size_t kLittleVisibleText = 400;

// Elements whose content is never shown as the page's text.
bool IsHiddenContainer(std::string_view name) {
  return name == "script" || name == "style" || name == "noscript" || name == "template";
}

bool IsAppRootId(std::string_view id) {
  static constexpr std::array<std::string_view, 6> kIds = {"app",    "root",     "__next",
                                                           "__nuxt", "app-root", "main-app"};
  for (std::string_view k : kIds)
    if (id == k) return true;
  return false;
}

// The value of attribute `name` in a start tag's text (lower-cased), without quotes.
std::string_view AttributeValue(std::string_view tag, std::string_view name) {
  std::size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool starts = at > 0 && gbk::IsBlankByte(static_cast<unsigned char>(tag[at - 1]));
    std::size_t p = at + name.size();
    at = p;
    if (!starts) continue;
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size()) return {};
    if (tag[p] == '"' || tag[p] == '\'') {
      const std::size_t end = tag.find(tag[p], p + 1);
      return tag.substr(p + 1, end == std::string_view::npos ? end : end - p - 1);
    }
    std::size_t end = p;
    while (end < tag.size() && !gbk::IsBlankByte(static_cast<unsigned char>(tag[end])) &&
           tag[end] != '>' && tag[end] != '/')
      ++end;
    return tag.substr(p, end - p);
  }
  return {};
}

}  // namespace

bool LooksScriptBuilt(std::string_view page) {
  // Markup bytes are below 0x80, so a GBK second byte is never taken for one of them.
  const std::string text = gbk::LowerLatin(page);
  std::size_t visible = 0;
  int bundles = 0;
  bool noscript = false;
  bool appRoot = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '<') {
      if (!gbk::IsBlankByte(static_cast<unsigned char>(c))) ++visible;
      ++i;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      const std::size_t end = text.find("-->", i + 4);
      i = end == std::string::npos ? text.size() : end + 3;
      continue;
    }
    const std::size_t close = text.find('>', i);
    if (close == std::string::npos) break;
    const std::string_view tag(text.data() + i + 1, close - i - 1);
    i = close + 1;
    std::size_t n = 0;
    while (n < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[n])) || tag[n] == '-'))
      ++n;
    const std::string_view name = tag.substr(0, n);
    if (name == "script" && !AttributeValue(tag, "src").empty()) ++bundles;
    if (name == "noscript") noscript = true;
    if (IsAppRootId(AttributeValue(tag, "id"))) appRoot = true;
    if (IsHiddenContainer(name)) {
      const std::string endTag = "</" + std::string(name);
      const std::size_t end = text.find(endTag, i);
      i = end == std::string::npos ? text.size() : end;
    }
  }
  if (visible >= kLittleVisibleText) return false;
  return appRoot || noscript || bundles > 0;
}

std::string RenderPage(TPageRenderer& renderer, const std::string& url, TRenderRequest request) {
  request.Url = gbk::ToUtf8(url);
  TRenderResult result = renderer.Render(request);
  TLogEntry entry;
  entry.Category = "render";
  entry.Url = request.Url;
  entry.ElapsedMs = result.ElapsedMs;
  if (result.Ok) {
    entry.Level = TLogLevel::Info;
    entry.Message = "rendered, " + std::to_string(result.Html.size()) + " bytes";
    if (!result.FinalUrl.empty() && result.FinalUrl != request.Url)
      entry.Message += " from " + result.FinalUrl;
  } else {
    const bool stopped = result.Error == "stopped";
    entry.Level = stopped ? TLogLevel::Debug : TLogLevel::Warning;
    entry.Error = stopped                      ? TFetchErrorKind::Stopped
                  : result.Error == "deadline" ? TFetchErrorKind::Timeout
                                               : TFetchErrorKind::Network;
    entry.Message = "not rendered: " + result.Error;
  }
  TLog::Global().Add(std::move(entry));
  if (!result.Ok) return {};
  return gbk::FromUtf8(result.Html);
}
