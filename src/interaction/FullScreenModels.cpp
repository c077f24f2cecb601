#include "interaction/FullScreenModels.h"

#include <algorithm>

#include "base/Rounding.h"

namespace brellin {

float TFullScreenBarModel::RememberedValue(int Id) const {
  for (size_t i = 0; i < Remembered.size(); ++i)
    if (Remembered[i] == Id) return FValues[i];
  return 0.0f;
}

std::vector<std::pair<int, float>> TFullScreenBarModel::Targets(TBarGauge Gauge,
                                                                float Value) const {
  std::vector<std::pair<int, float>> out;
  const auto scaled = [&](std::initializer_list<int> Ids) {
    for (int id : Ids) out.emplace_back(id, RememberedValue(id) * Value / 100.0f);
  };
  switch (Gauge) {
    case bgSize:
      scaled({pgWidth, pgLength, pgSize, pgDensity});
      break;
    case bgVariation:
      scaled({pgHueVar, pgSatVar, pgLightVar});
      break;
    case bgAlpha:
      out.emplace_back(pgAlpha, Value);
      break;
  }
  return out;
}

std::vector<std::pair<int, float>> TFullScreenBarModel::Restore() const {
  std::vector<std::pair<int, float>> out;
  for (size_t i = 0; i < Remembered.size(); ++i) out.emplace_back(Remembered[i], FValues[i]);
  return out;
}

void TNavigatorModel::SetSizes(int W, int H, int w, int h) {
  if (W <= 0 || H <= 0 || w <= 0 || h <= 0) {
    FScale = 0.0f;
    FThumb = {0, 0, 0, 0};
    return;
  }
  // The scale is kept in single precision: 1000 x 500 into 261 x 251 gives
  // a thumbnail 131 high, not 130.
  FScale = float(std::min(double(h) / H, double(w) / W));
  const int tw = Round(W * double(FScale)), th = Round(H * double(FScale));
  const int ox = (w - tw) / 2, oy = (h - th) / 2;
  FThumb = {ox, oy, ox + tw, oy + th};
}

void TNavigatorModel::SetVisible(TPoint TopLeft, TPoint BottomRight) {
  FTopLeft = TopLeft;
  FBottomRight = BottomRight;
}

TRect TNavigatorModel::ViewRect() const {
  const double s = FScale;
  TRect r{Round(FTopLeft.X * s) + FThumb.Left, Round(FTopLeft.Y * s) + FThumb.Top,
          Round(FBottomRight.X * s) + FThumb.Left, Round(FBottomRight.Y * s) + FThumb.Top};
  if (FDragging) {
    r.Left += FOffset.X;
    r.Right += FOffset.X;
    r.Top += FOffset.Y;
    r.Bottom += FOffset.Y;
  }
  return r;
}

bool TNavigatorModel::Hit(int X, int Y) const {
  const TRect r = ViewRect();
  return X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom;
}

bool TNavigatorModel::MouseDown(int X, int Y) {
  FOffset = {0, 0};
  FDragging = FScale > 0.0f && Hit(X, Y);
  FStart = {X, Y};
  return FDragging;
}

void TNavigatorModel::MouseMove(int X, int Y) {
  if (FDragging) FOffset = {X - FStart.X, Y - FStart.Y};
}

TPoint TNavigatorModel::MouseUp() {
  if (!FDragging) return {0, 0};
  FDragging = false;
  const double s = FScale;
  const TPoint d{Round(FOffset.X / s), Round(FOffset.Y / s)};
  FOffset = {0, 0};
  return d;
}

}  // namespace brellin
