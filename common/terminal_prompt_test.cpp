#include "common/terminal_prompt.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "common/scripted_prompt.h"

namespace qor {
namespace {

TEST(TerminalPromptTest, WritesEachLineOfAMessageWithTheProgramName) {
  struct Case {
    const char* text;
    MessageIcon icon;
    const char* expected;
  } cases[] = {
      {"Database 'q' created on the Server 's'\r\n\r\nTables inserted into the database "
       "'q'\r\n\r\n",
       MessageIcon::kInformation,
       "Kilnbase: Database 'q' created on the Server 's'\n"
       "Kilnbase: Tables inserted into the database 'q'\n"},
      {"SQL Server cannot be Empty.", MessageIcon::kWarning,
       "Kilnbase: warning: SQL Server cannot be Empty.\n"},
      {"Database Creation Failed x\r\ny", MessageIcon::kCritical,
       "Kilnbase: error: Database Creation Failed x\nKilnbase: y\n"},
      {"plain", MessageIcon::kNone, "Kilnbase: plain\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    TerminalPrompt prompt("Kilnbase", out, nullptr);
    prompt.ShowMessage(c.text, c.icon);
    EXPECT_EQ(out.str(), c.expected) << c.text;
  }
}

TEST(TerminalPromptTest, ReadsTheAnswerOrTakesTheDefault) {
  struct Case {
    std::optional<std::string> input;  // none: no terminal to read from
    Answer default_answer;
    Answer expected;
    bool says_answered_no;
  } cases[] = {
      {"y\n", Answer::kNo, Answer::kYes, false},
      {" YES \n", Answer::kNo, Answer::kYes, false},
      {"n\n", Answer::kYes, Answer::kNo, false},
      {"No\n", Answer::kYes, Answer::kNo, false},
      {"\n", Answer::kYes, Answer::kYes, false},
      {"\n", Answer::kNo, Answer::kNo, false},
      {"maybe\ny\n", Answer::kNo, Answer::kYes, false},
      {"", Answer::kYes, Answer::kNo, true},
      {"maybe\n", Answer::kYes, Answer::kNo, true},
      {std::nullopt, Answer::kYes, Answer::kNo, true},
  };
  for (const Case& c : cases) {
    std::string name = c.input ? "input '" + *c.input + "'" : "no input";
    std::ostringstream out;
    std::istringstream in(c.input.value_or(""));
    TerminalPrompt prompt("Kilnbase", out, c.input ? &in : nullptr);
    EXPECT_EQ(prompt.AskYesNo("Go on?", "Database Creation", c.default_answer), c.expected) << name;
    EXPECT_EQ(out.str().rfind("Kilnbase: Database Creation: Go on?\n", 0), 0u) << name;
    EXPECT_EQ(out.str().find("answered No") != std::string::npos, c.says_answered_no) << name;
  }
}

TEST(ScriptedPromptTest, AnswersInOrderAndCountsTheUnanswered) {
  ScriptedPrompt prompt;
  prompt.QueueAnswer(Answer::kYes);
  prompt.ShowMessage("m", MessageIcon::kWarning);
  EXPECT_EQ(prompt.AskYesNo("q1", "t", Answer::kNo), Answer::kYes);
  EXPECT_EQ(prompt.AskYesNo("q2", "t", Answer::kYes), Answer::kNo);
  EXPECT_EQ(prompt.unanswered(), 1);
  EXPECT_EQ(prompt.texts(), (std::vector<std::string>{"m", "q1", "q2"}));
  EXPECT_FALSE(prompt.shown()[0].question);
  EXPECT_EQ(prompt.shown()[0].icon, MessageIcon::kWarning);
  EXPECT_TRUE(prompt.shown()[2].question);
  EXPECT_EQ(prompt.shown()[2].default_answer, Answer::kYes);
}

}  // namespace
}  // namespace qor
