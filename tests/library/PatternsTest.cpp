#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/Errors.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "library/Patterns.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TBezierSegment Seg(int x0, int y0, int x3, int y3) {
  return {{x0, y0}, {x0, y0}, {x3, y3}, {x3, y3}};
}

// A pattern file: frames given by their curves.
std::vector<uint8_t> PatternFile(const std::vector<std::vector<TBezierSegment>>& Frames) {
  TMemoryStream m;
  m.WriteValue<int32_t>(int32_t(Frames.size()));
  for (const auto& f : Frames) {
    m.WriteValue<int32_t>(int32_t(f.size()));
    for (const auto& s : f) m.WriteValue(s);
  }
  return m.Data();
}

std::string LoadError(std::vector<uint8_t> Bytes) {
  TMemoryStream m(std::move(Bytes));
  TPattern p;
  p.AddFrame(std::make_unique<TPatternFrame>())->AddCurve(Seg(1, 1, 2, 2));
  try {
    p.LoadFromStream(m);
  } catch (const EInvalidData& e) {
    EXPECT_EQ(p.FrameCount(), 1) << "a refused file leaves the pattern as it was";
    return e.what();
  }
  return "";
}

int DarkPixels(const TBitmap32& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += GreenComponent(b.Pixel(x, y)) < 128;
  return n;
}

TEST(Pattern, LoadKeepsOnlyFramesWithCurvesAndSavesThem) {
  const std::vector<TBezierSegment> three = {Seg(0, 0, 10, 10), Seg(5, 5, 50, 0), Seg(1, 2, 3, 4)};
  const std::vector<TBezierSegment> two = {Seg(-7, 9, 200, 210), Seg(0, 100, 100, 0)};
  TMemoryStream m(PatternFile({three, {}, two}));
  TPattern p;
  p.LoadFromStream(m);
  ASSERT_EQ(p.FrameCount(), 2);
  EXPECT_EQ(p.GetFrame(0)->Curves, three);
  EXPECT_EQ(p.GetFrame(1)->Curves, two);
  TMemoryStream out;
  p.SaveToStream(out);
  EXPECT_EQ(out.Data(), PatternFile({three, two}));
  EXPECT_EQ(p.GetExtension(), "stk");
  EXPECT_EQ(p.GetBaseName(), "stroke");

  // A new pattern's five empty frames are written and load back as none.
  TPattern fresh;
  for (int i = 0; i < 5; ++i) fresh.AddFrame(std::make_unique<TPatternFrame>());
  TMemoryStream empty;
  fresh.SaveToStream(empty);
  EXPECT_EQ(empty.Data(), PatternFile({{}, {}, {}, {}, {}}));
  empty.SetPosition(0);
  p.LoadFromStream(empty);
  EXPECT_EQ(p.FrameCount(), 0);
}

TEST(Pattern, BadFilesAreRefusedWithAReason) {
  EXPECT_NE(LoadError({1, 0}), "");
  // Negative and huge counts.
  std::vector<uint8_t> negative = PatternFile({{Seg(0, 0, 1, 1)}});
  negative[0] = 0xFF, negative[1] = 0xFF, negative[2] = 0xFF, negative[3] = 0xFF;
  EXPECT_NE(LoadError(negative).find("-1 frames"), std::string::npos);
  std::vector<uint8_t> huge = PatternFile({{Seg(0, 0, 1, 1)}});
  std::memcpy(huge.data() + 4, "\xFF\xFF\xFF\x7F", 4);  // a frame of 2^31 - 1 curves
  EXPECT_NE(LoadError(huge).find("2147483647 curves"), std::string::npos) << LoadError(huge);
  std::vector<uint8_t> badCurves = PatternFile({{Seg(0, 0, 1, 1)}});
  std::memcpy(badCurves.data() + 4, "\xFE\xFF\xFF\xFF", 4);
  EXPECT_NE(LoadError(badCurves).find("-2 curves"), std::string::npos);
  // More frames than a pattern holds, even empty ones.
  std::vector<uint8_t> many(4 + 4 * 1000, 0);
  std::memcpy(many.data(), "\xE8\x03\x00\x00", 4);
  EXPECT_NE(LoadError(many).find("1000 frames; a pattern holds at most 6"), std::string::npos)
      << LoadError(many);
  std::vector<std::vector<TBezierSegment>> frames(7, {Seg(0, 0, 1, 1)});
  EXPECT_NE(LoadError(PatternFile(frames)), "");
  frames.pop_back();
  EXPECT_EQ(LoadError(PatternFile(frames)), "");
  // Cut short anywhere: before a frame, inside a curve.
  const std::vector<uint8_t> good = PatternFile({{Seg(0, 0, 1, 1)}, {Seg(2, 2, 3, 3)}});
  EXPECT_EQ(LoadError(good), "");
  for (size_t n : {size_t(4), size_t(8), size_t(20), good.size() - 1}) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(n));
    EXPECT_NE(LoadError(cut), "") << n << " bytes";
  }
  // Points far outside the drawing area.
  EXPECT_NE(LoadError(PatternFile({{Seg(0, 0, 10001, 5)}})).find("(10001, 5)"), std::string::npos);
  EXPECT_EQ(LoadError(PatternFile({{Seg(-10000, 0, 10000, 5)}})), "");
}

TEST(Pattern, FrameLimitAndIndexErrors) {
  TPattern p;
  for (int i = 0; i < 6; ++i) p.AddFrame(std::make_unique<TPatternFrame>());
  try {
    p.AddFrame(std::make_unique<TPatternFrame>());
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "AddPatternFrame: MaxFrames reached");
  }
  EXPECT_EQ(p.FrameCount(), 6);
  try {
    p.GetFrame(6);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TPattern.GetFrames: Index out of bounds(6)");
  }
  try {
    p.GetFrame(0)->GetCurve(0);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TPatternFrame.GetCurves: Index out of bounds(0)");
  }
  // No curve at all: there is no frame to pick, and no endless search.
  EXPECT_THROW(p.RandomFrame(), EBrellinError);
}

TEST(Pattern, RandomFrameAndCurveDrawOnlyWhenThereIsAChoice) {
  TPattern p;
  p.AddFrame(std::make_unique<TPatternFrame>());
  TPatternFrame* only = p.AddFrame(std::make_unique<TPatternFrame>());
  only->AddCurve(Seg(0, 0, 9, 9));
  p.AddFrame(std::make_unique<TPatternFrame>());
  SetRandSeed(1234);
  EXPECT_EQ(p.RandomFrame(), only);
  EXPECT_EQ(only->RandomCurve(), Seg(0, 0, 9, 9));
  EXPECT_EQ(RandSeed(), 1234u) << "one curve in all: no draw";

  // Two frames with curves among empty ones: both come up, empty ones never,
  // and each pick is the generator's own draw.
  TPatternFrame* second = p.GetFrame(2);
  second->AddCurve(Seg(1, 1, 5, 5));
  second->AddCurve(Seg(2, 2, 6, 6));
  int seen[3] = {0, 0, 0};
  for (int i = 0; i < 200; ++i) {
    const uint32_t before = RandSeed();
    TPatternFrame* f = p.RandomFrame();
    SetRandSeed(before);
    int k;
    do k = Random(3);
    while (p.GetFrame(k)->CurveCount() == 0);
    ASSERT_EQ(f, p.GetFrame(k));
    ++seen[k];
  }
  EXPECT_EQ(seen[0], 0);
  EXPECT_GT(seen[1], 50);
  EXPECT_GT(seen[2], 50);
  const uint32_t before = RandSeed();
  const TBezierSegment c = second->RandomCurve();
  SetRandSeed(before);
  EXPECT_EQ(c, second->Curves[size_t(Random(2))]);
}

TEST(Pattern, BoundsAndFramePreviews) {
  TPattern p;
  TPatternFrame* f = p.AddFrame(std::make_unique<TPatternFrame>());
  f->AddCurve(Seg(0, 0, 214, 214));
  p.AddFrame(std::make_unique<TPatternFrame>())->AddCurve({{5, 3}, {7, 8}, {9, 9}, {100, 20}});
  p.ComputeBounds();
  EXPECT_EQ(p.Bounds, (TRect{0, 0, 214, 214}));

  // A 56 x 56 slot: cleared light grey, the diagonal drawn across it.
  TBitmap32 slot(56, 56);
  p.SetPreviewTarget(&slot);
  p.DrawFrame(0, true);
  EXPECT_EQ(slot.Pixel(55, 0), 0xFFCCCCCCu);
  EXPECT_EQ(slot.Pixel(0, 55), 0xFFCCCCCCu);
  for (int i : {2, 28, 53}) EXPECT_LT(GreenComponent(slot.Pixel(i, i)), 100) << i;
  const int diagonal = DarkPixels(slot);
  EXPECT_GE(diagonal, 50);
  EXPECT_LE(diagonal, 60);  // scaled by 56 / 214: about one dark pixel per step

  // Every point on one vertical line: nothing is drawn, not even the grey.
  TPattern flat;
  flat.AddFrame(std::make_unique<TPatternFrame>())->AddCurve({{7, 0}, {7, 50}, {7, 90}, {7, 200}});
  TBitmap32 untouched(56, 56, clWhite32);
  flat.SetPreviewTarget(&untouched);
  flat.DrawFrame(0, true);
  EXPECT_EQ(DarkPixels(untouched), 0);
  EXPECT_EQ(untouched.Pixel(10, 10), clWhite32);
}

TEST(Pattern, ThumbnailShowsEveryFrame) {
  TPattern p;
  p.AddFrame(std::make_unique<TPatternFrame>())->AddCurve(Seg(0, 100, 210, 100));
  p.AddFrame(std::make_unique<TPatternFrame>())->AddCurve(Seg(105, 0, 105, 210));
  TBitmap32 target(80, 80, clWhite32);
  p.SetPreviewTarget(&target);
  const TBitmap32 thumb = p.RenderThumbnail(40, 40);
  ASSERT_EQ(thumb.Width(), 40);
  ASSERT_EQ(thumb.Height(), 40);
  // Both frames' lines cross the middle (near row and column 19); the
  // corners stay white.
  auto darkest = [&](int x0, int y0, int dx, int dy) {
    int g = 255;
    for (int i = 0; i < 5; ++i)
      g = std::min<int>(g, GreenComponent(thumb.Pixel(x0 + i * dx, y0 + i * dy)));
    return g;
  };
  EXPECT_LT(darkest(5, 17, 0, 1), 160);
  EXPECT_LT(darkest(17, 5, 1, 0), 160);
  EXPECT_EQ(thumb.Pixel(3, 3), clWhite32);
  EXPECT_EQ(p.PreviewTarget, &target);
  // Without a target set up the pattern uses its own.
  p.SetPreviewTarget(nullptr);
  const TBitmap32 own = p.RenderThumbnail(40, 40);
  EXPECT_TRUE(std::equal(own.Bits(), own.Bits() + own.PixelCount(), thumb.Bits()));
  EXPECT_THROW(p.RenderThumbnail(0, 40), EBrellinError);
}

TEST(Pattern, LibraryLoadsPatternFilesAndSkipsBadOnes) {
  test::TTempDir home;
  const char* old = std::getenv("BRELLIN_HOME");
  const std::string previous = old ? old : "";
  ::setenv("BRELLIN_HOME", home.Path().c_str(), 1);
  test::WriteBytes(home.File("a.stk"), PatternFile({{Seg(0, 0, 50, 50)}, {}}));
  // Three frames declared, the first with one curve, and nothing after.
  test::WriteBytes(home.File("b.stk"), {3, 0, 0, 0, 1, 0, 0, 0});
  {
    TPersistentObjectManager lib(TPattern::StaticClass());
    ASSERT_EQ(lib.Count(), 1);
    EXPECT_EQ(static_cast<TPattern*>(lib.GetObject(0))->FrameCount(), 1);
  }
  ::setenv("BRELLIN_HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace brellin
