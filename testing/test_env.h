// The test run's environment: its private ODBC configuration, the PostgreSQL server that the
// run started (testing/test_env.sh) and fresh databases on both.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "worker/localdb/connection.h"

namespace qor::testing {

enum class Backend { kSqlite, kPostgres };

inline const char* BackendName(Backend b) {
  return b == Backend::kSqlite ? "SQLite" : "PostgreSQL";
}
// Names the backend in test names and failure messages.
inline void PrintTo(Backend b, std::ostream* os) { *os << BackendName(b); }
inline const std::vector<Backend>& AllBackends() {
  static const std::vector<Backend> all = {Backend::kSqlite, Backend::kPostgres};
  return all;
}

// The values that test_env.sh wrote.
struct TestEnv {
  std::filesystem::path dir;  // the environment's folder
  std::filesystem::path odbc_dir;
  std::filesystem::path sqlite_dir;
  std::string pg_host;
  int pg_port = 0;
  std::string pg_user;
  std::string pg_password;
  std::filesystem::path pg_bindir;

  static const TestEnv& Get();
};

// Points unixODBC at the run's private configuration (ODBCSYSINI, ODBCINI) and fixes the
// locale to C. Called by the tests' main before anything else.
void InitializeTestProcess();

// The system DSNs of the private configuration.
inline constexpr const char* kSqliteDsn = "qor_sqlite";
inline constexpr const char* kPostgresDsn = "qor_pg";

// A new, empty database of its own for one test; dropped (PostgreSQL) or deleted (SQLite) by
// the destructor.
class TestDatabase {
 public:
  // `with_schema`: run the local database's SQL script in it.
  explicit TestDatabase(Backend backend, bool with_schema = true);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  Backend backend() const { return backend_; }
  // The database's name: the PostgreSQL database, or the SQLite file's stem.
  const std::string& name() const { return name_; }
  // "DSN=...;UID=...;PWD=...;Database=..." reaching this database.
  const std::string& connection_string() const { return connection_string_; }
  // The SQLite file (empty for PostgreSQL).
  const std::filesystem::path& file() const { return file_; }

  // A new open connection to the database.
  std::unique_ptr<localdb::Connection> Connect() const;

 private:
  Backend backend_;
  std::string name_;
  std::string connection_string_;
  std::filesystem::path file_;
};

// A connection to PostgreSQL's maintenance database, for creating and dropping databases.
std::string PostgresMaintenanceConnectionString();

// Statements of an SQL script: split at ";" ending a line, "--" comments removed.
std::vector<std::string> SplitSqlScript(const std::string& text);
// Runs every statement of the script file on the connection.
void RunSqlScript(localdb::Connection& connection, const std::filesystem::path& script);
// The local database's script.
std::filesystem::path LocalSchemaPath();
// A unique name for a test object: prefix + process id + a counter.
std::string UniqueName(const std::string& prefix);
// A folder of its own under the system's temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets (or, given none, removes) an environment variable until the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

}  // namespace qor::testing
