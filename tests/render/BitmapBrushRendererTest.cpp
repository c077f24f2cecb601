#include <gtest/gtest.h>

#include <filesystem>

#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "render/BitmapBrushRenderer.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TArrayOfFixedPoint Side(std::initializer_list<TPoint> pts) {
  TArrayOfFixedPoint s;
  for (const TPoint& p : pts) s.push_back(FixedPoint(p.X, p.Y));
  return s;
}

void MakeWhite(TBitmapBrushStrokeRenderer& r, int w, int h, int referenceWidth) {
  r.BrushBitmap = TBitmap32(w, h, clWhite32);
  r.ReferenceWidth = referenceWidth;
}

TEST(BitmapBrush, InteriorLanesOfAWhiteBrushCarryAlpha254) {
  TBitmapBrushStrokeRenderer r;
  MakeWhite(r, 32, 8, 8);
  r.SetColor(0xFF102030);
  r.SetAlpha(255);
  TBitmap32 target(120, 80, clWhite32);
  // A horizontal stroke 20 pixels wide from x = 10 to x = 90.
  r.Render(Side({{10, 30}, {50, 30}, {90, 30}}), Side({{10, 50}, {50, 50}, {90, 50}}), target);
  EXPECT_EQ(r.Thickness, 20);  // 20 * 8 rows / reference width 8
  EXPECT_GT(r.DirectionCount, 70);
  const TBitmap32& s = r.StrokeBitmap();
  ASSERT_FALSE(s.Empty());
  // The centre line runs at y = 40; interior lanes hold full-strength pixels.
  const int cx = 50 - r.BoundLeft, cy = 40 - r.BoundTop;
  EXPECT_EQ(s.Pixel(cx, cy), 0xFE102030u);
  EXPECT_EQ(s.Pixel(cx, cy + 3), 0xFE102030u);
  // On the target the colour is blended in; outside the stroke nothing changes.
  EXPECT_EQ(target.Pixel(50, 40) & 0xFFFFFF,
            0x122232u);  // (256 * 255 + (16 - 255) * 254 + 128) shr 8 = 18
  EXPECT_EQ(target.Pixel(50, 5), clWhite32);
  EXPECT_EQ(target.DrawMode, dmOpaque);
}

TEST(BitmapBrush, ZeroThicknessPaintsOneEdgeLaneAtOpacity96) {
  TBitmapBrushStrokeRenderer r;
  MakeWhite(r, 16, 8, 8);
  r.SetColor(clBlack32);
  r.SetAlpha(255);
  TBitmap32 target(60, 40, clWhite32);
  r.Render(Side({{5, 20}, {50, 20}}), Side({{5, 20}, {50, 20}}), target);
  EXPECT_EQ(r.Thickness, 0);
  EXPECT_EQ(r.Alpha(), 96);
  int painted = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) painted += target.Pixel(x, y) != clWhite32;
  EXPECT_GT(painted, 30);
  EXPECT_LT(painted, 45 * 3);  // one lane: about one or two pixels per column
}

TEST(BitmapBrush, ReliefOnlyWithBumpinessAndLight) {
  TBitmapBrushStrokeRenderer r;
  MakeWhite(r, 32, 8, 8);
  r.SetColor(0xFF808080);
  r.SetAlpha(255);
  TBitmap32 target(120, 80, clWhite32);
  r.SetReliefParams(0x1E00);  // light 30, bumpiness 0: no relief
  r.Render(Side({{10, 30}, {90, 30}}), Side({{10, 50}, {90, 50}}), target);
  const TBitmap32& s = r.StrokeBitmap();
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) ASSERT_EQ(s.Pixel(x, y) & 0xFFFFFF, 0x808080u);
  r.SetReliefParams(0x1E58);  // bumpiness 8, softness 5, light 30
  r.Render(Side({{10, 30}, {90, 30}}), Side({{10, 50}, {90, 50}}), target);
  bool shaded = false;
  for (int y = 0; y < r.StrokeBitmap().Height(); ++y)
    for (int x = 0; x < r.StrokeBitmap().Width(); ++x)
      shaded = shaded || (r.StrokeBitmap().Pixel(x, y) & 0xFFFFFF) != 0x808080u;
  EXPECT_TRUE(shaded);
}

TEST(BitmapBrush, StrokesLeavingTheTargetAreClippedNotOverrun) {
  TBitmapBrushStrokeRenderer r;
  MakeWhite(r, 32, 8, 8);
  r.SetColor(clBlack32);
  r.SetAlpha(255);
  TBitmap32 target(50, 50, clWhite32);
  // Runs off the left edge: the sweeps stop at the first x below 1.
  r.Render(Side({{40, 20}, {-30, 20}}), Side({{40, 30}, {-30, 30}}), target);
  EXPECT_GE(r.BoundLeft, 1);
  // Wholly outside, enormous and degenerate strokes paint nothing and do not crash.
  r.Render(Side({{-500, -500}, {-400, -500}}), Side({{-500, -480}, {-400, -480}}), target);
  r.Render(Side({{0, 0}, {30000, 30000}}), Side({{0, 10}, {30000, 30010}}), target);
  r.Render(Side({}), Side({{1, 1}}), target);
  SUCCEED();
}

TEST(BitmapBrush, BrushFilesAreCheckedWhenRead) {
  auto file = [](int32_t id, int32_t ref, const TBitmap32* pic) {
    TMemoryStream s;
    s.WriteValue(id);
    s.WriteValue(ref);
    if (pic) SaveBMPToStream(*pic, s, 24);
    s.SetPosition(0);
    return s;
  };
  const TBitmap32 pic(64, 16, clWhite32);
  TBitmapBrushStrokeRenderer r;
  auto good = file(77, 16, &pic);
  r.LoadFromStream(good);
  EXPECT_EQ(r.Id(), 77);
  EXPECT_EQ(r.ReferenceWidth, 16);
  EXPECT_EQ(r.BrushBitmap.Width(), 64);
  auto zeroRef = file(1, 0, &pic);
  EXPECT_THROW(r.LoadFromStream(zeroRef), EInvalidData);
  auto noPicture = file(1, 8, nullptr);
  EXPECT_THROW(r.LoadFromStream(noPicture), EInvalidData);
  TMemoryStream tooShort;
  tooShort.WriteValue<int32_t>(5);
  tooShort.SetPosition(0);
  EXPECT_THROW(r.LoadFromStream(tooShort), EInvalidData);
  // Every shipped brush loads.
  for (const auto& e :
       std::filesystem::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
    if (e.path().extension() == ".srd") {
      TBitmapBrushStrokeRenderer b;
      TFileStream f(e.path().string(), fmOpenRead);
      EXPECT_NO_THROW(b.LoadFromStream(f)) << e.path();
      EXPECT_GT(b.Id(), 0);
    }
}

}  // namespace
}  // namespace brellin
