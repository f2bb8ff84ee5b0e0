#include "dbcreate/system_dsn.h"

#include <fcntl.h>
#include <odbcinst.h>

#include <cstdlib>

#include "common/error.h"
#include "common/unique_fd.h"

namespace qor::dbcreate {
namespace {

constexpr const char* kDriverSource = "clsDbCreate.FindDriver";
constexpr const char* kDsnSource = "clsDbCreate.WriteSystemDsn";
constexpr const char* kNoDriver = "Couldn't determine the driver for SQL Server";
constexpr const char* kDsnEntryFailed = "Error during System DSN entry";

// The installer keeps one configuration mode for the whole process; every write here happens in
// system mode and the mode that was set before comes back afterwards.
class SystemDsnMode {
 public:
  SystemDsnMode() {
    if (!SQLGetConfigMode(&previous_)) previous_ = ODBC_BOTH_DSN;
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
  }
  ~SystemDsnMode() { SQLSetConfigMode(previous_); }
  SystemDsnMode(const SystemDsnMode&) = delete;
  SystemDsnMode& operator=(const SystemDsnMode&) = delete;

 private:
  UWORD previous_ = ODBC_BOTH_DSN;
};

std::vector<std::string> InstalledDrivers() {
  std::vector<char> buffer(64 * 1024, '\0');
  WORD used = 0;
  if (!SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 2), &used)) {
    return {};
  }
  std::vector<std::string> names;
  for (const char* p = buffer.data(); *p != '\0'; p += names.back().size() + 1) {
    names.emplace_back(p);
  }
  return names;
}

std::string DriverLibrary(const std::string& driver) {
  char library[4096] = {0};
  SQLGetPrivateProfileString(driver.c_str(), "Driver", "", library, sizeof library, "ODBCINST.INI");
  return library;
}

}  // namespace

std::string OdbcDriver::DsnDriverValue() const {
  return std::filesystem::path(library).is_absolute() ? library : name;
}

OdbcDriver FindOdbcDriver(const std::vector<std::string>& libraries) {
  std::vector<OdbcDriver> installed;
  for (const std::string& name : InstalledDrivers()) {
    installed.push_back({name, DriverLibrary(name)});
  }
  for (const std::string& wanted : libraries) {
    for (const OdbcDriver& driver : installed) {
      if (std::filesystem::path(driver.library).filename() == wanted) return driver;
    }
  }
  throw Error(kValidationError, kDriverSource, kNoDriver);
}

std::filesystem::path SystemOdbcIni() {
  const char* folder = std::getenv("ODBCSYSINI");
  if (folder != nullptr && *folder != '\0') return std::filesystem::path(folder) / "odbc.ini";
  return std::filesystem::path(QOR_ODBC_SYSCONFDIR) / "odbc.ini";
}

void WriteSystemDsn(const std::string& dsn, const std::string& driver_value,
                    const IniValues& values) {
  // The installer refuses to write a system data source into a file that does not exist yet.
  UniqueFd ini(::open(SystemOdbcIni().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!ini.valid()) throw Error(kValidationError, kDsnSource, kDsnEntryFailed);
  ini.Reset();

  SystemDsnMode mode;
  // Writing the data source anew drops the keys of an older entry of the same name.
  if (!SQLWriteDSNToIni(dsn.c_str(), driver_value.c_str())) {
    throw Error(kValidationError, kDsnSource, kDsnEntryFailed);
  }
  for (const auto& [key, value] : values) {
    if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini")) {
      throw Error(kValidationError, kDsnSource, kDsnEntryFailed);
    }
  }
}

}  // namespace qor::dbcreate
