// The one error type of QOR sync: a number, the source that raised it and a description.
#pragma once

#include <stdexcept>
#include <string>

namespace qor {

// Number of the errors that reject bad input (a command line, a field, a name).
inline constexpr long kValidationError = 9999;

class Error : public std::runtime_error {
 public:
  Error(long number, std::string source, std::string description);
  // An error reported by an ODBC driver: `sqlstate` and `native` are its diagnostics.
  Error(long number, std::string source, std::string description, std::string sqlstate,
        long native);

  long number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  // Empty unless the error came from an ODBC driver.
  const std::string& sqlstate() const { return sqlstate_; }
  long native() const { return native_; }

  // The same error handed on by a caller: number + `increment`, the caller's source and
  // description; the driver's diagnostics stay.
  Error Raised(long increment, std::string source, std::string description) const;

 private:
  long number_;
  std::string source_;
  std::string description_;
  std::string sqlstate_;
  long native_ = 0;
};

// The exception being handled (call only inside a catch block) as an Error: an Error as it is,
// anything else with a number and a description that say what it was.
Error CurrentError();

}  // namespace qor
