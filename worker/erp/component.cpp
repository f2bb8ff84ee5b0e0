#include "worker/erp/component.h"

#include "common/error.h"

namespace qor::erp {

bool Value::IsNull() const {
  if (const ObjectPtr* object = std::get_if<ObjectPtr>(&value_)) return *object == nullptr;
  return std::get<Variant>(value_).IsNull();
}

const ObjectPtr& Value::object() const {
  static const ObjectPtr kNone;
  const ObjectPtr* object = std::get_if<ObjectPtr>(&value_);
  return object ? *object : kNone;
}

const Variant& Value::variant() const {
  if (const Variant* v = std::get_if<Variant>(&value_)) return *v;
  const ObjectPtr& object = std::get<ObjectPtr>(value_);
  throw Error(kErpTypeMismatch, "ERP",
              "Type mismatch: an object of class '" +
                  (object ? object->class_id() : std::string("(none)")) +
                  "' where a plain value was expected");
}

bool operator==(const Value& a, const Value& b) {
  if (a.IsObject() || b.IsObject()) return a.IsObject() && b.IsObject() && a.object() == b.object();
  return a.variant() == b.variant();
}

std::string DebugString(const Value& v) {
  if (!v.IsObject()) return qor::DebugString(v.variant());
  return v.object() ? "object of class " + v.object()->class_id() : "no object";
}

void PrintTo(const Value& v, std::ostream* os) { *os << DebugString(v); }

void ThrowUnknownMember(const std::string& class_id, std::string_view member) {
  throw Error(kErpUnknownMember, "ERP",
              "Class '" + class_id + "' has no member '" + std::string(member) + "'");
}

void ThrowWrongArguments(const std::string& class_id, std::string_view member,
                         const std::string& why) {
  throw Error(
      kErpWrongArguments, "ERP",
      "Invalid arguments for '" + std::string(member) + "' of class '" + class_id + "': " + why);
}

void CheckRangeArguments(const std::string& class_id, std::string_view member,
                         std::size_t bounded_fields, std::size_t given) {
  if (given != 2 * bounded_fields) {
    ThrowWrongArguments(class_id, member,
                        "it takes " + std::to_string(2 * bounded_fields) +
                            " range arguments, not " + std::to_string(given));
  }
}

}  // namespace qor::erp
