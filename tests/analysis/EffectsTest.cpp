#include <gtest/gtest.h>

#include "analysis/Effects.h"

namespace brellin {
namespace {

TBitmap32 AlphaGrid(const std::vector<uint8_t>& alphas, int w) {
  TBitmap32 b(w, int(alphas.size()) / w);
  for (size_t i = 0; i < alphas.size(); ++i)
    b.Bits()[i] = (TColor32(alphas[i]) << 24) | TColor32(0x123456 + i);
  return b;
}

std::vector<uint8_t> Alphas(const TBitmap32& b) {
  std::vector<uint8_t> a;
  for (size_t i = 0; i < b.PixelCount(); ++i) a.push_back(AlphaComponent(b.Bits()[i]));
  return a;
}

TEST(Effects, BlurAlphaInPlaceWithBorderReplacement) {
  TBitmap32 b = AlphaGrid({0, 40, 80, 120, 160, 200, 240, 20, 60}, 3);
  int changes = 0;
  b.OnChange = [&](TBitmap32&) { ++changes; };
  BlurAlpha(b, 1);
  // Worked by hand: (0,0) reads (0,0) (1,0) (0,1) (1,1) = 0 40 120 160 -> 80;
  // (1,0) already sees the new 80 at (0,0); the bottom row reads itself for y + 1.
  EXPECT_EQ(Alphas(b), (std::vector<uint8_t>{80, 120, 140, 115, 130, 85, 126, 96, 92}));
  EXPECT_EQ(changes, 1);
  for (size_t i = 0; i < b.PixelCount(); ++i) EXPECT_EQ(b.Bits()[i] & 0xFFFFFF, 0x123456 + i);
}

TEST(Effects, BlurAlphaRadiusZeroOrLargerThanThePicture) {
  const std::vector<uint8_t> a = {0, 40, 80, 120, 160, 200, 240, 20, 60};
  TBitmap32 b = AlphaGrid(a, 3);
  int changes = 0;
  b.OnChange = [&](TBitmap32&) { ++changes; };
  BlurAlpha(b, 0);
  EXPECT_EQ(Alphas(b), a);
  EXPECT_EQ(changes, 0);
  // Every neighbour falls outside and is replaced by the pixel itself.
  BlurAlpha(b, 5);
  EXPECT_EQ(Alphas(b), a);
  BlurAlpha(b, -5);
  EXPECT_EQ(Alphas(b), a);
}

TEST(Effects, BlurAlphaTimesRunsNPlusOnePasses) {
  TBitmap32 b = AlphaGrid({255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}, 4);
  TBitmap32 twice = b;
  BlurAlpha(twice, 1);
  BlurAlpha(twice, 1);
  int changes = 0;
  b.OnChange = [&](TBitmap32&) { ++changes; };
  BlurAlphaTimes(b, 1);
  EXPECT_EQ(Alphas(b), Alphas(twice));
  EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace brellin
