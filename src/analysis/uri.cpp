#include "analysis/uri.h"

#include "core/gbk.h"

namespace {

// Separators searched below are all ASCII bytes under 0x40, which never occur as the second
// byte of a GBK character, so plain byte searches are safe.

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

bool IsValidScheme(std::string_view s) {
  if (s.empty()) return false;
  const char first = s[0];
  if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
  for (char c : s) {
    if (!IsSchemeChar(c)) return false;
  }
  return true;
}

// Backslash to slash, leaving the second byte of a two-byte character alone.
std::string SlashesForward(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t len = gbk::CharLen(out, i);
    if (len == 1 && out[i] == '\\') out[i] = '/';
    i += len;
  }
  return out;
}

}  // namespace

void TURI::Parse(std::string_view address) {
  *this = TURI();
  const std::string text = SlashesForward(gbk::TrimView(address));
  std::string_view rest = text;

  // Fragment, then query, are cut from the end first: "/" and "?" inside them do not count.
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    Bookmark = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
    Params = rest.substr(question + 1);
    rest = rest.substr(0, question);
  }

  bool hasAuthority = false;
  if (const std::size_t sep = rest.find("://");
      sep != std::string_view::npos && IsValidScheme(rest.substr(0, sep))) {
    Protocol = rest.substr(0, sep);
    rest.remove_prefix(sep + 3);
    hasAuthority = true;
  } else if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    hasAuthority = true;
  }

  if (hasAuthority) {
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
      const std::string_view user = authority.substr(0, at);
      const std::size_t colon = user.find(':');
      Username = user.substr(0, colon);
      if (colon != std::string_view::npos) Password = user.substr(colon + 1);
      authority.remove_prefix(at + 1);
    }
    // A bracketed IPv6 literal keeps its colons; the port follows the "]".
    std::size_t portColon = std::string_view::npos;
    if (authority.starts_with("[")) {
      const std::size_t close = authority.find(']');
      if (close != std::string_view::npos && close + 1 < authority.size() &&
          authority[close + 1] == ':') {
        portColon = close + 1;
      }
    } else {
      portColon = authority.find(':');
    }
    Host = authority.substr(0, portColon);
    if (portColon != std::string_view::npos) Port = authority.substr(portColon + 1);
  }

  const std::size_t lastSlash = rest.rfind('/');
  if (lastSlash == std::string_view::npos) {
    Path = hasAuthority ? "/" : "";
    Document = rest;
  } else {
    Path = rest.substr(0, lastSlash + 1);
    Document = rest.substr(lastSlash + 1);
  }
}

std::optional<std::string> TURI::Rebuild(unsigned leaveOut) const {
  if (!IsRebuildable()) return std::nullopt;
  std::string out;
  out.reserve(Protocol.size() + Host.size() + Path.size() + Document.size() + Params.size() +
              Bookmark.size() + 16);
  out += Protocol;
  out += "://";
  const bool withUser = !(leaveOut & kUsername) && !Username.empty();
  const bool withPassword = !(leaveOut & kPassword) && !Password.empty();
  if (withUser || withPassword) {
    if (withUser) out += Username;
    if (withPassword) {
      out += ':';
      out += Password;
    }
    out += '@';
  }
  out += Host;
  if (!(leaveOut & kPort) && !Port.empty()) {
    out += ':';
    out += Port;
  }
  if (Path.empty() || Path[0] != '/') out += '/';
  out += Path;
  if (!(leaveOut & kDocument)) out += Document;
  if (!(leaveOut & kParams) && !Params.empty()) {
    out += '?';
    out += Params;
  }
  if (!(leaveOut & kBookmark) && !Bookmark.empty()) {
    out += '#';
    out += Bookmark;
  }
  return out;
}

std::optional<std::string> TURI::DirectoryOf(std::string_view address) {
  return TURI(address).Rebuild(kDirectoryOnly);
}

std::optional<std::string> TURI::CanonicalOf(std::string_view address) {
  TURI uri(address);
  // With the bookmark left out, blanks before the "#" would end the address, and reading it
  // again trims them: drop them now, so the canonical form reads back as itself. Blank bytes
  // are never the second byte of a two-byte character.
  auto trimEnd = [](std::string& s) {
    while (!s.empty() && gbk::IsBlankByte(static_cast<unsigned char>(s.back()))) s.pop_back();
  };
  trimEnd(uri.Params);
  if (uri.Params.empty()) trimEnd(uri.Document);
  return uri.Rebuild(kWithoutCredentialsAndBookmark);
}
