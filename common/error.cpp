#include "common/error.h"

#include <new>
#include <utility>

namespace qor {

Error::Error(long number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

Error::Error(long number, std::string source, std::string description, std::string sqlstate,
             long native)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      sqlstate_(std::move(sqlstate)),
      native_(native) {}

Error Error::Raised(long increment, std::string source, std::string description) const {
  return Error(number_ + increment, std::move(source), std::move(description), sqlstate_, native_);
}

Error CurrentError() {
  try {
    throw;
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error(7, "QOR sync", "Out of memory");
  } catch (const std::exception& e) {
    return Error(51, "QOR sync", std::string("Internal error: ") + e.what());
  } catch (...) {
    return Error(51, "QOR sync", "Internal error of an unknown kind");
  }
}

}  // namespace qor
