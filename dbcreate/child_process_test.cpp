#include "dbcreate/child_process.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "testing/test_env.h"

namespace qor::dbcreate {
namespace {

ChildCommand Shell(const std::string& script) {
  ChildCommand command;
  command.program = "/bin/sh";
  command.arguments = {"-c", script};
  return command;
}

TEST(ChildProcessTest, WaitsAndReportsTheExitAndTheErrorOutput) {
  struct Case {
    const char* script;
    int exit_code;
    int signal;
    const char* error_output;
  } cases[] = {
      {"echo out; exit 0", 0, 0, ""},
      {"echo oops >&2; exit 3", 3, 0, "oops\n"},
      {"sleep 0.2; echo late >&2", 0, 0, "late\n"},  // its end is waited for
      {"kill -9 $$", -1, 9, ""},
      {"read line; echo \"[$line]\" >&2", 0, 0, "[]\n"},  // the input is empty
  };
  for (const Case& c : cases) {
    ChildResult result = RunToCompletion(Shell(c.script));
    EXPECT_EQ(result.exit_code, c.exit_code) << c.script;
    EXPECT_EQ(result.signal, c.signal) << c.script;
    EXPECT_EQ(result.error_output, c.error_output) << c.script;
    EXPECT_EQ(result.Succeeded(), c.exit_code == 0 && c.signal == 0) << c.script;
  }
}

TEST(ChildProcessTest, PassesEnvironmentInputAndFolder) {
  qor::testing::TempDir dir;
  qor::testing::WriteFile(dir.path() / "in.txt", "first line\n");
  ChildCommand command = Shell("read line; echo \"$line|$QOR_CHILD_SECRET|$(pwd)\" >&2");
  command.environment = {
      {"QOR_CHILD_SECRET", "first"}, {"PATH", "/usr/bin:/bin"}, {"QOR_CHILD_SECRET", "s3cret"}};
  command.standard_input = dir.path() / "in.txt";
  command.working_directory = dir.path();
  ChildResult result = RunToCompletion(command);
  EXPECT_EQ(result.error_output, "first line|s3cret|" + dir.path().string() + "\n");
}

TEST(ChildProcessTest, KeepsTheFirst64KiBOfTheErrorOutput) {
  ChildResult result = RunToCompletion(Shell("head -c 200000 /dev/zero | tr '\\0' x >&2"));
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.error_output, std::string(64 * 1024, 'x'));
}

TEST(ChildProcessTest, AMissingProgramOrInputIsAnErrorWithTheSystemsText) {
  ChildCommand missing_program;
  missing_program.program = "/nonexistent/sqlite3";
  ChildCommand missing_input = Shell("true");
  missing_input.standard_input = "/nonexistent/script.sql";
  struct Case {
    const char* name;
    ChildCommand command;
    const char* description;
  } cases[] = {
      {"program", missing_program, "Cannot run '/nonexistent/sqlite3': No such file or directory"},
      {"input", missing_input,
       "Cannot read the file '/nonexistent/script.sql': No such file or directory"},
  };
  for (const Case& c : cases) {
    try {
      RunToCompletion(c.command);
      ADD_FAILURE() << c.name << " ran";
    } catch (const Error& e) {
      EXPECT_EQ(e.description(), c.description) << c.name;
      EXPECT_EQ(e.number(), ENOENT) << c.name;
    }
  }
}

}  // namespace
}  // namespace qor::dbcreate
