// The two search wizards: they prepare a keyword or a directory-site search by filling the
// main window's input box and mode buttons and saving their settings. Neither starts a run.

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "engines/source_registry.h"
#include "run/run_view.h"
#include "ui/dialog_support.h"
#include "ui/dialogs.h"

namespace {

QLineEdit* AddLineEdit(QVBoxLayout* body, const char* name, const QString& text) {
  auto* edit = new QLineEdit(text, body->parentWidget());
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMinimumWidth(380);
  body->addWidget(edit);
  return edit;
}

QCheckBox* AddCheck(QVBoxLayout* body, const char* name, const char* caption, bool checked) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), body->parentWidget());
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  body->addWidget(box);
  return box;
}

// Page 1 of both wizards: going on needs a text that is not blank.
void EnableNextForText(TWizardPager& pager, const QLineEdit* edit) {
  if (pager.Page() == 1) pager.Next->setEnabled(!TrimmedGbk(edit->text()).empty());
}

}  // namespace

// ---------------------------------------------------------------------------------------
// "关键词搜索向导"

namespace {

// One box per source of the registry: the classic engines named after their FlagUse...
// key, today's sources "Source" + name.
struct TEngineBox {
  QCheckBox* Box;
  const TSourceDef* Def;
};

}  // namespace

struct TSearchContentWizardForm::TImpl {
  TImpl(TSettingsContext c, TRunView& view, QDialog* dialog)
      : Context(c), View(view), Pager(dialog, QStringLiteral("关键词搜索向导"), 2) {}

  TSettingsContext Context;
  TRunView& View;
  TWizardPager Pager;
  TDialogErrorReporter Report = ShowErrorBox;
  TDialogQuestion Ask = AskYesNo;
  QLineEdit* Keywords = nullptr;
  std::vector<TEngineBox> Engines;
};

TSearchContentWizardForm::TSearchContentWizardForm(TSettingsContext context, TRunView& mainWindow,
                                                   QWidget* parent)
    : QDialog(parent), impl_(std::make_unique<TImpl>(context, mainWindow, this)) {
  TImpl& d = *impl_;
  d.Pager.ChineseSteps = d.Context.Settings.FlagModernWindow;
  QVBoxLayout* stepOne = d.Pager.AddPage(QStringLiteral("步骤一：输入要搜索的关键词"));
  d.Keywords = AddLineEdit(stepOne, "KeywordEdit", QFromGbk(mainWindow.InputText()));
  stepOne->addStretch();

  QVBoxLayout* stepTwo = d.Pager.AddPage(QStringLiteral("步骤二：选择要使用的搜索引擎"));
  auto* grid = new QGridLayout;
  // Columns of three, in registry order.
  for (const TSourceDef& def : TSourceRegistry::Default().Entries()) {
    const int i = static_cast<int>(d.Engines.size());
    auto* box = new QCheckBox(QString::fromStdString(def.Caption), stepTwo->parentWidget());
    const std::string name =
        def.Kind == TSourceKind::Classic ? "FlagUse" + def.HostKey : "Source" + def.Name;
    box->setObjectName(QString::fromStdString(name));
    box->setChecked(SourceEnabled(def, d.Context.Settings));
    grid->addWidget(box, i % 3, i / 3);
    d.Engines.push_back({box, &def});
  }
  stepTwo->addLayout(grid);
  stepTwo->addStretch();

  d.Pager.OnShow = [this](int page) {
    TImpl& s = *impl_;
    if (page == 1) {
      EnableNextForText(s.Pager, s.Keywords);
      s.Keywords->setFocus();
    } else {
      if (!s.Engines.empty()) s.Engines[0].Box->setFocus();
    }
  };
  connect(d.Keywords, &QLineEdit::textChanged, this,
          [this] { EnableNextForText(impl_->Pager, impl_->Keywords); });
  connect(d.Pager.Finish, &QPushButton::clicked, this, [this] {
    if (Finish()) accept();
  });
  d.Pager.ShowPage(1);
}

TSearchContentWizardForm::~TSearchContentWizardForm() = default;

void TSearchContentWizardForm::SetErrorReporter(TDialogErrorReporter reporter) {
  impl_->Report = std::move(reporter);
}

void TSearchContentWizardForm::SetQuestionAsker(TDialogQuestion ask) {
  impl_->Ask = std::move(ask);
}

int TSearchContentWizardForm::PageNumber() const {
  return impl_->Pager.Page();
}

bool TSearchContentWizardForm::Finish() {
  TImpl& d = *impl_;
  if (d.Context.Settings.FlagModernWindow &&
      std::none_of(d.Engines.begin(), d.Engines.end(),
                   [](const TEngineBox& e) { return e.Box->isChecked(); })) {
    // A search with no source finds nothing: the wizard does not finish that way.
    const bool back =
        d.Ask && d.Ask(this, QStringLiteral("没有选择任何搜索来源，关键词搜索将得不到任何网址，"
                                            "向导无法完成。\n是否返回选择搜索来源？"
                                            "（选“否”关闭向导，不做任何更改）"));
    if (back && !d.Engines.empty())
      d.Engines[0].Box->setFocus();
    else if (!back)
      reject();
    return false;
  }
  d.View.SetInputText(TrimmedGbk(d.Keywords->text()));
  d.View.SetModeButtons(true, false);
  TGlobalSet& set = d.Context.Settings;
  for (const TEngineBox& e : d.Engines) {
    if (e.Def->ClassicFlag)
      set.*e.Def->ClassicFlag = e.Box->isChecked();
    else
      set.SourceUse[e.Def->Name] = e.Box->isChecked();
  }
  return PublishAndSave(d.Context, SaveEngineSettings, this, d.Report);
}

// ---------------------------------------------------------------------------------------
// "指定网站搜索向导"

struct TSearchPointWebWizardForm::TImpl {
  TImpl(TSettingsContext c, TRunView& view, QDialog* dialog)
      : Context(c), View(view), Pager(dialog, QStringLiteral("指定网站搜索向导"), 3) {}

  TSettingsContext Context;
  TRunView& View;
  TWizardPager Pager;
  TDialogErrorReporter Report = ShowErrorBox;
  QLineEdit* Address = nullptr;
  QLineEdit* InfoLink = nullptr;
  QCheckBox* UseCompanyName = nullptr;
  QLineEdit* NextPageLink = nullptr;
  QCheckBox* UseNextPage = nullptr;
  QLineEdit* NextPage = nullptr;
};

TSearchPointWebWizardForm::TSearchPointWebWizardForm(TSettingsContext context, TRunView& mainWindow,
                                                     QWidget* parent)
    : QDialog(parent), impl_(std::make_unique<TImpl>(context, mainWindow, this)) {
  TImpl& d = *impl_;
  const TGlobalSet& set = d.Context.Settings;
  d.Pager.ChineseSteps = set.FlagModernWindow;

  // Keywords typed for a keyword search are no address; only a directory search's input or
  // something that reads as an address is offered.
  const QString input = QFromGbk(mainWindow.InputText()).trimmed();
  const bool addressLike = mainWindow.WebsiteModeSelected() ||
                           input.startsWith(QStringLiteral("http"), Qt::CaseInsensitive) ||
                           input.startsWith(QStringLiteral("www."), Qt::CaseInsensitive);
  QVBoxLayout* stepOne = d.Pager.AddPage(QStringLiteral("步骤一：输入要搜索的网站的初始链接地址"));
  d.Address = AddLineEdit(
      stepOne, "AddressEdit",
      !set.FlagModernWindow || addressLike ? QFromGbk(mainWindow.InputText()) : QString());
  stepOne->addStretch();

  QVBoxLayout* stepTwo =
      d.Pager.AddPage(QStringLiteral("步骤二：输入有效信息链接地址中包含的字符："));
  d.InfoLink = AddLineEdit(stepTwo, "InfoLinkLike", ListFieldText(set.InfoLinkLike));
  d.UseCompanyName = AddCheck(stepTwo, "BUseCompanyNameLike", "使用公司名称特征过滤信息链接文本",
                              set.BUseCompanyNameLike);
  stepTwo->addStretch();

  QVBoxLayout* stepThree = d.Pager.AddPage(
      QStringLiteral("步骤三：输入后续链接地址中包含的字符(用分号分隔,关系为与)："));
  d.NextPageLink = AddLineEdit(stepThree, "NextPageLinkLike", ListFieldText(set.NextPageLinkLike));
  d.UseNextPage = AddCheck(stepThree, "BUseNextPageLike", "使用后续链接包含特征过滤后续链接文本",
                           set.BUseNextPageLike);
  stepThree->addWidget(new QLabel(QStringLiteral("后续链接包含特征(用分号分隔,关系为或)："),
                                  stepThree->parentWidget()));
  d.NextPage = AddLineEdit(stepThree, "NextPageLike", ListFieldText(set.NextPageLike));
  stepThree->addStretch();
  d.NextPage->setEnabled(d.UseNextPage->isChecked());

  connect(d.UseNextPage, &QCheckBox::toggled, d.NextPage, &QWidget::setEnabled);
  d.Pager.OnShow = [this](int page) {
    TImpl& s = *impl_;
    if (page == 1) {
      EnableNextForText(s.Pager, s.Address);
      s.Address->setFocus();
    } else if (page == 2) {
      s.InfoLink->setFocus();
    } else {
      s.NextPageLink->setFocus();
    }
  };
  connect(d.Address, &QLineEdit::textChanged, this,
          [this] { EnableNextForText(impl_->Pager, impl_->Address); });
  connect(d.Pager.Finish, &QPushButton::clicked, this, [this] {
    if (Finish()) accept();
  });
  d.Pager.ShowPage(1);
}

TSearchPointWebWizardForm::~TSearchPointWebWizardForm() = default;

void TSearchPointWebWizardForm::SetErrorReporter(TDialogErrorReporter reporter) {
  impl_->Report = std::move(reporter);
}

int TSearchPointWebWizardForm::PageNumber() const {
  return impl_->Pager.Page();
}

bool TSearchPointWebWizardForm::Finish() {
  TImpl& d = *impl_;
  d.View.SetInputText(TrimmedGbk(d.Address->text()));
  d.View.SetModeButtons(false, true);
  TGlobalSet& set = d.Context.Settings;
  set.BUseCompanyNameLike = d.UseCompanyName->isChecked();
  set.BUseNextPageLike = d.UseNextPage->isChecked();
  set.InfoLinkLike = ListFromField(d.InfoLink->text());
  set.NextPageLinkLike = ListFromField(d.NextPageLink->text());
  set.NextPageLike = ListFromField(d.NextPage->text());
  return PublishAndSave(d.Context, SavePointWebSettings, this, d.Report);
}
