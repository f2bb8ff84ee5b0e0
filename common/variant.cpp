#include "common/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/error.h"

namespace qor {
namespace {

// The shortest text that reads back as the same double.
std::string ShortestDecimal(double d) {
  char buffer[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, d);
    if (std::strtod(buffer, nullptr) == d) break;
  }
  return buffer;
}

[[noreturn]] void CannotConvert(const Variant& v, const char* to) {
  throw Error(13, "Variant", "Type mismatch: cannot convert " + DebugString(v) + " to " + to);
}

std::optional<double> ParseNumber(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  std::size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return std::nullopt;
  std::string trimmed = text.substr(begin, end - begin + 1);
  char* stop = nullptr;
  errno = 0;
  double d = std::strtod(trimmed.c_str(), &stop);
  if (errno != 0 || stop != trimmed.c_str() + trimmed.size()) return std::nullopt;
  return d;
}

}  // namespace

bool Variant::IsNumeric() const { return kind() == Kind::kInteger || kind() == Kind::kDouble; }

std::int64_t Variant::ToInteger() const {
  switch (kind()) {
    case Kind::kInteger:
      return std::get<std::int64_t>(value_);
    case Kind::kBoolean:
      return std::get<bool>(value_) ? 1 : 0;
    case Kind::kDouble:
    case Kind::kText:
    case Kind::kDateTime: {
      double d = ToDouble();
      double r = std::nearbyint(d);  // the default rounding mode rounds half to even
      if (!std::isfinite(r) || r < static_cast<double>(std::numeric_limits<std::int64_t>::min()) ||
          r >= static_cast<double>(std::numeric_limits<std::int64_t>::max())) {
        throw Error(6, "Variant", "Overflow: " + DebugString(*this) + " is no whole number");
      }
      return static_cast<std::int64_t>(r);
    }
    case Kind::kNull:
      break;
  }
  CannotConvert(*this, "a whole number");
}

double Variant::ToDouble() const {
  switch (kind()) {
    case Kind::kInteger:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case Kind::kDouble:
      return std::get<double>(value_);
    case Kind::kBoolean:
      return std::get<bool>(value_) ? 1.0 : 0.0;
    case Kind::kDateTime:
      return std::get<DateTime>(value_).ToDays();
    case Kind::kText:
      if (auto d = ParseNumber(std::get<std::string>(value_))) return *d;
      break;
    case Kind::kNull:
      break;
  }
  CannotConvert(*this, "a number");
}

DateTime Variant::ToDateTime() const {
  switch (kind()) {
    case Kind::kDateTime:
      return std::get<DateTime>(value_);
    case Kind::kInteger:
    case Kind::kDouble:
      return DateTime::FromDays(ToDouble());
    case Kind::kText:
      if (auto d = DateTime::ParseIso(std::get<std::string>(value_))) return *d;
      break;
    case Kind::kBoolean:
    case Kind::kNull:
      break;
  }
  CannotConvert(*this, "a date-time");
}

bool Variant::ToBoolean() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(value_);
    case Kind::kInteger:
      return std::get<std::int64_t>(value_) != 0;
    case Kind::kDouble:
      return std::get<double>(value_) != 0.0;
    case Kind::kText: {
      const std::string& s = std::get<std::string>(value_);
      if (s == "true" || s == "True" || s == "TRUE") return true;
      if (s == "false" || s == "False" || s == "FALSE") return false;
      if (auto d = ParseNumber(s)) return *d != 0.0;
      break;
    }
    case Kind::kDateTime:
    case Kind::kNull:
      break;
  }
  CannotConvert(*this, "a Boolean");
}

std::string Variant::ToText() const {
  switch (kind()) {
    case Kind::kNull:
      return "";
    case Kind::kInteger:
      return std::to_string(std::get<std::int64_t>(value_));
    case Kind::kDouble:
      return ShortestDecimal(std::get<double>(value_));
    case Kind::kText:
      return std::get<std::string>(value_);
    case Kind::kDateTime:
      return std::get<DateTime>(value_).FormatGeneral();
    case Kind::kBoolean:
      return std::get<bool>(value_) ? "True" : "False";
  }
  return "";
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.IsNumeric() && b.IsNumeric()) return a.ToDouble() == b.ToDouble();
  return a.value_ == b.value_;
}

std::string DebugString(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kInteger:
      return "integer " + v.ToText();
    case Variant::Kind::kDouble:
      return "double " + v.ToText();
    case Variant::Kind::kText:
      return "text \"" + v.ToText() + "\"";
    case Variant::Kind::kDateTime:
      return "date-time " + v.AsDateTime()->ToIso();
    case Variant::Kind::kBoolean:
      return "Boolean " + v.ToText();
  }
  return "?";
}

double RoundHalfEven(double value, int decimals) {
  // Judge the tie on the shortest decimal text of the value, so that 1.125 (exact in binary)
  // and 0.285 (just below in binary) are both treated as the decimal the user sees.
  std::string text = ShortestDecimal(value);
  long double scale = std::pow(10.0L, decimals);
  long double scaled = std::strtold(text.c_str(), nullptr) * scale;
  std::size_t point = text.find('.');
  bool tie = point != std::string::npos && text.find_first_of("eE") == std::string::npos &&
             text.size() - point - 1 == static_cast<std::size_t>(decimals) + 1 &&
             text.back() == '5';
  // In the default rounding mode nearbyint takes an exact half to the even neighbour.
  long double rounded = tie ? std::nearbyint(std::floor(scaled) + 0.5L) : std::round(scaled);
  return static_cast<double>(rounded / scale);
}

}  // namespace qor
