// The question that offers the work of a copy that died: its text and its
// three answers as the user gives them, by button or by key.
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

class RecoveryQuestionTest : public QObject {
  Q_OBJECT
 private slots:
  void answers() {
    const std::string text =
        "Brellin Pro was closed unexpectedly. Recover the work on cat.png from 2026-12-10 14:30 "
        "(2448 strokes)?";
    TQtDomainUi ui;
    // Each button by its caption, then Return (the default) and Escape.
    const struct {
      const char* Button;
      int Key;
      TDomainUi::TRecoveryAnswer Expected;
    } cases[] = {{"Recover", 0, TDomainUi::raRecover},
                 {"Discard", 0, TDomainUi::raDiscard},
                 {"Later", 0, TDomainUi::raLater},
                 {nullptr, Qt::Key_Return, TDomainUi::raRecover},
                 {nullptr, Qt::Key_Escape, TDomainUi::raLater}};
    for (const auto& c : cases) {
      QString shown;
      QStringList buttons;
      test::WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        for (QAbstractButton* b : box->buttons()) buttons << b->text();
        const QByteArray shots = qgetenv("BRELLIN_SHOTS");
        if (!shots.isEmpty() && c.Key == Qt::Key_Return)
          box->grab().save(QString::fromUtf8(shots) + "/recovery-question.png");
        if (c.Button) {
          for (QAbstractButton* b : box->buttons())
            if (b->text() == c.Button) QTest::mouseClick(b, Qt::LeftButton);
        } else {
          QTest::keyClick(box, Qt::Key(c.Key));
        }
      });
      QCOMPARE(ui.AskRecovery(text), c.Expected);
      QCOMPARE(shown, QString::fromStdString(text));
      buttons.sort();
      QCOMPARE(buttons, QStringList({"Discard", "Later", "Recover"}));
    }
  }
};

QTEST_MAIN(RecoveryQuestionTest)
#include "RecoveryQuestionTest.moc"
