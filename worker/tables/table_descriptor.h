// What makes one ERP table's copy its own, described as data: its components, list call,
// audit criteria, keys, column mapping, texts and deviations. The full copy (full_copy.h) and
// the changed-data copy (changed_copy.h) interpret it; no table has code of its own except the
// named pieces below.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "worker/erp/component.h"

namespace qor::worker {
class clsDataCopy;
}

namespace qor::worker::tables {

// How a getter's value becomes a column's value.
enum class Conversion {
  kNone,         // written as the getter returns it
  kDate,         // a Java date: the date-time it holds, or Null for the ERP's empty date
  kYesNo,        // 1 gives 1, any other value 0
  kTwoDecimals,  // a number rounded to two decimals, halves to the even digit
};

// One column of a row filler, in the order the filler assigns them.
struct ColumnMapping {
  std::string_view column;  // as the filler names it; columns match without regard to case
  std::string_view getter;
  Conversion conversion = Conversion::kNone;
  // Written only from an element that a manager's list returned, never from the audit
  // reader's current object, which does not carry it.
  bool listed_only = false;
};

// A table's row filler (`FillServiceTypesRow` and its kind).
struct RowFiller {
  std::string_view name;
  std::vector<ColumnMapping> columns;
};

// How a key value stands in the key clause.
enum class KeyKind {
  kText,         // between apostrophes
  kNumber,       // a plain number
  kTwoDecimals,  // a number rounded as Conversion::kTwoDecimals rounds it
};

// One column of a key clause, with the getter of the current object that gives its value.
// The values are bound as parameters, never pasted into the statement.
struct KeyColumn {
  std::string_view column;
  std::string_view getter;
  KeyKind kind = KeyKind::kText;
};

// An audit key parameter: a field and the range of its values.
struct KeyParameter {
  std::string_view field;
  std::string_view from;
  std::string_view to;
};

// A call on the manager: the method and its range arguments.
struct ListCall {
  std::string_view method;
  std::vector<erp::Value> args;
};

// One of the two copies of a table: its procedure name and the texts of its failure.
struct CopyTexts {
  std::string_view name;          // `CopyServiceTypesFull`, `CopyServiceTypesChanged`
  std::string_view step_text;     // the raised error's source
  std::string_view failure_text;  // the raised error's description
};

// Writes one changed row (Part of the changed-data copy that some tables do their own way).
// Given the job, the table's descriptor, the manager, the audit reader's current object and
// whether the local row is new, it fills the job's TableRecordset.
struct TableDescriptor;
using ChangedRowWriter =
    std::function<void(clsDataCopy& job, const TableDescriptor& table, erp::Object& manager,
                       erp::Object& current, bool new_row)>;

struct TableDescriptor {
  std::string_view table;     // the ERP table and the local table, in lower case
  std::string_view dispatch;  // `CopyServiceTypes`
  std::string_view manager_class;
  std::string_view object_class;
  ListCall list;  // the full copy's list call
  CopyTexts full_copy;
  CopyTexts changed_copy;
  std::vector<KeyParameter> key_parameters;
  std::vector<std::string_view> output_fields;
  std::vector<KeyColumn> delete_key;
  std::vector<KeyColumn> select_key;
  RowFiller fill_row;

  // Deviations of the full copy.
  // Stamp the start once more right after the table is opened (after the old rows are gone).
  bool stamp_start_after_open = false;
  // Save the last row without asking whether the table holds one. Saving with nothing pending
  // does nothing here, so the copy completes either way.
  bool save_last_row_without_bof_test = false;

  // Deviation of the changed-data copy: how an inserted or updated row is written. Empty:
  // filled from the current object.
  ChangedRowWriter write_changed_row = nullptr;
};

// Every table whose copy is built, in catalogue order.
const std::vector<const TableDescriptor*>& AllTableDescriptors();
// The descriptor of a table (lower case), or nullptr.
const TableDescriptor* FindTableDescriptor(std::string_view table);

}  // namespace qor::worker::tables
