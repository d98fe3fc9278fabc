#pragma once
// A web address split into its classic parts and put back together with chosen parts left
// out. Works on GBK bytes; never throws for any input.

#include <optional>
#include <string>
#include <string_view>

class TURI {
 public:
  // Parts that Rebuild can leave out, combined with "|".
  enum TPart : unsigned {
    kUsername = 1u << 0,
    kPassword = 1u << 1,
    kPort = 1u << 2,
    kDocument = 1u << 3,
    kParams = 1u << 4,
    kBookmark = 1u << 5,
  };
  static constexpr unsigned kCredentials = kUsername | kPassword;
  // protocol "://" host [":" port] path: the directory an address lies in.
  static constexpr unsigned kDirectoryOnly = kCredentials | kDocument | kParams | kBookmark;
  // protocol "://" host [":" port] path document ["?" params].
  static constexpr unsigned kWithoutCredentialsAndBookmark = kCredentials | kBookmark;

  TURI() = default;
  explicit TURI(std::string_view address) { Parse(address); }

  // Splits `address` (trimmed; backslashes outside two-byte characters read as "/"):
  //   protocol "://" [username [":" password] "@"] host [":" port] path document
  //   ["?" params] ["#" bookmark]
  // Path is the directory part from the first "/" through the last one ("/" when the
  // address has none); Document is the last segment. Without a valid "://" the protocol and
  // host stay empty ("//host/x" gives a host but no protocol).
  void Parse(std::string_view address);

  // An address can be written again only with a protocol and a host.
  bool IsRebuildable() const { return !Protocol.empty() && !Host.empty(); }

  // The address with the parts in `leaveOut` omitted; empty when not rebuildable.
  std::optional<std::string> Rebuild(unsigned leaveOut = 0) const;

  // Shortcuts: parse and rebuild in one step.
  static std::optional<std::string> DirectoryOf(std::string_view address);
  static std::optional<std::string> CanonicalOf(std::string_view address);

  std::string Protocol;
  std::string Username;
  std::string Password;
  std::string Host;
  std::string Port;
  std::string Path;
  std::string Document;
  std::string Params;
  std::string Bookmark;
};
