#include "core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/file_read.h"
#include "core/gbk.h"

namespace {

// Name of a section header line ("[NAME]", blanks allowed around), or nullopt.
std::optional<std::string_view> HeaderName(std::string_view text) {
  std::string_view t = gbk::TrimView(text);
  if (t.empty() || t[0] != '[') return std::nullopt;
  std::size_t close = gbk::Find(t, "]", 1);
  if (close == gbk::npos) close = t.size();
  return gbk::TrimView(t.substr(1, close - 1));
}

// Key name and raw value of a "key=value" line, or false for any other line.
bool SplitKeyLine(std::string_view text, std::string_view& key, std::string_view& value) {
  std::string_view t = gbk::TrimView(text);
  if (!t.empty() && t[0] == '[') return false;
  // "=" is below the range of second bytes, so a byte search is safe in GBK text.
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = gbk::TrimView(t.substr(0, eq));
  value = gbk::TrimView(t.substr(eq + 1));
  return true;
}

// Cuts to kIniMaxValueBytes without keeping half of a two-byte character, which would
// otherwise turn into a stray keyword. Only a valid second byte makes a pair, so a value cut
// once and written back with a ";" after it is cut at the same place again.
std::string_view CutValue(std::string_view v) {
  if (v.size() <= kIniMaxValueBytes) return v;
  auto isTrail = [](unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; };
  std::size_t i = 0;
  while (i < v.size()) {
    std::size_t n = (gbk::IsLeadByte(static_cast<unsigned char>(v[i])) && i + 1 < v.size() &&
                     isTrail(static_cast<unsigned char>(v[i + 1])))
                        ? 2
                        : 1;
    if (i + n > kIniMaxValueBytes) break;
    i += n;
  }
  return v.substr(0, i);
}

// A UTF-8 file line by line as GBK. A line holding a character GBK does not have is kept as
// it is, so a save never writes back "?" in place of what the user wrote.
std::string Utf8LinesToGbk(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    end = end == std::string_view::npos ? text.size() : end + 1;
    const std::string_view line = text.substr(pos, end - pos);
    std::string converted = gbk::FromUtf8(line);
    out += gbk::ToUtf8(converted) == line ? converted : std::string(line);
    pos = end;
  }
  return out;
}

std::string FullPath(const std::string& path) {
  std::error_code ec;
  auto full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

bool HexValue(std::string_view digits, uint32_t& out) {
  if (digits.empty()) return false;
  uint64_t v = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

void ThrowIniWriteError(const std::string& path) {
  throw EIniWriteError("Unable to write to " + FullPath(path));
}

bool IniNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    if (gbk::CharLen(a, i) == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      i += 2;
      continue;
    }
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
    ++i;
  }
  return true;
}

std::optional<int32_t> ParseIniInteger(std::string_view s) {
  uint32_t bits = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    if (!HexValue(s.substr(2), bits)) return std::nullopt;
    return static_cast<int32_t>(bits);
  }
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (!s.empty() && s[0] == '$') {
    if (!HexValue(s.substr(1), bits)) return std::nullopt;
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return std::nullopt;
  return static_cast<int32_t>(v);
}

TIniFile::TLine TIniFile::LineAt(std::size_t pos) const {
  const std::size_t nl = bytes_.find('\n', pos);
  if (nl == std::string::npos) return {pos, bytes_.size(), bytes_.size()};
  const std::size_t textEnd = (nl > pos && bytes_[nl - 1] == '\r') ? nl - 1 : nl;
  return {pos, textEnd, nl + 1};
}

std::string_view TIniFile::TextOf(const TLine& line) const {
  return std::string_view(bytes_).substr(line.Begin, line.TextEnd - line.Begin);
}

void TIniFile::Parse(std::string_view bytes) {
  bytes_.assign(bytes);
  indexed_ = false;
}

bool TIniFile::LoadFile(const std::string& path, std::string* error) {
  bytes_.clear();
  indexed_ = false;
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kIniMaxFileBytes, bytes);
  if (read.Status == TFileReadStatus::Missing) return true;
  if (read.Status != TFileReadStatus::Ok) {
    if (error)
      *error = read.Status == TFileReadStatus::TooLarge
                   ? FileTooLargeMessage(path, kIniMaxFileBytes)
                   : "Cannot read \"" + path + "\". " + FileReadReason(read, kIniMaxFileBytes);
    return false;
  }
  std::string_view text = bytes;
  const bool bom = text.starts_with("\xEF\xBB\xBF");
  if (bom || gbk::LooksLikeUtf8(text)) {
    // A mark written twice (by an editor that kept the old one as text) counts once: one left
    // in front of the first line would hide that line now and be taken as the mark after a save.
    while (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bytes = Utf8LinesToGbk(text);
  }
  bytes_ = std::move(bytes);
  return true;
}

void TIniFile::SaveFile(const std::string& path) const {
  WriteWholeFile(path, Bytes());
}

// The text is held as GBK. Should it read as UTF-8 the next time (its only non-UTF-8 bytes were
// in a value the save replaced, or GBK characters that also form UTF-8 ones), a comment line in
// GB2312, which never reads as UTF-8, goes in front so every value comes back as written.
std::string TIniFile::Bytes() const {
  if (!bytes_.starts_with("\xEF\xBB\xBF") && !gbk::LooksLikeUtf8(bytes_)) return bytes_;
  // "; 编码：GBK"
  return "; \xB1\xE0\xC2\xEB\xA3\xBAGBK\r\n" + bytes_;
}

const std::vector<std::size_t>& TIniFile::Headers() const {
  if (!indexed_) {
    headers_.clear();
    for (std::size_t pos = 0; pos < bytes_.size();) {
      const TLine line = LineAt(pos);
      if (HeaderName(TextOf(line))) headers_.push_back(pos);
      pos = line.End;
    }
    indexed_ = true;
  }
  return headers_;
}

std::size_t TIniFile::FindSection(std::string_view section) const {
  for (std::size_t pos : Headers()) {
    auto name = HeaderName(TextOf(LineAt(pos)));
    if (name && IniNamesEqual(*name, section)) return pos;
  }
  return std::string::npos;
}

std::size_t TIniFile::SectionEnd(std::size_t header) const {
  const auto& headers = Headers();
  const auto next = std::upper_bound(headers.begin(), headers.end(), header);
  return next == headers.end() ? bytes_.size() : *next;
}

std::optional<std::string> TIniFile::ReadString(std::string_view section,
                                                std::string_view key) const {
  const std::size_t h = FindSection(section);
  if (h == std::string::npos) return std::nullopt;
  const std::size_t end = SectionEnd(h);
  for (std::size_t pos = LineAt(h).End; pos < end;) {
    const TLine line = LineAt(pos);
    std::string_view k, v;
    if (SplitKeyLine(TextOf(line), k, v) && IniNamesEqual(k, key)) return std::string(CutValue(v));
    pos = line.End;
  }
  return std::nullopt;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  const std::size_t h = FindSection(section);
  if (h == std::string::npos) return keys;
  const std::size_t end = SectionEnd(h);
  for (std::size_t pos = LineAt(h).End; pos < end;) {
    const TLine line = LineAt(pos);
    std::string_view k, v;
    if (SplitKeyLine(TextOf(line), k, v) && !k.empty() && k[0] != ';') keys.emplace_back(k);
    pos = line.End;
  }
  return keys;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string text;
  text.reserve(key.size() + 1 + value.size() + 2);
  text.append(key).push_back('=');
  for (char c : value) text.push_back((c == '\r' || c == '\n') ? ' ' : c);

  const std::size_t h = FindSection(section);
  const std::size_t end = h == std::string::npos ? h : SectionEnd(h);
  if (h == std::string::npos) {
    indexed_ = false;
    if (!bytes_.empty() && bytes_.back() != '\n') bytes_ += "\r\n";
    bytes_ += "[" + std::string(section) + "]\r\n" + text + "\r\n";
    return;
  }
  // The header index stays valid across an edit of whole lines that are no headers: the
  // headers behind the edit only move. Rebuilding it after every write made saving the
  // settings quadratic in the file.
  const bool textIsHeader = HeaderName(text).has_value();
  auto shiftHeaders = [&](std::size_t from, std::ptrdiff_t delta) {
    if (!indexed_ || textIsHeader) {
      indexed_ = false;
      return;
    }
    for (auto& pos : headers_)
      if (pos >= from) pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + delta);
  };
  TLine last = LineAt(h);  // last non-blank line of the section
  for (std::size_t pos = last.End; pos < end;) {
    const TLine line = LineAt(pos);
    std::string_view k, v;
    if (SplitKeyLine(TextOf(line), k, v) && IniNamesEqual(k, key)) {
      if (HeaderName(TextOf(line))) indexed_ = false;
      const std::ptrdiff_t delta = static_cast<std::ptrdiff_t>(text.size()) -
                                   static_cast<std::ptrdiff_t>(line.TextEnd - line.Begin);
      bytes_.replace(line.Begin, line.TextEnd - line.Begin, text);
      shiftHeaders(line.Begin + 1, delta);
      return;
    }
    if (!gbk::IsBlank(TextOf(line))) last = line;
    pos = line.End;
  }
  // A last line without a break gets one before the new line follows it.
  if (last.TextEnd == last.End) text.insert(0, "\r\n");
  text += "\r\n";
  bytes_.insert(last.End, text);
  shiftHeaders(last.End, static_cast<std::ptrdiff_t>(text.size()));
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0) ThrowIniWriteError(path);
    // Replace through a temporary file beside the real one, so a failed write keeps the
    // old content; a symbolic link stays a link.
    std::error_code ec;
    fs::path target = fs::is_symlink(path, ec) ? fs::canonical(path, ec) : fs::path(path);
    if (ec) ThrowIniWriteError(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string tmp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmp.data());
    if (fd >= 0) {
      bool ok = WriteAll(fd, bytes) && ::fchmod(fd, st.st_mode & 07777) == 0;
      ok = (::close(fd) == 0) && ok;
      if (ok && ::rename(tmp.c_str(), target.c_str()) == 0) return;
      ::unlink(tmp.c_str());
      ThrowIniWriteError(path);
    }
    // A directory we may not create files in: the file itself is writable, so write in place.
    if (errno != EACCES && errno != EPERM) ThrowIniWriteError(path);
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowIniWriteError(path);
  bool ok = WriteAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  if (!ok) ThrowIniWriteError(path);
}
