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
