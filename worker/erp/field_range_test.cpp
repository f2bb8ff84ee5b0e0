#include "worker/erp/field_range.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "worker/erp/java_date.h"

namespace qor::erp {
namespace {

struct RangeCase {
  const char* table;
  const char* field;
  Value low;
  Value high;
  Variant value;
  bool inside;
};

// The rules of field_range.h, value by value; the store's SQL is checked against the same
// kind of cases in store_test.cpp.
TEST(FieldRangeTest, BoundsBelongToTheRange) {
  const DateTime day = DateTime::FromCivil(2024, 3, 5);
  const RangeCase cases[] = {
      // Text compares byte by byte.
      {"tsmdm030", "cstp", "", "ZZZ", "", true},
      {"tsmdm030", "cstp", "", "ZZZ", "ZZZ", true},
      {"tsmdm030", "cstp", "", "ZZZ", "ZZZA", false},
      {"tsmdm030", "cstp", "", "ZZZ", "ZZ", true},
      {"tsmdm030", "cstp", "", "ZZZ", "abc", false},  // lower case lies above "Z"
      {"tsmdm030", "cstp", "B", "C", "B", true},
      {"tsmdm030", "cstp", "B", "C", "A", false},
      {"tsmdm030", "cstp", "B", "C", "C0", false},
      {"tsmdm030", "cstp", "", "ZZZ", Variant(), true},  // Null reads as ""
      {"tsmdm030", "cstp", "A", "ZZZ", Variant(), false},
      // Numbers compare as numbers, also with text bounds.
      {"tssoc210", "acln", "0000", "9999", 0, true},
      {"tssoc210", "acln", "0000", "9999", 9999, true},
      {"tssoc210", "acln", "0000", "9999", 10000, false},
      {"tssoc210", "acln", "0000", "9999", -1, false},
      {"tssoc210", "acln", "0010", "0020", 9, false},
      {"tssoc210", "acln", 0, 9999, 5000, true},
      {"tsclm024", "sltt", "000.00", "999.99", 999.99, true},
      {"tsclm024", "sltt", "000.00", "999.99", 999.995, false},
      {"tsclm024", "sltt", 0, 99999.9999, 99999.9999, true},
      {"tcccp030", "sttm", "0000", "2400", 2400, true},
      {"tcccp030", "sttm", "0800", "2400", 759, false},
      {"tccom130", "dist", 0.0, 99999.999, Variant(), true},  // Null reads as 0
      {"tssoc210", "acln", "", "", 123456, true},             // blank: open ends
      // Dates compare to the second; a day without time stands for the whole day.
      {"tcccp030", "stdt", "2024-3-5", "2024-3-5", day, true},
      {"tcccp030", "stdt", "2024-3-5", "2024-3-5", day.AddSeconds(86399), true},
      {"tcccp030", "stdt", "2024-3-5", "2024-3-5", day.AddDays(1), false},
      {"tcccp030", "stdt", "2024-03-06", "2038-03-05", day, false},
      {"tcccp030", "stdt", "2024-1-4", "2038-3-5", DateTime::FromCivil(2038, 3, 5), true},
      {"tcccp030", "stdt", "2024-1-4", "2038-2-29", DateTime::FromCivil(2038, 3, 1), true},
      {"tcccp030", "stdt", "2024-1-4", "2038-2-29", DateTime::FromCivil(2038, 3, 2), false},
      {"tcccp030", "stdt", "2024-03-05 12:00", "2024-03-05 12:00:30",
       day.AddSeconds(12 * 3600 + 30), true},
      {"tcccp030", "stdt", "2024-03-05 12:00", "2024-03-05 12:00:30",
       day.AddSeconds(12 * 3600 + 31), false},
      {"tcccp030", "stdt", Value(Variant(day)), Value(Variant(day)), day, true},
      {"tcccp030", "stdt", Value(Variant(day)), Value(Variant(day)), day.AddSeconds(1), false},
      {"tcccp030", "stdt", Value(ObjectPtr(JavaDate::FromLocal(day))),
       Value(ObjectPtr(JavaDate::FromLocal(day.AddSeconds(59)))), day.AddSeconds(59), true},
  };
  for (const RangeCase& c : cases) {
    const TableDef& table = *FindTable(c.table);
    FieldRange range(table, *table.FieldIndex(c.field), c.low, c.high, "test");
    EXPECT_EQ(range.Contains(c.value), c.inside)
        << c.table << "." << c.field << " " << DebugString(c.value) << " in ["
        << (c.low.IsObject() ? "date" : DebugString(c.low.variant())) << ", "
        << (c.high.IsObject() ? "date" : DebugString(c.high.variant())) << "]";
  }
}

TEST(FieldRangeTest, EmptyRangesAndUnreadableBounds) {
  const TableDef& activities = *FindTable("tssoc210");
  const TableDef& calendars = *FindTable("tcccp030");
  struct Case {
    const TableDef* table;
    const char* field;
    Value low;
    Value high;
    bool empty;
  };
  const Case cases[] = {
      {&activities, "orno", "B", "A", true},
      {&activities, "orno", "A", "A", false},
      {&activities, "acln", "10", "9", true},
      {&activities, "acln", 9, "9", false},
      {&calendars, "stdt", "2024-3-6", "2024-3-5", true},
      {&calendars, "stdt", "2024-3-5", "", false},
  };
  for (const Case& c : cases) {
    FieldRange range(*c.table, *c.table->FieldIndex(c.field), c.low, c.high, "test");
    EXPECT_EQ(range.IsEmpty(), c.empty) << c.field;
  }
  struct BadCase {
    const TableDef* table;
    const char* field;
    Value bound;
  };
  const BadCase bad[] = {
      {&activities, "acln", "ten"},
      {&calendars, "stdt", "5 March 2024"},
      {&calendars, "stdt", "2024-13-01"},
      {&activities, "orno", Value(ObjectPtr(JavaDate::Now()))},
  };
  for (const BadCase& c : bad) {
    try {
      FieldRange(*c.table, *c.table->FieldIndex(c.field), c.bound, c.bound, "List");
      ADD_FAILURE() << c.field << " took a bound it cannot read";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErpWrongArguments);
      EXPECT_NE(e.description().find("List"), std::string::npos) << e.description();
    }
  }
}

TEST(FieldRangeTest, ReadsLenientDates) {
  struct Case {
    const char* text;
    bool ok;
    CivilTime expected;
    bool has_time;
  };
  const Case cases[] = {
      {"2001-1-4", true, {2001, 1, 4, 0, 0, 0}, false},
      {"2001-01-04", true, {2001, 1, 4, 0, 0, 0}, false},
      {"2038-2-29", true, {2038, 3, 1, 0, 0, 0}, false},
      {"2024-03-05 14:30", true, {2024, 3, 5, 14, 30, 0}, true},
      {"2024-03-05T14:30:15.250", true, {2024, 3, 5, 14, 30, 15}, true},
      {"24-03-05", false, {}, false},
      {"2024/03/05", false, {}, false},
      {"2024-03-05x", false, {}, false},
      {"", false, {}, false},
  };
  for (const Case& c : cases) {
    DateTime out;
    bool has_time = false;
    EXPECT_EQ(ParseLenientDate(c.text, out, has_time), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(out, DateTime::FromCivil(c.expected)) << c.text;
    EXPECT_EQ(has_time, c.has_time) << c.text;
  }
}

}  // namespace
}  // namespace qor::erp
