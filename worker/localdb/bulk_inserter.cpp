#include "worker/localdb/bulk_inserter.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace qor::localdb {
namespace {

// psqlODBC's server-side prepare fails beyond about 7,490 parameters.
constexpr std::size_t kMaxParameters = 7000;

// The table and columns that an inserter writes, as the database describes them.
struct InsertTarget {
  std::string table;
  std::vector<ColumnInfo> types;
  // "(a,b,...)", or nothing when every column of the table is written in table order.
  std::string names;
};

InsertTarget ResolveTarget(Connection& connection, const std::string& table,
                           const std::vector<std::string>& columns) {
  if (!IsSqlIdentifier(table)) {
    throw Error(kDatabaseError, "BulkInserter", "Not a table name: '" + table + "'");
  }
  if (columns.empty()) {
    throw Error(kDatabaseError, "BulkInserter", "No columns to insert into " + table);
  }
  InsertTarget target{table, {}, {}};
  const std::vector<ColumnInfo>& all = connection.TableColumns(table);
  bool whole_table = columns.size() == all.size();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string& name = columns[i];
    auto it = std::find_if(all.begin(), all.end(),
                           [&](const ColumnInfo& c) { return EqualsIgnoreCase(c.name, name); });
    if (it == all.end()) {
      throw Error(kDatabaseError, "BulkInserter",
                  "Table " + table + " has no column '" + name + "'");
    }
    whole_table = whole_table && it == all.begin() + static_cast<std::ptrdiff_t>(i);
    target.types.push_back(*it);
    target.names += target.names.empty() ? "(" : ",";
    target.names += QuoteName(it->name);
  }
  target.names += ")";
  // The SQLite driver parses the statement's text again for every row it executes: the
  // shorter the text, the faster the copy. Every column in table order needs no list.
  if (whole_table) target.names.clear();
  return target;
}

// What every inserter checks: each row before it is taken.
class TableInserter : public BulkInserter {
 public:
  TableInserter(Connection& connection, InsertTarget target)
      : connection_(connection),
        table_(std::move(target.table)),
        names_(std::move(target.names)),
        types_(std::move(target.types)) {}

  long long rows_written() const override { return written_; }

 protected:
  void CheckRow(std::span<const Variant> row) const {
    if (row.size() != types_.size()) {
      throw Error(kDatabaseError, "BulkInserter",
                  "A row of " + std::to_string(row.size()) + " values for " +
                      std::to_string(types_.size()) + " columns of " + table_);
    }
    for (std::size_t i = 0; i < row.size(); ++i) CheckValueFits(types_[i], row[i], "BulkInserter");
  }

  // "INSERT INTO table(columns)VALUES(?,...),..." for `rows` rows.
  std::string InsertSql(std::size_t rows) const {
    std::string group = "(";
    for (std::size_t i = 0; i < types_.size(); ++i) group += i == 0 ? "?" : ",?";
    group += ")";
    std::string sql = "INSERT INTO " + table_ + names_ + " VALUES";
    sql.reserve(sql.size() + rows * (group.size() + 1));
    for (std::size_t r = 0; r < rows; ++r) {
      if (r > 0) sql += ",";
      sql += group;
    }
    return sql;
  }

  Connection& connection_;
  std::string table_;
  std::string names_;
  std::vector<ColumnInfo> types_;
  long long written_ = 0;
};

// Several rows per statement: a prepared multi-row VALUES list, every value its own parameter.
class MultiRowInserter : public TableInserter {
 public:
  MultiRowInserter(Connection& connection, InsertTarget target, std::size_t rows_per_statement)
      : TableInserter(connection, std::move(target)), batch_(connection) {
    rows_per_statement_ = std::clamp<std::size_t>(
        rows_per_statement, 1, std::max<std::size_t>(1, kMaxParameters / types_.size()));
    batch_.Prepare(InsertSql(rows_per_statement_));
  }

  void Add(std::span<const Variant> row) override {
    CheckRow(row);
    buffers_.Append(row, types_);
    ++pending_rows_;
    if (pending_rows_ == rows_per_statement_) WriteBatch(batch_);
  }

  void Flush() override {
    if (pending_rows_ == 0) return;
    Statement rest(connection_);
    rest.Prepare(InsertSql(pending_rows_));
    WriteBatch(rest);
  }

 private:
  void WriteBatch(Statement& statement) {
    SQLFreeStmt(statement.handle().get(), SQL_RESET_PARAMS);
    buffers_.BindTo(statement.handle(), "BulkInserter");
    std::size_t rows = pending_rows_;
    // The batch is gone whether or not the driver takes it; its error reports these rows.
    // Clear keeps the memory that the execute below reads.
    buffers_.Clear();
    pending_rows_ = 0;
    statement.Execute();
    written_ += static_cast<long long>(rows);
  }

  std::size_t rows_per_statement_ = 1;
  Statement batch_;
  // The values of the rows not yet written, already in the form ODBC reads them from.
  ParameterBuffers buffers_;
  std::size_t pending_rows_ = 0;
};

// One row per statement, executed for many rows at once with arrays of parameter values bound
// column by column. Every column needs a fixed width, so a text column without a length
// cannot take part (ArrayInserter::Supports).
class ArrayInserter : public TableInserter {
 public:
  static bool Supports(const std::vector<ColumnInfo>& columns) {
    for (const ColumnInfo& c : columns) {
      if (KindOf(c) == Kind::kUnsupported) return false;
    }
    return true;
  }

  ArrayInserter(Connection& connection, InsertTarget target, std::size_t array_size)
      : TableInserter(connection, std::move(target)),
        statement_(SQL_HANDLE_STMT, connection.handle().get()),
        array_size_(std::max<std::size_t>(1, array_size)),
        status_(array_size_) {
    std::string sql = InsertSql(1);
    Check(SQLPrepare(statement_.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), statement_,
          "BulkInserter");
    SQLSetStmtAttr(statement_.get(), SQL_ATTR_PARAM_BIND_TYPE,
                   reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(statement_.get(), SQL_ATTR_PARAM_STATUS_PTR, status_.data(), 0);
    for (std::size_t i = 0; i < types_.size(); ++i) {
      ColumnBuffer& b = buffers_.emplace_back();
      b.kind = KindOf(types_[i]);
      SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
      SQLULEN size = 0;
      switch (b.kind) {
        case Kind::kText:
          size = types_[i].TextLimit();
          b.width = size * 4 + 1;  // UTF-8 takes at most four bytes a character
          break;
        case Kind::kInteger:
          c_type = SQL_C_SBIGINT, sql_type = SQL_BIGINT, size = 19, b.width = sizeof(std::int64_t);
          break;
        case Kind::kDouble:
          c_type = SQL_C_DOUBLE, sql_type = SQL_DOUBLE, size = 15, b.width = sizeof(double);
          break;
        case Kind::kTimestamp:
          c_type = SQL_C_TYPE_TIMESTAMP, sql_type = SQL_TYPE_TIMESTAMP, size = 19;
          b.width = sizeof(SQL_TIMESTAMP_STRUCT);
          break;
        case Kind::kUnsupported:
          throw Error(kDatabaseError, "BulkInserter",
                      "Column '" + types_[i].name + "' cannot be bound as an array");
      }
      b.data.resize(b.width * array_size_);
      b.indicators.resize(array_size_);
      Check(SQLBindParameter(statement_.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                             c_type, sql_type, size, 0, b.data.data(), static_cast<SQLLEN>(b.width),
                             b.indicators.data()),
            statement_, "BulkInserter");
    }
  }

  void Add(std::span<const Variant> row) override {
    CheckRow(row);
    for (std::size_t i = 0; i < row.size(); ++i) Store(buffers_[i], pending_rows_, row[i]);
    if (++pending_rows_ == array_size_) Flush();
  }

  void Flush() override {
    if (pending_rows_ == 0) return;
    std::size_t rows = pending_rows_;
    pending_rows_ = 0;
    SQLSetStmtAttr(statement_.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    Check(SQLExecute(statement_.get()), statement_, "BulkInserter");
    for (std::size_t r = 0; r < rows; ++r) {
      if (status_[r] == SQL_PARAM_ERROR) {
        throw Error(kDatabaseError, "BulkInserter",
                    "Row " + std::to_string(written_ + static_cast<long long>(r) + 1) +
                        " was refused by the database");
      }
    }
    written_ += static_cast<long long>(rows);
  }

 private:
  enum class Kind { kText, kInteger, kDouble, kTimestamp, kUnsupported };

  static Kind KindOf(const ColumnInfo& c) {
    switch (c.sql_type) {
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_BIGINT:
        return Kind::kInteger;
      case SQL_DECIMAL:
      case SQL_NUMERIC:
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        return Kind::kDouble;
      case SQL_TYPE_DATE:
      case SQL_TYPE_TIMESTAMP:
      case SQL_DATE:
      case SQL_TIMESTAMP:
        return Kind::kTimestamp;
      default:
        return c.TextLimit() > 0 ? Kind::kText : Kind::kUnsupported;
    }
  }

  struct ColumnBuffer {
    Kind kind = Kind::kText;
    std::size_t width = 0;
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
  };

  // Puts a value into row `r` of a column's array, converted to the column's kind.
  static void Store(ColumnBuffer& b, std::size_t r, const Variant& v) {
    if (v.IsNull()) {
      b.indicators[r] = SQL_NULL_DATA;
      return;
    }
    char* at = b.data.data() + r * b.width;
    switch (b.kind) {
      case Kind::kText: {
        std::string text = v.AsText() ? *v.AsText() : v.ToText();
        if (text.size() + 1 > b.width) {
          throw Error(kDatabaseError, "BulkInserter",
                      "String data, right truncation: " + std::to_string(text.size()) +
                          " bytes do not fit the column",
                      "22001", 0);
        }
        // Terminated text lets the driver read it in place rather than copy it to end it.
        std::memcpy(at, text.c_str(), text.size() + 1);
        b.indicators[r] = SQL_NTS;
        break;
      }
      case Kind::kInteger: {
        std::int64_t value = v.ToInteger();
        std::memcpy(at, &value, sizeof value);
        b.indicators[r] = 0;  // fixed-length values need no length
        break;
      }
      case Kind::kDouble: {
        double value = v.ToDouble();
        std::memcpy(at, &value, sizeof value);
        b.indicators[r] = 0;  // fixed-length values need no length
        break;
      }
      case Kind::kTimestamp: {
        SQL_TIMESTAMP_STRUCT ts = ToTimestamp(v.ToDateTime());
        std::memcpy(at, &ts, sizeof ts);
        b.indicators[r] = 0;
        break;
      }
      case Kind::kUnsupported:
        break;
    }
  }

  OdbcHandle statement_;
  std::size_t array_size_;
  std::vector<SQLUSMALLINT> status_;
  std::vector<ColumnBuffer> buffers_;
  std::size_t pending_rows_ = 0;
};

}  // namespace

std::size_t PreferredRowsPerStatement(Dialect dialect, std::size_t column_count) {
  std::size_t cap =
      std::max<std::size_t>(1, kMaxParameters / std::max<std::size_t>(1, column_count));
  switch (dialect) {
    case Dialect::kPostgres:
      return std::min<std::size_t>(100, cap);
    case Dialect::kSqlite:
      return std::min<std::size_t>(100, cap);
    case Dialect::kOther:
      return 1;
  }
  return 1;
}

std::unique_ptr<BulkInserter> MakeBulkInserter(Connection& connection, const std::string& table,
                                               const std::vector<std::string>& columns) {
  InsertTarget target = ResolveTarget(connection, table, columns);
  // The SQLite driver prepares anew for every execute: one execute for many rows pays most.
  if (connection.dialect() == Dialect::kSqlite && ArrayInserter::Supports(target.types)) {
    return std::make_unique<ArrayInserter>(connection, std::move(target), 1000);
  }
  return std::make_unique<MultiRowInserter>(
      connection, std::move(target),
      PreferredRowsPerStatement(connection.dialect(), columns.size()));
}

std::unique_ptr<BulkInserter> MakeOdbcBulkInserter(Connection& connection, const std::string& table,
                                                   const std::vector<std::string>& columns,
                                                   std::size_t rows_per_statement) {
  return std::make_unique<MultiRowInserter>(connection, ResolveTarget(connection, table, columns),
                                            rows_per_statement);
}

std::unique_ptr<BulkInserter> MakeOdbcArrayInserter(Connection& connection,
                                                    const std::string& table,
                                                    const std::vector<std::string>& columns,
                                                    std::size_t array_size) {
  return std::make_unique<ArrayInserter>(connection, ResolveTarget(connection, table, columns),
                                         array_size);
}

}  // namespace qor::localdb
