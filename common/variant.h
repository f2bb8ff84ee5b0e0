// A field value: what a column of the local database or a getter of the ERP can hold.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "common/date_time.h"

namespace qor {

class Variant {
 public:
  enum class Kind { kNull, kInteger, kDouble, kText, kDateTime, kBoolean };

  Variant() = default;  // Null
  Variant(std::nullptr_t) {}
  Variant(int v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(long v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(long long v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(double v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(DateTime v) : value_(v) {}
  Variant(bool v) : value_(v) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool IsNull() const { return kind() == Kind::kNull; }
  bool IsNumeric() const;

  // Typed access. Each raises an Error (source "Variant") when the value cannot be converted:
  // Null never converts; text converts only when it reads whole as the wanted kind.
  std::int64_t ToInteger() const;  // doubles round half to even, as a whole-number cast does
  double ToDouble() const;         // a date-time gives its days since 1899-12-30
  DateTime ToDateTime() const;     // numbers count days; text is read as ISO 8601
  bool ToBoolean() const;          // numbers: non-zero; text: "true"/"false" or a number
  // The value's plain text: numbers in decimal with a point, date-times as
  // DateTime::FormatGeneral, Booleans as "True"/"False", Null as "".
  std::string ToText() const;

  // Present only when the value holds exactly that kind.
  const std::string* AsText() const { return std::get_if<std::string>(&value_); }
  const std::int64_t* AsInteger() const { return std::get_if<std::int64_t>(&value_); }
  const double* AsDouble() const { return std::get_if<double>(&value_); }
  const DateTime* AsDateTime() const { return std::get_if<DateTime>(&value_); }
  const bool* AsBoolean() const { return std::get_if<bool>(&value_); }

  // Same kind and value; an integer and a double of equal value are equal too.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  std::variant<std::monostate, std::int64_t, double, std::string, DateTime, bool> value_;
};

// For test failure messages: the kind and the value.
std::string DebugString(const Variant& v);
// Lets test frameworks print a Variant.
inline void PrintTo(const Variant& v, std::ostream* os) { *os << DebugString(v); }

// Rounds to `decimals` places; a value exactly halfway goes to the even last digit, judged on
// the decimal value as written (1.125 gives 1.12, 1.375 gives 1.38).
double RoundHalfEven(double value, int decimals);

}  // namespace qor
