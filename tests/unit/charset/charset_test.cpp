#include "core/charset.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::G;

TEST(Charset, HeaderBeatsMetaAndMetaBeatsSniffing) {
  const std::string utf8Page = "<meta charset=\"gbk\"><body>电话</body>";
  EXPECT_EQ(DetectPageCharset(utf8Page, "text/html; charset=UTF-8"), "utf-8");
  EXPECT_EQ(DetectPageCharset(utf8Page), "gbk");
  EXPECT_EQ(DetectPageCharset("<META http-equiv=Content-Type content='text/html; charset=GB2312'>"),
            "gb2312");
  EXPECT_EQ(DetectPageCharset("<body>电话</body>"), "utf-8");
  EXPECT_EQ(DetectPageCharset(G("<body>电话</body>")), "gbk");
  EXPECT_EQ(DetectPageCharset("<body>plain</body>"), "gbk");
}

TEST(Charset, MetaIsOnlyLookedForInTheFirst4KiB) {
  std::string page(5000, ' ');
  page += "<meta charset=utf-8>";
  EXPECT_EQ(CharsetFromMeta(page), "");
}

TEST(Charset, PagesBecomeGbk) {
  EXPECT_EQ(PageToGbk("<body>电话：021</body>"), G("<body>电话：021</body>"));
  const std::string gbkPage = G("<meta charset=gb18030><body>上海海德</body>");
  EXPECT_EQ(PageToGbk(gbkPage), gbkPage);
  EXPECT_EQ(PageToGbk(gbkPage, "text/html; charset=GBK"), gbkPage);
}

TEST(Charset, UnknownCharsetNamesArePassedOver) {
  const std::string gbkPage = G("<body>上海海德 电话：021</body>");
  EXPECT_EQ(PageToGbk(gbkPage, "text/html; charset=gbk2312"), gbkPage);
  EXPECT_EQ(PageToGbk(G("<meta charset=x-user-defined><p>公司</p>")),
            G("<meta charset=x-user-defined><p>公司</p>"));
  EXPECT_EQ(PageToGbk("<p>公司</p>", "text/html; charset=no-such-set"), G("<p>公司</p>"));
  // A bad header does not hide a good meta tag.
  EXPECT_EQ(DetectPageCharset("<meta charset=\"big5\">", "text/html; charset=bogus"), "big5");
  // Other known charsets are still converted.
  EXPECT_EQ(PageToGbk("<p>\xA4\xBD\xA5\x71</p>", "text/html; charset=big5"), G("<p>公司</p>"));
}
