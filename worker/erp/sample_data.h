// The simulator's sample data for the ERP store: consistent, deterministic rows for the
// seventeen tables, and random changes that stand in for the ERP's users.
//
// Rows are a function of (table, index, seed, today): the same seed on the same day gives the
// same data. Service employees have calendars whose periods lie around today (from 75 days
// before to 44 days after); orders reference existing configurations, employees, centres,
// areas and addresses; the ERP's empty date (1 January 1900) stands in unset order dates;
// some optional fields are Null. Keys stay within the ranges that the copies list.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "common/date_time.h"
#include "common/variant.h"
#include "worker/erp/catalogue.h"
#include "worker/localdb/connection.h"

namespace qor::erp {

struct SampleOptions {
  long long rows = 1000;  // rows of the largest table (service order activities)
  std::uint64_t seed = 1;
  DateTime today;  // the date the calendars centre on (time of day ignored)
};

class SampleData {
 public:
  explicit SampleData(const SampleOptions& options);

  // Rows that `create` writes into the table.
  long long Count(const TableDef& table) const;
  // Indexes below this give distinct keys within the copies' ranges; Row(table, i) for i at or
  // above Count() gives rows that `change` may insert.
  long long Capacity(const TableDef& table) const;
  // The row of that index, in catalogue field order. `salt` varies the fields that are no key
  // (0 for the rows that `create` writes).
  std::vector<Variant> Row(const TableDef& table, long long index, std::uint64_t salt = 0) const;
  // Hands every row that `create` writes into the table (Row(table, i) for i below Count) to
  // `take`, in index order.
  void ForEachRow(const TableDef& table,
                  const std::function<void(std::span<const Variant>)>& take) const;
  // The fields that `change` may update without breaking the data's consistency.
  std::vector<std::string> UpdatableFields(const TableDef& table) const;

  long long employees() const { return employees_; }
  long long calendars() const { return calendars_; }

 private:
  // The row of that index of the table at `number` in the catalogue.
  std::vector<Variant> Generate(const TableDef& table, std::size_t number, long long index,
                                std::uint64_t salt) const;

  SampleOptions options_;
  long long activities_, orders_, configurations_, addresses_, employees_, calendars_, centres_;
};

// Creates the store's tables and trail in `connection`, fills every table and adds the trail's
// triggers, in one transaction: on failure nothing stays. Returns the rows written per table.
// Existing tables of the store are replaced.
std::map<std::string, long long> CreateSampleStore(localdb::Connection& connection,
                                                   const SampleOptions& options);

struct ChangeOptions {
  long long count = 1;
  std::uint64_t seed = 1;
  std::string table;  // empty: any of the seventeen
  DateTime today;
};

struct ChangeCounts {
  long long inserted = 0;
  long long updated = 0;
  long long deleted = 0;
};

// Makes `count` random inserts, updates and deletes in one transaction. The store's triggers
// record each in the audit trail. Throws Error for an unknown table.
ChangeCounts ApplyRandomChanges(localdb::Connection& connection, const ChangeOptions& options);

}  // namespace qor::erp
