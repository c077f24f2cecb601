// Paints a style's preview: many strokes of the style scattered over a
// sample feature map, each following its own nearly horizontal heading.
#pragma once

#include <cstdint>

#include "base/Bitmap32.h"

namespace brellin {

class TBStyle;
class TLineSampler;

class TEffectSampler {
 public:
  // Feature, Style and Dest are not owned.
  TEffectSampler(const TBitmap32* Feature, TBStyle* Style, TBitmap32* Dest);

  void SetScale(float S) { Scale = S; }
  // Draws the whole preview.
  void Run();
  // One stroke seeded at feature-map point (X, Y).
  void StrokeAt(int X, int Y);
  // The samplers' direction callback: the stroke's heading wherever it is.
  void ProvideHeading(int X, int Y, uint8_t& Dir);
  // Paints a finished sampler's stroke with the style's brush.
  void DrawStroke(TLineSampler& Sampler);

  uint8_t Heading = 0;
  const TBitmap32* Feature;
  TBitmap32* Dest;
  TBStyle* Style;
  float Scale = 1.0f;
  int DensityBase = 700;
};

}  // namespace brellin
