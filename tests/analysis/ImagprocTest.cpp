#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis/ImagprocReference.h"
#include "analysis/imagproc.h"
#include "base/Parallel.h"
#include "base/Random.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TEST(DirectionByte, EncodesHalfTurnWithDecimalConstants) {
  EXPECT_EQ(DirectionByte(1, 0), 64);
  EXPECT_EQ(DirectionByte(0, 1), 0);
  EXPECT_EQ(DirectionByte(1, 1), 16);
  EXPECT_EQ(DirectionByte(-1, 1), 239);
  EXPECT_EQ(DirectionByte(0, -1), 64);
  // X = 0 and Y not positive (0 and -0 alike) encode as 191.
  EXPECT_EQ(DirectionByte(0.0f, 0.0f), 191);
  EXPECT_EQ(DirectionByte(-0.0f, 0.0f), 191);
  EXPECT_EQ(DirectionByte(-1, 0), 191);
  // -0 with a positive X stays at 0 (no wrap to 255).
  EXPECT_EQ(DirectionByte(-0.0f, 1.0f), 0);
}

// The fast run encoder against the exact one: random pairs of every size,
// angles a hair either side of every rounding boundary of the byte, the
// wrap at 0, the axes and signed zeros.
TEST(DirectionByte, RunEncoderMatchesTheExactOneEverywhere) {
  std::vector<float> cs, sn;
  SetRandSeed(5);
  for (int i = 0; i < 1000000; ++i) {
    const float scale = std::ldexp(1.0f, Random(60) - 40);
    cs.push_back(float(RandomReal() * 2.0 - 1.0) * scale);
    sn.push_back(float(RandomReal() * 2.0 - 1.0) * scale);
  }
  for (int k = 0; k <= 256; ++k) {
    // DirectionByte turns theta = 2a (a = half the angle, shifted by 6.2832
    // when negative) into a * 255 / 6.2832: boundary k - 0.5 lies here.
    const double a = (k - 0.5) * 6.2832 / 255.0;
    for (const double theta : {2.0 * a, 2.0 * (a - 6.2832)})
      for (const double eps :
           {0.0, 1e-7, -1e-7, 1e-6, -1e-6, 1e-5, -1e-5, 1e-4, -1e-4, 1e-3, -1e-3, 3e-3, -3e-3}) {
        const double th = theta + eps;
        for (const double r : {1.0, 0.37, 1e-3}) {
          cs.push_back(float(r * std::cos(th)));
          sn.push_back(float(-r * std::sin(th)));
        }
      }
  }
  for (const float v : {0.0f, -0.0f, 1.0f, -1.0f, 1e-30f, -1e-30f, 1e-42f})
    for (const float u : {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-30f, -1e-42f}) {
      cs.push_back(v);
      sn.push_back(u);
    }
  std::vector<uint8_t> out(cs.size()), scratch(cs.size());
  EncodeDirections(cs.data(), sn.data(), out.data(), scratch.data(), int(cs.size()));
  for (size_t i = 0; i < cs.size(); ++i)
    ASSERT_EQ(out[i], DirectionByte(-sn[i], cs[i])) << "cos " << cs[i] << " sin " << sn[i];
}

TEST(RGBToHSL, HexconeInSinglePrecision) {
  float h, s, l;
  RGBToHSL(255, 0, 0, h, s, l);
  EXPECT_FLOAT_EQ(h, 0.0f);
  EXPECT_FLOAT_EQ(s, 1.0f);
  EXPECT_FLOAT_EQ(l, 0.5f);
  RGBToHSL(0, 0, 255, h, s, l);
  EXPECT_FLOAT_EQ(h, 4.0f / 6.0f);
  RGBToHSL(255, 0, 128, h, s, l);  // red is max, g < b: hue wraps below 1
  EXPECT_GT(h, 0.9f);
  EXPECT_LT(h, 1.0f);
  RGBToHSL(200, 200, 200, h, s, l);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(s, 0.0f);
  // Light colours use D / ((2 - max) - min).
  RGBToHSL(255, 255, 0, h, s, l);
  EXPECT_FLOAT_EQ(s, 1.0f);
  EXPECT_FLOAT_EQ(h, 1.0f / 6.0f);
}

// Every colour there is, through the vectorised split and the plain one.
TEST(RGBToHSL, SplitOfEveryColourMatchesThePlainVersion) {
  TBitmap32 all(4096, 4096);
  for (uint32_t c = 0; c < (1u << 24); ++c) all.Bits()[c] = 0xFF000000u | c;
  TBytePlane d, t, rd, rt;
  SplitToPlanes(all, d, t);
  reference::SplitToPlanes(all, rd, rt);
  ASSERT_TRUE(d == rd);
  ASSERT_TRUE(t == rt);
}

// Uniform planes and the frame rules of the blur.
TEST(GaussianBlur, FrameRulesIntoZeroPlaneAndInSmoothPlane) {
  const int w = 9, h = 7;
  TBytePlane src(size_t(w * h), 100), dst(size_t(w * h), 0);
  GaussianBlur5(src, dst, w, h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const bool inner = r >= 2 && r <= h - 3 && x >= 2 && x <= w - 3;
      const bool lowCorner = x <= 1 && r <= 1;
      const bool highCorner = x >= w - 2 && r >= h - 2;
      // 100 * 159 / 159 = 100 inside; the two copied corner blocks keep 100.
      EXPECT_EQ(dst[size_t(r * w + x)], inner || lowCorner || highCorner ? 100 : 0)
          << x << "," << r;
    }
  // SmoothPlane keeps the whole two-pixel frame at its input values.
  TBytePlane p(size_t(w * h));
  for (size_t i = 0; i < p.size(); ++i) p[i] = uint8_t(i * 37 % 256);
  const TBytePlane before = p;
  SmoothPlane(p, w, h, 3);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x)
      if (!(r >= 2 && r <= h - 3 && x >= 2 && x <= w - 3))
        EXPECT_EQ(p[size_t(r * w + x)], before[size_t(r * w + x)]);
}

TEST(GaussianBlur, KernelWeightsAndTruncatingDivision) {
  // A single bright element spreads by the kernel weights: 255 * K / 159, truncated.
  const int w = 9, h = 9;
  TBytePlane src(size_t(w * h), 0), dst(size_t(w * h), 0);
  src[size_t(4 * w + 4)] = 255;
  GaussianBlur5(src, dst, w, h);
  EXPECT_EQ(dst[size_t(4 * w + 4)], 255 * 15 / 159);
  EXPECT_EQ(dst[size_t(4 * w + 5)], 255 * 12 / 159);
  EXPECT_EQ(dst[size_t(5 * w + 5)], 255 * 9 / 159);
  EXPECT_EQ(dst[size_t(6 * w + 6)], 255 * 2 / 159);
  EXPECT_EQ(dst[size_t(6 * w + 4)], 255 * 5 / 159);
}

// The banded smoothing and edge test against their plain versions: noise
// planes tall enough for several bands of rows, seams between bands, tiny
// planes, and any number of passes.
TEST(GaussianBlur, BandedFiltersMatchPlainVersionsAcrossBands) {
  SetRandSeed(7);
  const int sizes[][2] = {{3, 3}, {4, 9}, {5, 5}, {6, 70}, {37, 133}, {64, 300}};
  for (const int threads : {1, 3, 4}) {
    SetThreadCount(threads);
    for (const auto& sz : sizes) {
      const int w = sz[0], h = sz[1];
      TBytePlane p(size_t(w * h));
      // Checks with sharp sides for the edge test, speckled with noise.
      for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
          p[size_t(r * w + x)] = uint8_t(Random(4) == 0 ? Random(256) : (x / 4 + r / 5) % 2 * 200);
      TBytePlane edge(p.size(), 0), refEdge(p.size(), 0);
      DetectEdges(p, edge, w, h);
      reference::DetectEdges(p, refEdge, w, h);
      ASSERT_EQ(edge, refEdge) << w << "x" << h << " threads " << threads;
      if (h >= 70) ASSERT_GT(std::count(edge.begin(), edge.end(), 255), w);
      for (const int times : {1, 2, 3, 10}) {
        TBytePlane s = p, ref = p;
        SmoothPlane(s, w, h, times);
        reference::SmoothPlane(ref, w, h, times);
        ASSERT_EQ(s, ref) << w << "x" << h << " times " << times << " threads " << threads;
      }
    }
  }
  SetThreadCount(0);
}

TEST(Gradients, SobelSignsAndFrame) {
  // Darkness rising with the plane row: the row gradient (below minus above) is negative.
  const int w = 5, h = 5;
  TBytePlane src(size_t(w * h));
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) src[size_t(r * w + x)] = uint8_t(r * 10 + x);
  TSmallintPlane a(size_t(w * h), 0), b(size_t(w * h), 0);
  RowGradient(src, a, w, h);
  ColumnGradient(src, b, w, h);
  EXPECT_EQ(a[size_t(2 * w + 2)], -80);  // 4 * (10 - 30) / 1
  EXPECT_EQ(b[size_t(2 * w + 2)], -8);   // 4 * (x-1 - (x+1))
  EXPECT_EQ(a[0], 0);
  EXPECT_EQ(b[size_t(w - 1)], 0);
  TBytePlane s(size_t(w * h), 0);
  GradientStrength(a, b, s, w, h);
  EXPECT_EQ(s[size_t(2 * w + 2)], 88);
}

TEST(OrientationField, UniformPlaneGivesZeroInsideAndOutsideValueElsewhere) {
  const int w = 80, h = 64, bs = 16;  // bw = 5, bh = 4
  TSmallintPlane a(size_t(w * h), 0), b(size_t(w * h), 0);
  TBytePlane dir(size_t(w * h), 7);
  OrientationField(a, b, dir, w, h, bs);
  const int bw = w / bs, bh = h / bs;
  const float sx = float(bw) / float(w), sy = float(bh) / float(h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const int bx = int(float(x) * sx), by = int(float(r) * sy);
      const bool covered =
          x <= w - 2 && r <= h - 2 && bx >= 1 && bx <= bw - 2 && by >= 1 && by <= bh - 2;
      EXPECT_EQ(dir[size_t(r * w + x)], covered ? 0 : 191) << x << "," << r;
    }
  // Too small for three blocks each way: 191 everywhere.
  const int w2 = 47, h2 = 60;
  TSmallintPlane a2(size_t(w2 * h2), 3), b2(size_t(w2 * h2), 1);
  TBytePlane dir2(size_t(w2 * h2), 0);
  OrientationField(a2, b2, dir2, w2, h2, bs);
  for (uint8_t d : dir2) EXPECT_EQ(d, 191);
}

TEST(DetectEdges, OnlyStrongLocalMaximaBecomeEdges) {
  // A sharp vertical step from light to dark: edges along the step only.
  // The blurred copy has a zero two-pixel frame, so elements next to it may
  // be edges too; only the inner part is checked.
  const int w = 20, h = 12;
  TBytePlane src(size_t(w * h));
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) src[size_t(r * w + x)] = x < 10 ? 0 : 255;
  TBytePlane edge(size_t(w * h), 0);
  DetectEdges(src, edge, w, h);
  int count = 0;
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const uint8_t e = edge[size_t(r * w + x)];
      EXPECT_TRUE(e == 0 || e == 255);
      if (x < 3 || x > w - 4 || r < 3 || r > h - 4) continue;
      if (e) {
        ++count;
        EXPECT_GE(x, 8);
        EXPECT_LE(x, 11);
        EXPECT_TRUE(r > 0 && r < h - 1);
      }
    }
  EXPECT_GT(count, 0);
  // A gentle ramp never reaches m >= 128: no edge at all.
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) src[size_t(r * w + x)] = uint8_t(x * 5);
  std::fill(edge.begin(), edge.end(), 0);
  DetectEdges(src, edge, w, h);
  for (int r = 3; r <= h - 4; ++r)
    for (int x = 3; x <= w - 4; ++x) EXPECT_EQ(edge[size_t(r * w + x)], 0);
  // A dark uniform plane: the zero frame of the blur makes edges one element
  // inside the border, nowhere else.
  std::fill(src.begin(), src.end(), 250);
  DetectEdges(src, edge, w, h);
  EXPECT_EQ(edge[size_t(1 * w + 5)], 255);
  for (int r = 3; r <= h - 4; ++r)
    for (int x = 3; x <= w - 4; ++x) EXPECT_EQ(edge[size_t(r * w + x)], 0);
}

TEST(ThinEdges, BarBecomesOnePixelLineAndIsolatedPixelStays) {
  const int w = 20, h = 9;
  TBytePlane e(size_t(w * h), 0);
  for (int r = 3; r <= 5; ++r)
    for (int x = 3; x <= 15; ++x) e[size_t(r * w + x)] = 255;
  e[size_t(1 * w + 18)] = 255;  // outside the thinned range, untouched
  e[size_t(7 * w + 17)] = 255;  // isolated inside the range: B = 0, kept
  TBytePlane ref = e;
  ThinEdges(e, w, h);
  reference::ThinEdges(ref, w, h);
  EXPECT_EQ(e, ref);
  EXPECT_EQ(e[size_t(7 * w + 17)], 255);
  EXPECT_EQ(e[size_t(1 * w + 18)], 255);
  int minX = w, maxX = -1;
  for (int x = 0; x < w; ++x) {
    int column = 0;
    for (int r = 2; r <= 6; ++r) column += e[size_t(r * w + x)] ? 1 : 0;
    EXPECT_LE(column, 1) << "column " << x;
    if (column && x < 17) minX = std::min(minX, x), maxX = std::max(maxX, x);
  }
  EXPECT_GT(minX, 3);  // shortened at both ends
  EXPECT_LT(maxX, 15);
  EXPECT_GE(maxX - minX, 6);
}

TEST(ThinEdges, FastPathMatchesPlainVersionOnRandomBlobs) {
  SetRandSeed(99);
  SetThreadCount(2);
  for (int trial = 0; trial < 24; ++trial) {
    // The last trials span several bands of rows; in the very last a value
    // other than 0 and 255 near the bottom sends it all the plain way.
    const bool tall = trial >= 20;
    const int w = 8 + Random(60), h = tall ? 130 + Random(200) : 8 + Random(60);
    TBytePlane e(size_t(w * h), 0);
    const int blobs = 1 + Random(12);
    for (int k = 0; k < blobs; ++k) {
      const int cx = Random(w), cy = Random(h), rad = 1 + Random(6);
      for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
          if ((x - cx) * (x - cx) + (r - cy) * (r - cy) <= rad * rad) e[size_t(r * w + x)] = 255;
    }
    if (trial == 23)
      for (size_t i = size_t(h - h / 3) * size_t(w); i < e.size(); ++i)
        if (e[i] != 0 && Random(4) == 0) e[i] = 128;
    TBytePlane ref = e;
    ThinEdges(e, w, h);
    reference::ThinEdges(ref, w, h);
    ASSERT_EQ(e, ref) << "trial " << trial;
  }
  SetThreadCount(0);
}

// Every optimised filter against its plain version, on pictures of awkward
// sizes, with one and with two threads.
TEST(Imagproc, OptimisedPipelineMatchesPlainVersion) {
  const int sizes[][2] = {{2, 2}, {3, 5}, {5, 4}, {7, 7}, {33, 17}, {49, 50}, {97, 131}, {160, 96}};
  for (int threads : {1, 2}) {
    SetThreadCount(threads);
    for (const auto& sz : sizes) {
      TBitmap32 pic = test::MakeTestPicture(sz[0], sz[1]);
      SetRandSeed(uint32_t(sz[0] * 1000 + sz[1]));
      for (int i = 0; i < int(pic.PixelCount()) / 7; ++i)  // speckles for texture
        pic.SetPixel(Random(pic.Width()), Random(pic.Height()),
                     Color32(uint8_t(Random(256)), uint8_t(Random(256)), uint8_t(Random(256))));
      const TBitmap32 expected = reference::ExtractFeatures(pic);
      TBytePlane d, t;
      SplitToPlanes(pic, d, t);
      const int w = pic.Width(), h = pic.Height();
      const size_t n = size_t(w) * size_t(h);
      InvertPlane(d, w, h);
      TSmallintPlane a(n, 0), b(n, 0);
      RowGradient(d, a, w, h);
      ColumnGradient(d, b, w, h);
      TBytePlane s(n, 0);
      GradientStrength(a, b, s, w, h);
      // The one-pass version gives both planes, for other block sizes too.
      for (const int block : {16, 5, 2}) {
        TBytePlane dirOf(n, 0), fusedS(n, 0), fusedDir(n, 0);
        OrientationField(a, b, dirOf, w, h, block);
        GradientFeatures(d, fusedS, fusedDir, w, h, block);
        ASSERT_EQ(fusedS, s) << sz[0] << "x" << sz[1] << " block " << block;
        ASSERT_EQ(fusedDir, dirOf) << sz[0] << "x" << sz[1] << " block " << block;
      }
      SmoothPlane(s, w, h, 10);
      TBytePlane dir(n, 0);
      OrientationField(a, b, dir, w, h, 16);
      TBytePlane e(n, 0);
      DetectEdges(d, e, w, h);
      BinarizePlane(e, w, h);
      ThinEdges(e, w, h);
      MergeEdgeAndStrength(s, e, w, h);
      TBitmap32 got;
      PackFeatureMap(d, t, dir, e, got, w, h);
      ASSERT_EQ(got.Width(), w);
      ASSERT_EQ(got.Height(), h);
      ASSERT_TRUE(std::equal(got.Bits(), got.Bits() + n, expected.Bits()))
          << sz[0] << "x" << sz[1] << " threads " << threads;
    }
  }
  SetThreadCount(0);
}

}  // namespace
}  // namespace brellin
