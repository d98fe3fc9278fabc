#include "core/charset.h"

#include <iconv.h>

#include "core/gbk.h"

namespace {

// A charset label that can be converted to GBK. An unknown label (a typo, "x-user-defined")
// is ignored instead of turning every Chinese character into "?".
bool IsUsableCharset(const std::string& cs) {
  for (const char* known :
       {"gbk", "gb2312", "gb18030", "cp936", "x-gbk", "euc-cn", "utf-8", "utf8"})
    if (cs == known) return true;
  iconv_t cd = iconv_open("CP936", cs.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

bool IsCharsetByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
         c == ':';
}

// Reads the value after the first "charset" (then optional blanks, "=", quotes) in lowered text.
std::string CharsetAfterKey(std::string_view lowered) {
  std::size_t pos = 0;
  while ((pos = lowered.find("charset", pos)) != std::string_view::npos) {
    std::size_t i = pos + 7;
    while (i < lowered.size() && (lowered[i] == ' ' || lowered[i] == '\t')) ++i;
    if (i < lowered.size() && lowered[i] == '=') {
      ++i;
      while (i < lowered.size() && (lowered[i] == ' ' || lowered[i] == '"' || lowered[i] == '\''))
        ++i;
      std::size_t b = i;
      while (i < lowered.size() && IsCharsetByte(lowered[i])) ++i;
      if (i > b) return std::string(lowered.substr(b, i - b));
    }
    pos += 7;
  }
  return {};
}

}  // namespace

std::string CharsetFromContentType(std::string_view contentType) {
  return CharsetAfterKey(gbk::LowerLatin(contentType));
}

std::string CharsetFromMeta(std::string_view page) {
  const std::string head = gbk::LowerLatin(page.substr(0, 4096));
  std::size_t pos = 0;
  while ((pos = head.find("<meta", pos)) != std::string::npos) {
    std::size_t end = head.find('>', pos);
    if (end == std::string::npos) end = head.size();
    std::string cs = CharsetAfterKey(std::string_view(head).substr(pos, end - pos));
    if (!cs.empty()) return cs;
    pos = end;
  }
  return {};
}

std::string DetectPageCharset(std::string_view page, std::string_view contentType) {
  std::string cs = CharsetFromContentType(contentType);
  if (!cs.empty() && IsUsableCharset(cs)) return cs;
  cs = CharsetFromMeta(page);
  if (!cs.empty() && IsUsableCharset(cs)) return cs;
  if (!gbk::IsAscii(page) && gbk::IsValidUtf8(page)) return "utf-8";
  return "gbk";
}

std::string PageToGbk(std::string_view page, std::string_view contentType) {
  return gbk::ToGbk(page, DetectPageCharset(page, contentType));
}
