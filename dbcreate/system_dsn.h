// The system's ODBC configuration, through unixODBC's installer API: the registered drivers
// (odbcinst.ini) and the system data sources (odbc.ini).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qor::dbcreate {

struct OdbcDriver {
  std::string name;     // its section in odbcinst.ini
  std::string library;  // its "Driver" value
  // What a data source's "Driver" key names: the library when its path is absolute, else the
  // driver's name (a bare library name in odbc.ini is not found by the driver manager).
  std::string DsnDriverValue() const;
};

// The first registered driver whose library file is one of `libraries`, trying them in their
// order. Throws Error (kValidationError, "Couldn't determine the driver for SQL Server").
OdbcDriver FindOdbcDriver(const std::vector<std::string>& libraries);

// The system odbc.ini: in $ODBCSYSINI when it is set, else in the system's configuration folder.
std::filesystem::path SystemOdbcIni();

using IniValues = std::vector<std::pair<std::string, std::string>>;

// Replaces the system data source `dsn` with one for `driver_value` holding `values`, written in
// their order. Creates an empty odbc.ini first when there is none. Values written before a
// failure stay. Throws Error (kValidationError, "Error during System DSN entry").
// REQUIRES: `dsn` and `values` passed the name checks (no line breaks, brackets, ...).
void WriteSystemDsn(const std::string& dsn, const std::string& driver_value,
                    const IniValues& values);

}  // namespace qor::dbcreate
