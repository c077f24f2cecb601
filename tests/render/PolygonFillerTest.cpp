#include "render/PolygonFiller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "base/Blend.h"

namespace brellin {
namespace {

using Poly = std::vector<TFixedPoint>;

TFixedPoint P(double x, double y) {
  return {FloatToFixed(x), FloatToFixed(y)};
}

std::vector<uint8_t> FastCoverage(const std::vector<TFixedPoint>& pts, int w, int h) {
  TPolygonFiller filler;
  std::vector<uint8_t> out;
  filler.Coverage(pts, w, h, out);
  return out;
}

std::vector<uint8_t> RefCoverage(const std::vector<TFixedPoint>& pts, int w, int h) {
  std::vector<uint8_t> out;
  ReferencePolygonCoverage(pts, w, h, out);
  return out;
}

// Largest difference between the two coverage maps.
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

TEST(PolygonFiller, RectangleOnPixelBoundariesIsExact) {
  const std::vector<TFixedPoint> rect = {P(2, 3), P(7, 3), P(7, 6), P(2, 6)};
  for (const auto& cov : {FastCoverage(rect, 10, 10), RefCoverage(rect, 10, 10)})
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= 2 && x < 7 && y >= 3 && y < 6;
        EXPECT_EQ(cov[size_t(y * 10 + x)], inside ? 255 : 0) << x << "," << y;
      }
}

TEST(PolygonFiller, HalfCoveredPixels) {
  // Edges through the middle of pixel columns and rows, in either winding.
  for (bool reversed : {false, true}) {
    std::vector<TFixedPoint> rect = {P(1.5, 1), P(4.5, 1), P(4.5, 3.5), P(1.5, 3.5)};
    if (reversed) std::reverse(rect.begin(), rect.end());
    const auto cov = FastCoverage(rect, 6, 5);
    EXPECT_EQ(cov[1 * 6 + 1], 128);  // left half
    EXPECT_EQ(cov[1 * 6 + 4], 128);  // right half
    EXPECT_EQ(cov[3 * 6 + 2], 128);  // top half
    EXPECT_EQ(cov[3 * 6 + 1], 64);   // a quarter
    EXPECT_EQ(cov[2 * 6 + 2], 255);
  }
  // A diagonal through a pixel's corners covers half of it.
  const auto tri = FastCoverage({P(0, 0), P(4, 0), P(0, 4)}, 4, 4);
  EXPECT_EQ(tri[0 * 4 + 3], 128);
  EXPECT_EQ(tri[1 * 4 + 2], 128);
  EXPECT_EQ(tri[1 * 4 + 1], 255);
}

TEST(PolygonFiller, SelfIntersectingPolygonsFollowEvenOdd) {
  // A pentagram: the centre pentagon is crossed twice, so it stays empty.
  std::vector<TFixedPoint> star;
  for (int i = 0; i < 5; ++i) {
    const double a = -M_PI / 2 + i * 4 * M_PI / 5;
    star.push_back(P(50 + 40 * std::cos(a), 50 + 40 * std::sin(a)));
  }
  const auto cov = FastCoverage(star, 100, 100);
  EXPECT_EQ(cov[50 * 100 + 50], 0);    // centre
  EXPECT_EQ(cov[20 * 100 + 50], 255);  // upper point
  EXPECT_LE(MaxDifference(cov, RefCoverage(star, 100, 100)), 1);

  // Bow-tie: both lobes filled, the crossing point shared.
  const std::vector<TFixedPoint> bowtie = {P(0, 0), P(20, 10), P(20, 0), P(0, 10)};
  const auto bt = FastCoverage(bowtie, 20, 10);
  EXPECT_EQ(bt[5 * 20 + 1], 255);
  EXPECT_EQ(bt[5 * 20 + 18], 255);
  EXPECT_EQ(bt[1 * 20 + 10], 0);

  // The same square twice: covered twice is outside.
  const std::vector<TFixedPoint> twice = {P(1, 1), P(5, 1), P(5, 5), P(1, 5),
                                          P(1, 1), P(5, 1), P(5, 5), P(1, 5)};
  const auto tw = FastCoverage(twice, 8, 8);
  EXPECT_EQ(*std::max_element(tw.begin(), tw.end()), 0);
}

TEST(PolygonFiller, AgreesWithReferenceOnRandomPolygons) {
  // Tolerance: one coverage step (1/255). Both measure the same sub-scanline
  // spans; the fast one rounds crossings to 1/256 pixel.
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> coord(-8, 40);
  std::uniform_int_distribution<int> vertexCount(3, 12);
  for (int round = 0; round < 300; ++round) {
    std::vector<TFixedPoint> poly(size_t(vertexCount(rng)));
    for (auto& p : poly) p = P(coord(rng), coord(rng));
    if (round % 3 == 0)  // vertices on sub-scanline centres and pixel edges
      for (auto& p : poly) p = {p.X & ~0x1FFF, (p.Y & ~0x1FFF) | 0x1000};
    const auto fast = FastCoverage(poly, 33, 31);
    const auto ref = RefCoverage(poly, 33, 31);
    ASSERT_LE(MaxDifference(fast, ref), 1) << "polygon " << round;
  }
}

TEST(PolygonFiller, ReusedFillerGivesTheSameResult) {
  // Leftover cell state from a clipped polygon must not leak into the next.
  TPolygonFiller filler;
  std::vector<uint8_t> a, b;
  const std::vector<TFixedPoint> tri = {P(3.3, 2.1), P(17.8, 9.4), P(5.2, 14.9)};
  filler.Coverage(tri, 20, 16, a);
  filler.Coverage(Poly{P(-5, -5), P(40, 3.7), P(12.5, 30)}, 20, 16, b);
  filler.Coverage(Poly{P(-5, -5), P(40, 3.7), P(12.5, 30)}, 7, 5, b);
  filler.Coverage(tri, 20, 16, b);
  EXPECT_EQ(a, b);
}

TEST(PolygonFiller, ClipsToTheTarget) {
  // Partly outside on every side: inside pixels as if unclipped, nothing else touched.
  const std::vector<TFixedPoint> big = {P(-10.3, 4.5), P(8.5, -20), P(30.25, 6.5), P(9, 40.7)};
  const auto clipped = FastCoverage(big, 12, 9);
  const auto wide = FastCoverage(big, 60, 60);  // the same area seen in a larger target
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(clipped[size_t(y * 12 + x)], wide[size_t(y * 60 + x)]);

  // Wholly outside, left, right, above, below: nothing at all.
  TBitmap32 bmp(16, 16, clWhite32);
  TPolygonFiller filler;
  for (const auto& poly : std::vector<std::vector<TFixedPoint>>{{P(-9, 2), P(-1, 2), P(-3, 9)},
                                                                {P(16, 2), P(30, 2), P(20, 9)},
                                                                {P(2, -9), P(9, -9), P(5, 0)},
                                                                {P(2, 16), P(9, 16.1), P(5, 30)}})
    filler.Fill(bmp, poly, clBlack32);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(bmp.Bits()[i], clWhite32);

  // An empty target is fine.
  TBitmap32 empty;
  filler.Fill(empty, big, clBlack32);
}

TEST(PolygonFiller, HugeCoordinatesNeitherOverflowNorHang) {
  const TFixed lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  const std::vector<TFixedPoint> huge = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
  auto cov = FastCoverage(huge, 64, 48);
  EXPECT_EQ(*std::min_element(cov.begin(), cov.end()), 255);
  // A thin sliver through the target from far away on both sides.
  const std::vector<TFixedPoint> sliver = {{lo, Fixed(10)}, {hi, Fixed(20)}, {hi, Fixed(21)}};
  EXPECT_LE(MaxDifference(FastCoverage(sliver, 64, 48), RefCoverage(sliver, 64, 48)), 1);
  // Far away entirely.
  cov = FastCoverage({{hi, hi}, {hi - 65536, hi}, {hi, hi - 65536}}, 64, 48);
  EXPECT_EQ(*std::max_element(cov.begin(), cov.end()), 0);
}

TEST(PolygonFiller, BlendsByTheProgramsRule) {
  // Fully covered $80FF0000 over white: w = 128, result $FFFF8080.
  TBitmap32 bmp(4, 4, clWhite32);
  TPolygonFiller filler;
  filler.Fill(bmp, Poly{P(0, 0), P(4, 0), P(4, 4), P(0, 4)}, 0x80FF0000u);
  EXPECT_EQ(bmp.Pixel(2, 2), 0xFFFF8080u);

  // Every pixel equals BlendCoverageS with the pixel's coverage, on a
  // background of varied colours and alphas.
  std::mt19937 rng(7);
  const std::vector<TFixedPoint> poly = {P(1.3, 0.7), P(30.6, 5.1), P(12.2, 9.9), P(28.4, 22.3),
                                         P(3.7, 19.8)};
  std::vector<uint8_t> cov;
  filler.Coverage(poly, 32, 24, cov);
  for (TColor32 color : {0xFF102030u, 0x80FF0000u, 0x01ABCDEFu, 0x00FFFFFFu}) {
    TBitmap32 fast(32, 24), expected(32, 24);
    for (size_t i = 0; i < fast.PixelCount(); ++i) fast.Bits()[i] = expected.Bits()[i] = rng();
    filler.Fill(fast, poly, color);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 32; ++x) expected.BlendCoverageS(x, y, color, cov[size_t(y * 32 + x)]);
    for (size_t i = 0; i < fast.PixelCount(); ++i)
      ASSERT_EQ(fast.Bits()[i], expected.Bits()[i]) << i;
  }
}

TEST(PolygonFiller, FewerThanThreePointsOrFlatPaintNothing) {
  TBitmap32 bmp(8, 8, clWhite32);
  TPolygonFiller filler;
  filler.Fill(bmp, Poly{}, clBlack32);
  filler.Fill(bmp, Poly{P(1, 1), P(6, 6)}, clBlack32);
  filler.Fill(bmp, Poly{P(1, 1), P(6, 6), P(3.5, 3.5)}, clBlack32);  // collinear
  filler.Fill(bmp, Poly{P(1, 4), P(6, 4), P(7, 4)}, clBlack32);      // horizontal
  for (int i = 0; i < 64; ++i) ASSERT_EQ(bmp.Bits()[i], clWhite32);
}

}  // namespace
}  // namespace brellin
