// A set of editable curves shown over a picture view: one display layer in
// the view paints them and answers the view's hit tests, so that a press on
// a curve point selects that point and makes its curve current.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "curves/PolyBezier.h"
#include "domain/PictureView.h"

namespace brellin {

class TPolyBezierLayer {
 public:
  using TNotifyEvent = std::function<void(TPolyBezierLayer& Sender)>;

  // Puts the display layer into View's layers, receiving mouse events.
  explicit TPolyBezierLayer(TPictureView* View);
  // Frees the curves and takes the display layer out of its view.
  ~TPolyBezierLayer();
  TPolyBezierLayer(const TPolyBezierLayer&) = delete;
  TPolyBezierLayer& operator=(const TPolyBezierLayer&) = delete;

  // Takes Curve over and makes it current; fires OnChange. Returns the curve.
  TPolyBezier* AddPolyBezier(std::unique_ptr<TPolyBezier> Curve);
  int Count() const { return int(Curves.size()); }
  // Raises "TPolyBezierLayer.GetPolyBeziers: Index out of bounds(n)".
  TPolyBezier* GetPolyBezier(int Index) const;
  // The current curve (CurrentIndex must be valid).
  TPolyBezier* CurrentPolyBezier() const { return GetPolyBezier(CurrentIndex); }
  // Frees every curve and repaints; CurrentIndex keeps its value.
  void Clear();
  // Sets AntiAliased on the layer and every curve (each curve then reports a change).
  void SetAntiAliased(bool Value);
  bool Capturing() const { return FCapturing; }
  void SetCapturing(bool Value) { FCapturing = Value; }
  bool IsDisplayLayer(const TPaintLayer* Layer) const;
  // Switches the delivery of mouse events to the display layer; the curves
  // stay visible.
  void DisableEditing();
  void EnableEditing();
  // Moves the display layer into another view's layers.
  void SetView(TPictureView* Value);
  void SetOnChange(TNotifyEvent Handler) { OnChange = std::move(Handler); }

  // The display layer's handlers. Origin is where the picture's top-left
  // corner lies in the buffer or view.
  void PaintCurves(TBitmap32& Buffer, TPoint Origin);
  bool HitTestCurves(TPoint Origin, int X, int Y);

  std::vector<std::unique_ptr<TPolyBezier>> Curves;
  TPictureView* View;  // not owned
  TBitmap32* Target = nullptr;
  bool AntiAliased = false;
  int CurrentIndex = -1;
  TPoint Origin;
  TNotifyEvent OnChange;

  // The stipple of the curves' control lines: a half-transparent blue
  // pixel every four.
  static constexpr TColor32 ControlLineStipple[4] = {0x7F0000FFu, 0, 0, 0};
  static constexpr TColor32 CurrentCurveColor = 0xFFFF0000u;
  static constexpr TColor32 OtherCurveColor = 0xFF808000u;

 private:
  class TDisplayLayer;
  void Fire() {
    if (OnChange) OnChange(*this);
  }
  std::unique_ptr<TDisplayLayer> FDisplayLayer;
  bool FCapturing = false;
};

}  // namespace brellin
