#include "render/BumpMap.h"

#include <algorithm>
#include <cmath>

#include "analysis/Effects.h"
#include "base/Rounding.h"

namespace brellin {

void ApplyRelief(TBitmap32& dst, TBitmap32& src, int depth, int softness, float azimuthDeg,
                 float elevationDeg) {
  BlurAlphaTimes(src, softness);
  const int w = src.Width(), h = src.Height();
  if (w < 6 || h < 4) return;
  // A bumpiness of 0 means no relief at all; the callers skip it, and a zero
  // here must not divide.
  if (depth == 0 || dst.Width() != w || dst.Height() != h) return;
  const double a = double(azimuthDeg) * M_PI / 180.0, e = double(elevationDeg) * M_PI / 180.0;
  const int lx = Round(std::cos(a) * std::cos(e) * 255.9);
  const int ly = Round(std::sin(a) * std::cos(e) * 255.9);
  const int lz = Round(std::sin(e) * 255.9);
  const int nz = Round(1530.0 / depth);
  const int64_t nz2 = int64_t(nz) * nz, nzlz = int64_t(nz) * lz;
  for (int y = 3; y <= h - 3; ++y) {
    // The 3 x 3 window centred one pixel right of and below the output pixel.
    const TColor32* top = src.ScanLine(y);
    const TColor32* mid = src.ScanLine(y + 1);
    const TColor32* bot = src.ScanLine(y + 2);
    const TColor32* srow = src.ScanLine(y);
    TColor32* drow = dst.ScanLine(y);
    for (int x = 2; x <= w - 3; ++x) {
      const int left = int(top[x] >> 24) + int(mid[x] >> 24) + int(bot[x] >> 24);
      const int right = int(top[x + 2] >> 24) + int(mid[x + 2] >> 24) + int(bot[x + 2] >> 24);
      const int bottom = int(bot[x] >> 24) + int(bot[x + 1] >> 24) + int(bot[x + 2] >> 24);
      const int upper = int(top[x] >> 24) + int(top[x + 1] >> 24) + int(top[x + 2] >> 24);
      const int gx = left - right, gy = bottom - upper;
      int shade;
      if (gx == 0 && gy == 0) {
        shade = lz;
      } else {
        const int64_t f = int64_t(gx) * lx + int64_t(gy) * ly + nzlz;
        shade =
            f < 0 ? 0
                  : Round(double(f) / std::sqrt(double(int64_t(gx) * gx + int64_t(gy) * gy + nz2)));
      }
      shade -= 127;
      const TColor32 s = srow[x];
      const int r = std::clamp(int((s >> 16) & 0xFF) + shade, 0, 255);
      const int g = std::clamp(int((s >> 8) & 0xFF) + shade, 0, 255);
      const int b = std::clamp(int(s & 0xFF) + shade, 0, 255);
      drow[x] = (drow[x] & 0xFF000000u) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
    }
  }
  dst.Changed();
}

}  // namespace brellin
