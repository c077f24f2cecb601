// The full-screen views and the navigator with the real main window:
// full-screen paint takes the destination view and gives it back, its bar
// scales the main window's values, Escape closes it; dragging the
// navigator's outline scrolls the destination; any key closes the preview.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "UiTestSupport.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "library/Styles.h"
#include "ui/Controls.h"
#include "ui/FFullScreen.h"
#include "ui/FMain.h"
#include "ui/FNavigator.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

// Pictures open at their own size (600 x 400), wider than the destination
// view, so that it scrolls.
class TOwnSizeUi : public TQtDomainUi {
 public:
  bool ProjectOptions(int W, int H, int, int, TProjectOptions& Options) override {
    Options.Width = W;
    Options.Height = H;
    return true;
  }
  // A test has nobody to close a message box: the message is kept instead.
  void ErrorBox(const std::string&, const std::string& Text) override { Errors += Text + "\n"; }
  std::string Errors;
};

struct TSession {
  TOwnSizeUi Ui;
  TDomain Domain{&Ui};
  std::unique_ptr<TFMain> Main;
  std::unique_ptr<TFullScreenViews> Views;
  TSession() {
    Domain.ToolManagerFactory = MakeToolManagerFactory();
    Main = std::make_unique<TFMain>(Domain);
    Ui.SetParent(Main.get());
    Views = std::make_unique<TFullScreenViews>(Ui, *Main, Domain);
    Main->show();
    if (!Domain.LoadPicture(BRELLIN_CORPUS "/photos/stilllife_coffee.png"))
      qFatal("the corpus photo did not open: %s", Ui.Errors.c_str());
    Main->UpdateControls();
  }
  ~TSession() {
    Views.reset();
    Main.reset();
  }
};

}  // namespace

class FullScreenViewsTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void fullScreenPaintTakesTheViewAndGivesItBack() {
    TSession s;
    TFMain& main = *s.Main;
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    TImgView* view = main.destinationView();
    auto* splitter = qobject_cast<QSplitter*>(view->parentWidget());
    QVERIFY(splitter);
    const QList<int> sizes = splitter->sizes();
    main.gauge(pgWidth)->setValue(30);
    main.gauge(pgHueVar)->setValue(20);
    QCOMPARE(s.Domain.Document->Style->Params.Width, 30);
    const float alpha = main.gauge(pgAlpha)->value();

    main.action("FullScreenPaintCommand")->trigger();
    QVERIFY(s.Domain.IsFullScreenPaint());
    TFullScreenPaint* fs = s.Views->fullScreenPaint();
    QVERIFY(fs && fs->isVisible());
    QVERIFY(main.fullScreenPaintActive());
    QCOMPARE(fs->geometry(), fs->screen()->geometry());
    QCOMPARE(view->window(), static_cast<QWidget*>(fs));
    QCOMPARE(fs->bar()->height(), 30);
    QCOMPARE(view->geometry().top(), 30);
    QCOMPARE(fs->sizeGauge()->value(), 100.0f);
    QCOMPARE(fs->alphaGauge()->value(), alpha);
    QCOMPARE(fs->alphaGauge()->model().MaxValue(), main.gauge(pgAlpha)->model().MaxValue());

    // 200 % asks for Width 60; the main window's gauge holds 40 and writes it.
    fs->sizeGauge()->setValue(200);
    QCOMPARE(main.gauge(pgWidth)->value(), 40.0f);
    QCOMPARE(s.Domain.Document->Style->Params.Width, 40);
    // The style preview waits until full-screen paint closes.
    QVERIFY(main.stylePreviewPending());
    s.Domain.OnStyleChanged(s.Domain, s.Domain.Styles.ItemIndex());
    QVERIFY(main.stylePreviewPending());
    fs->variationGauge()->setValue(50);
    QCOMPARE(main.gauge(pgHueVar)->value(), 10.0f);
    fs->alphaGauge()->setValue(99);
    QCOMPARE(main.gauge(pgAlpha)->value(), 99.0f);

    // The tools work on the moved view: auto-sketch from the bar, one drag.
    QToolButton* sketch = nullptr;
    for (auto* b : fs->bar()->findChildren<QToolButton*>())
      if (b->defaultAction() == main.action("AutoDirCommand")) sketch = b;
    QVERIFY(sketch);
    QCOMPARE(sketch->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QTest::mouseClick(sketch, Qt::LeftButton);
    QCOMPARE(s.Domain.ToolManager->Tool(), 5);
    QWidget* vp = view->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(100, 100));
    for (int x = 110; x <= 200; x += 10) QTest::mouseMove(vp, QPoint(x, 120));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(200, 120));
    const int64_t painted = s.Domain.Document->VectorCount();
    QVERIFY(painted > 0);

    // Escape closes it: the view is back in its place, the values too.
    QPointer<TFullScreenPaint> closed = fs;
    QTest::keyClick(vp, Qt::Key_Escape);
    QVERIFY(!s.Domain.IsFullScreenPaint());
    QVERIFY(!main.fullScreenPaintActive());
    QCOMPARE(view->parentWidget(), static_cast<QWidget*>(splitter));
    QCOMPARE(splitter->indexOf(view), 1);
    QCOMPARE(splitter->sizes(), sizes);
    QVERIFY(view->isVisible());
    QCOMPARE(main.gauge(pgWidth)->value(), 30.0f);
    QCOMPARE(s.Domain.Document->Style->Params.Width, 30);
    QCOMPARE(main.gauge(pgHueVar)->value(), 20.0f);
    QCOMPARE(main.gauge(pgAlpha)->value(), alpha);
    QVERIFY(!main.stylePreviewPending());  // drawn on the way out
    QVERIFY(!s.Views->fullScreenPaint());
    QTRY_VERIFY(!closed);  // freed once its event is done

    // The main window goes on working with the view it got back.
    main.action("UndoCommand")->trigger();
    QCOMPARE(s.Domain.Document->VectorCount(), 0);
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(60, 60));
    QTest::mouseMove(vp, QPoint(90, 80));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(90, 80));
    QVERIFY(s.Domain.Document->VectorCount() > 0);

    // F10 opens it again, and again closes it; so does losing the focus.
    main.action("FullScreenPaintCommand")->trigger();
    QVERIFY(s.Views->fullScreenPaint());
    main.action("FullScreenPaintCommand")->trigger();
    QVERIFY(!s.Domain.IsFullScreenPaint());
    QCOMPARE(view->parentWidget(), static_cast<QWidget*>(splitter));
    main.action("FullScreenPaintCommand")->trigger();
    QVERIFY(s.Domain.IsFullScreenPaint());
    QCOMPARE(view->window(), static_cast<QWidget*>(s.Views->fullScreenPaint()));
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(!s.Domain.IsFullScreenPaint());
    QCOMPARE(view->window(), static_cast<QWidget*>(&main));
    main.action("FullScreenPaintCommand")->trigger();
    QTest::mouseClick(s.Views->fullScreenPaint()->closeButton(), Qt::LeftButton);
    QVERIFY(!s.Domain.IsFullScreenPaint());
    QCOMPARE(view->window(), static_cast<QWidget*>(&main));
    // Closed by the window manager (Alt+F4): as Escape.
    main.action("FullScreenPaintCommand")->trigger();
    QVERIFY(s.Views->fullScreenPaint()->close());
    QVERIFY(!s.Domain.IsFullScreenPaint());
    QCOMPARE(view->parentWidget(), static_cast<QWidget*>(splitter));
    QVERIFY(view->isVisible());
  }

  void navigatorDragScrollsTheDestination() {
    TSession s;
    TFMain& main = *s.Main;
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.ZoomToActualSize();
    main.destinationView()->model().ScrollTo(0, 0);
    main.action("ViewNavigatorCommand")->trigger();
    TFNavigator* nav = s.Views->navigator();
    QVERIFY(QTest::qWaitForWindowExposed(nav));
    QVERIFY(nav->timerActive());
    const TNavigatorModel& m = nav->model();
    const TPictureView& dest = main.destinationView()->model();
    const QSize vp = nav->view()->viewport()->size();
    QCOMPARE(m.Scale(), float(std::min(double(vp.height()) / dest.Bitmap().Height(),
                                       double(vp.width()) / dest.Bitmap().Width())));
    // The thumbnail is the destination, drawn on the navigator's picture.
    const TRect t = m.ThumbRect();
    QCOMPARE(nav->view()->model().Bitmap().Width(), vp.width());
    QVERIFY(t.Width() == vp.width() || t.Height() == vp.height());

    // A press beside the outline scrolls nothing.
    const TRect r = m.ViewRect();
    QVERIFY(r.Right + 10 < t.Right);
    QWidget* nvp = nav->view()->viewport();
    QTest::mousePress(nvp, Qt::LeftButton, {}, QPoint(r.Right + 5, r.Top + 5));
    QTest::mouseMove(nvp, QPoint(r.Right + 10, r.Top + 5));
    QTest::mouseRelease(nvp, Qt::LeftButton, {}, QPoint(r.Right + 10, r.Top + 5));
    QCOMPARE(dest.ScrollX, 0);

    // Dragging the outline 10 pixels right: the outline follows, the timer
    // waits, and the release scrolls by 10 / s; the source view follows.
    const int srcBefore = main.sourceView()->model().ScrollX;
    const QPoint start(r.Left + 5, r.Top + 5);
    QTest::mousePress(nvp, Qt::LeftButton, {}, start);
    QVERIFY(!nav->timerActive());
    QTest::mouseMove(nvp, start + QPoint(10, 0));
    QCOMPARE(m.ViewRect().Left, r.Left + 10);
    QTest::mouseRelease(nvp, Qt::LeftButton, {}, start + QPoint(10, 0));
    QCOMPARE(dest.ScrollX, int(std::lrint(10 / double(m.Scale()))));
    QVERIFY(main.sourceView()->model().ScrollX > srcBefore);
    QVERIFY(nav->timerActive());
    QVERIFY(m.ViewRect().Left > r.Left);  // placed again from the new scroll

    // Closing the document hides it.
    main.action("CloseCommand")->trigger();
    QVERIFY(!nav->isVisible());
  }

  void previewClosesOnAnyKey() {
    TSession s;
    QVERIFY(QTest::qWaitForWindowExposed(s.Main.get()));
    bool shown = false;
    QRect shownRect, screenRect;
    QTimer::singleShot(50, [&] {
      auto* d = qobject_cast<TFullScreenPreview*>(QApplication::activeModalWidget());
      if (!d) return;
      shown = true;
      shownRect = d->pictureRect();
      screenRect = d->geometry();
      QTest::keyClick(d, Qt::Key_X);
    });
    s.Main->action("FullScreenPreviewCommand")->trigger();
    QVERIFY(shown);
    QCOMPARE(screenRect, s.Main->screen()->geometry());
    // Scaled to fit, proportions kept (600 x 400), centred.
    QVERIFY(shownRect.width() == screenRect.width() || shownRect.height() == screenRect.height());
    QVERIFY(std::abs(shownRect.width() * 400 - shownRect.height() * 600) <= 600);
    QCOMPARE(shownRect.center().x(), screenRect.center().x());
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(FullScreenViewsTest)
#include "FullScreenViewsTest.moc"
