#include "dbcreate/database_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/connection_string.h"
#include "common/error.h"
#include "common/text.h"
#include "common/unique_fd.h"
#include "dbcreate/system_dsn.h"
#include "worker/localdb/connection.h"
#include "worker/localdb/statement.h"

namespace qor::dbcreate {
namespace {
namespace fs = std::filesystem;

constexpr const char* kNoTools = "SQL Server Components are not Present on this computer";

bool IsProgram(const fs::path& file) {
  std::error_code ignored;
  return fs::is_regular_file(file, ignored) && ::access(file.c_str(), X_OK) == 0;
}

// A folder of database files NAME.db; the files are the databases.
class SqliteServer : public DatabaseServer {
 public:
  explicit SqliteServer(ServerAddress address) : address_(std::move(address)) {}

  void Connect() override {
    std::error_code error;
    if (!fs::is_directory(address_.folder, error)) {
      throw Error(error ? error.value() : ENOTDIR, "SqliteServer.Connect",
                  "The folder '" + address_.folder.string() + "' does not exist");
    }
  }

  std::vector<std::string> ListDatabases() override {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(address_.folder, error)) {
      const fs::path& file = entry.path();
      if (file.extension() == ".db" && entry.is_regular_file()) {
        names.push_back(file.stem().string());
      }
    }
    if (error) {
      throw Error(error.value(), "SqliteServer.ListDatabases",
                  "Cannot read the folder '" + address_.folder.string() + "': " + error.message());
    }
    return names;
  }

  void CreateDatabase(const std::string& name) override {
    // An empty file is an empty database to the tool and the driver; O_EXCL refuses to take
    // over a file that appeared since the listing.
    fs::path file = address_.DatabaseFile(name);
    UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) {
      int error = errno;
      throw Error(error, "SqliteServer.CreateDatabase",
                  "Cannot create '" + file.string() + "': " + std::strerror(error));
    }
  }

  void Close() override {}

  ChildCommand ScriptCommand(const fs::path& tools_folder, const std::string& name,
                             const fs::path& script) const override {
    ChildCommand command;
    command.program = tools_folder / address_.ScriptToolName();
    // -bail stops at the first failing statement with a non-zero exit status; -init keeps a
    // user's start-up file out of the script.
    command.arguments = {"-bail", "-batch", "-init", "/dev/null",
                         address_.DatabaseFile(name).string()};
    command.standard_input = script;
    return command;
  }

 private:
  ServerAddress address_;
};

// A PostgreSQL server, reached through its maintenance database "postgres".
class PostgresServer : public DatabaseServer {
 public:
  PostgresServer(ServerAddress address, std::string user, std::string password)
      : address_(std::move(address)), user_(std::move(user)), password_(std::move(password)) {}

  void Connect() override {
    OdbcDriver driver = FindOdbcDriver(address_.DriverLibraries());
    ConnectionString cs;
    cs.Set("Driver", driver.name);
    cs.Set("Servername", address_.host);
    cs.Set("Port", std::to_string(address_.port));
    cs.Set("Database", "postgres");
    cs.Set("UID", user_);
    cs.Set("PWD", password_);
    connection_.Open(cs.ToString());
  }

  std::vector<std::string> ListDatabases() override {
    std::vector<std::string> names;
    for (const auto& row : connection_.Query("SELECT datname FROM pg_database")) {
      names.push_back(row[0].ToText());
    }
    return names;
  }

  void CreateDatabase(const std::string& name) override {
    // Quoted, the name keeps its letter case, as the exact-case listing expects.
    connection_.Execute("CREATE DATABASE " + localdb::QuoteName(name));
  }

  void Close() override { connection_.Close(); }

  ChildCommand ScriptCommand(const fs::path& tools_folder, const std::string& name,
                             const fs::path& script) const override {
    ChildCommand command;
    command.program = tools_folder / address_.ScriptToolName();
    // -X: no ~/.psqlrc; -w: never wait for a password on a terminal; ON_ERROR_STOP: stop at
    // the first error with exit status 3.
    command.arguments = {"-X",
                         "-q",
                         "-w",
                         "-v",
                         "ON_ERROR_STOP=1",
                         "-h",
                         address_.host,
                         "-p",
                         std::to_string(address_.port)};
    if (!user_.empty()) {
      command.arguments.push_back("-U");
      command.arguments.push_back(user_);
    }
    command.arguments.insert(command.arguments.end(), {"-d", name, "-f", script.string()});
    command.environment = {{"PGPASSWORD", password_},
                           // A script run again would otherwise report every existing table.
                           {"PGOPTIONS", "-c client_min_messages=warning"}};
    return command;
  }

 private:
  ServerAddress address_;
  std::string user_;
  std::string password_;
  localdb::Connection connection_;
};

}  // namespace

std::unique_ptr<DatabaseServer> MakeDatabaseServer(const ServerAddress& address,
                                                   const std::string& user,
                                                   const std::string& password) {
  if (address.kind == ServerKind::kSqlite) return std::make_unique<SqliteServer>(address);
  return std::make_unique<PostgresServer>(address, user, password);
}

fs::path FindToolsFolder(const std::string& tool) {
  const char* tools = std::getenv("QOR_SQL_TOOLS");
  if (tools != nullptr && *tools != '\0') {
    if (IsProgram(fs::path(tools) / tool)) return tools;
    throw Error(kValidationError, "clsDbCreate.FindTools", kNoTools);
  }
  const char* path = std::getenv("PATH");
  for (const std::string& folder : Split(path != nullptr ? path : "", ':')) {
    // An empty entry would mean the current folder, which nobody chooses knowingly.
    if (!folder.empty() && IsProgram(fs::path(folder) / tool)) return folder;
  }
  throw Error(kValidationError, "clsDbCreate.FindTools", kNoTools);
}

}  // namespace qor::dbcreate
