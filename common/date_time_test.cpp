#include "common/date_time.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct DaysCase {
  double days;
  CivilTime civil;
};

// Days since 30 December 1899 and the wall-clock time they stand for.
TEST(DateTimeTest, DaysAndCivilTimeConvertBothWays) {
  const DaysCase cases[] = {
      {0.0, {1899, 12, 30, 0, 0, 0}},
      {1.0, {1899, 12, 31, 0, 0, 0}},
      {2.0, {1900, 1, 1, 0, 0, 0}},
      {61.0, {1900, 3, 1, 0, 0, 0}},  // no 29 February 1900 in the Gregorian calendar
      {36526.5, {2000, 1, 1, 12, 0, 0}},
      {36585.0, {2000, 2, 29, 0, 0, 0}},
      {46367.0 + 86399.0 / 86400.0, {2026, 12, 11, 23, 59, 59}},
      {-1.25, {1899, 12, 29, 6, 0, 0}},  // below zero the fraction is the time of day
      {-1.0, {1899, 12, 29, 0, 0, 0}},
      {50767.0, {2038, 12, 28, 0, 0, 0}},
  };
  for (const DaysCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "days " << c.days);
    DateTime from_days = DateTime::FromDays(c.days);
    EXPECT_EQ(from_days.ToCivil(), c.civil);
    DateTime from_civil = DateTime::FromCivil(c.civil);
    EXPECT_EQ(from_civil, from_days);
    EXPECT_DOUBLE_EQ(from_civil.ToDays(), c.days);
  }
}

TEST(DateTimeTest, IsExactToTheSecondOverManyYears) {
  // Every second of a day far from the epoch survives the trip through days and back.
  DateTime start = DateTime::FromCivil(2037, 6, 15);
  for (int s = 0; s < 86400; s += 7) {
    DateTime t = start.AddSeconds(s);
    ASSERT_EQ(DateTime::FromDays(t.ToDays()), t) << t.ToIso();
  }
}

TEST(DateTimeTest, FieldsOutOfRangeRollOver) {
  struct Case {
    int y, mo, d, h, mi, s;
    const char* iso;
  } cases[] = {
      {2001, 2, 31, 0, 0, 0, "2001-03-03 00:00:00"}, {2000, 2, 30, 0, 0, 0, "2000-03-01 00:00:00"},
      {2001, 13, 1, 0, 0, 0, "2002-01-01 00:00:00"}, {2001, 0, 1, 0, 0, 0, "2000-12-01 00:00:00"},
      {2001, 3, 0, 0, 0, 0, "2001-02-28 00:00:00"},  {2001, 1, 1, 24, 0, 0, "2001-01-02 00:00:00"},
      {2001, 1, 1, 8, 75, 0, "2001-01-01 09:15:00"}, {2001, 1, 1, 0, 0, -1, "2000-12-31 23:59:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateTime::FromCivil(c.y, c.mo, c.d, c.h, c.mi, c.s).ToIso(), c.iso) << c.iso;
  }
}

TEST(DateTimeTest, IsoTextParsesAndRejects) {
  struct Case {
    const char* text;
    const char* iso;  // nullptr: rejected
  } cases[] = {
      {"2026-12-11", "2026-12-11 00:00:00"},
      {"2026-12-11 08:30", "2026-12-11 08:30:00"},
      {"2026-12-11 08:30:15", "2026-12-11 08:30:15"},
      {"2026-12-11T08:30:15", "2026-12-11 08:30:15"},
      {"2026-12-11 08:30:15.600", "2026-12-11 08:30:16"},
      {"2026-13-11", nullptr},
      {"2026-12-11 25:00", nullptr},
      {"11/12/2026", nullptr},
      {"2026-12-11 08:30:15x", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    auto parsed = DateTime::ParseIso(c.text);
    if (c.iso == nullptr) {
      EXPECT_FALSE(parsed.has_value()) << c.text;
    } else {
      ASSERT_TRUE(parsed.has_value()) << c.text;
      EXPECT_EQ(parsed->ToIso(), c.iso) << c.text;
    }
  }
}

TEST(DateTimeTest, LocaleTextInTheCLocale) {
  DateTime t = DateTime::FromCivil(2026, 3, 5, 14, 7, 9);
  EXPECT_EQ(t.FormatDate(), "03/05/26");
  EXPECT_EQ(t.FormatTime(), "14:07:09");
  EXPECT_EQ(t.FormatGeneral(), "03/05/26 14:07:09");
  // Midnight shows the date alone.
  EXPECT_EQ(t.Date().FormatGeneral(), "03/05/26");
}

}  // namespace
}  // namespace qor
