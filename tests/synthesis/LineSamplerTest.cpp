#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "support/TestSupport.h"
#include "synthesis/LineSampler.h"

namespace brellin {
namespace {

constexpr TColor32 FeaturePixel(uint8_t dir, uint8_t darkness, uint8_t hue, uint8_t sat, bool edge,
                                uint8_t strength) {
  return (TColor32(dir) << 24) | (TColor32(darkness) << 16) | (TColor32((hue << 3) | sat) << 8) |
         (edge ? 0x80u : 0u) | strength;
}

// A plain map: no edges, strength 10, heading 0, mid grey.
const TColor32 PlainPixel = FeaturePixel(0, 128, 0, 0, false, 10);

struct TLimitGuard {
  int Saved = DirectionCallbackLimit;
  ~TLimitGuard() { DirectionCallbackLimit = Saved; }
};

std::string ErrorOf(const TBitmap32* f, const TBitmap32* d) {
  try {
    TLineSampler s(f, d);
  } catch (const EBrellinError& e) {
    return e.what();
  }
  return "";
}

TEST(LineSampler, CreateValidatesInOrderAndDrawsOneRandomNumber) {
  const TBitmap32 good(8, 6), noWidth(0, 6), noHeight(8, 0);  // both empty
  const uint32_t seed = RandSeed();
  EXPECT_EQ(ErrorOf(nullptr, nullptr), "Invalid Bitmap Feat");
  EXPECT_EQ(ErrorOf(&good, nullptr), "Invalid Bitmap Dst");
  EXPECT_EQ(ErrorOf(&noWidth, &noHeight), "Feat->Width != Dest->Width");
  // (A bitmap cannot have a width without a height, so the height message
  // has no case of its own.)
  EXPECT_EQ(RandSeed(), seed);           // no sampler made, no draw
  EXPECT_EQ(ErrorOf(&good, &good), "");  // sizes are not compared with each other
  const TBitmap32 other(3, 2);
  EXPECT_EQ(ErrorOf(&good, &other), "");
  // A refused pair keeps the bitmaps the sampler had.
  TLineSampler kept(&good, &good);
  EXPECT_THROW(kept.SetBitmaps(&good, &noWidth), EBrellinError);
  EXPECT_EQ(kept.Dest, &good);

  for (uint32_t s0 : {1u, 77u, 123456u, 4000000000u}) {
    SetRandSeed(s0);
    const bool expected = Random(1000) > 500;
    const uint32_t after = RandSeed();
    SetRandSeed(s0);
    TLineSampler s(&good, &good);
    EXPECT_EQ(s.RandomSide, expected);
    EXPECT_EQ(RandSeed(), after);
    EXPECT_EQ(s.Start, (TPoint{4, 3}));
    EXPECT_EQ(s.StepCount, 50);
    EXPECT_EQ(s.Dirs, std::vector<uint8_t>(50, 0));
    EXPECT_EQ(s.ThicknessFactor, float(16.0 / 765.0));
  }
}

TEST(LineSampler, StepCountAndStraightCurves) {
  const TBitmap32 map(64, 64, PlainPixel);
  TLineSampler s(&map, &map);
  s.SetStepCount(3);
  EXPECT_EQ(s.StepCount, 5);
  EXPECT_EQ(s.Dirs.size(), 5u);

  for (bool straight : {false, true}) {
    s.SetStraightLines(straight);
    s.SetCurve({0, 0}, {3, 0}, {7, 0}, {10, 0});
    EXPECT_EQ(s.StepCount, 10);
    EXPECT_EQ(s.Dirs, std::vector<uint8_t>(10, 0));
  }
  s.SetCurve({0, 0}, {50, 50}, {-50, 9}, {3, -4});  // straight lines: ends only
  EXPECT_EQ(s.StepCount, 7);
  EXPECT_EQ(s.Dirs, std::vector<uint8_t>(7, DirectionTo({0, 0}, {3, -4})));
  // (-1, -1) is a point like any other, not "no vertex yet".
  s.SetCurve({-1, -1}, {0, 0}, {0, 0}, {3, -1});
  EXPECT_EQ(s.StepCount, 4);

  s.SetStraightLines(false);
  s.SetCurve({5, 5}, {5, 5}, {5, 5}, {5, 5});
  EXPECT_EQ(s.StepCount, 0);
  EXPECT_FALSE(s.Run());
  // A path without headings samples nothing rather than reading past Dirs.
  EXPECT_NO_THROW(s.SampleColor());
  EXPECT_EQ(s.SampleCount, 0);
}

TEST(LineSampler, HeadingReadingsReverseAndPersist) {
  TLimitGuard guard;
  const TBitmap32 weak(64, 64, FeaturePixel(40, 128, 0, 0, false, 0));
  struct TCase {
    bool RandomSide;
    uint8_t First;
    std::vector<int> Seen;
  };
  // Heading 0: readings up to 4 units either side of 128 turn back, 5 away do not.
  for (const TCase& c :
       {TCase{false, 130, {0, 2}}, TCase{false, 132, {0, 4}}, TCase{false, 133, {0, 133}},
        TCase{false, 124, {0, 252}}, TCase{false, 123, {0, 123}}, TCase{false, 100, {0, 100}},
        TCase{true, 100, {0, 228}}}) {
    TLineSampler s(&weak, &weak);
    s.RandomSide = c.RandomSide;
    s.SetStepCount(25);  // below 30: traced directly, read at steps 0 and 20
    std::vector<int> seen;
    s.SetDirectionCallback([&](int, int, uint8_t& d) {
      seen.push_back(d);
      if (seen.size() == 1) d = c.First;
    });
    s.Run();
    EXPECT_EQ(seen, c.Seen) << int(c.First);
    EXPECT_TRUE(bool(s.DirectionCallback));  // not refitted
  }

  // Where the strength reaches the limit the map's own heading steers.
  const TBitmap32 firm(64, 64, FeaturePixel(64, 128, 0, 0, false, 1));
  TLineSampler s(&firm, &firm);
  s.RandomSide = false;
  s.SetStepCount(25);
  int calls = 0;
  s.SetDirectionCallback([&](int, int, uint8_t&) { ++calls; });
  s.Trace();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(s.Pixels.back().Y, -24);  // straight up
  DirectionCallbackLimit = 3;         // now 3 > 2 x 1
  s.Trace();
  EXPECT_EQ(calls, 2);
}

TEST(LineSampler, LongAutomaticStrokesBecomeCurves) {
  const TBitmap32 weak(200, 200, FeaturePixel(0, 128, 0, 0, false, 0));
  TLineSampler s(&weak, &weak);
  s.RandomSide = false;
  s.SetStepCount(40);
  s.SetDirectionCallback([](int, int, uint8_t& d) { d = 192; });  // down
  EXPECT_TRUE(s.Run());
  EXPECT_FALSE(bool(s.DirectionCallback));
  EXPECT_EQ(s.StepCount, 39);  // from Q[0] to Q[39]
  EXPECT_EQ(s.Dirs, std::vector<uint8_t>(39, 192));
  EXPECT_EQ(s.Pixels.back().X, 0);
  EXPECT_EQ(s.Pixels.back().Y, 38);
}

TEST(LineSampler, ScanLinesAlternateSides) {
  const TBitmap32 map(64, 64, PlainPixel);
  const auto band = [&](float width) {
    TLineSampler s(&map, &map);
    s.SetStart({20, 20});
    s.SetCurve({0, 0}, {0, 0}, {10, 0}, {10, 0});  // heading 0: band runs vertically
    s.SetScanWidth(width);
    s.Trace();
    s.SampleColor();
    return std::pair{s.SampleCount / int(s.Pixels.size()), s.GetBounds()};
  };
  // The path covers rows 19 and 20; B's side (heading 0 - 64) is down.
  const auto [one, r1] = band(0.5f);
  const auto [two, r2] = band(2.0f);
  const auto [three, r3] = band(3.0f);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(two, 2);
  EXPECT_EQ(three, 3);
  EXPECT_EQ(r1.Top, 19 - 5);
  EXPECT_EQ(r1.Bottom, 20 + 5);
  EXPECT_EQ(r2.Top, 19 - 5);
  EXPECT_EQ(r2.Bottom, 21 + 5);
  EXPECT_EQ(r3.Top, 18 - 5);
  EXPECT_EQ(band(12.0f).first, 12);
}

TEST(LineSampler, SamplingStopsOnBordersWeakPixelsAndTheMapsEdge) {
  TBitmap32 map(64, 64, PlainPixel);
  map.SetPixel(32, 32, FeaturePixel(0, 128, 0, 0, true, 10));  // edge under the seed
  TLineSampler s(&map, &map);
  s.SetStart({32, 32});
  s.SetStepCount(10);
  s.SetScanWidth(2);
  EXPECT_TRUE(s.Run());  // the second scan line still samples
  EXPECT_EQ(s.SampleCount, int(s.Pixels.size()));

  TLineSampler t(&map, &map);
  t.SetStart({32, 32});
  t.SetStepCount(10);
  t.SetScanWidth(1);
  EXPECT_FALSE(t.Run());
  t.StopOnBorders = false;
  EXPECT_TRUE(t.Run());
  t.SetThreshold(11);
  EXPECT_FALSE(t.Run());

  TLineSampler outside(&map, &map);
  outside.SetStart({-3, 10});
  EXPECT_FALSE(outside.Run());
  EXPECT_TRUE(IsEmptyRect(outside.GetBounds()));
  EXPECT_GT(outside.GetBounds().Left, outside.GetBounds().Right);
}

TEST(LineSampler, ColourFromTheSourceOrRebuiltFromTheMap) {
  // Pure red at darkness 128 (hue 0, saturation 7).
  const TBitmap32 map(40, 40, FeaturePixel(0, 128, 0, 7, false, 10));
  TLineSampler s(&map, &map);
  s.SetStepCount(10);
  ASSERT_TRUE(s.Run());
  uint8_t r, g, b;
  HSLToRGB(r, g, b, 0.0f, 1.0f, float(1.0 - 128.0 / 255.0));
  EXPECT_EQ(s.AverageColor, Color32(r, g, b, 255));

  TBitmap32 source(40, 40, Color32(10, 20, 30, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) source.SetPixel(x, y, Color32(110, 20, 30, 0));
  TLineSampler c(&map, &map);
  c.ColorSource = &source;
  c.SetStart({20, 20});
  c.SetCurve({0, 0}, {0, 0}, {10, 0}, {10, 0});  // records on rows 19 and 20
  c.SetScanWidth(1);
  ASSERT_TRUE(c.Run());
  EXPECT_EQ(c.SampleCount, int(c.Pixels.size()));
  const int upper = int(
      std::count_if(c.Pixels.begin(), c.Pixels.end(), [](const TPathPixel& p) { return p.Y < 0; }));
  EXPECT_EQ(
      c.AverageColor,
      Color32(uint8_t((110 * upper + 10 * (c.SampleCount - upper)) / c.SampleCount), 20, 30, 255));

  // A colour source smaller than the map ends the lines at its edge.
  const TBitmap32 small(25, 21, Color32(50, 60, 70));
  c.ColorSource = &small;
  ASSERT_TRUE(c.Run());
  EXPECT_EQ(c.AverageColor, Color32(50, 60, 70));
  EXPECT_EQ(c.SampleCount, 9);  // x = 20..24 on rows 19 and 20, less (20, 19)
}

TEST(LineSampler, UncheckedLinesSampleAsTheCheckedWalk) {
  // Lines that nothing can end skip the per-pixel checks. A threshold that no
  // pixel fails keeps the checks: both walks must agree everywhere, also on
  // strokes that leave the pictures (checked) or lie wholly inside (not).
  TBitmap32 map(90, 70), source(90, 70);
  SetRandSeed(5);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 90; ++x) {
      map.SetPixel(
          x, y,
          FeaturePixel(uint8_t(Random(256)), 128, 0, 0, Random(4) == 0, uint8_t(1 + Random(120))));
      source.SetPixel(x, y,
                      Color32(uint8_t(Random(256)), uint8_t(Random(256)), uint8_t(Random(256)), 0));
    }
  int inside = 0;
  for (int i = 0; i < 400; ++i) {
    const TPoint start{Random(110) - 10, Random(90) - 10};
    const int steps = 5 + Random(60);
    const float width = float(1 + Random(9));
    const auto run = [&](uint8_t threshold) {
      SetRandSeed(100 + i);
      TLineSampler s(&map, &map);
      s.ColorSource = &source;
      s.StopOnBorders = false;
      s.SetThreshold(threshold);
      s.SetStart(start);
      s.SetStepCount(steps);
      s.SetScanWidth(width);
      const bool drawn = s.Run();
      return std::tuple{drawn,
                        s.SampleCount,
                        s.SumR,
                        s.SumG,
                        s.SumB,
                        s.GetBounds().Left,
                        s.GetBounds().Top,
                        s.GetBounds().Right,
                        s.GetBounds().Bottom,
                        s.AverageColor};
    };
    const auto fast = run(0), checked = run(1);
    ASSERT_EQ(fast, checked) << "stroke " << i;
    inside += std::get<5>(fast) > 5 && std::get<6>(fast) > 5 && std::get<7>(fast) < 85 &&
              std::get<8>(fast) < 65;
  }
  EXPECT_GT(inside, 100);  // both walks were compared many times
}

TEST(LineSampler, OutlineSegmentsPerPrecision) {
  const TBitmap32 map(300, 300, PlainPixel);
  TLineSampler s(&map, &map);
  s.SetStart({10, 150});
  s.SetPrecision(50);
  for (auto [records, vertices] : {std::pair{120, 3}, std::pair{100, 2}, std::pair{1, 0}}) {
    s.Pixels.clear();
    for (int i = 0; i < records; ++i) s.AddPathPixel(i, 0, float(i), 0.0f);
    s.BuildOutline();
    EXPECT_EQ(s.LeftOutline.size(), size_t(vertices)) << records;
    EXPECT_EQ(s.RightOutline.size(), size_t(vertices)) << records;
  }
  // AddPathPixel skips a pixel among the last four records.
  s.Pixels.clear();
  for (int x : {0, 1, 2, 3, 0, 4, 0}) s.AddPathPixel(x, 0, 0, 0);
  EXPECT_EQ(s.Pixels.size(), 6u);
}

TEST(LineSampler, OutlineHalfWidthGrowsFasterThanTheThickness) {
  const TBitmap32 map(300, 300, PlainPixel);
  for (auto [thickness, radius] : {std::pair{1.0f, 0.3333}, std::pair{8.0f, 2.94},
                                   std::pair{16.0f, 7.23}, std::pair{40.0f, 23.8}}) {
    TLineSampler s(&map, &map);
    s.SetStart({100, 100});
    s.SetScale(3.0f);
    s.SetThickness(thickness);
    s.Pixels.clear();
    s.AddPathPixel(0, 0, 0.0f, 0.0f);
    s.AddPathPixel(5, 0, 5.0f, 0.0f);
    s.OutlineSegment(0, 1);
    ASSERT_EQ(s.LeftOutline.size(), 1u);
    // Heading right: the left vertex lies at +r on y, the right one at -r.
    EXPECT_EQ(s.LeftOutline[0].X, Fixed(300));
    EXPECT_NEAR(FixedToFloat(s.LeftOutline[0].Y) / 3.0 - 100.0, radius, 0.01) << thickness;
    EXPECT_NEAR(100.0 - FixedToFloat(s.RightOutline[0].Y) / 3.0, radius, 0.01) << thickness;
  }
}

uint64_t Mix(uint64_t h, int64_t v) {
  return (h ^ uint64_t(v)) * 1099511628211ull;
}

struct TStrokeRunSummary {
  uint64_t Hash = 1469598103934665603ull;
  int Drawn = 0;
  int Vertices = 0;
  int Checked = 0;  // strokes whose vertices were held to the map
  bool InsideMap = true;
};

// A few hundred strokes on the feature map of a real photo, half automatic
// and half along random curves, as the painting code configures them.
TStrokeRunSummary RunStrokes(const TBitmap32& pic, const TBitmap32& map) {
  TStrokeRunSummary sum;
  constexpr float scale = 2.0f, thickness = 12.0f;
  SetRandSeed(20261209);
  for (int k = 0; k < 300; ++k) {
    const TPoint seed{Random(map.Width()), Random(map.Height())};
    TLineSampler s(&map, &map);
    if (k % 3 != 0) s.ColorSource = &pic;
    s.SetScale(scale);
    s.SetPrecision(10 + Random(20));
    s.SetStart(seed);
    const int steps = Random(8) + 24 + Random(20);
    s.SetStepCount(steps);
    s.SetThickness(thickness);
    s.SetScanWidth(float(1 + Random(12)) / 2.0f);
    s.StopOnBorders = k % 2 == 0;
    s.SetThreshold(uint8_t(Random(4)));
    if (k % 2 == 0) {
      s.SetDirectionCallback([](int x, int y, uint8_t& d) { d = uint8_t(d + x - y); });
    } else {
      const auto p = [] { return TPoint{Random(41) - 20, Random(41) - 20}; };
      const TPoint p0 = p(), p1 = p(), p2 = p(), p3 = p();
      s.SetStraightLines(k % 5 == 1);
      s.SetCurve(p0, p1, p2, p3);
    }
    const bool drawn = s.Run();
    const TRect b = s.GetBounds();
    sum.Hash = Mix(sum.Hash, drawn);
    sum.Hash = Mix(Mix(Mix(Mix(sum.Hash, b.Left), b.Top), b.Right), b.Bottom);
    if (!drawn) continue;
    ++sum.Drawn;
    sum.Hash = Mix(sum.Hash, s.AverageColor);
    // Strokes whose path stays on the map have every vertex on the scaled
    // map, give or take the half-width.
    bool pathInside = true;
    for (const TPathPixel& p : s.Pixels)
      pathInside = pathInside && map.Contains(s.Start.X + p.X, s.Start.Y + p.Y);
    const double t = 255.0 * double(s.ThicknessFactor);
    const double margin = std::max(t, std::pow(2.0 * t, 1.3) / 3.0) * scale + 1.0;
    sum.Checked += pathInside;
    for (const TArrayOfFixedPoint* o : {&s.LeftOutline, &s.RightOutline})
      for (const TFixedPoint& v : *o) {
        sum.Hash = Mix(Mix(sum.Hash, v.X), v.Y);
        ++sum.Vertices;
        const double x = FixedToFloat(v.X), y = FixedToFloat(v.Y);
        if (pathInside && (x < -margin || y < -margin || x > map.Width() * scale + margin ||
                           y > map.Height() * scale + margin))
          sum.InsideMap = false;
      }
  }
  return sum;
}

TEST(LineSampler, StrokesOnAPhotoAreDeterministic) {
  const TBitmap32 pic = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
  const TBitmap32 map = ExtractFeatures(pic);
  const TStrokeRunSummary a = RunStrokes(pic, map);
  const TStrokeRunSummary b = RunStrokes(pic, map);
  EXPECT_EQ(a.Hash, b.Hash);
  EXPECT_EQ(a.Drawn, b.Drawn);
  EXPECT_GT(a.Drawn, 100);
  EXPECT_GT(a.Vertices, 2 * a.Drawn);
  EXPECT_GT(a.Checked, 200);
  EXPECT_TRUE(a.InsideMap);
  // Pinned: strokes are exact, so any change here changes every picture.
  EXPECT_EQ(a.Hash, 0xb7f1135ca5a76308ull);
}

// Clean edges: a heading near the edge comes from inside the picture, and a
// stroke that leaves the picture after less than 3 pixels is a stub.
TEST(LineSampler, EdgeMarginAndEdgeStubs) {
  TBitmap32 map(64, 64, PlainPixel);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 3; ++x) map.ScanLine(y)[x] = FeaturePixel(64, 128, 0, 0, false, 10);
  for (int margin : {0, 4}) {
    TLineSampler s(&map, &map);
    s.RandomSide = false;
    s.SetScale(1.0f);
    s.SetStart({1, 30});
    s.SetStepCount(12);
    s.SetDirectionCallback([](int, int, uint8_t& d) { d = 0; });
    s.EdgeMargin = margin;
    ASSERT_TRUE(s.Run());
    const TPathPixel& last = s.Pixels.back();
    if (margin == 0)
      EXPECT_TRUE(last.X == 0 && last.Y < -5) << last.X << "," << last.Y;  // up the frame
    else
      EXPECT_TRUE(last.X > 5 && last.Y == 0) << last.X << "," << last.Y;  // along the inside
  }
  struct TCase {
    TPoint From, To;
    bool Stub;
  } cases[] = {{{1, 30}, {-20, 30}, true},    // two pixels, then out of the picture
               {{3, 30}, {-20, 30}, false},   // four pixels
               {{1, 30}, {22, 30}, false},    // into the picture
               {{30, 62}, {30, 90}, true},    // out at the bottom
               {{30, 30}, {34, 30}, false}};  // short, but away from the edges
  for (const TCase& c : cases) {
    TLineSampler s(&map, &map);
    s.SetScale(1.0f);
    s.SetThickness(2.0f);
    s.SetStraightLines(true);
    s.SetStart(c.From);
    s.SetCurve(c.From, c.From, c.To, c.To);
    ASSERT_TRUE(s.Run());
    EXPECT_EQ(s.IsEdgeStub(3.0f), c.Stub) << c.From.X << "," << c.From.Y;
  }
}

}  // namespace
}  // namespace brellin
