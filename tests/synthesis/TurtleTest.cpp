#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <vector>

#include "synthesis/Turtle.h"

namespace brellin {
namespace {

struct TStepRecord {
  int X, Y, W1, W2;
  friend bool operator==(const TStepRecord&, const TStepRecord&) = default;
  friend void PrintTo(const TStepRecord& s, std::ostream* os) {
    *os << "(" << s.X << "," << s.Y << " " << s.W1 << "/" << s.W2 << ")";
  }
};

std::vector<TStepRecord> Walk(TTurtle& t, int steps) {
  std::vector<TStepRecord> r;
  for (int i = 0; i < steps; ++i) {
    t.Step();
    r.push_back({t.X, t.Y, t.Weight1, t.Weight2});
  }
  return r;
}

TEST(Turtle, SetPositionGivesFullWeightOnTheIntegerPosition) {
  TTurtle t({7, -3}, 40);
  t.Step();
  t.Step();
  t.SetPosition({12, 5});
  EXPECT_EQ(t.GetPosition(), (TPoint{12, 5}));
  EXPECT_EQ(t.GetPositionF(), (TFloatPoint{12.0f, 5.0f}));
  EXPECT_EQ(t.Weight1, 255);
  EXPECT_EQ(t.Accumulator, 0);
  EXPECT_EQ(t.Direction, 40);  // kept
  EXPECT_EQ(t.MinX(), 12);
  EXPECT_EQ(t.MaxY(), 5);
}

// Sub-pixel positions are rounded in single precision where that is exact:
// every numerator of that range must give the double route's float, and
// larger ones take the double route.
TEST(Turtle, PositionRoundingMatchesTheDoubleRouteEverywhere) {
  int64_t mismatches = 0;
  for (int64_t n = -(int64_t(1) << 24); n <= (int64_t(1) << 24); ++n)
    mismatches += DivideBy255(n) != float(double(n) / 255.0);
  EXPECT_EQ(mismatches, 0);
  for (int64_t n : {int64_t(1) << 40, -(int64_t(1) << 33) - 7, int64_t(123456789012)})
    EXPECT_EQ(DivideBy255(n), float(double(n) / 255.0));
}

TEST(Turtle, CardinalAndDiagonalWalks) {
  TTurtle right({0, 0}, 0);
  for (const TStepRecord& s : Walk(right, 5)) EXPECT_EQ(s.W1, 255);
  EXPECT_EQ(right.GetPosition(), (TPoint{5, 0}));

  TTurtle t({0, 0}, 32);  // alternates up and right
  EXPECT_EQ(Walk(t, 4),
            (std::vector<TStepRecord>{
                {0, -1, 128, 127}, {1, -1, 255, 0}, {1, -2, 128, 127}, {2, -2, 255, 0}}));

  TTurtle left({0, 0}, 128), down({0, 0}, 192), up({0, 0}, 64);
  Walk(left, 3);
  Walk(down, 3);
  Walk(up, 3);
  EXPECT_EQ(left.GetPosition(), (TPoint{-3, 0}));
  EXPECT_EQ(down.GetPosition(), (TPoint{0, 3}));
  EXPECT_EQ(up.GetPosition(), (TPoint{0, -3}));
}

TEST(Turtle, Heading16PatternWeightsAndSecondaryPixels) {
  TTurtle t({0, 0}, 16);
  EXPECT_EQ(Walk(t, 6), (std::vector<TStepRecord>{{1, 0, 191, 64},
                                                  {1, -1, 128, 127},
                                                  {2, -1, 192, 63},
                                                  {3, -1, 255, 0},
                                                  {4, -1, 191, 64},
                                                  {4, -2, 128, 127}}));
  // After the up step at b = 32 the neighbour across the line is to the right.
  EXPECT_EQ(t.Sector, 32);
  EXPECT_EQ(t.X2, 5);
  EXPECT_EQ(t.Y2, -2);
  const TFloatPoint f = t.GetPositionF();
  EXPECT_FLOAT_EQ(f.X, (128.0f * 4 + 127.0f * 5) / 255.0f);
  EXPECT_FLOAT_EQ(f.Y, -2.0f);
}

TEST(Turtle, AssigningDirectionKeepsThePhaseSetDirectionRestartsIt) {
  TTurtle a({0, 0}, 16), b({0, 0}, 16);
  a.Step();  // accumulator 16: the next step goes up
  b.Step();
  a.Direction = 16;
  b.SetDirection(16);
  a.Step();
  b.Step();
  EXPECT_EQ(a.GetPosition(), (TPoint{1, -1}));
  EXPECT_EQ(b.GetPosition(), (TPoint{2, 0}));
}

TEST(Turtle, LongWalksAtSteepHeadingsKeepTheirPattern) {
  // Heading 250 adds 250 to the accumulator on every right step; the walk
  // must stay periodic however long it runs.
  TTurtle t({0, 0}, 250);
  t.Accumulator = 2147483000;  // close to overflow
  t.Accumulator -= t.Accumulator % 256;
  TTurtle ref({0, 0}, 250);
  for (int i = 0; i < 640; ++i) {
    t.Step();
    ref.Step();
    ASSERT_EQ(t.X, ref.X);
    ASSERT_EQ(t.Y, ref.Y);
    ASSERT_EQ(t.Weight1, ref.Weight1);
  }
  EXPECT_EQ(ref.GetPosition(), (TPoint{580, 60}));  // 6 of every 64 steps down
}

// Chains of points as the brush and the sampler give them (steps of a few
// pixels, now and then a long move), against the headings appended move by
// move: what was in the list stays, a move from the marked point adds
// nothing, and the limit cuts the codes wherever it falls.
TEST(ChainHeadings, AppendsEveryMoveInOrderUpToTheLimit) {
  std::srand(11);
  for (int trial = 0; trial < 2000; ++trial) {
    TPoint points[32];
    const int count = 1 + std::rand() % 32;
    TPoint p{std::rand() % 200 - 100, std::rand() % 200 - 100};
    for (int i = 0; i < count; ++i) {
      const int reach = std::rand() % 10 == 0 ? 300 : 6;
      p = {p.X + std::rand() % (2 * reach + 1) - reach,
           p.Y + std::rand() % (2 * reach + 1) - reach};
      points[i] = std::rand() % 8 == 0 ? TPoint{-1, -1} : p;
    }
    std::vector<uint8_t> before(size_t(std::rand() % 40), 7);
    const size_t limit = trial % 3 == 0 ? size_t(std::rand() % 600) : size_t(1) << 30;
    const TPoint none{-1, -1};
    const TPoint* skip = trial % 2 == 0 ? &none : nullptr;
    std::vector<uint8_t> expected = before;
    for (int i = 1; i < count; ++i) {
      const TPoint a = points[i - 1], b = points[i];
      if (skip && a.X == -1 && a.Y == -1) continue;
      const size_t d = size_t(std::abs(b.X - a.X) + std::abs(b.Y - a.Y));
      for (size_t k = 0; k < d && expected.size() < limit; ++k)
        expected.push_back(ComputeDirection(b.X - a.X, b.Y - a.Y));
    }
    std::vector<uint8_t> codes = before;
    AppendChainHeadings(points, count, codes, limit, skip);
    ASSERT_EQ(codes, expected) << "trial " << trial;
  }
}

TEST(DirectionTo, ShortMovesFromTheTableMatchTheComputedHeadings) {
  // The table covers moves up to 32 pixels each way; past it, computed.
  for (int dy = -40; dy <= 40; ++dy)
    for (int dx = -40; dx <= 40; ++dx) {
      ASSERT_EQ(DirectionTo({100, -7}, {100 + dx, -7 + dy}), ComputeDirection(dx, dy))
          << dx << ", " << dy;
    }
  EXPECT_EQ(DirectionTo({0, 0}, {-5, 0}), 128);
  EXPECT_EQ(DirectionTo({-2147483647, 0}, {2147483647, 1}), ComputeDirection(4294967294LL, 1));
}

TEST(DirectionTo, CardinalsDiagonalAndSamePoint) {
  const TPoint a{10, 10};
  EXPECT_EQ(DirectionTo(a, {15, 10}), 0);
  EXPECT_EQ(DirectionTo(a, {10, 2}), 63);
  EXPECT_EQ(DirectionTo(a, {3, 10}), 128);
  EXPECT_EQ(DirectionTo(a, {10, 11}), 192);
  EXPECT_EQ(DirectionTo(a, {11, 11}), 224);
  EXPECT_EQ(DirectionTo(a, a), 0);
}

TEST(TurnCorrection, KeepsTheMeasuredRowsAndTheShape) {
  const int rows[][2] = {
      {0, 1463},   {1, 1497},   {10, 1419},  {20, 1325},  {40, 1184},  {60, 1078},  {80, 991},
      {100, 908},  {120, 825},  {140, 737},  {150, 699},  {154, 730},  {155, 809},  {156, 1000},
      {157, 853},  {158, 741},  {161, 699},  {170, 728},  {190, 816},  {210, 899},  {230, 982},
      {235, 1000}, {250, 1067}, {270, 1171}, {290, 1307}, {300, 1398}, {311, 1502}, {313, 839}};
  for (const auto& r : rows) EXPECT_EQ(TurnCorrection[r[0]], float(r[1] / 1000.0)) << r[0];
  for (int i = 0; i < TurnCorrectionSize; ++i) {
    const float v = TurnCorrection[i];
    EXPECT_GE(v, 0.699f) << i;
    EXPECT_LE(v, 1.502f) << i;
    EXPECT_EQ(v, float(std::lround(v * 1000.0) / 1000.0)) << i;  // three decimals
    const int mirror = 312 - i;                                  // entry of the opposite angle
    if (i >= 20 && i <= 292 && std::abs(i - 156) > 5)
      EXPECT_NEAR(v, TurnCorrection[mirror], 0.02) << i;
  }
}

// A walk of |dx| + |dy| steps at DirectionTo's heading ends within one pixel
// plus n / 32 of B (about two heading units of drift, the quantisation of
// 256 headings per turn).
TEST(DirectionTo, WalkReachesTheNeighbourhoodOfTheTarget) {
  uint32_t seed = 2024;
  const auto next = [&seed](int n) {
    seed = seed * 134775813u + 1u;
    return int((uint64_t(seed) * uint32_t(n)) >> 32);
  };
  for (int k = 0; k < 20000; ++k) {
    const int reach = 1 + next(300);
    const TPoint a{next(1000) - 500, next(1000) - 500};
    const TPoint b{a.X + next(2 * reach + 1) - reach, a.Y + next(2 * reach + 1) - reach};
    const int n = std::abs(b.X - a.X) + std::abs(b.Y - a.Y);
    TTurtle t(a, DirectionTo(a, b));
    for (int i = 0; i < n; ++i) t.Step();
    const double miss = std::hypot(t.X - b.X, t.Y - b.Y);
    ASSERT_LE(miss, 1.0 + n / 32.0) << a.X << "," << a.Y << " -> " << b.X << "," << b.Y;
  }
}

}  // namespace
}  // namespace brellin
