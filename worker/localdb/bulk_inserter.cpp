#include "worker/localdb/bulk_inserter.h"

#include <algorithm>

#include "common/text.h"

namespace qor::localdb {
namespace {

// psqlODBC's server-side prepare fails beyond about 7,490 parameters.
constexpr std::size_t kMaxParameters = 7000;

class OdbcBulkInserter : public BulkInserter {
 public:
  OdbcBulkInserter(Connection& connection, const std::string& table,
                   const std::vector<std::string>& columns, std::size_t rows_per_statement)
      : connection_(connection), table_(table), batch_(connection) {
    if (!IsSqlIdentifier(table)) {
      throw Error(kDatabaseError, "BulkInserter", "Not a table name: '" + table + "'");
    }
    if (columns.empty()) {
      throw Error(kDatabaseError, "BulkInserter", "No columns to insert into " + table);
    }
    const std::vector<ColumnInfo>& all = connection.TableColumns(table);
    for (const std::string& name : columns) {
      auto it = std::find_if(all.begin(), all.end(),
                             [&](const ColumnInfo& c) { return EqualsIgnoreCase(c.name, name); });
      if (it == all.end()) {
        throw Error(kDatabaseError, "BulkInserter",
                    "Table " + table + " has no column '" + name + "'");
      }
      types_.push_back(*it);
      if (!names_.empty()) names_ += ", ";
      names_ += QuoteName(it->name);
    }
    rows_per_statement_ = std::clamp<std::size_t>(
        rows_per_statement, 1, std::max<std::size_t>(1, kMaxParameters / types_.size()));
    batch_.Prepare(InsertSql(rows_per_statement_));
  }

  void Add(std::span<const Variant> row) override {
    if (row.size() != types_.size()) {
      throw Error(kDatabaseError, "BulkInserter",
                  "A row of " + std::to_string(row.size()) + " values for " +
                      std::to_string(types_.size()) + " columns of " + table_);
    }
    for (std::size_t i = 0; i < row.size(); ++i) CheckValueFits(types_[i], row[i], "BulkInserter");
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

  long long rows_written() const override { return written_; }

 private:
  std::string InsertSql(std::size_t rows) const {
    std::string group = "(";
    for (std::size_t i = 0; i < types_.size(); ++i) group += i == 0 ? "?" : ", ?";
    group += ")";
    std::string sql = "INSERT INTO " + table_ + " (" + names_ + ") VALUES ";
    sql.reserve(sql.size() + rows * (group.size() + 2));
    for (std::size_t r = 0; r < rows; ++r) {
      if (r > 0) sql += ", ";
      sql += group;
    }
    return sql;
  }

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

  Connection& connection_;
  std::string table_;
  std::string names_;
  std::vector<ColumnInfo> types_;
  std::size_t rows_per_statement_ = 1;
  Statement batch_;
  // The values of the rows not yet written, already in the form ODBC reads them from.
  ParameterBuffers buffers_;
  std::size_t pending_rows_ = 0;
  long long written_ = 0;
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
  return MakeOdbcBulkInserter(connection, table, columns,
                              PreferredRowsPerStatement(connection.dialect(), columns.size()));
}

std::unique_ptr<BulkInserter> MakeOdbcBulkInserter(Connection& connection, const std::string& table,
                                                   const std::vector<std::string>& columns,
                                                   std::size_t rows_per_statement) {
  return std::make_unique<OdbcBulkInserter>(connection, table, columns, rows_per_statement);
}

}  // namespace qor::localdb
