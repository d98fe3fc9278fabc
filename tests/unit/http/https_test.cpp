#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/fetch.h"
#include "net/http_client.h"
#include "test_support.h"

namespace {

// An https server on 127.0.0.1 with a self-signed certificate made for this run.
class SelfSignedServer {
 public:
  SelfSignedServer(const std::string& certPath, const std::string& keyPath)
      : server_(certPath.c_str(), keyPath.c_str()) {
    if (!server_.is_valid()) return;
    server_.Get("/", [this](const httplib::Request&, httplib::Response& res) {
      ++requests_;
      res.set_content("<html>secret</html>", "text/html; charset=gbk");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~SelfSignedServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  SelfSignedServer(const SelfSignedServer&) = delete;
  SelfSignedServer& operator=(const SelfSignedServer&) = delete;

  int Port() const { return port_; }
  int Requests() const { return requests_.load(); }

 private:
  httplib::SSLServer server_;
  int port_ = -1;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath) {
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1"
      " -keyout '" +
      keyPath + "' -out '" + certPath + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

TEST(Https, SelfSignedCertificateFailsVerificationAndGivesAnEmptyPage) {
  testsupport::TempDir dir;
  const std::string cert = (dir / "cert.pem").string();
  const std::string key = (dir / "key.pem").string();
  if (!MakeSelfSignedCertificate(cert, key)) GTEST_SKIP() << "openssl command not available";
  SelfSignedServer server(cert, key);
  ASSERT_GT(server.Port(), 0);
  const std::string port = std::to_string(server.Port());

  THttpClient client;
  client.SetReadTimeout(5000);
  for (const std::string host : {"localhost", "127.0.0.1"}) {
    const std::string url = "https://" + host + ":" + port + "/";
    THttpResult r = client.Get(url);
    EXPECT_FALSE(r.Ok) << url;
    EXPECT_EQ(r.Error, THttpError::Tls) << url;
    EXPECT_TRUE(r.Body.empty()) << url;
    EXPECT_EQ(FetchPage(client, url), "") << url;
  }
  // The handshake was refused before any request was made.
  EXPECT_EQ(server.Requests(), 0);

  // The server itself works: a client that skips the check is answered.
  httplib::SSLClient unchecked("127.0.0.1", server.Port());
  unchecked.enable_server_certificate_verification(false);
  auto res = unchecked.Get("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "<html>secret</html>");
  EXPECT_EQ(server.Requests(), 1);

  // The failed fetches were logged as certificate failures.
  int tlsEntries = 0;
  for (const TLogEntry& e : TLog::Global().Since(0))
    if (e.Category == "fetch" && e.Error == TFetchErrorKind::Tls) ++tlsEntries;
  EXPECT_EQ(tlsEntries, 2);

  // The setting for broken certificates reads the page.
  client.SetAcceptBrokenTls(true);
  EXPECT_EQ(FetchPage(client, "https://127.0.0.1:" + port + "/"), "<html>secret</html>");
}
