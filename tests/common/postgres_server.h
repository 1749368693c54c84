// A real PostgreSQL server for the database tests: a fresh cluster whose
// superuser is "quillmark", trusted on 127.0.0.1, run as the "postgres" account
// (the tests run as root, which the server refuses).
#pragma once

#include <fstream>
#include <string>

#include "slapd_server.h"

namespace qmtest {

class TestPostgres : public LoopbackServer {
 public:
  explicit TestPostgres(const std::filesystem::path& parent) : LoopbackServer(parent, "postgres") {
    Shell("chown postgres: . && runuser -u postgres -- " + Bin("initdb") +
          " -D data -U quillmark --auth=trust -E UTF8 --locale=C.UTF-8");
    const std::string port = std::to_string(port_);
    Start({"runuser", "-u", "postgres", "--", Bin("postgres"), "-D", (folder_ / "data").string(), "-p", port,
           "-c", "listen_addresses=127.0.0.1", "-k", folder_.string()},
          [port] {
            return std::system((Bin("pg_isready") + " -q -h 127.0.0.1 -p " + port).c_str()) == 0;
          });
  }

  /// Runs SQL text in the database; throws with psql's output when it fails.
  void Sql(const std::string& sql) const {
    std::ofstream(folder_ / "input.sql") << sql;
    Shell(Bin("psql") + " -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(port_) +
          " -U quillmark -d postgres -f input.sql");
  }

  /// The ODBC connection string of the database for the psqlODBC driver.
  std::string OdbcString() const {
    return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
           ";Database=postgres;Uid=quillmark";
  }

 private:
  static std::string Bin(const std::string& program) { return "/usr/lib/postgresql/15/bin/" + program; }
};

}  // namespace qmtest
