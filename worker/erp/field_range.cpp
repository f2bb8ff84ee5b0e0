#include "worker/erp/field_range.h"

#include <cctype>
#include <cstdlib>

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/java_date.h"

namespace qor::erp {
namespace {

enum class Kind { kText, kNumber, kDate };

Kind KindOf(FieldType type) {
  if (type == FieldType::kText) return Kind::kText;
  if (type == FieldType::kDate || type == FieldType::kDateTime) return Kind::kDate;
  return Kind::kNumber;
}

// Reads up to `max_digits` digits at `pos`; false when there is none.
bool ReadNumber(const std::string& s, std::size_t& pos, int max_digits, int& out) {
  std::size_t start = pos;
  out = 0;
  while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])) &&
         pos - start < static_cast<std::size_t>(max_digits)) {
    out = out * 10 + (s[pos] - '0');
    ++pos;
  }
  return pos > start;
}

}  // namespace

bool ParseLenientDate(const std::string& raw, DateTime& out, bool& has_time) {
  std::string s = TrimSpace(raw);
  std::size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadNumber(s, pos, 4, year) || pos != 4 || pos >= s.size() || s[pos++] != '-') {
    return false;
  }
  if (!ReadNumber(s, pos, 2, month) || pos >= s.size() || s[pos++] != '-') return false;
  if (!ReadNumber(s, pos, 2, day)) return false;
  has_time = false;
  if (pos < s.size()) {
    if (s[pos] != ' ' && s[pos] != 'T') return false;
    ++pos;
    if (!ReadNumber(s, pos, 2, hour) || pos >= s.size() || s[pos++] != ':') return false;
    if (!ReadNumber(s, pos, 2, minute)) return false;
    if (pos < s.size()) {
      if (s[pos++] != ':' || !ReadNumber(s, pos, 2, second)) return false;
      // Fractions of a second are cut: the store keeps whole seconds.
      if (pos < s.size() && s[pos] == '.') {
        ++pos;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
      }
    }
    if (pos != s.size()) return false;
    has_time = true;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  out = DateTime::FromCivil(year, month, day, hour, minute, second);
  return true;
}

FieldRange::FieldRange(const TableDef& table, std::size_t field, const Value& low,
                       const Value& high, const std::string& what)
    : type_(table.fields.at(field).type), field_(field) {
  low_ = Read(low, false, what);
  high_ = Read(high, true, what);
}

FieldRange::Bound FieldRange::Read(const Value& bound, bool upper, const std::string& what) const {
  auto fail = [&](const std::string& why) -> Bound {
    throw Error(kErpWrongArguments, "ERP", what + ": " + why);
  };
  Kind kind = KindOf(type_);
  if (const ObjectPtr& object = bound.object()) {
    auto* date = dynamic_cast<JavaDate*>(object.get());
    if (kind != Kind::kDate || date == nullptr) {
      return fail("an object of class '" + object->class_id() + "' is no bound of a " +
                  FieldTypeName(type_) + " field");
    }
    return date->ToLocal();
  }
  const Variant& v = bound.IsObject() ? Variant() : bound.variant();
  switch (kind) {
    case Kind::kText:
      return v.ToText();
    case Kind::kNumber: {
      if (v.IsNull() || (v.AsText() && TrimSpace(*v.AsText()).empty())) return std::monostate{};
      try {
        return v.ToDouble();
      } catch (const Error&) {
        return fail("the bound " + DebugString(v) + " of a numeric field is no number");
      }
    }
    case Kind::kDate: {
      if (v.IsNull() || (v.AsText() && TrimSpace(*v.AsText()).empty())) return std::monostate{};
      if (const std::string* text = v.AsText()) {
        DateTime dt;
        bool has_time = false;
        if (!ParseLenientDate(*text, dt, has_time)) {
          return fail("the bound \"" + *text + "\" of a date field is no date");
        }
        // A day without time stands for the whole day.
        if (!has_time && upper) dt = dt.AddDays(1).AddSeconds(-1);
        return dt;
      }
      try {
        return v.ToDateTime();
      } catch (const Error&) {
        return fail("the bound " + DebugString(v) + " of a date field is no date");
      }
    }
  }
  return std::monostate{};
}

bool FieldRange::IsEmpty() const {
  if (std::holds_alternative<std::monostate>(low_) ||
      std::holds_alternative<std::monostate>(high_)) {
    return false;
  }
  return !AtMostHigh(low_);
}

FieldRange::Bound FieldRange::Normalize(const Variant& value) const {
  switch (KindOf(type_)) {
    case Kind::kText:
      return value.IsNull() ? std::string() : value.ToText();
    case Kind::kNumber:
      return value.IsNull() ? 0.0 : value.ToDouble();
    case Kind::kDate:
      return value.IsNull() ? ErpEmptyDateTime() : value.ToDateTime();
  }
  return std::monostate{};
}

bool FieldRange::AtLeastLow(const Bound& v) const {
  if (std::holds_alternative<std::monostate>(low_)) return true;
  // Bounds and values of one range always hold the same alternative.
  return !(v < low_);
}

bool FieldRange::AtMostHigh(const Bound& v) const {
  if (std::holds_alternative<std::monostate>(high_)) return true;
  return !(high_ < v);
}

bool FieldRange::Contains(const Variant& value) const {
  Bound v = Normalize(value);
  return AtLeastLow(v) && AtMostHigh(v);
}

std::string FieldRange::SqlCondition(const std::string& column, bool nullable,
                                     std::vector<Variant>& parameters) const {
  std::vector<std::string> parts;
  auto add = [&](const Bound& b, const char* op, bool upper) {
    if (const std::string* s = std::get_if<std::string>(&b)) {
      parameters.emplace_back(*s);
    } else if (const double* d = std::get_if<double>(&b)) {
      parameters.emplace_back(*d);
    } else if (const DateTime* dt = std::get_if<DateTime>(&b)) {
      // Date-times compare half-open on the next second: a store that keeps fractions of a
      // second (or writes them as text) still finds the last second of the range.
      parameters.emplace_back(upper ? dt->AddSeconds(1) : *dt);
      op = upper ? "<" : ">=";
    } else {
      return;
    }
    parts.push_back(column + " " + op + " ?");
  };
  add(low_, ">=", false);
  add(high_, "<=", true);
  std::string condition;
  for (const std::string& p : parts) condition += (condition.empty() ? "" : " AND ") + p;
  if (condition.empty()) return "1=1";
  if (nullable && Contains(Variant())) return "(" + column + " IS NULL OR (" + condition + "))";
  return "(" + condition + ")";
}

}  // namespace qor::erp
