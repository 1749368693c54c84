// A real PostgreSQL server for the database tests: a fresh cluster in a folder
// below the build tree, listening on 127.0.0.1 with a free port, run as the
// "postgres" user (the tests run as root, and the server refuses root), with
// password logins, stopped and removed by the destructor.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "slapd_server.h"  // FreeLoopbackPort

namespace qmtest {

inline constexpr const char* kPostgresBin = "/usr/lib/postgresql/15/bin";
inline constexpr const char* kPostgresUser = "quillmark";
inline constexpr const char* kPostgresPassword = "Geheim-1";
inline constexpr const char* kPostgresDatabase = "benutzer";

class TestPostgres {
 public:
  /// Throws std::runtime_error with the reason when the server binaries are
  /// missing or the server does not come up.
  explicit TestPostgres(const std::filesystem::path& parent)
      : folder_(parent / ("postgres-" + std::to_string(::getpid()))) {
    namespace fs = std::filesystem;
    const fs::path bin(kPostgresBin);
    if (!fs::exists(bin / "initdb") || !fs::exists(bin / "pg_ctl") || !fs::exists(bin / "psql"))
      throw std::runtime_error(std::string(kPostgresBin) + "/initdb, pg_ctl or psql is not installed");
    Shell("rm -rf '" + folder_.string() + "'");
    fs::create_directories(folder_);
    port_ = FreeLoopbackPort();
    std::ofstream(folder_ / "pw") << "Admin-Passwort\n";
    Shell("chown -R postgres:postgres '" + folder_.string() + "'");
    Shell(AsPostgres(bin / "initdb") + " -D '" + Data() + "' -U postgres --auth=scram-sha-256 --pwfile='" +
          (folder_ / "pw").string() + "' --encoding=UTF8 --locale=C.UTF-8 >'" +
          (folder_ / "initdb.log").string() + "' 2>&1");
    Shell(AsPostgres(bin / "pg_ctl") + " -D '" + Data() + "' -l '" + (folder_ / "server.log").string() +
          "' -w -t 60 -o \"-p " + std::to_string(port_) + " -c listen_addresses=127.0.0.1 -k '" +
          folder_.string() + "'\" start >/dev/null");
    running_ = true;
    Sql("postgres", std::string("CREATE ROLE ") + kPostgresUser + " LOGIN PASSWORD '" +
                        kPostgresPassword + "'");
    Sql("postgres", std::string("CREATE DATABASE ") + kPostgresDatabase + " OWNER " + kPostgresUser);
  }

  ~TestPostgres() {
    if (running_) {
      std::system((AsPostgres(std::filesystem::path(kPostgresBin) / "pg_ctl") + " -D '" + Data() +
                   "' -m immediate -w stop >/dev/null 2>&1")
                      .c_str());
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TestPostgres(const TestPostgres&) = delete;
  TestPostgres& operator=(const TestPostgres&) = delete;

  int port() const { return port_; }

  /// Runs SQL text in the database as the table owner; throws when psql fails.
  void Sql(const std::string& database, const std::string& sql) const {
    std::ofstream(folder_ / "input.sql", std::ios::trunc) << sql << ";\n";
    const bool admin = database == "postgres";
    Shell(std::string("PGPASSWORD='") + (admin ? "Admin-Passwort" : kPostgresPassword) + "' " +
          kPostgresBin + "/psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(port_) +
          " -U " + (admin ? "postgres" : kPostgresUser) + " -d " + database + " -f '" +
          (folder_ / "input.sql").string() + "' >'" + (folder_ / "psql.log").string() + "' 2>&1");
  }

  /// The ODBC part of a connection to the test database with the psqlODBC driver.
  std::string OdbcString(const std::string& password = kPostgresPassword) const {
    return std::string("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=") + std::to_string(port_) +
           ";Database=" + kPostgresDatabase + ";Uid=" + kPostgresUser + ";Pwd=" + password;
  }

 private:
  std::string Data() const { return (folder_ / "data").string(); }
  static std::string AsPostgres(const std::filesystem::path& program) {
    return "runuser -u postgres -- '" + program.string() + "'";
  }
  void Shell(const std::string& command) const {
    if (std::system(command.c_str()) != 0) {
      std::string log;
      for (const char* name : {"initdb.log", "server.log", "psql.log"}) {
        std::ifstream in(folder_ / name);
        log += std::string(std::istreambuf_iterator<char>(in), {});
      }
      throw std::runtime_error("failed: " + command + "\n" + log);
    }
  }

  std::filesystem::path folder_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace qmtest
