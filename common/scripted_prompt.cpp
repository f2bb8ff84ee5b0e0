#include "common/scripted_prompt.h"

namespace qor {

void ScriptedPrompt::ShowMessage(std::string_view text, MessageIcon icon) {
  shown_.push_back({false, std::string(text), "", icon, Answer::kNo});
}

Answer ScriptedPrompt::AskYesNo(std::string_view text, std::string_view title,
                                Answer default_answer) {
  shown_.push_back(
      {true, std::string(text), std::string(title), MessageIcon::kQuestion, default_answer});
  if (answers_.empty()) {
    ++unanswered_;
    return Answer::kNo;
  }
  Answer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<std::string> ScriptedPrompt::texts() const {
  std::vector<std::string> out;
  for (const Shown& s : shown_) out.push_back(s.text);
  return out;
}

void ScriptedPrompt::Clear() {
  answers_.clear();
  shown_.clear();
  unanswered_ = 0;
}

}  // namespace qor
