#include "common/date_time.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace qor {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30 counted in days from 1970-01-01.
constexpr std::int64_t kEpochOffsetDays = -25569;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::string FormatWith(const char* format, const CivilTime& c) {
  std::tm tm{};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_isdst = -1;
  // tm_wday and tm_yday are wanted by locales whose formats name the weekday.
  std::int64_t days = DaysFromCivil(c.year, c.month, c.day);
  tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  tm.tm_yday = static_cast<int>(days - DaysFromCivil(c.year, 1, 1));
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

}  // namespace

// The civil-from-days algorithms count in eras of 400 years, which keeps them exact for
// every date the proleptic Gregorian calendar has.
std::int64_t DaysFromCivil(int year, int month, int day) {
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  std::int64_t era = FloorDiv(y, 400);
  std::int64_t yoe = y - era * 400;
  std::int64_t mp = (month + 9) % 12;
  std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  std::int64_t z = days + 719468;
  std::int64_t era = FloorDiv(z, 146097);
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = yoe + era * 400;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

DateTime DateTime::FromDays(double days) {
  // The integer part is the date and the magnitude of the fraction the time of day, also
  // below zero, where -1.25 is 29 December 1899 at 06:00.
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  std::int64_t time = std::llround(fraction * kSecondsPerDay);
  return DateTime(static_cast<std::int64_t>(whole) * kSecondsPerDay + time);
}

DateTime DateTime::FromCivil(int year, int month, int day, int hour, int minute, int second) {
  // Normalise the month first so that the day can roll over through DaysFromCivil.
  std::int64_t months = static_cast<std::int64_t>(year) * 12 + (month - 1);
  int y = static_cast<int>(FloorDiv(months, 12));
  int m = static_cast<int>(months - static_cast<std::int64_t>(y) * 12) + 1;
  std::int64_t days = DaysFromCivil(y, m, 1) + (day - 1) - kEpochOffsetDays;
  return DateTime(days * kSecondsPerDay + static_cast<std::int64_t>(hour) * 3600 +
                  static_cast<std::int64_t>(minute) * 60 + second);
}

DateTime DateTime::Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min, local.tm_sec);
}

double DateTime::ToDays() const {
  std::int64_t date = FloorDiv(seconds_, kSecondsPerDay);
  std::int64_t time = seconds_ - date * kSecondsPerDay;
  double fraction = static_cast<double>(time) / kSecondsPerDay;
  if (date < 0 && time != 0) {
    // Below zero the fraction counts away from zero: 29 December 06:00 is -1.25.
    return static_cast<double>(date) - fraction;
  }
  return static_cast<double>(date) + fraction;
}

CivilTime DateTime::ToCivil() const {
  std::int64_t date = FloorDiv(seconds_, kSecondsPerDay);
  std::int64_t time = seconds_ - date * kSecondsPerDay;
  CivilTime c;
  CivilFromDays(date + kEpochOffsetDays, c.year, c.month, c.day);
  c.hour = static_cast<int>(time / 3600);
  c.minute = static_cast<int>((time / 60) % 60);
  c.second = static_cast<int>(time % 60);
  return c;
}

DateTime DateTime::Date() const {
  return DateTime(FloorDiv(seconds_, kSecondsPerDay) * kSecondsPerDay);
}

int DateTime::SecondsOfDay() const {
  return static_cast<int>(seconds_ - FloorDiv(seconds_, kSecondsPerDay) * kSecondsPerDay);
}

std::string DateTime::ToIso() const {
  CivilTime c = ToCivil();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                c.hour, c.minute, c.second);
  return buffer;
}

std::optional<DateTime> DateTime::ParseIso(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  char sep = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &consumed) != 3 ||
      consumed != 10) {
    return std::nullopt;
  }
  std::string rest = text.substr(10);
  if (!rest.empty()) {
    int used = 0;
    int fields = std::sscanf(rest.c_str(), "%c%2d:%2d%n", &sep, &hour, &minute, &used);
    if (fields != 3 || (sep != ' ' && sep != 'T')) return std::nullopt;
    rest = rest.substr(used);
    if (!rest.empty()) {
      int used_seconds = 0;
      if (std::sscanf(rest.c_str(), ":%lf%n", &second, &used_seconds) != 1 ||
          static_cast<std::size_t>(used_seconds) != rest.size()) {
        return std::nullopt;
      }
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second < 0 ||
      second >= 61) {
    return std::nullopt;
  }
  return FromCivil(year, month, day, hour, minute, 0).AddSeconds(std::llround(second));
}

std::string DateTime::FormatDate() const { return FormatWith("%x", ToCivil()); }

std::string DateTime::FormatTime() const { return FormatWith("%X", ToCivil()); }

std::string DateTime::FormatGeneral() const {
  if (SecondsOfDay() == 0) return FormatDate();
  return FormatDate() + " " + FormatTime();
}

}  // namespace qor
