// The main window's own wiring, as a user meets it: the style and its
// gauges, the unsaved mark, the style preview at a gauge's release, Shift
// over another control, the two views scrolling together, typed gauge
// values, thumbnail clicks, the tool buttons' radio group, the colour panel
// of a new document and the help without a browser.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <functional>

#include "UiTestSupport.h"
#include "analysis/PictureFormats.h"
#include "domain/BDomain.h"
#include "interaction/InputController.h"
#include "interaction/MainWindowModel.h"
#include "interaction/Tools.h"
#include "library/Styles.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/FHelp.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

// No browser on this desktop; messages are kept instead of shown.
class TNoBrowserUi : public TQtDomainUi {
 public:
  bool ShellOpen(const std::string& Path) override {
    Opened << QString::fromStdString(Path);
    return false;
  }
  void ErrorBox(const std::string& Caption, const std::string& Text) override {
    Errors << QString::fromStdString(Caption + ": " + Text);
  }
  QStringList Opened, Errors;
};

struct TSession : test::TMainSession<TNoBrowserUi> {
  TSession() {
    Main->ConnectUi(Ui);
    Main->show();
  }
  // Opens a picture as a second copy hands it over, options accepted.
  bool Open(const QString& Path) {
    test::WhenModal<TFResample>([](TFResample* d) { d->accept(); });
    Main->OpenArgument(Path);
    return Domain.Document != nullptr;
  }
  bool Activate() {
    Main->activateWindow();
    return QTest::qWaitForWindowActive(Main.get());
  }
};

QPoint CellCentre(const TImageListViewer* List, int Index) {
  const TRect r = List->layoutModel().Cell(Index);
  return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

// Types Text into a gauge's box, then ends with Key (Enter), or with no key.
void TypeInto(TNumericGaugeBar* G, const QString& Text, bool Enter) {
  G->edit()->setFocus();
  G->edit()->selectAll();
  QTest::keyClicks(G->edit(), Text);
  if (Enter) QTest::keyClick(G->edit(), Qt::Key_Return);
}

}  // namespace

class MainWindowWiringTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  // Choosing a style sets every gauge from it; a gauge typed in (Enter or
  // leaving the box) writes the style and marks it "(not saved)" in red; a
  // bar dragged redraws the preview once, at the release; saving clears the mark.
  void styleGaugesAndTheUnsavedMark() {
    TSession s;
    TFMain& main = *s.Main;
    QVERIFY(s.Open(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png"));
    QVERIFY(s.Activate());
    TDomain& d = s.Domain;
    QComboBox* list = main.styleList();
    QVERIFY(list->count() >= 3);
    const auto gaugesShowTheStyle = [&] {
      for (int id = 0; id < pgCount; ++id)
        if (main.gauge(id)->value() !=
            std::clamp(ParameterShownValue(id, *d.CurrentStyle(), *d.Document),
                       main.gauge(id)->model().MinValue(), main.gauge(id)->model().MaxValue()))
          return false;
      return true;
    };
    std::vector<float> before;
    for (int id = 0; id < pgCount; ++id) before.push_back(main.gauge(id)->value());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(d.Styles.ItemIndex(), 2);
    QVERIFY(gaugesShowTheStyle());
    bool changed = false;
    for (int id = 0; id < pgCount; ++id) changed |= main.gauge(id)->value() != before[size_t(id)];
    QVERIFY(changed);  // the chosen style differs from the first somewhere
    QVERIFY(!list->itemText(2).contains("(not saved)"));

    // Enter commits a typed length.
    TBStyle& style = *d.CurrentStyle();
    const int typed = style.Params.Length == 77 ? 78 : 77;
    TypeInto(main.gauge(pgLength), QString::number(typed), true);
    QCOMPARE(style.Params.Length, typed);
    QVERIFY(list->itemText(2).contains("(not saved)"));
    QCOMPARE(list->palette().color(QPalette::ButtonText), QColor(Qt::red));
    QVERIFY(list->font().italic());
    const QImage shown = list->grab().toImage();
    int red = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) {
        const QColor c = shown.pixelColor(x, y);
        red += c.red() > 150 && c.green() < 90 && c.blue() < 90;
      }
    QVERIFY2(red > 10, "the closed list shows no red mark");

    // Leaving the box commits as well.
    const int width = style.Params.Width;
    const int typedWidth = width == 21 ? 22 : 21;
    QWidget* panel = main.gauge(pgWidth)->window();
    QCOMPARE(main.gauge(pgLength)->window(), panel);
    panel->show();
    panel->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(panel));
    TypeInto(main.gauge(pgWidth), QString::number(typedWidth), false);
    QCOMPARE(style.Params.Width, width);
    main.gauge(pgLength)->edit()->setFocus();
    QCOMPARE(style.Params.Width, typedWidth);

    // A drag on a bar: the preview stays until the release, then is drawn once.
    QLabel* preview = nullptr;
    for (QLabel* l : main.findChildren<QLabel*>())
      if (l->toolTip().startsWith("The current style's preview")) preview = l;
    QVERIFY(preview);
    TNumericGaugeBar* g = main.gauge(pgLength);
    QVERIFY(ParameterGauge(pgLength).Preview);
    const QRect bar = g->barRect();
    const qint64 key = preview->pixmap().cacheKey();
    QTest::mousePress(g, Qt::LeftButton, {}, QPoint(bar.left() + 3, bar.center().y()));
    QTest::mouseMove(g, QPoint(bar.center().x(), bar.center().y()));
    QTest::mouseMove(g, QPoint(bar.right() - 3, bar.center().y()));
    QVERIFY(main.stylePreviewPending());
    QCOMPARE(preview->pixmap().cacheKey(), key);
    QTest::mouseRelease(g, Qt::LeftButton, {}, QPoint(bar.right() - 3, bar.center().y()));
    QVERIFY(!main.stylePreviewPending());
    QVERIFY(preview->pixmap().cacheKey() != key);
    QVERIFY(gaugesShowTheStyle());

    // Saved: the mark goes.
    main.UpdateActions();  // as the idle time does
    main.action("SaveStyleCommand")->trigger();
    QVERIFY(!style.Modified());
    QVERIFY(gaugesShowTheStyle());
    QVERIFY(!list->itemText(2).contains("(not saved)"));
    QVERIFY(list->palette().color(QPalette::ButtonText) != QColor(Qt::red));
  }

  // Scrolling either view scrolls the other to the same part of the picture,
  // both ways and along both axes.
  void theViewsScrollTogether() {
    TSession s;
    const QString big = FHome.filePath("big.png");
    TBitmap32 b(1400, 1200, clWhite32);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        b.Bits()[size_t(y) * size_t(b.Width()) + size_t(x)] =
            Color32(uint8_t(x / 6), uint8_t(y / 5), uint8_t((x + y) / 11), 255);
    SavePictureFile(b, big.toStdString(), 90);
    QVERIFY(s.Open(big));
    s.Main->ZoomToActualSize();
    TImgView* src = s.Main->sourceView();
    TImgView* dst = s.Main->destinationView();
    // Views much wider than high, so that no axis passes for the other.
    s.Main->resize(1400, 640);
    QTRY_VERIFY(src->width() > src->height() + 200);
    const auto centre = [](TImgView* v) {
      const TPictureView& m = v->model();
      return m.ViewToPicture({m.ClientWidth() / 2, m.ClientHeight() / 2});
    };
    const auto together = [&] {
      const TPoint a = centre(src), c = centre(dst);
      return std::abs(a.X - c.X) <= 1 && std::abs(a.Y - c.Y) <= 1;
    };
    for (TImgView* from : {src, dst}) {
      QVERIFY(from->verticalScrollBar()->maximum() > 100);
      QVERIFY(from->horizontalScrollBar()->maximum() > 100);
      from->verticalScrollBar()->setValue(from->verticalScrollBar()->maximum() / 3);
      QVERIFY(together());
      from->horizontalScrollBar()->setValue(from->horizontalScrollBar()->maximum() / 4);
      QVERIFY(together());
      from->verticalScrollBar()->setValue(from->verticalScrollBar()->maximum());
      QVERIFY(together());
    }
  }

  // Shift held while the style list has the focus reaches the tools: the
  // pointer then sizes the brush.
  void shiftReachesTheToolsFromTheStyleList() {
    TSession s;
    QVERIFY(s.Open(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png"));
    QVERIFY(s.Activate());
    s.Main->ZoomToActualSize();
    TPoint screen{300, 300};
    SetScreenPositionSource([&] { return screen; });
    QTest::keyClick(s.Main.get(), Qt::Key_A);
    QCOMPARE(s.Domain.ToolManager->Tool(), 5);
    QComboBox* list = s.Main->styleList();
    list->setFocus();
    QTest::keyPress(list, Qt::Key_Shift);
    screen = {360, 380};  // 100 pixels from where Shift went down
    QTest::mouseMove(s.Main->sourceView()->viewport(), QPoint(40, 40));
    QTest::keyRelease(list, Qt::Key_Shift);
    QCOMPARE(s.Domain.Document->BrushRadius, 100);
    // At 200 % the same distance on the screen is half as many picture
    // pixels: the circle still reaches the pointer.
    s.Main->ZoomBy(2);
    QCOMPARE(s.Main->sourceView()->model().Scale, 2.0f);
    QTest::keyPress(list, Qt::Key_Shift);
    screen = {300, 300};
    QTest::mouseMove(s.Main->sourceView()->viewport(), QPoint(50, 40));
    QTest::keyRelease(list, Qt::Key_Shift);
    SetScreenPositionSource(nullptr);
    QCOMPARE(s.Domain.Document->BrushRadius, 50);
  }

  // A brush thumbnail chosen becomes the style's brush; a pattern thumbnail
  // chosen selects it and the pattern tool. "What is this?" is one of the
  // tool buttons: while it is the tool, no other shows pressed.
  void thumbnailsAndTheToolButtons() {
    TSession s;
    TFMain& main = *s.Main;
    QVERIFY(s.Open(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png"));
    TImageListViewer *brushes = nullptr, *patterns = nullptr;
    // The brushes live in a floating panel of their own.
    for (QWidget* w : QApplication::allWidgets())
      if (auto* v = qobject_cast<TImageListViewer*>(w))
        (v->layoutModel().ThumbWidth == 80 ? brushes : patterns) = v;
    QVERIFY(brushes && patterns);
    QVERIFY(brushes->layoutModel().Count >= 3 && patterns->layoutModel().Count >= 2);
    const int brush = s.Domain.Brushes.ItemIndex() == 1 ? 2 : 1;
    QTest::mouseClick(brushes->viewport(), Qt::LeftButton, {}, CellCentre(brushes, brush));
    QCOMPARE(s.Domain.Brushes.ItemIndex(), brush);
    QCOMPARE(s.Domain.CurrentStyle()->Params.BrushId, s.Domain.Brushes.Current()->Id());
    QTest::mouseClick(patterns->viewport(), Qt::LeftButton, {}, CellCentre(patterns, 1));
    QCOMPARE(s.Domain.Patterns.ItemIndex(), 1);
    QCOMPARE(s.Domain.ToolManager->Tool(), 4);
    QVERIFY(main.action("PatternCommand")->isChecked());

    main.action("ContextHelpCommand")->trigger();
    main.UpdateActions();
    QVERIFY(main.action("ContextHelpCommand")->isChecked());
    QVERIFY(!main.action("PatternCommand")->isChecked());
    // The click that asks for help ends the mode.
    QTest::mouseClick(main.sourceView()->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    main.action("PointerCommand")->trigger();
    QVERIFY(main.action("PointerCommand")->isChecked());
    QVERIFY(!main.action("ContextHelpCommand")->isChecked());
  }

  // A new document's colour panel forgets the last one's swatches, and Help
  // without a browser opens the pages in the program's own help window.
  void colourPanelResetAndHelpWithoutABrowser() {
    TSession s;
    QVERIFY(s.Open(BRELLIN_CORPUS "/photos/animal_chelsea_cat.png"));
    TColorPanel& colors = s.Main->colorPanel();
    colors.VariantColorPicked(0xFF336699);
    colors.SetSliderValue(TColorPanel::osHue, 40);
    QCOMPARE(colors.NextSwatch(), 1);
    QVERIFY(s.Open(BRELLIN_CORPUS "/photos/grayscale_camera.png"));
    QVERIFY(colors.Swatch(0).Empty);
    QCOMPARE(colors.NextSwatch(), 0);
    QCOMPARE(colors.SliderValue(TColorPanel::osHue), 0);

    QDir(FHome.path()).mkpath("Help");
    QVERIFY(
        QFile::copy(BRELLIN_SOURCE_DIR "/data/Help/index.html", FHome.filePath("Help/index.html")));
    s.Main->action("HelpCommand")->trigger();
    QCOMPARE(s.Ui.Opened.size(), 1);
    auto* help = s.Main->findChild<TFHelp*>();
    QVERIFY(help && help->isVisible());
    QVERIFY(!help->showingSorry());
    QVERIFY(help->browser()->source().toString().endsWith("index.html"));
    QVERIFY(s.Ui.Errors.isEmpty());
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(MainWindowWiringTest)
#include "MainWindowWiringTest.moc"
