// The main of every GoogleTest program of the project: it sets up the test environment first.
#include <gtest/gtest.h>

#include "testing/test_env.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery) needs no environment.
  if (!GTEST_FLAG_GET(list_tests)) qor::testing::InitializeTestProcess();
  return RUN_ALL_TESTS();
}
