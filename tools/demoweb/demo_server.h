#pragma once
// Serves a TDemoWeb on 127.0.0.1 from a background thread: one port, the sites told apart by
// the Host header (every *.localhost name resolves to the loopback address).

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "demo_verify.h"
#include "demo_web.h"

namespace httplib {
class Server;
}

namespace demoweb {

class TDemoServer {
 public:
  // Binds at once (port 0: any free port); content is generated for the bound port.
  TDemoServer(int siteCount, int port = 0, int latencyMs = 0, int slowMs = 1500,
              const TSourceBlocks& blocks = {}, int bigSitePages = 0);
  ~TDemoServer();
  TDemoServer(const TDemoServer&) = delete;
  TDemoServer& operator=(const TDemoServer&) = delete;

  int Port() const { return port_; }
  const TDemoWeb& Web() const { return *web_; }
  // Blocks or unblocks today's sources while serving (a source recovering before Continue).
  void SetBlocks(const TSourceBlocks& blocks) { web_->SetBlocks(blocks); }
  // Puts a source behind a verification page that can be passed by hand (null: none).
  void SetVerifyGate(std::shared_ptr<TDemoVerifyGate> gate) {
    std::lock_guard lock(gateMutex_);
    gate_ = std::move(gate);
  }
  // Delay of the search engines' and the directory's pages, apart from the company sites'
  // (negative: the same as the sites'). Set before the first request.
  void SetSearchLatency(int ms) { searchLatencyMs_ = ms; }
  // Blocks until Stop is called from elsewhere (a signal handler's thread, say).
  void Wait();
  void Stop();
  // Distinct client connections that sent a request so far.
  std::size_t ConnectionCount() const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<TDemoWeb> web_;
  int port_ = 0;
  int latencyMs_ = 0;
  int searchLatencyMs_ = -1;
  std::thread thread_;
  mutable std::mutex connectionsMutex_;
  std::set<std::pair<std::string, int>> connections_;
  std::mutex gateMutex_;
  std::shared_ptr<TDemoVerifyGate> gate_;
};

}  // namespace demoweb
