// What the main window remembers and says: the caption and status bar after
// each file operation, brellin.conf across a restart (recent files, window
// size), "Open Recent", files dropped on the window, and the keys of a new
// user (Ctrl+D on a new document, Escape over a floating panel).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "UiTestSupport.h"
#include "base/ProgramFolder.h"
#include "domain/BDomain.h"
#include "interaction/MainWindowModel.h"
#include "interaction/Tools.h"
#include "ui/AppSettings.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/FMain.h"
#include "ui/FloatingPanels.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

const QString kVersion = QString("Brellin Pro - " BRELLIN_VERSION);
const QString kPhoto = BRELLIN_CORPUS "/photos/animal_chelsea_cat.png";

// The project dialogs give the next name queued; everything else is real.
class TScriptedUi : public TQtDomainUi {
 public:
  QStringList Files;
  bool SaveProjectFile(std::string& F) override {
    if (Files.isEmpty()) return false;
    F = Files.takeFirst().toStdString();
    return true;
  }
};

// The domain and the main window, as the program starts them.
struct TSession : test::TMainSession<TScriptedUi> {
  TSession() {
    Ui.OnTerminate = [this] { Main->Terminate(); };
    Ui.OnFileChosen = [this](const QString& F) { Main->NoteChosenFile(F); };
    Main->show();
  }
};

void AcceptProjectOptions() {
  test::WhenModal<TFResample>([](TFResample* d) { QTest::keyClick(d, Qt::Key_Return); });
}

void Drop(QWidget* Target, const QStringList& Files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& f : Files) urls << QUrl::fromLocalFile(f);
  data.setUrls(urls);
  const QPoint at(Target->width() / 2, Target->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Target, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(Target, &drop);
}

}  // namespace

class DesktopComfortTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
    QVERIFY(QFile::exists(kPhoto));
  }

  // Open, paint, Ctrl+D, resize, Ctrl+Q; a second start comes back at the
  // same size and offers the project under "Open Recent".
  void aProjectAndTheWindowAreRememberedAcrossARestart() {
    const QString project = FHome.filePath("P.bpj");
    const QString conf = TAppSettings::DefaultPath();
    QCOMPARE(conf, FHome.filePath("config/brellin/brellin.conf"));
    {
      TSession s;
      QVERIFY(QTest::qWaitForWindowExposed(s.Main.get()));
      QCOMPARE(s.Main->windowTitle(), kVersion);
      AcceptProjectOptions();
      s.Main->OpenArgument(kPhoto);
      QVERIFY(s.Domain.Document);
      QCOMPARE(s.Main->windowTitle(), kVersion + " - animal_chelsea_cat.png");
      const TBitmap32& b = s.Domain.DestinationView->Bitmap();
      QCOMPARE(s.Main->statusBar()->currentMessage(),
               QString("Opened animal_chelsea_cat.png (%1 × %2)")
                   .arg(QLocale().toString(b.Width()), QLocale().toString(b.Height())));

      s.Main->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(s.Main.get()));
      QTest::keyClick(s.Main.get(), Qt::Key_A);
      QCOMPARE(s.Domain.ToolManager->Tool(), 5);
      QWidget* src = s.Main->sourceView()->viewport();
      QTest::mousePress(src, Qt::LeftButton, {}, QPoint(100, 100));
      for (int x = 110; x <= 200; x += 10) QTest::mouseMove(src, QPoint(x, 100 + x / 4));
      QTest::mouseRelease(src, Qt::LeftButton, {}, QPoint(200, 150));
      QVERIFY(s.Domain.Document->VectorCount() > 0);
      QVERIFY(s.Main->windowTitle().endsWith(" *"));

      // Ctrl+D on a document without a project file saves as.
      QVERIFY(!s.Main->action("SaveProjectCommand")->isEnabled());
      s.Ui.Files << project;
      QTest::keyClick(s.Main.get(), Qt::Key_D, Qt::ControlModifier);
      QVERIFY(QFile::exists(project));
      QCOMPARE(s.Main->windowTitle(), kVersion + " - P.bpj");
      QVERIFY(s.Main->statusBar()->currentMessage().startsWith(
          QString("Saved P.bpj (%1 strokes, ")
              .arg(QLocale().toString(qlonglong(s.Domain.Document->VectorCount())))));

      s.Main->resize(700, 520);
      QTest::keyClick(s.Main.get(), Qt::Key_Q, Qt::ControlModifier);
      QVERIFY(!s.Main->isVisible());
    }
    QSettings written(conf, QSettings::IniFormat);
    QCOMPARE(written.value("Recent/files").toStringList().value(0), project);
    QVERIFY(!written.value("Window/geometry").toByteArray().isEmpty());

    {
      TSession again;
      QVERIFY(QTest::qWaitForWindowExposed(again.Main.get()));
      QCOMPARE(again.Main->size(), QSize(700, 520));
      QAction* latest = again.Main->recentMenu()->actions().value(0);
      QVERIFY(latest && latest->isEnabled());
      QCOMPARE(latest->data().toString(), project);
      QCOMPARE(latest->shortcut(), QKeySequence("Ctrl+Shift+O"));
      latest->trigger();
      QTRY_VERIFY(again.Domain.Document);
      QCOMPARE(again.Main->windowTitle(), kVersion + " - P.bpj");
    }

    // A file gone since the last run is dropped at start-up; Clear Recent
    // empties the list.
    TAppSettings settings;
    settings.AddRecentFile(FHome.filePath("gone.bpj"));
    settings.Sync();
    TSession third;
    QStringList listed;
    for (QAction* a : third.Main->recentMenu()->actions()) listed << a->data().toString();
    QVERIFY(listed.contains(project));
    QVERIFY(!listed.contains(FHome.filePath("gone.bpj")));
    third.Main->recentMenu()->findChild<QAction*>("ClearRecentCommand")->trigger();
    QVERIFY(TAppSettings().RecentFiles().isEmpty());
  }

  // Dropped on a view, a file opens as a handed-over one does; several open
  // the first; anything else is refused with the kinds that open.
  void droppedFilesOpen() {
    TSession s;
    QVERIFY(QTest::qWaitForWindowExposed(s.Main.get()));
    const QString text = FHome.filePath("notes.txt");
    QFile t(text);
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("hello");
    t.close();
    QString refusal;
    test::WhenModal<QMessageBox>([&](QMessageBox* b) {
      refusal = b->text();
      b->accept();
    });
    Drop(s.Main->centralWidget(), {text});
    QTRY_VERIFY(!refusal.isEmpty());
    QVERIFY(refusal.contains("projects (bpj)"));
    QVERIFY(!s.Domain.Document);

    AcceptProjectOptions();
    Drop(s.Main->centralWidget(), {text, kPhoto, FHome.filePath("P.bpj")});
    QVERIFY(s.Main->statusBar()->currentMessage().contains("3 files were dropped"));
    QTRY_VERIFY(s.Domain.Document);
    QCOMPARE(QString::fromStdString(s.Domain.Document->SourceFileName),
             QFileInfo(kPhoto).absoluteFilePath());

    // A project dropped on unsaved work asks first; Cancel keeps the work.
    const QString project = FHome.filePath("dropped.bpj");
    s.Ui.Files << project;
    s.Main->RunCommand("SaveProjectAsCommand");
    QVERIFY(QFile::exists(project));
    s.Main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.Main.get()));
    QTest::keyClick(s.Main.get(), Qt::Key_A);
    QWidget* src = s.Main->sourceView()->viewport();
    QTest::mousePress(src, Qt::LeftButton, {}, QPoint(100, 100));
    for (int x = 110; x <= 200; x += 10) QTest::mouseMove(src, QPoint(x, 100 + x / 4));
    QTest::mouseRelease(src, Qt::LeftButton, {}, QPoint(200, 150));
    QVERIFY(s.Domain.Document->Modified);
    const uint64_t before = s.Domain.Document->Serial;
    bool asked = false;
    test::WhenModal<QMessageBox>([&](QMessageBox* b) {
      asked = true;
      b->button(QMessageBox::Cancel)->click();
    });
    Drop(s.Main->centralWidget(), {project});
    QTRY_VERIFY(asked);
    QCOMPARE(s.Domain.Document->Serial, before);
    QVERIFY(s.Domain.Document->Modified);
  }

  // Tips name their keys; Escape puts away a floating panel that is not pinned.
  void tipsAndEscape() {
    TSession s;
    QVERIFY(QTest::qWaitForWindowExposed(s.Main.get()));
    QCOMPARE(s.Main->action("AutoDirCommand")->toolTip(), QString("Auto-sketch Tool (A)"));
    for (QToolButton* b : s.Main->centralWidget()->findChildren<QToolButton*>())
      QVERIFY2(!b->toolTip().isEmpty(), qPrintable(b->objectName()));
    // Each brush and pattern thumbnail is named.
    TPanelManager* panels = s.Main->panelManager();
    const TImageListViewer* lists[] = {
        s.Main->findChild<TImageListViewer*>(),
        panels->panel(TPanelManagerModel::BrushesCollection)->findChild<TImageListViewer*>()};
    for (const TImageListViewer* l : lists) QVERIFY(l && l->TipOf && !l->TipOf(1).isEmpty());
    AcceptProjectOptions();
    s.Main->OpenArgument(kPhoto);
    panels->OpenPanel(TPanelManagerModel::BrushesCollection);
    QVERIFY(panels->panel(TPanelManagerModel::BrushesCollection)->isVisible());
    QTest::keyClick(s.Main->sourceView(), Qt::Key_Escape);
    QVERIFY(!panels->panel(TPanelManagerModel::BrushesCollection)->isVisible());
  }

  // A damaged settings file gives defaults, a line in the log, and a clean
  // file on the next write.
  void aDamagedSettingsFileIsIgnored() {
    const QString path = FHome.filePath("damaged/brellin.conf");
    QVERIFY(QDir().mkpath(FHome.filePath("damaged")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Recent\n\x01\xff=3\nfiles=@Invalid(\n");
    f.close();
    TAppSettings settings(path);
    QVERIFY(settings.RecentFiles().isEmpty());
    QFile log(FHome.filePath("brellin.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("damaged/brellin.conf is damaged"));
    settings.AddRecentFile(kPhoto);
    QVERIFY(settings.Sync());
    QCOMPARE(TAppSettings(path).RecentFiles(), QStringList{QFileInfo(kPhoto).absoluteFilePath()});
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(DesktopComfortTest)
#include "DesktopComfortTest.moc"
