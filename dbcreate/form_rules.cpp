#include "dbcreate/form_rules.h"

#include "common/text.h"

namespace qor::dbcreate {
namespace {

constexpr std::size_t kCommandLineItems = 6;

bool Set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

std::string LabelCaption(FormField field) {
  switch (field) {
    case FormField::kServer:
      return "SQL Server";
    case FormField::kDatabase:
      return "Database";
    case FormField::kUser:
      return "User Name";
    case FormField::kScriptFile:
      return "SQLScript File";
    case FormField::kDsn:
      return "System DSN Name";
  }
  return "";
}

std::string LeaveFieldMessage(FormField field) {
  return LabelCaption(field) +
         (field == FormField::kDsn ? " cannot be Empty" : " cannot be Empty.");
}

std::string CreateFieldMessage(FormField field) {
  return LabelCaption(field) + " cannot be Empty.";
}

FieldChecks::Outcome FieldChecks::Leave(FormField field, std::string_view text) {
  Outcome outcome;
  if (!Trim(text).empty()) return outcome;
  outcome.message = LeaveFieldMessage(field);
  outcome.keep_focus = !switch_on_;
  switch_on_ = !switch_on_;
  return outcome;
}

CreateCheck CheckCreate(const FormValues& values) {
  CreateCheck check;
  const std::pair<FormField, const std::string*> required[] = {
      {FormField::kServer, &values.server},
      {FormField::kDatabase, &values.database},
      {FormField::kUser, &values.user},
      {FormField::kScriptFile, values.create_database ? &values.script_file : nullptr},
      {FormField::kDsn, values.create_dsn ? &values.dsn : nullptr},
  };
  for (const auto& [field, text] : required) {
    if (text != nullptr && Trim(*text).empty()) {
      check.empty_field = field;
      return check;
    }
  }
  DbCreateArguments& a = check.arguments;
  a.ServerName = Trim(values.server);
  a.UserName = Trim(values.user);
  a.PassWord = values.password;
  a.DatabaseName = Trim(values.database);
  // The quotes keep blanks in the path together on the way to the tool.
  a.SqlScript = "\"" + Trim(values.script_file) + "\"";
  a.DSNName = Trim(values.dsn);
  a.CreateDb = values.create_database;
  a.CreateDsn = values.create_dsn;
  return check;
}

std::string ScriptFileChoice::Apply(const std::optional<std::string>& chosen) {
  if (chosen) last_ = *chosen;
  return last_;
}

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments) {
  std::string text;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text += ' ';
    text += arguments[i];
  }
  CommandLine line;
  for (const std::string& item : Split(text, ',')) line.items.push_back(Trim(item));
  if (line.items.size() < kCommandLineItems) line.items.resize(kCommandLineItems);
  return line;
}

DbCreateArguments CommandLine::Arguments(
    const std::optional<std::string>& environment_password) const {
  DbCreateArguments a;
  a.ServerName = items[0];
  a.UserName = items[1];
  a.PassWord = items[2];
  if (a.PassWord.empty() && environment_password) a.PassWord = *environment_password;
  a.DatabaseName = items[3];
  a.SqlScript = items[4];
  a.DSNName = items[5];
  a.CreateDb = true;
  a.CreateDsn = true;
  return a;
}

bool HasDisplay(const MessageSetting& setting) {
  if (Set(setting.qt_platform)) {
    // Boxes drawn off screen or nowhere would wait for a click that never comes.
    std::string platform = setting.qt_platform;
    return platform != "offscreen" && platform != "minimal";
  }
  return Set(setting.display) || Set(setting.wayland_display);
}

bool MessagesOnTerminal(const MessageSetting& setting) {
  return !HasDisplay(setting) || setting.input_is_terminal || setting.error_is_terminal;
}

}  // namespace qor::dbcreate
