// A prompt for tests: it records everything shown and answers questions from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/prompt.h"

namespace qor {

class ScriptedPrompt : public Prompt {
 public:
  struct Shown {
    bool question = false;
    std::string text;
    std::string title;  // questions only
    MessageIcon icon = MessageIcon::kNone;
    Answer default_answer = Answer::kNo;  // questions only
  };

  // The answers to the next questions, in order.
  void QueueAnswer(Answer answer) { answers_.push_back(answer); }

  void ShowMessage(std::string_view text, MessageIcon icon) override;
  // A question without a queued answer is answered No and counted in unanswered().
  Answer AskYesNo(std::string_view text, std::string_view title, Answer default_answer) override;

  const std::vector<Shown>& shown() const { return shown_; }
  // The texts shown, in order, questions included.
  std::vector<std::string> texts() const;
  int unanswered() const { return unanswered_; }
  void Clear();

 private:
  std::deque<Answer> answers_;
  std::vector<Shown> shown_;
  int unanswered_ = 0;
};

}  // namespace qor
