// Filling a local row from an ERP object through a table's row filler.
#pragma once

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "worker/erp/component.h"
#include "worker/localdb/recordset.h"
#include "worker/tables/table_descriptor.h"

namespace qor::worker {

class clsDataCopy;

// Where a row filler writes its columns: each by its position in the filler and its name.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Set(std::size_t position, std::string_view column, Variant value) = 0;
};

// Writes into the current row of a recordset, by column name.
class RecordsetSink : public RowSink {
 public:
  explicit RecordsetSink(localdb::Recordset& rs) : rs_(rs) {}
  void Set(std::size_t, std::string_view column, Variant value) override {
    rs_.SetField(column, std::move(value));
  }

 private:
  localdb::Recordset& rs_;
};

// Writes into a row of values in the filler's column order (for the bulk path), by position:
// a full copy fills every row this way, so no name is looked up.
class ValuesSink : public RowSink {
 public:
  explicit ValuesSink(const tables::RowFiller& filler) : values_(filler.columns.size()) {}
  void Set(std::size_t position, std::string_view, Variant value) override {
    values_[position] = std::move(value);
  }
  std::vector<Variant>& values() { return values_; }
  // Forgets the values for the next row.
  void Reset() { std::fill(values_.begin(), values_.end(), Variant()); }

 private:
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
