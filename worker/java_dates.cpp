// The conversions between local date-times and the ERP's Java dates, and the other small
// procedures that the copies share.
#include "common/text.h"
#include "worker/data_copy.h"

namespace qor::worker {
namespace {

constexpr std::string_view kJavaDate = "java:java.util.Date";

int Field(erp::Object& date, std::string_view getter) {
  return static_cast<int>(date.Call(getter).variant().ToInteger());
}

// Sets every field of a Java date to `value`. The lenient setters roll an impossible day over
// into the next month, so the day goes to 1 before the year and month change and to its own
// value last: setting day, month, year in that order would turn 29 February, read in a year
// without one, into 1 March.
void SetJavaDate(erp::Object& date, const DateTime& value) {
  CivilTime c = value.ToCivil();
  date.Call("setDate", {1});
  date.Call("setYear", {c.year - 1900});
  date.Call("setmonth", {c.month - 1});
  date.Call("setDate", {c.day});
  date.Call("setHours", {c.hour});
  date.Call("setMinutes", {c.minute});
  date.Call("setSeconds", {c.second});
}

}  // namespace

bool clsDataCopy::CalendarExists(const std::string& code) {
  return !Connection().Query("select ccal from tcccp030 where ccal = ?", {code}).empty();
}

bool clsDataCopy::JavaDateToDate(erp::Object& java_date) {
  int year = Field(java_date, "getyear");
  int month = Field(java_date, "getMonth");
  if (year == 0 && month == 0) {
    ConvertedDate = Variant(0);
    return false;
  }
  ConvertedDate = Variant(DateTime::FromCivil(
      year + 1900, month + 1, Field(java_date, "getDate"), Field(java_date, "getHours"),
      Field(java_date, "getMinutes"), Field(java_date, "getSeconds")));
  return true;
}

std::uint8_t clsDataCopy::YesNoToFlag(const Variant& value) {
  if (value.IsNull()) return 0;
  return value.ToInteger() == 1 ? 1 : 0;
}

erp::ObjectPtr clsDataCopy::LastUpdateAsJavaDate(const std::string& table) {
  erp::ObjectPtr date = Erp().Create(kJavaDate);
  auto rows = Connection().Query("select lutm from tstables where tablename = ?", {table});
  Variant lutm = rows.empty() ? Variant() : rows[0][0];
  if (!lutm.IsNull() && lutm.ToDouble() > 0) {
    SetJavaDate(*date, lutm.ToDateTime());
  } else {
    date->Call("setDate", {1});
    date->Call("setmonth", {0});
    date->Call("setYear", {70});
  }
  return date;
}

erp::ObjectPtr clsDataCopy::NowAsJavaDate() {
  erp::ObjectPtr date = Erp().Create(kJavaDate);
  SetJavaDate(*date, DateTime::Now());
  return date;
}

}  // namespace qor::worker
