// The range of one field that a list method's argument pair or an audit parameter gives.
//
// Both bounds belong to the range. How values compare follows the field's type, not the
// bounds' kind:
// - text fields compare byte by byte (so "" is the lowest text, "ZZZ" lies above "ZZ" and
//   below "ZZZA", and lower-case letters lie above "Z"); bounds of another kind are read as
//   their text;
// - numeric fields (whole numbers, doubles, HHMM times) compare as numbers, also when the
//   bounds come as text: "0000" to "9999" holds 0 and 9999, "000.00" to "999.99" holds 999.99;
// - date and date-time fields compare as local date-times, to the second. A bound may be a
//   Java date, a date-time or a text "YYYY-M-D" or "YYYY-MM-DD" with an optional time
//   "hh:mm[:ss]"; a text without time stands for the whole day (from 00:00:00 to 23:59:59). A
//   day out of range rolls over ("2038-2-29" is 1 March 2038).
// A blank text as bound of a numeric or date field leaves that end of the range open.
// A Null field reads as the lowest value of its kind: the empty text, 0, the ERP's empty date
// (1 January 1900). A range whose lower bound lies above its upper bound holds nothing.
#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "common/date_time.h"
#include "common/variant.h"
#include "worker/erp/catalogue.h"
#include "worker/erp/component.h"

namespace qor::erp {

class FieldRange {
 public:
  // REQUIRES: `field` is an index of table.fields. Throws Error (kErpWrongArguments) when a
  // bound cannot be read as the field's kind; `what` names the caller in that message.
  FieldRange(const TableDef& table, std::size_t field, const Value& low, const Value& high,
             const std::string& what);

  std::size_t field() const { return field_; }
  // True when no value can lie within the range.
  bool IsEmpty() const;
  // Whether a value of the field (as the store gives it, Null included) lies within.
  bool Contains(const Variant& value) const;
  // The condition in SQL, with "?" for each parameter it appends to `parameters`.
  // `column` is the quoted column name; `nullable` says whether the column can hold Null.
  std::string SqlCondition(const std::string& column, bool nullable,
                           std::vector<Variant>& parameters) const;

 private:
  using Bound = std::variant<std::monostate, std::string, double, DateTime>;  // monostate: open
  Bound Read(const Value& bound, bool upper, const std::string& what) const;
  bool AtLeastLow(const Bound& v) const;
  bool AtMostHigh(const Bound& v) const;
  Bound Normalize(const Variant& value) const;

  FieldType type_;
  std::size_t field_;
  Bound low_;
  Bound high_;
};

// Reads a date text "YYYY-M-D[ hh:mm[:ss]]" (or with "T" before the time); `has_time` tells
// whether a time was given. Returns false for any other text.
bool ParseLenientDate(const std::string& text, DateTime& out, bool& has_time);

}  // namespace qor::erp
