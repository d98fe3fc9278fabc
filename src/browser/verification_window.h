#pragma once
// A browser window of the program's own in which the user passes a search source's
// verification page. It sends the same User-Agent and Accept-Language as the search client
// and keeps its cookies in a profile of its own, in memory only; "完成验证" hands the cookies
// a request to the verification host would carry to the caller.

#include <QNetworkCookie>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "net/cookie_store.h"

class QLineEdit;
class QPushButton;
class QWebEngineProfile;
class QWebEnginePage;
class QWebEngineView;

class TVerificationWindow : public QWidget {
  Q_OBJECT
 public:
  using TDone = std::function<void(std::vector<TCookie>)>;

  // `done` is called once, when the user presses "完成验证"; the window then closes.
  TVerificationWindow(const QString& caption, const QUrl& url, TDone done,
                      QWidget* parent = nullptr);
  ~TVerificationWindow() override;

  QWebEnginePage* Page() const { return page_; }
  // The cookies seen so far that a request to `host` would carry.
  std::vector<TCookie> CookiesFor(const std::string& host) const;
  // "完成验证": the cookies for the verification host go to the caller.
  void Finish();

 private:
  using TKey = std::tuple<QByteArray, QString, QString>;  // name, domain, path
  static TKey KeyOf(const QNetworkCookie& cookie);

  QUrl url_;
  TDone done_;
  QWebEngineProfile* profile_ = nullptr;
  QWebEnginePage* page_ = nullptr;
  QWebEngineView* view_ = nullptr;
  QLineEdit* address_ = nullptr;
  QPushButton* finish_ = nullptr;
  std::map<TKey, QNetworkCookie> cookies_;
};

// Prepares Qt WebEngine before its first page: running as root, Chromium's sandbox cannot
// start, so it is switched off there, and the log says so once.
void PrepareWebEngine();
