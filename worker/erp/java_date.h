// The ERP runtime's date object ("java:java.util.Date"): an instant whose fields read and set
// in the local time zone, years counted from 1900 and months from 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/date_time.h"
#include "worker/erp/component.h"

namespace qor::erp {

// The local wall-clock fields of an instant (seconds since 1970-01-01 UTC), in the process's
// time zone (TZ).
CivilTime LocalFieldsOf(std::int64_t epoch_seconds);
// The instant at which the local clock shows `local` (fields out of range roll over first).
// A local time shown twice (clocks going back) gives the earlier instant, so that a period
// that starts there never starts late; a local time never shown (clocks going forward) is
// read with the offset before the change, as a lenient calendar does (02:30 becomes 03:30).
std::int64_t InstantOfLocal(const CivilTime& local);
// The same for a local date-time of the local database.
std::int64_t InstantOfLocal(const DateTime& local);
// The ERP's empty date as a local date-time: 1 January 1900, 00:00.
DateTime ErpEmptyDateTime();

class JavaDate : public Object {
 public:
  static constexpr const char* kClassId = "java:java.util.Date";

  // Holds the current date and time, to the millisecond.
  JavaDate();
  explicit JavaDate(std::int64_t epoch_millis) : millis_(epoch_millis) {}

  static std::shared_ptr<JavaDate> Now() { return std::make_shared<JavaDate>(); }
  // The instant at which the local clock shows `local` (see InstantOfLocal).
  static std::shared_ptr<JavaDate> FromLocal(const DateTime& local);
  // The ERP's empty date: 1 January 1900, 00:00 local time.
  static std::shared_ptr<JavaDate> ErpEmptyDate();

  const std::string& class_id() const override;
  // Members (any case): getYear, getMonth, getDate, getDay, getHours, getMinutes,
  // getSeconds, getTime; setYear, setMonth, setDate, setHours, setMinutes, setSeconds,
  // setTime (each with one whole-number argument); toString.
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  std::int64_t epoch_millis() const { return millis_; }
  // Whole seconds since 1970, rounded down.
  std::int64_t epoch_seconds() const;
  void set_epoch_millis(std::int64_t millis) { millis_ = millis; }
  // The local wall-clock date and time, to the second.
  DateTime ToLocal() const;

  // java.util.Date's field getters: year - 1900, month 0..11, day 1..31, weekday 0 (Sunday)
  // to 6, hours, minutes, seconds, all in local time.
  int year() const;
  int month() const;
  int date() const;
  int day() const;
  int hours() const;
  int minutes() const;
  int seconds() const;
  // The setters change one local field and keep the others; a value out of range rolls over
  // into the neighbouring fields (setDate(31) in February gives 3 March, or 2 March in a leap
  // year; setMonth(12) gives January of the next year; setHours(-1) the day before at 23:00).
  // Milliseconds stay.
  void SetYear(long long year_since_1900);
  void SetMonth(long long month_from_0);
  void SetDate(long long day);
  void SetHours(long long hours);
  void SetMinutes(long long minutes);
  void SetSeconds(long long seconds);

  // True for any instant in January 1900 (local time), the ERP's empty date.
  bool IsErpEmptyDate() const { return year() == 0 && month() == 0; }
  // As java.util.Date prints itself: "Tue Mar 05 14:30:00 CET 2024".
  std::string ToString() const;

 private:
  CivilTime Fields() const;
  void SetFields(const CivilTime& fields);
  void SetField(int CivilTime::*field, int offset, const char* member, long long v);

  std::int64_t millis_ = 0;
};

}  // namespace qor::erp
