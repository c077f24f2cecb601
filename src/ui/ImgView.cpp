#include "ui/ImgView.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabletEvent>
#include <QWheelEvent>
#include <cmath>

#include "base/Errors.h"
#include "ui/QtBitmap.h"

namespace brellin {

TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons) {
  TShiftState s = 0;
  if (Modifiers & Qt::ShiftModifier) s |= ssShift;
  if (Modifiers & Qt::AltModifier) s |= ssAlt;
  if (Modifiers & Qt::ControlModifier) s |= ssCtrl;
  if (Buttons & Qt::LeftButton) s |= ssLeft;
  if (Buttons & Qt::RightButton) s |= ssRight;
  if (Buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

uint16_t VirtualKeyOf(int QtKey) {
  if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return uint16_t('A' + (QtKey - Qt::Key_A));
  if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return uint16_t('0' + (QtKey - Qt::Key_0));
  if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24) return uint16_t(112 + (QtKey - Qt::Key_F1));
  switch (QtKey) {
    case Qt::Key_Shift:
      return vkShift;
    case Qt::Key_Control:
      return 17;
    case Qt::Key_Alt:
      return 18;
    case Qt::Key_Escape:
      return vkEscape;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Delete:
      return 46;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
  }
  return 0;
}

namespace {
TMouseButton ButtonOf(Qt::MouseButton B) {
  return B == Qt::RightButton ? mbRight : B == Qt::MiddleButton ? mbMiddle : mbLeft;
}
}  // namespace

TImgView::TImgView(QWidget* Parent) : QAbstractScrollArea(Parent) {
  viewport()->setMouseTracking(true);  // hover moves show the brush cursor
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::NoFrame);
  // A stroke reports each line it draws; one request per paint is enough,
  // and asking Qt again for every line costs more than painting.
  FView.OnRepaint = [this] {
    if (FRepaintAsked) return;
    FRepaintAsked = true;
    viewport()->update();
  };
  FView.OnScroll = [this](TPictureView&) {
    SyncScrollBars();
    viewport()->update();
    emit scrolled();
  };
  FView.OnCursorChange = [this](TPictureView& V) {
    viewport()->setCursor(V.Cursor() == crCross ? Qt::CrossCursor : Qt::ArrowCursor);
  };
}

TImgView::~TImgView() {
  FView.OnRepaint = nullptr;
  FView.OnScroll = nullptr;
  FView.OnCursorChange = nullptr;
}

double TImgView::ratio() const {
  return FDevicePixels ? viewport()->devicePixelRatioF() : 1.0;
}

QSize TImgView::clientSize() const {
  const double r = ratio();
  return {int(std::lround(viewport()->width() * r)), int(std::lround(viewport()->height() * r))};
}

QPoint TImgView::ToModel(QPointF Position) const {
  const double r = ratio();
  return {int(std::floor(Position.x() * r)), int(std::floor(Position.y() * r))};
}

void TImgView::setDevicePixels(bool On) {
  FDevicePixels = On;
  PictureResized();
}

void TImgView::ShowPanCursor(bool On) {
  if (FPanning) return;
  viewport()->setCursor(On                          ? Qt::OpenHandCursor
                        : FView.Cursor() == crCross ? Qt::CrossCursor
                                                    : Qt::ArrowCursor);
}

void TImgView::PictureResized() {
  FView.PixelRatio = float(ratio());
  FView.SetClientSize(clientSize().width(), clientSize().height());
  FView.ScrollTo(FView.ScrollX, FView.ScrollY);
  SyncScrollBars();
  viewport()->update();
}

void TImgView::SyncScrollBars() {
  FSyncing = true;
  // In the model's pixels, which are device pixels where the view draws at
  // the screen's resolution.
  const QSize c = clientSize();
  horizontalScrollBar()->setRange(0, std::max(0, FView.ScaledWidth() - c.width()));
  verticalScrollBar()->setRange(0, std::max(0, FView.ScaledHeight() - c.height()));
  horizontalScrollBar()->setPageStep(c.width());
  verticalScrollBar()->setPageStep(c.height());
  horizontalScrollBar()->setSingleStep(int(std::lround(20 * ratio())));
  verticalScrollBar()->setSingleStep(int(std::lround(20 * ratio())));
  horizontalScrollBar()->setValue(FView.ScrollX);
  verticalScrollBar()->setValue(FView.ScrollY);
  FSyncing = false;
}

void TImgView::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  PictureResized();
  emit resized();
}

void TImgView::scrollContentsBy(int, int) {
  if (FSyncing) return;
  FView.ScrollTo(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void TImgView::paintEvent(QPaintEvent* Event) {
  QElapsedTimer t;
  t.start();
  FRepaintAsked = false;
  const QSize c = clientSize();
  if (FView.ClientWidth() != c.width() || FView.ClientHeight() != c.height()) PictureResized();
  FView.Paint(FBuffer);
  QPainter p(viewport());
  const QRect r = Event->rect();
  if (ratio() == 1.0) {
    p.drawImage(r, WrapBitmap(FBuffer), r);
  } else {
    // One picture pixel to one device pixel at 100 %: the buffer has the
    // screen's resolution and is drawn as such.
    QImage image = WrapBitmap(FBuffer);
    image.setDevicePixelRatio(ratio());
    p.drawImage(QPointF(0, 0), image);
  }
  FLastPaintUs = t.nsecsElapsed() / 1000;
}

void TImgView::mousePressEvent(QMouseEvent* Event) {
  const QPoint pt = ToModel(Event->position());
  if (!FPanning &&
      (Event->button() == Qt::MiddleButton || (Event->button() == Qt::LeftButton && PanKeyHeld))) {
    // A pan is the view's own: the tools never see it.
    FPanning = true;
    FPanButton = Event->button();
    FPanFrom = pt;
    FPanScroll = {FView.ScrollX, FView.ScrollY};
    viewport()->setCursor(Qt::ClosedHandCursor);
    return;
  }
  if (FPanning) return;
  FView.MouseDown(ButtonOf(Event->button()), ShiftStateOf(Event->modifiers(), Event->buttons()),
                  pt.x(), pt.y());
}

void TImgView::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint pt = ToModel(Event->position());
  if (FPanning) {
    FView.ScrollTo(FPanScroll.X - (pt.x() - FPanFrom.x()), FPanScroll.Y - (pt.y() - FPanFrom.y()));
    return;
  }
  FView.MouseMove(ShiftStateOf(Event->modifiers(), Event->buttons()), pt.x(), pt.y());
}

void TImgView::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint pt = ToModel(Event->position());
  if (FPanning) {
    if (Event->button() == FPanButton) {
      FPanning = false;
      ShowPanCursor(PanKeyHeld);
    }
    return;
  }
  FView.MouseUp(ButtonOf(Event->button()), ShiftStateOf(Event->modifiers(), Event->buttons()),
                pt.x(), pt.y());
}

void TImgView::wheelEvent(QWheelEvent* Event) {
  const int notches = Event->angleDelta().y() / 120;
  const QPoint pt = ToModel(Event->position());
  const TShiftState s = ShiftStateOf(Event->modifiers(), Event->buttons());
  // Ctrl+wheel zooms; the wheel alone stays the tools' (the brush size).
  if (Event->modifiers() & Qt::ControlModifier) {
    if (notches != 0) emit zoomRequested(notches, pt);
    Event->accept();
    return;
  }
  bool handled = false;
  for (int i = 0; i < std::abs(notches); ++i)
    handled |= notches > 0 ? FView.MouseWheelUp(s, {pt.x(), pt.y()})
                           : FView.MouseWheelDown(s, {pt.x(), pt.y()});
  // Without a tool taking the wheel, it scrolls the picture.
  if (!handled && !FView.Events.OnMouseWheelUp && !FView.Events.OnMouseWheelDown)
    QAbstractScrollArea::wheelEvent(Event);
  else
    Event->accept();
}

bool TImgView::viewportEvent(QEvent* Event) {
  const QEvent::Type t = Event->type();
  if (t == QEvent::TabletPress || t == QEvent::TabletMove || t == QEvent::TabletRelease) {
    if (OnPenPressure) OnPenPressure(static_cast<QTabletEvent*>(Event)->pressure());
    Event->ignore();  // Qt then sends the matching mouse event
    return false;
  }
  return QAbstractScrollArea::viewportEvent(Event);
}

void TImgView::keyPressEvent(QKeyEvent* Event) {
  uint16_t key = VirtualKeyOf(Event->key());
  if (key == 0) return QAbstractScrollArea::keyPressEvent(Event);
  FView.KeyDown(key, ShiftStateOf(Event->modifiers(), Qt::NoButton));
  if (key != 0) QAbstractScrollArea::keyPressEvent(Event);
}

void TImgView::keyReleaseEvent(QKeyEvent* Event) {
  uint16_t key = VirtualKeyOf(Event->key());
  if (key == 0) return QAbstractScrollArea::keyReleaseEvent(Event);
  FView.KeyUp(key, ShiftStateOf(Event->modifiers(), Qt::NoButton));
  if (key != 0) QAbstractScrollArea::keyReleaseEvent(Event);
}

}  // namespace brellin
