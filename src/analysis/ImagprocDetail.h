// Per-element formulas shared by the plain and the optimised filters, so the
// two can only differ in how they loop, never in what they compute.
#pragma once

#include <cmath>
#include <cstdlib>

namespace brellin::detail {

// Sector (0, 45, 90 or 135 degrees) of the gradient (gx, gy): the angle
// arctan2(gx, gy) folded into [0, 180) degrees, held in single precision.
inline int EdgeSector(int gx, int gy) {
  float theta;
  if (gy == 0) {
    theta = gx != 0 ? 90.0f : 0.0f;
  } else {
    const float q = float(std::atan(double(std::abs(gx)) / double(std::abs(gy))) * 180.0 / M_PI);
    if (gx == 0 || (gx > 0) == (gy > 0))
      theta = q;
    else
      theta = 180.0f - q;
  }
  if (theta < 22.5f) return 0;
  if (theta < 67.5f) return 45;
  if (theta < 112.5f) return 90;
  if (theta < 157.5f) return 135;
  return 0;
}

// Bilinear blend of four block values with single-precision fractions,
// formed in double and stored as single.
inline float Bilinear(float ax, float ay, float g00, float g10, float g01, float g11) {
  const double dax = ax, day = ay;
  return float((1.0 - dax) * (1.0 - day) * double(g00) + dax * (1.0 - day) * double(g10) +
               (1.0 - dax) * day * double(g01) + dax * day * double(g11));
}

}  // namespace brellin::detail
