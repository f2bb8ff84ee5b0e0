#include "worker/localdb/recordset.h"

#include <regex>

#include "common/text.h"

namespace qor::localdb {
namespace {

// The single table of a "select * from TABLE ..." text, or "" when the text reads anything else.
std::string WritableTable(const std::string& sql) {
  static const std::regex kSelectStar(
      R"(^\s*select\s+\*\s+from\s+([A-Za-z_][A-Za-z0-9_]*)\s*((where|order)\b[\s\S]*)?$)",
      std::regex::icase);
  std::smatch match;
  if (std::regex_match(sql, match, kSelectStar)) return match[1].str();
  return "";
}

}  // namespace

void Recordset::RequireOpen(const char* operation) const {
  if (!connection_) {
    throw Error(kDatabaseError, operation, "Operation is not allowed when the object is closed");
  }
}

void Recordset::Open(Connection& connection, const std::string& source, CommandType type,
                     std::span<const Variant> parameters) {
  if (connection_) {
    throw Error(kDatabaseError, "Recordset.Open",
                "Operation is not allowed when the object is open");
  }
  rows_.clear();
  position_ = 0;
  if (type == CommandType::kTable) {
    if (!IsSqlIdentifier(source)) {
      throw Error(kDatabaseError, "Recordset.Open", "Not a table name: '" + source + "'");
    }
    columns_ = connection.TableColumns(source);
    table_ = source;
    loaded_ = false;
    connection_ = &connection;
    return;
  }
  Statement statement(connection);
  if (!parameters.empty()) statement.Bind(parameters);
  statement.ExecuteDirect(source);
  columns_ = statement.columns();
  ReadRows(statement);
  table_ = WritableTable(source);
  loaded_ = true;
  connection_ = &connection;
}

void Recordset::ReadRows(Statement& statement) {
  for (std::vector<Variant>& values : statement.FetchAll()) {
    Row row;
    row.original = values;
    row.values = std::move(values);
    row.changed.assign(row.values.size(), false);
    rows_.push_back(std::move(row));
  }
}

void Recordset::Close() {
  connection_ = nullptr;
  rows_.clear();
  columns_.clear();
  table_.clear();
  position_ = 0;
}

void Recordset::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  if (!rows_.empty()) return;  // rows were added first: the recordset shows those
  Statement statement(*connection_);
  statement.ExecuteDirect("SELECT * FROM " + table_);
  ReadRows(statement);
  position_ = 0;
}

long long Recordset::RecordCount() {
  RequireOpen("Recordset.RecordCount");
  EnsureLoaded();
  return static_cast<long long>(rows_.size());
}

bool Recordset::AtBOF() {
  RequireOpen("Recordset.BOF");
  if (rows_.empty()) EnsureLoaded();
  return rows_.empty();
}

bool Recordset::AtEOF() {
  RequireOpen("Recordset.EOF");
  if (rows_.empty()) EnsureLoaded();
  return position_ >= rows_.size();
}

void Recordset::MoveFirst() {
  RequireOpen("Recordset.MoveFirst");
  if (HasPendingChange()) Update();
  EnsureLoaded();
  position_ = 0;
}

void Recordset::MoveNext() {
  RequireOpen("Recordset.MoveNext");
  if (HasPendingChange()) Update();
  EnsureLoaded();
  if (position_ >= rows_.size()) {
    throw Error(kDatabaseError, "Recordset.MoveNext", "Either BOF or EOF is True");
  }
  ++position_;
}

Recordset::Row& Recordset::CurrentRow(const char* operation) {
  RequireOpen(operation);
  if (rows_.empty()) EnsureLoaded();
  if (position_ >= rows_.size()) {
    throw Error(kDatabaseError, operation, "Either BOF or EOF is True: there is no current row");
  }
  return rows_[position_];
}

std::size_t Recordset::ColumnIndex(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCase(columns_[i].name, name)) return i;
  }
  throw Error(kDatabaseError, "Recordset.Fields",
              "Item cannot be found in the collection: no column '" + std::string(name) + "'");
}

Variant Recordset::Field(std::string_view name) {
  std::size_t index = ColumnIndex(name);
  return CurrentRow("Recordset.Fields").values[index];
}

Variant Recordset::Field(std::size_t index) {
  Row& row = CurrentRow("Recordset.Fields");
  if (index >= row.values.size()) {
    throw Error(kDatabaseError, "Recordset.Fields",
                "Item cannot be found in the collection: no column " + std::to_string(index));
  }
  return row.values[index];
}

void Recordset::SetField(std::string_view name, Variant value) {
  std::size_t index = ColumnIndex(name);
  Row& row = CurrentRow("Recordset.Fields");
  if (table_.empty()) {
    throw Error(kDatabaseError, "Recordset.Fields",
                "The recordset is read-only: its source is not a single table");
  }
  CheckValueFits(columns_[index], value, "Recordset.Fields");
  row.values[index] = std::move(value);
  row.changed[index] = true;
}

bool Recordset::HasPendingChange() const {
  if (position_ >= rows_.size()) return false;
  const Row& row = rows_[position_];
  if (row.is_new) return true;
  for (bool c : row.changed) {
    if (c) return true;
  }
  return false;
}

void Recordset::AddNew() {
  RequireOpen("Recordset.AddNew");
  if (table_.empty()) {
    throw Error(kDatabaseError, "Recordset.AddNew",
                "The recordset is read-only: its source is not a single table");
  }
  if (HasPendingChange()) Update();
  Row row;
  row.values.assign(columns_.size(), Variant());
  row.original = row.values;
  row.changed.assign(columns_.size(), false);
  row.is_new = true;
  rows_.push_back(std::move(row));
  position_ = rows_.size() - 1;
}

void Recordset::Update() {
  RequireOpen("Recordset.Update");
  if (!HasPendingChange()) return;
  Row& row = rows_[position_];
  if (row.is_new) {
    Insert(row);
  } else {
    UpdateExisting(row);
  }
  row.is_new = false;
  row.original = row.values;
  row.changed.assign(columns_.size(), false);
}

void Recordset::Insert(Row& row) {
  // Only the fields that were set are written, so that the table's defaults fill the rest.
  std::string names;
  std::string marks;
  std::vector<Variant> values;
  std::vector<ColumnInfo> types;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (!row.changed[i]) continue;
    if (!names.empty()) {
      names += ", ";
      marks += ", ";
    }
    names += QuoteName(columns_[i].name);
    marks += "?";
    values.push_back(row.values[i]);
    types.push_back(columns_[i]);
  }
  std::string sql = names.empty()
                        ? "INSERT INTO " + table_ + " DEFAULT VALUES"
                        : "INSERT INTO " + table_ + " (" + names + ") VALUES (" + marks + ")";
  Statement statement(*connection_);
  if (!values.empty()) statement.Bind(values, types);
  statement.ExecuteDirect(sql);
}

void Recordset::UpdateExisting(Row& row) {
  std::string sets;
  std::vector<Variant> values;
  std::vector<ColumnInfo> types;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (!row.changed[i]) continue;
    if (!sets.empty()) sets += ", ";
    sets += QuoteName(columns_[i].name) + " = ?";
    values.push_back(row.values[i]);
    types.push_back(columns_[i]);
  }
  // Find the row as it was read: by its primary key, or by all its values.
  std::vector<std::size_t> key_columns;
  for (const std::string& key : connection_->PrimaryKey(table_)) {
    key_columns.push_back(ColumnIndex(key));
  }
  if (key_columns.empty()) {
    for (std::size_t i = 0; i < columns_.size(); ++i) key_columns.push_back(i);
  }
  std::string where;
  for (std::size_t i : key_columns) {
    if (!where.empty()) where += " AND ";
    if (row.original[i].IsNull()) {
      where += QuoteName(columns_[i].name) + " IS NULL";
    } else {
      where += QuoteName(columns_[i].name) + " = ?";
      values.push_back(row.original[i]);
      types.push_back(columns_[i]);
    }
  }
  Statement statement(*connection_);
  statement.Bind(values, types);
  long long affected =
      statement.ExecuteDirect("UPDATE " + table_ + " SET " + sets + " WHERE " + where);
  if (affected == 0) {
    throw Error(kDatabaseError, "Recordset.Update",
                "Row cannot be located for updating: it was changed or deleted since it was "
                "read from " +
                    table_);
  }
}

}  // namespace qor::localdb
