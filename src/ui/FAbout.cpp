#include "ui/FAbout.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "interaction/HelpModels.h"

// The resources live in a static library: referencing their initialiser
// keeps them linked in.
static void InitUiResources() {
  Q_INIT_RESOURCE(brellin_ui);
}

namespace brellin {

namespace {
const QColor kBoxColor(76, 186, 201);
const QColor kInk(18, 36, 54);
constexpr int kWidth = 417, kHeight = 352;

const char* const kCredits =
    "Brellin Pro\n"
    "\n"
    "Stroke engine\n"
    "the Brellin Pro team\n"
    "\n"
    "Brushes, patterns and styles\n"
    "the Brellin Pro studio\n"
    "\n"
    "Help pages\n"
    "the documentation desk\n"
    "\n"
    "Testing\n"
    "everyone who tried\n"
    "the early versions\n"
    "\n"
    "Thank you for painting\n"
    "with us!";

QLabel* Label(QWidget* Parent, const QString& Text, const QRect& Geometry, int PointSize = 9,
              bool Bold = false) {
  auto* l = new QLabel(Text, Parent);
  l->setGeometry(Geometry);
  QFont f = l->font();
  f.setPointSize(PointSize);
  f.setBold(Bold);
  l->setFont(f);
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, kInk);
  l->setPalette(p);
  return l;
}

QString Bytes(uint64_t N) {
  return QLocale(QLocale::English).toString(qulonglong(N));
}
}  // namespace

TCreditsScroller::TCreditsScroller(const QString& Text, QWidget* Parent)
    : QWidget(Parent), FLines(Text.split('\n')), FTimer(new QTimer(this)) {
  FTimer->setInterval(40);
  connect(FTimer, &QTimer::timeout, this, [this] {
    // Round and round: the text rises from below the panel and leaves at
    // the top, then starts again.
    const int total = height() + int(FLines.size()) * fontMetrics().lineSpacing();
    FOffset = (FOffset + 1) % qMax(1, total);
    update();
  });
}

bool TCreditsScroller::scrolling() const {
  return FTimer->isActive();
}

void TCreditsScroller::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(235, 248, 250));
  p.setPen(kInk);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.setClipRect(rect().adjusted(1, 1, -1, -1));
  const int line = fontMetrics().lineSpacing();
  int y = height() - FOffset;
  for (const QString& s : FLines) {
    if (y + line > 0 && y < height())
      p.drawText(QRect(2, y, width() - 4, line), Qt::AlignHCenter | Qt::AlignVCenter, s);
    y += line;
  }
}

void TCreditsScroller::showEvent(QShowEvent*) {
  FTimer->start();
}

void TCreditsScroller::hideEvent(QHideEvent*) {
  FTimer->stop();
}

TFAbout::TFAbout(QWidget* Parent, const QString& Version)
    : QDialog(Parent, Qt::Dialog | Qt::FramelessWindowHint) {
  InitUiResources();
  FSplash.load(":/brellin/splash.png");
  setObjectName("FormAbout");
  setWindowTitle("About Brellin Pro");
  setFixedSize(kWidth, kHeight);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBoxColor);
  setPalette(pal);
  setAutoFillBackground(true);

  Label(this, "Brellin Pro", QRect(16, 200, 236, 20), 11, true)->setObjectName("lblProduct");
  QLabel* comments = Label(this,
                           "Turns photographs into pen-and-ink and painted pictures, "
                           "one stroke at a time.",
                           QRect(16, 221, 236, 46));
  comments->setWordWrap(true);
  FCredit = Label(this, "by " + QString::fromStdString(CreditName()), QRect(16, 268, 236, 18));
  QFont italic = FCredit->font();
  italic.setItalic(true);
  FCredit->setFont(italic);
  FVersion =
      Label(this, "Version: " + QString::fromStdString(VersionUpToSecondDot(Version.toStdString())),
            QRect(16, 289, 110, 18), 9, true);
  FBuild = Label(this, "Build: " + Version, QRect(130, 289, 122, 18));
  FFree = Label(this, "Free physical memory: ", QRect(16, 310, 260, 18), 8);
  FTotal = Label(this, "Total physical memory: ", QRect(16, 327, 260, 18), 8);

  FCredits = new TCreditsScroller(kCredits, this);
  FCredits->setGeometry(262, 200, 140, 100);

  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(322, 314, 80, 26);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TFAbout::showEvent(QShowEvent* Event) {
  TMemoryStatus m;
  const bool known = ReadMemoryStatus(m);
  FFree->setText("Free physical memory: " + (known ? Bytes(m.Free) : QString("unknown")));
  FTotal->setText("Total physical memory: " + (known ? Bytes(m.Total) : QString("unknown")));
  // Centred on the screen the box opens on.
  if (const QScreen* s = parentWidget() ? parentWidget()->screen() : screen())
    move(s->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  QDialog::showEvent(Event);
}

void TFAbout::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBoxColor);
  p.drawPixmap(0, 0, FSplash);
  p.setPen(kInk);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace brellin
