#include "demo_verify.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "demo_sources.h"

namespace demoweb {

namespace {

// The result-page path of each source, in kSourceNames order.
constexpr std::array<const char*, 6> kResultPaths = {"/s", "/search", "/web",
                                                     "/s", "/html/",  "/search"};

bool CarriesPass(const std::string& cookieHeader) {
  const std::string wanted =
      std::string(TDemoVerifyGate::kCookieName) + "=" + TDemoVerifyGate::kCookieValue;
  for (std::size_t p = cookieHeader.find(wanted); p != std::string::npos;
       p = cookieHeader.find(wanted, p + 1)) {
    const bool startOk = p == 0 || cookieHeader[p - 1] == ' ' || cookieHeader[p - 1] == ';';
    const std::size_t end = p + wanted.size();
    if (startOk && (end == cookieHeader.size() || cookieHeader[end] == ';')) return true;
  }
  return false;
}

std::string VerificationPage() {
  return std::string(
             "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>安全验证</title></head>"
             "<body><div id=\"verify\"><h2>请完成安全验证</h2><p>系统检测到您的网络存在异常访问。"
             "请点击下方按钮，证明这些请求不是自动程序发出的，然后继续搜索。</p>"
             "<button id=\"verify-pass\" type=\"button\" onclick=\"document.cookie='") +
         TDemoVerifyGate::kCookieName + "=" + TDemoVerifyGate::kCookieValue +
         "; path=/; max-age=86400'; location.reload();\">我不是机器人</button></div>"
         "</body></html>\n";
}

}  // namespace

TDemoVerifyGate::TDemoVerifyGate(const std::string& source, int freePages)
    : freePages_(std::max(0, freePages)) {
  const auto it = std::find(kSourceNames.begin(), kSourceNames.end(), source);
  if (it == kSourceNames.end()) throw std::invalid_argument("unknown source " + source);
  const auto index = static_cast<std::size_t>(it - kSourceNames.begin());
  host_ = kSourceHosts[index];
  path_ = kResultPaths[index];
}

std::optional<TDemoResponse> TDemoVerifyGate::Check(const std::string& host,
                                                    const std::string& path,
                                                    const std::string& cookieHeader) {
  if (host != host_ || path != path_) return std::nullopt;
  if (CarriesPass(cookieHeader)) {
    ++passed_;
    return std::nullopt;
  }
  if (freeSeen_.fetch_add(1) < freePages_) return std::nullopt;
  ++refused_;
  TDemoResponse r;
  r.ContentType = "text/html; charset=utf-8";
  r.Body = VerificationPage();
  return r;
}

}  // namespace demoweb
