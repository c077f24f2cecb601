// A user's session with the real main window, driven through QTest: open a
// photo, apply, undo and redo, sketch, save, close, reopen, export. Only the
// file dialogs are answered by the test; every other dialog is the real one,
// clicked as a user clicks it.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "UiTestSupport.h"
#include "analysis/PictureFormats.h"
#include "base/ProgramFolder.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/Dialogs.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

// The file dialogs give the next name queued; everything else is real.
class TScriptedFilesUi : public TQtDomainUi {
 public:
  QStringList Files;
  QStringList Infos;
  bool Next(std::string& FileName) {
    if (Files.isEmpty()) return false;
    FileName = Files.takeFirst().toStdString();
    return true;
  }
  bool OpenPictureFile(std::string& F) override { return Next(F); }
  bool SaveImageFile(std::string& F) override { return Next(F); }
  bool SaveProjectFile(std::string& F) override { return Next(F); }
  bool OpenProjectFile(std::string& F) override { return Next(F); }
  bool SavePostScriptFile(std::string& F) override { return Next(F); }
  bool SaveSvgFile(std::string& F) override { return Next(F); }
  // A test has nobody to close a message box: the message is kept instead.
  void ErrorBox(const std::string& Caption, const std::string& Text) override {
    Errors << QString::fromStdString(Caption + ": " + Text);
  }
  QStringList Errors;
  void InfoBox(const std::string& Caption, const std::string& Text) override {
    Infos << QString::fromStdString(Caption + ": " + Text);
  }
};

}  // namespace

class MainWindowFlowTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    // A program folder of its own, with the shipped library.
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void aUserSession() {
    TScriptedFilesUi ui;
    TDomain domain(&ui);
    domain.ToolManagerFactory = MakeToolManagerFactory();
    TFMain main(domain);
    ui.SetParent(&main);
    ui.OnTerminate = [&] { main.Terminate(); };
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(main.windowTitle(), QString("Brellin Pro - " BRELLIN_VERSION));
    QVERIFY(!main.action("UndoCommand")->isEnabled());
    QVERIFY(!main.action("AutoDirCommand")->isEnabled());
    QVERIFY(main.action("OpenCommand")->isEnabled());

    // 1. Open a photo; OK in the project options.
    QVERIFY(QFile::exists(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png"));
    ui.Files << BRELLIN_CORPUS "/photos/animal_chelsea_cat.png";
    bool optionsShown = false;
    test::WhenModal<TFResample>([&](TFResample* d) {
      optionsShown = true;
      QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(&main, Qt::Key_O, Qt::ControlModifier);
    QVERIFY2(ui.Errors.isEmpty(), qPrintable(ui.Errors.join("; ")));
    QVERIFY(optionsShown);
    QVERIFY(domain.Document);
    QVERIFY(main.action("AutoDirCommand")->isEnabled());
    QVERIFY(!main.action("UndoCommand")->isEnabled());
    QCOMPARE(main.vectorCountLabel()->text(), QString("0 Vectors"));

    // 2. Apply 500 steps with the real dialog.
    test::WhenModal<TFApplyAll>([](TFApplyAll* d) {
      d->stepsEdit()->setValue(500);
      QTest::mouseClick(d->startButton(), Qt::LeftButton);
    });
    main.action("ApplyWithCurrentSettingsCommand")->trigger();
    const int64_t applied = domain.Document->VectorCount();
    QVERIFY(applied > 0);
    QVERIFY(main.action("UndoCommand")->isEnabled());
    QCOMPARE(main.vectorCountLabel()->text(),
             QString("%1 Vectors").arg(QLocale().toString(qlonglong(applied))));

    // 3. Undo, then redo, with the keys (the window is active again once the
    // dialog has gone).
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(domain.Document->VectorCount(), 0);
    QVERIFY(main.action("RedoCommand")->isEnabled());
    QTest::keyClick(&main, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(domain.Document->VectorCount(), applied);

    // 4. The auto-sketch tool (key A) and one drag over the source view.
    QTest::keyClick(&main, Qt::Key_A);
    QCOMPARE(domain.ToolManager->Tool(), 5);
    QVERIFY(main.sizeDensityPanel()->isVisible());
    QWidget* src = main.sourceView()->viewport();
    QTest::mousePress(src, Qt::LeftButton, {}, QPoint(100, 100));
    for (int x = 110; x <= 200; x += 10) QTest::mouseMove(src, QPoint(x, 100 + x / 4));
    QTest::mouseRelease(src, Qt::LeftButton, {}, QPoint(200, 150));
    const int64_t sketched = domain.Document->VectorCount();
    QVERIFY(sketched > applied);
    QCOMPARE(domain.Document->StateCount(), 2);

    // 5. Save the picture, then the project.
    ui.Files << FHome.filePath("cat-ink.jpg");
    QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFile::exists(FHome.filePath("cat-ink.jpg")));
    ui.Files << FHome.filePath("cat.bpj");
    main.action("SaveProjectAsCommand")->trigger();
    QVERIFY(QFile::exists(FHome.filePath("cat.bpj")));
    QVERIFY(!domain.Document->Modified);
    QVERIFY(main.action("SaveProjectCommand")->isEnabled());

    // 6. Close, then reopen the project.
    main.action("CloseCommand")->trigger();
    QVERIFY(!domain.Document);
    QVERIFY(!main.action("SaveCommand")->isEnabled());
    QVERIFY(!main.action("SvgCommand")->isEnabled());
    ui.Files << FHome.filePath("cat.bpj");
    main.action("OpenProjectCommand")->trigger();
    QVERIFY(domain.Document);
    QCOMPARE(domain.Document->VectorCount(), sketched);
    QCOMPARE(main.vectorCountLabel()->text(),
             QString("%1 Vectors").arg(QLocale().toString(qlonglong(sketched))));

    // 7. Export PostScript (Ctrl+P).
    ui.Files << FHome.filePath("cat.ps");
    QTest::keyClick(&main, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(QFile::exists(FHome.filePath("cat.ps")));
    QCOMPARE(ui.Infos.size(), 1);
    QVERIFY(ui.Infos[0].startsWith("Brellin: The file was succesfully exported"));
    QFile ps(FHome.filePath("cat.ps"));
    QVERIFY(ps.open(QIODevice::ReadOnly));
    QVERIFY(ps.read(4).startsWith("%!"));

    // 8. SVG Output, beside PostScript Output in the File menu.
    QAction* svg = main.action("SvgCommand");
    QVERIFY(svg->isEnabled());
    QMenu* file = main.menuBar()->actions().first()->menu();
    const QList<QAction*> items = file->actions();
    QCOMPARE(items.indexOf(svg), items.indexOf(main.action("PostScriptCommand")) + 1);
    ui.Files << FHome.filePath("cat.svg");
    svg->trigger();
    QCOMPARE(ui.Infos.size(), 2);
    QFile svgFile(FHome.filePath("cat.svg"));
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    QCOMPARE(svgFile.readAll().count("<path "), qsizetype(sketched));

    // 9. Save as PNG: lossless, chosen by the extension.
    ui.Files << FHome.filePath("cat-ink.png");
    QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier);
    QFile png(FHome.filePath("cat-ink.png"));
    QVERIFY(png.open(QIODevice::ReadOnly));
    QVERIFY(png.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
    const TBitmap32 saved = LoadPictureFile(FHome.filePath("cat-ink.png").toStdString());
    const TBitmap32& shown = domain.DestinationView->Bitmap();
    QCOMPARE(saved.Width(), shown.Width());
    for (size_t i = 0; i < saved.PixelCount(); ++i)
      QCOMPARE(saved.Bits()[i], shown.Bits()[i] | 0xFF000000u);
  }

  // A file handed over by a second copy while a run lets events run waits
  // for the run's end (opening it would free the document under the run),
  // and the window will not close meanwhile.
  void aFileHandedOverDuringARunWaits() {
    TScriptedFilesUi ui;
    TDomain domain(&ui);
    domain.ToolManagerFactory = MakeToolManagerFactory();
    TFMain main(domain);
    ui.SetParent(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const auto open = [&](const QString& Path, bool Now) {
      test::WhenModal<TFResample>([](TFResample* d) { d->accept(); });
      Now ? main.OpenArgument(Path) : main.OpenArgumentWhenIdle(Path);
    };
    open(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png", true);
    QVERIFY(domain.Document);
    const int height = domain.SourceView->Bitmap().Height();

    domain.Document->BeginEdit();                                // as a run does
    open(BRELLIN_CORPUS "/photos/grayscale_camera.png", false);  // square
    QTest::qWait(300);
    QCOMPARE(domain.SourceView->Bitmap().Height(), height);
    QVERIFY(!main.close());
    QVERIFY(main.isVisible());
    domain.Document->CancelEdit();
    QTRY_VERIFY(domain.SourceView->Bitmap().Height() != height);
    QVERIFY(main.close());
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(MainWindowFlowTest)
#include "MainWindowFlowTest.moc"
