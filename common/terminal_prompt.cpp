#include "common/terminal_prompt.h"

#include <utility>

#include "common/text.h"

namespace qor {
namespace {

std::string_view IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning:
      return "warning: ";
    case MessageIcon::kCritical:
      return "error: ";
    default:
      return "";
  }
}

}  // namespace

TerminalPrompt::TerminalPrompt(std::string program_name, std::ostream& out, std::istream* in)
    : program_name_(std::move(program_name)), out_(out), in_(in) {}

void TerminalPrompt::WriteLines(std::string_view prefix, std::string_view text) {
  // The boxes' blank separator lines carry nothing on a terminal, and a carriage return would
  // only disturb tools that read the output line by line.
  bool first = true;
  for (std::string line : Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    out_ << program_name_ << ": " << (first ? prefix : std::string_view()) << line << '\n';
    first = false;
  }
  if (first) out_ << program_name_ << ": " << prefix << '\n';
  out_.flush();
}

void TerminalPrompt::ShowMessage(std::string_view text, MessageIcon icon) {
  WriteLines(IconWord(icon), text);
}

Answer TerminalPrompt::AskYesNo(std::string_view text, std::string_view title,
                                Answer default_answer) {
  std::string prefix = title.empty() ? std::string() : std::string(title) + ": ";
  WriteLines(prefix, text);
  const char* choices = default_answer == Answer::kYes ? "[Y/n]" : "[y/N]";
  if (in_ == nullptr) {
    // Nobody can answer: No leaves things as they are.
    out_ << program_name_ << ": no terminal to answer the question; answered No" << std::endl;
    return Answer::kNo;
  }
  while (true) {
    out_ << program_name_ << ": " << choices << ' ' << std::flush;
    std::string line;
    if (!std::getline(*in_, line)) {
      out_ << '\n';
      break;
    }
    std::string answer = ToLower(TrimSpace(line));
    if (answer.empty()) return default_answer;
    if (answer == "y" || answer == "yes") return Answer::kYes;
    if (answer == "n" || answer == "no") return Answer::kNo;
  }
  out_ << program_name_ << ": no answer could be read; answered No" << std::endl;
  return Answer::kNo;
}

}  // namespace qor
