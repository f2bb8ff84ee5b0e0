// The path by which a full copy writes many rows into one table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/variant.h"
#include "worker/localdb/connection.h"

namespace qor::localdb {

// Writes rows into one table, possibly several per statement. Rows handed to Add may be
// written later, at the latest by Flush: a caller that needs them in the table (or needs to
// know that they fit) calls Flush. An error of any row is raised by the Add or Flush that
// writes it; rows written before it stay written (run the inserter inside a Transaction to
// keep all or nothing).
class BulkInserter {
 public:
  virtual ~BulkInserter() = default;
  // One value per column, in the order the inserter was made with. Text longer than its
  // column holds is refused (SQLSTATE 22001), never cut.
  virtual void Add(std::span<const Variant> row) = 0;
  virtual void Flush() = 0;
  // Rows written to the table so far.
  virtual long long rows_written() const = 0;
};

// Rows per statement that suit each driver (measured by bench/bulk_insert_bench).
std::size_t PreferredRowsPerStatement(Dialect dialect, std::size_t column_count);

// The inserter for the connection's driver: one prepared statement for the table and the
// columns, executed with the rows bound as parameters.
// REQUIRES: `connection` is open and outlives the inserter; `columns` are columns of `table`.
std::unique_ptr<BulkInserter> MakeBulkInserter(Connection& connection, const std::string& table,
                                               const std::vector<std::string>& columns);

// The ODBC inserter with a chosen number of rows per statement (a multi-row VALUES list when
// more than one); the benchmark compares the choices.
std::unique_ptr<BulkInserter> MakeOdbcBulkInserter(Connection& connection, const std::string& table,
                                                   const std::vector<std::string>& columns,
                                                   std::size_t rows_per_statement);

// The ODBC inserter that executes one single-row statement for up to `array_size` rows at once,
// their values bound as arrays. Raises Error when a column has no fixed width (text without a
// length). REQUIRES: as MakeBulkInserter.
std::unique_ptr<BulkInserter> MakeOdbcArrayInserter(Connection& connection,
                                                    const std::string& table,
                                                    const std::vector<std::string>& columns,
                                                    std::size_t array_size);

}  // namespace qor::localdb
