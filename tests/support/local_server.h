#pragma once
// Local web servers for network tests. Everything listens on 127.0.0.1 on a free port.
//
// LocalServer: plain HTTP (cpp-httplib) served from a background thread until destruction.
// Handlers are registered by path and optionally by host name, so that
// http://www.a.localhost:PORT/ and http://www.b.localhost:PORT/ are distinct sites (curl
// resolves every *.localhost name to the loopback address).
//
//   testsupport::LocalServer server;
//   server.Serve("www.a.localhost", "/", G("<html>...</html>"));  // fixed GBK page
//   server.Redirect("www.a.localhost", "/old", "/new");
//   server.Handle("www.b.localhost", "*", [](const httplib::Request& req,
//                                            httplib::Response& res) { ... });
//   std::string url = server.Url("www.a.localhost", "/");  // "http://www.a.localhost:PORT/"
//   server.Requests();  // every request seen so far, in order
//
// Lookup for a request: (host, path), then (host, "*"), then ("", path), then ("", "*");
// nothing found gives 404. Host is matched without the port and case-insensitively; path is
// the decoded path without the query (req.target keeps the raw request target). Handlers and
// pages may be added while the server runs. Bodies set with res.set_content go out as set:
// the server never compresses them (a handler may set "Content-Encoding" itself and send
// compressed bytes). Chunked providers (res.set_chunked_content_provider) are compressed by
// httplib when the content type is text/*; use another content type to send them plain.
// A handler that sleeps delays the destructor by as long, and so (up to 1 s) does a client
// that still keeps a connection open: declare clients after the server.
//
// SilentServer: a listening socket that never accepts: connections succeed (kernel backlog)
// and then nothing is ever sent. For time-out and stop tests.

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct SeenRequest {
  std::string Host;    // lower-case, without port
  std::string Path;    // decoded path
  std::string Target;  // raw request target as sent ("/a%20b?q=%D6%D0")
  httplib::Headers Headers;
  std::string Header(const std::string& name) const;
};

class LocalServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  LocalServer();
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  int Port() const { return port_; }

  // Host "" answers for every host; path "*" for every path of the host.
  void Handle(const std::string& host, const std::string& path, Handler handler);
  void Handle(const std::string& path, Handler handler) { Handle("", path, std::move(handler)); }
  // A fixed page. GBK pages are declared as such by default so nobody has to sniff them.
  void Serve(const std::string& host, const std::string& path, std::string body,
             std::string contentType = "text/html; charset=gbk", int status = 200);
  // A redirect to `location` (sent as given, may be relative).
  void Redirect(const std::string& host, const std::string& path, std::string location,
                int status = 302);

  // "http://HOST:PORT" + path; path should start with "/".
  std::string Url(const std::string& host, const std::string& path) const;
  std::string Url(const std::string& path) const { return Url("127.0.0.1", path); }

  std::vector<SeenRequest> Requests() const;
  void ClearRequests();

 private:
  void Dispatch(const httplib::Request& req, httplib::Response& res);

  httplib::Server server_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::shared_ptr<Handler>> handlers_;
  std::vector<SeenRequest> seen_;
};

class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const;

 private:
  int fd_ = -1;
  int port_ = -1;
};

}  // namespace testsupport
