#include "worker/erp/java_date.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/error.h"
#include "testing/test_env.h"
#include "worker/erp/store_components.h"

namespace qor::erp {
namespace {

using qor::testing::ScopedEnv;

// The tests set the process's time zone with ScopedEnv("TZ", ...) and tzset(); at the end the
// fixture reads the zone again, TZ being restored by then.
class JavaDateTest : public ::testing::Test {
 protected:
  void TearDown() override { tzset(); }
};

const char* const kZones[] = {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata"};

std::string Describe(const JavaDate& d) { return d.ToLocal().ToIso(); }

struct SetterStep {
  const char* member;
  long long value;
};

struct RolloverCase {
  const char* name;
  CivilTime start;
  std::vector<SetterStep> steps;
  CivilTime expected;
};

// The setters change one local field; an out-of-range value rolls into the next fields.
const RolloverCase kRolloverCases[] = {
    {"31 February is 3 March", {2023, 2, 10, 8, 0, 0}, {{"setDate", 31}}, {2023, 3, 3, 8, 0, 0}},
    {"31 February of a leap year is 2 March",
     {2024, 2, 10, 8, 0, 0},
     {{"setDate", 31}},
     {2024, 3, 2, 8, 0, 0}},
    {"month of 31 January set to February",
     {2023, 1, 31, 9, 15, 0},
     {{"setmonth", 1}},
     {2023, 3, 3, 9, 15, 0}},
    {"day 0 is the last day of the month before",
     {2023, 3, 10, 0, 0, 0},
     {{"setDate", 0}},
     {2023, 2, 28, 0, 0, 0}},
    {"day 32 of December", {2023, 12, 1, 0, 0, 0}, {{"setDate", 32}}, {2024, 1, 1, 0, 0, 0}},
    {"month 12 is January of the next year",
     {2023, 5, 6, 7, 8, 9},
     {{"setMonth", 12}},
     {2024, 1, 6, 7, 8, 9}},
    {"month -1 is December of the year before",
     {2023, 5, 6, 7, 8, 9},
     {{"SETMONTH", -1}},
     {2022, 12, 6, 7, 8, 9}},
    {"hour 24 is midnight of the next day",
     {2023, 12, 31, 10, 0, 0},
     {{"setHours", 24}},
     {2024, 1, 1, 0, 0, 0}},
    {"hour -1 is 23:00 of the day before",
     {2023, 3, 1, 10, 0, 0},
     {{"sethours", -1}},
     {2023, 2, 28, 23, 0, 0}},
    {"minute 60 and second 61",
     {2023, 6, 1, 10, 5, 5},
     {{"setMinutes", 60}, {"setSeconds", 61}},
     {2023, 6, 1, 11, 1, 1}},
    {"second -1", {2023, 1, 1, 0, 0, 0}, {{"setSeconds", -1}}, {2022, 12, 31, 23, 59, 59}},
    {"year counted from 1900", {2023, 6, 15, 0, 0, 0}, {{"setYear", 70}}, {1970, 6, 15, 0, 0, 0}},
    {"year before 1900", {2023, 6, 15, 0, 0, 0}, {{"setYear", -1}}, {1899, 6, 15, 0, 0, 0}},
    {"29 February into a common year",
     {2024, 2, 29, 12, 0, 0},
     {{"setYear", 123}},
     {2023, 3, 1, 12, 0, 0}},
    // The order in which a last-update date is set (day, month, year, time): the day rolls
    // over before the month is set when the start month is too short.
    {"last-update order, day fits",
     {2023, 1, 31, 17, 45, 0},
     {{"setDate", 15},
      {"setmonth", 1},
      {"setYear", 124},
      {"setHours", 6},
      {"setMinutes", 7},
      {"setSeconds", 8}},
     {2024, 2, 15, 6, 7, 8}},
    {"last-update order, day rolls first",
     {2023, 2, 10, 17, 45, 0},
     {{"setDate", 30}, {"setmonth", 3}, {"setYear", 124}},
     {2024, 4, 2, 17, 45, 0}},
};

TEST_F(JavaDateTest, SettersRollOver) {
  for (const char* zone : kZones) {
    ScopedEnv tz("TZ", zone);
    tzset();
    for (const RolloverCase& c : kRolloverCases) {
      auto date = JavaDate::FromLocal(DateTime::FromCivil(c.start));
      for (const SetterStep& step : c.steps) date->Call(step.member, {Value(step.value)});
      EXPECT_EQ(Describe(*date), DateTime::FromCivil(c.expected).ToIso())
          << c.name << " in " << zone;
    }
  }
}

TEST_F(JavaDateTest, SettersKeepMilliseconds) {
  ScopedEnv tz("TZ", "Europe/Berlin");
  tzset();
  JavaDate date(1709645415123);  // 2024-03-05 14:30:15.123 local
  date.SetDate(6);
  date.SetSeconds(0);
  EXPECT_EQ(date.epoch_millis() % 1000, 123);
  EXPECT_EQ(Describe(date), "2024-03-06 14:30:00");
}

struct FieldCase {
  const char* getter;
  long long expected;
};

TEST_F(JavaDateTest, FieldsReadInLocalTime) {
  // 2024-03-05 14:30:15 in Berlin, a Tuesday; the same instant in other zones shows other
  // fields.
  const std::int64_t instant = 1709645415;
  struct ZoneCase {
    const char* zone;
    std::vector<FieldCase> fields;
  };
  const ZoneCase cases[] = {
      {"Europe/Berlin",
       {{"getYear", 124},
        {"getyear", 124},
        {"getMonth", 2},
        {"GETMONTH", 2},
        {"getDate", 5},
        {"getDay", 2},
        {"getHours", 14},
        {"getMinutes", 30},
        {"getSeconds", 15},
        {"getTime", instant * 1000}}},
      {"UTC", {{"getYear", 124}, {"getDate", 5}, {"getHours", 13}, {"getMinutes", 30}}},
      {"Asia/Kolkata", {{"getHours", 19}, {"getMinutes", 0}}},
      {"America/New_York", {{"getDate", 5}, {"getHours", 8}, {"getDay", 2}}},
  };
  for (const ZoneCase& zc : cases) {
    ScopedEnv tz("TZ", zc.zone);
    tzset();
    JavaDate date(instant * 1000);
    for (const FieldCase& f : zc.fields) {
      EXPECT_EQ(date.Call(f.getter).variant().ToInteger(), f.expected)
          << f.getter << " in " << zc.zone;
    }
  }
}

TEST_F(JavaDateTest, LocalTimesAroundClockChanges) {
  struct Case {
    const char* name;
    const char* zone;
    CivilTime local;
    std::int64_t instant;
    const char* shown;  // the local time the instant shows
  };
  const Case cases[] = {
      // Clocks go back: 02:30 happens twice; the earlier instant (still summer time) wins.
      {"repeated hour, Berlin",
       "Europe/Berlin",
       {2023, 10, 29, 2, 30, 0},
       1698539400,
       "2023-10-29 02:30:00"},
      {"repeated hour, New York",
       "America/New_York",
       {2023, 11, 5, 1, 30, 0},
       1699162200,
       "2023-11-05 01:30:00"},
      // Clocks go forward: 02:30 never shows; it is read with the winter offset, giving 03:30.
      {"skipped hour, Berlin",
       "Europe/Berlin",
       {2023, 3, 26, 2, 30, 0},
       1679794200,
       "2023-03-26 03:30:00"},
      {"ordinary time, Berlin",
       "Europe/Berlin",
       {2024, 3, 5, 14, 30, 15},
       1709645415,
       "2024-03-05 14:30:15"},
  };
  for (const Case& c : cases) {
    ScopedEnv tz("TZ", c.zone);
    tzset();
    EXPECT_EQ(InstantOfLocal(c.local), c.instant) << c.name;
    auto date = JavaDate::FromLocal(DateTime::FromCivil(c.local));
    EXPECT_EQ(date->epoch_seconds(), c.instant) << c.name;
    EXPECT_EQ(Describe(*date), c.shown) << c.name;
  }
  // A setter that lands in the repeated hour takes the earlier instant too.
  ScopedEnv tz("TZ", "Europe/Berlin");
  tzset();
  auto date = JavaDate::FromLocal(DateTime::FromCivil(2023, 10, 28, 2, 30, 0));
  date->SetDate(29);
  EXPECT_EQ(date->epoch_seconds(), 1698539400);
  // The later instant of the repeated hour still reads as 02:30.
  EXPECT_EQ(Describe(JavaDate(1698543000LL * 1000)), "2023-10-29 02:30:00");
}

TEST_F(JavaDateTest, ErpEmptyDateIsJanuary1900) {
  for (const char* zone : kZones) {
    ScopedEnv tz("TZ", zone);
    tzset();
    struct Case {
      CivilTime local;
      bool empty;
    };
    const Case cases[] = {
        {{1900, 1, 1, 0, 0, 0}, true},  {{1900, 1, 31, 23, 59, 59}, true},
        {{1900, 2, 1, 0, 0, 0}, false}, {{1899, 12, 31, 23, 59, 59}, false},
        {{2000, 1, 1, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
      auto date = JavaDate::FromLocal(DateTime::FromCivil(c.local));
      EXPECT_EQ(date->IsErpEmptyDate(), c.empty) << DateTime::FromCivil(c.local).ToIso() << zone;
    }
    auto empty = JavaDate::ErpEmptyDate();
    EXPECT_EQ(empty->Call("getyear").variant().ToInteger(), 0) << zone;
    EXPECT_EQ(empty->Call("getMonth").variant().ToInteger(), 0) << zone;
    EXPECT_EQ(empty->Call("getDate").variant().ToInteger(), 1) << zone;
  }
}

TEST_F(JavaDateTest, CreatedHoldingTheCurrentTime) {
  StoreComponentFactory factory;
  std::time_t before = std::time(nullptr);
  ObjectPtr created = factory.Create("java:java.util.Date");
  JavaDate direct;
  std::time_t after = std::time(nullptr);
  auto* date = dynamic_cast<JavaDate*>(created.get());
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(created->class_id(), "java:java.util.Date");
  for (const JavaDate* d :
       {static_cast<const JavaDate*>(date), static_cast<const JavaDate*>(&direct)}) {
    EXPECT_GE(d->epoch_seconds(), before);
    EXPECT_LE(d->epoch_seconds(), after);
  }
}

TEST_F(JavaDateTest, BadCallsNameClassAndMember) {
  JavaDate date;
  struct Case {
    const char* member;
    std::vector<Value> args;
    long number;
    const char* mentions;
  };
  const Case cases[] = {
      {"getCentury", {}, kErpUnknownMember, "getCentury"},
      {"setDate", {}, kErpWrongArguments, "setDate"},
      {"setDate", {Value("fifth")}, kErpWrongArguments, "setDate"},
      {"setDate", {Value(1), Value(2)}, kErpWrongArguments, "setDate"},
      {"getYear", {Value(1)}, kErpWrongArguments, "getYear"},
      {"setHours", {Value()}, kErpWrongArguments, "setHours"},
  };
  for (const Case& c : cases) {
    try {
      date.Call(c.member, std::span<const Value>(c.args));
      ADD_FAILURE() << c.member << " did not fail";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << c.member;
      EXPECT_NE(e.description().find(c.mentions), std::string::npos) << e.description();
      EXPECT_NE(e.description().find("java:java.util.Date"), std::string::npos) << e.description();
    }
  }
  // Text that reads as a whole number is taken.
  date.Call("setDate", {Value("5")});
  EXPECT_EQ(date.date(), 5);
}

}  // namespace
}  // namespace qor::erp
