#include "worker/localdb/odbc.h"

#include <mutex>
#include <vector>

namespace qor::localdb {

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (!Succeeded(rc)) {
    if (parent != SQL_NULL_HANDLE) {
      SQLSMALLINT parent_type = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
      throw DiagnosticError(parent_type, parent, "ODBC handle allocation");
    }
    throw Error(kDatabaseError, "ODBC handle allocation",
                "The ODBC driver manager could not allocate an environment");
  }
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

std::shared_ptr<OdbcHandle> SharedEnvironment() {
  static std::mutex mutex;
  static std::weak_ptr<OdbcHandle> shared;
  std::lock_guard lock(mutex);
  if (auto env = shared.lock()) return env;
  auto env = std::make_shared<OdbcHandle>(SQL_HANDLE_ENV, static_cast<SQLHANDLE>(SQL_NULL_HANDLE));
  SQLRETURN rc = SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Succeeded(rc)) throw DiagnosticError(*env, "ODBC environment");
  shared = env;
  return env;
}

Error DiagnosticError(const OdbcHandle& handle, const std::string& source) {
  return DiagnosticError(handle.type(), handle.get(), source);
}

Error DiagnosticError(SQLSMALLINT type, SQLHANDLE handle, const std::string& source) {
  // Ask for the number of records first and read at most a few: a loop that runs on until
  // SQL_NO_DATA has been seen to crash some drivers.
  SQLINTEGER records = 0;
  SQLGetDiagField(type, handle, 0, SQL_DIAG_NUMBER, &records, 0, nullptr);
  if (records > 8) records = 8;
  std::string description;
  std::string first_state;
  long first_native = 0;
  for (SQLSMALLINT i = 1; i <= records; ++i) {
    SQLCHAR state[8] = {0};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRec(type, handle, i, state, &native, message.data(),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Succeeded(rc)) break;
    std::string text(reinterpret_cast<char*>(message.data()),
                     std::min<std::size_t>(static_cast<std::size_t>(length), message.size() - 1));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (i == 1) {
      first_state = reinterpret_cast<char*>(state);
      first_native = native;
    }
    if (!description.empty()) description += "; ";
    description += "[" + std::string(reinterpret_cast<char*>(state)) + "] " + text;
  }
  if (description.empty()) description = "The ODBC driver reported a failure without diagnostics";
  return Error(kDatabaseError, source, description, first_state, first_native);
}

void Check(SQLRETURN rc, const OdbcHandle& handle, const std::string& source) {
  if (Succeeded(rc) || rc == SQL_NO_DATA) return;
  if (rc == SQL_INVALID_HANDLE) {
    throw Error(kDatabaseError, source, "Invalid ODBC handle");
  }
  throw DiagnosticError(handle, source);
}

}  // namespace qor::localdb
