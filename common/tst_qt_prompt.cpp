// The message boxes of QtPrompt, answered by clicking their buttons from a timer.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "common/qt_prompt.h"
#include "testing/test_env.h"

namespace qor {

class TestQtPrompt : public QObject {
  Q_OBJECT

 private:
  struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
  };

  // Once the box is up, notes what it shows and presses `press` (the default button when
  // NoButton is given, as Enter would).
  static void AnswerNextBox(Seen* seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [seen, press] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) {
        AnswerNextBox(seen, press);
        return;
      }
      seen->title = box->windowTitle();
      seen->text = box->text();
      seen->icon = box->icon();
      seen->format = box->textFormat();
      for (QAbstractButton* b : box->buttons()) seen->buttons.append(box->standardButton(b));
      if (box->defaultButton() != nullptr) {
        seen->default_button = box->standardButton(box->defaultButton());
      }
      QAbstractButton* target =
          press == QMessageBox::NoButton ? box->defaultButton() : box->button(press);
      if (target != nullptr) target->click();
    });
  }

 private slots:
  void messagesCarryTheProgramNameIconAndOneOkButton_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("expected");
    QTest::newRow("none") << int(MessageIcon::kNone) << int(QMessageBox::NoIcon);
    QTest::newRow("information") << int(MessageIcon::kInformation) << int(QMessageBox::Information);
    QTest::newRow("warning") << int(MessageIcon::kWarning) << int(QMessageBox::Warning);
    QTest::newRow("critical") << int(MessageIcon::kCritical) << int(QMessageBox::Critical);
    QTest::newRow("question") << int(MessageIcon::kQuestion) << int(QMessageBox::Question);
  }
  void messagesCarryTheProgramNameIconAndOneOkButton() {
    QFETCH(int, icon);
    QFETCH(int, expected);
    QtPrompt prompt(nullptr, "Kilnbase");
    Seen seen;
    AnswerNextBox(&seen, QMessageBox::Ok);
    prompt.ShowMessage("Database '<b>x</b>' created\r\n\r\nnext", static_cast<MessageIcon>(icon));
    QCOMPARE(seen.title, QString("Kilnbase"));
    QCOMPARE(seen.text, QString("Database '<b>x</b>' created\n\nnext"));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(int(seen.icon), expected);
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
  }

  void questionsAreTitledAndReturnTheButtonPressed_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("default_yes");
    QTest::addColumn<int>("press");
    QTest::addColumn<bool>("expected_yes");
    QTest::addColumn<QString>("expected_title");
    QTest::newRow("yes pressed") << "Database Creation" << true << int(QMessageBox::Yes) << true
                                 << "Database Creation";
    QTest::newRow("no pressed") << "Database Creation" << true << int(QMessageBox::No) << false
                                << "Database Creation";
    QTest::newRow("enter, default yes")
        << "" << true << int(QMessageBox::NoButton) << true << "Kilnbase";
    QTest::newRow("enter, default no")
        << "" << false << int(QMessageBox::NoButton) << false << "Kilnbase";
  }
  void questionsAreTitledAndReturnTheButtonPressed() {
    QFETCH(QString, title);
    QFETCH(bool, default_yes);
    QFETCH(int, press);
    QFETCH(bool, expected_yes);
    QFETCH(QString, expected_title);
    QtPrompt prompt(nullptr, "Kilnbase");
    Seen seen;
    AnswerNextBox(&seen, static_cast<QMessageBox::StandardButton>(press));
    Answer answer =
        prompt.AskYesNo("Go on?", title.toStdString(), default_yes ? Answer::kYes : Answer::kNo);
    QCOMPARE(answer == Answer::kYes, expected_yes);
    QCOMPARE(seen.title, expected_title);
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons.size(), 2);
    QVERIFY(seen.buttons.contains(QMessageBox::Yes));
    QVERIFY(seen.buttons.contains(QMessageBox::No));
    QCOMPARE(seen.default_button, default_yes ? QMessageBox::Yes : QMessageBox::No);
  }
};

}  // namespace qor

int main(int argc, char** argv) {
  qor::testing::InitializeTestProcess();
  QApplication app(argc, argv);
  qor::TestQtPrompt test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_qt_prompt.moc"
