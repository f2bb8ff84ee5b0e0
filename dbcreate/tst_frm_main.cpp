// Kilnbase's window, offscreen: its layout, the field checks with their window-wide switch,
// the check boxes, "..." and "&Create". Messages are answered by a scripted prompt and the job
// is recorded instead of run.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <filesystem>

#include "common/qt_prompt.h"
#include "common/scripted_prompt.h"
#include "dbcreate/frm_main.h"
#include "testing/test_env.h"

namespace qor::dbcreate {

// One window with everything it reaches recorded.
struct Fixture {
  ScriptedPrompt prompt;
  std::vector<DbCreateArguments> calls;
  std::vector<bool> busy_pointer_during_call;
  std::deque<std::optional<std::string>> chosen_files;
  int dialogs = 0;
  std::unique_ptr<frmMain> window;

  Fixture() {
    window = std::make_unique<frmMain>(
        prompt,
        [this](const DbCreateArguments& a) {
          calls.push_back(a);
          QCursor* cursor = QApplication::overrideCursor();
          busy_pointer_during_call.push_back(cursor != nullptr &&
                                             cursor->shape() == Qt::WaitCursor);
        },
        [this](QWidget*) {
          ++dialogs;
          std::optional<std::string> chosen = chosen_files.front();
          chosen_files.pop_front();
          return chosen;
        });
  }
  template <typename T = QLineEdit>
  T* Get(const char* name) const {
    return window->findChild<T*>(name);
  }
  bool Show() {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get());
  }
  QString Focused() const {
    QWidget* w = QApplication::focusWidget();
    return w != nullptr ? w->objectName() : QString();
  }
  // Leaves the focused field with the Tab key and lets the field check run.
  void Tab() {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCoreApplication::sendPostedEvents();
  }
  QStringList Texts() const {
    QStringList out;
    for (const std::string& t : prompt.texts()) out << QString::fromStdString(t);
    return out;
  }
};

class TestFrmMain : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

  void controlsStandWhereTheDesignPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    auto row = [](const char* name, const char* parent, QRect twips, const char* caption) {
      QTest::newRow(name) << QString(name) << QString(parent) << twips << QString(caption);
    };
    row("lblSqlServer", "frmMain", {360, 360, 1455, 255}, "SQL Server");
    row("txtServer", "frmMain", {2160, 360, 1935, 350}, "");
    row("lblDatabase", "frmMain", {360, 960, 1575, 255}, "Database");
    row("txtDatabase", "frmMain", {2160, 960, 1935, 350}, "");
    row("lblUser", "frmMain", {360, 1560, 1335, 255}, "User Name");
    row("txtUser", "frmMain", {2160, 1440, 1935, 350}, "");
    row("lblPassword", "frmMain", {360, 2160, 1335, 255}, "Password");
    row("txtPassword", "frmMain", {2160, 2040, 1935, 350}, "");
    row("FrameDatabase", "frmMain", {240, 2880, 4575, 855}, "");
    row("CheckDatabase", "FrameDatabase", {120, 0, 1575, 255}, "Create Database");
    row("lblFilePath", "FrameDatabase", {120, 360, 1575, 255}, "SQLScript File");
    row("txtScriptFile", "FrameDatabase", {1920, 240, 1935, 350}, "");
    row("cmdBrowse", "FrameDatabase", {3960, 240, 495, 350}, "...");
    row("FrameLogon", "frmMain", {240, 4080, 4575, 855}, "Logon Info");
    row("CheckDSN", "FrameLogon", {120, 0, 1215, 255}, "Create DSN");
    row("lblDsn", "FrameLogon", {120, 360, 1455, 255}, "System DSN Name");
    row("txtDsn", "FrameLogon", {1920, 240, 1935, 350}, "");
    row("cmdCreate", "frmMain", {840, 5400, 1335, 375}, "&Create");
    row("cmdCancel", "frmMain", {3000, 5400, 1335, 375}, "Cl&ose");
  }
  void controlsStandWhereTheDesignPutsThem() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    Fixture f;
    QWidget* w = f.window->findChild<QWidget*>(name);
    QVERIFY(w != nullptr);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    auto px = [](int t) { return qRound(t / 15.0); };
    QRect designed(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
    if (qobject_cast<QLabel*>(w) != nullptr || qobject_cast<QCheckBox*>(w) != nullptr) {
      // A caption stays in its place and is never cut by a face wider than the one laid out for.
      QCOMPARE(w->pos(), designed.topLeft());
      QCOMPARE(w->height(), designed.height());
      QVERIFY(w->width() >= designed.width());
      QVERIFY(w->width() >= w->sizeHint().width());
    } else {
      QCOMPARE(w->geometry(), designed);
    }
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(w)) text = frame->title();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) text = edit->text();
    QCOMPARE(text, caption);
  }

  void theWindowHasItsCaptionAndSize() {
    Fixture f;
    QCOMPARE(f.window->windowTitle(), QString("Create Database and DSN"));
    QCOMPARE(f.window->size(), QSize(qRound(5235 / 15.0), qRound(6120 / 15.0)));
  }

  void fieldsCarryTheirToolTips_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tip");
    QTest::newRow("txtServer") << "txtServer"
                               << "Fill the name of the SQL Server in this Field. The "
                                  "Application will connect to SQL server mentioned in this field";
    QTest::newRow("txtDatabase") << "txtDatabase"
                                 << "Fill the name of the Database. The Application will create "
                                    "a Database by this name on the SQL Server";
    QTest::newRow("txtUser") << "txtUser"
                             << "Fill the user name. The Application will use the value in this "
                                "field to connect to the SQL Server";
    QTest::newRow("txtPassword") << "txtPassword"
                                 << "Fill the password corresponding to the user name. ";
    QTest::newRow("txtScriptFile")
        << "txtScriptFile"
        << "Mention the complete path of the SQL Script file name. The Application will use "
           "this script file for inserting tables into the database.";
    QTest::newRow("txtDsn") << "txtDsn"
                            << "Fill the name of the DSN. The Application will make an entry by "
                               "this name in the System DSN list.";
  }
  void fieldsCarryTheirToolTips() {
    QFETCH(QString, name);
    QFETCH(QString, tip);
    Fixture f;
    QCOMPARE(f.Get(name.toUtf8().constData())->toolTip(), tip);
  }

  void thePasswordShowsAStarPerCharacter() {
    Fixture f;
    QLineEdit* password = f.Get("txtPassword");
    password->setText("s3cret");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->displayText(), QString("******"));
  }

  void tabWalksTheFieldsInTheirOrder() {
    Fixture f;
    QVERIFY(f.Show());
    for (const char* name : {"txtServer", "txtDatabase", "txtUser", "txtScriptFile", "txtDsn"}) {
      f.Get(name)->setText("x");
    }
    f.Get("txtServer")->setFocus();
    QStringList walked{f.Focused()};
    for (int i = 0; i < 11; ++i) {
      f.Tab();
      walked << f.Focused();
    }
    QCOMPARE(walked, (QStringList{"txtServer", "txtDatabase", "txtUser", "txtPassword",
                                  "CheckDatabase", "txtScriptFile", "cmdBrowse", "CheckDSN",
                                  "txtDsn", "cmdCreate", "cmdCancel", "txtServer"}));
    QVERIFY(f.prompt.shown().empty());
  }

  void checkBoxesEnableTheirFields() {
    Fixture f;
    auto* database = f.Get<QCheckBox>("CheckDatabase");
    auto* dsn = f.Get<QCheckBox>("CheckDSN");
    QVERIFY(database->isChecked() && dsn->isChecked());
    auto enabled = [&f] {
      QStringList on;
      for (const char* name : {"txtServer", "txtDatabase", "txtUser", "txtPassword",
                               "txtScriptFile", "cmdBrowse", "txtDsn"}) {
        if (f.window->findChild<QWidget*>(name)->isEnabled()) on << name;
      }
      return on;
    };
    const QStringList all{"txtServer",     "txtDatabase", "txtUser", "txtPassword",
                          "txtScriptFile", "cmdBrowse",   "txtDsn"};
    QCOMPARE(enabled(), all);
    database->click();
    QCOMPARE(enabled(),
             (QStringList{"txtServer", "txtDatabase", "txtUser", "txtPassword", "txtDsn"}));
    dsn->click();
    QCOMPARE(enabled(), (QStringList{"txtServer", "txtDatabase", "txtUser", "txtPassword"}));
    database->click();
    QCOMPARE(enabled(), (QStringList{"txtServer", "txtDatabase", "txtUser", "txtPassword",
                                     "txtScriptFile", "cmdBrowse"}));
    dsn->click();
    QCOMPARE(enabled(), all);
  }

  void leavingAnEmptyFieldIsRefusedOnceAndReleasedTheNextTime() {
    Fixture f;
    QVERIFY(f.Show());
    f.Get("txtServer")->setFocus();

    f.Tab();  // refused: the focus comes back
    QCOMPARE(f.Texts(), QStringList{"SQL Server cannot be Empty."});
    QCOMPARE(f.prompt.shown().back().icon, MessageIcon::kWarning);
    QCOMPARE(f.Focused(), QString("txtServer"));

    f.Tab();  // released
    QCOMPARE(f.Texts().size(), 2);
    QCOMPARE(f.Texts().back(), QString("SQL Server cannot be Empty."));
    QCOMPARE(f.Focused(), QString("txtDatabase"));

    f.Tab();  // the switch is off again: the next empty field is refused
    QCOMPARE(f.Texts().back(), QString("Database cannot be Empty."));
    QCOMPARE(f.Focused(), QString("txtDatabase"));

    QTest::keyClicks(f.Get("txtDatabase"), "qor");
    f.Tab();  // a filled field lets the focus go without a word
    QCOMPARE(f.Texts().size(), 3);
    QCOMPARE(f.Focused(), QString("txtUser"));

    // A filled field left the switch on, so leaving the empty user field is let go at once.
    QTest::mouseClick(f.Get("txtPassword"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.Texts().back(), QString("User Name cannot be Empty."));
    QCOMPARE(f.Focused(), QString("txtPassword"));

    // Clicking into another field leaves the one with the focus just as Tab does.
    QTest::mouseClick(f.Get("txtUser"), Qt::LeftButton);  // the password is not checked
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.Texts().size(), 4);
    QTest::mouseClick(f.Get("txtServer"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.Texts().size(), 5);
    QCOMPARE(f.Texts().back(), QString("User Name cannot be Empty."));
    QCOMPARE(f.Focused(), QString("txtUser"));

    QTest::keyClicks(f.Get("txtUser"), "sa");
    f.Tab();
    QCOMPARE(f.Focused(), QString("txtPassword"));
    f.Tab();  // the password may stay empty
    QCOMPARE(f.Texts().size(), 5);
    QCOMPARE(f.Focused(), QString("CheckDatabase"));
  }

  void aRealMessageBoxSetsOffNoFurtherCheck() {
    QtPrompt prompt(nullptr, "Kilnbase");
    frmMain window(
        prompt, [](const DbCreateArguments&) {}, [](QWidget*) { return std::nullopt; });
    prompt.SetParent(&window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QLineEdit* server = window.findChild<QLineEdit*>("txtServer");
    server->setFocus();

    // Answers every box that comes up, noting its text.
    QStringList boxes;
    QTimer answer;
    answer.setInterval(0);
    connect(&answer, &QTimer::timeout, [&boxes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes << box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    answer.start();
    QTest::keyClick(server, Qt::Key_Tab);
    QTRY_COMPARE(boxes, QStringList{"SQL Server cannot be Empty."});
    QTRY_COMPARE(window.focusWidget(), static_cast<QWidget*>(server));
    // The box taking the focus and giving it back is no operator leaving a field.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(boxes.size(), 1);
  }

  void theDsnFieldsOwnMessageHasNoFullStop() {
    Fixture f;
    QVERIFY(f.Show());
    f.Get("txtDsn")->setFocus();
    f.Tab();
    QCOMPARE(f.Texts(), QStringList{"System DSN Name cannot be Empty"});
    QCOMPARE(f.Focused(), QString("txtDsn"));
    f.Tab();
    QCOMPARE(f.Texts(),
             (QStringList{"System DSN Name cannot be Empty", "System DSN Name cannot be Empty"}));
    QCOMPARE(f.Focused(), QString("cmdCreate"));
  }

  void createRefusesTheFirstEmptyFieldInOrder_data() {
    QTest::addColumn<QStringList>("filled");
    QTest::addColumn<bool>("database_job");
    QTest::addColumn<bool>("dsn_job");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focused");
    QStringList all{"txtServer", "txtDatabase", "txtUser", "txtScriptFile", "txtDsn"};
    QTest::newRow("nothing") << QStringList{} << true << true << "SQL Server cannot be Empty."
                             << "txtServer";
    QTest::newRow("server") << QStringList{"txtServer"} << true << true
                            << "Database cannot be Empty."
                            << "txtDatabase";
    QTest::newRow("server, user") << QStringList{"txtServer", "txtUser"} << true << true
                                  << "Database cannot be Empty."
                                  << "txtDatabase";
    QTest::newRow("server, database")
        << QStringList{"txtServer", "txtDatabase"} << true << true << "User Name cannot be Empty."
        << "txtUser";
    QTest::newRow("no script") << QStringList{"txtServer", "txtDatabase", "txtUser", "txtDsn"}
                               << true << true << "SQLScript File cannot be Empty."
                               << "txtScriptFile";
    QTest::newRow("no script, no DSN") << QStringList{"txtServer", "txtDatabase", "txtUser"} << true
                                       << true << "SQLScript File cannot be Empty."
                                       << "txtScriptFile";
    QTest::newRow("no DSN") << QStringList{"txtServer", "txtDatabase", "txtUser", "txtScriptFile"}
                            << true << true << "System DSN Name cannot be Empty."
                            << "txtDsn";
    QTest::newRow("no script, no database job")
        << QStringList{"txtServer", "txtDatabase", "txtUser", "txtDsn"} << false << true << ""
        << "";
    QTest::newRow("no DSN, no DSN job")
        << QStringList{"txtServer", "txtDatabase", "txtUser", "txtScriptFile"} << true << false
        << ""
        << "";
    QTest::newRow("all") << all << true << true << ""
                         << "";
  }
  void createRefusesTheFirstEmptyFieldInOrder() {
    QFETCH(QStringList, filled);
    QFETCH(bool, database_job);
    QFETCH(bool, dsn_job);
    QFETCH(QString, message);
    QFETCH(QString, focused);
    Fixture f;
    QVERIFY(f.Show());
    for (const QString& name : filled) f.Get(name.toUtf8().constData())->setText(" v ");
    f.Get<QCheckBox>("CheckDatabase")->setChecked(database_job);
    f.Get<QCheckBox>("CheckDSN")->setChecked(dsn_job);
    f.Get("txtPassword")->setFocus();

    QTest::mouseClick(f.Get<QPushButton>("cmdCreate"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    if (message.isEmpty()) {
      QVERIFY(f.prompt.shown().empty());
      QCOMPARE(f.calls.size(), std::size_t{1});
      QCOMPARE(f.calls[0].CreateDb, database_job);
      QCOMPARE(f.calls[0].CreateDsn, dsn_job);
      return;
    }
    QCOMPARE(f.Texts(), QStringList{message});
    QCOMPARE(f.prompt.shown()[0].icon, MessageIcon::kWarning);
    QCOMPARE(f.Focused(), focused);
    QVERIFY(f.calls.empty());
  }

  void createPassesTrimmedValuesAndTheScriptInQuotes() {
    Fixture f;
    QVERIFY(f.Show());
    f.Get("txtServer")->setText("  sqlite:/srv/qor  ");
    f.Get("txtDatabase")->setText(" qor ");
    f.Get("txtUser")->setText(" sa ");
    f.Get("txtPassword")->setText(" pass word ");
    f.Get("txtScriptFile")->setText("  /srv/my scripts/local database.sql ");
    f.Get("txtDsn")->setText(" qor_local ");
    QTest::mouseClick(f.Get<QPushButton>("cmdCreate"), Qt::LeftButton);

    DbCreateArguments expected{
        "sqlite:/srv/qor", "sa", " pass word ", "qor", "\"/srv/my scripts/local database.sql\"",
        "qor_local",       true, true};
    QCOMPARE(f.calls.size(), std::size_t{1});
    QVERIFY(f.calls[0] == expected);
    QCOMPARE(f.busy_pointer_during_call, std::vector<bool>{true});
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The window stays, with its values, ready for another run.
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.Get("txtDatabase")->text(), QString(" qor "));
    QTest::mouseClick(f.Get<QPushButton>("cmdCreate"), Qt::LeftButton);
    QCOMPARE(f.calls.size(), std::size_t{2});
  }

  void browsePutsTheChosenFileIntoTheScriptField() {
    Fixture f;
    QLineEdit* script = f.Get("txtScriptFile");
    auto* browse = f.Get<QPushButton>("cmdBrowse");
    script->setText("/typed/by/hand.sql");
    f.chosen_files = {std::nullopt, "/x/one.sql", std::nullopt, "/y/two.sql"};
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
      QTest::mouseClick(browse, Qt::LeftButton);
      seen << script->text();
    }
    // A cancel brings back the file chosen last, which is none at first.
    QCOMPARE(seen, (QStringList{"", "/x/one.sql", "/x/one.sql", "/y/two.sql"}));
    QCOMPARE(f.dialogs, 4);
  }

  void theScriptDialogAsksForSqlFiles() {
    std::unique_ptr<QFileDialog> dialog = frmMain::MakeScriptFileDialog(nullptr);
    QCOMPARE(dialog->windowTitle(), QString("Choose SQL Script File"));
    QCOMPARE(dialog->nameFilters(), QStringList{"Sql Files (*.sql)"});
    QCOMPARE(dialog->defaultSuffix(), QString("sql"));
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(QDir(dialog->directory()).canonicalPath(),
             QDir(QString::fromStdString(std::filesystem::temp_directory_path().string()))
                 .canonicalPath());
  }

  void closeHidesTheWindow() {
    Fixture f;
    QVERIFY(f.Show());
    QTest::mouseClick(f.Get<QPushButton>("cmdCancel"), Qt::LeftButton);
    QVERIFY(!f.window->isVisible());
    QVERIFY(f.calls.empty());
    QVERIFY(f.prompt.shown().empty());
  }
};

}  // namespace qor::dbcreate

int main(int argc, char** argv) {
  qor::testing::InitializeTestProcess();
  QApplication app(argc, argv);
  // Closing the window under test must not end the test program.
  QApplication::setQuitOnLastWindowClosed(false);
  qor::dbcreate::TestFrmMain test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_frm_main.moc"
