// What the tests of Kilnbase share: the tables the schema script creates, the servers of the
// test run, private ODBC configurations and environment variables set for one test.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testing/test_env.h"
#include "worker/localdb/connection.h"

namespace qor::dbcreate::testing {

// The tables that the local database's script creates, sorted, read from the script itself.
std::vector<std::string> ScriptTables();
// The tables of the database a connection reaches, sorted.
std::vector<std::string> TablesOf(localdb::Connection& connection);

// "127.0.0.1:PORT", the PostgreSQL server of the test run.
std::string PostgresServerName();
bool PostgresDatabaseExists(const std::string& name);
// Drops the database; a missing one is no error.
void DropPostgresDatabase(const std::string& name);

// The PostgreSQL databases a test made, dropped when the list goes. Failures to drop are
// swallowed: the server goes away with the test run.
class PostgresDatabases {
 public:
  PostgresDatabases() = default;
  ~PostgresDatabases();
  PostgresDatabases(const PostgresDatabases&) = delete;
  PostgresDatabases& operator=(const PostgresDatabases&) = delete;

  void Add(std::string name) { names_.push_back(std::move(name)); }

 private:
  std::vector<std::string> names_;
};

// An ODBC configuration folder holding a copy of the test run's odbcinst.ini (`odbcinst_ini`
// replaces its text when given) and, when `with_odbc_ini`, of its odbc.ini (the DSNs that reach
// the test run's servers).
void MakeOdbcConfig(const std::filesystem::path& folder, bool with_odbc_ini,
                    const std::optional<std::string>& odbcinst_ini = std::nullopt);

// The keys of one section of an ini file, as written (tests read the file as text, so that
// nothing is taken from a cache of the installer library).
std::vector<std::pair<std::string, std::string>> IniSection(const std::filesystem::path& file,
                                                            const std::string& section);

using qor::testing::ScopedEnv;

// Writes an executable shell script.
void WriteProgram(const std::filesystem::path& file, const std::string& text);

}  // namespace qor::dbcreate::testing
