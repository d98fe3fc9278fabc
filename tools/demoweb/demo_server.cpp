#include "demo_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <stdexcept>

namespace demoweb {

namespace {

std::string HostWithoutPort(std::string host) {
  if (auto colon = host.rfind(':'); colon != std::string::npos) host.erase(colon);
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

}  // namespace

TDemoServer::TDemoServer(int siteCount, int port, int latencyMs, int slowMs,
                         const TSourceBlocks& blocks, int bigSitePages)
    : server_(std::make_unique<httplib::Server>()), latencyMs_(latencyMs) {
  // Every crawl worker may hold a connection while it reads; sleeping handlers need threads.
  server_->new_task_queue = [] { return new httplib::ThreadPool(96); };
  server_->set_keep_alive_timeout(2);
  server_->set_tcp_nodelay(true);
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else {
    port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  web_ = std::make_unique<TDemoWeb>(siteCount, port_, slowMs, blocks);
  web_->SetBigSitePages(bigSitePages);
  // A POSTed form arrives in req.params as a query string would.
  const auto answer = [this](const httplib::Request& req, httplib::Response& res) {
    {
      std::lock_guard lock(connectionsMutex_);
      connections_.emplace(req.remote_addr, req.remote_port);
    }
    const std::string host = HostWithoutPort(req.get_header_value("Host"));
    std::shared_ptr<TDemoVerifyGate> gate;
    {
      std::lock_guard lock(gateMutex_);
      gate = gate_;
    }
    std::optional<TDemoResponse> verify;
    if (gate) verify = gate->Check(host, req.path, req.get_header_value("Cookie"));
    const TDemoResponse page = verify ? *verify : web_->Respond(host, req.path, req.params);
    const bool searchPage =
        host == kDirectoryHost ||
        std::find(kEngineHosts.begin(), kEngineHosts.end(), host) != kEngineHosts.end();
    const int latency = searchPage && searchLatencyMs_ >= 0 ? searchLatencyMs_ : latencyMs_;
    const int delay = latency + page.ExtraDelayMs;
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    res.status = page.Status;
    if (!page.Location.empty()) res.set_header("Location", page.Location);
    res.set_content(page.Body, page.ContentType.c_str());
  };
  server_->Get(".*", answer);
  server_->Post(".*", answer);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() only works once the accept loop runs.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TDemoServer::~TDemoServer() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void TDemoServer::Wait() {
  if (thread_.joinable()) thread_.join();
}

std::size_t TDemoServer::ConnectionCount() const {
  std::lock_guard lock(connectionsMutex_);
  return connections_.size();
}

void TDemoServer::Stop() {
  server_->stop();
}

}  // namespace demoweb
