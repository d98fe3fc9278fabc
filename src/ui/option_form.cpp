// "选项": every field of the settings record on five pages, with the factory values behind
// "默认(&D)".

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "core/gbk.h"
#include "engines/source_registry.h"
#include "ui/dialog_support.h"
#include "ui/dialogs.h"

namespace {

// A list field of the dialog and the record's list it shows.
struct TListField {
  QLineEdit* Edit;
  TLikeList TGlobalSet::*List;
  QString Caption = {};  // set for the recognition lists, whose emptiness is asked about
};

// A check box and the record's switch it shows.
struct TCheckField {
  QCheckBox* Box;
  bool TGlobalSet::*Flag;
};

// A search source of today's web: on/off and its host or base URL.
struct TSourceField {
  QCheckBox* Box;
  QLineEdit* Host;
  const TSourceDef* Def;
};

}  // namespace

// The crawl and network page: its controls and the record's fields they show.
struct TCrawlPage {
  std::vector<std::pair<QSpinBox*, int32_t TGlobalSet::*>> Numbers;
  std::vector<TCheckField> Checks;
  QComboBox* UserAgent = nullptr;
  QLineEdit* AcceptLanguage = nullptr;
  QComboBox* ProxyMode = nullptr;
  QLineEdit* ProxyAddress = nullptr;
  QLineEdit* PhoneRegion = nullptr;
  QComboBox* RenderScripts = nullptr;

  void Fill(const TGlobalSet& set) {
    for (const auto& [spin, field] : Numbers) spin->setValue(set.*field);
    for (const TCheckField& check : Checks) check.Box->setChecked(set.*check.Flag);
    UserAgent->setCurrentText(QString::fromStdString(set.UserAgent));
    AcceptLanguage->setText(QString::fromStdString(set.AcceptLanguage));
    ProxyMode->setCurrentIndex(std::clamp(set.ProxyMode, 0, 2));
    ProxyAddress->setText(QString::fromStdString(set.ProxyAddress));
    PhoneRegion->setText(QString::fromStdString(set.PhoneRegion));
    RenderScripts->setCurrentIndex(std::clamp(set.RenderScripts, 0, 2));
  }
  void TakeBack(TGlobalSet& set) const {
    for (const auto& [spin, field] : Numbers) set.*field = spin->value();
    for (const TCheckField& check : Checks) set.*check.Flag = check.Box->isChecked();
    set.UserAgent = TrimmedGbk(UserAgent->currentText());
    set.AcceptLanguage = TrimmedGbk(AcceptLanguage->text());
    set.ProxyMode = ProxyMode->currentIndex();
    set.RenderScripts = RenderScripts->currentIndex();
    set.ProxyAddress = TrimmedGbk(ProxyAddress->text());
    // Region codes are two capital letters; an empty field keeps China.
    const QString region = PhoneRegion->text().trimmed().toUpper();
    set.PhoneRegion = region.isEmpty() ? std::string("CN") : region.toStdString();
  }
};

struct TOptionForm::TImpl {
  explicit TImpl(TSettingsContext c) : Context(c) {}

  TSettingsContext Context;
  TDialogErrorReporter Report = ShowErrorBox;
  TDialogQuestion Ask = AskYesNo;
  bool RangeRejected = false;  // the last Apply stopped at a number out of range
  bool Declined = false;       // the last Apply stopped at the user's "否"
  TNumberFields Numbers;
  std::vector<TCheckField> Checks;
  std::vector<TListField> Lists;
  TCrawlPage Crawl;
  std::vector<TSourceField> Sources;

  void Fill(const TGlobalSet& set) {
    Crawl.Fill(set);
    Numbers.Fill(set);
    for (const TCheckField& check : Checks) check.Box->setChecked(set.*check.Flag);
    for (const TListField& field : Lists) field.Edit->setText(ListFieldText(set.*field.List));
    for (const TSourceField& f : Sources) {
      f.Box->setChecked(SourceEnabled(*f.Def, set));
      f.Host->setText(QString::fromStdString(gbk::ToUtf8(SourceHostSetting(*f.Def, set))));
    }
  }

  void TakeBack(TGlobalSet& set) {
    Crawl.TakeBack(set);
    Numbers.TakeBack(set);
    for (const TCheckField& check : Checks) set.*check.Flag = check.Box->isChecked();
    for (const TListField& field : Lists) set.*field.List = ListFromField(field.Edit->text());
    for (const TSourceField& f : Sources) {
      set.SourceUse[f.Def->Name] = f.Box->isChecked();
      const std::string host = f.Host->text().trimmed().toStdString();
      if (host.empty())
        set.SourceHost.erase(f.Def->Name);
      else
        set.SourceHost[f.Def->Name] = gbk::FromUtf8(host);
    }
  }
};

namespace {

QLineEdit* MakeListEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMinimumWidth(320);
  return edit;
}

QCheckBox* MakeCheck(const char* name, const char* caption, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

// "网络与抓取": site budget, parallel pages, politeness and the request settings.
QWidget* MakeCrawlPage(TCrawlPage& page, QWidget* parent) {
  auto* widget = new QWidget(parent);
  auto* layout = new QVBoxLayout(widget);
  auto* crawlGroup = new QGroupBox(QStringLiteral("网站抓取"), widget);
  auto* crawlForm = new QFormLayout(crawlGroup);
  const std::array<std::tuple<const char*, const char*, int, int, int32_t TGlobalSet::*>, 6>
      numbers = {{
          {"SitePageBudget", "每个网站最多读取页数（0为不限）：", 0, 100000,
           &TGlobalSet::SitePageBudget},
          {"SiteTimeBudget", "每个网站最多用时（秒，0为不限）：", 0, 86400,
           &TGlobalSet::SiteTimeBudget},
          {"SiteParallelPages", "同一网站同时读取页数：", 1, 8, &TGlobalSet::SiteParallelPages},
          {"HostRequestLimit", "同一主机同时请求数（0为不限）：", 0, 64,
           &TGlobalSet::HostRequestLimit},
          {"PageDeadline", "每页最长用时（秒，0为不限）：", 0, 3600, &TGlobalSet::PageDeadline},
          {"LowSpeedLimit", "最低速度（字节/秒，0为不限）：", 0, 1000000,
           &TGlobalSet::LowSpeedLimit},
      }};
  for (const auto& [name, caption, low, high, field] : numbers) {
    auto* spin = new QSpinBox(crawlGroup);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    crawlForm->addRow(QString::fromUtf8(caption), spin);
    page.Numbers.emplace_back(spin, field);
  }
  QCheckBox* robots = MakeCheck("UseRobotsTxt", "遵守网站的 robots.txt", crawlGroup);
  crawlForm->addRow(robots);
  page.Checks.push_back({robots, &TGlobalSet::UseRobotsTxt});
  layout->addWidget(crawlGroup);

  // Pages whose contacts only their scripts write, read by the built-in browser.
  auto* renderGroup = new QGroupBox(QStringLiteral("脚本生成的网页"), widget);
  auto* renderForm = new QFormLayout(renderGroup);
  page.RenderScripts = new QComboBox(renderGroup);
  page.RenderScripts->setObjectName(QStringLiteral("RenderScripts"));
  page.RenderScripts->addItems({QStringLiteral("从不渲染"),
                                QStringLiteral("仅在需要时（页面无联系信息且由脚本生成）"),
                                QStringLiteral("总是渲染")});
  renderForm->addRow(QStringLiteral("用内置浏览器渲染："), page.RenderScripts);
  std::vector<QWidget*> renderFields = {page.RenderScripts};
  const std::array<std::tuple<const char*, const char*, int, int, int32_t TGlobalSet::*>, 2>
      renderNumbers = {{
          {"RenderParallel", "同时渲染页数：", 1, kMaxRenderParallel, &TGlobalSet::RenderParallel},
          {"RenderDeadline", "每页最长渲染时间（秒）：", 1, kMaxRenderDeadline,
           &TGlobalSet::RenderDeadline},
      }};
  for (const auto& [name, caption, low, high, field] : renderNumbers) {
    auto* spin = new QSpinBox(renderGroup);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    renderForm->addRow(QString::fromUtf8(caption), spin);
    page.Numbers.emplace_back(spin, field);
    renderFields.push_back(spin);
  }
#ifndef VELTRA_HAVE_BROWSER
  for (QWidget* field : renderFields) {
    field->setEnabled(false);
    field->setToolTip(QStringLiteral("此版本未包含内置浏览器（Qt WebEngine），无法渲染网页"));
  }
#endif
  layout->addWidget(renderGroup);

  auto* netGroup = new QGroupBox(QStringLiteral("网络请求"), widget);
  auto* netForm = new QFormLayout(netGroup);
  page.UserAgent = new QComboBox(netGroup);
  page.UserAgent->setObjectName(QStringLiteral("UserAgent"));
  page.UserAgent->setEditable(true);
  page.UserAgent->addItem(QString::fromStdString(DefaultUserAgent()));
  page.UserAgent->addItem(QString::fromLatin1(kBrowserUserAgent));
  page.UserAgent->addItem(QString());
  page.UserAgent->setMinimumWidth(320);
  netForm->addRow(QStringLiteral("User-Agent（留空为经典标识）："), page.UserAgent);
  page.AcceptLanguage = new QLineEdit(netGroup);
  page.AcceptLanguage->setObjectName(QStringLiteral("AcceptLanguage"));
  netForm->addRow(QStringLiteral("Accept-Language："), page.AcceptLanguage);
  page.ProxyMode = new QComboBox(netGroup);
  page.ProxyMode->setObjectName(QStringLiteral("ProxyMode"));
  page.ProxyMode->addItems({QStringLiteral("不使用代理"),
                            QStringLiteral("使用系统代理（环境变量）"),
                            QStringLiteral("使用以下代理")});
  netForm->addRow(QStringLiteral("代理："), page.ProxyMode);
  page.ProxyAddress = new QLineEdit(netGroup);
  page.ProxyAddress->setObjectName(QStringLiteral("ProxyAddress"));
  page.ProxyAddress->setPlaceholderText(QStringLiteral("http://主机:端口"));
  netForm->addRow(QStringLiteral("代理地址："), page.ProxyAddress);
  QCheckBox* brokenTls = MakeCheck("AcceptBrokenTls", "接受证书无效的 https 网站", netGroup);
  netForm->addRow(brokenTls);
  page.Checks.push_back({brokenTls, &TGlobalSet::AcceptBrokenTls});
  layout->addWidget(netGroup);

  auto* leadGroup = new QGroupBox(QStringLiteral("线索"), widget);
  auto* leadForm = new QFormLayout(leadGroup);
  QCheckBox* merge = MakeCheck("MergeLeads", "合并同一公司的记录（电话或电子邮件相同）", leadGroup);
  leadForm->addRow(merge);
  page.Checks.push_back({merge, &TGlobalSet::MergeLeads});
  page.PhoneRegion = new QLineEdit(leadGroup);
  page.PhoneRegion->setObjectName(QStringLiteral("PhoneRegion"));
  page.PhoneRegion->setMaxLength(2);
  page.PhoneRegion->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[A-Za-z]{0,2}")), page.PhoneRegion));
  page.PhoneRegion->setToolTip(QStringLiteral("不带“+”的号码所属的国家或地区代码，如 CN"));
  leadForm->addRow(QStringLiteral("电话号码默认地区："), page.PhoneRegion);
  layout->addWidget(leadGroup);
  layout->addStretch();
  return widget;
}

// Every section the dialog shows.
void SaveOptionSettings(const TGlobalSet& set, const std::string& path) {
  SaveSettings(set, path);
  SaveCrawlSettings(set, path);
  SaveLeadSettings(set, path);
  SaveRecognitionSwitch(set, path);
}

}  // namespace

TOptionForm::TOptionForm(TSettingsContext context, QWidget* parent)
    : QDialog(parent), impl_(std::make_unique<TImpl>(context)) {
  setWindowTitle(QStringLiteral("选项"));
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("PageControl1"));
  TImpl& d = *impl_;

  // "常规选项"
  auto* general = new QWidget(tabs);
  auto* generalLayout = new QVBoxLayout(general);
  auto* numbers = new QFormLayout;
  d.Numbers = AddNumberFields(numbers, general, {"Edit1", "Edit2", "Edit3"});
  generalLayout->addLayout(numbers);

  auto* findGroup = new QGroupBox(QStringLiteral("查找选项"), general);
  auto* findLayout = new QVBoxLayout(findGroup);
  const std::array<TCheckField, 4> finds = {{
      {MakeCheck("CheckBox1", "查找电子邮件", findGroup), &TGlobalSet::FlagFindMailAddress},
      {MakeCheck("CheckBox2", "查找电话和传真", findGroup), &TGlobalSet::FlagFindTelAndFax},
      {MakeCheck("CheckBox3", "查找地址和邮编", findGroup),
       &TGlobalSet::FlagFindAddressAndPostCode},
      {MakeCheck("ModernRecognitionBox", "按格式识别未标注的邮箱和电话、各分支机构及公司名称",
                 findGroup),
       &TGlobalSet::FlagModernRecognition},
  }};
  for (const TCheckField& check : finds) {
    findLayout->addWidget(check.Box);
    d.Checks.push_back(check);
  }
  generalLayout->addWidget(findGroup);

  // The classic engines keep their boxes CheckBox4 ... CheckBox9; today's sources follow
  // with their host or base URL, all from the source registry.
  auto* engineGroup = new QGroupBox(QStringLiteral("搜索引擎"), general);
  auto* engineLayout = new QGridLayout(engineGroup);
  auto* sourceGroup = new QGroupBox(QStringLiteral("网络搜索来源"), general);
  auto* sourceLayout = new QGridLayout(sourceGroup);
  int classic = 0;
  for (const TSourceDef& def : TSourceRegistry::Default().Entries()) {
    if (def.Kind == TSourceKind::Classic) {
      const std::string name = "CheckBox" + std::to_string(4 + classic);
      QCheckBox* box = MakeCheck(name.c_str(), def.Caption.c_str(), engineGroup);
      engineLayout->addWidget(box, classic / 3, classic % 3);
      d.Checks.push_back({box, def.ClassicFlag});
      ++classic;
      continue;
    }
    const int row = static_cast<int>(d.Sources.size());
    QCheckBox* box = MakeCheck(("Source" + def.Name).c_str(), def.Caption.c_str(), sourceGroup);
    QLineEdit* host = MakeListEdit(("SourceHost" + def.Name).c_str(), sourceGroup);
    host->setPlaceholderText(QString::fromStdString(def.BaseURL));
    sourceLayout->addWidget(box, row, 0);
    sourceLayout->addWidget(host, row, 1);
    d.Sources.push_back({box, host, &def});
  }
  generalLayout->addWidget(engineGroup);
  if (!d.Sources.empty()) generalLayout->addWidget(sourceGroup);
  generalLayout->addStretch();
  tabs->addTab(general, QStringLiteral("常规选项"));

  // "信息匹配选项"
  auto* matching = new QWidget(tabs);
  auto* matchingLayout = new QFormLayout(matching);
  const std::array<std::tuple<const char*, const char*, TLikeList TGlobalSet::*>, 6> prefixes = {{
      {"Edit12", "名称前缀：", &TGlobalSet::CompanyLike},
      {"Edit4", "地址前缀：", &TGlobalSet::AddressLike},
      {"Edit5", "邮编前缀：", &TGlobalSet::PostCodeLike},
      {"Edit6", "电话前缀：", &TGlobalSet::telephoneLike},
      {"Edit7", "传真前缀：", &TGlobalSet::faxnoLike},
      {"Edit8", "电邮前缀：", &TGlobalSet::MailAddressLike},
  }};
  for (const auto& [name, caption, list] : prefixes) {
    QLineEdit* edit = MakeListEdit(name, matching);
    matchingLayout->addRow(QString::fromUtf8(caption), edit);
    d.Lists.push_back({edit, list, QString::fromUtf8(caption)});
  }
  tabs->addTab(matching, QStringLiteral("信息匹配选项"));

  // "信息过滤选项"
  auto* filter = new QWidget(tabs);
  auto* filterLayout = new QVBoxLayout(filter);
  auto* pageGroup =
      new QGroupBox(QStringLiteral("爬行网站过程中公司联系方式所在网址包含特征"), filter);
  auto* pageGroupLayout = new QVBoxLayout(pageGroup);
  QLineEdit* htmlName = MakeListEdit("Edit9", pageGroup);
  pageGroupLayout->addWidget(htmlName);
  d.Lists.push_back({htmlName, &TGlobalSet::HTMLNameLike, pageGroup->title()});
  filterLayout->addWidget(pageGroup);
  auto* contentGroup = new QGroupBox(QStringLiteral("信息包含选项"), filter);
  auto* contentLayout = new QFormLayout(contentGroup);
  QLineEdit* companyName = MakeListEdit("Edit10", contentGroup);
  QLineEdit* addressContent = MakeListEdit("Edit11", contentGroup);
  contentLayout->addRow(QStringLiteral("公司名称信息包含："), companyName);
  contentLayout->addRow(QStringLiteral("公司地址信息包含："), addressContent);
  d.Lists.push_back(
      {companyName, &TGlobalSet::CompanyNameLike, QStringLiteral("公司名称信息包含")});
  d.Lists.push_back(
      {addressContent, &TGlobalSet::AddressContentLike, QStringLiteral("公司地址信息包含")});
  filterLayout->addWidget(contentGroup);
  filterLayout->addStretch();
  tabs->addTab(filter, QStringLiteral("信息过滤选项"));

  // "指定网站搜索选项"
  auto* pointWeb = new QWidget(tabs);
  auto* pointLayout = new QVBoxLayout(pointWeb);
  const std::array<std::tuple<const char*, const char*, TLikeList TGlobalSet::*>, 3> links = {{
      {"Edit13", "信息链接网址包含以下所有字符：", &TGlobalSet::InfoLinkLike},
      {"Edit14", "后续链接网址包含以下所有字符：", &TGlobalSet::NextPageLinkLike},
      {"Edit15", "后续链接名称包含特征：", &TGlobalSet::NextPageLike},
  }};
  for (const auto& [name, caption, list] : links) {
    pointLayout->addWidget(new QLabel(QString::fromUtf8(caption), pointWeb));
    QLineEdit* edit = MakeListEdit(name, pointWeb);
    pointLayout->addWidget(edit);
    d.Lists.push_back({edit, list});
  }
  QCheckBox* useCompanyName = MakeCheck("CheckBox10", "使用公司名称包含特征过滤信息链接", pointWeb);
  QCheckBox* useNextPage =
      MakeCheck("CheckBox11", "使用后续链接名称包含特征过滤后续链接", pointWeb);
  pointLayout->addWidget(useCompanyName);
  pointLayout->addWidget(useNextPage);
  pointLayout->addStretch();
  d.Checks.push_back({useCompanyName, &TGlobalSet::BUseCompanyNameLike});
  d.Checks.push_back({useNextPage, &TGlobalSet::BUseNextPageLike});
  tabs->addTab(pointWeb, QStringLiteral("指定网站搜索选项"));
  tabs->addTab(MakeCrawlPage(d.Crawl, tabs), QStringLiteral("网络与抓取"));
  layout->addWidget(tabs);

  auto* defaultButton = new QPushButton(QStringLiteral("默认(&D)"), this);
  defaultButton->setObjectName(QStringLiteral("DefaultButton"));
  auto* okButton = new QPushButton(QStringLiteral("确定(&O)"), this);
  okButton->setObjectName(QStringLiteral("OkButton"));
  okButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("取消(&C)"), this);
  cancelButton->setObjectName(QStringLiteral("CancelButton"));
  auto* applyButton = new QPushButton(QStringLiteral("应用(&A)"), this);
  applyButton->setObjectName(QStringLiteral("ApplyButton"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(defaultButton);
  buttons->addStretch();
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  buttons->addWidget(applyButton);
  layout->addLayout(buttons);

  connect(defaultButton, &QPushButton::clicked, this, [this] {
    // Today's sources as the source registry ships them.
    TGlobalSet factory = FactoryGlobalSet();
    factory.SourceDefaultsApply = true;
    impl_->Fill(factory);
  });
  connect(applyButton, &QPushButton::clicked, this, [this] { Apply(); });
  connect(okButton, &QPushButton::clicked, this, [this] {
    // A number out of range keeps the dialog open on it, with its allowed range shown.
    if (!Apply() && (impl_->RangeRejected || impl_->Declined)) return;
    accept();
  });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  d.Fill(d.Context.Settings);
  if (d.Context.Settings.FlagModernWindow)
    d.Numbers.WatchRange([okButton, applyButton](bool valid) {
      okButton->setEnabled(valid);
      applyButton->setEnabled(valid);
    });
}

TOptionForm::~TOptionForm() = default;

void TOptionForm::SetQuestionAsker(TDialogQuestion ask) {
  impl_->Ask = std::move(ask);
}

void TOptionForm::SetErrorReporter(TDialogErrorReporter reporter) {
  impl_->Report = std::move(reporter);
}

bool TOptionForm::Apply() {
  TImpl& d = *impl_;
  const QStringList problems = d.Numbers.RangeProblems();
  d.RangeRejected = d.Context.Settings.FlagModernWindow && !problems.isEmpty();
  d.Declined = false;
  if (d.RangeRejected) {
    // Told once: the fields show the values that stand, and a second confirmation takes them.
    d.Numbers.ForgetRejected();
    if (d.Report) d.Report(this, problems.join('\n'));
    return false;
  }
  if (d.Context.Settings.FlagModernWindow) {
    std::vector<std::pair<QString, QString>> lists;
    for (const TListField& field : d.Lists)
      if (!field.Caption.isEmpty()) lists.emplace_back(field.Caption, field.Edit->text());
    if (const QString empty = EmptyListNames(lists);
        !empty.isEmpty() && !(d.Ask && d.Ask(this, EmptyListsQuestion(empty)))) {
      d.Declined = true;
      return false;
    }
  }
  d.TakeBack(d.Context.Settings);
  return PublishAndSave(d.Context, SaveOptionSettings, this, d.Report);
}
