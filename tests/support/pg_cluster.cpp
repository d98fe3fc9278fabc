#include "pg_cluster.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "store/pg_connection.h"

namespace testsupport {

namespace {

std::string FindBin() {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string best;
  if (fs::is_directory("/usr/lib/postgresql", ec))
    for (const auto& version : fs::directory_iterator("/usr/lib/postgresql", ec)) {
      const fs::path bin = version.path() / "bin";
      if (fs::exists(bin / "initdb", ec) && bin.string() > best) best = bin.string();
    }
  if (!best.empty()) return best;
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/usr/local/pgsql/bin"})
    if (fs::exists(std::string(dir) + "/initdb", ec) &&
        fs::exists(std::string(dir) + "/pg_ctl", ec))
      return dir;
  return {};
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(s);
  return port;
}

}  // namespace

TPgCluster& TPgCluster::Shared() {
  static TPgCluster cluster;
  return cluster;
}

TPgCluster::TPgCluster() {
  bin_ = FindBin();
  if (bin_.empty()) {
    problem_ = "PostgreSQL server programs (initdb, pg_ctl) are not installed";
    return;
  }
  char pattern[] = "/tmp/veltra-pg-XXXXXX";
  if (!::mkdtemp(pattern)) {
    problem_ = "cannot make a temporary folder";
    return;
  }
  dir_ = pattern;
  asPostgres_ = ::geteuid() == 0;
  { std::ofstream(dir_ + "/pw") << kPassword << "\n"; }
  if (asPostgres_) {
    const passwd* pw = ::getpwnam("postgres");
    if (!pw) {
      problem_ = "running as root, and there is no postgres user to run the server as";
      return;
    }
    for (const std::string& path : {dir_, dir_ + "/pw"})
      if (::chown(path.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        problem_ = "cannot hand " + path + " to the postgres user";
        return;
      }
  }
  if (!RunTool(bin_ + "/initdb -D " + dir_ + "/data -U " + kUser + " --pwfile=" + dir_ +
               "/pw --auth=scram-sha-256 -E UTF8 --no-locale > " + dir_ + "/initdb.log 2>&1")) {
    problem_ = "initdb failed (see " + dir_ + "/initdb.log)";
    return;
  }
  port_ = FreePort();
  if (!Start()) problem_ = "the PostgreSQL server did not start (see " + dir_ + "/server.log)";
}

TPgCluster::~TPgCluster() {
  if (running_)
    RunTool(bin_ + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop > /dev/null 2>&1");
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

bool TPgCluster::RunTool(const std::string& commandLine) const {
  const std::string command =
      asPostgres_ ? "runuser -u postgres -- sh -c '" + commandLine + "'" : commandLine;
  return std::system(command.c_str()) == 0;
}

bool TPgCluster::Start() {
  running_ = RunTool(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 30" +
                     " -o \"-p " + std::to_string(port_) + " -k " + dir_ +
                     " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=60\"" +
                     " start > /dev/null 2>&1");
  return running_;
}

bool TPgCluster::Stop() {
  const bool ok = RunTool(bin_ + "/pg_ctl -D " + dir_ + "/data -m fast -w stop > /dev/null 2>&1");
  if (ok) running_ = false;
  return ok;
}

std::string TPgCluster::Url(const std::string& database, const std::string& password) const {
  return "postgresql://" + std::string(kUser) + ":" + password +
         "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

std::string TPgCluster::CreateDatabase(const std::string& given) {
  std::string name = given.substr(0, 60);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  TPgConnection admin(Url("postgres"));
  admin.Exec("DROP DATABASE IF EXISTS " + name);
  admin.Exec("CREATE DATABASE " + name);
  return Url(name);
}

}  // namespace testsupport
