// frmMain: Kilnbase's window, where the operator enters the server, the database, the login,
// the script and the DSN name and presses "&Create".
#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/prompt.h"
#include "dbcreate/db_create.h"
#include "dbcreate/form_rules.h"

namespace qor::dbcreate {

class frmMain : public QWidget {
 public:
  // Runs the job with the arguments "&Create" gathered (clsDbCreate::KilnbaseAndDSN).
  using CreateAction = std::function<void(const DbCreateArguments&)>;
  // Lets the operator choose the script file; none when cancelled.
  using FileChooser = std::function<std::optional<std::string>(QWidget* parent)>;

  // Messages go through `prompt`. REQUIRES: `prompt` outlives the window.
  frmMain(Prompt& prompt, CreateAction create, FileChooser choose_file = ChooseScriptFile,
          QWidget* parent = nullptr);

  // The script file dialog as "..." shows it.
  static std::unique_ptr<QFileDialog> MakeScriptFileDialog(QWidget* parent);
  static std::optional<std::string> ChooseScriptFile(QWidget* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void SetTabOrder();
  QLineEdit* Field(FormField field) const;
  FormValues Values() const;

  void CheckDatabase_Click(bool checked);
  void CheckDSN_Click(bool checked);
  void cmdBrowse_Click();
  void cmdCreate_Click();
  void cmdCancel_Click();
  void Field_LostFocus(FormField field);

  Prompt& prompt_;
  CreateAction create_;
  FileChooser choose_file_;
  FieldChecks checks_;
  ScriptFileChoice script_choice_;

  // Owned by the window through Qt's parent chain.
  QLabel* lblSqlServer = nullptr;
  QLineEdit* txtServer = nullptr;
  QLabel* lblDatabase = nullptr;
  QLineEdit* txtDatabase = nullptr;
  QLabel* lblUser = nullptr;
  QLineEdit* txtUser = nullptr;
  QLabel* lblPassword = nullptr;
  QLineEdit* txtPassword = nullptr;
  QGroupBox* FrameDatabase = nullptr;
  QCheckBox* CheckDatabase = nullptr;
  QLabel* lblFilePath = nullptr;
  QLineEdit* txtScriptFile = nullptr;
  QPushButton* cmdBrowse = nullptr;
  QGroupBox* FrameLogon = nullptr;
  QCheckBox* CheckDSN = nullptr;
  QLabel* lblDsn = nullptr;
  QLineEdit* txtDsn = nullptr;
  QPushButton* cmdCreate = nullptr;
  QPushButton* cmdCancel = nullptr;
};

}  // namespace qor::dbcreate
