#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "base/Errors.h"
#include "curves/Bezier.h"

namespace brellin {
namespace {

std::vector<TBezierSegment> Pieces(TPoint p0, TPoint p1, TPoint p2, TPoint p3) {
  std::vector<TBezierSegment> r;
  SubdivideBezier(p0, p1, p2, p3, [&r](TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
    r.push_back({q0, q1, q2, q3});
  });
  return r;
}

TEST(Bezier, MidPointRoundsTowardTheFirstPoint) {
  EXPECT_EQ(BezierMidPoint({0, 0}, {-3, 3}), (TPoint{-1, 1}));
  EXPECT_EQ(BezierMidPoint({3, -3}, {0, 0}), (TPoint{2, -2}));
  // Far-apart points do not overflow.
  EXPECT_EQ(BezierMidPoint({2147483647, -2147483647 - 1}, {-2147483647 - 1, 2147483647}),
            (TPoint{0, -1}));
}

TEST(Bezier, SubdivisionGivesEightChainedPiecesInCurveOrder) {
  for (const TBezierSegment& s : {TBezierSegment{{0, 0}, {0, 0}, {0, 0}, {0, 0}},
                                  TBezierSegment{{0, 0}, {100, -40}, {-30, 200}, {255, 7}},
                                  TBezierSegment{{5, 5}, {-9, 3}, {1000, 1}, {-77, -800}}}) {
    const auto p = Pieces(s.P0, s.P1, s.P2, s.P3);
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(p.front().P0, s.P0);
    EXPECT_EQ(p.back().P3, s.P3);
    for (size_t i = 1; i < p.size(); ++i) EXPECT_EQ(p[i].P0, p[i - 1].P3);
  }
  // First piece of (0,0) (8,0) (16,0) (24,0): level by level 12, 6, 3.
  const auto line = Pieces({0, 0}, {8, 0}, {16, 0}, {24, 0});
  EXPECT_EQ(line[0], (TBezierSegment{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
  EXPECT_EQ(line[7].P0, (TPoint{21, 0}));
}

// Split by split, as the subdivision is defined.
void SplitThrice(TPoint p0, TPoint p1, TPoint p2, TPoint p3, int level, std::vector<TPoint>& out) {
  if (level == 3) {
    out.insert(out.end(), {p0, p1, p2, p3});
    return;
  }
  const TPoint m01 = BezierMidPoint(p0, p1), m12 = BezierMidPoint(p1, p2),
               m23 = BezierMidPoint(p2, p3), m012 = BezierMidPoint(m01, m12),
               m123 = BezierMidPoint(m12, m23), m0123 = BezierMidPoint(m012, m123);
  SplitThrice(p0, m01, m012, m0123, level + 1, out);
  SplitThrice(m0123, m123, m23, p3, level + 1, out);
}

// Small curves and curves reaching the ends of the coordinates (where the
// midpoints need 64 bits), each split as defined.
TEST(Bezier, SubdivisionPointsAreTheSplitsForAnyCoordinates) {
  std::srand(5);
  const int32_t reaches[] = {50, 1 << 20, (1 << 30) - 1, 1 << 30, 2147483647};
  for (int trial = 0; trial < 5000; ++trial) {
    const int64_t reach = reaches[trial % 5];
    const auto coordinate = [reach] {
      const int64_t v = (int64_t(std::rand()) << 31 | std::rand()) % (2 * reach + 1) - reach;
      return int32_t(std::max<int64_t>(v, INT32_MIN));
    };
    TPoint c[4];
    for (TPoint& p : c) p = {coordinate(), coordinate()};
    if (trial % 7 == 0) c[trial % 4] = {INT32_MIN, INT32_MIN};
    std::vector<TPoint> expected;
    SplitThrice(c[0], c[1], c[2], c[3], 0, expected);
    TPoint got[32];
    SubdivisionPoints(c[0], c[1], c[2], c[3], got);
    ASSERT_EQ(std::vector<TPoint>(got, got + 32), expected) << "trial " << trial;
  }
}

TEST(Bezier, AddLineRepeatsTheStartAndEndsExactly) {
  TBezierHelper h;
  h.AddLine(0, 0, 3, 1);
  EXPECT_EQ(h.Points, (std::vector<TPoint>{{0, 0}, {0, 0}, {1, 0}, {2, 0}, {3, 1}}));
  h.Points.clear();
  h.AddLine(4, 4, 4, 4);
  EXPECT_EQ(h.Points, (std::vector<TPoint>{{4, 4}, {4, 4}}));
  h.Points.clear();
  h.AddLine(0, 0, -2, -5);
  ASSERT_EQ(h.Points.size(), 7u);
  EXPECT_EQ(h.Points.back(), (TPoint{-2, -5}));
  EXPECT_EQ(h.Points[1], (TPoint{0, 0}));
}

TEST(Bezier, FlattenDegenerateAndHorizontalSegments) {
  TBezierHelper h;
  h.Flatten({{3, 9}, {3, 9}, {3, 9}, {3, 9}});
  EXPECT_EQ(h.Points, std::vector<TPoint>(48, TPoint{3, 9}));

  h.Flatten({{0, 0}, {0, 0}, {8, 0}, {8, 0}});
  size_t expected = 0;
  for (const TBezierSegment& p : Pieces({0, 0}, {0, 0}, {8, 0}, {8, 0}))
    expected +=
        size_t(std::abs(p.P1.X - p.P0.X) + std::abs(p.P2.X - p.P1.X) + std::abs(p.P3.X - p.P2.X)) +
        6;
  EXPECT_EQ(h.Points.size(), expected);
  for (const TPoint& p : h.Points) EXPECT_EQ(p.Y, 0);
  EXPECT_EQ(h.Points.front(), (TPoint{0, 0}));
  EXPECT_EQ(h.Points.back(), (TPoint{8, 0}));
}

TEST(Bezier, SplitIntoFullPiecesAndARemainder) {
  const TBezierSegment seg{{0, 0}, {30, 0}, {60, 0}, {90, 0}};
  TBezierHelper h;
  h.Flatten(seg);
  const std::vector<TPoint> pts = h.Points;
  const int n = int(pts.size());

  h.Split(seg, 10);
  const int q = (n - 1) / 10, r = (n - 1) % 10;
  ASSERT_EQ(h.SegmentCount(), q + (r != 0 ? 1 : 0));
  EXPECT_EQ(h.Points, pts);
  EXPECT_EQ(h.GetSegment(0),
            (TBezierSegment{pts[0], pts[2], pts[8], pts[10]}));  // 2.5 -> 2, 7.5 -> 8
  EXPECT_EQ(h.GetSegment(1), (TBezierSegment{pts[10], pts[12], pts[18], pts[20]}));
  for (int i = 1; i < h.SegmentCount(); ++i) EXPECT_EQ(h.GetSegment(i).P0, h.GetSegment(i - 1).P3);
  EXPECT_EQ(h.GetSegment(h.SegmentCount() - 1).P3, pts[n - 1]);

  h.Split(seg, n + 5);  // longer than the chain: only the remainder piece
  ASSERT_EQ(h.SegmentCount(), 1);
  EXPECT_EQ(h.GetSegment(0).P0, pts[0]);
  EXPECT_EQ(h.GetSegment(0).P3, pts[n - 1]);

  h.Split(seg, n - 1);  // an exact multiple: no remainder piece
  ASSERT_EQ(h.SegmentCount(), 1);
  EXPECT_EQ(h.GetSegment(0).P3, pts[n - 1]);

  // The remainder's control points: Round(0.25 R) and Round(0.75 R), halves to even.
  const int a = n - 3;  // Q = 1, R = 2
  h.Split(seg, a);
  ASSERT_EQ(h.SegmentCount(), 2);
  EXPECT_EQ(h.GetSegment(1), (TBezierSegment{pts[a], pts[a], pts[a + 2], pts[n - 1]}));
}

TEST(Bezier, GetSegmentChecksItsIndexAndSplitItsPieceLength) {
  TBezierHelper h;
  h.Split({{0, 0}, {10, 0}, {20, 0}, {30, 0}}, 1000);
  EXPECT_NO_THROW(h.GetSegment(0));
  try {
    h.GetSegment(1);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TBezierHelper.GetSegment: Index out of bounds(1)");
  }
  EXPECT_THROW(h.GetSegment(-1), EBrellinError);
  EXPECT_THROW(h.Split({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0), EBrellinError);
}

}  // namespace
}  // namespace brellin
