#include "browser/verification_window.h"

#include <unistd.h>

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <utility>

#include "browser/page_renderer.h"
#include "core/log.h"
#include "engines/do_search_thread.h"

void PrepareWebEngine() {
  PrepareBrowserEnvironment();
  NoteSandboxOff();
}

TVerificationWindow::TVerificationWindow(const QString& caption, const QUrl& url, TDone done,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window), url_(url), done_(std::move(done)) {
  PrepareWebEngine();
  setObjectName(QStringLiteral("VerificationWindow"));
  setWindowTitle(QStringLiteral("%1 - 安全验证").arg(caption));
  setAttribute(Qt::WA_DeleteOnClose);

  // A profile without a storage name lives in memory only: nothing of the verification
  // reaches the disk.
  profile_ = new QWebEngineProfile(this);
  profile_->setHttpUserAgent(QString::fromLatin1(kBrowserAgent));
  profile_->setHttpAcceptLanguage(QString::fromLatin1(kBrowserAcceptLanguage));
  QWebEngineCookieStore* store = profile_->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, this,
          [this](const QNetworkCookie& c) { cookies_[KeyOf(c)] = c; });
  connect(store, &QWebEngineCookieStore::cookieRemoved, this,
          [this](const QNetworkCookie& c) { cookies_.erase(KeyOf(c)); });
  page_ = new QWebEnginePage(profile_, this);

  auto* hint = new QLabel(
      QStringLiteral("%1 要求验证。请在下面的页面中完成验证，看到搜索结果后按“完成验证”，"
                     "搜索即从受阻的那一页继续。")
          .arg(caption),
      this);
  hint->setWordWrap(true);
  address_ = new QLineEdit(url.toString(), this);
  address_->setObjectName(QStringLiteral("VerifyAddress"));
  address_->setReadOnly(true);
  connect(page_, &QWebEnginePage::urlChanged, address_,
          [this](const QUrl& u) { address_->setText(u.toString()); });
  view_ = new QWebEngineView(this);
  view_->setPage(page_);
  finish_ = new QPushButton(QStringLiteral("完成验证"), this);
  finish_->setObjectName(QStringLiteral("FinishButton"));
  finish_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  connect(finish_, &QPushButton::clicked, this, &TVerificationWindow::Finish);
  connect(cancel, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(finish_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(address_);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  resize(1000, 720);
  page_->load(url);
}

TVerificationWindow::~TVerificationWindow() {
  // The page goes before its profile.
  delete view_;
  delete page_;
}

TVerificationWindow::TKey TVerificationWindow::KeyOf(const QNetworkCookie& cookie) {
  return {cookie.name(), cookie.domain(), cookie.path()};
}

std::vector<TCookie> TVerificationWindow::CookiesFor(const std::string& host) const {
  std::vector<TCookie> out;
  for (const auto& [key, c] : cookies_) {
    TCookie cookie;
    std::string domain = c.domain().toStdString();
    cookie.IncludeSubdomains = domain.starts_with('.');
    if (cookie.IncludeSubdomains) domain.erase(0, 1);
    cookie.Domain = domain.empty() ? host : domain;
    cookie.Path = c.path().isEmpty() ? std::string("/") : c.path().toStdString();
    cookie.Secure = c.isSecure();
    cookie.HttpOnly = c.isHttpOnly();
    cookie.Expires = c.isSessionCookie() ? 0 : c.expirationDate().toSecsSinceEpoch();
    cookie.Name = c.name().toStdString();
    cookie.Value = c.value().toStdString();
    if (CookieMatchesHost(cookie, host)) out.push_back(std::move(cookie));
  }
  return out;
}

void TVerificationWindow::Finish() {
  if (!done_) return;
  TDone done = std::move(done_);
  done_ = nullptr;
  done(CookiesFor(url_.host().toStdString()));
  close();
}
