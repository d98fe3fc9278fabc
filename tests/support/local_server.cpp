#include "local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string HostWithoutPort(const std::string& hostHeader) {
  std::string host = hostHeader;
  if (auto colon = host.rfind(':');
      colon != std::string::npos && host.find(']') == std::string::npos)
    host.erase(colon);
  return Lower(host);
}

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  auto it = Headers.find(name);
  return it == Headers.end() ? std::string() : it->second;
}

LocalServer::LocalServer() {
  // Short keep-alive so a client that keeps its connection open cannot hold up shutdown.
  server_.set_keep_alive_timeout(1);
  // Headers and body leave in separate writes; without this each small page waits for a
  // delayed ACK.
  server_.set_tcp_nodelay(true);
  server_.Get(".*",
              [this](const httplib::Request& req, httplib::Response& res) { Dispatch(req, res); });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("LocalServer: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() only works once the accept loop runs; a server stopped earlier would never end.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LocalServer::~LocalServer() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

void LocalServer::Handle(const std::string& host, const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[{Lower(host), path}] = std::make_shared<Handler>(std::move(handler));
}

void LocalServer::Serve(const std::string& host, const std::string& path, std::string body,
                        std::string contentType, int status) {
  Handle(host, path,
         [body = std::move(body), contentType = std::move(contentType), status](
             const httplib::Request&, httplib::Response& res) {
           res.status = status;
           res.set_content(body, contentType.c_str());
         });
}

void LocalServer::Redirect(const std::string& host, const std::string& path, std::string location,
                           int status) {
  Handle(host, path,
         [location = std::move(location), status](const httplib::Request&, httplib::Response& res) {
           res.status = status;
           res.set_header("Location", location);
         });
}

std::string LocalServer::Url(const std::string& host, const std::string& path) const {
  return "http://" + host + ":" + std::to_string(port_) + path;
}

std::vector<SeenRequest> LocalServer::Requests() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void LocalServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  seen_.clear();
}

void LocalServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
  const std::string host = HostWithoutPort(req.get_header_value("Host"));
  std::shared_ptr<Handler> handler;
  {
    std::lock_guard lock(mutex_);
    seen_.push_back({host, req.path, req.target, req.headers});
    for (const auto& key :
         {std::pair{host, req.path}, std::pair{host, std::string("*")},
          std::pair{std::string(), req.path}, std::pair{std::string(), std::string("*")}}) {
      if (auto it = handlers_.find(key); it != handlers_.end()) {
        handler = it->second;
        break;
      }
    }
  }
  if (!handler) {
    res.status = 404;
    res.set_content("<html><body>Not Found</body></html>", "text/html");
  } else {
    (*handler)(req, res);
  }
  // A body with a fixed length goes out through a provider, which httplib never compresses.
  if (!res.body.empty()) {
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    std::string type = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    res.set_content_provider(
        body->size(), type.c_str(),
        [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return sink.write(body->data() + offset, length);
        });
  }
}

SilentServer::SilentServer() {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) throw std::runtime_error("SilentServer: socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(fd_, 64) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd_);
    throw std::runtime_error("SilentServer: bind/listen");
  }
  port_ = ntohs(addr.sin_port);
}

SilentServer::~SilentServer() {
  if (fd_ >= 0) ::close(fd_);
}

std::string SilentServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace testsupport
