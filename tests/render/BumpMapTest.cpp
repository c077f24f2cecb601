#include <gtest/gtest.h>

#include "render/BumpMap.h"

namespace brellin {
namespace {

TEST(ApplyRelief, FlatAlphaBrightensByLightMinus127InsideTheMargin) {
  // Elevation 30 degrees: Lz = Round(0.5 * 255.9) = 128, so a flat surface
  // (no gradient) gets shade 128 - 127 = +1 inside the shaded area.
  TBitmap32 dst(12, 9, Color32(10, 20, 30, 200));
  TBitmap32 src = dst;
  ApplyRelief(dst, src, 8, 5, 4.0f, 30.0f);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool shaded = x >= 2 && x <= 12 - 3 && y >= 3 && y <= 9 - 3;
      EXPECT_EQ(dst.Pixel(x, y), shaded ? Color32(11, 21, 31, 200) : Color32(10, 20, 30, 200))
          << x << "," << y;
    }
}

TEST(ApplyRelief, SlopesFacingTheLightBrightenAndAwayDarken) {
  // Alpha rising to the right: the window's left column is lower than its
  // right one, so Gx < 0 and a light from azimuth 4 degrees (nearly +x)
  // gives less light than on the mirrored slope.
  const int w = 20, h = 10;
  TBitmap32 up(w, h), down(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      up.SetPixel(x, y, Color32(100, 100, 100, uint8_t(x * 12)));
      down.SetPixel(x, y, Color32(100, 100, 100, uint8_t(255 - x * 12)));
    }
  TBitmap32 upSrc = up, downSrc = down;
  ApplyRelief(up, upSrc, 15, 0, 4.0f, 30.0f);
  ApplyRelief(down, downSrc, 15, 0, 4.0f, 30.0f);
  const int ru = RedComponent(up.Pixel(10, 5)), rd = RedComponent(down.Pixel(10, 5));
  EXPECT_LT(ru, 100);
  EXPECT_GT(rd, 100);
  EXPECT_EQ(AlphaComponent(up.Pixel(10, 5)), 120);  // alpha is kept
}

TEST(ApplyRelief, SmallOrDepthlessBitmapsAreLeftAlone) {
  TBitmap32 dst(5, 9, Color32(10, 20, 30, 200)), src = dst;
  ApplyRelief(dst, src, 8, 0, 4.0f, 30.0f);
  EXPECT_EQ(dst.Pixel(2, 4), Color32(10, 20, 30, 200));
  TBitmap32 dst2(12, 9, Color32(10, 20, 30, 200)), src2 = dst2;
  ApplyRelief(dst2, src2, 0, 0, 4.0f, 30.0f);
  EXPECT_EQ(dst2.Pixel(5, 4), Color32(10, 20, 30, 200));
}

}  // namespace
}  // namespace brellin
