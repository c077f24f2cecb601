#include "render/StrokeQueue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "render/StrokeRenderer.h"

namespace brellin {
namespace {

// Records what it was asked to paint, and on which thread; fails on a colour.
class TRecordingBrush : public TAbstractStrokeRenderer {
 public:
  const TPersistentClass& ClassType() const override { return StaticClass(); }
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  void Render(const TArrayOfFixedPoint& L, const TArrayOfFixedPoint& R, TBitmap32& T) override {
    if (FColor == FailOn) throw std::runtime_error("brush failed");
    Colours.push_back(FColor);
    Alphas.push_back(FAlpha);
    Reliefs.push_back(uint16_t(FBumpiness | (FSoftness << 4) | (FLightIntensity << 8)));
    Points.push_back(int(L.size() + R.size()));
    Threads.push_back(std::this_thread::get_id());
    T.SetPixel(0, 0, FColor);
  }
  TColor32 FailOn = 0;
  std::vector<TColor32> Colours;
  std::vector<uint8_t> Alphas;
  std::vector<uint16_t> Reliefs;
  std::vector<int> Points;
  std::vector<std::thread::id> Threads;
};

TEST(StrokeQueue, PaintsEveryStrokeInOrderWithItsOwnSettingsOnAnotherThread) {
  TBitmap32 target(4, 4);
  TRecordingBrush a, b;
  constexpr int n = 1000;  // many batches, and a last one cut short
  {
    TStrokeQueue q(target);
    for (int i = 1; i <= n; ++i) {
      TArrayOfFixedPoint l(size_t(i % 5 + 1)), r(size_t(i % 3 + 1));
      q.Push(i % 7 == 0 ? &b : &a, TColor32(i), uint8_t(i), uint16_t(i * 3 & 0xFFFF), l, r);
      EXPECT_EQ(l.size() + r.size(), size_t(i % 5 + 1 + i % 3 + 1));  // copied, not taken
    }
    q.Finish();
    q.Finish();  // a second Finish has nothing left to do
  }
  EXPECT_EQ(target.Pixel(0, 0), TColor32(n));
  ASSERT_EQ(a.Colours.size() + b.Colours.size(), size_t(n));
  size_t ia = 0, ib = 0;
  for (int i = 1; i <= n; ++i) {
    TRecordingBrush& br = i % 7 == 0 ? b : a;
    const size_t k = i % 7 == 0 ? ib++ : ia++;
    ASSERT_EQ(br.Colours[k], TColor32(i));
    EXPECT_EQ(br.Alphas[k], uint8_t(i));
    EXPECT_EQ(br.Reliefs[k], uint16_t(i * 3 & 0xFFFF));
    EXPECT_EQ(br.Points[k], i % 5 + 1 + i % 3 + 1);
    EXPECT_NE(br.Threads[k], std::this_thread::get_id());
  }
}

TEST(StrokeQueue, AFailureStopsThePaintingAndReachesTheCaller) {
  TBitmap32 target(4, 4);
  TRecordingBrush brush;
  brush.FailOn = 50;
  TStrokeQueue q(target);
  // Pushing goes on until the failure is seen, at the latest when the queue is full.
  bool thrown = false;
  for (int i = 1; i <= 100000 && !thrown; ++i) {
    TArrayOfFixedPoint l(2), r(2);
    try {
      q.Push(&brush, TColor32(i), 255, 0, l, r);
    } catch (const std::runtime_error&) {
      thrown = true;
    }
  }
  EXPECT_THROW(q.Finish(), std::runtime_error);
  ASSERT_EQ(brush.Colours.size(), 49u);  // nothing after the failing stroke
  EXPECT_EQ(brush.Colours.back(), 49u);
  EXPECT_EQ(target.Pixel(0, 0), 49u);

  // Dropped by the destructor when nobody asks for it.
  TRecordingBrush other;
  other.FailOn = 1;
  auto abandon = [&] {
    TStrokeQueue q2(target);
    TArrayOfFixedPoint l(2), r(2);
    q2.Push(&other, 1, 255, 0, l, r);
  };
  EXPECT_NO_THROW(abandon());
}

}  // namespace
}  // namespace brellin
