// The panel controls and dialogs driven as a user drives them: keys, clicks
// and drags through QTest, on the offscreen platform.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>
#include <QTabletEvent>
#include <QTemporaryDir>
#include "UiTestSupport.h"
#include "base/Progress.h"
#include "interaction/DialogModels.h"
#include "interaction/UdmWacom.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/FWait.h"
#include "ui/FloatingPanels.h"
#include "ui/ImgView.h"
#include "ui/QtBitmap.h"
#include "ui/SingleInstance.h"

using namespace brellin;

class ControlsAndDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void gaugeTakesTypedNumbersAndBarDrags() {
    TNumericGaugeBar g;
    g.setRange(1, 40);
    g.setIntValue(true);
    g.show();
    QSignalSpy changed(&g, &TNumericGaugeBar::changed);
    g.edit()->setFocus();
    g.edit()->selectAll();
    QTest::keyClicks(g.edit(), "3x.5");  // the letter is dropped
    QCOMPARE(g.edit()->text(), QString("3.5"));
    QTest::keyClick(g.edit(), Qt::Key_Return);
    QCOMPARE(g.model().StoredValue(), 3.5f);
    QCOMPARE(g.value(), 4.0f);
    QCOMPARE(g.edit()->text(), QString("4"));
    QCOMPARE(changed.count(), 1);

    // A drag along the bar changes the value at every move but tells of the
    // release once (the style preview is redrawn then).
    QSignalSpy released(&g, &TNumericGaugeBar::barReleased);
    const QRect bar = g.barRect();
    QTest::mousePress(&g, Qt::LeftButton, {}, QPoint(bar.left() + 10, 5));
    QTest::mouseMove(&g, QPoint(bar.right(), 5));
    QTest::mouseRelease(&g, Qt::LeftButton, {}, QPoint(bar.right(), 5));
    QCOMPARE(g.value(), 40.0f);
    QCOMPARE(released.count(), 1);
    QVERIFY(changed.count() >= 3);
  }

  void thumbnailGridSelectsTheClickedCell() {
    TImageListViewer v(true);
    v.resize(100, 200);
    std::vector<QImage> images(7, QImage(40, 40, QImage::Format_ARGB32));
    for (auto& i : images) i.fill(Qt::gray);
    v.setImages(images);
    v.show();
    QCOMPARE(v.layoutModel().Columns(), 2);
    QCOMPARE(v.layoutModel().Rows(), 4);
    QSignalSpy down(&v, &TImageListViewer::mouseDownThumb);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(60, 100));
    QCOMPARE(v.selectedIndex(), 5);
    QCOMPARE(down.count(), 1);
    QCOMPARE(down.at(0).at(0).toInt(), 5);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(43, 10));  // margin: unchanged
    QCOMPARE(v.selectedIndex(), 5);
  }

  void colorFieldPicksByButton() {
    TSimpleColorSelector c;
    c.resize(64, 40);
    c.show();
    QTest::mouseClick(&c, Qt::RightButton, {}, QPoint(10, 20));
    QCOMPARE(c.selectedColor(), TColor32(0));
    QCOMPARE(c.secondaryColor(), c.fieldColor(10, 20));
    QVERIFY(c.secondaryColor() != 0);
  }

  void applyDialogRunsToTheEndAndClosesItself() {
    TFApplyAll d;
    int stops = 0, closes = 0, steps = 0;
    d.SetHandlers(
        [&] {
          for (int k = 1; k <= d.Steps() && d.Running(); ++k) {
            ++steps;
            d.Progress(k);
            if (k == 40) QCOMPARE(d.stepLabel()->text(), QString("Steps done: 40"));
          }
        },
        [&] { ++stops; }, [&] { ++closes; });
    d.SetSteps(45);
    d.show();
    QCOMPARE(d.startButton()->text(), QString("Start"));
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    QCOMPARE(steps, 45);
    QCOMPARE(stops, 1);
    QCOMPARE(closes, 1);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.progressBar()->value(), 100);
  }

  void sizeDialogConvertsUnits() {
    TFImgSizeDlg d;
    d.SetImageSize(1000, 800);
    d.SetResolution(200);
    d.show();
    QCOMPARE(d.horizLength->value(), 5.0);
    QCOMPARE(d.vertLength->value(), 4.0);
    d.centimeters->click();
    QCOMPARE(d.horizLength->value(), 12.7);
    QCOMPARE(d.vertLength->value(), 10.16);
    QCOMPARE(d.lengthGroup->title(), QString("Size in Centimeters"));
    d.horizPixels->selectAll();
    QTest::keyClicks(d.horizPixels, "2000");
    QCOMPARE(d.VertPixels(), 1600);
    QCOMPARE(d.vertPixels->value(), 1600);
    QCOMPARE(d.estimate->text(), QString("Estimated Size:9.155 MBytes"));
  }

  void projectOptionsRefuseEveryCloseWhileTheSizeIsWrong() {
    TFResample d;
    QStringList errors;
    d.ShowError = [&](const QString&, const QString& Text) { errors << Text; };
    d.SetSizes(2000, 1500, 1182, 887);
    d.show();
    QCOMPARE(d.originalLabel->text(), QString("2000 x 1500"));
    d.widthEdit->setValue(1000);
    QCOMPARE(d.heightEdit->value(), 750);
    d.widthEdit->setValue(2001);
    d.reject();
    d.accept();
    QVERIFY(d.isVisible());
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors[0],
             QString("Please select a size smaller than or equal\nto the original image"));
    d.widthEdit->setValue(1000);
    d.accept();
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.WorkingWidth(), 1000);
    QCOMPARE(d.WorkingHeight(), 750);
  }

  void backgroundSelectorKeepsTheAcceptedPictureAndColour() {
    TBackgroundSel b;
    QStringList warnings;
    b.ShowWarning = [&](const QString& Text) { warnings << Text; };
    b.PickImageFile = [] { return QString(BRELLIN_TEST_DATA "/rose_70x46.png"); };
    b.show();
    b.image->click();
    QVERIFY(b.tiled->isChecked());
    b.accept();  // no picture yet
    QCOMPARE(warnings.value(0), QString("Please select an image or choose solid background!"));
    QTest::mouseClick(b.loadImage, Qt::LeftButton);
    QVERIFY(b.BackgroundPicture());
    QCOMPARE(b.BackgroundPicture()->Width(), 70);
    b.stretch->click();
    QCOMPARE(int(b.BackgroundMode()), 1);
    b.accept();
    QVERIFY(!b.isVisible());
    // Reopened and closed without a change, with OK and with Cancel.
    for (bool ok : {true, false}) {
      b.show();
      QVERIFY(b.stretch->isChecked());
      QVERIFY(b.loadImage->isEnabled());
      ok ? b.accept() : b.reject();
      QCOMPARE(int(b.BackgroundMode()), 1);
      QCOMPARE(b.BackgroundPicture()->Width(), 70);
    }
    // Opened on a document's tiled picture: OK keeps it.
    {
      TBackgroundSel fresh;
      fresh.SetBackgroundPicture(std::make_shared<const TBitmap32>(8, 6, 0xFF102030u), 2);
      fresh.show();
      QVERIFY(fresh.tiled->isChecked());
      fresh.accept();
      QCOMPARE(int(fresh.BackgroundMode()), 2);
      QCOMPARE(fresh.BackgroundPicture()->Width(), 8);
    }
    // The colour selector closed without a pick keeps the colour; a pick
    // changes it.
    b.show();
    b.solidColor->click();
    b.SetBackgroundColor(0xFF336699);
    test::WhenModal<TFColorSelector>([](TFColorSelector* c) { c->accept(); });
    QTest::mouseClick(b.selectColor, Qt::LeftButton);
    QCOMPARE(b.BackgroundColor(), 0xFF336699u);
    test::WhenModal<TFColorSelector>([](TFColorSelector* c) {
      c->PickAt(10, 200);
      c->accept();
    });
    QTest::mouseClick(b.selectColor, Qt::LeftButton);
    QCOMPARE(b.BackgroundColor(), ColorSquarePixel(10, 200, 100));
    b.reject();
  }

  // Fractions typed into "Render at Resolution" stay as typed; the other
  // fields follow, and the unit is kept for the next showing.
  void renderSizeTakesTypedFractionsAndKeepsTheUnit() {
    {
      TFImgSizeDlg d;
      d.SetImageSize(600, 400);
      d.show();
      d.horizLength->selectAll();
      QTest::keyClicks(d.horizLength, "6.5");
      QCOMPARE(d.horizLength->value(), 6.5);
      QCOMPARE(d.horizPixels->value(), d.model().PixelsFromLength(6.5));
      d.centimeters->click();
      d.reject();
    }
    TFImgSizeDlg again;
    again.SetImageSize(600, 400);
    again.show();
    QVERIFY(again.centimeters->isChecked());
    QCOMPARE(again.lengthGroup->title(), QString("Size in Centimeters"));
    again.inches->click();
  }

  void progressWindowNestsAndHoldsTheMainWindow() {
    QMainWindow main;
    main.show();
    TFWait wait(&main);
    wait.Install();
    WaitMessage() = "Analyzing Image...";
    ShowProgress(0, 150);
    ShowProgress(0, 150);
    QVERIFY(wait.isVisible());
    QVERIFY(!main.isEnabled());
    QCOMPARE(wait.messageLabel()->text(), QString("Analyzing Image..."));
    StepProgress();
    QCOMPARE(wait.bar()->value(), 0);  // one step of 150 is under a percent
    StepProgress();
    QCOMPARE(wait.bar()->value(), 2);
    HideProgress();
    QVERIFY(wait.isVisible());
    QVERIFY(!main.isEnabled());
    HideProgress();
    QVERIFY(!wait.isVisible());
    QVERIFY(main.isEnabled());
  }

  void secondInstanceHandsItsArgumentToTheFirst() {
    const QString name =
        SingleInstanceName(QString::number(QCoreApplication::applicationPid()) + "/x");
    TSingleInstance first(name);
    QVERIFY(first.Start(""));
    QSignalSpy received(&first, &TSingleInstance::argumentReceived);
    // The second copy runs its handshake while the first's event loop turns.
    bool secondIsFirst = true;
    QTimer::singleShot(0, [&] {
      TSingleInstance second(name);
      secondIsFirst = second.Start("/tmp/p\n100%.bpj");  // not cut at the line end
    });
    QTRY_COMPARE(received.count(), 1);
    QVERIFY(!secondIsFirst);
    QCOMPARE(received.at(0).at(0).toString(), QString("/tmp/p\n100%.bpj"));
  }

  // The socket lives where no other user can take its name first, and a
  // copy that cannot listen runs anyway instead of ending without a window.
  void singleInstanceSocketIsPrivateAndAFailedListenStillRuns() {
    QTemporaryDir runtime, cache;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    ::chmod(runtime.path().toLocal8Bit().constData(), 0700);
    const QString inRuntime = SingleInstanceName("/a/program/folder");
    // A runtime folder others may enter is passed over for one of the user's own.
    ::chmod(runtime.path().toLocal8Bit().constData(), 0777);
    const QString inCache = SingleInstanceName("/a/program/folder");
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    qputenv("XDG_CACHE_HOME", oldCache);
    QCOMPARE(QFileInfo(inRuntime).path(), runtime.path());
    QCOMPARE(QFileInfo(inCache).path(), cache.path() + "/brellin");
    struct stat st {};
    QCOMPARE(::lstat(QFileInfo(inCache).path().toLocal8Bit().constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);

    TSingleInstance lone(runtime.path() + "/no-such-folder/socket");
    QVERIFY(lone.Start("x"));
    QVERIFY(!lone.ListenError().isEmpty());
  }

  void floatingPanelsOpenInsideAndHideUnlessPinned() {
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    TPanelManager m(&main);
    auto* content = new QWidget;
    content->setFixedSize(180, 240);
    TFormPanel* adv =
        m.AddPanel(TPanelManagerModel::AdvancedSettings, "Advanced Settings", true, content);
    auto* other = new QWidget;
    other->setFixedSize(100, 80);
    m.AddPanel(TPanelManagerModel::StrokeSettings, "Stroke Settings", true, other);
    QLabel opener("Advanced Settings", &main);
    QFont f = opener.font();
    f.setBold(true);
    opener.setFont(f);
    m.AddOpener(&opener, TPanelManagerModel::AdvancedSettings);

    // At the main window's lower right corner: 10 pixels inside both edges.
    const QRect frame = main.frameGeometry();
    m.OpenPanel(TPanelManagerModel::AdvancedSettings, frame.bottomRight());
    QVERIFY(adv->isVisible());
    QCOMPARE(adv->x() + adv->width(), frame.right() + 1 - 10);
    QCOMPARE(adv->y() + adv->height(), frame.bottom() + 1 - 10);

    m.OpenPanel(TPanelManagerModel::StrokeSettings, frame.center());
    QTest::mouseClick(adv->pinButton(), Qt::LeftButton);
    QVERIFY(m.IsPinned(TPanelManagerModel::AdvancedSettings));
    m.HideUnpinned();
    QVERIFY(adv->isVisible());
    QVERIFY(!m.panel(TPanelManagerModel::StrokeSettings)->isVisible());
    // Closing unpins: reopened, it hides at the next move over the main window.
    QTest::mouseClick(adv->closeButton(), Qt::LeftButton);
    QVERIFY(!adv->isVisible());
    QVERIFY(!m.IsPinned(TPanelManagerModel::AdvancedSettings));
    m.OpenPanel(TPanelManagerModel::AdvancedSettings, frame.center());
    m.HideUnpinned();
    QVERIFY(!adv->isVisible());

    // Hovering underlines the opener and keeps its bold.
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QApplication::sendEvent(&opener, &enter);
    QVERIFY(opener.font().underline() && opener.font().bold());
    QApplication::sendEvent(&opener, &leave);
    QVERIFY(!opener.font().underline() && opener.font().bold());
  }

  void tabletPressureReachesThePressureModel() {
    int64_t now = 1000000;
    TPressurePacketSource pen;
    TdmWacom wacom(&pen, [&] { return now; });
    TImgView view;
    view.resize(100, 100);
    view.show();
    TImgView::OnPenPressure = [&](double Pressure) { pen.Send(Pressure); };
    QTabletEvent press(QEvent::TabletPress, QPointingDevice::primaryPointingDevice(),
                       QPointF(10, 10), view.viewport()->mapToGlobal(QPointF(10, 10)), 1.0, 0, 0, 0,
                       0, 0, {}, Qt::LeftButton, Qt::LeftButton);
    QApplication::sendEvent(view.viewport(), &press);
    TImgView::OnPenPressure = nullptr;
    QVERIFY(!press.isAccepted());  // left for the mouse event that drives the tools
    QCOMPARE(wacom.NormalPressure, 1023);
    QCOMPARE(wacom.PressureFactor(), 1023.0f / 511.0f);
    now += 250;
    QCOMPARE(wacom.PressureFactor(), 1.0f);
  }

  void bitmapsCrossToQtAndBack() {
    TBitmap32 b;
    b.SetSize(3, 2);
    b.SetPixel(2, 1, 0x80FF4020u);
    const QImage q = ToQImage(b);
    QCOMPARE(q.pixel(2, 1), QRgb(0x80FF4020u));
    const TBitmap32 back =
        FromQImage(q.convertToFormat(QImage::Format_RGB888).convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(back.Pixel(2, 1) & 0x00FFFFFFu, 0x00FF4020u);
  }
};

QTEST_MAIN(ControlsAndDialogsTest)
#include "ControlsAndDialogsTest.moc"
