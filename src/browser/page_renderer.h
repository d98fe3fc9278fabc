#pragma once
// The built-in browser's offscreen renderer of script-built pages (Qt WebEngine). It lives on
// the Qt main thread; crawl workers call Render from their own threads and wait there while
// the main thread's event loop loads the page.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "net/page_renderer.h"

class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;

// Call before the Q(Gui)Application is made: the engine's sandbox cannot run as root, so it
// is switched off there (and said in the log when the engine starts).
void PrepareBrowserEnvironment();
// Says once in the log that the sandbox was switched off for running as root.
void NoteSandboxOff();

class TWebPageRenderer final : public QObject, public TPageRenderer {
  Q_OBJECT

 public:
  // On the Qt main thread. Nothing of the engine starts before the first page.
  explicit TWebPageRenderer(QObject* parent = nullptr);
  ~TWebPageRenderer() override;

  // From any thread but the main one; blocks until the page is done, failed, past its
  // deadline, or request.Stopped() turns true.
  TRenderResult Render(const TRenderRequest& request) override;

  // A renderer process above this resident size fails its page and the engine is recycled.
  void SetMemoryLimitKiB(int64_t kib) { memoryLimitKiB_ = kib; }
  // The largest resident size of one renderer process, and of all of them at once, seen so
  // far (KiB).
  int64_t PeakRendererKiB() const { return peakKiB_; }
  int64_t PeakTotalKiB() const { return peakTotalKiB_; }
  int32_t RenderedCount() const { return rendered_; }
  int32_t FailedCount() const { return failed_; }

 private:
  struct TJob;
  struct TSlot;

  void Enqueue(const std::shared_ptr<TJob>& job);
  void StartQueued();
  void Start(TSlot& slot, std::shared_ptr<TJob> job);
  void Poll();
  void PollSlot(TSlot& slot);
  int64_t Measure(TSlot& slot);
  void Finish(TSlot& slot, bool ok, const QString& html, const QString& error);
  void Reap();
  void EnsureProfile(const TRenderRequest& request);
  int ActiveCount() const;

  QWebEngineProfile* profile_ = nullptr;
  std::unique_ptr<QWebEngineUrlRequestInterceptor> filter_;
  std::vector<std::unique_ptr<TSlot>> slots_;
  std::deque<std::shared_ptr<TJob>> queue_;
  std::vector<QObject*> retired_;  // pages left, deleted on the next turn of the loop
  QTimer poll_;
  int64_t memoryLimitKiB_ = int64_t{1} << 20;
  int64_t peakKiB_ = 0;
  int64_t peakTotalKiB_ = 0;
  int64_t totalKiB_ = 0;  // summed over the pages of one poll
  int32_t rendered_ = 0;
  int32_t failed_ = 0;
  int32_t pagesOnProfile_ = 0;
  bool recycle_ = false;
  bool closing_ = false;
};
