#include "worker/erp/record_object.h"

#include "worker/erp/java_date.h"

namespace qor::erp {

RecordObject::RecordObject(const TableDef& table, std::vector<Variant> values,
                           std::vector<bool> visible)
    : table_(table), values_(std::move(values)), visible_(std::move(visible)) {
  values_.resize(table_.fields.size());
  if (!visible_.empty()) visible_.resize(table_.fields.size(), false);
}

Value RecordObject::Get(std::size_t field) const {
  if (!IsVisible(field)) return Value();
  const Variant& v = values_.at(field);
  switch (table_.fields[field].type) {
    case FieldType::kDateTime:
      if (v.IsNull()) return Value(ObjectPtr(JavaDate::ErpEmptyDate()));
      return Value(ObjectPtr(JavaDate::FromLocal(v.ToDateTime())));
    case FieldType::kDate:
      if (v.IsNull()) return Value();
      return Value(Variant(v.ToDateTime().Date()));
    default:
      return Value(v);
  }
}

Value RecordObject::Call(std::string_view name, std::span<const Value> args) {
  std::optional<std::size_t> field = table_.GetterField(name);
  if (!field) ThrowUnknownMember(class_id(), name);
  if (!args.empty()) ThrowWrongArguments(class_id(), name, "a getter takes no arguments");
  return Get(*field);
}

}  // namespace qor::erp
