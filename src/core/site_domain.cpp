#include "core/site_domain.h"

#include <libpsl.h>

#include <algorithm>

#include "core/gbk.h"

namespace {

// No rule of the list spans more labels than this; the rest of a long host cannot change
// the answer, and leaving it out keeps the look-up linear in the host's length.
constexpr int kLabelsConsidered = 8;

bool IsAddressLiteral(std::string_view host) {
  if (host.starts_with('[')) return true;  // IPv6
  return std::all_of(host.begin(), host.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// The last two labels: the answer when the list is not available.
std::string_view LastTwoLabels(std::string_view host) {
  const std::size_t last = host.rfind('.');
  if (last == std::string_view::npos || last == 0) return host;
  const std::size_t before = host.rfind('.', last - 1);
  return before == std::string_view::npos ? host : host.substr(before + 1);
}

}  // namespace

std::string RegistrableDomain(std::string_view host) {
  std::string h = gbk::LowerLatin(gbk::TrimView(host));
  while (h.ends_with('.')) h.pop_back();
  if (h.empty() || IsAddressLiteral(h) || h.find('.') == std::string::npos) return h;
  std::size_t from = h.size();
  for (int labels = 0; labels < kLabelsConsidered && from != std::string::npos; ++labels)
    from = from == 0 ? std::string::npos : h.rfind('.', from - 1);
  const std::string tail = from == std::string::npos ? h : h.substr(from + 1);
  const psl_ctx_t* list = psl_builtin();
  if (!list) return std::string(LastTwoLabels(tail));
  // The list is UTF-8; an IDN host in GBK is looked up converted and keyed as converted.
  const std::string utf8 = gbk::IsAscii(tail) ? tail : gbk::ToUtf8(tail);
  const char* domain = psl_registrable_domain(list, utf8.c_str());
  return domain ? std::string(domain) : utf8;
}

std::string SiteOfAddress(std::string_view address) {
  std::string_view s = gbk::TrimView(address);
  const std::size_t scheme = s.find("//");
  if (scheme == std::string_view::npos) return {};
  s.remove_prefix(scheme + 2);
  s = s.substr(0, s.find_first_of("/?#\\"));
  if (const std::size_t at = s.rfind('@'); at != std::string_view::npos) s.remove_prefix(at + 1);
  std::string_view port;
  const std::size_t colon = s.rfind(':');
  if (colon != std::string_view::npos && s.find(']', colon) == std::string_view::npos) {
    port = s.substr(colon);
    s = s.substr(0, colon);
  }
  if (s.empty()) return {};
  std::string site = RegistrableDomain(s);
  if (port.size() > 1) site.append(port);
  return site;
}
