// The CLI's built-in browser; a build without Qt WebEngine has none.

#include "app/cli_commands.h"

#ifdef VELTRA_HAVE_BROWSER

#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include "browser/page_renderer.h"

namespace {

class TQtCliBrowser : public TCliBrowser {
 public:
  TQtCliBrowser() {
    // The CLI has no window: the offscreen platform unless the caller chose one.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowserEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    renderer_ = std::make_unique<TWebPageRenderer>();
  }
  ~TQtCliBrowser() override {
    renderer_.reset();
    app_.reset();
  }

  TPageRenderer& Renderer() override { return *renderer_; }

  void Wait(std::chrono::milliseconds time) override {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(time.count()), &loop, &QEventLoop::quit);
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
  }

  void Wake() override {
    QMetaObject::invokeMethod(
        app_.get(),
        [this] {
          if (loop_) loop_->quit();
        },
        Qt::QueuedConnection);
  }

 private:
  int argc_ = 1;
  char name_[11] = "veltra-cli";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
  std::unique_ptr<TWebPageRenderer> renderer_;
  QEventLoop* loop_ = nullptr;  // main thread only
};

}  // namespace

std::unique_ptr<TCliBrowser> MakeCliBrowser() {
  return std::make_unique<TQtCliBrowser>();
}

#else

std::unique_ptr<TCliBrowser> MakeCliBrowser() {
  return nullptr;
}

#endif
