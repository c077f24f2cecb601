#include <gtest/gtest.h>

#include "base/Random.h"

#include <thread>
#include <vector>

namespace brellin {
namespace {

TEST(Random, SeedAdvancesBeforeUseAndZeroRangeStillDraws) {
  SetRandSeed(0);
  // First draw: seed becomes 1, Random(n) = high 32 bits of 1 * n = 0.
  EXPECT_EQ(Random(100), 0);
  EXPECT_EQ(RandSeed(), 1u);
  // Random(0) returns 0 and still advances the seed.
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(RandSeed(), 1u * 134775813u + 1u);
  const uint32_t s = RandSeed() * 134775813u + 1u;
  EXPECT_EQ(Random(1000), int32_t((uint64_t(s) * 1000u) >> 32));
  EXPECT_EQ(RandSeed(), s);
}

TEST(Random, RealDrawIsSeedOverTwoToThe32) {
  SetRandSeed(12345);
  const uint32_t s = 12345u * 134775813u + 1u;
  EXPECT_DOUBLE_EQ(RandomReal(), double(s) / 4294967296.0);
}

TEST(Random, SameSeedSameSequenceAndValuesInRange) {
  SetRandSeed(7);
  std::vector<int> a;
  for (int i = 0; i < 1000; ++i) a.push_back(Random(37));
  SetRandSeed(7);
  for (int i = 0; i < 1000; ++i) {
    const int v = Random(37);
    EXPECT_EQ(v, a[size_t(i)]);
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 37);
  }
}

// Looking ahead must neither draw nor disagree with the draws that follow;
// every kind of draw is counted.
TEST(Random, PeekingAheadSeesTheComingDrawsWithoutDrawing) {
  SetRandSeed(99);
  const uint64_t count = RandomDrawCount();
  const int32_t third = PeekRandom(3, 5000), first = PeekRandom(1, 7);
  EXPECT_EQ(RandSeed(), 99u);
  EXPECT_EQ(RandomDrawCount(), count);
  EXPECT_EQ(Random(7), first);
  Random(0);
  EXPECT_EQ(Random(5000), third);
  RandomReal();
  EXPECT_EQ(RandomDrawCount(), count + 4);
}

// Drawing ahead on another thread from a foreseen state gives the draws the
// program's generator makes when it gets there, and leaves it alone meanwhile.
TEST(Random, ARedirectedThreadDrawsWhatTheGeneratorWillDraw) {
  SetRandSeed(1234);
  const TRandomState start = CurrentRandomState();
  TRandomState ahead = RandomStateAfter(start, 3);
  std::vector<int32_t> foreseen;
  std::thread([&] {
    const TRandomRedirect redirect(ahead);
    for (int i = 0; i < 5; ++i) foreseen.push_back(Random(1000 + i));
  }).join();
  EXPECT_EQ(CurrentRandomState(), start);
  EXPECT_EQ(ahead, RandomStateAfter(start, 8));
  for (int i = 0; i < 3; ++i) Random(10);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Random(1000 + i), foreseen[size_t(i)]);
  EXPECT_EQ(CurrentRandomState(), ahead);
  {
    const TRandomRedirect redirect(ahead);  // on this thread too, and undone
    Random(5);
    SetCurrentRandomState(start);
  }
  EXPECT_EQ(ahead, start);
  EXPECT_EQ(CurrentRandomState(), RandomStateAfter(start, 8));
}

}  // namespace
}  // namespace brellin
