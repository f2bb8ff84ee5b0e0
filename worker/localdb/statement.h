// One ODBC statement: SQL with bound parameters, and the rows it returns.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "worker/localdb/odbc.h"

namespace qor::localdb {

class Connection;

// A column of a result or a table, as the driver describes it.
struct ColumnInfo {
  std::string name;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN size = 0;  // characters for text, digits for numbers
  SQLSMALLINT decimal_digits = 0;
  bool nullable = true;

  bool IsText() const;
  // The longest text the column holds, or 0 when the driver gives no usable limit.
  std::size_t TextLimit() const;
};

// A column or table name quoted for SQL, so that names which are reserved words ("desc",
// "user") can be used. REQUIRES: the name as the database reports it (case matters once quoted).
std::string QuoteName(std::string_view name);

// A date-time as ODBC's timestamp (no fractions of a second).
SQL_TIMESTAMP_STRUCT ToTimestamp(const DateTime& value);

// The value as an SQL literal: quoted text (quotes doubled), a number, a date-time as quoted
// ISO text, NULL. Throws Error for text holding a NUL character (SQLSTATE 22021) or a number
// that is not finite (22003).
std::string SqlLiteral(const Variant& value);

// Refuses (SQLSTATE 22001) text longer than `column` holds: drivers that do not enforce a
// length would store it whole, and others would cut it.
void CheckValueFits(const ColumnInfo& column, const Variant& value, const char* source);

// Parameter values and the buffers that ODBC reads them from. The buffers stay put until the
// next Assign, so the statement can execute from them.
class ParameterBuffers {
 public:
  // `types`, when given, are the target columns (same length as `values`): a Null then takes the
  // column's type and text bound for a number column is converted by the driver.
  void Assign(std::span<const Variant> values, std::span<const ColumnInfo> types = {});
  // Appends one more group of values (a further row of a multi-row statement).
  void Append(std::span<const Variant> values, std::span<const ColumnInfo> types = {});
  // Forgets the values but keeps the buffers' memory for the next ones.
  void Clear() { used_ = 0; }
  std::size_t size() const { return used_; }
  // Binds every buffer to `statement` as parameters 1..size().
  void BindTo(const OdbcHandle& statement, const std::string& source);

 private:
  struct Slot {
    SQLSMALLINT c_type = SQL_C_CHAR;
    SQLSMALLINT sql_type = SQL_VARCHAR;
    SQLULEN column_size = 1;
    SQLSMALLINT decimal_digits = 0;
    SQLLEN indicator = 0;
    std::int64_t integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    std::string text;
  };
  Slot& NextSlot();

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

class Statement {
 public:
  // REQUIRES: `connection` is open and outlives the statement.
  explicit Statement(Connection& connection);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Prepare(const std::string& sql);
  // Binds the values as the parameters of the prepared (or next direct) statement.
  void Bind(std::span<const Variant> values, std::span<const ColumnInfo> types = {});
  ParameterBuffers& parameters() { return parameters_; }
  // Runs the prepared statement with the bound parameters; returns the rows affected
  // (-1 when the driver does not know).
  long long Execute();
  // Prepares nothing: runs `sql` once with the bound parameters.
  long long ExecuteDirect(const std::string& sql);
  // Runs a query whose result is to be read row by row (on a connection whose driver options
  // make it stream: SQLite StepAPI=1, PostgreSQL UseDeclareFetch=1). The SQLite driver reads
  // the whole result of a statement with parameters into memory, StepAPI or not; on SQLite the
  // values therefore go into the text as literals (SqlLiteral), elsewhere they are bound.
  // REQUIRES: the SQL's only "?" are the parameter markers.
  void ExecuteStreaming(const std::string& sql, std::span<const Variant> parameters);

  // The columns of the current result.
  const std::vector<ColumnInfo>& columns();
  // Moves to the next row; false at the end of the result.
  bool Fetch();
  // The value of column `index` (from 0) of the current row.
  Variant Get(std::size_t index);
  // Every value of the current row.
  std::vector<Variant> CurrentRow();
  // The rest of the result, row by row; for small results.
  std::vector<std::vector<Variant>> FetchAll();
  // Ends the current result so that the statement can run again.
  void CloseCursor();

  const OdbcHandle& handle() const { return handle_; }

 private:
  long long RowCount();
  void Describe();

  Connection& connection_;
  OdbcHandle handle_;
  ParameterBuffers parameters_;
  std::vector<ColumnInfo> columns_;
  bool described_ = false;
  std::string sql_;
};

}  // namespace qor::localdb
