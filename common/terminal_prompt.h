// Messages and questions on standard error, for a program that runs without a window.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "common/prompt.h"

namespace qor {

// Writes every message to `out`, one line per line of text, each prefixed with the program's
// name. Questions are read from `in` (y/yes or n/no, without regard to case; an empty line
// takes the default); without `in`, or when `in` ends, the answer is No and the prompt says so.
class TerminalPrompt : public Prompt {
 public:
  // REQUIRES: `out` and `in` (when given) outlive the prompt.
  TerminalPrompt(std::string program_name, std::ostream& out, std::istream* in);

  void ShowMessage(std::string_view text, MessageIcon icon) override;
  Answer AskYesNo(std::string_view text, std::string_view title, Answer default_answer) override;

 private:
  void WriteLines(std::string_view prefix, std::string_view text);

  std::string program_name_;
  std::ostream& out_;
  std::istream* in_;
};

}  // namespace qor
