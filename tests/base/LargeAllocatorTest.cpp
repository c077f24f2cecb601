#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "base/LargeAllocator.h"

namespace brellin {
namespace {

constexpr size_t kMiB = size_t(1) << 20;

bool AllZero(const TLargeVector<uint8_t>& v) {
  return std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; });
}

void Scribble(TLargeVector<uint8_t>& v, uint8_t seed) {
  for (size_t i = 0; i < v.size(); i += 4093) v[i] = uint8_t(seed + i);
  v.back() = uint8_t(seed | 1);
}

// Freed blocks lend their pages to later ones, whole, cut or put together
// from several: every new block must still arrive all zero, and a live block
// must never share pages with another.
TEST(LargeAllocator, BlocksMadeOfSparePagesArriveZeroAndStayApart) {
  ReleaseSpareBlocks();
  {
    TLargeVector<uint8_t> a(5 * kMiB + 123), b(9 * kMiB + 7);
    Scribble(a, 3);
    Scribble(b, 5);
  }
  EXPECT_GE(SpareBlockBytes(), 14 * kMiB);
  // Bigger than either spare: pieces of both, then fresh pages.
  TLargeVector<uint8_t> big(20 * kMiB + 1);
  EXPECT_TRUE(AllZero(big));
  Scribble(big, 7);
  {
    TLargeVector<uint8_t> c(6 * kMiB), d(4 * kMiB + 5);
    Scribble(c, 11);
    Scribble(d, 13);
  }
  // Smaller than a spare: a cut of it, the rest stays spare.
  TLargeVector<uint8_t> small(4 * kMiB + 1), other(5 * kMiB + 9);
  EXPECT_TRUE(AllZero(small));
  EXPECT_TRUE(AllZero(other));
  std::fill(small.begin(), small.end(), uint8_t(0xA5));
  std::fill(other.begin(), other.end(), uint8_t(0x5A));
  EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](uint8_t v) { return v == 0xA5; }));
  TLargeVector<uint8_t> expect(20 * kMiB + 1);
  Scribble(expect, 7);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), expect.begin()));
  // Small blocks come from the heap and are zero too.
  TLargeVector<uint32_t> tiny(1000);
  EXPECT_TRUE(std::all_of(tiny.begin(), tiny.end(), [](uint32_t v) { return v == 0; }));
  ReleaseSpareBlocks();
  EXPECT_EQ(SpareBlockBytes(), 0u);
}

// A block for a caller that overwrites it in full skips the clearing of
// spare pages (the point of asking), on this thread and only while asked.
TEST(LargeAllocator, UnclearedBlocksKeepOldContentsOnlyWhileAsked) {
  ReleaseSpareBlocks();
  {
    TLargeVector<uint8_t> a(12 * kMiB);  // spare pages for two blocks below
    std::fill(a.begin(), a.end(), uint8_t(0x77));
  }
  {
    const TUnclearedBlocks uncleared;
    { const TUnclearedBlocks nested; }
    TLargeVector<uint8_t> b(6 * kMiB);
    EXPECT_EQ(b[12345], 0x77);  // the spare pages, as they were
    // Another thread, given the other spare pages, still gets them cleared.
    bool zero = false;
    std::thread([&] {
      TLargeVector<uint8_t> c(4 * kMiB);
      zero = AllZero(c);
    }).join();
    EXPECT_TRUE(zero);
    std::fill(b.begin(), b.end(), uint8_t(0x55));
  }
  TLargeVector<uint8_t> d(6 * kMiB);
  EXPECT_TRUE(AllZero(d));
  ReleaseSpareBlocks();
}

TEST(LargeAllocator, SparesStayBelowTheLimitAndThreadsShareThemSafely) {
  ReleaseSpareBlocks();
  {
    std::vector<TLargeVector<uint8_t>> many;
    for (int i = 0; i < 40; ++i) many.emplace_back(20 * kMiB);  // 800 MiB, never touched
  }
  EXPECT_LE(SpareBlockBytes(), size_t(512) * kMiB);
  EXPECT_GT(SpareBlockBytes(), 0u);
  std::vector<std::thread> threads;
  std::vector<int> bad(2, 0);
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([t, &bad] {
      for (int round = 0; round < 20; ++round) {
        TLargeVector<uint8_t> v(size_t(4 + (round + t) % 7) * kMiB + size_t(round));
        if (!AllZero(v)) ++bad[size_t(t)];
        std::fill(v.begin(), v.end(), uint8_t(t + 1));
        if (!std::all_of(v.begin(), v.end(), [t](uint8_t b) { return b == t + 1; }))
          ++bad[size_t(t)];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad[0], 0);
  EXPECT_EQ(bad[1], 0);
  ReleaseSpareBlocks();
}

// The helper faults pages in while the owner writes them, as a decoder
// fills its rows: what the owner wrote must stay, everything else zero, and
// an owner that gives up early must not wait for the whole block.
TEST(LargeAllocator, BackgroundPrefaultLeavesTheContentsAlone) {
  ReleaseSpareBlocks();
  TLargeVector<uint8_t> block(64 * kMiB + 321);
  {
    TBackgroundPrefault prefault(block.data(), block.size());
    for (size_t i = 0; i < block.size() / 2; i += 4093) block[i] = uint8_t(i % 251 + 1);
  }
  for (size_t i = 0; i < block.size(); ++i) {
    const uint8_t want = i < block.size() / 2 && i % 4093 == 0 ? uint8_t(i % 251 + 1) : 0;
    if (block[i] != want) {
      ADD_FAILURE() << "byte " << i << " is " << int(block[i]) << ", expected " << int(want);
      break;
    }
  }
  {
    TLargeVector<uint8_t> other(256 * kMiB);
    TBackgroundPrefault stopped(other.data(), other.size());
  }
  TBackgroundPrefault none(nullptr, 0);
  ReleaseSpareBlocks();
}

}  // namespace
}  // namespace brellin
