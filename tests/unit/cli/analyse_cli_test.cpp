// veltra-cli analyse, run as a black box on saved pages.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "core/gbk.h"
#include "test_support.h"

using testsupport::G;
using testsupport::RunCli;
using testsupport::TCliRun;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The factory keyword lists, as the options dialog's default button would save them, with
// the label-driven recognition only.
std::string WriteFactoryIni(const TempDir& dir) {
  const auto ini = dir / "Gleaner.ini";
  WriteFile(ini, G("[MAINLIKE]\r\nAddressLike=地址;厂址;\r\nPostCodeLike=邮编;邮政编码;\r\n"
                   "telephoneLike=电话;语音热线;tel;\r\nfaxnoLike=传真;fax;\r\n"
                   "MailAddressLike=电子信箱;信箱;邮件;e-mail;mailto;email;\r\n"
                   "CompanyLike=公司名称;企业名称;\r\n"
                   "[SECONDLIKE]\r\nHTMLNameLike=about;contact;\r\n"
                   "CompanyNameLike=厂;局;公司;处;集团;中心;院;所;办;部;大学;会;\r\n"
                   "AddressContentLike=省;市;县;区;号;座;街;厦;乡;墩;村;\r\n"
                   "[FINDFLAGS]\r\nFlagFindAddressAndPostCode=1\r\nFlagFindTelAndFax=1\r\n"
                   "FlagFindMailAddress=1\r\nFlagModernRecognition=0\r\n"));
  return ini.string();
}

const char* const kContactPage =
    "<html><head><title>联系我们</title></head><body>\r\n"
    "<table><tr><td>公司名称：杭州海德机械有限公司</td></tr>\r\n"
    "<tr><td>地址：浙江省杭州市文三路12号</td></tr>\r\n"
    "<tr><td>电话：0571-88886666</td></tr>\r\n<tr><td>传真：0571-88886667</td></tr>\r\n"
    "<tr><td>邮编：310012</td></tr>\r\n<tr><td>E-mail：sales@haide.example.com</td></tr>"
    "</table>\r\n</body></html>\r\n";

const char* const kContactRecord =
    "杭州海德机械有限公司\thttp://www.example.com/index.html\tsales@haide.example.com\t"
    "0571-88886666\t0571-88886667\t浙江省杭州市文三路12号\t310012\t\n";

}  // namespace

TEST(AnalyseCli, PrintsTheRecordsOfAGbkPageInColumnOrder) {
  TempDir dir;
  const std::string ini = WriteFactoryIni(dir);
  WriteFile(dir / "contact.htm", G(kContactPage));
  auto run = RunCli(dir, "analyse '" + (dir / "contact.htm").string() + "' --config '" + ini + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, kContactRecord);
}

TEST(AnalyseCli, Utf8PagesAreConvertedBeforeAnalysis) {
  TempDir dir;
  const std::string ini = WriteFactoryIni(dir);
  WriteFile(dir / "utf8.htm", kContactPage);
  auto run = RunCli(dir, "analyse '" + (dir / "utf8.htm").string() + "' --config '" + ini + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, kContactRecord);
}

TEST(AnalyseCli, TitleDescriptionAndAddressComeFromTheCommandLine) {
  TempDir dir;
  const std::string ini = WriteFactoryIni(dir);
  WriteFile(dir / "tel.htm", G("<body><p>电话：0571-88886666</p></body>"));
  // The description holds a tab and a line feed; each prints as one space.
  auto run = RunCli(dir,
                    "analyse --title '海德公司' --description '机械\t制造\n商' "
                    "--url 'http://www.haide.localhost/lx.htm' '" +
                        (dir / "tel.htm").string() + "' --config '" + ini + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "海德公司\thttp://www.haide.localhost/lx.htm\t\t0571-88886666\t\t\t\t机械 制造 商\n");

  // Without a title such a record has no company name and is dropped.
  run = RunCli(dir, "analyse '" + (dir / "tel.htm").string() + "' --config '" + ini + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(AnalyseCli, UnreadableFileExitsOne) {
  TempDir dir;
  for (const std::string& file : {(dir / "missing.htm").string(), dir.Path().string()}) {
    auto run = RunCli(dir, "analyse '" + file + "'");
    EXPECT_EQ(run.code, 1) << file;
    EXPECT_EQ(run.out, "") << file;
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
  }
}

TEST(AnalyseCli, BadArgumentsPrintUsageAndExitTwo) {
  TempDir dir;
  WriteFile(dir / "p.htm", "<body>");
  const std::string page = "'" + (dir / "p.htm").string() + "'";
  for (const std::string& args :
       {std::string("analyse"), std::string("analyse --config x.ini"),
        "analyse " + page + " " + page, "analyse " + page + " --title",
        "analyse " + page + " --bogus 1", "analyse " + page + " --url a --url b",
        "analyse " + page + " --config ''"}) {
    auto run = RunCli(dir, args);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_NE(run.err.find("veltra-cli analyse FILE"), std::string::npos) << args;
  }
}

TEST(AnalyseCli, WithoutConfigUsesTheShippedDefaults) {
  TempDir dir;
  WriteFile(dir / "lx.htm",
            "<html><head><title>联系我们 - 海德机械</title></head><body>"
            "<p>手机：13912345678</p><p>邮箱：sales@haide.example.com</p></body></html>");
  auto run = RunCli(dir, "analyse '" + (dir / "lx.htm").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(
      run.out,
      "海德机械\thttp://www.example.com/index.html\tsales@haide.example.com\t13912345678\t\t\t\t"
      "\n");
}
