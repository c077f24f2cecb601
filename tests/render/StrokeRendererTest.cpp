#include "render/StrokeRenderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "base/Blend.h"
#include "base/Errors.h"
#include "library/PersistentObjects.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TFixedPoint P(double x, double y) {
  return {FloatToFixed(x), FloatToFixed(y)};
}

TEST(StrokeRenderer, DefaultsAndSetters) {
  TPolygonStrokeRenderer r;
  EXPECT_EQ(r.Alpha(), 255);
  EXPECT_EQ(r.Color(), 0xFF000000u);
  EXPECT_EQ(r.Id(), 0);
  EXPECT_EQ(r.GetExtension(), "srd");
  EXPECT_EQ(r.GetBaseName(), "srend");
  EXPECT_EQ(TAbstractStrokeRenderer::StaticClass().GetExtension(), "srd");
  EXPECT_THROW(TAbstractStrokeRenderer::StaticClass().Create(), EBrellinError);
  EXPECT_NE(
      dynamic_cast<TPolygonStrokeRenderer*>(TPolygonStrokeRenderer::StaticClass().Create().get()),
      nullptr);

  r.SetReliefParams(0x1E58);
  EXPECT_EQ(r.Bumpiness(), 8);
  EXPECT_EQ(r.Softness(), 5);
  EXPECT_EQ(r.LightIntensity(), 30);
  r.SetAlpha(7);
  r.SetColor(0x12345678u);
  EXPECT_EQ(r.Alpha(), 7);
  EXPECT_EQ(r.Color(), 0x12345678u);
  EXPECT_FALSE(r.Modified());  // setters never mark a renderer modified

  // Never saved: its streams are empty both ways.
  TMemoryStream m;
  r.SaveToStream(m);
  EXPECT_EQ(m.Size(), 0);
  r.LoadFromStream(m);
}

TEST(StrokeRenderer, ContourRunsDownTheLeftAndBackUpTheRight) {
  TPolygonStrokeRenderer r;
  TBitmap32 bmp(40, 20, clWhite32);
  const TArrayOfFixedPoint left = {P(2, 4), P(20, 4), P(38, 4)};
  const TArrayOfFixedPoint right = {P(2, 14), P(20, 14), P(38, 14)};
  r.Render(left, right, bmp);
  EXPECT_EQ(r.LeftSide(), left);
  EXPECT_EQ(r.RightSide(), right);
  const TArrayOfFixedPoint expected = {P(2, 4), P(20, 4), P(38, 4), P(38, 14), P(20, 14), P(2, 14)};
  EXPECT_EQ(r.Contour(), expected);
  // Opaque black over white: w = 255, so full pixels become (255 + 128) shr 8 = 1.
  EXPECT_EQ(bmp.Pixel(20, 9), 0xFF010101u);
  EXPECT_EQ(bmp.Pixel(1, 9), clWhite32);
  EXPECT_EQ(bmp.Pixel(20, 3), clWhite32);
  EXPECT_EQ(bmp.Pixel(20, 14), clWhite32);

  // Had the right side been taken first to last, the outline would cross
  // itself and the even-odd rule would cut a hole in the middle.
  TBitmap32 ref(40, 20, clWhite32);
  ReferenceFillPolygon(ref, expected, clBlack32);
  for (size_t i = 0; i < ref.PixelCount(); ++i) ASSERT_EQ(bmp.Bits()[i], ref.Bits()[i]);
}

TEST(StrokeRenderer, HalfTransparentColourOverWhite) {
  TPolygonStrokeRenderer r;
  TBitmap32 bmp(10, 10, clWhite32);
  r.SetColor(0x80FF0000u);
  r.SetAlpha(0);  // the polygon brush ignores Alpha
  r.Render({P(0, 0), P(10, 0)}, {P(0, 10), P(10, 10)}, bmp);
  for (size_t i = 0; i < bmp.PixelCount(); ++i) ASSERT_EQ(bmp.Bits()[i], 0xFFFF8080u);
}

TEST(StrokeRenderer, FewerThanThreePointsPaintNothing) {
  TPolygonStrokeRenderer r;
  TBitmap32 bmp(10, 10, clWhite32);
  int changes = 0;
  bmp.OnChange = [&](TBitmap32&) { ++changes; };
  r.Render({}, {}, bmp);
  r.Render({P(1, 1)}, {P(8, 8)}, bmp);
  r.Render({}, {P(1, 1), P(8, 1)}, bmp);
  for (size_t i = 0; i < bmp.PixelCount(); ++i) ASSERT_EQ(bmp.Bits()[i], clWhite32);
  EXPECT_EQ(changes, 0);

  // One side may carry all the points.
  r.Render({}, {P(1, 1), P(8, 1), P(8, 8)}, bmp);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(bmp.Pixel(6, 3), clWhite32);
  // Passing the renderer's own sides back renders the same stroke again.
  r.Render(r.LeftSide(), r.RightSide(), bmp);
  EXPECT_EQ(r.Contour().size(), 3u);
  EXPECT_EQ(changes, 2);
}

TEST(StrokeRenderer, StrokesOffTheTargetAreClipped) {
  // Random strokes, many partly or wholly outside, some with far-away
  // points: the target equals the reference fill, stroke after stroke.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> coord(-30, 70), far(-30000, 30000);
  TPolygonStrokeRenderer r;
  TBitmap32 fast(40, 30, clWhite32);
  int differing = 0;
  for (int s = 0; s < 40; ++s) {
    TArrayOfFixedPoint left, right;
    for (int i = 0; i < 3; ++i) {
      left.push_back(P(coord(rng), coord(rng)));
      right.push_back(s % 5 == 0 && i == 1 ? P(far(rng), far(rng)) : P(coord(rng), coord(rng)));
    }
    const TColor32 color = 0xFF000000u | (rng() & 0xFFFFFF);
    r.SetColor(color);
    TBitmap32 before = fast;
    r.Render(left, right, fast);
    // Compare this stroke against the reference on the same background.
    TBitmap32 expected = before;
    ReferenceFillPolygon(expected, r.Contour(), color);
    for (size_t i = 0; i < fast.PixelCount(); ++i)
      for (int shift = 0; shift < 32; shift += 8) {
        // Coverage may differ by one step; a step moves a channel by at most 1.
        const int a = int((fast.Bits()[i] >> shift) & 0xFF),
                  b = int((expected.Bits()[i] >> shift) & 0xFF);
        ASSERT_LE(std::abs(a - b), 1) << "stroke " << s << " pixel " << i;
        differing += a != b;
      }
    fast = expected;  // keep both on the same background
  }
  EXPECT_LT(differing, int(40 * 4 * fast.PixelCount() / 100));  // rare: under 1% of channels
}

TEST(StrokeRenderer, WorksAsALibraryClass) {
  // The renderer library holds brush files; the polygon brush is inserted
  // first and found by Id 0.
  test::TTempDir dir;
  ::setenv("BRELLIN_HOME", dir.Path().c_str(), 1);
  TPersistentObjectManager lib(TAbstractStrokeRenderer::StaticClass());
  EXPECT_EQ(lib.Count(), 0);
  lib.InsertFirst(TPolygonStrokeRenderer::StaticClass().Create());
  auto* first = dynamic_cast<TAbstractStrokeRenderer*>(lib.FindById(0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(lib.NewName(), "new srend name");
}

}  // namespace
}  // namespace brellin
