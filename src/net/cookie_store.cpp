#include "net/cookie_store.h"

#include <algorithm>

#include "core/file_read.h"

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";
constexpr std::size_t kMaxCookieFileBytes = std::size_t{16} << 20;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw ECookieFileError("line " + std::to_string(line) + ": " + what);
}

bool ReadFlag(std::string_view field, bool& out) {
  if (EqualsNoCase(field, "TRUE")) {
    out = true;
    return true;
  }
  if (EqualsNoCase(field, "FALSE")) {
    out = false;
    return true;
  }
  return false;
}

// Whole seconds; some exporters write fractions, which are dropped.
bool ReadExpiry(std::string_view field, int64_t& out) {
  if (const std::size_t dot = field.find('.'); dot != std::string_view::npos) {
    const std::string_view fraction = field.substr(dot + 1);
    if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    field = field.substr(0, dot);
  }
  if (field.empty() || field.size() > 18) return false;
  int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

bool HasControlBytes(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

TCookie ParseLine(std::string_view line, std::size_t number) {
  TCookie c;
  if (line.starts_with(kHttpOnlyPrefix)) {
    c.HttpOnly = true;
    line.remove_prefix(kHttpOnlyPrefix.size());
  }
  const std::vector<std::string_view> f = SplitTabs(line);
  // A cookie without a value may lose its trailing tab to an editor.
  if (f.size() != 7 && f.size() != 6)
    Fail(number,
         "expected 7 tab-separated fields (domain, subdomains, path, secure, expiry, "
         "name, value), found " +
             std::to_string(f.size()));
  std::string_view domain = f[0];
  if (domain.starts_with('.')) domain.remove_prefix(1);
  if (domain.empty() || HasControlBytes(domain) || domain.find(' ') != std::string_view::npos)
    Fail(number, "the domain is missing or not a host name");
  c.Domain = std::string(domain);
  if (!ReadFlag(f[1], c.IncludeSubdomains)) Fail(number, "the second field must be TRUE or FALSE");
  if (!f[2].starts_with('/') || HasControlBytes(f[2])) Fail(number, "the path must start with /");
  c.Path = std::string(f[2]);
  if (!ReadFlag(f[3], c.Secure)) Fail(number, "the fourth field must be TRUE or FALSE");
  if (!ReadExpiry(f[4], c.Expires)) Fail(number, "the expiry must be a number of seconds");
  if (HasControlBytes(f[5]) || f[5].find_first_of("=;") != std::string_view::npos)
    Fail(number, "the cookie name is not valid");
  c.Name = std::string(f[5]);
  if (f.size() == 7) {
    if (HasControlBytes(f[6]) || f[6].find(';') != std::string_view::npos)
      Fail(number, "the cookie value is not valid");
    c.Value = std::string(f[6]);
  }
  return c;
}

}  // namespace

std::vector<TCookie> ParseNetscapeCookies(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t firstChar = text.find_first_not_of(" \t\r\n");
  if (firstChar != std::string_view::npos && (text[firstChar] == '[' || text[firstChar] == '{'))
    throw ECookieFileError(
        "this is a JSON export; export the cookies in the Netscape (cookies.txt) format");
  std::vector<TCookie> cookies;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (line.starts_with('#') && !line.starts_with(kHttpOnlyPrefix)) continue;
    cookies.push_back(ParseLine(line, number));
  }
  if (cookies.empty()) throw ECookieFileError("the file holds no cookies");
  return cookies;
}

std::vector<TCookie> ReadNetscapeCookieFile(const std::string& path) {
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kMaxCookieFileBytes, bytes);
  if (read.Status != TFileReadStatus::Ok)
    throw ECookieFileError(FileReadReason(read, kMaxCookieFileBytes));
  return ParseNetscapeCookies(bytes);
}

std::string NetscapeLine(const TCookie& c) {
  std::string line = c.HttpOnly ? std::string(kHttpOnlyPrefix) : std::string();
  // A leading dot on a domain cookie, as browsers write it.
  line += (c.IncludeSubdomains ? "." : "") + c.Domain;
  line += c.IncludeSubdomains ? "\tTRUE\t" : "\tFALSE\t";
  line += c.Path.empty() ? "/" : c.Path;
  line += c.Secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(c.Expires) + "\t" + c.Name + "\t" + c.Value;
  return line;
}

bool CookieMatchesHost(const TCookie& cookie, std::string_view host) {
  if (EqualsNoCase(host, cookie.Domain)) return true;
  return cookie.IncludeSubdomains && host.size() > cookie.Domain.size() &&
         host[host.size() - cookie.Domain.size() - 1] == '.' &&
         EqualsNoCase(host.substr(host.size() - cookie.Domain.size()), cookie.Domain);
}

void TCookieStore::Add(const std::vector<TCookie>& cookies) {
  std::lock_guard lock(mutex_);
  for (const TCookie& c : cookies) {
    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const TCookie& held) {
      return EqualsNoCase(held.Domain, c.Domain) && held.Path == c.Path && held.Name == c.Name;
    });
    if (same != cookies_.end())
      *same = c;
    else
      cookies_.push_back(c);
  }
  ++generation_;
}

void TCookieStore::Clear() {
  std::lock_guard lock(mutex_);
  cookies_.clear();
  ++generation_;
}

std::vector<TCookie> TCookieStore::All() const {
  std::lock_guard lock(mutex_);
  return cookies_;
}

bool TCookieStore::Empty() const {
  std::lock_guard lock(mutex_);
  return cookies_.empty();
}

uint64_t TCookieStore::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}
