#include "analysis/imagproc.h"

#include <algorithm>
#include <cmath>

#include "base/Rounding.h"

namespace brellin {

void RGBToHSL(uint8_t r8, uint8_t g8, uint8_t b8, float& h, float& s, float& l) {
  const float r = float(r8) / 255.0f, g = float(g8) / 255.0f, b = float(b8) / 255.0f;
  const float mx = std::max(r, std::max(g, b));
  const float mn = std::min(r, std::min(g, b));
  l = (mx + mn) / 2.0f;
  if (mx == mn) {
    h = 0.0f;
    s = 0.0f;
    return;
  }
  const float d = mx - mn;
  if (l < 0.5f)
    s = d / (mx + mn);
  else
    s = d / ((2.0f - mx) - mn);
  float hh;
  if (r == mx)
    hh = (g - b) / d;
  else if (g == mx)
    hh = 2.0f + (b - r) / d;
  else
    hh = 4.0f + (r - g) / d;
  hh = hh / 6.0f;
  if (hh < 0.0f) hh = hh + 1.0f;
  h = hh;
}

uint8_t DirectionByte(float y, float x) {
  float a;
  if (x == 0.0f) {
    a = y > 0.0f ? 1.5708f : 4.7124f;
  } else {
    a = float(std::atan2(double(y), double(x)) / 2.0);
    if (a < 0.0f) a = float(double(a) + 6.2832);
  }
  const float t = float(double(a) / 6.2832);
  return uint8_t(Round(double(float(double(t) * 255.0))));
}

}  // namespace brellin
