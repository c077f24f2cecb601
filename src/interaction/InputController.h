// The tools as input controllers: each turns the mouse, wheel and key events
// of a picture view into operations on a document or on a curve layer. The
// tool manager routes a document's views to the current one; the pattern
// editor uses a pointer and a curve controller on its own curve layer.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Types.h"
#include "domain/PictureView.h"

namespace brellin {

class TDualImage;
class TPolyBezier;
class TPolyBezierLayer;

// The pointer's position on the screen, read when Shift goes down and while
// it is held (not the event's position). The desktop program installs the
// system cursor's position; without a source the position is (0, 0).
void SetScreenPositionSource(std::function<TPoint()> Source);
TPoint ScreenPosition();

class TAbstractInputController {
 public:
  // On a document: Layer is the document's curve layer.
  TAbstractInputController(TDualImage& Document, uint8_t CursorKind);
  // On a curve layer alone: every step that needs a document is skipped.
  TAbstractInputController(TPolyBezierLayer& Layer, uint8_t CursorKind);
  virtual ~TAbstractInputController() = default;
  TAbstractInputController(const TAbstractInputController&) = delete;
  TAbstractInputController& operator=(const TAbstractInputController&) = delete;

  // X and Y are document coordinates (or the editor view's); HitLayer is the
  // view's layer under the mouse. Any button starts and ends a gesture.
  // While Shift is held the mouse events end with a silent stop: moves then
  // set the brush radius to the pointer's distance from where Shift went down,
  // in picture pixels at the view's scale.
  virtual void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                         TPaintLayer* HitLayer);
  virtual void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                         TPaintLayer* HitLayer);
  virtual void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                       TPaintLayer* HitLayer);
  void KeyDown(TPictureView& Sender, uint16_t& Key, TShiftState Shift);
  void KeyUp(TPictureView& Sender, uint16_t& Key, TShiftState Shift);
  // One notch changes the brush radius by one pixel (never below 8, never
  // above 400 by the wheel alone). MousePos and Handled are left alone.
  void MouseWheelDown(TPictureView& Sender, TShiftState Shift, TPoint MousePos, bool& Handled);
  void MouseWheelUp(TPictureView& Sender, TShiftState Shift, TPoint MousePos, bool& Handled);
  // Becoming the current tool sets the document's brush cursor.
  virtual void Activate();
  virtual void Deactivate() {}

  int32_t AnchorX = 0, AnchorY = 0;
  bool Failed = false;
  bool Resizing = false;
  const uint8_t CursorKind;  // 0 none, 1 circle, 2 cross
  TDualImage* const Document;
  TPolyBezierLayer* const Layer;
};

// Drags the selected point of the curve under the pointer.
class TPointerInputController : public TAbstractInputController {
 public:
  explicit TPointerInputController(TDualImage& Document) : TAbstractInputController(Document, 0) {}
  explicit TPointerInputController(TPolyBezierLayer& Layer) : TAbstractInputController(Layer, 0) {}
  void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
               TPaintLayer* HitLayer) override;
  void Activate() override;
  void Deactivate() override { Dragging = false; }

  bool Dragging = false;
  TPolyBezier* Curve = nullptr;  // not owned
};

// Draws a new one-segment curve free hand: the positions at a third and two
// thirds of the gesture become its control points.
class TAddCurveInputController : public TAbstractInputController {
 public:
  explicit TAddCurveInputController(TDualImage& Document, uint8_t Kind = 0)
      : TAbstractInputController(Document, Kind) {}
  explicit TAddCurveInputController(TPolyBezierLayer& Layer, uint8_t Kind = 0)
      : TAbstractInputController(Layer, Kind) {}
  void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
               TPaintLayer* HitLayer) override;
  void Activate() override;
  void Deactivate() override { Down = false; }

  bool Down = false;
  // The positions sampled since the press (the press's not included).
  std::vector<TPoint> Points;

 protected:
  void BeginCurve(TPolyBezier* Curve, int X, int Y);
  // Adds a position; true when the control points were set from Points
  // (three positions or more).
  bool TraceTo(int X, int Y);
};

// Free hand: a band whose width follows the pen pressure, then strokes
// painted along it, the whole gesture one undo step.
class TBandInputController : public TAddCurveInputController {
 public:
  explicit TBandInputController(TDualImage& Document) : TAddCurveInputController(Document, 2) {}
  explicit TBandInputController(TPolyBezierLayer& Layer) : TAddCurveInputController(Layer, 2) {}
  void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
               TPaintLayer* HitLayer) override;
};

// Sprays strokes around the pointer at every mouse event of a gesture: the
// auto-sketch tool traces them, the pattern tool stamps pattern curves.
class TSprayInputController : public TAbstractInputController {
 public:
  TSprayInputController(TDualImage& Document, bool AutoMode)
      : TAbstractInputController(Document, 1), FAutoMode(AutoMode) {}
  TSprayInputController(TPolyBezierLayer& Layer, bool AutoMode)
      : TAbstractInputController(Layer, 1), FAutoMode(AutoMode) {}
  void Activate() override;
  void Deactivate() override { Down = false; }
  bool Down = false;

 private:
  const bool FAutoMode;
};

// Auto-sketch: a failure while spraying is swallowed and the gesture then
// records nothing; the pictures go back to how they were before it.
class TAutoInputController : public TSprayInputController {
 public:
  explicit TAutoInputController(TDualImage& Document) : TSprayInputController(Document, true) {}
  explicit TAutoInputController(TPolyBezierLayer& Layer) : TSprayInputController(Layer, true) {}
  void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
               TPaintLayer* HitLayer) override;

 private:
  bool FEditOpen = false;  // this gesture's BeginEdit went through
};

class TPatternInputController : public TSprayInputController {
 public:
  explicit TPatternInputController(TDualImage& Document) : TSprayInputController(Document, false) {}
  explicit TPatternInputController(TPolyBezierLayer& Layer) : TSprayInputController(Layer, false) {}
  void MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                 TPaintLayer* HitLayer) override;
  void MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
               TPaintLayer* HitLayer) override;
};

}  // namespace brellin
