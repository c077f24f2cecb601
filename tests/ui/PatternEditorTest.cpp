// The pattern editor as the pattern library's edit form: curves drawn with
// the mouse in one frame, "Accept" saving through the library, "Cancel"
// leaving the pattern and its file as they were.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "UiTestSupport.h"
#include "domain/BDomain.h"
#include "library/Patterns.h"
#include "ui/Controls.h"
#include "ui/FMain.h"
#include "ui/FPatternEdit.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

void Drag(TFPatternEdit* D, QPoint From, const QList<QPoint>& Moves) {
  QWidget* area = D->view()->viewport();
  QTest::mousePress(area, Qt::LeftButton, {}, From);
  for (const QPoint& p : Moves) QTest::mouseMove(area, p);
  QTest::mouseRelease(area, Qt::LeftButton, {}, Moves.isEmpty() ? From : Moves.last());
}

int DarkPixels(const QImage& Image) {
  int n = 0;
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x) n += qGray(Image.pixel(x, y)) < 128;
  return n;
}

QByteArray FileBytes(const std::string& Path) {
  QFile f(QString::fromStdString(Path));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class PatternEditorTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    qputenv("BRELLIN_HOME", FHome.path().toUtf8());
  }

  void drawAcceptThenCancel() {
    TPersistentObjectManager library(TPattern::StaticClass());
    QCOMPARE(library.Count(), 0);
    library.OnNew = [](TPersistentObjectManager& L) {
      for (int i = 0; i < 5; ++i)
        static_cast<TPattern*>(L.Current())->AddFrame(std::make_unique<TPatternFrame>());
    };
    TFPatternEdit editor;
    library.SetEditForm(&editor);

    // A new pattern: a curve drawn in the third slot, then "Accept".
    bool checked = false;
    test::WhenModal<TFPatternEdit>([&](TFPatternEdit* d) {
      QCOMPARE(d->slotCount(), 5);
      for (int i = 0; i < 5; ++i) QCOMPARE(DarkPixels(d->frameSlot(i)->image()), 0);
      QTest::mouseClick(d->curveButton(), Qt::LeftButton);
      QTest::mouseClick(d->frameSlot(2), Qt::LeftButton);
      QCOMPARE(d->model().CurrentFrame(), 2);
      QCOMPARE(d->frameSlot(2)->frameShadow(), QFrame::Sunken);
      QCOMPARE(d->frameSlot(0)->frameShadow(), QFrame::Raised);
      // Seven positions after the press: H = 6, controls at indexes 2 and 4.
      Drag(d, {20, 100},
           {{40, 90}, {60, 70}, {80, 60}, {100, 60}, {120, 70}, {140, 90}, {160, 120}});
      QVERIFY(DarkPixels(d->frameSlot(2)->image()) > 10);
      QCOMPARE(DarkPixels(d->frameSlot(1)->image()), 0);
      // The pointer drags the end point further.
      QTest::mouseClick(d->pointerButton(), Qt::LeftButton);
      Drag(d, {160, 120}, {{170, 150}, {180, 170}});
      checked = true;
      QTest::mouseClick(d->acceptButton(), Qt::LeftButton);
    });
    QVERIFY(library.New());
    QVERIFY(checked);
    auto* pattern = static_cast<TPattern*>(library.Current());
    const TBezierSegment drawn{{20, 100}, {80, 60}, {120, 70}, {180, 170}};
    QCOMPARE(pattern->GetFrame(2)->CurveCount(), 1);
    QVERIFY(pattern->GetFrame(2)->GetCurve(0) == drawn);
    const std::string file = pattern->FileName();
    QVERIFY(QFile::exists(QString::fromStdString(file)));
    const QByteArray saved = FileBytes(file);
    {
      // What a fresh start of the program finds in the program folder.
      TPersistentObjectManager reloaded(TPattern::StaticClass());
      QCOMPARE(reloaded.Count(), 1);
      auto* p = static_cast<TPattern*>(reloaded.GetObject(0));
      QCOMPARE(p->FrameCount(), 1);
      QVERIFY(p->GetFrame(0)->GetCurve(0) == drawn);
    }

    // Editing it again: another curve, a frame switch, then "Cancel".
    test::WhenModal<TFPatternEdit>([&](TFPatternEdit* d) {
      QCOMPARE(d->model().CurrentFrame(), 0);
      QTest::mouseClick(d->curveButton(), Qt::LeftButton);
      Drag(d, {10, 10}, {{30, 30}, {50, 40}, {70, 40}});
      QCOMPARE(pattern->GetFrame(0)->CurveCount(), 1);
      QTest::mouseClick(d->frameSlot(2), Qt::LeftButton);
      QCOMPARE(d->view()->model().Layers.size(), size_t(1));
      QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
    });
    QVERIFY(!library.Edit());
    QCOMPARE(pattern->FrameCount(), 5);
    QCOMPARE(pattern->GetFrame(0)->CurveCount(), 0);
    QVERIFY(pattern->GetFrame(2)->GetCurve(0) == drawn);
    QCOMPARE(FileBytes(file), saved);
    QCOMPARE(QDir(FHome.path()).entryList({"*.stk"}).size(), 1);
    library.SetEditForm(nullptr);
  }

  // New, Edit and Delete from the main window's pattern panel; the
  // thumbnails and the highlight follow the library.
  void fromTheMainWindow() {
    QTemporaryDir home;
    QVERIFY(test::MakeProgramFolder(home.path()));
    TQtDomainUi ui;
    TDomain domain(&ui);
    TFMain main(domain);
    ui.SetParent(&main);
    auto* editor = new TFPatternEdit(&main);
    domain.Patterns.SetEditForm(editor);
    auto* list = main.findChild<QWidget*>("panPatterns")->findChild<TImageListViewer*>();
    QVERIFY(list);
    const int shipped = domain.Patterns.Count();
    QCOMPARE(list->layoutModel().Count, shipped);
    domain.Patterns.SetItemIndex(1);
    list->setSelectedIndex(1);

    test::WhenModal<TFPatternEdit>([](TFPatternEdit* d) {
      QCOMPARE(d->windowTitle(), QString("Create New Pattern"));
      QTest::mouseClick(d->curveButton(), Qt::LeftButton);
      Drag(d, {30, 30}, {{60, 50}, {90, 80}, {120, 120}});
      QTest::mouseClick(d->acceptButton(), Qt::LeftButton);
    });
    main.action("NewPatternCommand")->trigger();
    QCOMPARE(domain.Patterns.Count(), shipped + 1);
    QCOMPARE(list->layoutModel().Count, shipped + 1);
    QCOMPARE(list->selectedIndex(), shipped);
    const QString file = QString::fromStdString(domain.Patterns.Current()->FileName());
    QVERIFY(QFile::exists(file));

    // An edit of a shipped pattern, cancelled.
    domain.Patterns.SetItemIndex(0);
    test::WhenModal<TFPatternEdit>([](TFPatternEdit* d) {
      QCOMPARE(d->windowTitle(), QString("Edit Current Pattern"));
      QCOMPARE(d->slotCount(), 5);
      QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
    });
    main.action("EditPatternCommand")->trigger();

    // Deleting asks first: No keeps the pattern and its file.
    domain.Patterns.SetItemIndex(shipped);
    const auto answer = [](QMessageBox::StandardButton B) {
      test::WhenModal<QMessageBox>([B](QMessageBox* m) { m->button(B)->click(); });
    };
    answer(QMessageBox::No);
    main.action("DelPatternCommand")->trigger();
    QVERIFY(QFile::exists(file));
    QCOMPARE(domain.Patterns.Count(), shipped + 1);
    answer(QMessageBox::Yes);
    main.action("DelPatternCommand")->trigger();
    QVERIFY(!QFile::exists(file));
    QCOMPARE(domain.Patterns.Count(), shipped);
    QCOMPARE(list->layoutModel().Count, shipped);
    domain.Patterns.SetEditForm(nullptr);
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(PatternEditorTest)
#include "PatternEditorTest.moc"
