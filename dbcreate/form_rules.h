// The rules of Kilnbase's window and command line, kept apart from the widgets so that tests
// reach them without a window.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbcreate/db_create.h"

namespace qor::dbcreate {

// Window places and sizes are given in twips; a pixel is 15 twips.
constexpr int Twips(int twips) { return (twips + 7) / 15; }

// The fields that may not stay empty, in the order "&Create" checks them.
enum class FormField { kServer, kDatabase, kUser, kScriptFile, kDsn };
// Every such field, in that order.
inline constexpr std::array kFormFields = {FormField::kServer, FormField::kDatabase,
                                           FormField::kUser, FormField::kScriptFile,
                                           FormField::kDsn};

// The caption of the field's label ("SQL Server", ...).
std::string LabelCaption(FormField field);
// The message when the focus leaves the field empty. The DSN field's has no full stop.
std::string LeaveFieldMessage(FormField field);
// The message when "&Create" finds the field empty.
std::string CreateFieldMessage(FormField field);

// The window-wide switch that refuses to let the focus leave an empty field once and lets it
// go the next time.
class FieldChecks {
 public:
  struct Outcome {
    std::optional<std::string> message;  // the warning to show, when the field is empty
    bool keep_focus = false;             // put the focus back into the field
  };
  // The focus leaves `field` holding `text`.
  Outcome Leave(FormField field, std::string_view text);
  bool switch_on() const { return switch_on_; }

 private:
  bool switch_on_ = false;
};

// What the window holds when "&Create" is pressed.
struct FormValues {
  std::string server;
  std::string database;
  std::string user;
  std::string password;
  std::string script_file;
  std::string dsn;
  bool create_database = true;
  bool create_dsn = true;
};

// Either the first empty field that "&Create" refuses, or the arguments it calls with.
struct CreateCheck {
  std::optional<FormField> empty_field;
  DbCreateArguments arguments;
};
CreateCheck CheckCreate(const FormValues& values);

// What "..." leaves in the script field: the file chosen, or after a cancel the file chosen
// the last time (empty until one was chosen).
class ScriptFileChoice {
 public:
  std::string Apply(const std::optional<std::string>& chosen);

 private:
  std::string last_;
};

// The command line: the arguments joined with single blanks, split at every comma, each item
// trimmed. Items 1 to 6 are server, user, password, database, script and DSN.
struct CommandLine {
  std::vector<std::string> items;  // at least six

  static CommandLine Parse(const std::vector<std::string>& arguments);
  // A non-empty first item runs the job without a window.
  bool Unattended() const { return !items[0].empty(); }
  // Both jobs, with the items. An empty password item takes `environment_password`, when set (the
  // variable QOR_DB_PASSWORD, so that the password need not stand on a command line).
  DbCreateArguments Arguments(const std::optional<std::string>& environment_password) const;
};

// Where unattended messages go: to standard error when there is no display to show a box on or
// when the program runs on a terminal, else into message boxes.
struct MessageSetting {
  const char* display = nullptr;          // $DISPLAY
  const char* wayland_display = nullptr;  // $WAYLAND_DISPLAY
  const char* qt_platform = nullptr;      // $QT_QPA_PLATFORM
  bool input_is_terminal = false;
  bool error_is_terminal = false;
};
bool MessagesOnTerminal(const MessageSetting& setting);
// Whether a window can be shown at all.
bool HasDisplay(const MessageSetting& setting);

}  // namespace qor::dbcreate
