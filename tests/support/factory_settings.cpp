#include "factory_settings.h"

#include "test_support.h"

namespace testsupport {

TGlobalSet FactorySettings() {
  TGlobalSet set;
  set.AddressLike = LikeListFromText(G("地址;厂址;"));
  set.PostCodeLike = LikeListFromText(G("邮编;邮政编码;"));
  set.telephoneLike = LikeListFromText(G("电话;语音热线;tel;"));
  set.faxnoLike = LikeListFromText(G("传真;fax;"));
  set.MailAddressLike = LikeListFromText(G("电子信箱;信箱;邮件;e-mail;mailto;email;"));
  set.CompanyLike = LikeListFromText(G("公司名称;企业名称;"));
  set.HTMLNameLike = LikeListFromText("about;contact;");
  set.CompanyNameLike = LikeListFromText(G("厂;局;公司;处;集团;中心;院;所;办;部;大学;会;"));
  set.AddressContentLike = LikeListFromText(G("省;市;县;区;号;座;街;厦;乡;墩;村;"));
  set.NextPageLike = LikeListFromText(G("页;"));
  set.BUseCompanyNameLike = true;
  set.BUseNextPageLike = true;
  set.MaxFindWebThreadCount = 20;
  set.MaxCrawlLevel = 2;
  set.MaxReadHTMLTimeOut = 30000;
  set.FlagFindAddressAndPostCode = true;
  set.FlagFindTelAndFax = true;
  set.FlagFindMailAddress = true;
  return set;
}

std::shared_ptr<const TGlobalSet> FactorySnapshot() {
  return std::make_shared<const TGlobalSet>(FactorySettings());
}

}  // namespace testsupport
