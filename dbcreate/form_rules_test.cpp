#include "dbcreate/form_rules.h"

#include <gtest/gtest.h>

namespace qor::dbcreate {
namespace {

TEST(FormRulesTest, MessagesNameTheFieldsLabel) {
  struct Case {
    FormField field;
    const char* on_leaving;
    const char* on_create;
  } cases[] = {
      {FormField::kServer, "SQL Server cannot be Empty.", "SQL Server cannot be Empty."},
      {FormField::kDatabase, "Database cannot be Empty.", "Database cannot be Empty."},
      {FormField::kUser, "User Name cannot be Empty.", "User Name cannot be Empty."},
      {FormField::kScriptFile, "SQLScript File cannot be Empty.",
       "SQLScript File cannot be Empty."},
      {FormField::kDsn, "System DSN Name cannot be Empty", "System DSN Name cannot be Empty."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LeaveFieldMessage(c.field), c.on_leaving) << c.on_create;
    EXPECT_EQ(CreateFieldMessage(c.field), c.on_create) << c.on_create;
  }
}

TEST(FormRulesTest, TheSwitchRefusesOnceAndReleasesTheNextTime) {
  FieldChecks checks;
  struct Step {
    FormField field;
    const char* text;
    bool message;
    bool keep_focus;
    bool switch_after;
  } steps[] = {
      {FormField::kServer, "", true, true, true},      // refused
      {FormField::kServer, "  ", true, false, false},  // blanks count as empty; released
      {FormField::kDatabase, "qor", false, false, false},
      {FormField::kDatabase, "", true, true, true},
      {FormField::kUser, "sa", false, false, true},  // a filled field leaves the switch alone
      {FormField::kDsn, "", true, false, false},     // the switch is window-wide
      {FormField::kDsn, "", true, true, true},
  };
  int i = 0;
  for (const Step& s : steps) {
    FieldChecks::Outcome outcome = checks.Leave(s.field, s.text);
    EXPECT_EQ(outcome.message.has_value(), s.message) << "step " << i;
    if (outcome.message) {
      EXPECT_EQ(*outcome.message, LeaveFieldMessage(s.field)) << "step " << i;
    }
    EXPECT_EQ(outcome.keep_focus, s.keep_focus) << "step " << i;
    EXPECT_EQ(checks.switch_on(), s.switch_after) << "step " << i;
    ++i;
  }
}

TEST(FormRulesTest, CreateRefusesTheFirstEmptyFieldInOrder) {
  FormValues full{" srv ", " qor ", " sa ", " pw ", " /tmp/my dir/s.sql ", " qor_dsn ", true, true};
  struct Case {
    const char* name;
    void (*change)(FormValues&);
    std::optional<FormField> refused;
  } cases[] = {
      {"all empty", [](FormValues& v) { v = FormValues{}; }, FormField::kServer},
      {"server blank", [](FormValues& v) { v.server = "   "; }, FormField::kServer},
      {"database empty", [](FormValues& v) { v.database.clear(); }, FormField::kDatabase},
      {"database and user empty",
       [](FormValues& v) {
         v.database.clear();
         v.user.clear();
       },
       FormField::kDatabase},
      {"user empty", [](FormValues& v) { v.user.clear(); }, FormField::kUser},
      {"password empty is fine", [](FormValues& v) { v.password.clear(); }, std::nullopt},
      {"script empty", [](FormValues& v) { v.script_file = " "; }, FormField::kScriptFile},
      {"script empty, no database job",
       [](FormValues& v) {
         v.script_file.clear();
         v.create_database = false;
       },
       std::nullopt},
      {"dsn empty", [](FormValues& v) { v.dsn.clear(); }, FormField::kDsn},
      {"dsn empty, no DSN job",
       [](FormValues& v) {
         v.dsn.clear();
         v.create_dsn = false;
       },
       std::nullopt},
      {"script and dsn empty", [](FormValues& v) { v.script_file = v.dsn = ""; },
       FormField::kScriptFile},
  };
  for (const Case& c : cases) {
    FormValues values = full;
    c.change(values);
    CreateCheck check = CheckCreate(values);
    EXPECT_EQ(check.empty_field, c.refused) << c.name;
    if (check.empty_field) continue;
    const DbCreateArguments& a = check.arguments;
    EXPECT_EQ(a.ServerName, "srv") << c.name;
    EXPECT_EQ(a.DatabaseName, "qor") << c.name;
    EXPECT_EQ(a.UserName, "sa") << c.name;
    EXPECT_EQ(a.PassWord, values.password) << c.name;  // the password is taken as typed
    EXPECT_EQ(a.SqlScript, values.create_database ? "\"/tmp/my dir/s.sql\"" : "\"\"") << c.name;
    EXPECT_EQ(a.DSNName, values.create_dsn ? "qor_dsn" : "") << c.name;
    EXPECT_EQ(a.CreateDb, values.create_database) << c.name;
    EXPECT_EQ(a.CreateDsn, values.create_dsn) << c.name;
  }
}

TEST(FormRulesTest, ACancelledChoiceBringsBackTheLastChosenFile) {
  ScriptFileChoice choice;
  EXPECT_EQ(choice.Apply(std::nullopt), "");  // nothing chosen yet
  EXPECT_EQ(choice.Apply("/a/one.sql"), "/a/one.sql");
  EXPECT_EQ(choice.Apply(std::nullopt), "/a/one.sql");
  EXPECT_EQ(choice.Apply("/b/two.sql"), "/b/two.sql");
  EXPECT_EQ(choice.Apply(std::nullopt), "/b/two.sql");
}

TEST(FormRulesTest, CommandLineItemsAreSplitAtEveryCommaAndTrimmed) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> items;
    bool unattended;
  } cases[] = {
      {{}, {"", "", "", "", "", ""}, false},
      {{"sqlite:data,,,qor,sql/local_database.sql,qor_local"},
       {"sqlite:data", "", "", "qor", "sql/local_database.sql", "qor_local"},
       true},
      // The arguments are joined with single blanks before splitting.
      {{"host,", "sa", ",", "pw,qor", ",/my", "dir/s.sql,dsn"},
       {"host", "sa", "pw", "qor", "/my dir/s.sql", "dsn"},
       true},
      {{" , host,sa"}, {"", "host", "sa", "", "", ""}, false},
      {{"a,b,c,d,e,f,g,h,i,j"}, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, true},
      {{"\"quoted,", "path\""}, {"\"quoted", "path\"", "", "", "", ""}, true},
  };
  for (const Case& c : cases) {
    CommandLine line = CommandLine::Parse(c.arguments);
    std::string name = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(line.items, c.items) << name;
    EXPECT_EQ(line.Unattended(), c.unattended) << name;
  }
}

TEST(FormRulesTest, CommandLineRunsBothJobsAndTakesAnEmptyPasswordFromTheEnvironment) {
  struct Case {
    const char* line;
    std::optional<std::string> environment;
    const char* password;
  } cases[] = {
      {"srv,sa,secret,qor,s.sql,dsn", std::nullopt, "secret"},
      {"srv,sa,secret,qor,s.sql,dsn", "from-env", "secret"},
      {"srv,sa,,qor,s.sql,dsn", "from-env", "from-env"},
      {"srv,sa, ,qor,s.sql,dsn", "from-env", "from-env"},
      {"srv,sa,,qor,s.sql,dsn", std::nullopt, ""},
      {"srv,sa,,qor,s.sql,dsn", "", ""},
  };
  for (const Case& c : cases) {
    DbCreateArguments a = CommandLine::Parse({c.line}).Arguments(c.environment);
    DbCreateArguments expected{"srv", "sa", c.password, "qor", "s.sql", "dsn", true, true};
    EXPECT_EQ(a, expected) << c.line << " env " << c.environment.value_or("(unset)");
  }
}

TEST(FormRulesTest, UnattendedMessagesGoToTheTerminalWithoutADisplayOrOnATerminal) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* platform;
    bool input_tty;
    bool error_tty;
    bool has_display;
    bool on_terminal;
  } cases[] = {
      {nullptr, nullptr, nullptr, false, false, false, true},
      {"", "", nullptr, false, false, false, true},
      {":0", nullptr, nullptr, false, false, true, false},
      {nullptr, "wayland-0", nullptr, false, false, true, false},
      {":0", nullptr, nullptr, true, false, true, true},
      {":0", nullptr, nullptr, false, true, true, true},
      {":0", nullptr, "offscreen", false, false, false, true},
      {nullptr, nullptr, "xcb", false, false, true, false},
  };
  int i = 0;
  for (const Case& c : cases) {
    MessageSetting s{c.display, c.wayland, c.platform, c.input_tty, c.error_tty};
    EXPECT_EQ(HasDisplay(s), c.has_display) << "case " << i;
    EXPECT_EQ(MessagesOnTerminal(s), c.on_terminal) << "case " << i;
    ++i;
  }
}

TEST(FormRulesTest, TwipsBecomePixelsAtFifteenEach) {
  EXPECT_EQ(Twips(0), 0);
  EXPECT_EQ(Twips(15), 1);
  EXPECT_EQ(Twips(5235), 349);
  EXPECT_EQ(Twips(6120), 408);
  EXPECT_EQ(Twips(255), 17);
  EXPECT_EQ(Twips(1935), 129);
  EXPECT_EQ(Twips(350), 23);  // 23.33 rounds down
  EXPECT_EQ(Twips(495), 33);
  EXPECT_EQ(Twips(8), 1);  // 0.53 rounds up
}

}  // namespace
}  // namespace qor::dbcreate
