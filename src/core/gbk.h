#pragma once
// Byte-string helpers for GBK text: conversion at the edges, trimming, Latin-only case
// folding, and searches that match only at GBK character boundaries.

#include <string>
#include <string_view>

namespace gbk {

inline constexpr std::size_t npos = std::string_view::npos;

// A byte 0x81-0xFE starts a two-byte character.
inline bool IsLeadByte(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}
// Length of the character starting at byte i (1 or 2; 1 for a lead byte at the very end).
inline std::size_t CharLen(std::string_view s, std::size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}
inline bool IsBlankByte(unsigned char c) {
  return c <= 32;
}

std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);
bool IsBlank(std::string_view s);

// A-Z -> a-z, touching only single-byte characters.
std::string LowerLatin(std::string_view s);

// First occurrence of needle at or after byte `from` (which must be a character boundary),
// starting at a character boundary; npos when absent or when needle is empty.
std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from = 0);
// As Find, folding Latin letters on both sides.
std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from = 0);
inline bool Contains(std::string_view hay, std::string_view needle) {
  return Find(hay, needle) != npos;
}
inline bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  return FindNoCase(hay, needle) != npos;
}

// Replaces every boundary-aligned occurrence, left to right, never rescanning replaced text.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to);

// Conversions. Unconvertible input becomes "?"; never throws, never truncates the rest.
std::string ToUtf8(std::string_view gbkText);
std::string FromUtf8(std::string_view utf8Text);
// FromUtf8 for many texts in a row (reading a task file): one converter for all of them, and
// results that hold no spare capacity. One thread at a time.
class TUtf8Reader {
 public:
  TUtf8Reader();
  ~TUtf8Reader();
  TUtf8Reader(const TUtf8Reader&) = delete;
  TUtf8Reader& operator=(const TUtf8Reader&) = delete;
  std::string operator()(std::string_view utf8Text);

 private:
  void* cd_;  // iconv_t
  std::string scratch_;
};
// Converts text in the named charset to GBK (GBK, GB2312 and GB18030 are returned unchanged).
std::string ToGbk(std::string_view text, std::string_view charset);
bool IsValidUtf8(std::string_view s);
bool IsAscii(std::string_view s);
// Whether text is better read as UTF-8 than as GBK: it is valid UTF-8, holds three-byte
// characters (what Chinese text gives in UTF-8), and does not also read as GB2312 text. Short
// GBK text is often valid UTF-8 by chance ("省" is CA A1), so two-byte sequences alone prove
// nothing.
bool LooksLikeUtf8(std::string_view s);

}  // namespace gbk

// A UTF-8 literal converted to GBK once, on first use.
#define GBK(utf8)                                               \
  ([]() -> const std::string& {                                 \
    static const std::string converted = ::gbk::FromUtf8(utf8); \
    return converted;                                           \
  }())
