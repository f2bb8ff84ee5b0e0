// Filling a local row from an ERP object through a table's row filler.
#pragma once

#include <string_view>
#include <vector>

#include "common/variant.h"
#include "worker/erp/component.h"
#include "worker/localdb/recordset.h"
#include "worker/tables/table_descriptor.h"

namespace qor::worker {

class clsDataCopy;

// Where a row filler writes its columns.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Set(std::string_view column, Variant value) = 0;
};

// Writes into the current row of a recordset.
class RecordsetSink : public RowSink {
 public:
  explicit RecordsetSink(localdb::Recordset& rs) : rs_(rs) {}
  void Set(std::string_view column, Variant value) override {
    rs_.SetField(column, std::move(value));
  }

 private:
  localdb::Recordset& rs_;
};

// Writes into a row of values in the filler's column order (for the bulk path).
class ValuesSink : public RowSink {
 public:
  explicit ValuesSink(const tables::RowFiller& filler);
  void Set(std::string_view column, Variant value) override;
  std::vector<Variant>& values() { return values_; }
  // Forgets the values for the next row.
  void Reset();

 private:
  const tables::RowFiller& filler_;
  std::vector<Variant> values_;
};

// Assigns the filler's columns in order, each from its getter on `source` through its
// conversion. Listed-only columns are read and written only when `listed` is true. No error
// handling of its own: a failing getter or conversion fails the copy that called it.
void FillRow(clsDataCopy& job, const tables::RowFiller& filler, erp::Object& source, bool listed,
             RowSink& sink);

// A getter's value through a conversion.
Variant Convert(clsDataCopy& job, tables::Conversion conversion, const erp::Value& value);

// A key column's value from the current object, ready to be bound.
Variant KeyValue(erp::Object& current, const tables::KeyColumn& key);

}  // namespace qor::worker
