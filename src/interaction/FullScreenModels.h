// What the full-screen paint bar and the navigator decide, apart from their
// widgets: the bar's percentages of the main window's gauges, and the
// navigator's thumbnail, the visible rectangle on it and its drag.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "base/Types.h"
#include "interaction/MainWindowModel.h"

namespace brellin {

// The full-screen paint bar's gauges scale main-window gauges from the
// values those held when the bar opened; closing puts those values back.
class TFullScreenBarModel {
 public:
  enum TBarGauge { bgSize, bgAlpha, bgVariation };
  // The main window's gauges the bar remembers, in this order.
  static constexpr std::array<int, 8> Remembered = {pgAlpha,  pgWidth,    pgLength, pgHueVar,
                                                    pgSatVar, pgLightVar, pgSize,   pgDensity};
  // Takes the main window's values: Value(Id) reads gauge Id.
  template <class F>
  void Remember(F Value) {
    for (size_t i = 0; i < Remembered.size(); ++i) FValues[i] = float(Value(Remembered[i]));
  }
  float RememberedValue(int Id) const;
  // The main-window gauges a bar value writes, and what each is asked to
  // hold (the gauges clamp): "Size:" p scales Width, Length, Size and
  // Density by p / 100, "Color Variation:" p the three variations, and
  // "Transparency:" is written as it stands.
  std::vector<std::pair<int, float>> Targets(TBarGauge Gauge, float Value) const;
  // Everything remembered, to put back on close.
  std::vector<std::pair<int, float>> Restore() const;

 private:
  std::array<float, 8> FValues{};
};

// The navigator: the destination picture (W x H) drawn to fit a picture of
// w x h, with the destination view's visible part outlined on it; dragging
// the outline scrolls the view.
class TNavigatorModel {
 public:
  // Sizes the thumbnail; a side of 0 gives scale 0 and an empty thumbnail.
  void SetSizes(int PictureWidth, int PictureHeight, int NavigatorWidth, int NavigatorHeight);
  float Scale() const { return FScale; }
  // Where the destination is drawn on the navigator's picture.
  TRect ThumbRect() const { return FThumb; }

  // The view's visible part, given as the picture coordinates of the view's
  // top-left and bottom-right corners; the outline follows a drag.
  void SetVisible(TPoint TopLeft, TPoint BottomRight);
  TRect ViewRect() const;
  // Whether a point of the navigator's picture lies on or inside the outline.
  bool Hit(int X, int Y) const;

  // A press inside the outline starts a drag (returns true); elsewhere it
  // ends any drag.
  bool MouseDown(int X, int Y);
  void MouseMove(int X, int Y);
  bool Dragging() const { return FDragging; }
  TPoint DragOffset() const { return FOffset; }
  // Ends the drag: how far the view scrolls, in picture pixels (0, 0 when
  // there was no drag).
  TPoint MouseUp();

 private:
  float FScale = 0.0f;
  TRect FThumb{0, 0, 0, 0};
  TPoint FTopLeft, FBottomRight;
  bool FDragging = false;
  TPoint FStart, FOffset;
};

}  // namespace brellin
