#include "history/BStates.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>

#include "base/Errors.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

TBitmap32 Noise(int w, int h, uint32_t seed) {
  TBitmap32 b(w, h);
  for (size_t i = 0; i < b.PixelCount(); ++i) {
    seed = seed * 134775813u + 1;
    b.Bits()[i] = seed;  // alpha varies too
  }
  return b;
}

// A feature map and a destination, and one action at a time painted over
// a rectangle of both with a colour.
struct TPictures {
  TBitmap32 Feature = Noise(40, 30, 1), Dest = Noise(40, 30, 2);
  TBStates History;
  std::unique_ptr<TBState> Paint(const TRect& R, TColor32 C) {
    auto s = std::make_unique<TBState>(Feature, Dest);
    for (int y = std::max(R.Top, 0); y < std::min(R.Bottom, 30); ++y)
      for (int x = std::max(R.Left, 0); x < std::min(R.Right, 40); ++x) {
        Dest.SetPixel(x, y, C);
        Feature.SetPixel(x, y, ~C);
      }
    s->Strokes->AddStroke({{0, 0}, {65536, 0}}, {{0, 65536}}, 0, 0, 255, C);
    s->Store(R);
    return s;
  }
  void Apply(const TRect& R, TColor32 C) { History.Push(Paint(R, C)); }
};

TEST(BStates, UndoAndRedoExchangeThePixelsBitForBit) {
  test::TScratchHome home;
  TPictures p;
  const TBitmap32 f0 = p.Feature, d0 = p.Dest;
  p.Apply({5, 5, 20, 12}, 0x00000000);
  const TBitmap32 f1 = p.Feature, d1 = p.Dest;
  p.Apply({-10, 25, 60, 40}, 0x7F123456);  // reaches past the edges: clipped
  EXPECT_EQ(p.History.Item(1).Rect, (TRect{0, 25, 40, 30}));
  EXPECT_EQ(p.History.Item(1).DestinationPixels->Bitmap().Width(), 40);
  const TBitmap32 f2 = p.Feature, d2 = p.Dest;
  int changes = 0;
  p.Dest.OnChange = [&](TBitmap32&) { ++changes; };

  p.History.Undo(p.Feature, p.Dest);
  EXPECT_TRUE(test::SamePixels(p.Feature, f1));
  EXPECT_TRUE(test::SamePixels(p.Dest, d1));
  EXPECT_EQ(changes, 1);
  p.History.Undo(p.Feature, p.Dest);
  EXPECT_TRUE(test::SamePixels(p.Feature, f0));
  EXPECT_TRUE(test::SamePixels(p.Dest, d0));
  EXPECT_EQ(p.History.VectorCount(), 0);
  try {
    p.History.Undo(p.Feature, p.Dest);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "Imposible hacer undo, estamos al principio de la pila");
  }
  EXPECT_EQ(p.History.Position, 0);
  p.History.Redo(p.Feature, p.Dest);
  p.History.Redo(p.Feature, p.Dest);
  EXPECT_TRUE(test::SamePixels(p.Feature, f2));
  EXPECT_TRUE(test::SamePixels(p.Dest, d2));
  EXPECT_EQ(p.History.VectorCount(), 2);
  try {
    p.History.Redo(p.Feature, p.Dest);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "Imposible hacer redo, estamos en el tope de la pila");
  }
  EXPECT_EQ(p.History.Position, 2);
  EXPECT_FALSE(p.History.IsBusy());
}

TEST(BStates, StoringNothingIsASilentStop) {
  test::TScratchHome home;
  TPictures p;
  for (const TRect& r : {EmptyRect, TRect{3, 3, 3, 3}, TRect{50, 0, 60, 10}, TRect{-9, -9, 0, 0}}) {
    TBState s(p.Feature, p.Dest);
    EXPECT_THROW(s.Store(r), ESilentStop);
  }
  TBState s(p.Feature, p.Dest);
  s.Store({1, 2, 3, 4});
  EXPECT_THROW(s.Store({0, 0, 10, 10}), ESilentStop);  // stored once only
  EXPECT_EQ(s.FeaturePixels->Bitmap().Width(), 2);
}

TEST(BStates, ANewActionDiscardsTheRedoBranchAndItsFiles) {
  test::TScratchHome home;
  TPictures p;
  p.Apply({0, 0, 10, 10}, 1);
  p.Apply({0, 0, 10, 10}, 2);
  p.Apply({0, 0, 10, 10}, 3);
  p.History.Item(2).MoveToDisk();
  const std::string strokes = p.History.Item(2).Strokes->FileName();
  const std::string parked = p.History.Item(2).DestinationPixels->FileName();
  EXPECT_TRUE(fs::exists(strokes));
  EXPECT_TRUE(fs::exists(parked));
  p.History.Undo(p.Feature, p.Dest);
  p.History.Undo(p.Feature, p.Dest);
  p.History.Item(2).MoveToDisk();  // loaded by the exchange, parked again
  const std::string parkedAgain = p.History.Item(2).DestinationPixels->FileName();
  p.Apply({0, 0, 5, 5}, 4);
  EXPECT_EQ(p.History.Count(), 2);
  EXPECT_EQ(p.History.Position, 2);
  EXPECT_FALSE(p.History.CanRedo());
  EXPECT_FALSE(fs::exists(strokes));
  EXPECT_FALSE(fs::exists(parkedAgain));
  EXPECT_EQ(p.History.Item(1).Strokes->Count(), 1);
}

TEST(BStates, IdleCompressionParksOldStatesOneAtATime) {
  test::TScratchHome home;
  TPictures p;
  for (int i = 0; i < 10; ++i) p.Apply({i, i, i + 10, i + 10}, TColor32(i));
  const TBitmap32 f10 = p.Feature, d10 = p.Dest;
  const int64_t inMemory = p.History.MemorySize();
  EXPECT_EQ(inMemory, 10 * 2 * (10 * 10 * 4 + 54));
  for (int call = 1; call <= 12; ++call) {
    p.History.IdleCompress();
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(p.History.Item(i).IsOnDisk(), i < std::min(call, 7)) << call << " " << i;
  }
  EXPECT_EQ(p.History.MemorySize(), 3 * 2 * (10 * 10 * 4 + 54));
  // Nothing is parked while another operation of the history runs.
  TPictures q;
  for (int i = 0; i < 10; ++i) q.Apply({0, 0, 4, 4}, TColor32(i));
  q.History.Busy = true;
  q.History.IdleCompress();
  EXPECT_FALSE(q.History.Item(0).IsOnDisk());
  q.History.Busy = false;
  // Parked states undo and redo as well as the others.
  while (p.History.CanUndo()) p.History.Undo(p.Feature, p.Dest);
  EXPECT_TRUE(test::SamePixels(p.Dest, Noise(40, 30, 2)));
  while (p.History.CanRedo()) p.History.Redo(p.Feature, p.Dest);
  EXPECT_TRUE(test::SamePixels(p.Feature, f10));
  EXPECT_TRUE(test::SamePixels(p.Dest, d10));
  // After undos only the applied states below the kept ones may move.
  TPictures r;
  for (int i = 0; i < 10; ++i) r.Apply({0, 0, 4, 4}, TColor32(i));
  for (int i = 0; i < 8; ++i) r.History.Undo(r.Feature, r.Dest);
  for (int call = 0; call < 5; ++call) r.History.IdleCompress();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(r.History.Item(i).IsOnDisk(), i <= 2) << i;
}

// The history of a project: Position, S and the state records.
std::vector<uint8_t> HistoryBytes(TBStates& h) {
  TMemoryStream m;
  h.WriteToStream(m);
  return m.Data();
}

void Poke32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

std::string Refusal(const std::vector<uint8_t>& b, int w = 40, int h = 30) {
  TMemoryStream m(b);
  try {
    TBStates s(m, w, h);
  } catch (const EInvalidData& e) {
    return e.what();
  }
  return "accepted";
}

TEST(BStates, ProjectHistoryRoundTripAndForgedValues) {
  test::TScratchHome home;
  TPictures p;
  p.Apply({2, 3, 12, 9}, 0xFF00FF00);
  p.Apply({0, 0, 40, 30}, 0x01020304);
  p.History.Item(0).Snapshot = true;
  p.History.Item(1).MoveToDisk();  // written from its parking files
  p.History.Undo(p.Feature, p.Dest);
  const auto bytes = HistoryBytes(p.History);
  const auto files = home.TempFiles();
  {
    TMemoryStream m(bytes);
    TBStates back(m, 40, 30);
    EXPECT_EQ(back.Position, 1);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_TRUE(back.Item(0).Snapshot);
    EXPECT_FALSE(back.Item(1).Snapshot);
    EXPECT_EQ(back.Item(0).Rect, (TRect{2, 3, 12, 9}));
    EXPECT_TRUE(back.Item(0).Stored);
    EXPECT_FALSE(back.RerenderNeeded);
    for (int i = 0; i < 2; ++i) {
      EXPECT_TRUE(test::SamePixels(back.Item(i).DestinationPixels->Bitmap(),
                                   p.History.Item(i).DestinationPixels->Bitmap()));
      EXPECT_TRUE(test::SamePixels(back.Item(i).FeaturePixels->Bitmap(),
                                   p.History.Item(i).FeaturePixels->Bitmap()));
      EXPECT_EQ(back.Item(i).Strokes->Count(), 1);
    }
    EXPECT_EQ(HistoryBytes(back), bytes);
  }
  EXPECT_EQ(Refusal(bytes), "accepted");
  // Position and S sit at offsets 0 and 4; the first state's flags at 8 and
  // its rectangle at 10.
  auto forged = [&](size_t at, int32_t v) {
    auto b = bytes;
    Poke32(b, at, v);
    return Refusal(b);
  };
  EXPECT_NE(forged(0, 3).find("position 3 outside 0..2"), std::string::npos);
  EXPECT_NE(forged(0, -1).find("position -1"), std::string::npos);
  EXPECT_NE(forged(4, -2).find("-2 states"), std::string::npos);
  EXPECT_NE(forged(4, INT_MAX).find("2147483647 states"), std::string::npos);
  EXPECT_NE(forged(4, 3).find("state 3"), std::string::npos);
  EXPECT_NE(forged(10, -1).find("outside the 40 x 30 picture"), std::string::npos);
  EXPECT_NE(forged(18, 41).find("outside"), std::string::npos);
  EXPECT_NE(forged(18, 2).find("outside"), std::string::npos);  // Right = Left
  // A rectangle that fits the picture but not the stored blocks.
  EXPECT_NE(forged(18, 11).find("do not fit the rectangle"), std::string::npos);
  // Pictures smaller than the rectangles.
  EXPECT_NE(Refusal(bytes, 30, 30).find("state 2: rectangle"), std::string::npos);
  auto flags = bytes;
  flags[9] = 2;
  EXPECT_NE(Refusal(flags).find("state 1: invalid state flags"), std::string::npos);
  EXPECT_EQ(home.TempFiles(), files);  // refused histories leave nothing behind
}

}  // namespace
}  // namespace brellin
