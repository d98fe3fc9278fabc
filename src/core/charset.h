#pragma once
// Turns a fetched or saved page into the GBK bytes that page analysis works on.

#include <string>
#include <string_view>

// Charset named by a Content-Type header value ("text/html; charset=utf-8"), lower-cased;
// empty when none is named.
std::string CharsetFromContentType(std::string_view contentType);
// Charset named by a <meta> tag in the first 4 KiB of the page, lower-cased; empty if none.
std::string CharsetFromMeta(std::string_view page);
// The page's charset: the header's, else the <meta> tag's, else "utf-8" when the body is
// valid UTF-8 with non-ASCII bytes, else "gbk". A named charset that cannot be converted is
// passed over.
std::string DetectPageCharset(std::string_view page, std::string_view contentType = {});
// GBK, GB2312 and GB18030 pages come back byte for byte; any other charset is converted.
std::string PageToGbk(std::string_view page, std::string_view contentType = {});
