#include "dbcreate/frm_main.h"

#include <QApplication>
#include <QFocusEvent>
#include <algorithm>
#include <filesystem>

namespace qor::dbcreate {
namespace {

// Places and sizes are given in twips, relative to the control's container.
template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(name);
  int pixels = Twips(width);
  // A caption keeps its place but is never cut: the places were laid out for a narrower face.
  if (qobject_cast<QLabel*>(widget) != nullptr || qobject_cast<QCheckBox*>(widget) != nullptr) {
    pixels = std::max(pixels, widget->sizeHint().width());
  }
  widget->setGeometry(Twips(left), Twips(top), pixels, Twips(height));
  return widget;
}

// The pointer shows that the window is busy until the job returns, however it returns.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

frmMain::frmMain(Prompt& prompt, CreateAction create, FileChooser choose_file, QWidget* parent)
    : QWidget(parent),
      prompt_(prompt),
      create_(std::move(create)),
      choose_file_(std::move(choose_file)) {
  setObjectName("frmMain");
  setWindowTitle("Create Database and DSN");
  setFixedSize(Twips(5235), Twips(6120));
  // The places were laid out for a small 8-point face; a larger one would cut the captions.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  BuildControls();
  SetTabOrder();

  connect(CheckDatabase, &QCheckBox::toggled, this, &frmMain::CheckDatabase_Click);
  connect(CheckDSN, &QCheckBox::toggled, this, &frmMain::CheckDSN_Click);
  connect(cmdBrowse, &QPushButton::clicked, this, &frmMain::cmdBrowse_Click);
  connect(cmdCreate, &QPushButton::clicked, this, &frmMain::cmdCreate_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);
  for (FormField field : kFormFields) Field(field)->installEventFilter(this);

  // Both jobs are chosen when the window opens, so every field is enabled.
  CheckDatabase->setChecked(true);
  CheckDSN->setChecked(true);
}

void frmMain::BuildControls() {
  lblSqlServer = Place(new QLabel("SQL Server", this), "lblSqlServer", 360, 360, 1455, 255);
  txtServer = Place(new QLineEdit(this), "txtServer", 2160, 360, 1935, 350);
  lblDatabase = Place(new QLabel("Database", this), "lblDatabase", 360, 960, 1575, 255);
  txtDatabase = Place(new QLineEdit(this), "txtDatabase", 2160, 960, 1935, 350);
  lblUser = Place(new QLabel("User Name", this), "lblUser", 360, 1560, 1335, 255);
  txtUser = Place(new QLineEdit(this), "txtUser", 2160, 1440, 1935, 350);
  lblPassword = Place(new QLabel("Password", this), "lblPassword", 360, 2160, 1335, 255);
  txtPassword = Place(new QLineEdit(this), "txtPassword", 2160, 2040, 1935, 350);
  txtPassword->setEchoMode(QLineEdit::Password);
  txtPassword->setStyleSheet("lineedit-password-character: 42");  // one "*" per character

  FrameDatabase = Place(new QGroupBox(this), "FrameDatabase", 240, 2880, 4575, 855);
  CheckDatabase =
      Place(new QCheckBox("Create Database", FrameDatabase), "CheckDatabase", 120, 0, 1575, 255);
  lblFilePath =
      Place(new QLabel("SQLScript File", FrameDatabase), "lblFilePath", 120, 360, 1575, 255);
  txtScriptFile = Place(new QLineEdit(FrameDatabase), "txtScriptFile", 1920, 240, 1935, 350);
  cmdBrowse = Place(new QPushButton("...", FrameDatabase), "cmdBrowse", 3960, 240, 495, 350);

  FrameLogon = Place(new QGroupBox("Logon Info", this), "FrameLogon", 240, 4080, 4575, 855);
  CheckDSN = Place(new QCheckBox("Create DSN", FrameLogon), "CheckDSN", 120, 0, 1215, 255);
  lblDsn = Place(new QLabel("System DSN Name", FrameLogon), "lblDsn", 120, 360, 1455, 255);
  txtDsn = Place(new QLineEdit(FrameLogon), "txtDsn", 1920, 240, 1935, 350);

  cmdCreate = Place(new QPushButton("&Create", this), "cmdCreate", 840, 5400, 1335, 375);
  cmdCancel = Place(new QPushButton("Cl&ose", this), "cmdCancel", 3000, 5400, 1335, 375);

  // The check boxes sit on their frames' top edges, over where a caption would be; the
  // caption starts under the box so that none of it shows beside it.
  for (QGroupBox* frame : {FrameDatabase, FrameLogon}) {
    frame->setStyleSheet(
        QString("QGroupBox::title { subcontrol-origin: margin; left: %1px; }").arg(Twips(120)));
  }
  for (QCheckBox* box : {CheckDatabase, CheckDSN}) {
    box->setAutoFillBackground(true);
    box->raise();
  }
  // A button press does not take the focus, so it never sets off the check of the field being
  // left; "&Create" checks the same fields itself.
  for (QPushButton* button : {cmdBrowse, cmdCreate, cmdCancel}) {
    button->setFocusPolicy(Qt::TabFocus);
  }

  txtServer->setToolTip(
      "Fill the name of the SQL Server in this Field. The Application will connect to SQL "
      "server mentioned in this field");
  txtDatabase->setToolTip(
      "Fill the name of the Database. The Application will create a Database by this name on "
      "the SQL Server");
  txtUser->setToolTip(
      "Fill the user name. The Application will use the value in this field to connect to the "
      "SQL Server");
  txtPassword->setToolTip("Fill the password corresponding to the user name. ");
  txtScriptFile->setToolTip(
      "Mention the complete path of the SQL Script file name. The Application will use this "
      "script file for inserting tables into the database.");
  txtDsn->setToolTip(
      "Fill the name of the DSN. The Application will make an entry by this name in the System "
      "DSN list.");
}

void frmMain::SetTabOrder() {
  QWidget* order[] = {txtServer, txtDatabase, txtUser, txtPassword, CheckDatabase, txtScriptFile,
                      cmdBrowse, CheckDSN,    txtDsn,  cmdCreate,   cmdCancel};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

QLineEdit* frmMain::Field(FormField field) const {
  switch (field) {
    case FormField::kServer:
      return txtServer;
    case FormField::kDatabase:
      return txtDatabase;
    case FormField::kUser:
      return txtUser;
    case FormField::kScriptFile:
      return txtScriptFile;
    case FormField::kDsn:
      return txtDsn;
  }
  return nullptr;
}

FormValues frmMain::Values() const {
  FormValues v;
  v.server = txtServer->text().toStdString();
  v.database = txtDatabase->text().toStdString();
  v.user = txtUser->text().toStdString();
  v.password = txtPassword->text().toStdString();
  v.script_file = txtScriptFile->text().toStdString();
  v.dsn = txtDsn->text().toStdString();
  v.create_database = CheckDatabase->isChecked();
  v.create_dsn = CheckDSN->isChecked();
  return v;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Only the operator moving on counts: not a box or dialog taking the focus for a while,
    // nor the window putting the focus back itself.
    Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    bool moved_on = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                    reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    if (moved_on) {
      for (FormField field : kFormFields) {
        if (watched != Field(field)) continue;
        // Checked once the focus has settled, so that a message box never opens in the middle
        // of the focus change.
        QMetaObject::invokeMethod(
            this, [this, field] { Field_LostFocus(field); }, Qt::QueuedConnection);
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void frmMain::Field_LostFocus(FormField field) {
  QLineEdit* edit = Field(field);
  FieldChecks::Outcome outcome = checks_.Leave(field, edit->text().toStdString());
  if (outcome.message) prompt_.ShowMessage(*outcome.message, MessageIcon::kWarning);
  if (outcome.keep_focus) edit->setFocus(Qt::OtherFocusReason);
}

void frmMain::CheckDatabase_Click(bool checked) {
  txtScriptFile->setEnabled(checked);
  cmdBrowse->setEnabled(checked);
}

void frmMain::CheckDSN_Click(bool checked) { txtDsn->setEnabled(checked); }

void frmMain::cmdBrowse_Click() {
  txtScriptFile->setText(Q(script_choice_.Apply(choose_file_(this))));
}

void frmMain::cmdCreate_Click() {
  CreateCheck check = CheckCreate(Values());
  if (check.empty_field) {
    prompt_.ShowMessage(CreateFieldMessage(*check.empty_field), MessageIcon::kWarning);
    Field(*check.empty_field)->setFocus(Qt::OtherFocusReason);
    return;
  }
  WaitCursor wait;
  create_(check.arguments);
}

void frmMain::cmdCancel_Click() { close(); }

std::unique_ptr<QFileDialog> frmMain::MakeScriptFileDialog(QWidget* parent) {
  auto dialog = std::make_unique<QFileDialog>(
      parent, "Choose SQL Script File",
      QString::fromStdString(std::filesystem::temp_directory_path().string()), "Sql Files (*.sql)");
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setDefaultSuffix("sql");
  return dialog;
}

std::optional<std::string> frmMain::ChooseScriptFile(QWidget* parent) {
  std::unique_ptr<QFileDialog> dialog = MakeScriptFileDialog(parent);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog->selectedFiles().first().toStdString();
}

}  // namespace qor::dbcreate
