// Messages and questions as modal message boxes of the Qt toolkit.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "common/prompt.h"

namespace qor {

class QtPrompt : public Prompt {
 public:
  // The boxes are modal to `parent` (none: to the application). REQUIRES: a QApplication.
  QtPrompt(QWidget* parent, QString program_name);

  // The window the boxes belong to from now on (a window that needs the prompt to be built).
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(std::string_view text, MessageIcon icon) override;
  Answer AskYesNo(std::string_view text, std::string_view title, Answer default_answer) override;

  // The text as a box shows it: "\r\n" becomes the toolkit's line break.
  static QString BoxText(std::string_view text);

 private:
  QPointer<QWidget> parent_;
  QString program_name_;
};

}  // namespace qor
