#include <gtest/gtest.h>

#include "base/Errors.h"
#include "curves/PolyBezier.h"

namespace brellin {
namespace {

TCurveSegment Straight(TPoint End) {
  TCurveSegment s;
  s.Kind = skLine;
  s.Points[0] = End;
  return s;
}

int CountPixels(const TBitmap32& b, TColor32 c) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.Pixel(x, y) == c;
  return n;
}

TEST(PolyBezier, HitTestOrderAndManhattanTolerance) {
  // Start (10, 10); a straight segment to (14, 10); a cubic with controls
  // (17, 10), (17, 11) and end (18, 10): many points lie within reach of each other.
  TPolyBezier c({10, 10});
  c.AddSegment(Straight({14, 10}));
  c.AddBezierSegment({17, 10}, {17, 11}, {18, 10});
  auto hits = [&](int x, int y, int segment, int point) {
    SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
    ASSERT_TRUE(c.HitTest({0, 0}, x, y));
    EXPECT_EQ(c.SelectedSegment, segment);
    EXPECT_EQ(c.SelectedPoint, point);
  };
  hits(13, 10, -1, -1);  // the start point before every segment point
  hits(20, 10, 0, 1);    // a lower segment before a higher one
  hits(23, 10, 1, 2);    // the first control before the second and the end
  hits(17, 18, 1, 3);
  hits(25, 10, 1, 4);
  // (25, 11) is exactly 8 from both controls and the end: no hit, selection kept.
  EXPECT_FALSE(c.HitTest({0, 0}, 25, 11));
  EXPECT_EQ(c.SelectedPoint, 4);

  // Exactly 8 away (dx 5, dy 3) misses, 7 away hits; Origin is subtracted.
  TPolyBezier d({0, 0});
  d.SelectedSegment = 3;  // a miss leaves the selection alone
  EXPECT_FALSE(d.HitTest({100, 50}, 105, 53));
  EXPECT_EQ(d.SelectedSegment, 3);
  EXPECT_TRUE(d.HitTest({100, 50}, 104, 53));
  EXPECT_EQ(d.SelectedSegment, -1);
  EXPECT_EQ(d.Origin, (TPoint{100, 50}));
}

TEST(PolyBezier, EditingAndSmoothing) {
  TPolyBezier c({0, 0});
  int changes = 0;
  c.SetOnChange([&](TPolyBezier&) { ++changes; });
  c.AddSegment(Straight({1, 1}));  // no event
  EXPECT_EQ(changes, 0);
  c.AddBezierSegment({5, 5}, {6, 6}, {-3, 5});
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(c.SelectedSegment, 1);
  EXPECT_EQ(c.SelectedPoint, 4);
  EXPECT_EQ(c.SegmentStart(1), (TPoint{1, 1}));
  EXPECT_EQ(c.SegmentStart(0), (TPoint{0, 0}));

  // Smoothing moves both controls to the middle of start and end, rounding
  // toward zero: start (1, 1), end (-3, 5) gives (-1, 3).
  c.MoveSelectedPoint(-3, 5, true);
  EXPECT_EQ(c.Segments[1].Points[0], (TPoint{-1, 3}));
  EXPECT_EQ(c.Segments[1].Points[1], (TPoint{-1, 3}));
  // The spec's own case: start (0, 0) and end (-3, 5) give (-1, 2).
  TPolyBezier e({0, 0});
  e.AddBezierSegment({9, 9}, {9, 9}, {0, 0});
  e.MoveSelectedPoint(-3, 5, true);
  EXPECT_EQ(e.Segments[0].Points[0], (TPoint{-1, 2}));
  EXPECT_EQ(e.Segments[0].Points[1], (TPoint{-1, 2}));

  c.SetSegmentPoint(7, 8, 3);
  EXPECT_EQ(c.Segments[1].Points[1], (TPoint{7, 8}));
  c.SelectedSegment = -1;
  c.MoveSelectedPoint(4, 4, false);
  EXPECT_EQ(c.StartPoint, (TPoint{4, 4}));
  EXPECT_EQ(changes, 4);
  // A selection that lost its segment raises instead of writing anywhere.
  c.SelectedSegment = 9;
  EXPECT_THROW(c.SetSegmentPoint(1, 1, 2), EBrellinError);

  // Colour changes fire only when the colour changes; anti-aliasing always.
  changes = 0;
  c.SetColor(c.Color);
  EXPECT_EQ(changes, 0);
  c.SetColor(0xFFFF0000);
  c.SetAntiAliased(false);
  c.SetAntiAliased(false);
  EXPECT_EQ(changes, 3);
}

TEST(PolyBezier, GetBezierAndIndexErrors) {
  TPolyBezier c({1, 1});
  c.AddSegment(Straight({4, 6}));
  c.AddBezierSegment({5, 7}, {6, 8}, {9, 9});
  EXPECT_EQ(c.GetBezier(0), (TBezierSegment{{1, 1}, {2, 3}, {2, 3}, {4, 6}}));
  EXPECT_EQ(c.GetBezier(1), (TBezierSegment{{4, 6}, {5, 7}, {6, 8}, {9, 9}}));
  // Negative sums round toward zero too.
  TPolyBezier n({-1, -1});
  n.AddSegment(Straight({-4, -6}));
  EXPECT_EQ(n.GetBezier(0).P1, (TPoint{-2, -3}));
  try {
    c.GetSegment(2);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TPolyBezier.GetSegment: Index out of bounds(2)");
  }
  EXPECT_THROW(c.GetBezier(-1), EBrellinError);
}

TEST(PolyBezier, DrawingByWidthAndControls) {
  auto draw = [](float width, bool controls, bool aa) {
    TPolyBezier c({10, 30});
    c.AddBezierSegment({20, 5}, {40, 55}, {50, 30});
    c.Color = 0xFFFF0000;
    c.AntiAliased = aa;
    c.SetWidth(width);
    c.SetShowControls(controls);
    TBitmap32 b(64, 64, 0xFF808080);
    b.SetStipple({0x7F0000FF, 0, 0, 0});
    c.Draw({2, 3}, b);
    return b;
  };
  // Thin: no handles, the red curve only.
  TBitmap32 thin = draw(0.5f, false, false);
  EXPECT_EQ(CountPixels(thin, clBlack32), 0);
  EXPECT_GT(CountPixels(thin, 0xFFFF0000), 40);
  EXPECT_EQ(thin.Pixel(12, 33), 0xFFFF0000u);  // the start, shifted by the origin
  // Width 1: plain black handles at both ends (5 x 5 squares, 16 pixels each).
  TBitmap32 one = draw(1.0f, false, false);
  EXPECT_EQ(one.Pixel(12 - 2, 33 - 2), clBlack32);
  EXPECT_EQ(one.Pixel(52 + 2, 33 + 2), clBlack32);
  EXPECT_GE(CountPixels(one, clBlack32), 28);  // the curve crosses each square once
  EXPECT_LE(CountPixels(one, clBlack32), 32);
  // With controls: yellow handle pictures at the controls and the stippled
  // control lines, blended blue.
  TBitmap32 ctl = draw(1.0f, true, true);
  EXPECT_EQ(CountPixels(ctl, clBlack32), 0);
  const TColor32 handleCentre = ctl.Pixel(23, 7);  // beside the first control
  EXPECT_GT(RedComponent(handleCentre), 240);
  EXPECT_GT(GreenComponent(handleCentre), 200);
  EXPECT_LT(BlueComponent(handleCentre), 60);
  int bluish = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const TColor32 p = ctl.Pixel(x, y);
      bluish += BlueComponent(p) > 150 && RedComponent(p) < 100;
    }
  EXPECT_GT(bluish, 3);
  // Wide: dashed white and black sides and caps, no handles, no red.
  TBitmap32 wide = draw(6.0f, false, true);
  EXPECT_EQ(CountPixels(wide, 0xFFFF0000), 0);
  EXPECT_GT(CountPixels(wide, clWhite32), 30);
  EXPECT_GT(CountPixels(wide, clBlack32), 30);
  EXPECT_EQ(wide.Pixel(12, 33), 0xFF808080u) << "the curve itself is not drawn";
  // The cap around the start reaches Width to the left of it.
  bool capLeft = false;
  for (int y = 30; y <= 36; ++y) capLeft |= wide.Pixel(12 - 6, y) != 0xFF808080u;
  EXPECT_TRUE(capLeft);
}

TEST(PolyBezier, StraightSegmentsAndFarAwayPoints) {
  TPolyBezier c({-1000000, 5});
  c.AddSegment(Straight({2000000000, 5}));
  c.Color = 0xFF00FF00;
  TBitmap32 b(32, 16, clWhite32);
  c.Draw({0, 0}, b);  // clipped, no overflow, no endless loop
  EXPECT_EQ(b.Pixel(0, 5), 0xFF00FF00u);
  EXPECT_EQ(b.Pixel(31, 5), 0xFF00FF00u);
  EXPECT_EQ(CountPixels(b, 0xFF00FF00), 32);
}

}  // namespace
}  // namespace brellin
