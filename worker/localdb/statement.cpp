#include "worker/localdb/statement.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "worker/localdb/connection.h"

namespace qor::localdb {
namespace {

bool IsTextType(SQLSMALLINT t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

}  // namespace

SQL_TIMESTAMP_STRUCT ToTimestamp(const DateTime& dt) {
  CivilTime c = dt.ToCivil();
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(c.year);
  ts.month = static_cast<SQLUSMALLINT>(c.month);
  ts.day = static_cast<SQLUSMALLINT>(c.day);
  ts.hour = static_cast<SQLUSMALLINT>(c.hour);
  ts.minute = static_cast<SQLUSMALLINT>(c.minute);
  ts.second = static_cast<SQLUSMALLINT>(c.second);
  ts.fraction = 0;
  return ts;
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string SqlLiteral(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return "NULL";
    case Variant::Kind::kText:
      if (value.AsText()->find('\0') != std::string::npos) {
        throw Error(kDatabaseError, "SqlLiteral",
                    "A text with a NUL character: " + DebugString(value), "22021", 0);
      }
      return SqlQuote(*value.AsText());
    case Variant::Kind::kDateTime:
      return SqlQuote(value.AsDateTime()->ToIso());
    case Variant::Kind::kDouble: {
      double d = *value.AsDouble();
      if (!std::isfinite(d)) {
        throw Error(kDatabaseError, "SqlLiteral", "No finite number: " + DebugString(value),
                    "22003", 0);
      }
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", d);
      return buffer;
    }
    case Variant::Kind::kInteger:
    case Variant::Kind::kBoolean:
      return std::to_string(value.ToInteger());
  }
  return "NULL";
}

void CheckValueFits(const ColumnInfo& column, const Variant& value, const char* source) {
  const std::string* text = value.AsText();
  std::size_t limit = column.TextLimit();
  if (text == nullptr || limit == 0) return;
  std::size_t length = Utf8Length(*text);
  if (length > limit) {
    throw Error(kDatabaseError, source,
                "String data, right truncation: a value of " + std::to_string(length) +
                    " characters is too long for column '" + column.name + "', which holds " +
                    std::to_string(limit),
                "22001", 0);
  }
}

bool ColumnInfo::IsText() const { return IsTextType(sql_type); }

std::size_t ColumnInfo::TextLimit() const {
  if (!IsText() || sql_type == SQL_LONGVARCHAR || sql_type == SQL_WLONGVARCHAR) return 0;
  // Drivers report huge sizes for unbounded text; such a column has no limit worth checking.
  if (size == 0 || size >= 65535) return 0;
  return static_cast<std::size_t>(size);
}

ParameterBuffers::Slot& ParameterBuffers::NextSlot() {
  if (used_ == slots_.size()) slots_.emplace_back();
  Slot& s = slots_[used_++];
  s.decimal_digits = 0;
  s.text.clear();  // keeps its capacity for the next text
  return s;
}

void ParameterBuffers::Assign(std::span<const Variant> values, std::span<const ColumnInfo> types) {
  Clear();
  Append(values, types);
}

void ParameterBuffers::Append(std::span<const Variant> values, std::span<const ColumnInfo> types) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Variant& v = values[i];
    const ColumnInfo* column = i < types.size() ? &types[i] : nullptr;
    Slot& s = NextSlot();
    switch (v.kind()) {
      case Variant::Kind::kNull:
        s.c_type = SQL_C_CHAR;
        s.sql_type = column ? column->sql_type : SQL_VARCHAR;
        s.column_size = column && column->size > 0 ? column->size : 1;
        s.decimal_digits = column ? column->decimal_digits : 0;
        s.indicator = SQL_NULL_DATA;
        break;
      case Variant::Kind::kInteger:
        s.c_type = SQL_C_SBIGINT;
        s.sql_type = SQL_BIGINT;
        s.column_size = 19;
        s.integer = *v.AsInteger();
        s.indicator = sizeof s.integer;
        break;
      case Variant::Kind::kBoolean:
        s.c_type = SQL_C_SBIGINT;
        s.sql_type = SQL_INTEGER;
        s.column_size = 10;
        s.integer = *v.AsBoolean() ? 1 : 0;
        s.indicator = sizeof s.integer;
        break;
      case Variant::Kind::kDouble:
        s.c_type = SQL_C_DOUBLE;
        s.sql_type = SQL_DOUBLE;
        s.column_size = 15;
        s.real = *v.AsDouble();
        s.indicator = sizeof s.real;
        break;
      case Variant::Kind::kDateTime:
        s.c_type = SQL_C_TYPE_TIMESTAMP;
        s.sql_type = SQL_TYPE_TIMESTAMP;
        s.column_size = 19;
        s.timestamp = ToTimestamp(*v.AsDateTime());
        s.indicator = sizeof s.timestamp;
        break;
      case Variant::Kind::kText:
        s.c_type = SQL_C_CHAR;
        // Text bound for a column of another type is converted by the driver, which then
        // sends it typed for that column.
        s.sql_type = column && !column->IsText() ? column->sql_type : SQL_VARCHAR;
        s.text.assign(*v.AsText());
        s.column_size = s.text.empty() ? 1 : s.text.size();
        if (column && !column->IsText()) {
          s.column_size = column->size > 0 ? column->size : s.column_size;
          s.decimal_digits = column->decimal_digits;
        }
        s.indicator = static_cast<SQLLEN>(s.text.size());
        break;
    }
  }
}

void ParameterBuffers::BindTo(const OdbcHandle& statement, const std::string& source) {
  for (std::size_t i = 0; i < used_; ++i) {
    Slot& s = slots_[i];
    SQLPOINTER data = nullptr;
    SQLLEN buffer_length = 0;
    switch (s.c_type) {
      case SQL_C_SBIGINT:
        data = &s.integer;
        break;
      case SQL_C_DOUBLE:
        data = &s.real;
        break;
      case SQL_C_TYPE_TIMESTAMP:
        data = &s.timestamp;
        break;
      default:
        data = s.text.data();
        buffer_length = static_cast<SQLLEN>(s.text.size());
        break;
    }
    SQLRETURN rc = SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(i + 1),
                                    SQL_PARAM_INPUT, s.c_type, s.sql_type, s.column_size,
                                    s.decimal_digits, data, buffer_length, &s.indicator);
    Check(rc, statement, source);
  }
}

Statement::Statement(Connection& connection)
    : connection_(connection), handle_(SQL_HANDLE_STMT, connection.handle().get()) {
  if (connection.CommandTimeout() > 0) {
    // A driver without time-outs refuses the attribute; the statement then runs unbounded,
    // which is what the callers would get from such a driver anyway.
    SQLSetStmtAttr(handle_.get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connection.CommandTimeout())),
                   0);
  }
}

Statement::~Statement() = default;

void Statement::Prepare(const std::string& sql) {
  sql_ = sql;
  described_ = false;
  Check(SQLPrepare(handle_.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                   SQL_NTS),
        handle_, "Statement.Prepare");
}

void Statement::Bind(std::span<const Variant> values, std::span<const ColumnInfo> types) {
  SQLFreeStmt(handle_.get(), SQL_RESET_PARAMS);
  parameters_.Assign(values, types);
  parameters_.BindTo(handle_, "Statement.Bind");
}

long long Statement::Execute() {
  described_ = false;
  SQLRETURN rc = SQLExecute(handle_.get());
  Check(rc, handle_, "Statement.Execute");
  return rc == SQL_NO_DATA ? 0 : RowCount();
}

long long Statement::ExecuteDirect(const std::string& sql) {
  sql_ = sql;
  described_ = false;
  SQLRETURN rc = SQLExecDirect(handle_.get(),
                               reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  Check(rc, handle_, "Statement.Execute");
  return rc == SQL_NO_DATA ? 0 : RowCount();
}

void Statement::ExecuteStreaming(const std::string& sql, std::span<const Variant> parameters) {
  if (connection_.dialect() != Dialect::kSqlite) {
    Bind(parameters);
    ExecuteDirect(sql);
    return;
  }
  std::string text;
  std::size_t next = 0;
  for (char c : sql) {
    if (c != '?') {
      text += c;
      continue;
    }
    if (next >= parameters.size()) {
      throw Error(kDatabaseError, "Statement.ExecuteStreaming",
                  "More markers than values in: " + sql, "07002", 0);
    }
    text += SqlLiteral(parameters[next++]);
  }
  // Values bound before would stand for markers that the text no longer has.
  SQLFreeStmt(handle_.get(), SQL_RESET_PARAMS);
  parameters_.Clear();
  ExecuteDirect(text);
}

long long Statement::RowCount() {
  SQLLEN count = -1;
  if (!Succeeded(SQLRowCount(handle_.get(), &count))) return -1;
  return static_cast<long long>(count);
}

void Statement::Describe() {
  columns_.clear();
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(handle_.get(), &count), handle_, "Statement.Describe");
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    SQLCHAR name[256] = {0};
    SQLSMALLINT name_length = 0;
    ColumnInfo c;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    Check(SQLDescribeCol(handle_.get(), static_cast<SQLUSMALLINT>(i), name, sizeof name,
                         &name_length, &c.sql_type, &c.size, &c.decimal_digits, &nullable),
          handle_, "Statement.Describe");
    c.name = reinterpret_cast<char*>(name);
    c.nullable = nullable != SQL_NO_NULLS;
    columns_.push_back(std::move(c));
  }
  described_ = true;
}

const std::vector<ColumnInfo>& Statement::columns() {
  if (!described_) Describe();
  return columns_;
}

bool Statement::Fetch() {
  if (!described_) Describe();
  SQLRETURN rc = SQLFetch(handle_.get());
  if (rc == SQL_NO_DATA) return false;
  Check(rc, handle_, "Statement.Fetch");
  return true;
}

Variant Statement::Get(std::size_t index) {
  const ColumnInfo& column = columns().at(index);
  SQLUSMALLINT number = static_cast<SQLUSMALLINT>(index + 1);
  SQLLEN indicator = 0;
  switch (column.sql_type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      std::int64_t value = 0;
      Check(SQLGetData(handle_.get(), number, SQL_C_SBIGINT, &value, sizeof value, &indicator),
            handle_, "Statement.Get");
      if (indicator == SQL_NULL_DATA) return Variant();
      return Variant(static_cast<long long>(value));
    }
    case SQL_BIT: {
      unsigned char value = 0;
      Check(SQLGetData(handle_.get(), number, SQL_C_BIT, &value, sizeof value, &indicator), handle_,
            "Statement.Get");
      if (indicator == SQL_NULL_DATA) return Variant();
      return Variant(value != 0);
    }
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      if (column.decimal_digits == 0 && column.size > 0 && column.size <= 18) {
        std::int64_t value = 0;
        Check(SQLGetData(handle_.get(), number, SQL_C_SBIGINT, &value, sizeof value, &indicator),
              handle_, "Statement.Get");
        if (indicator == SQL_NULL_DATA) return Variant();
        return Variant(static_cast<long long>(value));
      }
      [[fallthrough]];
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double value = 0;
      Check(SQLGetData(handle_.get(), number, SQL_C_DOUBLE, &value, sizeof value, &indicator),
            handle_, "Statement.Get");
      if (indicator == SQL_NULL_DATA) return Variant();
      return Variant(value);
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIME:
    case SQL_TIME: {
      SQL_TIMESTAMP_STRUCT ts{};
      Check(SQLGetData(handle_.get(), number, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator),
            handle_, "Statement.Get");
      if (indicator == SQL_NULL_DATA) return Variant();
      DateTime dt;
      if (column.sql_type == SQL_TYPE_TIME || column.sql_type == SQL_TIME) {
        dt = DateTime::FromCivil(1899, 12, 30, ts.hour, ts.minute, ts.second);
      } else {
        dt = DateTime::FromCivil(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
      }
      // The local database keeps seconds; fractions round to the nearest one.
      if (ts.fraction >= 500000000u) dt = dt.AddSeconds(1);
      return Variant(dt);
    }
    default: {
      std::string text;
      char buffer[4096];
      while (true) {
        SQLRETURN rc =
            SQLGetData(handle_.get(), number, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;
        Check(rc, handle_, "Statement.Get");
        if (indicator == SQL_NULL_DATA) return Variant();
        std::size_t got =
            (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer))
                ? sizeof buffer - 1
                : static_cast<std::size_t>(indicator);
        text.append(buffer, got);
        if (rc == SQL_SUCCESS) break;
      }
      return Variant(std::move(text));
    }
  }
}

std::vector<Variant> Statement::CurrentRow() {
  std::size_t width = columns().size();
  std::vector<Variant> row;
  row.reserve(width);
  for (std::size_t i = 0; i < width; ++i) row.push_back(Get(i));
  return row;
}

std::vector<std::vector<Variant>> Statement::FetchAll() {
  std::vector<std::vector<Variant>> rows;
  while (Fetch()) rows.push_back(CurrentRow());
  return rows;
}

void Statement::CloseCursor() { SQLFreeStmt(handle_.get(), SQL_CLOSE); }

}  // namespace qor::localdb
