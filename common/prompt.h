// The one way the programs show a message or ask a question, so that a window, a terminal and a
// test can each answer in their own way.
#pragma once

#include <string_view>

namespace qor {

enum class MessageIcon { kNone, kInformation, kWarning, kCritical, kQuestion };
enum class Answer { kNo, kYes };

class Prompt {
 public:
  virtual ~Prompt() = default;

  // Shows `text` with `icon` and an OK button, titled with the program's name, and returns once
  // it was acknowledged. A line break inside `text` is "\r\n".
  virtual void ShowMessage(std::string_view text, MessageIcon icon) = 0;

  // Asks `text` with Yes and No buttons and the question icon. The box is titled `title`, or
  // with the program's name when `title` is empty; `default_answer` is what Enter chooses.
  // An implementation that has nobody to ask answers No and says so.
  virtual Answer AskYesNo(std::string_view text, std::string_view title, Answer default_answer) = 0;
};

}  // namespace qor
