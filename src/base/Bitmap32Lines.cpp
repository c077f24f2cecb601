// Anti-aliased lines of TBitmap32.
#include <algorithm>
#include <cmath>
#include <utility>

#include "base/Bitmap32.h"
#include "base/Blend.h"
#include "base/Rounding.h"

namespace brellin {

namespace {

constexpr int64_t Half = FixedOne / 2;

// Wu-style line between two 16.16 positions measured from pixel centres
// (pixel (x, y) is centred at (x, y) here). Every step along the major axis
// lights one pixel's worth of coverage, split over the two pixels the line
// passes between on the minor axis.
void WuLine(TBitmap32& bmp, int64_t x1, int64_t y1, int64_t x2, int64_t y2, TColor32 color,
            bool skipLast) {
  const bool steep = std::llabs(y2 - y1) > std::llabs(x2 - x1);
  // u is the major axis, v the minor one.
  int64_t u1 = x1, v1 = y1, u2 = x2, v2 = y2;
  if (steep) {
    std::swap(u1, v1);
    std::swap(u2, v2);
  }
  const int64_t majorSize = steep ? bmp.Height() : bmp.Width();
  const int64_t du = u2 - u1, dv = v2 - v1;
  const int64_t us = (u1 + Half) >> 16, ue = (u2 + Half) >> 16;
  const int64_t step = ue >= us ? 1 : -1;
  const int64_t count = std::llabs(ue - us) + (skipLast ? 0 : 1);

  // Only the steps whose major coordinate lies inside the bitmap.
  int64_t iLo, iHi;
  if (step > 0) {
    iLo = std::max<int64_t>(0, -us);
    iHi = std::min<int64_t>(count - 1, majorSize - 1 - us);
  } else {
    iLo = std::max<int64_t>(0, us - (majorSize - 1));
    iHi = std::min<int64_t>(count - 1, us);
  }
  for (int64_t i = iLo; i <= iHi; ++i) {
    const int64_t u = us + step * i;
    // Minor coordinate at this pixel's centre, floored; exact in 128 bits.
    int64_t v = v1;
    if (du != 0) {
      const __int128 num = __int128(u * FixedOne - u1) * dv;
      __int128 q = num / du;
      if (num % du != 0 && ((num < 0) != (du < 0))) --q;
      v += int64_t(q);
    }
    const int64_t vi = v >> 16;  // floor
    const uint32_t k2 = uint32_t(((v & 0xFFFF) * 255 + Half) >> 16), k1 = 255 - k2;
    if (vi < -1 || vi > (steep ? bmp.Width() : bmp.Height())) continue;
    if (steep) {
      bmp.BlendCoverageS(int(vi), int(u), color, k1);
      bmp.BlendCoverageS(int(vi + 1), int(u), color, k2);
    } else {
      bmp.BlendCoverageS(int(u), int(vi), color, k1);
      bmp.BlendCoverageS(int(u), int(vi + 1), color, k2);
    }
  }
}

// Liang-Barsky: cuts the segment to the box; false when nothing is left.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double xMin, double yMin,
                 double xMax, double yMax) {
  double t0 = 0, t1 = 1;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - xMin, xMax - x1, y1 - yMin, yMax - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, r);
    else
      t1 = std::min(t1, r);
    if (t0 > t1) return false;
  }
  const double ox = x1, oy = y1;
  if (t1 < 1) {
    x2 = ox + t1 * dx;
    y2 = oy + t1 * dy;
  }
  if (t0 > 0) {
    x1 = ox + t0 * dx;
    y1 = oy + t0 * dy;
  }
  return true;
}

// Calls plot(x, y) for the pixels of the digital line between two pixel
// positions, in order from the first; the part outside the box around the
// bitmap is cut off first, so far-away ends cost nothing.
template <class TPlot>
void WalkLine(double x1, double y1, double x2, double y2, int width, int height, bool skipLast,
              TPlot&& plot) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const double ex = x2, ey = y2;
  if (!ClipSegment(x1, y1, x2, y2, -1, -1, width, height)) return;
  // A clipped end is not the line's own end: its pixel lies outside anyway.
  const bool clippedEnd = x2 != ex || y2 != ey;
  const int64_t ax = Round64(x1), ay = Round64(y1), bx = Round64(x2), by = Round64(y2);
  const int64_t dx = std::llabs(bx - ax), dy = std::llabs(by - ay);
  const int64_t sx = bx >= ax ? 1 : -1, sy = by >= ay ? 1 : -1;
  const int64_t n = std::max(dx, dy) + (skipLast && !clippedEnd ? 0 : 1);
  int64_t x = ax, y = ay, err = 0;
  for (int64_t i = 0; i < n; ++i) {
    plot(int(x), int(y));
    if (dx >= dy) {
      x += sx;
      err += 2 * dy;
      if (err > dx) {
        y += sy;
        err -= 2 * dx;
      }
    } else {
      y += sy;
      err += 2 * dx;
      if (err > dy) {
        x += sx;
        err -= 2 * dy;
      }
    }
  }
}

}  // namespace

void TBitmap32::LineS(int x1, int y1, int x2, int y2, TColor32 color) {
  WalkLine(x1, y1, x2, y2, FWidth, FHeight, false, [&](int x, int y) { SetPixelS(x, y, color); });
  Changed();
}

void TBitmap32::SetStipple(std::vector<TColor32> Pattern) {
  StipplePattern = std::move(Pattern);
  StippleCounter = 0.0f;
}

TColor32 TBitmap32::NextStippleColor() {
  const size_t n = StipplePattern.size();
  if (n == 0) return 0;
  double c = std::fmod(double(StippleCounter), double(n));
  if (c < 0) c += double(n);
  const TColor32 color = StipplePattern[std::min(n - 1, size_t(c))];
  StippleCounter = float(std::fmod(c + double(StippleStep), double(n)));
  return color;
}

void TBitmap32::LineFSP(float x1, float y1, float x2, float y2, bool skipLast) {
  if (StipplePattern.empty()) return;
  // Pixel centres lie at x + 0.5: the pixel under a position is its floor.
  WalkLine(std::floor(x1), std::floor(y1), std::floor(x2), std::floor(y2), FWidth, FHeight,
           skipLast, [&](int x, int y) {
             const TColor32 c = NextStippleColor();
             if (Contains(x, y)) {
               TColor32& p = FBits[size_t(y) * size_t(FWidth) + size_t(x)];
               p = BlendBySourceAlpha(c, p);
             }
           });
  Changed();
}

void TBitmap32::BlendCoverageS(int x, int y, TColor32 c, uint32_t k) {
  if (!Contains(x, y)) return;
  const uint32_t w = CoverageWeight(k, c >> 24);
  if (w == 0) return;
  TColor32& p = FBits[size_t(y) * size_t(FWidth) + size_t(x)];
  p = BlendWeighted((c & 0x00FFFFFFu) | (k << 24), p, w);
}

void TBitmap32::LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 color, bool skipLast) {
  WuLine(*this, int64_t(x1) - Half, int64_t(y1) - Half, int64_t(x2) - Half, int64_t(y2) - Half,
         color, skipLast);
  Changed();
}

void TBitmap32::LineFS(float x1, float y1, float x2, float y2, TColor32 color, bool skipLast) {
  double ax = double(x1) - 0.5, ay = double(y1) - 0.5, bx = double(x2) - 0.5, by = double(y2) - 0.5;
  if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by)) return;
  // Far-away ends would overflow the fixed-point work; a margin of a few
  // pixels keeps a clipped end's pixels outside the bitmap.
  const bool inside = ClipSegment(ax, ay, bx, by, -4, -4, FWidth + 4, FHeight + 4);
  if (inside)
    WuLine(*this, Round64(ax * FixedOne), Round64(ay * FixedOne), Round64(bx * FixedOne),
           Round64(by * FixedOne), color, skipLast);
  Changed();
}

void TBitmap32::MoveToF(float x, float y) {
  FPenX = x;
  FPenY = y;
}

void TBitmap32::LineToFS(float x, float y, bool skipLast) {
  LineFS(float(FPenX), float(FPenY), x, y, PenColor, skipLast);
  FPenX = x;
  FPenY = y;
}

void TBitmap32::MoveToX(TFixed x, TFixed y) {
  FPenX = FixedToFloat(x);
  FPenY = FixedToFloat(y);
}

void TBitmap32::LineToXS(TFixed x, TFixed y, bool skipLast) {
  LineXS(TFixed(Round64(FPenX * FixedOne)), TFixed(Round64(FPenY * FixedOne)), x, y, PenColor,
         skipLast);
  FPenX = FixedToFloat(x);
  FPenY = FixedToFloat(y);
}

}  // namespace brellin
