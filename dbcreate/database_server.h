// A server that holds databases: listing them, adding one and running a script in one.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbcreate/child_process.h"
#include "dbcreate/server_address.h"

namespace qor::dbcreate {

class DatabaseServer {
 public:
  virtual ~DatabaseServer() = default;

  // Reaches the server with the user and password given at creation. Throws Error with the
  // driver's or the system's description (a refused login, a server that cannot be found).
  virtual void Connect() = 0;
  // The names of the databases on the server, exactly as it spells them. REQUIRES: connected.
  virtual std::vector<std::string> ListDatabases() = 0;
  // Adds an empty database. Throws Error when the server refuses (one of that name exists).
  // REQUIRES: connected, CheckDatabaseName(name) passed.
  virtual void CreateDatabase(const std::string& name) = 0;
  // Ends the connection; closing twice does nothing.
  virtual void Close() = 0;

  // How the script tool found in `tools_folder` runs `script` in database `name`; the password
  // travels in the tool's environment, never among its arguments.
  virtual ChildCommand ScriptCommand(const std::filesystem::path& tools_folder,
                                     const std::string& name,
                                     const std::filesystem::path& script) const = 0;
};

// REQUIRES: CheckUserName(user) passed.
std::unique_ptr<DatabaseServer> MakeDatabaseServer(const ServerAddress& address,
                                                   const std::string& user,
                                                   const std::string& password);

// The folder holding the script tool `tool`: $QOR_SQL_TOOLS when it is set (the tool must be
// there), else the first folder of PATH that holds it. Throws Error (kValidationError, "SQL
// Server Components are not Present on this computer") when there is none.
std::filesystem::path FindToolsFolder(const std::string& tool);

}  // namespace qor::dbcreate
