// Kilnbase: creates the local database, fills it with the SQL script and registers its system
// DSN. With command-line items "server,user,password,database,script,DSN" it does so at once
// and ends; without them it opens its window.
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/qt_prompt.h"
#include "common/terminal_prompt.h"
#include "dbcreate/db_create.h"
#include "dbcreate/form_rules.h"
#include "dbcreate/frm_main.h"

namespace {

using qor::dbcreate::clsDbCreate;
using qor::dbcreate::DbCreateArguments;

constexpr const char* kProgramName = "Kilnbase";
constexpr int kFailed = 1;
constexpr int kNoDisplay = 2;

qor::dbcreate::MessageSetting CurrentMessageSetting() {
  qor::dbcreate::MessageSetting setting;
  setting.display = std::getenv("DISPLAY");
  setting.wayland_display = std::getenv("WAYLAND_DISPLAY");
  setting.qt_platform = std::getenv("QT_QPA_PLATFORM");
  setting.input_is_terminal = ::isatty(STDIN_FILENO) == 1;
  setting.error_is_terminal = ::isatty(STDERR_FILENO) == 1;
  return setting;
}

// The password may come from the environment so that it need not stand on the command line;
// the tools started later get it their own way and do not inherit this variable.
std::optional<std::string> TakeEnvironmentPassword() {
  std::optional<std::string> password;
  if (const char* value = std::getenv("QOR_DB_PASSWORD")) password = value;
  ::unsetenv("QOR_DB_PASSWORD");
  return password;
}

int RunUnattended(const qor::dbcreate::CommandLine& line, int argc, char** argv) {
  DbCreateArguments arguments = line.Arguments(TakeEnvironmentPassword());
  qor::dbcreate::MessageSetting setting = CurrentMessageSetting();
  if (qor::dbcreate::MessagesOnTerminal(setting)) {
    qor::TerminalPrompt prompt(kProgramName, std::cerr,
                               setting.input_is_terminal ? &std::cin : nullptr);
    return clsDbCreate(prompt).KilnbaseAndDSN(arguments).Succeeded() ? 0 : kFailed;
  }
  QApplication app(argc, argv);
  qor::QtPrompt prompt(nullptr, kProgramName);
  return clsDbCreate(prompt).KilnbaseAndDSN(arguments).Succeeded() ? 0 : kFailed;
}

int RunWindow(int argc, char** argv) {
  if (!qor::dbcreate::HasDisplay(CurrentMessageSetting())) {
    std::cerr << kProgramName
              << ": no display to open the window on; to run without one, give the items "
                 "\"server,user,password,database,script,DSN\" as arguments\n";
    return kNoDisplay;
  }
  QApplication app(argc, argv);
  qor::QtPrompt prompt(nullptr, kProgramName);
  clsDbCreate creator(prompt);
  qor::dbcreate::frmMain window(prompt, [&creator](const DbCreateArguments& arguments) {
    creator.KilnbaseAndDSN(arguments);
  });
  prompt.SetParent(&window);
  window.show();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // The items are taken before the toolkit removes the arguments it understands.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  qor::dbcreate::CommandLine line = qor::dbcreate::CommandLine::Parse(arguments);
  return line.Unattended() ? RunUnattended(line, argc, argv) : RunWindow(argc, argv);
}
