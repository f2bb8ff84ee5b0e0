#include "dbcreate/db_create.h"

#include <algorithm>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "dbcreate/database_server.h"
#include "dbcreate/server_address.h"
#include "dbcreate/system_dsn.h"

namespace qor::dbcreate {
namespace {

const std::string kCrLf2 = std::string(kCrLf) + std::string(kCrLf);

// The script as the tool receives it: a caller may have put it in double quotes so that blanks
// survive a command line; here it travels as one argument, so the quotes go.
std::filesystem::path ScriptPath(const std::string& SqlScript) {
  std::string path = SqlScript;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = path.substr(1, path.size() - 2);
  }
  return std::filesystem::absolute(path);
}

// The tool's own words, with the line breaks of our messages.
std::string ToolFailure(const ChildResult& result, const std::string& tool) {
  std::string text;
  for (const std::string& line : Split(TrimSpace(result.error_output), '\n')) {
    if (!text.empty()) text += kCrLf;
    text += line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
  }
  if (text.empty()) {
    text = result.signal != 0
               ? tool + " was ended by signal " + std::to_string(result.signal)
               : tool + " ended with exit status " + std::to_string(result.exit_code);
  }
  return text;
}

// Our errors carry their description; anything else (a file system error) its own text.
std::string Description(const std::exception& e) {
  const auto* error = dynamic_cast<const Error*>(&e);
  return error != nullptr ? error->description() : e.what();
}

void CheckNames(const ServerAddress& address, const std::string& UserName,
                const std::string& DatabaseName, const std::string& DSNName, bool with_dsn) {
  CheckUserName(UserName);
  CheckDatabaseName(DatabaseName, address.kind);
  if (with_dsn) CheckDsnName(DSNName);
}

}  // namespace

std::string clsDbCreate::FailureMessage(const DbCreateOutcome& progress,
                                        std::string_view description) {
  std::string head;
  if (!progress.created) {
    head = "Database Creation Failed ";
  } else if (!progress.tables_inserted) {
    head = "Databse Created, but Table insertion failed ";
  } else {
    head = "System DSN entry Failed ";
  }
  return head + std::string(description);
}

std::string clsDbCreate::SummaryMessage(const DbCreateOutcome& outcome,
                                        const std::string& DatabaseName,
                                        const std::string& ServerName, const std::string& DSNName) {
  std::string text;
  if (outcome.created) {
    text += "Database '" + DatabaseName + "' created on the Server '" + ServerName + "'" + kCrLf2;
  }
  if (outcome.tables_inserted) {
    text += "Tables inserted into the database '" + DatabaseName + "'" + kCrLf2;
  }
  if (outcome.dsn_added) text += "'" + DSNName + "' added to the System DSN list";
  return text;
}

DbCreateOutcome clsDbCreate::KilnbaseAndDSN(const DbCreateArguments& a) {
  return KilnbaseAndDSN(a.ServerName, a.UserName, a.PassWord, a.DatabaseName, a.SqlScript,
                        a.DSNName, a.CreateDb, a.CreateDsn);
}

DbCreateOutcome clsDbCreate::KilnbaseAndDSN(std::string ServerName, std::string UserName,
                                            std::string PassWord, std::string DatabaseName,
                                            std::string SqlScript, std::string DSNName,
                                            bool CreateDb, bool CreateDsn) {
  DbCreateOutcome outcome;
  // A blank DSN name asks for no DSN.
  const bool write_dsn = CreateDsn && !Trim(DSNName).empty();
  if (CreateDb) {
    try {
      // Every name is checked before anything is created, the DSN's too.
      ServerAddress address = ServerAddress::Parse(ServerName);
      CheckNames(address, UserName, DatabaseName, DSNName, write_dsn);
      CreateDatabaseAndTables(address, ServerName, UserName, PassWord, DatabaseName, SqlScript,
                              outcome);
    } catch (const std::exception& e) {
      prompt_.ShowMessage(FailureMessage(outcome, Description(e)), MessageIcon::kNone);
      outcome.failed = true;
      return outcome;
    }
  }
  if (write_dsn) {
    outcome.dsn_added = WriteDsn(ServerName, UserName, DatabaseName, DSNName);
    if (!outcome.dsn_added) outcome.failed = true;
  }
  std::string summary = SummaryMessage(outcome, DatabaseName, ServerName, DSNName);
  if (!summary.empty()) prompt_.ShowMessage(summary, MessageIcon::kInformation);
  return outcome;
}

void clsDbCreate::CreateDatabaseAndTables(const ServerAddress& address,
                                          const std::string& ServerName,
                                          const std::string& UserName, const std::string& PassWord,
                                          const std::string& DatabaseName,
                                          const std::string& SqlScript, DbCreateOutcome& outcome) {
  std::string tool = address.ScriptToolName();
  // Found before any connection: without the tool nothing can be filled.
  std::filesystem::path tools = FindToolsFolder(tool);
  std::unique_ptr<DatabaseServer> server = MakeDatabaseServer(address, UserName, PassWord);
  server->Connect();
  // Letter case counts, as it does on the server.
  std::vector<std::string> names = server->ListDatabases();
  outcome.exists = std::ranges::find(names, DatabaseName) != names.end();
  bool run_script = true;
  if (outcome.exists) {
    // Asked while the connection is still open.
    Answer answer =
        prompt_.AskYesNo("Database '" + DatabaseName + "' already exists on Server '" + ServerName +
                             "'" + kCrLf2 + "Do you still want to Create Tables in this Database?",
                         "Database Creation", Answer::kYes);
    run_script = answer == Answer::kYes;
  } else {
    server->CreateDatabase(DatabaseName);
    outcome.created = true;
  }
  server->Close();
  if (!run_script) return;

  ChildResult result =
      RunToCompletion(server->ScriptCommand(tools, DatabaseName, ScriptPath(SqlScript)));
  if (!result.Succeeded()) {
    throw Error(result.signal != 0 ? 128 + result.signal : result.exit_code, tool,
                ToolFailure(result, tool));
  }
  outcome.tables_inserted = true;
}

bool clsDbCreate::WriteDsn(const std::string& ServerName, const std::string& UserName,
                           const std::string& DatabaseName, const std::string& DSNName) {
  try {
    ServerAddress address = ServerAddress::Parse(ServerName);
    CheckNames(address, UserName, DatabaseName, DSNName, true);
    OdbcDriver driver = FindOdbcDriver(address.DriverLibraries());
    // Its "Driver" key is not among them: the data source is written with it, ahead of these.
    IniValues values;
    if (address.kind == ServerKind::kSqlite) {
      // The driver finds the file by its full path, from whatever folder the reader runs in.
      values.emplace_back("Database", address.DatabaseFile(DatabaseName).string());
    } else {
      values.emplace_back("Database", DatabaseName);
    }
    values.emplace_back("Description", "..to connect to QOR Database");
    values.emplace_back("LastUser", UserName);
    values.emplace_back("Server", ServerName);
    if (address.kind == ServerKind::kPostgres) {
      values.emplace_back("Servername", address.host);
      values.emplace_back("Port", std::to_string(address.port));
    }
    WriteSystemDsn(DSNName, driver.DsnDriverValue(), values);
    return true;
  } catch (const std::exception& e) {
    prompt_.ShowMessage("System DSN Creation Failed. " + Description(e), MessageIcon::kNone);
    return false;
  }
}

}  // namespace qor::dbcreate
