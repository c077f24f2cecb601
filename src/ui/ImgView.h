// A scrollable picture view on screen: draws the core's picture-view model
// (its picture and layers at its scale and scroll) and delivers the mouse,
// wheel and key events to the model's handlers, which the tool manager
// takes over.
#pragma once

#include <QAbstractScrollArea>
#include <functional>

#include "base/Bitmap32.h"
#include "domain/PictureView.h"

namespace brellin {

// Key and button state of a Qt event as the core's flags.
TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons);
// The core's virtual key code of a Qt key (letters and digits as their
// upper-case ASCII, Shift 16, Escape 27, ...); 0 for keys it has no code for.
uint16_t VirtualKeyOf(int QtKey);

class TImgView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TImgView(QWidget* Parent = nullptr);
  ~TImgView() override;
  TPictureView& model() { return FView; }
  const TPictureView& model() const { return FView; }
  // The picture changed size (a new document): scroll ranges follow.
  void PictureResized();
  // Where pen pressures (0..1) of tablet events over any view go; the
  // events themselves are left to become mouse events, which drive the tools.
  static inline std::function<void(double Pressure)> OnPenPressure;
  // Time the last paint took to compose the client area, in microseconds.
  int64_t lastPaintMicroseconds() const { return FLastPaintUs; }
  // Draws at the screen's resolution: the model's pixels are device pixels,
  // so at scale 1 one picture pixel is one device pixel. Off by default
  // (the model's pixels are the widget's).
  void setDevicePixels(bool On);
  // Device pixels per widget pixel where the view draws at the screen's
  // resolution, else 1.
  double ratio() const;
  // The client area and a widget position in the model's pixels.
  QSize clientSize() const;
  QPoint ToModel(QPointF Position) const;
  // The model's scale changed: scroll ranges follow.
  void ScaleChanged() { PictureResized(); }
  // Held down, the space bar turns a left drag over any view into panning
  // (the main window follows the key wherever the focus is).
  static inline bool PanKeyHeld = false;
  bool panning() const { return FPanning; }
  // The open hand while a left drag would pan, else the model's cursor.
  void ShowPanCursor(bool On);

 signals:
  void scrolled();
  // Ctrl+wheel: Steps notches (positive: in) around view position Anchor.
  void zoomRequested(int Steps, QPoint Anchor);
  // The client area changed size.
  void resized();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void scrollContentsBy(int Dx, int Dy) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  void SyncScrollBars();
  TPictureView FView;
  TBitmap32 FBuffer;
  bool FSyncing = false;
  bool FDevicePixels = false;
  // Panning with the middle button, or the left one while space is held.
  bool FPanning = false;
  Qt::MouseButton FPanButton = Qt::NoButton;
  QPoint FPanFrom;
  TPoint FPanScroll;
  bool FRepaintAsked = false;  // an update is pending: later requests add nothing
  int64_t FLastPaintUs = 0;
};

}  // namespace brellin
