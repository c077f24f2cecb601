// The help window's pages and history, the "What is this?" click that opens
// it from the main window, and the about box, driven as a user drives them.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "UiTestSupport.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/FAbout.h"
#include "ui/FHelp.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {
void WritePage(const QDir& Dir, const QString& Keyword) {
  QFile f(Dir.filePath(Keyword + ".html"));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(QString("<html><body><h1>Page %1</h1><a href=\"size.html\">size</a></body></html>")
              .arg(Keyword)
              .toUtf8());
}

QString Shown(const TFHelp& H) {
  return H.browser()->toPlainText();
}
}  // namespace

class HelpAboutTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    QDir home(FHome.path());
    QVERIFY(home.mkpath("Help"));
    const QDir help(home.filePath("Help"));
    for (const char* k : {"size", "tools", "img"}) WritePage(help, k);
    QVERIFY(test::MakeProgramFolder(FHome.path()));
  }

  void helpWindowShowsPagesAndWalksItsHistory() {
    TFHelp h;
    int more = 0;
    h.OnMoreHelp = [&more] { ++more; };
    h.ShowHelp("size");
    QVERIFY(h.isVisible());
    QVERIFY(!h.showingSorry());
    QVERIFY(Shown(h).contains("Page size"));
    QVERIFY(!h.backLink()->isEnabled());
    QVERIFY(!h.nextLink()->isEnabled());

    h.ShowHelp("colors");  // no such page
    QVERIFY(h.showingSorry());
    QCOMPARE(Shown(h), QString("Sorry there is not help available"));
    h.ShowHelp("");  // the tools page
    QVERIFY(Shown(h).contains("Page tools"));

    QTest::mouseClick(h.backLink(), Qt::LeftButton);
    QCOMPARE(Shown(h), QString("Sorry there is not help available"));
    QTest::mouseClick(h.backLink(), Qt::LeftButton);
    QVERIFY(Shown(h).contains("Page size"));
    QVERIFY(!h.backLink()->isEnabled());
    QVERIFY(h.nextLink()->isEnabled());
    QTest::mouseClick(h.nextLink(), Qt::LeftButton);
    QVERIFY(h.showingSorry());

    // A link inside a page is followed in the window and joins the history.
    h.ShowHelp("img");
    emit h.browser()->anchorClicked(QUrl("size.html"));
    QVERIFY(Shown(h).contains("Page size"));
    // The newer "tools" page was dropped: size, img, colors, size.
    QCOMPARE(h.history().Count(), 4u);
    QTest::mouseClick(h.backLink(), Qt::LeftButton);
    QVERIFY(Shown(h).contains("Page img"));

    QTest::mouseClick(h.moreHelpLink(), Qt::LeftButton);
    QCOMPARE(more, 1);
    QTest::mouseClick(h.closeLink(), Qt::LeftButton);
    QVERIFY(!h.isVisible());
  }

  void whatIsThisThenAClickOpensTheClickedControlsPage() {
    TQtDomainUi ui;
    TDomain domain(&ui);
    domain.ToolManagerFactory = MakeToolManagerFactory();
    TFMain main(domain);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.RunCommand("ContextHelpCommand");
    QWidget* view = main.destinationView()->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, view->rect().center());
    auto* help = main.findChild<TFHelp*>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(Shown(*help).contains("Page img"));
    // Help mode ended with that click: the next one is the view's own.
    QTest::mouseClick(main.stylePanel(), Qt::LeftButton);
    QCOMPARE(help->history().Count(), 1u);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void aboutBoxShowsVersionMemoryAndScrollingCredits() {
    TFAbout a(nullptr, "2.5.0.17");
    QCOMPARE(a.versionLabel()->text(), QString("Version: 2.5"));
    QCOMPARE(a.buildLabel()->text(), QString("Build: 2.5.0.17"));
    QVERIFY(a.creditLabel()->text().startsWith("by the Brellin Pro team"));
    a.show();
    QVERIFY(QTest::qWaitForWindowExposed(&a));
    QVERIFY(a.freeMemoryLabel()->text().contains(QRegularExpression(": [1-9][0-9,]*$")));
    QVERIFY(a.totalMemoryLabel()->text().contains(QRegularExpression(": [1-9][0-9,]*$")));
    QVERIFY(a.credits()->scrolling());
    QTRY_VERIFY(a.credits()->offset() > 0);
    // The splash picture is built into the program: the top of the box is
    // not the plain box colour.
    const QImage shot = a.grab().toImage();
    QVERIFY(shot.pixelColor(200, 40) != QColor(76, 186, 201));
    a.hide();
    QVERIFY(!a.credits()->scrolling());
  }

 private:
  QTemporaryDir FHome;
};

QTEST_MAIN(HelpAboutTest)
#include "HelpAboutTest.moc"
