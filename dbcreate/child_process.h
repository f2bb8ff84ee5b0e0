// Running a helper program to its end: the script tools that fill a new database.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qor::dbcreate {

struct ChildCommand {
  std::filesystem::path program;
  std::vector<std::string> arguments;  // after the program's name
  // Variables set for the child on top of this process's environment, a later setting of a
  // name winning (secrets go here, never into `arguments`, which every local user can read).
  std::vector<std::pair<std::string, std::string>> environment;
  // The file read as standard input; none: an empty input.
  std::optional<std::filesystem::path> standard_input;
  // The folder it starts in; none: this process's.
  std::optional<std::filesystem::path> working_directory;
};

struct ChildResult {
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;      // the signal that ended it, or 0
  // What it wrote to standard error (its standard output is discarded), cut after 64 KiB.
  std::string error_output;

  bool Succeeded() const { return signal == 0 && exit_code == 0; }
};

// Starts the program and waits for its end, however long it runs. Throws Error (number: the
// system's error number; description: the system's text) when the program or its standard
// input cannot be opened.
ChildResult RunToCompletion(const ChildCommand& command);

}  // namespace qor::dbcreate
