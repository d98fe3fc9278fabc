#include "browser/page_renderer.h"

#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "core/global_set.h"
#include "core/log.h"

namespace {

// The document counts as finished once its size has not changed for this long.
constexpr qint64 kQuietMs = 1000;
constexpr int kPollMs = 100;
// A fresh engine profile after this many pages, so caches and leaks do not pile up.
constexpr int32_t kPagesPerProfile = 200;
// Chromium's "the load was replaced by another navigation".
constexpr int kErrorAborted = -3;

bool gSandboxOff = false;

void Log(TLogLevel level, const std::string& message, const std::string& url = {}) {
  TLog::Global().Write(level, "render", message, url);
}

// Only what makes the document: no images, fonts, media, plug-ins, prefetches or pings, and
// nothing outside the web.
class TResourceFilter : public QWebEngineUrlRequestInterceptor {
 public:
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QString scheme = info.requestUrl().scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
      info.block(true);
      return;
    }
    switch (info.resourceType()) {
      case QWebEngineUrlRequestInfo::ResourceTypeImage:
      case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
      case QWebEngineUrlRequestInfo::ResourceTypeMedia:
      case QWebEngineUrlRequestInfo::ResourceTypeObject:
      case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
      case QWebEngineUrlRequestInfo::ResourceTypePing:
      case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
      case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
      case QWebEngineUrlRequestInfo::ResourceTypeCspReport:
      case QWebEngineUrlRequestInfo::ResourceTypeServiceWorker:
        info.block(true);
        break;
      default:
        break;
    }
  }
};

// A page nobody looks at: no windows, no dialogs, no console, nothing but http and https.
class TOffscreenPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
  void javaScriptAlert(const QUrl&, const QString&) override {}
  bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
    return false;
  }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
  }
};

// Resident size of a process in KiB; 0 when it cannot be read.
int64_t ResidentKiB(qint64 pid) {
  if (pid <= 0) return 0;
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

int64_t MillisecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

}  // namespace

void PrepareBrowserEnvironment() {
  // Pages nobody looks at count as hidden, and a hidden page's timers are slowed to one a
  // second: a script writing its content after a short timer would look finished too early.
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!flags.contains("--disable-background-timer-throttling"))
    flags += " --disable-background-timer-throttling --disable-renderer-backgrounding";
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
  if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) return;
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  gSandboxOff = true;
}

void NoteSandboxOff() {
  if (std::exchange(gSandboxOff, false))
    TLog::Global().Write(TLogLevel::Warning, "browser",
                         "running as root: the built-in browser runs without its sandbox");
}

struct TWebPageRenderer::TJob {
  TRenderRequest Request;
  std::chrono::steady_clock::time_point Asked = std::chrono::steady_clock::now();
  std::atomic<bool> Abandoned{false};  // the caller stopped waiting
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  TRenderResult Result;
};

struct TWebPageRenderer::TSlot {
  std::shared_ptr<TJob> Job;
  TOffscreenPage* Page = nullptr;  // owned here until retired
  QElapsedTimer Clock;
  qint64 DeadlineMs = 0;
  bool Loaded = false;
  bool Asking = false;  // a size question or the serialising is under way
  int64_t LastLength = -1;
  qint64 StableSince = 0;
  quint64 Generation = 0;  // tells answers for an earlier page apart
};

TWebPageRenderer::TWebPageRenderer(QObject* parent) : QObject(parent) {
  for (int32_t i = 0; i < kMaxRenderParallel; ++i) slots_.push_back(std::make_unique<TSlot>());
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &TWebPageRenderer::Poll);
}

TWebPageRenderer::~TWebPageRenderer() {
  closing_ = true;
  for (auto& slot : slots_)
    if (slot->Job) Finish(*slot, false, {}, QStringLiteral("closing"));
  for (auto& job : queue_) {
    std::lock_guard lock(job->Mutex);
    job->Finished = true;
    job->Result.Error = "closing";
    job->Done.notify_all();
  }
  queue_.clear();
  // The engine wants every page gone before its profile.
  for (QObject* page : retired_) delete page;
  retired_.clear();
  delete profile_;
}

TRenderResult TWebPageRenderer::Render(const TRenderRequest& request) {
  auto job = std::make_shared<TJob>();
  job->Request = request;
  if (QThread::currentThread() == thread()) {
    // Waiting here would stop the loop that does the work.
    job->Result.Error = "called on the main thread";
    return job->Result;
  }
  QMetaObject::invokeMethod(
      this, [this, job] { Enqueue(job); }, Qt::QueuedConnection);
  // A page waits its turn behind at most this many others' deadlines.
  const int64_t waitCapMs = request.DeadlineMs * 10 + 10000;
  std::unique_lock lock(job->Mutex);
  while (!job->Finished) {
    job->Done.wait_for(lock, std::chrono::milliseconds(20));
    if (job->Finished) break;
    const bool stopped = request.Stopped && request.Stopped();
    if (stopped || MillisecondsSince(job->Asked) > waitCapMs) {
      job->Abandoned.store(true);
      TRenderResult gaveUp;
      gaveUp.Error = stopped ? "stopped" : "not started in time";
      gaveUp.ElapsedMs = MillisecondsSince(job->Asked);
      return gaveUp;
    }
  }
  return job->Result;
}

void TWebPageRenderer::Enqueue(const std::shared_ptr<TJob>& job) {
  if (closing_) return;
  queue_.push_back(job);
  StartQueued();
}

int TWebPageRenderer::ActiveCount() const {
  return static_cast<int>(
      std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->Job != nullptr; }));
}

void TWebPageRenderer::StartQueued() {
  while (!queue_.empty() && !closing_) {
    if (queue_.front()->Abandoned.load()) {
      queue_.pop_front();
      continue;
    }
    // The profile is replaced only while no page uses it.
    if (recycle_ && ActiveCount() > 0) return;
    const int cap = std::clamp(queue_.front()->Request.Parallel, 1, kMaxRenderParallel);
    if (ActiveCount() >= cap) return;
    auto free = std::find_if(slots_.begin(), slots_.end(), [](auto& s) { return !s->Job; });
    std::shared_ptr<TJob> job = std::move(queue_.front());
    queue_.pop_front();
    Start(**free, std::move(job));
  }
}

void TWebPageRenderer::EnsureProfile(const TRenderRequest& request) {
  if (recycle_ || pagesOnProfile_ >= kPagesPerProfile) {
    for (QObject* page : retired_) delete page;
    retired_.clear();
    delete std::exchange(profile_, nullptr);
    recycle_ = false;
    Log(TLogLevel::Info, "renderer recycled after " + std::to_string(pagesOnProfile_) + " pages");
  }
  if (!profile_) {
    NoteSandboxOff();
    // No storage name: off the record, nothing written to disk.
    profile_ = new QWebEngineProfile(this);
    if (!filter_) filter_ = std::make_unique<TResourceFilter>();
    profile_->setUrlRequestInterceptor(filter_.get());
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    connect(profile_, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });
    QWebEngineSettings* s = profile_->settings();
    s->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    pagesOnProfile_ = 0;
  }
  const QString agent = QString::fromStdString(request.UserAgent);
  if (!agent.isEmpty() && profile_->httpUserAgent() != agent) profile_->setHttpUserAgent(agent);
  const QString language =
      QString::fromStdString(request.AcceptLanguage.empty() ? std::string(kDefaultAcceptLanguage)
                                                            : request.AcceptLanguage);
  if (profile_->httpAcceptLanguage() != language) profile_->setHttpAcceptLanguage(language);
}

void TWebPageRenderer::Start(TSlot& slot, std::shared_ptr<TJob> job) {
  EnsureProfile(job->Request);
  ++pagesOnProfile_;
  slot.Job = std::move(job);
  slot.Generation += 1;
  slot.Loaded = false;
  slot.Asking = false;
  slot.LastLength = -1;
  slot.StableSince = 0;
  slot.DeadlineMs = std::max<int64_t>(slot.Job->Request.DeadlineMs, 1);
  slot.Clock.start();
  // A fresh page for every job: a crashed or hung renderer is never reused.
  slot.Page = new TOffscreenPage(profile_, nullptr);
  TOffscreenPage* page = slot.Page;
  page->setVisible(true);
  TSlot* s = &slot;
  const quint64 generation = slot.Generation;
  connect(page, &QWebEnginePage::featurePermissionRequested, page,
          [page](const QUrl& origin, QWebEnginePage::Feature feature) {
            page->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
          });
  connect(page, &QWebEnginePage::loadingChanged, this,
          [this, s, generation](const QWebEngineLoadingInfo& info) {
            if (s->Generation != generation || !s->Job) return;
            switch (info.status()) {
              case QWebEngineLoadingInfo::LoadStartedStatus:
                s->Loaded = false;
                s->LastLength = -1;
                break;
              case QWebEngineLoadingInfo::LoadSucceededStatus:
                s->Loaded = true;
                break;
              case QWebEngineLoadingInfo::LoadFailedStatus:
                // A load replaced by the page's own navigation is not a failure.
                if (info.errorCode() != kErrorAborted)
                  Finish(*s, false, {}, QStringLiteral("load failed: ") + info.errorString());
                break;
              default:
                break;
            }
          });
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this, s, generation](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
            if (s->Generation != generation || !s->Job) return;
            const bool killed = status == QWebEnginePage::KilledTerminationStatus;
            Finish(*s, false, {},
                   QStringLiteral("renderer %1 (exit code %2)")
                       .arg(killed ? QStringLiteral("killed") : QStringLiteral("crashed"))
                       .arg(code));
          });
  page->load(QUrl(QString::fromStdString(slot.Job->Request.Url)));
  if (!poll_.isActive()) poll_.start();
}

void TWebPageRenderer::Poll() {
  totalKiB_ = 0;
  for (auto& slot : slots_)
    if (slot->Job) PollSlot(*slot);
  peakTotalKiB_ = std::max(peakTotalKiB_, totalKiB_);
  StartQueued();
  if (ActiveCount() == 0) poll_.stop();
}

int64_t TWebPageRenderer::Measure(TSlot& slot) {
  const int64_t kib = ResidentKiB(slot.Page->renderProcessPid());
  peakKiB_ = std::max(peakKiB_, kib);
  totalKiB_ += kib;
  if (kib > memoryLimitKiB_) {
    recycle_ = true;
    Finish(slot, false, {}, QStringLiteral("renderer over %1 MiB").arg(memoryLimitKiB_ >> 10));
  }
  return kib;
}

void TWebPageRenderer::PollSlot(TSlot& slot) {
  if (slot.Job->Abandoned.load()) {
    Finish(slot, false, {}, QStringLiteral("stopped"));
    return;
  }
  if (slot.Clock.elapsed() >= slot.DeadlineMs) {
    Finish(slot, false, {}, QStringLiteral("deadline"));
    return;
  }
  Measure(slot);
  if (!slot.Job || !slot.Loaded || slot.Asking) return;
  // A page's scripts may still be writing: wait until the document stops changing.
  slot.Asking = true;
  TSlot* s = &slot;
  const quint64 generation = slot.Generation;
  slot.Page->runJavaScript(
      QStringLiteral("document.documentElement ? document.documentElement.outerHTML.length : -1"),
      QWebEngineScript::ApplicationWorld, [this, s, generation](const QVariant& value) {
        if (s->Generation != generation || !s->Job) return;
        const int64_t length = value.toLongLong();
        const qint64 now = s->Clock.elapsed();
        if (length != s->LastLength) {
          s->LastLength = length;
          s->StableSince = now;
          s->Asking = false;
          return;
        }
        if (now - s->StableSince < kQuietMs) {
          s->Asking = false;
          return;
        }
        s->Page->toHtml([this, s, generation](const QString& html) {
          if (s->Generation != generation || !s->Job) return;
          Finish(*s, true, html, {});
        });
      });
}

void TWebPageRenderer::Finish(TSlot& slot, bool ok, const QString& html, const QString& error) {
  std::shared_ptr<TJob> job = std::move(slot.Job);
  slot.Job.reset();
  slot.Generation += 1;
  TRenderResult result;
  result.Ok = ok;
  result.ElapsedMs = MillisecondsSince(job->Asked);
  if (slot.Page) {
    result.FinalUrl = slot.Page->url().toString().toStdString();
    slot.Page->disconnect(this);
    // Never deleted from inside one of its own signals.
    retired_.push_back(std::exchange(slot.Page, nullptr));
    QMetaObject::invokeMethod(this, &TWebPageRenderer::Reap, Qt::QueuedConnection);
  }
  if (ok) {
    result.Html = html.toStdString();
    ++rendered_;
  } else {
    result.Error = error.toStdString();
    ++failed_;
    if (error.startsWith(QLatin1String("renderer")))
      Log(TLogLevel::Warning, result.Error + "; the next page gets a fresh one", job->Request.Url);
  }
  {
    std::lock_guard lock(job->Mutex);
    job->Result = std::move(result);
    job->Finished = true;
  }
  job->Done.notify_all();
}

void TWebPageRenderer::Reap() {
  for (QObject* page : retired_) delete page;
  retired_.clear();
  if (!closing_) StartQueued();
}
