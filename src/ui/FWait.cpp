#include "ui/FWait.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <cmath>

namespace brellin {

TFWait::TFWait(QWidget* MainWindow)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      FMainWindow(MainWindow) {
  setFixedSize(400, 73);
  FMessage = new QLabel(this);
  FMessage->setGeometry(66, 12, 322, 22);
  FBar = new QProgressBar(this);
  FBar->setGeometry(66, 42, 322, 14);
  FBar->setTextVisible(false);
  // Shown only while the work can be stopped; the bar makes room for it.
  FStop = new QPushButton("Stop", this);
  FStop->setObjectName("stopButton");
  FStop->setGeometry(318, 36, 70, 26);
  FStop->hide();
  connect(FStop, &QPushButton::clicked, this, [] { Progress().RequestStop(); });
  FAnimation.setInterval(150);
  connect(&FAnimation, &QTimer::timeout, this, [this] {
    FFrame = (FFrame + 1) % 4;
    update(QRect(8, 10, 51, 52));
  });
}

TFWait::~TFWait() {
  if (Progress().View() == this) Progress().SetView(nullptr);
}

void TFWait::Install() {
  Progress().SetView(this);
}

void TFWait::ShowWindow(const std::string& Message) {
  FMessage->setText(QString::fromStdString(Message));
  if (FMainWindow) {
    FMainWindow->setEnabled(false);
    const QRect r = FMainWindow->frameGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  } else if (QScreen* s = QApplication::primaryScreen()) {
    move(s->geometry().center() - QPoint(width() / 2, height() / 2));
  }
  FFrame = 0;
  FAnimation.start();
  show();
  raise();
  repaint();
}

void TFWait::HideWindow() {
  FAnimation.stop();
  hide();
  if (FMainWindow) FMainWindow->setEnabled(true);
}

void TFWait::SetRange(int32_t MinValue, int32_t MaxValue) {
  FBar->setRange(MinValue, MaxValue);
  FBar->setValue(MinValue);
  if (isVisible()) repaint();
}

void TFWait::SetPosition(int32_t Value) {
  FBar->setValue(Value);
  if (isVisible()) repaint();
}

void TFWait::ProcessEvents() {
  if (BeforeEvents) BeforeEvents();
  QCoreApplication::processEvents();
}

void TFWait::SetStoppable(bool Stoppable) {
  FStop->setVisible(Stoppable);
  FBar->setGeometry(66, 42, Stoppable ? 242 : 322, 14);
}

void TFWait::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  p.setPen(QPen(QColor(54, 54, 54), 2));
  p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  // Four frames of a pen nib drawing a stroke.
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(8, 10, 51, 52);
  p.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
  const double len = 10.0 + 9.0 * FFrame;
  p.drawLine(QPointF(box.left() + 4, box.bottom() - 8),
             QPointF(box.left() + 4 + len, box.bottom() - 8 - len * 0.35));
  const QPointF tip(box.left() + 4 + len, box.bottom() - 8 - len * 0.35);
  QPolygonF nib({tip, tip + QPointF(6, -16), tip + QPointF(12, -12)});
  p.setBrush(QColor(70, 110, 150));
  p.setPen(QPen(QColor(30, 50, 70), 1));
  p.drawPolygon(nib);
}

void TFWait::mousePressEvent(QMouseEvent* Event) {
  // A right click forgets a nesting count left too high.
  if (Event->button() == Qt::RightButton) Progress().ResetShowCount();
}

}  // namespace brellin
