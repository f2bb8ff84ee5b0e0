#include "worker/erp/java_date.h"

#include <chrono>
#include <climits>
#include <ctime>
#include <functional>
#include <map>

#include "common/error.h"
#include "common/text.h"

namespace qor::erp {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30, the origin of DateTime, counted in seconds from 1970-01-01.
constexpr std::int64_t kDateTimeOrigin = -25569 * kSecondsPerDay;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Seconds east of UTC that the local clock was ahead at `instant`.
std::int64_t OffsetAt(std::int64_t instant) {
  std::time_t t = static_cast<std::time_t>(instant);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_gmtoff;
}

// The local fields as seconds counted like an instant ("local seconds since 1970").
std::int64_t LocalSeconds(const CivilTime& c) {
  return DaysFromCivil(c.year, c.month, c.day) * kSecondsPerDay + c.hour * 3600LL +
         c.minute * 60LL + c.second;
}

int ToInt(const std::string& class_id, std::string_view member, long long v) {
  if (v < INT_MIN / 2 || v > INT_MAX / 2) {
    ThrowWrongArguments(class_id, member, "the value " + std::to_string(v) + " is out of range");
  }
  return static_cast<int>(v);
}

}  // namespace

CivilTime LocalFieldsOf(std::int64_t epoch_seconds) {
  std::time_t t = static_cast<std::time_t>(epoch_seconds);
  std::tm local{};
  localtime_r(&t, &local);
  CivilTime c;
  c.year = local.tm_year + 1900;
  c.month = local.tm_mon + 1;
  c.day = local.tm_mday;
  c.hour = local.tm_hour;
  c.minute = local.tm_min;
  c.second = local.tm_sec;
  return c;
}

std::int64_t InstantOfLocal(const CivilTime& fields) {
  // Normalise first: the fields may have been set out of range on purpose.
  CivilTime c = DateTime::FromCivil(fields).ToCivil();
  std::int64_t local = LocalSeconds(c);
  // Offsets lie within a day of UTC, so the offsets in force a day either side of the local
  // seconds read as an instant cover every instant that can show these fields.
  std::int64_t best = 0;
  bool found = false;
  for (std::int64_t probe : {local - kSecondsPerDay, local, local + kSecondsPerDay}) {
    std::int64_t candidate = local - OffsetAt(probe);
    if (OffsetAt(candidate) + candidate == local && (!found || candidate < best)) {
      best = candidate;
      found = true;
    }
  }
  if (found) return best;
  // A local time that the clock skipped: read it with the offset before the change.
  return local - OffsetAt(local - kSecondsPerDay);
}

std::int64_t InstantOfLocal(const DateTime& local) { return InstantOfLocal(local.ToCivil()); }

DateTime ErpEmptyDateTime() { return DateTime::FromCivil(1900, 1, 1); }

JavaDate::JavaDate()
    : millis_(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count()) {}

std::shared_ptr<JavaDate> JavaDate::FromLocal(const DateTime& local) {
  return std::make_shared<JavaDate>(InstantOfLocal(local) * 1000);
}

std::shared_ptr<JavaDate> JavaDate::ErpEmptyDate() { return FromLocal(ErpEmptyDateTime()); }

const std::string& JavaDate::class_id() const {
  static const std::string id = kClassId;
  return id;
}

std::int64_t JavaDate::epoch_seconds() const { return FloorDiv(millis_, 1000); }

CivilTime JavaDate::Fields() const { return LocalFieldsOf(epoch_seconds()); }

void JavaDate::SetFields(const CivilTime& fields) {
  std::int64_t fraction = millis_ - epoch_seconds() * 1000;
  millis_ = InstantOfLocal(fields) * 1000 + fraction;
}

DateTime JavaDate::ToLocal() const { return DateTime::FromCivil(Fields()); }

int JavaDate::year() const { return Fields().year - 1900; }
int JavaDate::month() const { return Fields().month - 1; }
int JavaDate::date() const { return Fields().day; }
int JavaDate::hours() const { return Fields().hour; }
int JavaDate::minutes() const { return Fields().minute; }
int JavaDate::seconds() const { return Fields().second; }

int JavaDate::day() const {
  CivilTime c = Fields();
  std::int64_t days = DaysFromCivil(c.year, c.month, c.day);
  return static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

// Every setter changes one local field and lets the others roll over with it.
void JavaDate::SetField(int CivilTime::*field, int offset, const char* member, long long v) {
  CivilTime c = Fields();
  c.*field = ToInt(class_id(), member, v) + offset;
  SetFields(c);
}

void JavaDate::SetYear(long long v) { SetField(&CivilTime::year, 1900, "setYear", v); }
void JavaDate::SetMonth(long long v) { SetField(&CivilTime::month, 1, "setMonth", v); }
void JavaDate::SetDate(long long v) { SetField(&CivilTime::day, 0, "setDate", v); }
void JavaDate::SetHours(long long v) { SetField(&CivilTime::hour, 0, "setHours", v); }
void JavaDate::SetMinutes(long long v) { SetField(&CivilTime::minute, 0, "setMinutes", v); }
void JavaDate::SetSeconds(long long v) { SetField(&CivilTime::second, 0, "setSeconds", v); }

std::string JavaDate::ToString() const {
  std::time_t t = static_cast<std::time_t>(epoch_seconds());
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[64];
  // java.util.Date prints English names whatever the locale.
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::snprintf(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %s %d", kDays[local.tm_wday],
                kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                local.tm_zone ? local.tm_zone : "", local.tm_year + 1900);
  return buffer;
}

Value JavaDate::Call(std::string_view name, std::span<const Value> args) {
  using Getter = std::function<Value(const JavaDate&)>;
  using Setter = void (JavaDate::*)(long long);
  static const std::map<std::string, Getter> kGetters = {
      {"getyear", [](const JavaDate& d) { return Value(d.year()); }},
      {"getmonth", [](const JavaDate& d) { return Value(d.month()); }},
      {"getdate", [](const JavaDate& d) { return Value(d.date()); }},
      {"getday", [](const JavaDate& d) { return Value(d.day()); }},
      {"gethours", [](const JavaDate& d) { return Value(d.hours()); }},
      {"getminutes", [](const JavaDate& d) { return Value(d.minutes()); }},
      {"getseconds", [](const JavaDate& d) { return Value(d.seconds()); }},
      {"gettime", [](const JavaDate& d) { return Value(static_cast<long long>(d.millis_)); }},
      {"tostring", [](const JavaDate& d) { return Value(d.ToString()); }},
  };
  static const std::map<std::string, Setter> kSetters = {
      {"setyear", &JavaDate::SetYear},       {"setmonth", &JavaDate::SetMonth},
      {"setdate", &JavaDate::SetDate},       {"sethours", &JavaDate::SetHours},
      {"setminutes", &JavaDate::SetMinutes}, {"setseconds", &JavaDate::SetSeconds},
  };
  std::string key = ToLower(name);
  if (auto g = kGetters.find(key); g != kGetters.end()) {
    if (!args.empty()) ThrowWrongArguments(class_id(), name, "it takes no arguments");
    return g->second(*this);
  }
  auto s = kSetters.find(key);
  if (s == kSetters.end() && key != "settime") ThrowUnknownMember(class_id(), name);
  if (args.size() != 1 || args[0].IsObject() || args[0].IsNull()) {
    ThrowWrongArguments(class_id(), name, "it takes one whole number");
  }
  long long v = 0;
  try {
    v = args[0].variant().ToInteger();
  } catch (const Error& e) {
    ThrowWrongArguments(class_id(), name, e.description());
  }
  if (key == "settime") {
    millis_ = v;
  } else {
    (this->*(s->second))(v);
  }
  return Value();
}

}  // namespace qor::erp
