#pragma once
// A PostgreSQL connection over libpq, used by one thread at a time. Every statement is sent
// with its values as parameters; no value is ever spliced into the statement's text.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

// A problem with the team database; the text names it and never holds the password.
class ETeamError : public std::runtime_error {
 public:
  explicit ETeamError(const std::string& what, bool connectionLost = false)
      : std::runtime_error(what), ConnectionLost(connectionLost) {}
  bool ConnectionLost;  // the connection broke (as opposed to a refused statement)
};

// The connection string with its password replaced by "***" (URL and key=value forms).
std::string MaskedConnectionInfo(const std::string& info);

// The connection string without its password (URL and key=value forms), to show or keep;
// the password then comes from PGPASSWORD or ~/.pgpass.
std::string ConnectionWithoutPassword(const std::string& info);

// Values for a text[] parameter: {"a","b\"c"}.
std::string PgArrayLiteral(const std::vector<std::string>& values);

class TPgResult {
 public:
  explicit TPgResult(pg_result* r) : r_(r) {}
  int Rows() const;
  std::string Text(int row, int col) const;
  int64_t Int(int row, int col) const;
  bool Bool(int row, int col) const { return Text(row, col) == "t"; }
  bool IsNull(int row, int col) const;
  // Rows a command touched.
  int64_t Affected() const;

 private:
  struct TClear {
    void operator()(pg_result* r) const;
  };
  std::unique_ptr<pg_result, TClear> r_;
};

class TPgConnection {
 public:
  // Connects (UTF-8 client encoding, 10 s connect time-out unless the string names one);
  // throws ETeamError naming the server and the reason.
  explicit TPgConnection(const std::string& info);
  ~TPgConnection();
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  // Runs one statement; throws ETeamError (ConnectionLost when the connection broke).
  TPgResult Exec(const std::string& sql, const std::vector<std::string>& params = {});
  bool Broken() const;
  // Round trips made so far.
  uint64_t RoundTrips() const { return roundTrips_; }
  const std::string& MaskedInfo() const { return masked_; }

 private:
  pg_conn* conn_ = nullptr;
  std::string info_;
  std::string masked_;
  uint64_t roundTrips_ = 0;
};

// BEGIN on construction, ROLLBACK unless Commit was called; with `begin` off it does nothing
// (the caller's transaction is in force).
class TPgTransaction {
 public:
  explicit TPgTransaction(TPgConnection& c, bool begin = true) : c_(c), done_(!begin) {
    if (begin) c_.Exec("BEGIN");
  }
  ~TPgTransaction();
  TPgTransaction(const TPgTransaction&) = delete;
  TPgTransaction& operator=(const TPgTransaction&) = delete;
  void Commit() {
    c_.Exec("COMMIT");
    done_ = true;
  }

 private:
  TPgConnection& c_;
  bool done_;
};
