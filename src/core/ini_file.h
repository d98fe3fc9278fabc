#pragma once
// Reader and writer of classic INI files: "[SECTION]" lines and "key=value" lines ending in
// CR LF, section and key names compared without regard to the case of A-Z, a value being
// everything after the first "=" with surrounding blanks removed. Lines the program does not
// write (unknown keys and sections, comments, odd bytes) are kept byte for byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised when a file cannot be written; the text is "Unable to write to <full path>".
class EIniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Longest value a read returns, in bytes.
inline constexpr std::size_t kIniMaxValueBytes = 2047;
// Largest file LoadFile reads.
inline constexpr std::size_t kIniMaxFileBytes = 16u << 20;

class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(std::string_view bytes) { Parse(bytes); }

  void Parse(std::string_view bytes);
  // Reads the file. A missing file reads as an empty one and counts as success; false means
  // the file exists but could not be read or is over kIniMaxFileBytes (the content is then
  // empty, and `error` says why, naming the file). A file with a UTF-8 byte-order mark, or
  // one that gbk::LooksLikeUtf8, was saved by an editor, not by us: it is read as UTF-8 and
  // held as GBK (a line with characters GBK lacks stays as it is); anything else is GBK.
  bool LoadFile(const std::string& path, std::string* error = nullptr);
  // Replaces the file with Bytes(); throws EIniWriteError.
  void SaveFile(const std::string& path) const;
  // The file's bytes, with a GBK comment line in front when the text would otherwise be taken
  // as UTF-8 on the next read.
  std::string Bytes() const;

  // Value of the first such key in the first such section, trimmed and cut to
  // kIniMaxValueBytes; nullopt when absent.
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  // Replaces the key's line where it stands, else adds it at the end of its section, else
  // adds the section at the end of the file. CR and LF in the value become blanks, so a value
  // can never add lines of its own.
  // Names of the section's keys in file order, as the file spells them (comments left out).
  std::vector<std::string> Keys(std::string_view section) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  // One line: its text is [Begin, TextEnd), its line break [TextEnd, End).
  struct TLine {
    std::size_t Begin;
    std::size_t TextEnd;
    std::size_t End;
  };
  TLine LineAt(std::size_t pos) const;
  std::string_view TextOf(const TLine& line) const;
  // Offset of the section's header line, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Offset one past the section's last line (the next header or the end of the file).
  std::size_t SectionEnd(std::size_t header) const;

  // Offsets of the section header lines, found again after each change.
  const std::vector<std::size_t>& Headers() const;

  // The file as it stands, byte for byte: nothing per line is kept, so a file of many
  // short lines costs no more than its size.
  std::string bytes_;
  mutable std::vector<std::size_t> headers_;
  mutable bool indexed_ = false;
};

// Names compared as the file's rules say: A-Z folded in single-byte characters only.
bool IniNamesEqual(std::string_view a, std::string_view b);

// Integer as the settings store it: "0x"/"0X" + hex (longer than two characters), or decimal
// with an optional sign, "$" + hex also accepted. Hex forms give the 32-bit pattern (so
// "0xFFFFFFFF" is -1). nullopt for anything else, including values outside 32 bits.
std::optional<int32_t> ParseIniInteger(std::string_view text);

// Throws EIniWriteError for path (made absolute).
[[noreturn]] void ThrowIniWriteError(const std::string& path);

// Writes bytes to path as a whole: through a temporary file renamed over an existing file,
// so a failed write leaves the old content. Throws EIniWriteError.
void WriteWholeFile(const std::string& path, std::string_view bytes);
