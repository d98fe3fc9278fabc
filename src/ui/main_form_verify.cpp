// The main window's side of blocked search sources: the status panel's links to their
// verification pages, the offer at the end of a run, the built-in browser (when this build
// has it) and the cookies it hands over, or else how to pass the verification with a cookie
// file.

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "core/gbk.h"
#include "core/log.h"
#include "run/app_root.h"
#include "run/run_control.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"

#ifdef VELTRA_HAVE_BROWSER
#include "browser/verification_window.h"
#endif

namespace {

QString CookieFileRoute(const QString& address) {
  return QStringLiteral(
             "请在浏览器中打开 %1 并通过验证，用浏览器的 Cookie 导出扩展把该网站的 Cookie 存为 "
             "Netscape 格式的 cookies.txt，保存任务后用\n"
             "veltra-cli search --cookies cookies.txt --continue 任务.swrw\n继续搜索。")
      .arg(address);
}

QString NoBrowserTip() {
  return QStringLiteral(
      "此版本没有内置浏览器：请在浏览器中通过验证，把 Cookie 导出为 cookies.txt，"
      "再用 veltra-cli search --cookies cookies.txt --continue 任务.swrw 继续");
}

}  // namespace

bool TMainForm::HasBrowser() {
#ifdef VELTRA_HAVE_BROWSER
  return true;
#else
  return false;
#endif
}

QAction* TMainForm::CreateVerifyAction() {
  VerifyAction = new QAction(QStringLiteral("打开验证页面..."), this);
  VerifyAction->setObjectName(QStringLiteral("VerifyAction"));
  connect(VerifyAction, &QAction::triggered, this, [this] {
    const auto blocked = runControl_->BlockedSources();
    if (!blocked.empty()) OpenVerification(blocked.front().Name);
  });
  return VerifyAction;
}

void TMainForm::UpdateVerifyAction() {
  // A command of today's window; the classic menus stay as they were.
  VerifyAction->setVisible(ModernWindow());
  const bool any = !runControl_->BlockedSources().empty();
  VerifyAction->setEnabled(any && HasBrowser());
  const QString tip =
      HasBrowser() ? QStringLiteral("在程序自带的浏览器中通过受阻搜索引擎的验证") : NoBrowserTip();
  if (VerifyAction->toolTip() != tip) VerifyAction->setToolTip(tip);
}

void TMainForm::ShowSourceStatus(const std::string& text) {
  QLabel* panel = statusPanels_[4];
  const QString plain = QFromGbk(text);
  const auto blocked =
      runControl_ ? runControl_->BlockedSources() : std::vector<TBlockedSourceNotice>();
  if (blocked.empty()) {
    panel->setTextFormat(Qt::PlainText);
    panel->setText(plain);
    panel->setToolTip(QString());
    return;
  }
  // Entries are separated by two blanks: "00:01:02  百度网页 12  必应 3 受阻".
  QStringList parts = plain.split(QStringLiteral("  "));
  for (QString& part : parts) {
    QString html = part.toHtmlEscaped();
    for (const auto& b : blocked) {
      if (part.startsWith(QFromGbk(b.Caption) + ' ') && part.endsWith(QStringLiteral("受阻")))
        html = QStringLiteral("<a href=\"verify:%1\">%2</a>")
                   .arg(QString::fromStdString(b.Name).toHtmlEscaped(), html);
    }
    part = html;
  }
  panel->setTextFormat(Qt::RichText);
  panel->setText(parts.join(QStringLiteral("&nbsp;&nbsp;")));
  panel->setToolTip(HasBrowser() ? QStringLiteral("点击受阻的搜索引擎，打开它的验证页面")
                                 : NoBrowserTip());
}

void TMainForm::SourcesBlocked(const std::vector<TBlockedSourceNotice>& blocked) {
  QStringList names;
  for (const auto& b : blocked) names << QFromGbk(b.Caption);
  QString text =
      QStringLiteral("以下搜索引擎要求验证（受阻）：%1。\n").arg(names.join(QStringLiteral("、")));
  if (HasBrowser())
    text += QStringLiteral(
        "可以在程序自带的浏览器中打开验证页面，通过验证后按“完成验证”，"
        "搜索即从受阻的那一页继续。");
  else
    text += CookieFileRoute(QString::fromStdString(blocked.front().VerifyURL));
  if (OfferVerification(text) && HasBrowser()) OpenVerification(blocked.front().Name);
}

bool TMainForm::OfferVerification(const QString& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::NoButton,
                  this);
  QPushButton* open = nullptr;
  if (HasBrowser()) open = box.addButton(QStringLiteral("打开验证页面"), QMessageBox::AcceptRole);
  box.addButton(HasBrowser() ? QStringLiteral("关闭") : QStringLiteral("确定"),
                QMessageBox::RejectRole);
  box.exec();
  return open && box.clickedButton() == open;
}

void TMainForm::OpenVerification(const std::string& name) {
  const auto blocked = runControl_->BlockedSources();
  const auto it = std::find_if(blocked.begin(), blocked.end(),
                               [&](const TBlockedSourceNotice& b) { return b.Name == name; });
  if (it == blocked.end()) return;  // passed meanwhile
  const QString address = QString::fromStdString(it->VerifyURL);
#ifdef VELTRA_HAVE_BROWSER
  auto* window = new TVerificationWindow(
      QFromGbk(it->Caption), QUrl(address),
      [this, name](std::vector<TCookie> cookies) { VerificationPassed(name, std::move(cookies)); },
      this);
  window->show();
#else
  ShowMessage(GbkFromQ(QStringLiteral("此版本没有内置浏览器。") + CookieFileRoute(address)),
              GBK("提示"), TMessageIcon::Information);
#endif
}

void TMainForm::VerificationPassed(const std::string& name, std::vector<TCookie> cookies) {
  const std::size_t count = cookies.size();
  if (!cookies.empty()) {
    root_->Cookies().Add(cookies);
    // Cookies are credentials: they go into the task file only when the user says so.
    if (!runControl_->KeepCookies() &&
        ShowMessage(GBK("验证得到的 Cookie 相当于该网站的登录凭据。\n"
                        "是否把它们随任务一起保存，以便以后打开任务继续搜索时使用？"),
                    GBK("提示"), TMessageIcon::Question,
                    TMessageButtons::YesNoCancel) == TMessageResult::Yes)
      runControl_->SetKeepCookies(true);
  }
  TLog::Global().Write(TLogLevel::Info, "search",
                       "verification passed by hand: " + name + ", " + std::to_string(count) +
                           " cookies handed to the search client");
  runControl_->UnblockSource(name);
}
