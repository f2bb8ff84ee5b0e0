#include "worker/localdb/connection.h"

#include <algorithm>
#include <filesystem>

#include "common/connection_string.h"
#include "common/text.h"

namespace qor::localdb {
namespace {

std::string GetInfoText(const OdbcHandle& dbc, SQLUSMALLINT info) {
  char buffer[1024] = {0};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfo(dbc.get(), info, buffer, sizeof buffer, &length))) return "";
  return std::string(buffer);
}

Dialect DetectDialect(const OdbcHandle& dbc) {
  std::string dbms = ToLower(GetInfoText(dbc, SQL_DBMS_NAME));
  if (dbms.find("sqlite") != std::string::npos) return Dialect::kSqlite;
  if (dbms.find("postgres") != std::string::npos) return Dialect::kPostgres;
  return Dialect::kOther;
}

}  // namespace

Connection::Connection() = default;

Connection::~Connection() { Disconnect(); }

void Connection::Open(const std::string& connection_string) {
  if (IsOpen()) {
    throw Error(kDatabaseError, "Connection.Open", "The connection is already open");
  }
  Connect(connection_string);
}

void Connection::Connect(const std::string& connection_string) {
  env_ = SharedEnvironment();
  auto dbc = std::make_unique<OdbcHandle>(SQL_HANDLE_DBC, env_->get());
  SQLSetConnectAttr(dbc->get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(20), 0);
  SQLCHAR out[1024];
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnect(
      dbc->get(), nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connection_string.c_str())),
      SQL_NTS, out, sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) throw DiagnosticError(*dbc, "Connection.Open");
  dbc_ = std::move(dbc);
  connection_string_ = connection_string;
  dialect_ = DetectDialect(*dbc_);
  in_transaction_ = false;
  table_columns_.clear();
  primary_keys_.clear();
}

void Connection::Disconnect() noexcept {
  if (!dbc_) return;
  if (in_transaction_) {
    // The SQLite driver refuses to disconnect inside a transaction; nothing uncommitted may
    // survive a close anyway.
    SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK);
    SQLSetConnectAttr(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    in_transaction_ = false;
  }
  SQLDisconnect(dbc_->get());
  dbc_.reset();
}

void Connection::Close() { Disconnect(); }

const OdbcHandle& Connection::handle() const {
  if (!dbc_) throw Error(kDatabaseError, "Connection", "The connection is closed");
  return *dbc_;
}

std::string Connection::DefaultDatabase() const {
  const OdbcHandle& dbc = handle();
  if (dialect_ == Dialect::kSqlite) {
    // The driver names the database by its file; the database's name is the file's stem.
    std::filesystem::path file = GetInfoText(dbc, SQL_DATABASE_NAME);
    return file.stem().string();
  }
  char buffer[512] = {0};
  SQLINTEGER length = 0;
  if (Succeeded(
          SQLGetConnectAttr(dbc.get(), SQL_ATTR_CURRENT_CATALOG, buffer, sizeof buffer, &length))) {
    return buffer;
  }
  return GetInfoText(dbc, SQL_DATABASE_NAME);
}

void Connection::SetDefaultDatabase(const std::string& name) {
  const OdbcHandle& dbc = handle();
  if (name == DefaultDatabase()) return;
  if (in_transaction_) {
    throw Error(kDatabaseError, "Connection.DefaultDatabase",
                "The default database cannot change inside a transaction");
  }
  ConnectionString cs = ConnectionString::Parse(connection_string_);
  if (dialect_ == Dialect::kSqlite) {
    std::filesystem::path current = GetInfoText(dbc, SQL_DATABASE_NAME);
    std::filesystem::path wanted = current.parent_path() / (name + ".db");
    if (name.find('/') != std::string::npos || !std::filesystem::exists(wanted)) {
      throw Error(kDatabaseError, "Connection.DefaultDatabase",
                  "Database '" + name + "' does not exist (looked for " + wanted.string() + ")");
    }
    cs.Set("Database", wanted.string());
  } else if (dialect_ == Dialect::kPostgres) {
    cs.Set("Database", name);
  } else {
    Check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_CURRENT_CATALOG, const_cast<char*>(name.c_str()),
                            SQL_NTS),
          dbc, "Connection.DefaultDatabase");
    return;
  }
  // A server connection is bound to one database: reach the other by connecting anew, and
  // keep the old connection until the new one stands.
  auto old_dbc = std::move(dbc_);
  std::string old_string = connection_string_;
  try {
    Connect(cs.ToString());
  } catch (...) {
    dbc_ = std::move(old_dbc);
    connection_string_ = old_string;
    throw;
  }
  SQLDisconnect(old_dbc->get());
}

long long Connection::Execute(const std::string& sql, std::span<const Variant> parameters) {
  Statement statement(*this);
  if (!parameters.empty()) statement.Bind(parameters);
  return statement.ExecuteDirect(sql);
}

std::vector<std::vector<Variant>> Connection::Query(const std::string& sql,
                                                    std::span<const Variant> parameters) {
  Statement statement(*this);
  if (!parameters.empty()) statement.Bind(parameters);
  statement.ExecuteDirect(sql);
  return statement.FetchAll();
}

void Connection::BeginTransaction() {
  const OdbcHandle& dbc = handle();
  if (in_transaction_) {
    throw Error(kDatabaseError, "Connection.BeginTrans", "A transaction is already open");
  }
  Check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
        dbc, "Connection.BeginTrans");
  in_transaction_ = true;
}

void Connection::Commit() {
  const OdbcHandle& dbc = handle();
  if (!in_transaction_) {
    throw Error(kDatabaseError, "Connection.CommitTrans", "No transaction is open");
  }
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_COMMIT), dbc, "Connection.CommitTrans");
  in_transaction_ = false;
  Check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
        dbc, "Connection.CommitTrans");
}

void Connection::Rollback() {
  const OdbcHandle& dbc = handle();
  if (!in_transaction_) return;
  in_transaction_ = false;
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
  SQLSetConnectAttr(dbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                    0);
  Check(rc, dbc, "Connection.RollbackTrans");
}

const std::vector<ColumnInfo>& Connection::TableColumns(const std::string& table) {
  std::string key = ToLower(table);
  auto it = table_columns_.find(key);
  if (it != table_columns_.end()) return it->second;
  if (!IsSqlIdentifier(table)) {
    throw Error(kDatabaseError, "Connection.TableColumns", "Not a table name: '" + table + "'");
  }
  Statement statement(*this);
  statement.ExecuteDirect("SELECT * FROM " + table + " WHERE 1=0");
  std::vector<ColumnInfo> columns = statement.columns();
  return table_columns_.emplace(key, std::move(columns)).first->second;
}

const std::vector<std::string>& Connection::PrimaryKey(const std::string& table) {
  std::string key = ToLower(table);
  auto it = primary_keys_.find(key);
  if (it != primary_keys_.end()) return it->second;
  // Unquoted names are folded to lower case by PostgreSQL and kept by SQLite.
  std::string catalog_name = dialect_ == Dialect::kPostgres ? key : table;
  OdbcHandle statement(SQL_HANDLE_STMT, handle().get());
  Check(SQLPrimaryKeys(statement.get(), nullptr, 0, nullptr, 0,
                       reinterpret_cast<SQLCHAR*>(catalog_name.data()), SQL_NTS),
        statement, "Connection.PrimaryKey");
  std::vector<std::pair<int, std::string>> parts;
  while (true) {
    SQLRETURN rc = SQLFetch(statement.get());
    if (rc == SQL_NO_DATA) break;
    Check(rc, statement, "Connection.PrimaryKey");
    char column[256] = {0};
    SQLSMALLINT sequence = 0;
    SQLLEN indicator = 0;
    SQLGetData(statement.get(), 4, SQL_C_CHAR, column, sizeof column, &indicator);
    SQLGetData(statement.get(), 5, SQL_C_SSHORT, &sequence, sizeof sequence, &indicator);
    parts.emplace_back(sequence, column);
  }
  std::sort(parts.begin(), parts.end());
  std::vector<std::string> names;
  for (auto& p : parts) names.push_back(p.second);
  return primary_keys_.emplace(key, std::move(names)).first->second;
}

}  // namespace qor::localdb
