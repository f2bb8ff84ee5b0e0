// Owners of ODBC handles and the translation of ODBC diagnostics into qor::Error.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>

#include "common/error.h"

namespace qor::localdb {

// Number of every error that the database or its driver reports; the driver's own codes are
// kept in Error::sqlstate() and Error::native().
inline constexpr long kDatabaseError = -2147467259;

// One ODBC handle of the given type, freed by the destructor.
class OdbcHandle {
 public:
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);  // throws Error when allocation fails
  ~OdbcHandle();
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The process's ODBC environment (ODBC 3 behaviour), created on first use and shared by every
// connection; it lives as long as any connection holds it.
std::shared_ptr<OdbcHandle> SharedEnvironment();

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The diagnostics of a failed call on `handle` as an Error with `source`. The description is
// the driver's messages (several records joined by "; "), the number kDatabaseError.
Error DiagnosticError(const OdbcHandle& handle, const std::string& source);
Error DiagnosticError(SQLSMALLINT type, SQLHANDLE handle, const std::string& source);

// Throws DiagnosticError unless `rc` succeeded. SQL_NO_DATA counts as success.
void Check(SQLRETURN rc, const OdbcHandle& handle, const std::string& source);

}  // namespace qor::localdb
