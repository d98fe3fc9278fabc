#include "analysis/uri.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::G;

TEST(Uri, SplitsEveryPartAndRebuildsWithChosenPartsLeftOut) {
  const TURI u("http://user:pw@www.a.com:8080/dir/sub/page.asp?id=1&to=/x#top");
  EXPECT_EQ(u.Protocol, "http");
  EXPECT_EQ(u.Username, "user");
  EXPECT_EQ(u.Password, "pw");
  EXPECT_EQ(u.Host, "www.a.com");
  EXPECT_EQ(u.Port, "8080");
  EXPECT_EQ(u.Path, "/dir/sub/");
  EXPECT_EQ(u.Document, "page.asp");
  EXPECT_EQ(u.Params, "id=1&to=/x");
  EXPECT_EQ(u.Bookmark, "top");
  EXPECT_EQ(u.Rebuild(), "http://user:pw@www.a.com:8080/dir/sub/page.asp?id=1&to=/x#top");
  EXPECT_EQ(u.Rebuild(TURI::kDirectoryOnly), "http://www.a.com:8080/dir/sub/");
  EXPECT_EQ(u.Rebuild(TURI::kWithoutCredentialsAndBookmark),
            "http://www.a.com:8080/dir/sub/page.asp?id=1&to=/x");
  EXPECT_EQ(u.Rebuild(TURI::kPassword | TURI::kPort),
            "http://user@www.a.com/dir/sub/page.asp?id=1&to=/x#top");
}

TEST(Uri, HostOnlyGetsARootPathAndKeepsLetterCaseAndPort) {
  EXPECT_EQ(TURI::DirectoryOf("http://www.a.com"), "http://www.a.com/");
  EXPECT_EQ(TURI::CanonicalOf("HTTPS://WWW.A.COM?q=1"), "HTTPS://WWW.A.COM/?q=1");
  EXPECT_EQ(TURI::CanonicalOf("http://a.com:80#x"), "http://a.com:80/");
  EXPECT_EQ(TURI::CanonicalOf("  http://a.com/x \r\n"), "http://a.com/x");
  // Blanks left at the end once the bookmark is gone are dropped: the form reads back as
  // itself, and the same page found without them is not a second address.
  EXPECT_EQ(TURI::CanonicalOf("http://a.com/x #top"), "http://a.com/x");
  EXPECT_EQ(TURI::CanonicalOf(std::string_view("http://h/?\0\0\0#f", 15)), "http://h/");
  EXPECT_EQ(TURI::CanonicalOf("http://a.com/x ? #top"), "http://a.com/x");
  EXPECT_EQ(TURI::CanonicalOf("http://a.com/x?q= 1 #top"), "http://a.com/x?q= 1");
  EXPECT_EQ(TURI::DirectoryOf("http://a.com/dir/"), "http://a.com/dir/");

  const TURI v6("http://[::1]:8080/x");
  EXPECT_EQ(v6.Host, "[::1]");
  EXPECT_EQ(v6.Port, "8080");
}

TEST(Uri, QueryAndFragmentDoNotSplitThePath) {
  const TURI u("http://a.com/p/q.htm?next=a/b.htm#sec?1/2");
  EXPECT_EQ(u.Path, "/p/");
  EXPECT_EQ(u.Document, "q.htm");
  EXPECT_EQ(u.Params, "next=a/b.htm");
  EXPECT_EQ(u.Bookmark, "sec?1/2");

  const TURI noPath("http://a.com?u=http://b.com/x");
  EXPECT_EQ(noPath.Host, "a.com");
  EXPECT_EQ(noPath.Path, "/");
  EXPECT_EQ(noPath.Params, "u=http://b.com/x");
}

TEST(Uri, AddressesWithoutProtocolOrHostAreNotRebuilt) {
  for (const char* bad :
       {"", "   ", "www.a.com/x.htm", "//cdn.a.com/x", "mailto:x@a.com", "http:///x", "http:x.htm",
        "javascript:void(0)", "a/b?u=http://x", "://a.com/", "1http://a.com/", "http://", "#top"}) {
    const TURI u(bad);
    EXPECT_FALSE(u.IsRebuildable()) << bad;
    EXPECT_FALSE(u.Rebuild().has_value()) << bad;
    EXPECT_FALSE(TURI::DirectoryOf(bad).has_value()) << bad;
  }
  EXPECT_EQ(TURI("//cdn.a.com/x").Host, "cdn.a.com");
}

TEST(Uri, BackslashesBecomeSlashesOutsideTwoByteCharacters) {
  EXPECT_EQ(TURI::CanonicalOf("http://www.a.com\\dir\\p.htm"), "http://www.a.com/dir/p.htm");
  // The second byte of this character is a backslash byte.
  const std::string name = G("淺") + ".htm";
  ASSERT_NE(name.find('\\'), std::string::npos);
  const TURI u("http://www.a.com/" + G("目录") + "/" + name);
  EXPECT_EQ(u.Path, "/" + G("目录") + "/");
  EXPECT_EQ(u.Document, name);
}
