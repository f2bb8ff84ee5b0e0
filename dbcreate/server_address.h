// What a server name given to Kilnbase stands for: "sqlite:DIR", a folder of database files,
// or "host[:port]", a PostgreSQL server.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qor::dbcreate {

enum class ServerKind { kSqlite, kPostgres };

inline constexpr int kDefaultPostgresPort = 5432;

struct ServerAddress {
  ServerKind kind = ServerKind::kSqlite;
  std::filesystem::path folder;  // kSqlite: where the databases are files NAME.db
  std::string host;              // kPostgres
  int port = kDefaultPostgresPort;

  // Throws Error (kValidationError) naming what is wrong with `server_name`.
  static ServerAddress Parse(const std::string& server_name);

  // The file of database `name`, absolute. REQUIRES: kind == kSqlite.
  std::filesystem::path DatabaseFile(const std::string& name) const;
  // The program that runs an SQL script on this kind of server.
  std::string ScriptToolName() const;
  // The ODBC drivers' library file names that reach this kind of server, preferred first.
  std::vector<std::string> DriverLibraries() const;
};

// Refusals of names that could break out of the SQL statement, the tool's arguments, the
// connection string or the odbc.ini entry they go into. Each throws Error (kValidationError)
// with a description that names the field and what is wrong.
void CheckDatabaseName(const std::string& name, ServerKind kind);
void CheckDsnName(const std::string& name);
void CheckUserName(const std::string& name);

}  // namespace qor::dbcreate
