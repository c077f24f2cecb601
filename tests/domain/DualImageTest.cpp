#include <gtest/gtest.h>

#include <cmath>

#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/DualImage.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

struct TDocFixture {
  TPictureView Source, Dest;
  TBStyle Style;
  std::unique_ptr<TDualImage> Doc;
  TDocFixture() {
    Source.Bitmap() = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
    Dest.Bitmap().SetSize(128, 96);
    Dest.Bitmap().Clear(clWhite32);
    Doc = std::make_unique<TDualImage>(&Source, 1.0f, &Dest);
    Doc->SetStyle(&Style);
    Doc->AutoMode = true;
  }
};

// "View Directions" shows the feature map's direction wherever the contour
// is strong enough for a stroke to follow it, on a grey picture too (whose
// hue and saturation indexes are all 0).
TEST(DualImage, DirectionOverlayFollowsTheFeatureMapOnGreyPictures) {
  TBitmap32 grey = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
  for (size_t i = 0; i < grey.PixelCount(); ++i) {
    const TColor32 c = grey.Bits()[i];
    const uint32_t v = (((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF)) / 3;
    grey.Bits()[i] = 0xFF000000u | v << 16 | v << 8 | v;
  }
  test::TTestDocument d(grey);
  d.Doc->SetViewDirections(true);
  ASSERT_EQ(d.Source.Layers.size(), 3u);
  TBitmap32 buffer(128, 96, clWhite32);
  d.Source.Layers[1]->Paint(buffer, d.Source, 0, 0);
  const TBitmap32& f = d.Doc->FeatureMap;
  int strong = 0, shown = 0;
  for (int x = 0; x < f.Width(); x += 10)
    for (int y = 0; y < f.Height(); y += 10) {
      const TColor32 p = f.Pixel(x, y);
      if (FeatureStrength(p) == 0) continue;
      const double a = -(FeatureDirection(p) / 255.0) * 2.0 * M_PI - M_PI;
      const int ex = int(std::lround(x + 8.0 * std::cos(a))),
                ey = int(std::lround(y + 8.0 * std::sin(a)));
      if (!buffer.Contains(ex, ey)) continue;
      ++strong;
      if (buffer.Pixel(ex, ey) != clWhite32) ++shown;
    }
  ASSERT_GT(strong, 40);
  EXPECT_GT(shown, strong * 9 / 10) << shown << " of " << strong;
}

TEST(DualImage, CreationDefaultsAndLayers) {
  TDocFixture f;
  TDualImage& d = *f.Doc;
  EXPECT_EQ(d.FeatureMap.Width(), 128);
  EXPECT_EQ(d.Colors.ColorMode, cmAuto);
  EXPECT_EQ(d.Colors.ForeColor, clWhite32);
  EXPECT_EQ(d.Colors.BackColor, clBlack32);
  EXPECT_EQ(d.Density, 50);
  EXPECT_EQ(d.BrushRadius, 50);
  EXPECT_FALSE(d.Modified);
  // Curves under the overlays, the cursor on top; also after a round trip
  // of the active view through the destination.
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(f.Source.Layers.size(), 3u);
    EXPECT_TRUE(d.VectorLayer->IsDisplayLayer(f.Source.Layers[0]));
    EXPECT_FALSE(f.Source.Layers[1]->MouseEvents);  // the overlay
    d.SetCursorKind(0);                             // the cursor is the layer it hides
    EXPECT_FALSE(f.Source.Layers[2]->Visible);
    d.SetCursorKind(1);
    EXPECT_TRUE(f.Source.Layers[2]->Visible);
    d.SetActiveView(&f.Dest);
    ASSERT_EQ(f.Dest.Layers.size(), 2u);
    EXPECT_TRUE(d.VectorLayer->IsDisplayLayer(f.Dest.Layers[0]));
    d.SetActiveView(&f.Source);
  }
  d.SetBrushRadius(7);
  d.SetBrushRadius(501);
  EXPECT_EQ(d.BrushRadius, 50);
  d.SetBrushRadius(8);
  EXPECT_EQ(d.BrushRadius, 8);
  d.SetBrushRadius(500);
  EXPECT_EQ(d.BrushRadius, 500);
}

TEST(DualImage, SprayCountsAndPaintAtSkips) {
  EXPECT_EQ(SprayCount(40, 50, 12), 51);
  EXPECT_EQ(SprayCount(300, 5, 40), 22);
  TDocFixture f;
  TDualImage& d = *f.Doc;
  d.BeginEdit();
  const uint32_t seed = RandSeed();
  d.PaintAt(-1, 0);
  d.PaintAt(128, 0);
  EXPECT_TRUE(d.Modified);
  EXPECT_EQ(RandSeed(), seed);  // skipped before any draw
  EXPECT_TRUE(IsEmptyRect(d.DirtyRect));
  // Nothing painted: the edit ends with a silent stop and no change notification.
  int changes = 0;
  d.OnChange = [&](TDualImage&) { ++changes; };
  EXPECT_THROW(d.EndEdit(), ESilentStop);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(d.EditDepth, 0);
}

TEST(DualImage, BorderLimitIsAStrictMinimum) {
  TDocFixture f;
  TDualImage& d = *f.Doc;
  // Find a pixel with some strength and set the limit to exactly it.
  int sx = -1, sy = -1;
  for (int y = 10; y < 86 && sx < 0; ++y)
    for (int x = 10; x < 118; ++x)
      if (FeatureStrength(d.FeatureMap.Pixel(x, y)) >= 20) {
        sx = x, sy = y;
        break;
      }
  ASSERT_GE(sx, 0);
  const int s = FeatureStrength(d.FeatureMap.Pixel(sx, sy));
  f.Style.Params.BorderLimit = uint8_t(s);
  d.BeginEdit();
  d.PaintAt(sx, sy);  // equal: traced
  EXPECT_FALSE(IsEmptyRect(d.DirtyRect));
  d.EndEdit();
  f.Style.Params.BorderLimit = uint8_t(s + 1);
  d.BeginEdit();
  const uint32_t seed = RandSeed();
  d.PaintAt(sx, sy);  // below: skipped
  EXPECT_EQ(RandSeed(), seed);
  EXPECT_THROW(d.EndEdit(), ESilentStop);
}

TEST(DualImage, StrokeLengthRangeAndReproducibleSpray) {
  // With Length 40 the step count lies in 38..41; with 9 it is exactly 9.
  for (int len : {40, 9}) {
    TDocFixture f;
    f.Style.Params.Length = len;
    SetRandSeed(5);
    for (int i = 0; i < 50; ++i) {
      const int r = Random(len / 10) + len - len / 20;
      EXPECT_GE(r, len == 40 ? 38 : 9);
      EXPECT_LE(r, len == 40 ? 41 : 9);
    }
  }
  auto spray = [](uint32_t seed) {
    TDocFixture f;
    SetRandSeed(seed);
    f.Doc->BeginEdit();
    f.Doc->SprayAt(64, 48);
    f.Doc->EndEdit();
    return std::vector<TColor32>(f.Dest.Bitmap().Bits(),
                                 f.Dest.Bitmap().Bits() + f.Dest.Bitmap().PixelCount());
  };
  const auto a = spray(11), b = spray(11), c = spray(12);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(std::count(a.begin(), a.end(), clWhite32), ptrdiff_t(a.size()));
}

TEST(DualImage, DirectionHintsAndBackgrounds) {
  TDocFixture f;
  TDualImage& d = *f.Doc;
  // 128 / 10 = 12 columns, 9 rows of 128; past the grid's end: 32.
  EXPECT_EQ(d.DirectionHint(0, 0), 128);
  EXPECT_EQ(d.HintColumns, 12);
  EXPECT_EQ(d.DirectionHint(115, 0), 128);  // Round(11.5) = 12: first cell of the next row
  EXPECT_EQ(d.DirectionHint(127, 95), 32);
  // Mode 1 without a picture falls back to the solid colour.
  d.BackgroundColor = 0xFF112233;
  d.SetBackgroundMode(1);
  EXPECT_EQ(d.BackgroundMode, 0);
  EXPECT_EQ(d.Destination().Pixel(5, 5), 0xFF112233u);
  // A tiled picture repeats from the top-left corner.
  TBitmap32 tile(50, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) tile.SetPixel(x, y, Color32(uint8_t(x), uint8_t(y), 0));
  d.SetBackgroundPicture(&tile);
  d.SetBackgroundMode(2);
  EXPECT_EQ(d.Destination().Pixel(3, 4), tile.Pixel(3, 4));
  EXPECT_EQ(d.Destination().Pixel(53, 44), tile.Pixel(3, 4));
  EXPECT_EQ(d.Destination().Pixel(127, 95), tile.Pixel(27, 15));
}

}  // namespace
}  // namespace brellin
