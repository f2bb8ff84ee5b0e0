#include "common/qt_prompt.h"

#include <QMessageBox>
#include <utility>

namespace qor {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kCritical:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtPrompt::QtPrompt(QWidget* parent, QString program_name)
    : parent_(parent), program_name_(std::move(program_name)) {}

QString QtPrompt::BoxText(std::string_view text) {
  QString box = FromUtf8(text);
  box.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return box;
}

void QtPrompt::ShowMessage(std::string_view text, MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), program_name_, BoxText(text), QMessageBox::Ok, parent_);
  // Names typed by the operator end up in the text; they are never markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

Answer QtPrompt::AskYesNo(std::string_view text, std::string_view title, Answer default_answer) {
  QString box_title = title.empty() ? program_name_ : FromUtf8(title);
  QMessageBox box(QMessageBox::Question, box_title, BoxText(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(default_answer == Answer::kYes ? QMessageBox::Yes : QMessageBox::No);
  // Closing the box without a choice keeps things as they are.
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
}

}  // namespace qor
