// The installer API over this test process's private ODBC configuration.
#include "dbcreate/system_dsn.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "dbcreate/dbcreate_testing.h"
#include "testing/test_env.h"

namespace qor::dbcreate {
namespace {

using qor::testing::ReadFile;
using qor::testing::UniqueName;

TEST(SystemDsnTest, FindsTheRegisteredDriverByItsLibraryInTheOrderGiven) {
  std::string odbcinst = (qor::testing::TestEnv::Get().odbc_dir / "odbcinst.ini").string();
  auto sqlite = testing::IniSection(odbcinst, "SQLite3");
  auto postgres = testing::IniSection(odbcinst, "PostgreSQL");
  struct Case {
    std::vector<std::string> libraries;
    std::string name;
    std::string library;
  } cases[] = {
      {{"libsqlite3odbc.so"}, "SQLite3", sqlite[1].second},
      {{"psqlodbcw.so", "psqlodbca.so"}, "PostgreSQL", postgres[1].second},
      {{"psqlodbca.so", "psqlodbcw.so"}, "PostgreSQL", postgres[1].second},
      {{"nothing.so", "libsqlite3odbc.so"}, "SQLite3", sqlite[1].second},
  };
  for (const Case& c : cases) {
    OdbcDriver driver = FindOdbcDriver(c.libraries);
    EXPECT_EQ(driver.name, c.name) << c.libraries[0];
    EXPECT_EQ(driver.library, c.library) << c.libraries[0];
  }
  try {
    FindOdbcDriver({"libnothing.so"});
    ADD_FAILURE() << "found a driver that is not registered";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "Couldn't determine the driver for SQL Server");
    EXPECT_EQ(e.number(), kValidationError);
  }
}

TEST(SystemDsnTest, ADataSourceNamesAnAbsoluteLibraryOrElseTheDriver) {
  EXPECT_EQ((OdbcDriver{"SQLite3", "/usr/lib/odbc/libsqlite3odbc.so"}.DsnDriverValue()),
            "/usr/lib/odbc/libsqlite3odbc.so");
  EXPECT_EQ((OdbcDriver{"PostgreSQL Unicode", "psqlodbcw.so"}.DsnDriverValue()),
            "PostgreSQL Unicode");
}

TEST(SystemDsnTest, WritingAgainReplacesTheEntryAndLeavesOthersAlone) {
  std::string dsn = UniqueName("kbdsn");
  std::string other = UniqueName("kbother");
  WriteSystemDsn(other, "SQLite3", {{"Database", "/tmp/other.db"}});
  WriteSystemDsn(dsn, "SQLite3", {{"Database", "/tmp/a.db"}, {"Stale", "x"}});
  WriteSystemDsn(dsn, "PostgreSQL", {{"Database", "b"}, {"Port", "5433"}});

  std::string ini = SystemOdbcIni().string();
  EXPECT_EQ(testing::IniSection(ini, dsn),
            (std::vector<std::pair<std::string, std::string>>{
                {"Driver", "PostgreSQL"}, {"Database", "b"}, {"Port", "5433"}}));
  EXPECT_EQ(testing::IniSection(ini, other),
            (std::vector<std::pair<std::string, std::string>>{{"Driver", "SQLite3"},
                                                              {"Database", "/tmp/other.db"}}));
  // The DSNs of the test run are still there.
  EXPECT_FALSE(testing::IniSection(ini, qor::testing::kPostgresDsn).empty());
}

TEST(SystemDsnTest, TheInstallerRefusesNamesThatAreNoDataSourceName) {
  std::string before = ReadFile(SystemOdbcIni());
  for (std::string dsn : {"a[b", "a;b", "a]b"}) {
    try {
      WriteSystemDsn(dsn, "SQLite3", {{"Database", "x"}});
      ADD_FAILURE() << "wrote " << dsn;
    } catch (const Error& e) {
      EXPECT_EQ(e.description(), "Error during System DSN entry") << dsn;
    }
  }
  EXPECT_EQ(ReadFile(SystemOdbcIni()), before);
}

}  // namespace
}  // namespace qor::dbcreate
