#pragma once
// A private PostgreSQL cluster for tests: initdb into a temporary folder, the server on
// 127.0.0.1 on a free port, stopped and removed when the test executable ends. As root the
// server runs as the postgres user, since PostgreSQL refuses to run as root.

#include <string>

namespace testsupport {

class TPgCluster {
 public:
  // The executable's one cluster, started on first use.
  static TPgCluster& Shared();
  ~TPgCluster();
  TPgCluster(const TPgCluster&) = delete;
  TPgCluster& operator=(const TPgCluster&) = delete;

  // False (with the reason) when the server's programs are not installed or it did not start.
  bool Available() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }
  int Port() const { return port_; }

  // A new empty database; its URL with the test user's password, or with `password`.
  std::string CreateDatabase(const std::string& name);
  std::string Url(const std::string& database, const std::string& password = kPassword) const;

  // Stops and starts the server again on the same port (a restart during a run).
  bool Stop();
  bool Start();

  static constexpr const char* kUser = "veltra_test";
  static constexpr const char* kPassword = "s3cret-pw";

 private:
  TPgCluster();
  // Runs a server program, as the postgres user when running as root; true on exit code 0.
  bool RunTool(const std::string& commandLine) const;

  std::string bin_;
  std::string dir_;
  int port_ = 0;
  bool asPostgres_ = false;
  bool running_ = false;
  std::string problem_;
};

}  // namespace testsupport
