// Fetch of a 1 MB page from a local server: raw GET and FetchPage (GBK kept, UTF-8 converted).

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/gbk.h"
#include "net/fetch.h"
#include "net/http_client.h"

namespace {

constexpr std::size_t kPageBytes = 1 << 20;

std::string MakePage(std::string_view utf8Line) {
  std::string page = "<html><body>";
  while (page.size() < kPageBytes - 16) page += utf8Line;
  page += "</body></html>";
  return page;
}

class TBenchServer {
 public:
  TBenchServer() {
    gbkPage_ = std::make_shared<std::string>(
        gbk::FromUtf8(MakePage("<p>上海海德公司 电话：021-12345678 传真：021-87654321</p>\n")));
    utf8Page_ = std::make_shared<std::string>(
        MakePage("<p>上海海德公司 电话：021-12345678 传真：021-87654321</p>\n"));
    Serve("/gbk", gbkPage_, "text/html; charset=gbk");
    Serve("/utf8", utf8Page_, "text/html; charset=utf-8");
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TBenchServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::size_t GbkSize() const { return gbkPage_->size(); }
  std::size_t Utf8Size() const { return utf8Page_->size(); }

 private:
  // A provider with a known length goes out uncompressed, like a plain web server.
  void Serve(const std::string& path, std::shared_ptr<std::string> page, std::string type) {
    server_.Get(path, [page, type](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(page->size(), type.c_str(),
                               [page](std::size_t off, std::size_t len, httplib::DataSink& sink) {
                                 return sink.write(page->data() + off, len);
                               });
    });
  }

  httplib::Server server_;
  std::shared_ptr<std::string> gbkPage_;
  std::shared_ptr<std::string> utf8Page_;
  int port_ = -1;
  std::thread thread_;
};

TBenchServer& Server() {
  static TBenchServer server;
  return server;
}

void BM_HttpGet1MB(benchmark::State& state) {
  THttpClient client;
  const std::string url = Server().Url("/gbk");
  for (auto _ : state) {
    THttpResult r = client.Get(url);
    if (!r.Ok || r.Body.size() != Server().GbkSize()) state.SkipWithError("fetch failed");
    benchmark::DoNotOptimize(r.Body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Server().GbkSize()));
}
BENCHMARK(BM_HttpGet1MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FetchPageGbk1MB(benchmark::State& state) {
  THttpClient client;
  const std::string url = Server().Url("/gbk");
  for (auto _ : state) {
    std::string page = FetchPage(client, url);
    if (page.size() != Server().GbkSize()) state.SkipWithError("fetch failed");
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Server().GbkSize()));
}
BENCHMARK(BM_FetchPageGbk1MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FetchPageUtf8ToGbk1MB(benchmark::State& state) {
  THttpClient client;
  const std::string url = Server().Url("/utf8");
  for (auto _ : state) {
    std::string page = FetchPage(client, url);
    if (page.empty()) state.SkipWithError("fetch failed");
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Server().Utf8Size()));
}
BENCHMARK(BM_FetchPageUtf8ToGbk1MB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
