#include "ui/Controls.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

#include "base/Errors.h"
#include "ui/QtBitmap.h"

namespace brellin {

QIcon DrawnIcon(int Size, const std::function<void(QPainter&)>& Draw) {
  QIcon icon;
  for (const int ratio : {1, 2, 3}) {
    QPixmap pm(Size * ratio, Size * ratio);
    pm.fill(Qt::transparent);
    {
      QPainter p(&pm);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(ratio, ratio);
      Draw(p);
    }
    pm.setDevicePixelRatio(ratio);
    icon.addPixmap(pm);
  }
  return icon;
}

// ---------------------------------------------------------------------------
// Edit box

TBrellinEdit::TBrellinEdit(QWidget* Parent) : QLineEdit(Parent) {}

void TBrellinEdit::keyPressEvent(QKeyEvent* Event) {
  const QString text = Event->text();
  if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter ||
      Event->key() == Qt::Key_Tab) {
    emit accepted();
    Event->accept();
    return;
  }
  // Keys without a character (arrows, Delete, Home) edit as usual; of the
  // characters only those of a number pass.
  if (!text.isEmpty() && text.at(0).isPrint()) {
    const char c = text.at(0).unicode() < 128 ? char(text.at(0).unicode()) : 0;
    if (FilterGaugeKey(c) == 0) {
      Event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(Event);
}

bool TBrellinEdit::focusNextPrevChild(bool Next) {
  emit accepted();
  return QLineEdit::focusNextPrevChild(Next);
}

void TBrellinEdit::focusOutEvent(QFocusEvent* Event) {
  QLineEdit::focusOutEvent(Event);
  emit accepted();
}

// ---------------------------------------------------------------------------
// Gauge

namespace {
constexpr int kBarWidth = 109, kBarHeight = 13, kFrameWidth = 34;
}

TNumericGaugeBar::TNumericGaugeBar(QWidget* Parent)
    : QWidget(Parent), FModel(kBarWidth), FEdit(new TBrellinEdit(this)) {
  setMinimumSize(100, 14);
  setFixedHeight(14);
  resize(145, 14);
  FEdit->setFrame(false);
  QFont f = font();
  f.setPixelSize(10);
  FEdit->setFont(f);
  FEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FEdit->setTextMargins(0, 0, 1, 0);
  QPalette p = FEdit->palette();
  p.setColor(QPalette::Base, ColorEdit);
  p.setColor(QPalette::Text, ColorFont);
  FEdit->setPalette(p);
  connect(FEdit, &TBrellinEdit::accepted, this, &TNumericGaugeBar::AcceptEdit);
  FModel.OnChange = [this] {
    SyncEdit();
    update();
    emit changed();
  };
  SyncEdit();
}

QRect TNumericGaugeBar::barRect() const {
  return QRect(0, 0, std::max(width() - kFrameWidth - 2, 10), kBarHeight);
}

void TNumericGaugeBar::resizeEvent(QResizeEvent*) {
  FEdit->setGeometry(width() - kFrameWidth + 2, 1, kFrameWidth - 4, 12);
  const int w = barRect().width() - 1;
  if (w != FModel.BarWidth()) {
    FModel.Updating = true;
    FModel.SetBarWidth(w);
    FModel.Updating = false;
  }
}

void TNumericGaugeBar::setRange(float Min, float Max) {
  FModel.SetRange(Min, Max);
  SyncEdit();
  update();
}

void TNumericGaugeBar::setLogScale(bool Value) {
  FModel.SetLogScale(Value);
  SyncEdit();
  update();
}

void TNumericGaugeBar::setIntValue(bool Value) {
  FModel.SetIntValue(Value);
  SyncEdit();
  update();
}

void TNumericGaugeBar::setValue(float Value) {
  FModel.SetValue(Value);
}

void TNumericGaugeBar::SyncEdit() {
  const QString t = QString::fromStdString(FModel.Text());
  if (FEdit->text() != t) FEdit->setText(t);
}

void TNumericGaugeBar::AcceptEdit() {
  FModel.SetText(FEdit->text().toStdString());
  try {
    FModel.AcceptText();
  } catch (const EBrellinError&) {
    // Not a number: the value stays, and so does what was typed.
    return;
  }
  SyncEdit();
}

void TNumericGaugeBar::MoveBarTo(int X) {
  FModel.MoveBar(std::clamp(X - barRect().left(), 0, FModel.BarWidth()));
}

void TNumericGaugeBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ColorBackground);
  const QRect bar = barRect();
  p.setPen(ColorShapePen);
  p.setBrush(Qt::white);
  p.drawRect(bar.adjusted(0, 1, -1, -1));
  const int pos = FModel.BarPosition();
  p.fillRect(QRect(bar.left() + 1, bar.top() + 2, pos, bar.height() - 3), ColorGauge);
  p.fillRect(QRect(bar.left() + pos - 1, bar.top(), 3, bar.height()), ColorHandle);
  p.setBrush(ColorEdit);
  p.drawRect(QRect(width() - kFrameWidth, 0, kFrameWidth - 1, 13));
}

void TNumericGaugeBar::mousePressEvent(QMouseEvent* Event) {
  if (!barRect().contains(Event->position().toPoint())) return QWidget::mousePressEvent(Event);
  FDragging = true;
  emit barPressed();
  MoveBarTo(Event->position().toPoint().x());
}

void TNumericGaugeBar::mouseMoveEvent(QMouseEvent* Event) {
  if (FDragging) MoveBarTo(Event->position().toPoint().x());
}

void TNumericGaugeBar::mouseReleaseEvent(QMouseEvent* Event) {
  if (!FDragging) return QWidget::mouseReleaseEvent(Event);
  FDragging = false;
  emit barReleased();
}

// ---------------------------------------------------------------------------
// Slider

TBrellinSlider::TBrellinSlider(QWidget* Parent) : QWidget(Parent) {
  resize(191, 11);
  setMinimumSize(20, 8);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  FModel.ThumbWidth = 9;
  FModel.ThumbHeight = 11;
  FModel.Width = width();
  FModel.Height = height();
  FModel.OnRepaint = [this] { update(); };
  FModel.OnBeginChange = [this] { emit beginChange(); };
  FModel.OnChanged = [this] { emit changedPosition(); };
  FModel.OnStopChanged = [this] { emit stopChange(); };
}

void TBrellinSlider::setHorizontal(bool Value) {
  FModel.Horizontal = Value;
  setSizePolicy(Value ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                Value ? QSizePolicy::Fixed : QSizePolicy::Expanding);
  update();
}

void TBrellinSlider::resizeEvent(QResizeEvent*) {
  FModel.Width = width();
  FModel.Height = height();
  FModel.ThumbHeight = FModel.Horizontal ? std::min(height(), 11) : 9;
  FModel.ThumbWidth = FModel.Horizontal ? 9 : std::min(width(), 11);
}

void TBrellinSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool h = FModel.Horizontal;
  // The ruler: a groove along the slider.
  const QRect groove =
      h ? QRect(0, height() / 2 - 1, width(), 3) : QRect(width() / 2 - 1, 0, 3, height());
  p.fillRect(groove, QColor(95, 137, 160));
  const int off = FModel.ThumbOffset();
  const QRect thumb =
      h ? QRect(off, 0, FModel.ThumbWidth, height()) : QRect(0, off, width(), FModel.ThumbHeight);
  p.setPen(QColor(40, 60, 80));
  p.setBrush(FModel.Pressed() ? QColor(90, 130, 170) : QColor(240, 244, 248));
  p.drawRoundedRect(QRectF(thumb).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
}

void TBrellinSlider::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  grabMouse();
  FModel.MouseDown();
  const QPoint pt = Event->position().toPoint();
  FModel.MouseMove(pt.x(), pt.y(), true);
}

void TBrellinSlider::mouseMoveEvent(QMouseEvent* Event) {
  // The pointer stays inside the control while dragging.
  const QPoint pt = Event->position().toPoint();
  FModel.MouseMove(std::clamp(pt.x(), 0, width() - 1), std::clamp(pt.y(), 0, height() - 1),
                   Event->buttons() & Qt::LeftButton);
}

void TBrellinSlider::mouseReleaseEvent(QMouseEvent*) {
  if (!FModel.Dragging()) return;
  releaseMouse();
  FModel.MouseUp();
}

// ---------------------------------------------------------------------------
// Colour field

TSimpleColorSelector::TSimpleColorSelector(QWidget* Parent)
    : QWidget(Parent), FSlider(new TBrellinSlider(this)) {
  FSlider->setMaximum(255);
  FSlider->setPosition(128);
  connect(FSlider, &TBrellinSlider::changedPosition, this, [this] {
    RedrawField();
    update();
  });
  setCursor(Qt::CrossCursor);
  FSlider->setCursor(Qt::ArrowCursor);
}

void TSimpleColorSelector::setHorizontalLayout(bool Value) {
  FHorizontal = Value;
  RedrawField();
  update();
}

void TSimpleColorSelector::resizeEvent(QResizeEvent*) {
  FSlider->setGeometry(0, height() - 8, width(), 8);
  RedrawField();
}

void TSimpleColorSelector::RedrawField() {
  FField.SetSize(std::max(width(), 1), std::max(height() - 8, 1));
  PaintColorField(FField, float(FSlider->position()) / 255.0f, FHorizontal);
}

TColor32 TSimpleColorSelector::fieldColor(int X, int Y) const {
  X = std::clamp(X, 0, FField.Width() - 1);
  Y = std::clamp(Y, 0, FField.Height() - 1);
  return FField.Pixel(X, Y);
}

void TSimpleColorSelector::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, WrapBitmap(FField));
}

void TSimpleColorSelector::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint pt = Event->position().toPoint();
  FPick.Pick(fieldColor(pt.x(), pt.y()), Event->button() == Qt::LeftButton);
  emit selectColor();
}

// ---------------------------------------------------------------------------
// Thumbnail grid

TImageListViewer::TImageListViewer(bool Framed, QWidget* Parent)
    : QAbstractScrollArea(Parent), FFramed(Framed) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::NoFrame);
}

void TImageListViewer::setImages(std::vector<QImage> Images) {
  FImages = std::move(Images);
  if (FLayout.ThumbWidth < 0 && !FImages.empty())
    setThumbSize(FImages.front().width(), FImages.front().height());
  FSelected = 0;
  Relayout();
}

void TImageListViewer::setImage(int Index, const QImage& Image) {
  if (Index < 0) return;
  if (size_t(Index) >= FImages.size()) FImages.resize(size_t(Index) + 1);
  FImages[size_t(Index)] = Image;
  Relayout();
}

void TImageListViewer::setThumbSize(int W, int H) {
  FLayout.ThumbWidth = W;
  FLayout.ThumbHeight = H;
  Relayout();
}

void TImageListViewer::setSelectedIndex(int Index) {
  FSelected = Index;
  viewport()->update();
}

void TImageListViewer::Relayout() {
  FLayout.ClientWidth = viewport()->width();
  FLayout.Count = int(FImages.size());
  const int h = FLayout.ThumbHeight < 0 ? 0 : FLayout.SheetHeight();
  verticalScrollBar()->setRange(0, std::max(0, h - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  viewport()->update();
}

void TImageListViewer::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  Relayout();
}

QPoint TImageListViewer::SheetPoint(QPoint ViewportPoint) const {
  return ViewportPoint + QPoint(0, verticalScrollBar()->value());
}

void TImageListViewer::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), Color);
  if (FLayout.ThumbWidth < 0 || FLayout.ThumbHeight < 0) return;
  p.translate(0, -verticalScrollBar()->value());
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  for (int i = 0; i < int(FImages.size()); ++i) {
    const TRect c = FLayout.Cell(i);
    const QRect cell(c.Left, c.Top, c.Width(), c.Height());
    if (FFramed) {
      p.drawImage(cell, FImages[size_t(i)]);
      p.setPen(Qt::black);
      p.setBrush(Qt::NoBrush);
      p.drawRect(cell.adjusted(0, 0, -1, -1));
      if (i == FSelected) {
        const int m = FLayout.Margin / 2;
        p.setPen(QPen(Qt::blue, 1));
        p.drawRect(cell.adjusted(-m - 1, -m - 1, m, m));
      }
    } else {
      QImage thumb(cell.size(), QImage::Format_ARGB32);
      thumb.fill(Color);
      {
        QPainter t(&thumb);
        t.setRenderHint(QPainter::SmoothPixmapTransform);
        t.drawImage(thumb.rect(), FImages[size_t(i)]);
      }
      if (i == FSelected) {
        const TColor32 k = ColorSelected.rgba();
        for (int y = 0; y < thumb.height(); ++y) {
          auto* row = reinterpret_cast<TColor32*>(thumb.scanLine(y));
          for (int x = 0; x < thumb.width(); ++x) row[x] = TintWithPanelColor(row[x], k);
        }
      }
      p.drawImage(cell.topLeft(), thumb);
    }
  }
}

void TImageListViewer::mousePressEvent(QMouseEvent* Event) {
  const QPoint s = SheetPoint(Event->position().toPoint());
  const int i = FLayout.CellAt(s.x(), s.y());
  if (i >= 0) FSelected = i;
  viewport()->update();
  emit mouseDownThumb(FSelected, s.x(), s.y());
}

bool TImageListViewer::viewportEvent(QEvent* Event) {
  if (Event->type() == QEvent::ToolTip && TipOf) {
    auto* help = static_cast<QHelpEvent*>(Event);
    const QPoint s = SheetPoint(help->pos());
    const int i = FLayout.CellAt(s.x(), s.y());
    const QString tip = i >= 0 && i < int(FImages.size()) ? TipOf(i) : QString();
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, viewport());
      return true;
    }
  }
  return QAbstractScrollArea::viewportEvent(Event);
}

void TImageListViewer::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint s = SheetPoint(Event->position().toPoint());
  emit mouseUpThumb(FSelected, s.x(), s.y());
}

}  // namespace brellin
