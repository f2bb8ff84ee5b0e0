// A set of rows read from the local database that can be walked, changed and added to.
//
// It behaves as a keyset cursor with optimistic locking: the rows are read when it opens, a
// change is written back by the row's primary key (or, without one, by the row's values as
// read) when Update saves it, and a save that finds its row gone or changed fails.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "worker/localdb/connection.h"

namespace qor::localdb {

class Recordset {
 public:
  // How Open reads its source: SQL text, or a bare table name (all the table's rows).
  enum class CommandType { kText = 1, kTable = 2 };

  Recordset() = default;
  ~Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens on `source` with the connection. SQL text may hold "?" placeholders for `parameters`.
  // Rows can be changed and added when the source is a table name or a "select * from TABLE
  // [where ...] [order by ...]" text; any other source is read-only.
  // REQUIRES: the recordset is closed and `connection` stays open while it is open.
  void Open(Connection& connection, const std::string& source, CommandType type,
            std::span<const Variant> parameters = {});
  void Open(Connection& connection, const std::string& source, CommandType type,
            std::initializer_list<Variant> parameters) {
    Open(connection, source, type, std::span<const Variant>(parameters.begin(), parameters.size()));
  }
  // Closes; a change or new row not yet saved is dropped.
  void Close();
  int State() const { return connection_ ? kStateOpen : kStateClosed; }

  // The exact number of rows, new rows included.
  long long RecordCount();
  // BOF: true when there is no current row before the first (right after opening exactly when
  // nothing matched). EOF: true when the position is past the last row.
  bool AtBOF();
  bool AtEOF();
  // Moving saves a pending change first, as Update does.
  void MoveFirst();
  void MoveNext();

  // Fields of the current row, by name without regard to case or by position from 0.
  // Reading Null gives a Null Variant.
  Variant Field(std::string_view name);
  Variant Field(std::size_t index);
  // Writes a field of the current row; saved by Update. Text longer than the column holds is
  // refused (SQLSTATE 22001), never cut.
  void SetField(std::string_view name, Variant value);

  // Starts a new row as the current row, saving a pending one first.
  void AddNew();
  // Saves the current row's pending change or new row. Nothing pending: nothing happens.
  void Update();

  const std::vector<ColumnInfo>& columns() const { return columns_; }
  // The table that changes are written to, or "" when the recordset is read-only.
  const std::string& table() const { return table_; }

 private:
  struct Row {
    std::vector<Variant> values;
    std::vector<Variant> original;
    std::vector<bool> changed;
    bool is_new = false;
  };

  void RequireOpen(const char* operation) const;
  void EnsureLoaded();
  // Appends the rest of the statement's result as unchanged rows.
  void ReadRows(Statement& statement);
  Row& CurrentRow(const char* operation);
  std::size_t ColumnIndex(std::string_view name) const;
  bool HasPendingChange() const;
  void Insert(Row& row);
  void UpdateExisting(Row& row);

  Connection* connection_ = nullptr;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  std::vector<Row> rows_;
  std::size_t position_ = 0;
  // A table opened by name is read only when it is walked or counted before rows are added
  // through it, so that appending to a large table does not read it first.
  bool loaded_ = false;
};

}  // namespace qor::localdb
