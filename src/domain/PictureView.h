// The model of a picture view: its picture, the layers painted over it, its
// scale and scroll, its cursor, the handlers of its mouse, wheel and key
// events, repaint requests and the mapping between view and picture
// coordinates. The desktop program draws it and delivers its events; the
// core only uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

class TPictureView;

// Something painted over a view's picture (overlays, cursors, curves).
class TPaintLayer {
 public:
  virtual ~TPaintLayer() = default;
  // Paints into a buffer at the picture's scale 1; (OriginX, OriginY) is
  // where the picture's top-left corner lies in the buffer.
  virtual void Paint(TBitmap32& Buffer, const TPictureView& View, int OriginX, int OriginY) = 0;
  // A layer that can paint straight into a view's buffer at the view's
  // scale says so; the others are composed with the picture at scale 1 and
  // scaled with it. (OriginX, OriginY) is again the picture's top-left
  // corner in the buffer.
  virtual bool PaintsScaled() const { return false; }
  virtual void PaintScaled(TBitmap32& Buffer, const TPictureView& View, int OriginX, int OriginY) {
    Paint(Buffer, View, OriginX, OriginY);
  }
  bool Visible = true;
  bool MouseEvents = false;
  // Whether the layer takes a mouse event at view position (X, Y); asked only
  // while it receives mouse events.
  virtual bool HitTest(const TPictureView& View, int X, int Y) {
    (void)View, (void)X, (void)Y;
    return false;
  }
  // False when a layer that paints at scale 1 has nothing to paint just now;
  // the view can then draw a zoomed-out picture from its cached levels.
  virtual bool PaintsAnything() const { return true; }
};

// Keys and buttons held during an event, as bit flags.
using TShiftState = uint8_t;
enum : TShiftState {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
};
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
// Virtual key codes, numbered as the platform's key codes.
constexpr uint16_t vkShift = 16;
constexpr uint16_t vkEscape = 27;

enum TViewCursor : uint8_t { crArrow, crCross };

// The event handlers of a view. A copy saves all of them at once, so a
// component that takes the events over can put the previous ones back.
struct TViewEvents {
  using TMouseEvent = std::function<void(TPictureView& Sender, TMouseButton Button,
                                         TShiftState Shift, int X, int Y, TPaintLayer* Layer)>;
  using TMouseMoveEvent = std::function<void(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                             TPaintLayer* Layer)>;
  using TWheelEvent =
      std::function<void(TPictureView& Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
  using TKeyEvent = std::function<void(TPictureView& Sender, uint16_t& Key, TShiftState Shift)>;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TWheelEvent OnMouseWheelDown;
  TWheelEvent OnMouseWheelUp;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
};

class TPictureView {
 public:
  // Any change of the picture that its owner reports (TBitmap32::Changed)
  // asks for a repaint, so what is shown never lags the picture.
  TPictureView();
  TPictureView(const TPictureView&) = delete;
  TPictureView& operator=(const TPictureView&) = delete;

  TBitmap32& Bitmap() { return FBitmap; }
  const TBitmap32& Bitmap() const { return FBitmap; }

  // Layers in painting order; not owned.
  std::vector<TPaintLayer*> Layers;
  void AddLayer(TPaintLayer* Layer) { Layers.push_back(Layer); }
  void RemoveLayer(TPaintLayer* Layer);
  void ClearLayers() { Layers.clear(); }

  // Written directly only to reset a view; SetScale and ScrollTo keep the
  // scroll inside the picture.
  float Scale = 1.0f;
  int ScrollX = 0, ScrollY = 0;
  // View pixels per pixel of the pointer's screen position (more than 1
  // where the view draws at a high-resolution screen's device pixels).
  float PixelRatio = 1.0f;
  // Last mouse position in view coordinates.
  TPoint MousePos;

  TPoint ViewToPicture(TPoint P) const;
  TPoint PictureToView(TPoint P) const;

  // Asks whoever shows the view to paint it again. The picture may have
  // changed (a stroke, an undo): its downsampled levels are made afresh.
  std::function<void()> OnRepaint;
  void Repaint() const {
    FLevelsStale = true;
    if (OnRepaint) OnRepaint();
  }
  // The same when only the layers changed (the brush cursor moved, an
  // overlay was switched): the picture's levels stay.
  void RepaintLayers() const {
    if (OnRepaint) OnRepaint();
  }

  // Paints the picture and the visible layers into Buffer at (X, Y), at scale 1.
  void PaintTo(TBitmap32& Buffer, int X = 0, int Y = 0);

  // The client area: the part of the view on screen, in view pixels.
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void SetClientSize(int Width, int Height);
  // The picture's size at the view's scale.
  int ScaledWidth() const;
  int ScaledHeight() const;
  // The part of the picture in the client area, in picture pixels (empty
  // when nothing shows).
  TRect VisibleRect() const;
  // Scrolls to (X, Y), kept between 0 and the scaled picture's size less
  // the client area's; OnScroll fires when the position changed.
  void ScrollTo(int X, int Y);
  // Changes the scale (values of 0 or less are refused) and keeps the scroll
  // inside the picture; repaints.
  void SetScale(float Value);
  std::function<void(TPictureView& Sender)> OnScroll;

  // Zoom is the scale. It runs from the scale that fits the picture in a
  // 64-pixel square (never above 1) up to MaxScale.
  static constexpr float MaxScale = 16.0f;
  float MinScale() const;
  // The scale that shows the whole picture in the client area, never above
  // 1 (a small picture is not enlarged) and within the limits.
  float FitScale() const;
  // Scale after Steps steps of a square root of two (negative: out). The
  // steps are the powers of that root, so 50 % and 100 % are always met.
  static float ZoomStep(float Scale, int Steps);
  // Sets the scale, kept within the limits, keeping the picture point under
  // view position Anchor where it is; repaints and reports the scroll.
  void ZoomAt(float Value, TPoint Anchor);
  // Below 100 % the picture is drawn smoothly filtered: bilinear from the
  // picture itself down to 50 %, below that from level k, the picture halved
  // k times (the least k with Scale x 2^k >= 1/2), each level pixel the rounded mean
  // of the 2 x 2 pixels of the level above (edge pixels repeated). Above
  // 100 % pixels stay sharp (each view pixel shows the picture pixel under it).
  static int LevelFor(float Scale);
  // Level k (0: the picture), made when asked for and kept until the
  // picture changes.
  const TBitmap32& Level(int K);

  // Shown where the client area lies beyond the picture.
  TColor32 BackgroundColor = 0xFF808080u;
  // Paints the client area: the visible part of the picture and its layers
  // at the view's scale. Buffer takes the client area's size. The result
  // is opaque: a picture's alpha is a property of its pixels, not a
  // see-through window onto whatever was on screen before.
  void Paint(TBitmap32& Buffer);

  // The mouse cursor over the view.
  TViewCursor Cursor() const { return FCursor; }
  void SetCursor(TViewCursor Value);
  std::function<void(TPictureView& Sender)> OnCursorChange;

  // The event handlers; whoever takes the events over saves and restores them.
  TViewEvents Events;
  // Event delivery, called by whoever shows the view: each records the
  // mouse position, finds the layer under the mouse for mouse buttons and
  // moves, and calls the handler when set. A silent stop raised by a
  // handler ends that event and goes no further; other failures pass.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  // Return whether a handler marked the wheel event handled.
  bool MouseWheelDown(TShiftState Shift, TPoint Pos);
  bool MouseWheelUp(TShiftState Shift, TPoint Pos);
  // Key may be changed by the handler (0: consumed).
  void KeyDown(uint16_t& Key, TShiftState Shift);
  void KeyUp(uint16_t& Key, TShiftState Shift);

  // The layer a mouse event at view position (X, Y) goes to: the topmost
  // visible layer receiving mouse events whose hit test takes it; nullptr
  // when none does (the event then belongs to the view itself).
  TPaintLayer* LayerAt(int X, int Y);

 private:
  void PaintClient(TBitmap32& Buffer);
  // Below scale 1, smoothly filtered; at or above it, each view pixel shows
  // the picture pixel under it. V is the visible part of the picture.
  void PaintReduced(TBitmap32& Buffer, size_t Composed, const TRect& V);
  void PaintEnlarged(TBitmap32& Buffer, size_t Composed, const TRect& V);
  // The picture and the first Count layers into Buffer at (X, Y), at scale 1.
  void Compose(TBitmap32& Buffer, int X, int Y, size_t Count);
  TBitmap32 FBitmap;
  TBitmap32 FComposite;            // the visible part at scale 1, kept between paints
  TBitmap32 FScaled;               // the visible part filtered down, kept between paints
  std::vector<TBitmap32> FLevels;  // FLevels[k - 1] is level k
  mutable bool FLevelsStale = true;
  int FClientWidth = 0, FClientHeight = 0;
  TViewCursor FCursor = crArrow;
};

}  // namespace brellin
