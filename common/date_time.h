// The local clock's date and time, as the scheduler's database holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qor {

// A civil (wall-clock) date and time, without a time zone.
struct CivilTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// A local wall-clock date-time counted from 30 December 1899 00:00:00, exact to the second.
// As a double it is the number of days since that moment with the time of day as fraction
// (before 1899-12-30 the integer part is the date and the fraction the time of day, as the
// scheduler's own tools read such values).
class DateTime {
 public:
  constexpr DateTime() = default;

  // Rounds to the nearest second.
  static DateTime FromDays(double days);
  // Fields out of range roll over (month 13 is January of the next year, minute 60 the next
  // hour, day 0 the last day of the month before), as date arithmetic on a calendar does.
  static DateTime FromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0);
  static DateTime FromCivil(const CivilTime& c) {
    return FromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second);
  }
  static constexpr DateTime FromSeconds(std::int64_t seconds) { return DateTime(seconds); }
  // The current local date and time, to the second.
  static DateTime Now();

  double ToDays() const;
  std::int64_t seconds() const { return seconds_; }
  CivilTime ToCivil() const;
  // The date with the time of day cut off.
  DateTime Date() const;
  // Seconds since midnight.
  int SecondsOfDay() const;
  DateTime AddDays(std::int64_t days) const { return DateTime(seconds_ + days * 86400); }
  DateTime AddSeconds(std::int64_t seconds) const { return DateTime(seconds_ + seconds); }

  // "YYYY-MM-DD hh:mm:ss": the unambiguous form used in SQL text and files of our own.
  std::string ToIso() const;
  // Reads "YYYY-MM-DD", "YYYY-MM-DD hh:mm[:ss[.fff]]" or with a "T" between date and time.
  // Fractions of a second are rounded. Returns nothing for any other text.
  static std::optional<DateTime> ParseIso(const std::string& text);

  // The process locale's (LC_TIME) short date, e.g. "12/31/26" in the C locale.
  std::string FormatDate() const;
  // The process locale's time of day, e.g. "23:59:00" in the C locale.
  std::string FormatTime() const;
  // Short date, a blank and the time; a time of exactly midnight shows the date alone.
  std::string FormatGeneral() const;

  friend auto operator<=>(const DateTime&, const DateTime&) = default;

 private:
  constexpr explicit DateTime(std::int64_t seconds) : seconds_(seconds) {}
  std::int64_t seconds_ = 0;
};

// Days from 1970-01-01 to the civil date (proleptic Gregorian), and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace qor
