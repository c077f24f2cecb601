// Detail passes and clean edges in the desktop program, through the real
// dialogs: "Clean edges" in the project options, "Detail passes" in the
// apply dialog, Undo pass by pass, and "Refine details..." (Ctrl+R).
#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/Dialogs.h"
#include "ui/FMain.h"
#include "ui/FWait.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

class TFilesUi : public TQtDomainUi {
 public:
  QStringList Files;
  bool OpenPictureFile(std::string& F) override {
    if (Files.isEmpty()) return false;
    F = Files.takeFirst().toStdString();
    return true;
  }
};

}  // namespace

class DetailPassesUiTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void applyWithPassesUndoAndRefine() {
    TFilesUi ui;
    TDomain domain(&ui);
    domain.ToolManagerFactory = MakeToolManagerFactory();
    TFMain main(domain);
    ui.SetParent(&main);
    TFWait wait(&main);
    wait.Install();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    ui.Files << BRELLIN_CORPUS "/photos/animal_chelsea_cat.png";
    test::WhenModal<TFResample>([](TFResample* d) {
      d->cleanEdgesBox->setChecked(true);
      QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(&main, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(domain.Document);
    QVERIFY(domain.Document->CleanEdges);

    SetRandSeed(5);
    test::WhenModal<TFApplyAll>([](TFApplyAll* d) {
      d->stepsEdit()->setValue(600);
      d->passesEdit()->setValue(2);
      QTest::mouseClick(d->startButton(), Qt::LeftButton);
    });
    main.action("ApplyWithCurrentSettingsCommand")->trigger();
    QCOMPARE(domain.DetailPasses, 2);  // remembered for the next apply
    QCOMPARE(domain.Document->StateCount(), 3);
    const int64_t run = domain.Document->History->Item(0).Strokes->Count();
    QVERIFY(domain.Document->VectorCount() > run);
    QVERIFY(domain.Document->VectorCount() <= 2 * run);

    // Undo takes back the last pass only, then the first.
    main.action("UndoCommand")->trigger();
    QCOMPARE(domain.Document->VectorCount(),
             run + domain.Document->History->Item(1).Strokes->Count());
    main.action("UndoCommand")->trigger();
    QCOMPARE(domain.Document->VectorCount(), run);

    // Refine details with one pass, from the Edit menu's shortcut.
    QVERIFY(main.action("RefineDetailsCommand")->isEnabled());
    test::WhenModal<QInputDialog>([](QInputDialog* d) {
      d->setTextValue("1");
      d->accept();
    });
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(domain.Document->StateCount(), 2);
    QVERIFY(domain.Document->VectorCount() > run);
    QVERIFY(!wait.stopButton()->isVisible());

    // Three more passes, stopped on the wait window after the first stroke:
    // what was painted stays as one undo step, no further pass runs.
    const int64_t refined = domain.Document->VectorCount();
    // The second time events run with the stop button up, the first seed
    // has been painted.
    int offered = 0;
    QTimer stopper;
    stopper.setInterval(0);
    connect(&stopper, &QTimer::timeout, &wait, [&] {
      if (!wait.stopButton()->isVisible() || ++offered < 2) return;
      stopper.stop();
      QTest::mouseClick(wait.stopButton(), Qt::LeftButton);
    });
    stopper.start();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    test::WhenModal<QInputDialog>([](QInputDialog* d) {
      d->setTextValue("3");
      d->accept();
    });
    QTest::keyClick(&main, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(offered, 2);
    QVERIFY(!domain.ApplyRunning);
    QCOMPARE(domain.Document->StateCount(), 3);
    QVERIFY(domain.Document->VectorCount() > refined);
    QVERIFY(!wait.isVisible());
    QVERIFY(!wait.stopButton()->isVisible());
    main.action("UndoCommand")->trigger();
    QCOMPARE(domain.Document->VectorCount(), refined);
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(DetailPassesUiTest)
#include "DetailPassesUiTest.moc"
