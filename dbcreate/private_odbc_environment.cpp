// Every test program of Kilnbase writes system DSNs. The ODBC installer library fixes the
// folder of the system odbc.ini the first time it is used in a process, so each test process
// gets a folder of its own before anything touches ODBC, holding copies of the test run's
// drivers and DSNs; the DSNs written by the tests never reach the shared configuration.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dbcreate/dbcreate_testing.h"
#include "testing/test_env.h"

namespace qor::dbcreate::testing {
namespace {

class PrivateOdbcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = std::make_unique<qor::testing::TempDir>();
    MakeOdbcConfig(folder_->path(), true);
    ::setenv("ODBCSYSINI", folder_->path().c_str(), 1);
    ::setenv("ODBCINI", (folder_->path() / "user_odbc.ini").c_str(), 1);
  }
  void TearDown() override { folder_.reset(); }

 private:
  std::unique_ptr<qor::testing::TempDir> folder_;
};

[[maybe_unused]] ::testing::Environment* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new PrivateOdbcEnvironment);

}  // namespace
}  // namespace qor::dbcreate::testing
