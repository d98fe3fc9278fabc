// "软件设置向导": the recognition lists and the general settings in three steps.

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <tuple>

#include "ui/dialog_support.h"
#include "ui/dialogs.h"

namespace {

using TListMember = TLikeList TGlobalSet::*;
using TFlagMember = bool TGlobalSet::*;

// The lists of steps one and two, in the order of their fields.
constexpr std::array<std::tuple<const char*, const char*, TListMember>, 9> kListFields = {{
    {"CompanyLike", "名称前缀：", &TGlobalSet::CompanyLike},
    {"AddressLike", "地址前缀：", &TGlobalSet::AddressLike},
    {"PostCodeLike", "邮编前缀：", &TGlobalSet::PostCodeLike},
    {"telephoneLike", "电话前缀：", &TGlobalSet::telephoneLike},
    {"faxnoLike", "传真前缀：", &TGlobalSet::faxnoLike},
    {"MailAddressLike", "电邮前缀：", &TGlobalSet::MailAddressLike},
    {"HTMLNameLike", "爬行网站的过程中优先搜索包含以下特征之一的网页：", &TGlobalSet::HTMLNameLike},
    {"CompanyNameLike", "公司名称信息包含以下特征之一：", &TGlobalSet::CompanyNameLike},
    {"AddressContentLike", "公司地址信息包含以下特征之一：", &TGlobalSet::AddressContentLike},
}};
constexpr std::size_t kStepOneFields = 6;

constexpr std::array<std::tuple<const char*, const char*, TFlagMember>, 3> kFindFlags = {{
    {"FlagFindMailAddress", "查找电子邮件", &TGlobalSet::FlagFindMailAddress},
    {"FlagFindTelAndFax", "查找电话和传真", &TGlobalSet::FlagFindTelAndFax},
    {"FlagFindAddressAndPostCode", "查找地址和邮编", &TGlobalSet::FlagFindAddressAndPostCode},
}};

}  // namespace

struct TSettingWizardForm::TImpl {
  TImpl(TSettingsContext c, QDialog* dialog)
      : Context(c), Pager(dialog, QStringLiteral("软件设置向导"), 3) {}

  TSettingsContext Context;
  TWizardPager Pager;
  TDialogErrorReporter Report = ShowErrorBox;
  TDialogQuestion Ask = AskYesNo;
  std::array<QLineEdit*, kListFields.size()> ListEdits{};
  TNumberFields Numbers;
  std::array<QCheckBox*, kFindFlags.size()> FlagBoxes{};
};

TSettingWizardForm::TSettingWizardForm(TSettingsContext context, QWidget* parent)
    : QDialog(parent), impl_(std::make_unique<TImpl>(context, this)) {
  TImpl& d = *impl_;
  const TGlobalSet& set = d.Context.Settings;

  auto addListField = [&](QVBoxLayout* body, std::size_t i) {
    const auto& [name, caption, list] = kListFields[i];
    body->addWidget(new QLabel(QString::fromUtf8(caption), body->parentWidget()));
    auto* edit = new QLineEdit(ListFieldText(set.*list), body->parentWidget());
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(380);
    body->addWidget(edit);
    d.ListEdits[i] = edit;
  };

  d.Pager.ChineseSteps = d.Context.Settings.FlagModernWindow;
  // The address prefix field stays enabled whatever the find switches say: it is a label
  // list like the others and no switch is about it alone.
  QVBoxLayout* stepOne =
      d.Pager.AddPage(QStringLiteral("步骤一：输入进行信息匹配的特征前缀(用分号分隔，关系为或)"));
  for (std::size_t i = 0; i < kStepOneFields; ++i) addListField(stepOne, i);
  stepOne->addStretch();

  QVBoxLayout* stepTwo =
      d.Pager.AddPage(QStringLiteral("步骤二：输入进行信息处理的辅助信息(用分号分隔，关系为或)"));
  for (std::size_t i = kStepOneFields; i < kListFields.size(); ++i) addListField(stepTwo, i);
  stepTwo->addStretch();

  QVBoxLayout* stepThree = d.Pager.AddPage(QStringLiteral("步骤三：输入软件的一般设置"));
  QWidget* pageThree = stepThree->parentWidget();
  auto* numbers = new QFormLayout;
  d.Numbers = AddNumberFields(numbers, pageThree,
                              {"MaxFindWebThreadCount", "MaxCrawlLevel", "MaxReadHTMLTimeOut"});
  d.Numbers.Fill(set);
  stepThree->addLayout(numbers);
  auto* findGroup = new QGroupBox(QStringLiteral("查找选项"), pageThree);
  auto* findLayout = new QVBoxLayout(findGroup);
  for (std::size_t i = 0; i < kFindFlags.size(); ++i) {
    const auto& [name, caption, flag] = kFindFlags[i];
    auto* box = new QCheckBox(QString::fromUtf8(caption), findGroup);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(set.*flag);
    findLayout->addWidget(box);
    d.FlagBoxes[i] = box;
  }
  stepThree->addWidget(findGroup);
  stepThree->addStretch();

  d.Pager.OnShow = [this](int page) {
    TImpl& s = *impl_;
    QWidget* focus = page == 1   ? static_cast<QWidget*>(s.ListEdits[0])
                     : page == 2 ? static_cast<QWidget*>(s.ListEdits[kStepOneFields])
                                 : static_cast<QWidget*>(s.Numbers.ThreadCount);
    focus->setFocus();
    // A number out of range holds the finish back until it is put right.
    if (s.Context.Settings.FlagModernWindow) s.Pager.Finish->setEnabled(s.Numbers.AllValid());
  };
  if (d.Context.Settings.FlagModernWindow)
    d.Numbers.WatchRange([this](bool valid) { impl_->Pager.Finish->setEnabled(valid); });
  connect(d.Pager.Finish, &QPushButton::clicked, this, [this] {
    if (Finish()) accept();
  });
  d.Pager.ShowPage(1);
}

TSettingWizardForm::~TSettingWizardForm() = default;

void TSettingWizardForm::SetErrorReporter(TDialogErrorReporter reporter) {
  impl_->Report = std::move(reporter);
}

void TSettingWizardForm::SetQuestionAsker(TDialogQuestion ask) {
  impl_->Ask = std::move(ask);
}

int TSettingWizardForm::PageNumber() const {
  return impl_->Pager.Page();
}

bool TSettingWizardForm::Finish() {
  TImpl& d = *impl_;
  TGlobalSet& set = d.Context.Settings;
  if (set.FlagModernWindow) {
    std::vector<std::pair<QString, QString>> lists;
    for (std::size_t i = 0; i < kListFields.size(); ++i)
      lists.emplace_back(QString::fromUtf8(std::get<1>(kListFields[i])), d.ListEdits[i]->text());
    if (const QString empty = EmptyListNames(lists);
        !empty.isEmpty() && !(d.Ask && d.Ask(this, EmptyListsQuestion(empty))))
      return false;
  }
  for (std::size_t i = 0; i < kListFields.size(); ++i)
    set.*std::get<2>(kListFields[i]) = ListFromField(d.ListEdits[i]->text());
  d.Numbers.TakeBack(set);
  for (std::size_t i = 0; i < kFindFlags.size(); ++i)
    set.*std::get<2>(kFindFlags[i]) = d.FlagBoxes[i]->isChecked();
  return PublishAndSave(d.Context, SaveMatchingSettings, this, d.Report);
}
