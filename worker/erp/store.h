// The ERP store: the database that stands behind the component layer. It holds the seventeen
// ERP tables of the catalogue (columns named by the ERP's field codes) and the audit trail.
//
// The audit trail (table erp_audit) is filled by triggers in the store itself, so that the
// changes of every program are seen, not only the simulator's. One row per change:
//   seq   the order of the changes (ascending)
//   tbl   the ERP table, in lower case
//   tm    the instant of the change, whole seconds since 1970-01-01 UTC
//   act   "I" inserted, "U" updated, "D" deleted
//   keyv  the record's key fields, a JSON object by field code
//   rec   the record as captured at the change (the new record; the old one for a deletion),
//         a JSON object by field code (SQLite: json_object of the row; PostgreSQL: to_jsonb)
// An update that changes a key field is recorded as the deletion of the old key followed by
// the insertion of the new one, so that a reader keyed on the record finds both.
//
// Dates: date-time fields hold the local wall-clock date and time, as the ERP shows them; its
// empty date is 1 January 1900 00:00.
//
// Passwords never reach a command line, a log or a file we write: the connection string that
// the directory holds or the simulator takes carries no PWD; when it has none the password is
// taken from the environment variable QOR_ERP_PASSWORD. Messages show connection strings
// redacted only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "worker/erp/catalogue.h"
#include "worker/localdb/bulk_inserter.h"
#include "worker/localdb/connection.h"
#include "worker/localdb/statement.h"

namespace qor::erp {

inline constexpr const char* kErpPasswordVariable = "QOR_ERP_PASSWORD";
inline constexpr const char* kAuditTable = "erp_audit";

// The connection string with the password of QOR_ERP_PASSWORD added when it has no PWD (or
// an empty one) and the variable is set.
std::string WithEnvironmentPassword(const std::string& connection_string);
// The connection string with the options under which the dialect's driver streams a result
// instead of reading it whole (SQLite: StepAPI=1; PostgreSQL: UseDeclareFetch=1, Fetch=1000);
// options the string already sets stay as they are.
std::string WithStreaming(const std::string& connection_string, localdb::Dialect dialect);

// One open connection to a store, shared by a manager and the enumerations and readers it
// made; the connection closes when the last of them lets go.
class StoreSession {
 public:
  // Connects with the password from the environment (WithEnvironmentPassword) and the
  // streaming options of the store's driver. The driver is found by connecting the first time
  // a connection string is used in the process, which then reconnects with its options; later
  // sessions connect once. Throws Error naming the redacted connection string when the store
  // cannot be reached.
  static std::shared_ptr<StoreSession> Open(const std::string& connection_string);

  localdb::Connection& connection() { return connection_; }
  localdb::Dialect dialect() const { return connection_.dialect(); }

 private:
  localdb::Connection connection_;
};

// Opens a plain connection to a store (for the simulator and tests), password as above.
// Throws Error naming the redacted connection string.
std::unique_ptr<localdb::Connection> ConnectStore(const std::string& connection_string);

// The table's fields, quoted and separated by commas, in catalogue order.
std::string ColumnList(const TableDef& table);
// The table's key fields, quoted and separated by commas, in key order.
std::string KeyList(const TableDef& table);

// Statements that create the store: the seventeen tables (dropped first when they exist) and
// the audit trail. Triggers come separately, so that the tables can be filled (CreateStore) before
// changes are recorded.
std::vector<std::string> StoreTableStatements(localdb::Dialect dialect);
// Statements that create the triggers filling the audit trail, for every table.
std::vector<std::string> AuditTriggerStatements(localdb::Dialect dialect);
// Runs both inside one transaction: tables, trail and triggers stand all or not at all.
// `fill`, when given, runs in between, inside the same transaction: rows it writes are the
// state before the trail begins.
void CreateStore(localdb::Connection& connection,
                 const std::function<void(localdb::Connection&)>& fill = {});

// Writes rows into one store table through the local database layer's bulk path. Values
// come in catalogue field order. REQUIRES: `connection` outlives the inserter.
std::unique_ptr<localdb::BulkInserter> MakeStoreInserter(localdb::Connection& connection,
                                                         const TableDef& table);

}  // namespace qor::erp
