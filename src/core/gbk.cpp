#include "core/gbk.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace gbk {

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsBlankByte(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlankByte(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Trim(std::string_view s) {
  return std::string(TrimView(s));
}

bool IsBlank(std::string_view s) {
  return TrimView(s).empty();
}

std::string LowerLatin(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
    i += CharLen(out, i);
  }
  return out;
}

std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from) {
  if (needle.empty() || from > hay.size() || needle.size() > hay.size() - from) return npos;
  const std::size_t last = hay.size() - needle.size();
  const char first = needle[0];
  std::size_t i = from;
  while (i <= last) {
    // Jump to the next candidate byte, then re-walk the characters up to it to stay aligned.
    const void* hit = std::memchr(hay.data() + i, first, last - i + 1);
    if (!hit) return npos;
    const std::size_t cand = static_cast<const char*>(hit) - hay.data();
    while (i < cand) i += CharLen(hay, i);
    if (i == cand && std::memcmp(hay.data() + i, needle.data(), needle.size()) == 0) return i;
    if (i == cand) i += CharLen(hay, i);
  }
  return npos;
}

namespace {

char FoldByte(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Find on a folded view of `hay` without copying it: `lowNeedle` is already lowered, and only
// bytes that start a character of `hay` are folded (second bytes compare as they are, as in
// LowerLatin). Equal bytes up to a position give both sides the same character boundaries.
std::size_t FindFolded(std::string_view hay, std::string_view lowNeedle, std::size_t from) {
  if (lowNeedle.empty() || from > hay.size() || lowNeedle.size() > hay.size() - from) return npos;
  const std::size_t last = hay.size() - lowNeedle.size();
  for (std::size_t i = from; i <= last; i += CharLen(hay, i)) {
    if (FoldByte(hay[i]) != lowNeedle[0]) continue;
    std::size_t k = 0;
    while (k < lowNeedle.size()) {
      if (CharLen(hay, i + k) == 2) {
        if (hay[i + k] != lowNeedle[k]) break;
        if (k + 1 < lowNeedle.size() && hay[i + k + 1] != lowNeedle[k + 1]) break;
        k += 2;
      } else {
        if (FoldByte(hay[i + k]) != lowNeedle[k]) break;
        ++k;
      }
    }
    if (k >= lowNeedle.size()) return i;
  }
  return npos;
}

}  // namespace

std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from) {
  return FindFolded(hay, LowerLatin(needle), from);
}

namespace {

template <typename FindFn>
std::string ReplaceWith(std::string_view text, std::string_view from, std::string_view to,
                        FindFn find) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = find(pos);
    if (hit == npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return ReplaceWith(text, from, to, [&](std::size_t p) { return Find(text, from, p); });
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to) {
  const std::string lowFrom = LowerLatin(from);
  return ReplaceWith(text, from, to, [&](std::size_t p) { return FindFolded(text, lowFrom, p); });
}

namespace {

std::size_t Utf8SeqLen(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;
}

// Converts with an open descriptor (left in its initial state); an unconvertible or invalid
// sequence becomes "?" and is skipped.
void ConvertWith(iconv_t cd, std::string_view text, bool fromUtf8, std::string& out) {
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char buf[4096];
  while (inLeft > 0) {
    char* outPtr = buf;
    std::size_t outLeft = sizeof buf;
    std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buf, outPtr - buf);
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: replace the offending character and go on.
    out.push_back('?');
    std::size_t skip = 1;
    if (fromUtf8) {
      skip = std::min(inLeft, Utf8SeqLen(static_cast<unsigned char>(*in)));
      for (std::size_t k = 1; k < skip; ++k) {
        if ((static_cast<unsigned char>(in[k]) & 0xC0) != 0x80) {
          skip = k;
          break;
        }
      }
    }
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* outPtr = buf;
  std::size_t outLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buf, outPtr - buf);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

std::string Unconverted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string Convert(std::string_view text, const char* to, const char* from, bool fromUtf8) {
  std::string out;
  if (text.empty()) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Unconverted(text);
  out.reserve(text.size() * 3 / 2 + 16);
  ConvertWith(cd, text, fromUtf8, out);
  iconv_close(cd);
  return out;
}

}  // namespace

std::string ToUtf8(std::string_view gbkText) {
  if (IsAscii(gbkText)) return std::string(gbkText);
  return Convert(gbkText, "UTF-8", "CP936", false);
}

std::string FromUtf8(std::string_view utf8Text) {
  if (IsAscii(utf8Text)) return std::string(utf8Text);
  return Convert(utf8Text, "CP936", "UTF-8", true);
}

TUtf8Reader::TUtf8Reader() : cd_(iconv_open("CP936", "UTF-8")) {}

TUtf8Reader::~TUtf8Reader() {
  if (cd_ != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(cd_));
}

std::string TUtf8Reader::operator()(std::string_view utf8Text) {
  if (IsAscii(utf8Text)) return std::string(utf8Text);
  if (cd_ == reinterpret_cast<void*>(-1)) return Unconverted(utf8Text);
  scratch_.clear();
  ConvertWith(static_cast<iconv_t>(cd_), utf8Text, true, scratch_);
  return scratch_;  // a copy of exactly the converted size
}

std::string ToGbk(std::string_view text, std::string_view charset) {
  std::string cs = LowerLatin(TrimView(charset));
  if (cs.empty() || cs == "gbk" || cs == "gb2312" || cs == "gb18030" || cs == "cp936" ||
      cs == "x-gbk" || cs == "euc-cn" || IsAscii(text))
    return std::string(text);
  if (cs == "utf-8" || cs == "utf8") return FromUtf8(text);
  return Convert(text, "CP936", cs.c_str(), false);
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n;
    unsigned min;
    unsigned cp;
    if ((c & 0xE0) == 0xC0) {
      n = 2;
      cp = c & 0x1F;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
      cp = c & 0x0F;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
      cp = c & 0x07;
      min = 0x10000;
    } else
      return false;
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

bool LooksLikeUtf8(std::string_view s) {
  if (!IsValidUtf8(s)) return false;
  // In valid UTF-8 a byte E0-EF always starts a three-byte character.
  const bool threeByte = std::any_of(s.begin(), s.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 0xE0 && c <= 0xEF;
  });
  if (!threeByte) return false;
  // Read as GBK, is every two-byte character a GB2312 one (A1-F7 then A1-FE)? UTF-8 Chinese
  // almost never is, for its continuation bytes run from 80 to BF.
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (i + 1 >= s.size()) return true;
    const auto t = static_cast<unsigned char>(s[i + 1]);
    if (c < 0xA1 || c > 0xF7 || t < 0xA1 || t > 0xFE) return true;
    i += 2;
  }
  return false;
}

}  // namespace gbk
