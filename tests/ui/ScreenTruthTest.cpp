// What the destination view shows on screen is the document's destination
// picture: a seeded random session of painting, history, opening, resizing,
// scrolling, zooming and full-screen paint, with the window's pixels read back from
// the screen after every action and compared with the picture.
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <random>
#include <set>

#include "UiTestSupport.h"
#include "base/Rounding.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/FFullScreen.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

// Dialogs answer by script: the next file queued, the working size asked
// for, yes to every question, and apply runs of the steps asked for.
class TScriptedUi : public TQtDomainUi {
 public:
  QStringList Files;
  QStringList Errors;
  int Width = 0, Height = 0;
  int Steps = 300;
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
  void ErrorBox(const std::string& Caption, const std::string& Text) override {
    Errors << QString::fromStdString(Caption + ": " + Text);
  }
  TAnswer Confirm(const std::string&) override { return aNo; }
  bool WarningYesNo(const std::string&) override { return true; }
  void ApplyDialog(int, const TApplyDialogHandlers& H) override {
    H.Start(Steps);
    if (H.Close) H.Close();
  }
};

// Lets every pending repaint reach the screen.
void Settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

// The view's client area as it is on screen (the window's backing store),
// not painted afresh for the occasion.
QImage OnScreen(TImgView* View) {
  QWidget* vp = View->viewport();
  QWidget* top = vp->window();
  const QPoint at = vp->mapTo(top, QPoint(0, 0));
  const QImage shot = top->screen()
                          ->grabWindow(top->winId(), at.x(), at.y(), vp->width(), vp->height())
                          .toImage()
                          .convertToFormat(QImage::Format_RGB32);
  return shot;
}

// The picture halved K times, each pixel the rounded mean of a 2 x 2 block
// (edge pixels repeated), as the view documents its zoomed-out levels.
TBitmap32 Halved(const TBitmap32& From, int K) {
  TBitmap32 level = From;
  for (int k = 0; k < K; ++k) {
    TBitmap32 next((level.Width() + 1) / 2, (level.Height() + 1) / 2);
    for (int y = 0; y < next.Height(); ++y)
      for (int x = 0; x < next.Width(); ++x) {
        const int x1 = std::min(2 * x + 1, level.Width() - 1);
        const int y1 = std::min(2 * y + 1, level.Height() - 1);
        const TColor32 p[4] = {level.Pixel(2 * x, 2 * y), level.Pixel(x1, 2 * y),
                               level.Pixel(2 * x, y1), level.Pixel(x1, y1)};
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          uint32_t sum = 2;
          for (TColor32 c : p) sum += (c >> shift) & 0xFF;
          out |= (sum >> 2) << shift;
        }
        next.SetPixel(x, y, out);
      }
    level = std::move(next);
  }
  return level;
}

// The first difference between the screen and what the view must show: the
// picture at the view's scroll and scale, the view's background beyond it.
// Above 100 % each view pixel is the picture pixel under it; below, the
// bilinear mean of the level the view draws from at the view pixel's centre,
// within the rounding of the view's fixed-point weights.
QString Difference(TImgView* View, const QImage& Shot) {
  const TPictureView& m = View->model();
  const TBitmap32& pic = m.Bitmap();
  if (Shot.width() != View->viewport()->width() || Shot.height() != View->viewport()->height())
    return QString("the screen gave %1 x %2 for a %3 x %4 view")
        .arg(Shot.width())
        .arg(Shot.height())
        .arg(View->viewport()->width())
        .arg(View->viewport()->height());
  const double s = m.Scale;
  int k = 0;
  while (s < 1.0 && s * double(1 << k) < 0.5) ++k;
  const TBitmap32 level = s < 1.0 ? Halved(pic, k) : TBitmap32();
  const double step = 1.0 / (s * double(1 << k));
  const auto filtered = [&](int Bx, int By) {
    const double u = std::clamp((Bx + m.ScrollX + 0.5) * step - 0.5, 0.0, level.Width() - 1.0);
    const double v = std::clamp((By + m.ScrollY + 0.5) * step - 0.5, 0.0, level.Height() - 1.0);
    const int x0 = int(u), y0 = int(v);
    const int x1 = std::min(x0 + 1, level.Width() - 1), y1 = std::min(y0 + 1, level.Height() - 1);
    const double fx = u - x0, fy = v - y0;
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const auto c = [&](int X, int Y) { return double((level.Pixel(X, Y) >> shift) & 0xFF); };
      const double top = c(x0, y0) * (1 - fx) + c(x1, y0) * fx;
      const double bottom = c(x0, y1) * (1 - fx) + c(x1, y1) * fx;
      out |= uint32_t(std::lround(top * (1 - fy) + bottom * fy)) << shift;
    }
    return out;
  };
  const auto close = [](uint32_t A, uint32_t B, int Tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(int((A >> shift) & 0xFF) - int((B >> shift) & 0xFF)) > Tolerance) return false;
    return true;
  };
  int count = 0;
  QString first;
  for (int by = 0; by < Shot.height(); ++by) {
    const QRgb* row = reinterpret_cast<const QRgb*>(Shot.constScanLine(by));
    const int py = Floor((by + m.ScrollY) / s);
    for (int bx = 0; bx < Shot.width(); ++bx) {
      const int px = Floor((bx + m.ScrollX) / s);
      const bool inside = pic.Contains(px, py);
      const uint32_t want = !inside   ? m.BackgroundColor & 0xFFFFFFu
                            : s < 1.0 ? filtered(bx, by)
                                      : pic.Pixel(px, py) & 0xFFFFFFu;
      const uint32_t got = row[bx] & 0xFFFFFFu;
      if (close(want, got, inside && s < 1.0 ? 2 : 0)) continue;
      if (count++ == 0)
        first = QString("view (%1, %2), picture (%3, %4): screen %5, picture %6")
                    .arg(bx)
                    .arg(by)
                    .arg(px)
                    .arg(py)
                    .arg(got, 6, 16, QChar('0'))
                    .arg(want, 6, 16, QChar('0'));
    }
  }
  if (count == 0) return {};
  return QString("%1 of %2 pixels differ; first at %3 (scroll %4, %5, scale %6)")
      .arg(count)
      .arg(Shot.width() * Shot.height())
      .arg(first)
      .arg(m.ScrollX)
      .arg(m.ScrollY)
      .arg(s);
}

// A drag over a view's client area along a few random points.
void Drag(QWidget* Viewport, std::mt19937& Rng) {
  std::uniform_int_distribution<int> x(5, std::max(6, Viewport->width() - 5));
  std::uniform_int_distribution<int> y(5, std::max(6, Viewport->height() - 5));
  QPoint p(x(Rng), y(Rng));
  QTest::mousePress(Viewport, Qt::LeftButton, {}, p);
  for (int i = 0; i < 6; ++i) {
    p = QPoint(std::clamp(p.x() + int(Rng() % 41) - 20, 1, Viewport->width() - 2),
               std::clamp(p.y() + int(Rng() % 41) - 20, 1, Viewport->height() - 2));
    QTest::mouseMove(Viewport, p);
  }
  QTest::mouseRelease(Viewport, Qt::LeftButton, {}, p);
}

}  // namespace

class ScreenTruthTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void theScreenEqualsTheDocument() {
    test::TMainSession<TScriptedUi> session;
    TScriptedUi& ui = session.Ui;
    TDomain& domain = session.Domain;
    std::unique_ptr<TFMain>& main = session.Main;
    auto views = std::make_unique<TFullScreenViews>(ui, *main, domain);
    main->resize(1000, 700);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    TImgView* dst = main->destinationView();

    // Two projects of different sizes, one wider than its pane.
    const auto makeProject = [&](const char* Photo, int W, int H, const QString& Name) {
      ui.Width = W, ui.Height = H;
      ui.Files << Photo;
      main->RunCommand("OpenCommand");
      QVERIFY2(domain.Document, qPrintable(ui.Errors.join("; ")));
      main->RunCommand("ApplyWithCurrentSettingsCommand");
      ui.Files << FHome.filePath(Name);
      main->RunCommand("SaveProjectAsCommand");
      QVERIFY(QFile::exists(FHome.filePath(Name)));
    };
    makeProject(BRELLIN_CORPUS "/photos/grayscale_camera.png", 512, 512, "square.bpj");
    makeProject(BRELLIN_CORPUS "/photos/stilllife_coffee.png", 600, 400, "wide.bpj");

    const unsigned seed = qEnvironmentVariableIsSet("BRELLIN_TRUTH_SEED")
                              ? qEnvironmentVariable("BRELLIN_TRUTH_SEED").toUInt()
                              : 20261210u;
    const int actions = qEnvironmentVariableIntValue("BRELLIN_TRUTH_ACTIONS") > 0
                            ? qEnvironmentVariableIntValue("BRELLIN_TRUTH_ACTIONS")
                            : 220;
    std::mt19937 rng(seed);
    int project = 1;
    bool fullScreen = false;
    const auto scroll = [&](TImgView* V) {
      QScrollBar* h = V->horizontalScrollBar();
      QScrollBar* v = V->verticalScrollBar();
      h->setValue(h->maximum() > 0 ? int(rng() % unsigned(h->maximum() + 1)) : 0);
      v->setValue(v->maximum() > 0 ? int(rng() % unsigned(v->maximum() + 1)) : 0);
    };
    int changes = 0;         // actions that changed the vector count
    std::set<float> scales;  // the zoom levels the screen was checked at
    for (int i = 0; i < actions; ++i) {
      QString what;
      const int64_t vectorsBefore = domain.Document->VectorCount();
      if (fullScreen) {
        // Full-screen paint: undo and redo with its bar's arrows, then close it.
        const int a = int(rng() % 3);
        TFullScreenPaint* fs = views->fullScreenPaint();
        QVERIFY(fs);
        if (a == 2) {
          what = "close full-screen paint";
          QTest::keyClick(dst->viewport(), Qt::Key_Escape);
          fullScreen = false;
        } else {
          what = a == 0 ? "undo in full-screen paint" : "redo in full-screen paint";
          auto* arrow = fs->findChild<QToolButton*>(a == 0 ? "UndoCommand" : "RedoCommand");
          QVERIFY(arrow);
          if (arrow->isEnabled()) QTest::mouseClick(arrow, Qt::LeftButton);
        }
      } else {
        const int a = int(rng() % 21);
        QWidget* src = main->sourceView()->viewport();
        switch (a) {
          case 0:
          case 1:
            ui.Steps = 100 + int(rng() % 300);
            what = QString("apply %1 steps").arg(ui.Steps);
            main->RunCommand("ApplyWithCurrentSettingsCommand");
            break;
          case 2:
            what = "repeat last apply";
            main->RunCommand("RepeatLastApplyCommand");
            break;
          case 3:
          case 4:
          case 5: {
            static const std::pair<const char*, const char*> tools[] = {
                {"AutoDirCommand", "auto-sketch"},
                {"PatternCommand", "pattern"},
                {"FreeHandCommand", "free-hand"}};
            const auto& [command, name] = tools[a - 3];
            if (rng() % 2) scroll(main->sourceView());
            what = QString("%1 drag at scroll %2, %3")
                       .arg(name)
                       .arg(main->sourceView()->model().ScrollX)
                       .arg(main->sourceView()->model().ScrollY);
            main->RunCommand(command);
            Drag(src, rng);
            break;
          }
          case 6:
          case 7:
            what = "undo (Ctrl+Z)";
            QTest::keyClick(main.get(), Qt::Key_Z, Qt::ControlModifier);
            break;
          case 8:
            what = "redo (Ctrl+Y)";
            QTest::keyClick(main.get(), Qt::Key_Y, Qt::ControlModifier);
            break;
          case 9:
            what = "take snapshot";
            main->RunCommand("TakeSnapshotCommand");
            break;
          case 10:
            what = "undo to last snapshot";
            main->RunCommand("UndoToLastSnapshotCommand");
            break;
          case 11:
            what = "purge undo";
            main->RunCommand("PurgeCommand");
            break;
          case 12:
            project = 1 - project;
            what = project ? "open the wide project" : "open the square project";
            ui.Files << FHome.filePath(project ? "wide.bpj" : "square.bpj");
            main->RunCommand("OpenProjectCommand");
            break;
          case 13: {
            const QSize size(700 + int(rng() % 500), 500 + int(rng() % 300));
            what = QString("resize the window to %1 x %2").arg(size.width()).arg(size.height());
            main->resize(size);
            break;
          }
          case 14: {
            auto* splitter = qobject_cast<QSplitter*>(dst->parentWidget());
            QVERIFY(splitter);
            const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
            const int left = total / 5 + int(rng() % unsigned(std::max(1, total * 3 / 5)));
            what = QString("move the splitter to %1").arg(left);
            splitter->setSizes({left, total - left});
            break;
          }
          case 15:
            scroll(dst);
            what = QString("scroll to %1, %2").arg(dst->model().ScrollX).arg(dst->model().ScrollY);
            break;
          case 16:
            what = "open full-screen paint";
            main->RunCommand("FullScreenPaintCommand");
            fullScreen = domain.IsFullScreenPaint();
            break;
          case 17: {
            // Ctrl+wheel over either view, at a random point.
            TImgView* v = rng() % 2 ? dst : main->sourceView();
            const QPoint at(int(rng() % unsigned(std::max(1, v->viewport()->width()))),
                            int(rng() % unsigned(std::max(1, v->viewport()->height()))));
            const int notches = int(rng() % 5) - 2;
            what = QString("Ctrl+wheel %1 at %2, %3").arg(notches).arg(at.x()).arg(at.y());
            QWheelEvent wheel(at, v->viewport()->mapToGlobal(at), {}, {0, 120 * notches},
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(v->viewport(), &wheel);
            break;
          }
          case 18:
            what = rng() % 2 ? "zoom in (Ctrl+plus)" : "zoom out (Ctrl+minus)";
            QTest::keyClick(main.get(), what.endsWith("plus)") ? Qt::Key_Plus : Qt::Key_Minus,
                            Qt::ControlModifier);
            break;
          case 19:
            what = "fit (Ctrl+0)";
            QTest::keyClick(main.get(), Qt::Key_0, Qt::ControlModifier);
            break;
          case 20:
            what = "100 % (Ctrl+1)";
            QTest::keyClick(main.get(), Qt::Key_1, Qt::ControlModifier);
            break;
        }
      }
      Settle();
      QVERIFY2(domain.Document, qPrintable(what));
      changes += domain.Document->VectorCount() != vectorsBefore;
      scales.insert(dst->model().Scale);
      // Both views always show the picture at one zoom.
      QCOMPARE(main->sourceView()->model().Scale, dst->model().Scale);
      // The count beside the painting is the painting's.
      QCOMPARE(
          main->vectorCountLabel()->text(),
          QString("%1 Vectors").arg(QLocale().toString(qlonglong(domain.Document->VectorCount()))));
      const QString diff = Difference(dst, OnScreen(dst));
      QVERIFY2(diff.isEmpty(),
               qPrintable(QString("seed %1, action %2 (%3): %4").arg(seed).arg(i).arg(what, diff)));
    }
    // The session painted and unpainted, not only moved the window about.
    QVERIFY2(changes >= actions / 6, qPrintable(QString::number(changes)));
    // ... and the standard session looked at it zoomed out (from a halved
    // level), at 100 % and zoomed in.
    if (!qEnvironmentVariableIsSet("BRELLIN_TRUTH_SEED") && actions >= 200)
      QVERIFY(*scales.begin() < 0.5f && scales.count(1.0f) && *scales.rbegin() > 1.0f);
    if (fullScreen) QTest::keyClick(dst->viewport(), Qt::Key_Escape);
    views.reset();
    main.reset();
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(ScreenTruthTest)
#include "ScreenTruthTest.moc"
