#include "store/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// The password of a connection string, or "" when it names none.
std::string PasswordOf(const std::string& info) {
  std::string found;
  const std::size_t scheme = info.find("://");
  if (scheme != std::string::npos) {
    const std::size_t start = scheme + 3;
    const std::size_t end = info.find_first_of("/?", start);
    const std::string authority = info.substr(start, end == std::string::npos ? end : end - start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
      const std::size_t colon = authority.find(':');
      if (colon != std::string::npos && colon < at)
        found = authority.substr(colon + 1, at - colon - 1);
    }
  }
  const std::size_t key = info.find("password=");
  if (found.empty() && key != std::string::npos) {
    const std::size_t start = key + 9;
    const std::size_t end = info.find_first_of(" &", start);
    found = info.substr(start, end == std::string::npos ? end : end - start);
  }
  return found;
}

std::string Scrub(std::string text, const std::string& password) {
  if (password.empty()) return text;
  for (std::size_t p = text.find(password); p != std::string::npos; p = text.find(password, p))
    text.replace(p, password.size(), "***");
  return text;
}

std::string TrimEnd(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

std::string MaskedConnectionInfo(const std::string& info) {
  return Scrub(info, PasswordOf(info));
}

std::string ConnectionWithoutPassword(const std::string& info) {
  std::string out = info;
  const std::size_t scheme = out.find("://");
  if (scheme != std::string::npos) {
    const std::size_t start = scheme + 3;
    const std::size_t end = std::min(out.find_first_of("/?", start), out.size());
    const std::size_t at = out.rfind('@', end == 0 ? 0 : end - 1);
    if (at != std::string::npos && at >= start) {
      const std::size_t colon = out.find(':', start);
      if (colon != std::string::npos && colon < at) out.erase(colon, at - colon);
    }
  }
  // password=... as a key of its own, in a URL's query or a key=value string.
  for (std::size_t key = out.find("password"); key != std::string::npos;
       key = out.find("password", key)) {
    const bool starts =
        key == 0 || out[key - 1] == ' ' || out[key - 1] == '?' || out[key - 1] == '&';
    std::size_t eq = key + 8;
    while (eq < out.size() && out[eq] == ' ') ++eq;
    if (!starts || eq >= out.size() || out[eq] != '=') {
      key += 8;
      continue;
    }
    std::size_t value = eq + 1;
    while (value < out.size() && out[value] == ' ') ++value;
    std::size_t end = value;
    if (end < out.size() && out[end] == '\'') {
      for (++end; end < out.size() && out[end] != '\''; ++end)
        if (out[end] == '\\') ++end;
      end = std::min(end + 1, out.size());
    } else {
      end = std::min(out.find_first_of(" &", value), out.size());
    }
    std::size_t from = key;
    if (end < out.size() && (out[end] == ' ' || out[end] == '&')) {
      ++end;  // the separator after it
    } else if (from > 0 && (out[from - 1] == ' ' || out[from - 1] == '&')) {
      --from;  // the last key: the separator before it
    }
    out.erase(from, end - from);
    key = from;
  }
  if (!out.empty() && out.back() == '?') out.pop_back();
  return out;
}

std::string PgArrayLiteral(const std::vector<std::string>& values) {
  std::string out = "{";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ',';
    out += '"';
    for (char c : values[i]) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  return out + "}";
}

void TPgResult::TClear::operator()(pg_result* r) const {
  PQclear(r);
}

int TPgResult::Rows() const {
  return PQntuples(r_.get());
}

std::string TPgResult::Text(int row, int col) const {
  return std::string(PQgetvalue(r_.get(), row, col),
                     static_cast<std::size_t>(PQgetlength(r_.get(), row, col)));
}

int64_t TPgResult::Int(int row, int col) const {
  return std::strtoll(PQgetvalue(r_.get(), row, col), nullptr, 10);
}

bool TPgResult::IsNull(int row, int col) const {
  return PQgetisnull(r_.get(), row, col) != 0;
}

int64_t TPgResult::Affected() const {
  return std::strtoll(PQcmdTuples(r_.get()), nullptr, 10);
}

TPgConnection::TPgConnection(const std::string& info)
    : info_(info), masked_(MaskedConnectionInfo(info)) {
  // The string's own settings come last and win over these defaults.
  const std::array<const char*, 5> keys = {"connect_timeout", "client_encoding",
                                           "fallback_application_name", "dbname", nullptr};
  const std::array<const char*, 5> values = {"10", "UTF8", "veltra", info_.c_str(), nullptr};
  conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
  if (!conn_) throw ETeamError("out of memory connecting to the team database", true);
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string reason = Scrub(TrimEnd(PQerrorMessage(conn_)), PasswordOf(info_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw ETeamError("cannot connect to the team database " + masked_ + ": " + reason, true);
  }
  // The server's notices are not for the terminal.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
}

TPgConnection::~TPgConnection() {
  if (conn_) PQfinish(conn_);
}

bool TPgConnection::Broken() const {
  return !conn_ || PQstatus(conn_) != CONNECTION_OK;
}

TPgResult TPgConnection::Exec(const std::string& sql, const std::vector<std::string>& params) {
  if (!conn_) throw ETeamError("no connection to the team database", true);
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p.c_str());
  ++roundTrips_;
  pg_result* r = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return TPgResult(r);
  std::string reason = TrimEnd(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
  if (reason.empty()) reason = TrimEnd(PQerrorMessage(conn_));
  if (r) PQclear(r);
  const bool lost = PQstatus(conn_) != CONNECTION_OK;
  throw ETeamError("team database: " + Scrub(reason, PasswordOf(info_)), lost);
}

TPgTransaction::~TPgTransaction() {
  if (done_) return;
  try {
    c_.Exec("ROLLBACK");
  } catch (const ETeamError&) {
    // The connection is gone; the server rolls the transaction back by itself.
  }
}
