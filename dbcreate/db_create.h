// clsDbCreate: creates the local database on a server, fills it by running an SQL script with
// the server's script tool, and registers a system ODBC data source (DSN) for it.
#pragma once

#include <string>
#include <string_view>

#include "common/prompt.h"
#include "dbcreate/server_address.h"

namespace qor::dbcreate {

// How far one call got. The window ignores it; the command line turns it into an exit status.
struct DbCreateOutcome {
  bool exists = false;           // the database was found on the server
  bool created = false;          // this call added the database
  bool tables_inserted = false;  // the script tool ran the script to its end without error
  bool dsn_added = false;        // the DSN writer completed
  bool failed = false;           // a failure was reported, the call's or the DSN writer's

  bool Succeeded() const { return !failed; }
};

// The arguments of one call, as the window and the command line gather them.
struct DbCreateArguments {
  std::string ServerName;
  std::string UserName;
  std::string PassWord;
  std::string DatabaseName;
  std::string SqlScript;
  std::string DSNName;
  bool CreateDb = true;
  bool CreateDsn = true;

  friend bool operator==(const DbCreateArguments&, const DbCreateArguments&) = default;
};

// The class keeps the name by which the rest of the system knows it.
class clsDbCreate {
 public:
  // Every outcome is shown through `prompt`. REQUIRES: `prompt` outlives the object.
  explicit clsDbCreate(Prompt& prompt) : prompt_(prompt) {}

  // Creates database `DatabaseName` on `ServerName` ("sqlite:DIR" or "host[:port]") unless it
  // exists (then asks whether to run the script in it), runs the script `SqlScript` (a path,
  // optionally in double quotes) with the server's script tool, then writes the system DSN
  // `DSNName` (none when blank). `CreateDb` and `CreateDsn` choose the two jobs. Shows its
  // outcome: a summary, or one failure message after which nothing further is done. The
  // password is never written anywhere and never given to the tool on its command line.
  DbCreateOutcome KilnbaseAndDSN(std::string ServerName, std::string UserName, std::string PassWord,
                                 std::string DatabaseName, std::string SqlScript,
                                 std::string DSNName, bool CreateDb, bool CreateDsn);

  DbCreateOutcome KilnbaseAndDSN(const DbCreateArguments& arguments);

  // The failure message for a failure with `description` after the steps in `progress`: while
  // the call has not added the database, "Database Creation Failed "; once added but before
  // the script ran to its end, "Databse Created, but Table insertion failed "; later, "System
  // DSN entry Failed ".
  static std::string FailureMessage(const DbCreateOutcome& progress, std::string_view description);
  // The summary of a call that did not fail; empty when nothing was done.
  static std::string SummaryMessage(const DbCreateOutcome& outcome, const std::string& DatabaseName,
                                    const std::string& ServerName, const std::string& DSNName);

 private:
  void CreateDatabaseAndTables(const ServerAddress& address, const std::string& ServerName,
                               const std::string& UserName, const std::string& PassWord,
                               const std::string& DatabaseName, const std::string& SqlScript,
                               DbCreateOutcome& outcome);
  // The DSN writer: shows its own failure and returns whether it completed. REQUIRES: `DSNName`
  // is not blank.
  bool WriteDsn(const std::string& ServerName, const std::string& UserName,
                const std::string& DatabaseName, const std::string& DSNName);

  Prompt& prompt_;
};

}  // namespace qor::dbcreate
