#pragma once
// Cookies the user brings to a run: read from a Netscape-format cookie file (what browsers'
// cookie export extensions write) or handed over by the built-in browser after a
// verification page was passed. One store is shared by the search and crawl clients; each
// client copies new cookies into its own cookie engine before its next request. Cookie values
// are credentials: nothing here writes them to the log.

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct TCookie {
  std::string Domain;  // without a leading dot
  bool IncludeSubdomains = false;
  std::string Path = "/";
  bool Secure = false;
  int64_t Expires = 0;  // seconds since 1970; 0: ends with the session
  std::string Name;
  std::string Value;
  bool HttpOnly = false;
};

// A cookie file that cannot be used; the message names the line.
class ECookieFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The cookies of a Netscape cookie file: one cookie a line as seven tab-separated fields
// (domain, include-subdomains, path, secure, expiry, name, value); "#HttpOnly_" before the
// domain marks an HttpOnly cookie; other lines starting with "#" and blank lines are skipped.
// Throws ECookieFileError for a malformed line or a text without any cookie.
std::vector<TCookie> ParseNetscapeCookies(std::string_view text);
// Reads and parses a file (at most 16 MiB); throws ECookieFileError.
std::vector<TCookie> ReadNetscapeCookieFile(const std::string& path);
// The cookie as one line of that format.
std::string NetscapeLine(const TCookie& cookie);
// Whether a request to `host` would carry the cookie.
bool CookieMatchesHost(const TCookie& cookie, std::string_view host);

class TCookieStore {
 public:
  // A cookie with the domain, path and name of one already held replaces it.
  void Add(const std::vector<TCookie>& cookies);
  void Clear();
  std::vector<TCookie> All() const;
  bool Empty() const;
  // Changes with every Add and Clear: clients compare it to what they copied last.
  uint64_t Generation() const;

 private:
  mutable std::mutex mutex_;
  std::vector<TCookie> cookies_;
  uint64_t generation_ = 0;
};
