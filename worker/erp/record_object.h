// A business object that holds one record of an ERP table: an element of a list, the audit
// reader's current object, or a new business object created from its class identifier.
#pragma once

#include <vector>

#include "common/variant.h"
#include "worker/erp/catalogue.h"
#include "worker/erp/component.h"

namespace qor::erp {

class RecordObject : public Object {
 public:
  // `values` in the table's field order (a shorter list is padded with Nulls). `visible`,
  // when given, tells per field whether its getter gives the value; a hidden field's getter
  // gives Null.
  RecordObject(const TableDef& table, std::vector<Variant> values, std::vector<bool> visible = {});

  const std::string& class_id() const override { return table_.object_class; }
  // The table's getters (any case), without arguments. Date-time fields give a Java date
  // (a Null date-time gives the ERP's empty date, January 1900, as the ERP has no Null dates);
  // date fields the date-time at midnight; every other field its value as the store holds it,
  // Null included.
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  const TableDef& table() const { return table_; }
  // The field's value as held, whether visible or not.
  const Variant& value(std::size_t field) const { return values_.at(field); }
  bool IsVisible(std::size_t field) const { return visible_.empty() || visible_.at(field); }
  // What the field's getter gives.
  Value Get(std::size_t field) const;

 private:
  const TableDef& table_;
  std::vector<Variant> values_;
  std::vector<bool> visible_;
};

}  // namespace qor::erp
