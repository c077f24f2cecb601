#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Blend.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "base/Resampler.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

// How far a pixel of a black line over white has been darkened.
int Darkness(const TBitmap32& b, int x, int y) {
  return 255 - RedComponent(b.Pixel(x, y));
}

// Pixels that differ from the fill colour.
int CountChanged(const TBitmap32& b, TColor32 fill) {
  int n = 0;
  for (size_t i = 0; i < b.PixelCount(); ++i) n += b.Bits()[i] != fill;
  return n;
}

TEST(Bitmap32Blend, RuleExampleAndSourceAlphaBypass) {
  // $80FF0000 fully covered over opaque white: w = (255 x 129) shr 8 = 128.
  EXPECT_EQ(CoverageWeight(255, 0x80), 128u);
  TBitmap32 b(4, 1, clWhite32);
  b.BlendCoverageS(1, 0, 0x80FF0000u, 255);
  EXPECT_EQ(b.Pixel(1, 0), 0xFFFF8080u);
  EXPECT_EQ(b.Pixel(0, 0), clWhite32);

  // Drawing in blend mode: alpha 0 leaves the background, alpha 255 copies
  // exactly (the formula would give 1 instead of 0 here), others blend.
  TBitmap32 src(3, 1);
  src.SetPixel(0, 0, 0x00000000u);
  src.SetPixel(1, 0, 0xFF000000u);
  src.SetPixel(2, 0, 0x80000000u);
  src.DrawMode = dmBlend;
  TBitmap32 dst(3, 1, clWhite32);
  src.DrawTo(dst, 0, 0);
  EXPECT_EQ(dst.Pixel(0, 0), clWhite32);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(dst.Pixel(2, 0), BlendWeighted(0x80000000u, clWhite32, 0x80));
  EXPECT_EQ(RedComponent(dst.Pixel(2, 0)), 128);
}

// The row blend (four pixels at a time) against the pixel rule, for every
// alpha, foreground and background byte, with every row length's tail.
TEST(Bitmap32Blend, RowBlendMatchesThePixelRuleEverywhere) {
  std::vector<TColor32> src(256), dst(256), expected(256);
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t f = 0; f < 256; ++f) {
      for (uint32_t b = 0; b < 256; ++b) {
        // Channels differ so that a swapped lane would show.
        src[b] = (a << 24) | (f << 16) | ((255 - f) << 8) | (f ^ 0x5A);
        dst[b] = (b << 24) | (((b * 7) & 0xFF) << 16) | (b << 8) | (255 - b);
        expected[b] = BlendBySourceAlpha(src[b], dst[b]);
      }
      // Mixed alphas in one group of four: transparent, opaque and between.
      src[0] &= 0x00FFFFFFu;
      src[3] |= 0xFF000000u;
      expected[0] = BlendBySourceAlpha(src[0], dst[0]);
      expected[3] = BlendBySourceAlpha(src[3], dst[3]);
      const int n = 253 + int(f % 4);  // tails of 1..3 pixels and none
      BlendRowBySourceAlpha(src.data(), dst.data(), n);
      for (int i = 0; i < 256; ++i) {
        const TColor32 want = i < n ? expected[size_t(i)]
                                    : (uint32_t(i) << 24) | (((uint32_t(i) * 7) & 0xFF) << 16) |
                                          (uint32_t(i) << 8) | (255 - uint32_t(i));
        ASSERT_EQ(dst[size_t(i)], want) << "a " << a << " f " << f << " pixel " << i;
      }
    }
  // Drawing in blend mode goes through the row blend, clipped.
  TBitmap32 top(6, 3, 0x80FF0000u), bottom(5, 4, 0xFF0000FFu);
  top.SetPixel(0, 0, 0);
  top.DrawMode = dmBlend;
  top.DrawTo(bottom, -1, 2);
  EXPECT_EQ(bottom.Pixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(bottom.Pixel(0, 2), BlendBySourceAlpha(0x80FF0000u, 0xFF0000FFu));
  EXPECT_EQ(bottom.Pixel(4, 3), BlendBySourceAlpha(0x80FF0000u, 0xFF0000FFu));
}

TEST(Bitmap32, SetSizeFilledIsSetSizeAndClearWhateverCameBefore) {
  TBitmap32 b;
  const int sizes[][2] = {{5, 4}, {3, 3}, {7, 2}, {600, 500}, {2, 2}, {0, 9}, {4, 1}};
  TColor32 c = 0x11223344u;
  for (const auto& s : sizes) {
    b.SetPixelS(0, 0, 0xDEADBEEFu);
    b.SetSizeFilled(s[0], s[1], c);
    TBitmap32 want;
    want.SetSize(s[0], s[1]);
    want.Clear(c);
    ASSERT_EQ(b.Width(), want.Width());
    ASSERT_EQ(b.Height(), want.Height());
    EXPECT_TRUE(std::equal(b.Bits(), b.Bits() + b.PixelCount(), want.Bits()));
    c = c * 2654435761u + 1;
  }
  EXPECT_THROW(b.SetSizeFilled(-1, 3, 0), EBrellinError);
}

TEST(Bitmap32, AssignTakesPixelsFromEitherVectorAndRefusesAWrongCount) {
  // A block above the mapping threshold and a small one, so both allocator
  // paths hand their storage over.
  for (const int w : {3, 1100}) {
    const int h = 1000;
    TLargeVector<TColor32> big(size_t(w) * h);
    std::vector<TColor32> plain(size_t(w) * h);
    for (size_t i = 0; i < big.size(); ++i) big[i] = plain[i] = TColor32(i * 2654435761u);
    const TColor32* storage = big.data();
    TBitmap32 a, b;
    a.Assign(w, h, std::move(big));
    b.Assign(w, h, std::move(plain));
    EXPECT_EQ(a.Bits(), storage);  // moved, not copied
    ASSERT_EQ(a.Width(), w);
    ASSERT_EQ(a.Height(), h);
    EXPECT_TRUE(std::equal(a.Bits(), a.Bits() + size_t(w) * h, b.Bits()));
    EXPECT_EQ(a.Pixel(w - 1, h - 1), TColor32((size_t(w) * h - 1) * 2654435761u));
  }
  TBitmap32 c;
  EXPECT_THROW(c.Assign(4, 4, TLargeVector<TColor32>(15)), EBrellinError);
  c.Assign(0, 7, TLargeVector<TColor32>());
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(c.Width(), 0);
  EXPECT_EQ(c.Height(), 0);
}

TEST(Bitmap32, ClearOfABigBitmapFillsEveryPixelOnAnyThreadCount) {
  // Sizes around the point where the fill is split over the threads, and one
  // whose last part is short.
  for (const int threads : {1, 2, 3}) {
    SetThreadCount(threads);
    for (const auto [w, h] : {std::pair{1024, 1024}, {1023, 1025}, {2049, 1031}}) {
      SCOPED_TRACE(testing::Message() << threads << " threads, " << w << " x " << h);
      TBitmap32 b(w, h);
      b.Bits()[0] = 1;
      b.Clear(0xFF123456u);
      const TColor32* p = b.Bits();
      ASSERT_TRUE(std::all_of(p, p + b.PixelCount(), [](TColor32 c) { return c == 0xFF123456u; }));
      b.Clear();
      ASSERT_TRUE(std::all_of(p, p + b.PixelCount(), [](TColor32 c) { return c == 0; }));
    }
  }
  SetThreadCount(0);
}

TEST(Bitmap32Lines, HorizontalLineThroughPixelCentresTouchesOneRow) {
  TBitmap32 b(16, 4, clWhite32);
  int changes = 0;
  b.OnChange = [&](TBitmap32&) { ++changes; };
  b.LineFS(0.5f, 0.5f, 10.5f, 0.5f, 0x80FF0000u);
  EXPECT_EQ(changes, 1);
  for (int x = 0; x <= 10; ++x) EXPECT_EQ(b.Pixel(x, 0), 0xFFFF8080u) << x;
  EXPECT_EQ(CountChanged(b, clWhite32), 11);

  TBitmap32 c(16, 4, clWhite32);
  c.LineFS(0.5f, 0.5f, 10.5f, 0.5f, clBlack32, true);
  EXPECT_EQ(CountChanged(c, clWhite32), 10);
  EXPECT_EQ(c.Pixel(10, 0), clWhite32);

  // Steep lines work the same way along the other axis.
  TBitmap32 v(4, 16, clWhite32);
  v.LineFS(2.5f, 0.5f, 2.5f, 8.5f, clBlack32);
  for (int y = 0; y <= 8; ++y) EXPECT_EQ(Darkness(v, 2, y), 254) << y;
  EXPECT_EQ(CountChanged(v, clWhite32), 9);
}

TEST(Bitmap32Lines, CoverageSplitsBetweenTheTwoNearestPixels) {
  TBitmap32 b(12, 5, clWhite32);
  b.LineFS(0.5f, 0.5f, 10.5f, 3.0f, clBlack32);
  // At column 5 the line is at y = 1.75: 3/4 in row 1, 1/4 in row 2.
  EXPECT_NEAR(Darkness(b, 5, 1), 191, 2);
  EXPECT_NEAR(Darkness(b, 5, 2), 64, 2);
  // At the end, y = 3.0 lies halfway between rows 2 and 3.
  EXPECT_NEAR(Darkness(b, 10, 2), 128, 2);
  EXPECT_NEAR(Darkness(b, 10, 3), 128, 2);
  for (int x = 0; x <= 10; ++x) {
    int sum = 0;
    for (int y = 0; y < 5; ++y) sum += Darkness(b, x, y);
    EXPECT_NEAR(sum, 255, 2) << x;
  }
  EXPECT_EQ(Darkness(b, 11, 3), 0);
}

TEST(Bitmap32Lines, ClippedAtTheBordersWhateverTheCoordinates) {
  TBitmap32 b(10, 5, clWhite32);
  b.LineFS(-1e6f, 2.5f, 1e6f, 2.5f, clBlack32);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Darkness(b, x, 2), 254);
  EXPECT_EQ(CountChanged(b, clWhite32), 10);

  TBitmap32 c(10, 5, clWhite32);
  c.LineFS(-50.0f, -50.0f, -5.0f, 40.0f, clBlack32);
  c.LineXS(Fixed(-30000), Fixed(30000), Fixed(30000), Fixed(30000), clBlack32);
  c.LineFS(std::nanf(""), 1.0f, 3.0f, 3.0f, clBlack32);
  EXPECT_EQ(CountChanged(c, clWhite32), 0);

  // Fixed-point lines far outside still cross the bitmap at the right place.
  TBitmap32 d(10, 5, clWhite32);
  d.LineXS(Fixed(-30000) + FixedOne / 2, Fixed(1) + FixedOne / 2, Fixed(30000),
           Fixed(1) + FixedOne / 2, clBlack32);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Darkness(d, x, 1), 254);
  EXPECT_EQ(CountChanged(d, clWhite32), 10);
}

TEST(Bitmap32Lines, PenPiecesWithoutEndPointBlendEveryPixelOnce) {
  TBitmap32 b(16, 3, clWhite32);
  b.PenColor = 0x80000000u;
  b.MoveToX(FixedOne / 2, FixedOne / 2);
  b.LineToXS(Fixed(5) + FixedOne / 2, FixedOne / 2, true);
  b.LineToXS(Fixed(10) + FixedOne / 2, FixedOne / 2, true);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(b.Pixel(x, 0), b.Pixel(0, 0)) << x;
  EXPECT_NE(b.Pixel(0, 0), clWhite32);
  EXPECT_EQ(b.Pixel(10, 0), clWhite32);

  // With the end point, the joint is blended twice.
  TBitmap32 c(16, 3, clWhite32);
  c.PenColor = 0x80000000u;
  c.MoveToF(0.5f, 0.5f);
  c.LineToFS(5.5f, 0.5f);
  c.LineToFS(10.5f, 0.5f);
  EXPECT_LT(RedComponent(c.Pixel(5, 0)), RedComponent(c.Pixel(4, 0)));
  EXPECT_EQ(c.Pixel(10, 0), c.Pixel(4, 0));
}

TBitmap32 Checkerboard(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, (x + y) % 2 ? clWhite32 : clBlack32);
  return b;
}

TEST(Resampler, SameSizeIsAnExactCopyAndAKeptAxisIsNotBlurred) {
  const TBitmap32 pic = test::MakeTestPicture(37, 23);
  for (TStretchFilter f : {sfNearest, sfLinear, sfMitchell}) {
    TBitmap32 out(37, 23);
    StretchDraw(out, out.BoundsRect(), pic, pic.BoundsRect(), f);
    EXPECT_EQ(out.Bits()[0], pic.Bits()[0]);
    EXPECT_TRUE(std::equal(pic.Bits(), pic.Bits() + pic.PixelCount(), out.Bits())) << int(f);
  }
  // Only the height changes: vertical stripes keep their exact colours.
  const TBitmap32 stripes = Checkerboard(10, 1);
  TBitmap32 tall(10, 7);
  StretchDraw(tall, tall.BoundsRect(), stripes, stripes.BoundsRect(), sfMitchell);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(tall.Pixel(x, y), stripes.Pixel(x, 0));
}

TEST(Resampler, FlatPicturesStayFlatAndCheckerboardsTurnGrey) {
  const TColor32 c = 0x7F3A90D2u;
  const TBitmap32 flat(13, 9, c);
  for (TStretchFilter f : {sfLinear, sfMitchell})
    for (auto [w, h] : {std::pair{40, 31}, {5, 4}, {13, 20}, {7, 9}}) {
      TBitmap32 out(w, h);
      StretchDraw(out, out.BoundsRect(), flat, flat.BoundsRect(), f);
      EXPECT_EQ(CountChanged(out, c), 0) << w << "x" << h;
    }

  const TBitmap32 board = Checkerboard(64, 64);
  for (TStretchFilter f : {sfLinear, sfMitchell}) {
    TBitmap32 half(32, 32);
    StretchDraw(half, half.BoundsRect(), board, board.BoundsRect(), f);
    // Away from the edges, where the repeated edge pixels tip the balance.
    for (int y = 2; y < 30; ++y)
      for (int x = 2; x < 30; ++x) {
        const TColor32 p = half.Pixel(x, y);
        ASSERT_NEAR(RedComponent(p), 127.5, 2) << x << "," << y;
        ASSERT_EQ(RedComponent(p), BlueComponent(p));
        ASSERT_EQ(AlphaComponent(p), 255);
      }
  }
}

TEST(Resampler, NearestRepeatsPixelsAndFastPathMatchesReference) {
  const TBitmap32 pic = test::MakeTestPicture(5, 4);
  TBitmap32 big(10, 8);
  StretchDraw(big, big.BoundsRect(), pic, pic.BoundsRect(), sfNearest);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(big.Pixel(x, y), pic.Pixel(x / 2, y / 2));

  // Up, down, mixed, a source part, a destination partly outside, and one
  // large enough to be split over threads.
  struct TCase {
    int SW, SH;
    TRect Src, Dst;
    int DW, DH;
  };
  const TCase cases[] = {
      {37, 23, {0, 0, 37, 23}, {0, 0, 100, 61}, 100, 61},
      {100, 80, {0, 0, 100, 80}, {0, 0, 33, 41}, 33, 41},
      {60, 50, {7, 3, 50, 44}, {-9, 5, 70, 30}, 48, 40},
      {300, 200, {0, 0, 300, 200}, {0, 0, 1000, 700}, 1000, 700},
  };
  for (const TCase& t : cases) {
    const TBitmap32 src = test::MakeTestPicture(t.SW, t.SH);
    for (TStretchFilter f : {sfNearest, sfLinear, sfMitchell}) {
      TBitmap32 fast(t.DW, t.DH, 0xFF102030u), ref(t.DW, t.DH, 0xFF102030u);
      StretchDraw(fast, t.Dst, src, t.Src, f);
      StretchDrawReference(ref, t.Dst, src, t.Src, f);
      ASSERT_TRUE(std::equal(fast.Bits(), fast.Bits() + fast.PixelCount(), ref.Bits()))
          << t.SW << "x" << t.SH << " filter " << int(f);
    }
  }
}

TEST(Resampler, StretchedDrawingFollowsTheSourceDrawMode) {
  TBitmap32 src(2, 2, 0x00FF0000u);  // fully transparent red
  src.DrawMode = dmBlend;
  TBitmap32 dst(6, 6, clWhite32);
  StretchDraw(dst, dst.BoundsRect(), src, src.BoundsRect(), sfMitchell);
  EXPECT_EQ(CountChanged(dst, clWhite32), 0);
  src.DrawMode = dmOpaque;
  StretchDraw(dst, dst.BoundsRect(), src, src.BoundsRect(), sfMitchell);
  EXPECT_EQ(CountChanged(dst, 0x00FF0000u), 0);
}

TEST(Bitmap32Lines, SolidLinesReplaceAndStippledLinesCycleThePattern) {
  TBitmap32 b(12, 4, clWhite32);
  b.LineS(-5, 1, 30, 1, 0x80102030u);  // replaces, alpha included; clipped
  for (int x = 0; x < 12; ++x) EXPECT_EQ(b.Pixel(x, 1), 0x80102030u);
  b.LineS(3, 3, 3, 3, clBlack32);  // a single point
  EXPECT_EQ(b.Pixel(3, 3), clBlack32);

  // One pattern entry per pixel step: black, transparent, half blue, ...
  b.SetStipple({clBlack32, 0x00000000u, 0x800000FFu});
  b.LineFSP(0.5f, 2.5f, 11.5f, 2.5f);
  for (int x = 0; x < 12; ++x) {
    const TColor32 p = b.Pixel(x, 2);
    if (x % 3 == 0) EXPECT_EQ(p, clBlack32) << x;
    if (x % 3 == 1) EXPECT_EQ(p, clWhite32) << x;
    if (x % 3 == 2) EXPECT_EQ(p, BlendWeighted(0x800000FFu, clWhite32, 0x80)) << x;
  }
  // The counter carries on from one line to the next; a step of 0.5 shows
  // every entry twice.
  b.Clear(clWhite32);
  b.StippleStep = 0.5f;
  b.StippleCounter = 0.0f;
  b.LineFSP(0.5f, 0.5f, 3.5f, 0.5f, true);  // without its end pixel: 3 steps
  EXPECT_EQ(b.StippleCounter, 1.5f);
  b.SetStipple({});
  b.LineFSP(0.5f, 1.5f, 11.5f, 1.5f);  // no pattern, nothing drawn
  for (int x = 0; x < 12; ++x) EXPECT_EQ(b.Pixel(x, 1), clWhite32);
}

}  // namespace
}  // namespace brellin
