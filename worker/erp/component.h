// The ERP's business components as the worker reaches them: objects created from a class
// identifier, whose members are called by name without regard to case.
//
// The copy procedures speak only this interface, so the store-backed components
// (StoreComponentFactory), a test's scripted fake and, later, a binding to a live ERP can
// stand behind it alike.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/variant.h"

namespace qor::erp {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

// What a member takes and gives: a plain value (Null included) or an object.
class Value {
 public:
  Value() = default;  // Null
  Value(Variant v) : value_(std::move(v)) {}
  Value(const char* text) : value_(Variant(text)) {}
  Value(std::string text) : value_(Variant(std::move(text))) {}
  Value(int v) : value_(Variant(v)) {}
  Value(long long v) : value_(Variant(v)) {}
  Value(double v) : value_(Variant(v)) {}
  Value(bool v) : value_(Variant(v)) {}
  Value(ObjectPtr object) : value_(std::move(object)) {}

  bool IsNull() const;  // a Null value or an empty object pointer
  bool IsObject() const { return std::holds_alternative<ObjectPtr>(value_); }
  // The object, or nullptr when the value is no object.
  const ObjectPtr& object() const;
  // The plain value; an object gives an Error (number 13, source "ERP").
  const Variant& variant() const;

  // Plain values compare as Variants do; objects by identity.
  friend bool operator==(const Value& a, const Value& b);

 private:
  std::variant<Variant, ObjectPtr> value_;
};

// An ERP object: a manager, an enumeration, a business object, an audit class or a Java date.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
  // The class identifier it was created from ("ServiceTypes.ServiceTypesManager").
  virtual const std::string& class_id() const = 0;
  // Calls the member `name`, matched without regard to case. An unknown member, or arguments
  // it cannot take, raise an Error whose description names the class and the member.
  virtual Value Call(std::string_view name, std::span<const Value> args) = 0;

  Value Call(std::string_view name, std::initializer_list<Value> args) {
    return Call(name, std::span<const Value>(args.begin(), args.size()));
  }
  Value Call(std::string_view name) { return Call(name, std::span<const Value>()); }
};

// Creates objects from class identifiers.
class ComponentFactory {
 public:
  virtual ~ComponentFactory() = default;
  // An unknown class identifier raises an Error whose description names it.
  virtual ObjectPtr Create(std::string_view class_id) = 0;
};

// For test failure messages: the plain value, or the object's class.
std::string DebugString(const Value& v);
void PrintTo(const Value& v, std::ostream* os);

// The error for a member that `class_id` does not have.
[[noreturn]] void ThrowUnknownMember(const std::string& class_id, std::string_view member);

// Numbers of the errors that the component layer raises (source "ERP"), as the components'
// own platform numbers them.
inline constexpr long kErpTypeMismatch = 13;     // a value of the wrong kind, an object as value
inline constexpr long kErpUnknownClass = 429;    // no component has that class identifier
inline constexpr long kErpUnknownMember = 438;   // the class has no such member
inline constexpr long kErpWrongArguments = 450;  // wrong number of arguments or invalid value
inline constexpr long kErpError = 440;           // any other failure of a component or the store

// The error for a member called with arguments it cannot take.
[[noreturn]] void ThrowWrongArguments(const std::string& class_id, std::string_view member,
                                      const std::string& why);
// Refuses (as ThrowWrongArguments) a list method's call that does not give two arguments, a
// lowest and a highest value, for each of its `bounded_fields`.
void CheckRangeArguments(const std::string& class_id, std::string_view member,
                         std::size_t bounded_fields, std::size_t given);

// The class identifier of enumerations.
inline constexpr const char* kEnumerationClassId = "java.util.Enumeration";

}  // namespace qor::erp
