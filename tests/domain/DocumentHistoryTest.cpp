// The document's history: recording, undo and redo, snapshots, merging,
// and the project it is stored in.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "analysis/PictureFormats.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/DualImage.h"
#include "history/UTempManager.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::SamePixels;

struct TShot {
  TBitmap32 Feature, Dest;
};
TShot Shot(test::TTestDocument& d) {
  return {d.Doc->FeatureMap, d.Dest.Bitmap()};
}
bool Shows(test::TTestDocument& d, const TShot& s) {
  return SamePixels(d.Doc->FeatureMap, s.Feature) && SamePixels(d.Dest.Bitmap(), s.Dest);
}
bool AllPixels(const TBitmap32& b, TColor32 c) {
  return std::all_of(b.Bits(), b.Bits() + b.PixelCount(), [&](TColor32 p) { return p == c; });
}

const TPoint Spots[] = {{30, 30}, {90, 60}, {64, 48}, {20, 75}, {100, 20}, {60, 80}, {110, 50}};

// Paints states 1..N at the spots above, one spray each.
std::vector<TShot> PaintStates(test::TTestDocument& d, int N) {
  std::vector<TShot> shots{Shot(d)};
  for (int i = 0; i < N; ++i) {
    d.Paint(Spots[i].X, Spots[i].Y, uint32_t(100 + i));
    shots.push_back(Shot(d));
  }
  return shots;
}

std::vector<TStrokeRecord> StrokesOf(TStrokes& s) {
  std::vector<TStrokeRecord> all;
  TStrokeRecord r;
  s.Rewind();
  while (int(all.size()) < s.Count() && s.ReadNext(r)) all.push_back(r);
  return all;
}

TEST(DocumentHistory, UndoAndRedoRestoreBothPicturesBitForBit) {
  test::TScratchHome home;
  test::TTestDocument d;
  d.Style.Params.Alpha = 150;  // strokes blend with what lies below
  const auto shots = PaintStates(d, 3);
  EXPECT_EQ(d.Doc->StateCount(), 3);
  int changes = 0;
  d.Doc->OnChange = [&](TDualImage&) { ++changes; };
  d.Doc->Undo();
  EXPECT_TRUE(Shows(d, shots[2]));
  d.Doc->Undo();
  EXPECT_TRUE(Shows(d, shots[1]));
  d.Doc->Redo();
  d.Doc->Redo();
  EXPECT_TRUE(Shows(d, shots[3]));
  EXPECT_EQ(changes, 4);
  EXPECT_THROW(d.Doc->Redo(), EBrellinError);
  // The touched rectangles are small: a state keeps only those pixels.
  const TRect r = d.Doc->History->Item(0).Rect;
  EXPECT_LT(int64_t(r.Right - r.Left) * (r.Bottom - r.Top), 128 * 96);
}

// Every change of the destination reaches its view, and only on the thread
// that owns the view, also while a second thread paints the strokes.
TEST(DocumentHistory, TheDestinationViewHearsOfEveryChangeOnItsOwnThread) {
  test::TScratchHome home;
  test::TTestDocument d;
  int repaints = 0;
  bool elsewhere = false;
  const std::thread::id self = std::this_thread::get_id();
  d.Dest.OnRepaint = [&] {
    ++repaints;
    elsewhere |= std::this_thread::get_id() != self;
  };
  const auto repainted = [&](const std::function<void()>& Act) {
    const int before = repaints;
    Act();
    return repaints > before;
  };
  EXPECT_TRUE(repainted([&] { d.Paint(30, 30, 1); }));
  EXPECT_TRUE(repainted([&] {
    d.Doc->StartStrokeQueue();
    d.Paint({{90, 60}, {60, 80}, {100, 20}}, 2);
  }));
  EXPECT_FALSE(d.Doc->StrokeQueueRunning());
  EXPECT_TRUE(repainted([&] { d.Doc->Undo(); }));
  EXPECT_TRUE(repainted([&] { d.Doc->Redo(); }));
  EXPECT_TRUE(repainted([&] { d.Doc->Undo(), d.Doc->Undo(); }));
  EXPECT_FALSE(elsewhere);
}

TEST(DocumentHistory, PaintingAfterUndoDiscardsTheRedoState) {
  test::TScratchHome home;
  test::TTestDocument d;
  PaintStates(d, 2);
  const int64_t first = d.Doc->History->Item(0).Strokes->Count();
  const std::string undone = d.Doc->History->Item(1).Strokes->FileName();
  d.Doc->Undo();
  EXPECT_TRUE(d.Doc->CanRedo());
  d.Paint(100, 20, 7);
  EXPECT_FALSE(d.Doc->CanRedo());
  EXPECT_EQ(d.Doc->History->Count(), 2);
  EXPECT_EQ(d.Doc->VectorCount(), first + d.Doc->History->Item(1).Strokes->Count());
  EXPECT_FALSE(std::filesystem::exists(undone));
  EXPECT_EQ(home.TempFiles().size(), 2u);  // one stroke file per state
}

TEST(DocumentHistory, UndoingEverythingShowsTheBackgroundOnly) {
  test::TScratchHome home;
  test::TTestDocument d;
  PaintStates(d, 2);
  d.Doc->BackgroundColor = 0xFF203040;
  d.Doc->Undo();
  EXPECT_FALSE(AllPixels(d.Dest.Bitmap(), 0xFF203040));
  d.Doc->Undo();
  EXPECT_TRUE(AllPixels(d.Dest.Bitmap(), 0xFF203040));
  EXPECT_FALSE(d.Doc->CanUndo());
  EXPECT_THROW(d.Doc->Undo(), EBrellinError);
}

TEST(DocumentHistory, UndoToSnapshot) {
  test::TScratchHome home;
  test::TTestDocument d;
  const auto shots = PaintStates(d, 3);
  EXPECT_FALSE(d.Doc->CanUndoToSnapshot() && !d.Doc->CanUndo());
  EXPECT_TRUE(d.Doc->CanTakeSnapshot());
  d.Doc->TakeSnapshot();
  EXPECT_FALSE(d.Doc->CanTakeSnapshot());
  d.Paint(110, 50, 40);
  d.Paint(60, 80, 41);
  EXPECT_TRUE(d.Doc->CanTakeSnapshot());
  d.Doc->UndoToSnapshot();
  EXPECT_EQ(d.Doc->StateCount(), 3);
  EXPECT_TRUE(Shows(d, shots[3]));
  // The top is the snapshot now: the next call undoes it and, with no
  // other snapshot below, everything.
  d.Doc->UndoToSnapshot();
  EXPECT_EQ(d.Doc->StateCount(), 0);
  EXPECT_TRUE(AllPixels(d.Dest.Bitmap(), clWhite32));
  EXPECT_TRUE(SamePixels(d.Doc->FeatureMap, shots[0].Feature));
  d.Doc->UndoToSnapshot();  // nothing to undo: nothing happens
  EXPECT_EQ(d.Doc->History->Count(), 5);
}

TEST(DocumentHistory, CompactMergesTheAppliedStates) {
  test::TScratchHome home;
  test::TTestDocument d;
  const auto shots = PaintStates(d, 7);
  d.Doc->Undo();
  d.Doc->Undo();
  std::vector<TStrokeRecord> all;
  for (int i = 0; i < 5; ++i) {
    const auto s = StrokesOf(*d.Doc->History->Item(i).Strokes);
    all.insert(all.end(), s.begin(), s.end());
  }
  const int64_t vectors = d.Doc->VectorCount();
  ASSERT_EQ(int64_t(all.size()), vectors);
  d.Doc->Compact();
  EXPECT_EQ(d.Doc->History->Count(), 1);
  EXPECT_EQ(d.Doc->StateCount(), 1);
  EXPECT_FALSE(d.Doc->CanRedo());
  EXPECT_EQ(d.Doc->VectorCount(), vectors);
  const auto merged = StrokesOf(*d.Doc->History->Item(0).Strokes);
  ASSERT_EQ(merged.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) EXPECT_TRUE(merged[i].SameStroke(all[i])) << i;
  EXPECT_TRUE(Shows(d, shots[5]));
  EXPECT_EQ(home.TempFiles().size(), 1u);  // the merged state's strokes only
  d.Doc->Undo();
  EXPECT_TRUE(AllPixels(d.Dest.Bitmap(), clWhite32));
  d.Doc->Redo();
  EXPECT_TRUE(Shows(d, shots[5]));
}

TEST(DocumentHistory, CompactLeavesASingleAppliedStateAlone) {
  test::TScratchHome home;
  test::TTestDocument d;
  PaintStates(d, 2);
  d.Doc->Undo();
  d.Doc->Compact();
  EXPECT_EQ(d.Doc->History->Count(), 2);
  EXPECT_TRUE(d.Doc->CanRedo());
}

// A history of one state holding two blocks of W x H pixels.
std::string MemoryTextOf(TDualImage& d, int w, int h) {
  d.History = std::make_unique<TBStates>();
  TBitmap32 b(w, h);
  auto s = std::make_unique<TBState>(b, b);
  s->Store(b.BoundsRect());
  d.History->Push(std::move(s));
  return d.MemoryText();
}

TEST(DocumentHistory, MemoryText) {
  test::TScratchHome home;
  test::TTestDocument d;
  EXPECT_EQ(MemoryTextOf(*d.Doc, 10, 10), "908 bytes");     // 2 x (400 + 54)
  EXPECT_EQ(MemoryTextOf(*d.Doc, 9, 13), "1.0195 Kb");      // 1044 / 1024
  EXPECT_EQ(MemoryTextOf(*d.Doc, 128, 96), "96.105 Kb");    // 98412 / 1024
  EXPECT_EQ(MemoryTextOf(*d.Doc, 1024, 512), "4.0001 Mb");  // 4194412 / 2^20
  d.Doc->History->Item(0).MoveToDisk();
  EXPECT_EQ(d.Doc->MemoryText(), "0 bytes");
}

TEST(DocumentHistory, MemoryTextUsesAPointUnderACommaLocale) {
  test::TScratchHome home;
  test::TTestDocument d;
  test::TCommaLocale comma;
  if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(MemoryTextOf(*d.Doc, 9, 13), "1.0195 Kb");
}

// ---------------------------------------------------------------------------
// Projects.

std::vector<uint8_t> Save(TDualImage& d) {
  TMemoryStream m;
  d.SaveToStream(m);
  return m.Data();
}

struct TOpened {
  TPictureView Source, Dest;
  std::unique_ptr<TDualImage> Doc;
  explicit TOpened(const std::vector<uint8_t>& bytes) {
    TMemoryStream m(bytes);
    Doc = std::make_unique<TDualImage>(m, 1.0f, &Dest, &Source);
    EXPECT_EQ(m.Position(), m.Size());
  }
};

TEST(DocumentHistory, ProjectRoundTripKeepsPicturesStatesAndStrokes) {
  test::TScratchHome home;
  test::TTestDocument d;
  PaintStates(d, 3);
  d.Doc->History->Item(1).Snapshot = true;
  d.Doc->Undo();
  d.Doc->History->Item(0).MoveToDisk();  // written from its parking files
  const auto bytes = Save(*d.Doc);
  // Direction bytes live in the feature map's alpha and must survive.
  const TBitmap32& fm = d.Doc->FeatureMap;
  EXPECT_GT(std::count_if(fm.Bits(), fm.Bits() + fm.PixelCount(),
                          [](TColor32 p) { return (p >> 24) != 0xFF && (p >> 24) != 0; }),
            100);
  TOpened o(bytes);
  EXPECT_TRUE(SamePixels(o.Source.Bitmap(), d.Source.Bitmap()));
  EXPECT_TRUE(SamePixels(o.Dest.Bitmap(), d.Dest.Bitmap()));
  EXPECT_TRUE(SamePixels(o.Doc->FeatureMap, fm));
  TBStates& a = *d.Doc->History;
  TBStates& b = *o.Doc->History;
  EXPECT_EQ(b.Position, 2);
  ASSERT_EQ(b.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(b.Item(i).Rect, a.Item(i).Rect);
    EXPECT_EQ(b.Item(i).Snapshot, i == 1);
    const auto sa = StrokesOf(*a.Item(i).Strokes), sb = StrokesOf(*b.Item(i).Strokes);
    ASSERT_EQ(sa.size(), sb.size());
    for (size_t k = 0; k < sa.size(); ++k) {
      EXPECT_TRUE(sa[k].SameStroke(sb[k]));
      EXPECT_EQ(sa[k].ReliefParams, sb[k].ReliefParams);
    }
  }
  EXPECT_FALSE(o.Doc->NeedsRerender);
  // Defaults of a document read from a project.
  EXPECT_EQ(o.Doc->BackgroundColor, clWhite32);
  EXPECT_EQ(o.Doc->Colors.ForeColor, clBlack32);
  EXPECT_EQ(o.Doc->Colors.BackColor, 0u);
  EXPECT_FALSE(o.Doc->Modified);
  // The opened history goes on as the saved one would.
  d.Doc->Redo();
  o.Doc->Redo();
  EXPECT_TRUE(SamePixels(o.Dest.Bitmap(), d.Dest.Bitmap()));
  EXPECT_TRUE(SamePixels(o.Doc->FeatureMap, d.Doc->FeatureMap));
  EXPECT_EQ(Save(*o.Doc), Save(*d.Doc));
}

TEST(DocumentHistory, ProjectLayout) {
  test::TScratchHome home;
  test::TTestDocument d;
  const int64_t block = 54 + 128 * 96 * 4;
  auto bytes = Save(*d.Doc);
  // No painting: three pictures, Position 0 and no state.
  ASSERT_EQ(int64_t(bytes.size()), 3 * block + 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()), std::vector<uint8_t>(8, 0));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bytes[size_t(i * block)], 'B');
    EXPECT_EQ(bytes[size_t(i * block) + 28], 32);  // bits per pixel
  }
  d.Paint(64, 48, 1);
  d.Paint(30, 30, 2);
  d.Doc->Undo();
  bytes = Save(*d.Doc);
  int32_t head[7];
  std::memcpy(head, bytes.data() + 3 * block, sizeof head);
  EXPECT_EQ(head[0], 1);  // Position
  EXPECT_EQ(head[1], 2);  // S
  const TRect r = d.Doc->History->Item(0).Rect;
  EXPECT_EQ(bytes[size_t(3 * block + 8)], 0);  // not a snapshot
  EXPECT_EQ(bytes[size_t(3 * block + 9)], 1);  // stored
  std::memcpy(head, bytes.data() + 3 * block + 10, 16);
  EXPECT_EQ((TRect{head[0], head[1], head[2], head[3]}), r);
}

// Strokes of a project stroke block, written here from the layout.
void PutRecord(std::vector<uint8_t>& b, const TStrokeRecord& r) {
  auto put = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
  };
  for (const TArrayOfFixedPoint* side : {&r.LeftSide, &r.RightSide}) {
    put(uint32_t(side->size()) | uint32_t(r.ReliefParams) << 16);
    for (const TFixedPoint& p : *side) put(uint32_t(p.X)), put(uint32_t(p.Y));
  }
  put(r.Color);
  b.push_back(r.Alpha);
  put(uint32_t(r.Id));
}

TEST(DocumentHistory, ManyDroppedStrokesAskForARerender) {
  test::TScratchHome home;
  test::TTestDocument d;
  d.Style.Params.Alpha = 180;
  PaintStates(d, 4);
  d.Doc->Compact();
  TStrokes& strokes = *d.Doc->History->Item(0).Strokes;
  const auto records = StrokesOf(strokes);
  const int k = int(records.size());
  ASSERT_GT(k, 100);
  const auto bytes = Save(*d.Doc);
  TMemoryStream block;
  strokes.SaveToStream(block);
  const size_t prefix = bytes.size() - block.Data().size();
  ASSERT_TRUE(
      std::equal(block.Data().begin(), block.Data().end(), bytes.begin() + ptrdiff_t(prefix)));
  // Rewrites the stroke block with the first Dup records repeated once each.
  auto withRepeats = [&](int dup) {
    std::vector<uint8_t> b(bytes.begin(), bytes.begin() + ptrdiff_t(prefix));
    const int32_t n = k + dup;
    b.insert(b.end(), reinterpret_cast<const uint8_t*>(&n),
             reinterpret_cast<const uint8_t*>(&n) + 4);
    for (int i = 0; i < k; ++i) {
      PutRecord(b, records[size_t(i)]);
      if (i < dup) PutRecord(b, records[size_t(i)]);
    }
    return b;
  };
  {
    TOpened o(withRepeats(k / 100));  // exactly 1 % or less: no re-render
    EXPECT_EQ(o.Doc->VectorCount(), k);
    EXPECT_EQ(o.Doc->History->Item(0).DroppedOnLoad, k / 100);
    EXPECT_FALSE(o.Doc->NeedsRerender);
  }
  TOpened o(withRepeats(k / 100 + 1));
  EXPECT_EQ(o.Doc->VectorCount(), k);
  EXPECT_TRUE(o.Doc->NeedsRerender);
  // A re-render from the kept strokes over the same paper gives the picture back.
  o.Doc->BackgroundColor = clWhite32;
  o.Dest.Bitmap().Clear(0);
  o.Doc->RerenderDestination();
  EXPECT_FALSE(o.Doc->NeedsRerender);
  EXPECT_TRUE(SamePixels(o.Dest.Bitmap(), d.Dest.Bitmap()));
}

TEST(DocumentHistory, RerenderAtFactorOneReproducesTheDestination) {
  test::TScratchHome home;
  test::TTestDocument d;
  d.Style.Params.Alpha = 120;
  d.Style.Params.LightIntensity = 60;
  PaintStates(d, 5);
  d.Doc->Undo();  // undone strokes are not painted again
  const TBitmap32 dest = d.Dest.Bitmap();
  d.Dest.Bitmap().Clear(0xFF000000);
  d.Doc->RerenderDestination();
  EXPECT_TRUE(SamePixels(d.Dest.Bitmap(), dest));
  TBitmap32 b(128, 96, clWhite32);
  d.Doc->RenderStrokes(b, 1.0f);
  EXPECT_TRUE(SamePixels(b, dest));
}

// Each offset short of the end is refused, leaves the views alone and
// leaves no temporary file.
TEST(DocumentHistory, TruncatedProjectsAreRefusedCleanly) {
  TBitmap32 small(24, 18);
  const TBitmap32 cat = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 24; ++x) small.SetPixel(x, y, cat.Pixel(50 + x, 30 + y));
  std::vector<uint8_t> bytes;
  {
    test::TScratchHome home;
    test::TTestDocument d(small);
    d.Style.Params.Length = 9;
    d.Style.Params.BorderLimit = 0;
    for (uint32_t seed : {1u, 2u}) {
      SetRandSeed(seed);
      d.Doc->BeginEdit();
      for (int i = 0; i < 3; ++i) d.Doc->PaintAt(4 + 7 * i, 4 + 5 * i);
      d.Doc->EndEdit();
    }
    d.Doc->Undo();
    ASSERT_GE(d.Doc->VectorCount(), 2);
    bytes = Save(*d.Doc);
  }
  ASSERT_LT(bytes.size(), 20000u);
  std::unique_ptr<test::TScratchHome> home;
  for (size_t n = 0; n < bytes.size(); ++n) {
    // A fresh folder now and then keeps the manager's log short.
    if (n % 512 == 0) {
      home.reset();
      home = std::make_unique<test::TScratchHome>();
    }
    TPictureView source, dest;
    source.Bitmap().SetSize(3, 3);
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(n)));
    try {
      TDualImage doc(m, 1.0f, &dest, &source);
      ADD_FAILURE() << "accepted a project cut at " << n;
    } catch (const EInvalidData& e) {
      EXPECT_GT(std::strlen(e.what()), 10u);
    }
    ASSERT_EQ(source.Bitmap().Width(), 3) << n;
    ASSERT_TRUE(home->TempFiles().empty()) << n;
  }
  TOpened whole(bytes);
  EXPECT_EQ(whole.Doc->History->Count(), 2);
}

TEST(DocumentHistory, ForgedProjectsNameWhatIsWrong) {
  test::TScratchHome home;
  auto project = [](int fw, int fh, int32_t position, int32_t count) {
    TMemoryStream m;
    SaveBMPToStream(TBitmap32(20, 10, clWhite32), m);
    SaveBMPToStream(TBitmap32(20, 10, clWhite32), m);
    SaveBMPToStream(TBitmap32(fw, fh), m);
    m.WriteValue(position);
    m.WriteValue(count);
    return m.Data();
  };
  auto refusal = [](const std::vector<uint8_t>& b) -> std::string {
    TPictureView s, d;
    TMemoryStream m(b);
    try {
      TDualImage doc(m, 1.0f, &d, &s);
    } catch (const EInvalidData& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(refusal(project(20, 10, 0, 0)), "accepted");
  EXPECT_NE(refusal(project(21, 10, 0, 0)).find("feature map of 21 x 10"), std::string::npos);
  EXPECT_NE(refusal(project(20, 10, 1, 0)).find("position 1 outside 0..0"), std::string::npos);
  EXPECT_NE(refusal(project(20, 10, 0, 5)).find("5 states"), std::string::npos);
  auto b = project(20, 10, 0, 0);
  b[54 + 800] = 'X';  // the destination's signature
  EXPECT_NE(refusal(b).find("destination picture"), std::string::npos);
  EXPECT_TRUE(home.TempFiles().empty());
}

}  // namespace
}  // namespace brellin
