// The first "Apply to the entire image" on a photo just opened, with the
// pointer tool current, traces the photo's contours as the command line's
// render does; the apply dialog says what the strokes will follow.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

#include "UiTestSupport.h"
#include "analysis/PictureFormats.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "library/Styles.h"
#include "ui/Dialogs.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

class TOpenUi : public TQtDomainUi {
 public:
  QString File;
  bool OpenPictureFile(std::string& F) override {
    F = File.toStdString();
    return true;
  }
  // The suggested working size, as OK in the project options gives.
  bool ProjectOptions(int, int, int W, int H, TProjectOptions& O) override {
    O.Width = W, O.Height = H;
    return true;
  }
  TAnswer Confirm(const std::string&) override { return aNo; }
};

// A picture's lightness averaged over (2R+1)-squares (R = 0: as it is).
std::vector<double> Lightness(const TBitmap32& P, int R) {
  const int w = P.Width(), h = P.Height();
  const auto at = [w](int x, int y) { return size_t(y) * size_t(w) + size_t(x); };
  std::vector<double> l(P.PixelCount());
  for (size_t i = 0; i < l.size(); ++i) {
    const TColor32 c = P.Bits()[i];
    l[i] = 0.299 * ((c >> 16) & 255) + 0.587 * ((c >> 8) & 255) + 0.114 * (c & 255);
  }
  if (R == 0) return l;
  // Summed-area table, one row and column larger.
  std::vector<double> s((size_t(w) + 1) * (size_t(h) + 1), 0.0);
  const auto st = [w](int x, int y) { return size_t(y) * size_t(w + 1) + size_t(x); };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      s[st(x + 1, y + 1)] = l[at(x, y)] + s[st(x + 1, y)] + s[st(x, y + 1)] - s[st(x, y)];
  std::vector<double> m(l.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - R), x1 = std::min(w, x + R + 1);
      const int y0 = std::max(0, y - R), y1 = std::min(h, y + R + 1);
      const double sum = s[st(x1, y1)] - s[st(x1, y0)] - s[st(x0, y1)] + s[st(x0, y0)];
      m[at(x, y)] = sum / double((x1 - x0) * (y1 - y0));
    }
  return m;
}

// Pearson correlation of two pictures' lightness between the scales R1 and
// R2 > R1 (the mean over R1 less the mean over R2); R2 = 0 keeps all of it.
double Correlation(const TBitmap32& A, const TBitmap32& B, int R1 = 0, int R2 = 0) {
  std::vector<double> la = Lightness(A, R1), lb = Lightness(B, R1);
  if (R2 > 0) {
    const std::vector<double> ma = Lightness(A, R2), mb = Lightness(B, R2);
    for (size_t i = 0; i < la.size(); ++i) la[i] -= ma[i], lb[i] -= mb[i];
  }
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
  const double n = double(la.size());
  for (size_t i = 0; i < la.size(); ++i) {
    const double a = la[i], b = lb[i];
    sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b;
  }
  const double cov = sab - sa * sb / n;
  return cov / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
}

}  // namespace

class FirstApplyTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void theFirstApplyFollowsThePhoto() {
    constexpr int kSteps = 4000;
    const QString photo = BRELLIN_CORPUS "/photos/animal_chelsea_cat.png";
    TOpenUi ui;
    ui.File = photo;
    TDomain domain(&ui);
    domain.ToolManagerFactory = MakeToolManagerFactory();
    TFMain main(domain);
    ui.SetParent(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.RunCommand("OpenCommand");
    QVERIFY(domain.Document);
    QCOMPARE(domain.ToolManager->Tool(), 1);  // the pointer

    // Applies with the real dialog; returns the line it showed.
    const auto apply = [&](const char* Shot) {
      QString follows;
      test::WhenModal<TFApplyAll>([&](TFApplyAll* d) {
        d->stepsEdit()->setValue(kSteps);
        follows = d->followsLabel()->isVisible() ? d->followsLabel()->text() : QString();
        if (qEnvironmentVariableIsSet("BRELLIN_SHOTS"))
          d->grab().save(qEnvironmentVariable("BRELLIN_SHOTS") + "/" + Shot);
        QTest::mouseClick(d->startButton(), Qt::LeftButton);
      });
      main.RunCommand("ApplyWithCurrentSettingsCommand");
      return follows;
    };
    QCOMPARE(apply("apply-dialog-contours.png"), QString("Strokes follow the picture's contours"));
    const TBitmap32& source = domain.SourceView->Bitmap();
    const TBitmap32& painted = domain.DestinationView->Bitmap();
    const double desktop = Correlation(painted, source);
    // Features the size of an eye or a nose, where contour strokes and
    // hatching at one angle differ most; the broad shading both copy alike.
    const auto features = [&](const TBitmap32& P) { return Correlation(P, source, 3, 16); };
    const double desktopFeatures = features(painted);
    if (qEnvironmentVariableIsSet("BRELLIN_SHOTS"))
      main.destinationView()->grab().save(qEnvironmentVariable("BRELLIN_SHOTS") + "/contours.png");

    // The command line's render of the same photo, style and step count.
    QProcess cli;
    cli.start(BRELLIN_CLI,
              {"render", photo, "-o", FHome.filePath("cli.png"), "--steps", QString::number(kSteps),
               "--style", QString::fromStdString(domain.CurrentStyle()->Name()), "--quiet"});
    QVERIFY(cli.waitForFinished(120000));
    QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
    const TBitmap32 rendered = LoadPictureFile(FHome.filePath("cli.png").toStdString());
    QCOMPARE(rendered.Width(), painted.Width());
    QCOMPARE(rendered.Height(), painted.Height());
    const double reference = Correlation(rendered, source);
    const double referenceFeatures = features(rendered);

    // The pattern tool makes strokes follow the pattern, and the dialog says so.
    main.RunCommand("UndoCommand");
    QCOMPARE(domain.Document->VectorCount(), 0);
    main.RunCommand("PatternCommand");
    main.RunCommand("PointerCommand");
    // Named as the pattern list names it: the shipped ones by their file.
    const QString file = QString::fromStdString(domain.Patterns.Current()->FileName());
    QVERIFY(!file.isEmpty());
    QCOMPARE(apply("apply-dialog-pattern.png"),
             "Strokes follow the pattern " + QFileInfo(file).completeBaseName());
    const double pattern = Correlation(painted, source);
    const double patternFeatures = features(painted);
    if (qEnvironmentVariableIsSet("BRELLIN_SHOTS"))
      main.destinationView()->grab().save(qEnvironmentVariable("BRELLIN_SHOTS") + "/pattern.png");

    qInfo(
        "correlation with the photo (features): desktop %.3f (%.3f), command line %.3f (%.3f), "
        "pattern mode %.3f (%.3f)",
        desktop, desktopFeatures, reference, referenceFeatures, pattern, patternFeatures);
    QVERIFY(std::abs(desktop - reference) <= 0.05);
    QVERIFY(std::abs(desktopFeatures - referenceFeatures) <= 0.05);
    QVERIFY(desktopFeatures > patternFeatures + 0.1);
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(FirstApplyTest)
#include "FirstApplyTest.moc"
