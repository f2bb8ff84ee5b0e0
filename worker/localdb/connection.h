// A connection to the local database through an ODBC data source.
#pragma once

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/variant.h"
#include "worker/localdb/odbc.h"
#include "worker/localdb/statement.h"

namespace qor::localdb {

// The SQL dialects whose drivers the layer knows; kOther gets the plain ODBC paths.
enum class Dialect { kSqlite, kPostgres, kOther };

// Open or closed, as the callers test it: 0 closed, 1 open.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

class Connection {
 public:
  Connection();
  // Rolls back an open transaction, then disconnects. Never throws.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects with an ODBC connection string ("DSN=...;UID=...;PWD=..."). Throws Error with the
  // driver's description when the data source, user or password is wrong.
  // REQUIRES: the connection is closed.
  void Open(const std::string& connection_string);
  // Rolls back an open transaction and disconnects; closing a closed connection does nothing.
  void Close();
  int State() const { return dbc_ ? kStateOpen : kStateClosed; }
  bool IsOpen() const { return dbc_ != nullptr; }

  // The database that later statements run in. On PostgreSQL a different name reconnects to
  // that database of the same server; on SQLite a name is a database file NAME.db beside the
  // data source's own file, which must exist. Setting the name already in use does nothing.
  void SetDefaultDatabase(const std::string& name);
  std::string DefaultDatabase() const;

  // Seconds a statement may run before it is cancelled; 0 waits without limit.
  void SetCommandTimeout(int seconds) { command_timeout_ = seconds; }
  int CommandTimeout() const { return command_timeout_; }

  // Runs one statement; returns the rows it affected (-1 when the driver cannot tell). The
  // values are bound as parameters 1..n ("?" in the text): never paste values into SQL.
  long long Execute(const std::string& sql, std::span<const Variant> parameters = {});
  long long Execute(const std::string& sql, std::initializer_list<Variant> parameters) {
    return Execute(sql, std::span<const Variant>(parameters.begin(), parameters.size()));
  }

  // Reads all rows of a query with bound parameters; for small results.
  std::vector<std::vector<Variant>> Query(const std::string& sql,
                                          std::span<const Variant> parameters = {});
  std::vector<std::vector<Variant>> Query(const std::string& sql,
                                          std::initializer_list<Variant> parameters) {
    return Query(sql, std::span<const Variant>(parameters.begin(), parameters.size()));
  }

  // Transactions. Outside one every statement commits by itself.
  void BeginTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return in_transaction_; }

  Dialect dialect() const { return dialect_; }
  // The columns of a table, in table order. REQUIRES: IsSqlIdentifier(table).
  const std::vector<ColumnInfo>& TableColumns(const std::string& table);
  // The primary key's columns, in key order; empty when the table has none.
  const std::vector<std::string>& PrimaryKey(const std::string& table);

  // REQUIRES: IsOpen().
  const OdbcHandle& handle() const;

 private:
  void Connect(const std::string& connection_string);
  void Disconnect() noexcept;

  std::shared_ptr<OdbcHandle> env_;
  std::unique_ptr<OdbcHandle> dbc_;
  std::string connection_string_;
  Dialect dialect_ = Dialect::kOther;
  int command_timeout_ = 30;
  bool in_transaction_ = false;
  std::map<std::string, std::vector<ColumnInfo>> table_columns_;
  std::map<std::string, std::vector<std::string>> primary_keys_;
};

// A transaction on a connection: begun by the constructor, rolled back by the destructor
// unless Commit was called.
class Transaction {
 public:
  explicit Transaction(Connection& connection) : connection_(connection) {
    connection_.BeginTransaction();
  }
  ~Transaction() {
    if (!done_) {
      try {
        connection_.Rollback();
      } catch (...) {
        // A destructor may be running because of another error; that error is the one to
        // report, and the driver ends the transaction when the connection closes.
      }
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit() {
    connection_.Commit();
    done_ = true;
  }

 private:
  Connection& connection_;
  bool done_ = false;
};

}  // namespace qor::localdb
