// Zoom in the main window as a user meets it: a 2000 x 1500 project opens
// whole in a 1280 x 1024 window, Ctrl+1 and Ctrl+0 go to 100 % and back,
// auto-sketch paints under the pointer at 50 % and at 200 %, panning moves
// both views and paints nothing, and 100 % is remembered for the next
// document.
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "base/Rounding.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/AppSettings.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

class TScriptedUi : public TQtDomainUi {
 public:
  QStringList Files;
  QStringList Errors;
  int Width = 0, Height = 0;
  void ErrorBox(const std::string& Caption, const std::string& Text) override {
    Errors << QString::fromStdString(Caption + ": " + Text);
  }
  bool Next(std::string& F) {
    if (Files.isEmpty()) return false;
    F = Files.takeFirst().toStdString();
    return true;
  }
  bool OpenPictureFile(std::string& F) override { return Next(F); }
  bool SaveProjectFile(std::string& F) override { return Next(F); }
  bool OpenProjectFile(std::string& F) override { return Next(F); }
  bool ProjectOptions(int, int, int, int, TProjectOptions& O) override {
    O.Width = Width;
    O.Height = Height;
    return true;
  }
  TAnswer Confirm(const std::string&) override { return aNo; }
  bool WarningYesNo(const std::string&) override { return true; }
  void ApplyDialog(int, const TApplyDialogHandlers& H) override {
    H.Start(400);
    if (H.Close) H.Close();
  }
};

double DistanceToSegment(double X, double Y, TPoint A, TPoint B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double t = std::clamp(((X - A.X) * dx + (Y - A.Y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(X - (A.X + t * dx), Y - (A.Y + t * dy));
}

}  // namespace

class ZoomTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void aLargeProjectAtEveryZoom() {
    test::TMainSession<TScriptedUi> session;
    TScriptedUi& ui = session.Ui;
    TDomain& domain = session.Domain;
    std::unique_ptr<TFMain>& main = session.Main;
    main->resize(1280, 1024);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    const QString project = FHome.filePath("P.bpj");
    ui.Width = 2000, ui.Height = 1500;
    ui.Files << BRELLIN_CORPUS "/photos/large_kleiber_nuthatch.jpg";
    main->RunCommand("OpenCommand");
    QVERIFY(domain.Document);
    main->RunCommand("ApplyWithCurrentSettingsCommand");
    ui.Files << project;
    main->RunCommand("SaveProjectAsCommand");
    main->RunCommand("CloseCommand");
    QVERIFY2(!domain.Document && ui.Errors.isEmpty(), qPrintable(ui.Errors.join("; ")));

    main->OpenArgument(project);
    QVERIFY(domain.Document);
    QTRY_COMPARE(main->windowTitle(), TFMain::Caption() + " - P.bpj");
    TImgView* src = main->sourceView();
    TImgView* dst = main->destinationView();
    const TPictureView& d = dst->model();
    // The whole painting shows, at the zoom the status bar names.
    const auto whole = [&] {
      return d.ScaledWidth() <= d.ClientWidth() && d.ScaledHeight() <= d.ClientHeight() &&
             d.VisibleRect() == d.Bitmap().BoundsRect();
    };
    QVERIFY(whole());
    const float fit = d.Scale;
    QVERIFY(fit < 1.0f);
    QCOMPARE(main->zoomLabel()->text(), QString("Zoom %1 %").arg(std::lround(fit * 100)));
    QTest::keyClick(main.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(d.Scale, 1.0f);
    QCOMPARE(src->model().Scale, 1.0f);
    QCOMPARE(main->zoomLabel()->text(), QString("Zoom 100 %"));
    QTest::keyClick(main.get(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(d.Scale, fit);
    QVERIFY(whole());

    // Auto-sketch at 50 % and at 200 %: the painted area's centre lies on
    // the drag's path, within the brush's radius, in picture pixels.
    QTest::keyClick(main.get(), Qt::Key_A);
    QCOMPARE(domain.ToolManager->Tool(), 5);
    for (int steps : {-2, 2}) {
      main->ZoomToActualSize();
      main->ZoomBy(steps);
      QCOMPARE(src->model().Scale, steps < 0 ? 0.5f : 2.0f);
      // A stroke across the picture's middle, brought to the view's centre.
      TPictureView& m = src->model();
      const TPoint c{1000, 750};
      m.ScrollTo(Round(c.X * double(m.Scale)) - m.ClientWidth() / 2,
                 Round(c.Y * double(m.Scale)) - m.ClientHeight() / 2);
      const auto widgetAt = [&](TPoint P) {
        const TPoint v = m.PictureToView(P);
        return QPoint(int(v.X / src->ratio()), int(v.Y / src->ratio()));
      };
      QWidget* vp = src->viewport();
      const QPoint from = widgetAt({c.X - 100, c.Y}), to = widgetAt({c.X + 100, c.Y});
      QVERIFY(vp->rect().contains(from) && vp->rect().contains(to));
      const QPoint mf = src->ToModel(from), mt = src->ToModel(to);
      const TPoint a = m.ViewToPicture({mf.x(), mf.y()});
      const TPoint b = m.ViewToPicture({mt.x(), mt.y()});
      const TBitmap32 before = d.Bitmap();
      QTest::mousePress(vp, Qt::LeftButton, {}, from);
      for (int i = 1; i <= 10; ++i) QTest::mouseMove(vp, from + (to - from) * i / 10);
      QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
      double sx = 0, sy = 0;
      int64_t n = 0;
      for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x)
          if (before.Pixel(x, y) != d.Bitmap().Pixel(x, y)) sx += x, sy += y, ++n;
      QVERIFY2(n > 100, qPrintable(QString("%1 %2x%3").arg(n).arg(vp->width()).arg(vp->height())));
      const double off = DistanceToSegment(sx / n, sy / n, a, b);
      QVERIFY2(off <= domain.Document->BrushRadius,
               qPrintable(QString("at %1: centre %2 from the path, radius %3")
                              .arg(src->model().Scale)
                              .arg(off)
                              .arg(domain.Document->BrushRadius)));
    }
    QCOMPARE(main->windowTitle(), TFMain::Caption() + " - P.bpj *");

    // Panning with the middle button, or space and the left button: both
    // views move together and nothing is painted.
    const int64_t vectors = domain.Document->VectorCount();
    for (bool space : {false, true}) {
      QWidget* vp = dst->viewport();
      const TPoint scroll{d.ScrollX, d.ScrollY};
      const QPoint at(vp->width() / 2, vp->height() / 2);
      if (space) QTest::keyPress(main.get(), Qt::Key_Space);
      const Qt::MouseButton button = space ? Qt::LeftButton : Qt::MiddleButton;
      QTest::mousePress(vp, button, {}, at);
      QTest::mouseMove(vp, at + QPoint(-60, -40));
      QTest::mouseRelease(vp, button, {}, at + QPoint(-60, -40));
      if (space) QTest::keyRelease(main.get(), Qt::Key_Space);
      // The picture follows the pointer, in the view's device pixels.
      QCOMPARE(d.ScrollX, scroll.X + int(std::lround(60 * dst->ratio())));
      QCOMPARE(d.ScrollY, scroll.Y + int(std::lround(40 * dst->ratio())));
      const TPictureView& s = src->model();
      QVERIFY(std::abs((s.ScrollX + s.ClientWidth() / 2) - (d.ScrollX + d.ClientWidth() / 2)) <= 1);
    }
    QCOMPARE(domain.Document->VectorCount(), vectors);

    // 100 % was asked for last: the next document opens at 100 %.
    QCOMPARE(TAppSettings().ZoomMode(), QString("100"));
    main->RunCommand("CloseCommand");
    main->OpenArgument(project);
    QVERIFY(domain.Document);
    QCOMPARE(d.Scale, 1.0f);
    QTest::keyClick(main.get(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(TAppSettings().ZoomMode(), QString("fit"));
    main.reset();
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(ZoomTest)
#include "ZoomTest.moc"
