// A helper of the tests: connects with the connection string in $QOR_PROBE_CONNECTION, under
// the ODBC configuration of its own environment, and writes the tables it finds to standard
// error, one per line (the tests' process runner keeps that stream). Exit status 1 when the
// connection fails.
#include <cstdlib>
#include <iostream>

#include "common/error.h"
#include "dbcreate/dbcreate_testing.h"

int main() {
  const char* connection_string = std::getenv("QOR_PROBE_CONNECTION");
  if (connection_string == nullptr) return 2;
  try {
    qor::localdb::Connection connection;
    connection.Open(connection_string);
    for (const std::string& table : qor::dbcreate::testing::TablesOf(connection)) {
      std::cerr << table << '\n';
    }
    return 0;
  } catch (const qor::Error& e) {
    std::cerr << "probe failed: " << e.description() << '\n';
    return 1;
  }
}
