// The built-in browser rendering the demo web's two script-built sites: pages per second and
// the renderer processes' peak resident memory with 1, 2 and 4 pages at once. The Qt event
// loop turns on the benchmark's thread while worker threads ask for pages, as in a run.

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/page_renderer.h"
#include "demo_scripts.h"
#include "demo_server.h"

namespace {

constexpr int kPages = 24;

QGuiApplication& Application() {
  static int argc = 1;
  static char name[] = "veltra_bench";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QGuiApplication> app = [] {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowserEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return std::make_unique<QGuiApplication>(argc, argv);
  }();
  return *app;
}

void BM_RenderScriptSites(benchmark::State& st) {
  Application();
  demoweb::TDemoServer server(1);
  const int parallel = static_cast<int>(st.range(0));
  const std::vector<std::string> urls = {server.Web().Url(demoweb::kTimerSiteHost, "/"),
                                         server.Web().Url(demoweb::kJsonSiteHost, "/")};
  int64_t peakKiB = 0, peakOneKiB = 0;
  for (auto _ : st) {
    TWebPageRenderer renderer;
    std::atomic<int> next{0}, ok{0}, done{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < parallel; ++w)
      workers.emplace_back([&] {
        for (int i; (i = next.fetch_add(1)) < kPages;) {
          TRenderRequest request;
          request.Url = urls[static_cast<std::size_t>(i) % urls.size()];
          request.Parallel = parallel;
          const TRenderResult result = renderer.Render(request);
          if (result.Ok)
            ok.fetch_add(1);
          else
            std::fprintf(stderr, "%s: %s\n", request.Url.c_str(), result.Error.c_str());
        }
        done.fetch_add(1);
      });
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (done.load() == parallel) loop.quit();
    });
    check.start(5);
    loop.exec();
    for (auto& w : workers) w.join();
    if (ok.load() != kPages) {
      st.SkipWithError("a page was not rendered");
      break;
    }
    peakKiB = std::max(peakKiB, renderer.PeakTotalKiB());
    peakOneKiB = std::max(peakOneKiB, renderer.PeakRendererKiB());
  }
  st.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(st.iterations() * kPages),
                                                  benchmark::Counter::kIsRate);
  st.counters["peak_renderers_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  st.counters["peak_one_renderer_MiB"] = static_cast<double>(peakOneKiB) / 1024.0;
}

}  // namespace

BENCHMARK(BM_RenderScriptSites)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
