#include "render/Strokes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Errors.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

TArrayOfFixedPoint Side(int n, int x0, int y0) {
  TArrayOfFixedPoint s;
  for (int i = 0; i < n; ++i)
    s.push_back({(x0 + i % 1000) * 65536 + 3, (y0 - 2 * (i % 1000)) * 65536 - 7});
  return s;
}

TStrokeRecord Record(int left, int right, TColor32 color, int32_t id = 7) {
  TStrokeRecord r;
  r.LeftSide = Side(left, 10, 20);
  r.RightSide = Side(right, -5, 40);
  r.ReliefParams = 0x1234;
  r.Id = id;
  r.Alpha = 200;
  r.Color = color;
  return r;
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
}

// One record of the project layout, written here from its definition:
// left side block, right side block, colour, opacity, brush Id.
void PutProjectRecord(std::vector<uint8_t>& b, const TStrokeRecord& r) {
  for (const TArrayOfFixedPoint* side : {&r.LeftSide, &r.RightSide}) {
    Put32(b, uint32_t(side->size()) | uint32_t(r.ReliefParams) << 16);
    for (const TFixedPoint& p : *side) Put32(b, uint32_t(p.X)), Put32(b, uint32_t(p.Y));
  }
  Put32(b, r.Color);
  b.push_back(r.Alpha);
  Put32(b, uint32_t(r.Id));
}

std::vector<uint8_t> ProjectBlock(const std::vector<TStrokeRecord>& records) {
  std::vector<uint8_t> b;
  Put32(b, uint32_t(records.size()));
  for (const auto& r : records) PutProjectRecord(b, r);
  return b;
}

std::vector<TStrokeRecord> ReadAll(TStrokes& s) {
  std::vector<TStrokeRecord> all;
  s.Rewind();
  TStrokeRecord r;
  while (int(all.size()) < s.Count() && s.ReadNext(r)) all.push_back(r);
  return all;
}

void ExpectSame(const TStrokeRecord& a, const TStrokeRecord& b) {
  EXPECT_TRUE(a.SameStroke(b));
  EXPECT_EQ(a.ReliefParams, b.ReliefParams);
}

TEST(Strokes, RecordSizesAndBothByteLayouts) {
  test::TScratchHome home;
  const TStrokeRecord r = Record(10, 10, 0xFF102030);
  TStrokes s(home.File("a.tsk"));
  s.AddStroke(r);
  // 4 colour + 1 opacity + 4 Id + two sides of 4 + 8 * 10.
  EXPECT_EQ(s.FileSize(), 177);
  TMemoryStream m;
  m.WriteValue<uint32_t>(0xDEADBEEF);  // the block may start anywhere in a stream
  EXPECT_EQ(s.SaveToStream(m), 1);
  EXPECT_EQ(m.Size(), 4 + 4 + 177);
  // Backing file: colour, opacity, Id, then the sides.
  const auto file = test::ReadBytes(home.File("a.tsk"));
  ASSERT_EQ(file.size(), 177u);
  EXPECT_EQ(file[0], 0x30);
  EXPECT_EQ(file[3], 0xFF);
  EXPECT_EQ(file[4], 200);
  EXPECT_EQ(file[5], 7);
  EXPECT_EQ(file[9], 10);     // left side: 10 points,
  EXPECT_EQ(file[11], 0x34);  // relief in the high half of the header
  EXPECT_EQ(file[12], 0x12);
  std::vector<uint8_t> expected = {0xEF, 0xBE, 0xAD, 0xDE};
  const auto block = ProjectBlock({r});
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(m.Data(), expected);
}

TEST(Strokes, RoundTripThroughTheProjectLayout) {
  test::TScratchHome home;
  std::vector<TStrokeRecord> in = {Record(10, 10, 0xFF000000), Record(0, 3, 0x80FFFFFF, -1),
                                   Record(249, 1, 0xFF00FF00, 0), Record(2, 0, 0x00123456)};
  in[1].ReliefParams = 0;
  in[2].Alpha = 0;
  TStrokes s(home.File("a.tsk"));
  for (const auto& r : in) s.AddStroke(r);
  EXPECT_EQ(s.Count(), 4);
  TMemoryStream m;
  EXPECT_EQ(s.SaveToStream(m), 4);
  // Reading the list does not disturb appending to it afterwards.
  s.AddStroke(in[0]);
  EXPECT_EQ(ReadAll(s).size(), 5u);

  m.SetPosition(0);
  TStrokes back(m, home.File("b.tsk"));
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(back.Count(), 4);
  EXPECT_EQ(back.DroppedCount(), 0);
  const auto out = ReadAll(back);
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) ExpectSame(out[i], in[i]);
}

TEST(Strokes, ImmediateRepeatsAreWrittenOnce) {
  test::TScratchHome home;
  const TStrokeRecord a = Record(10, 10, 0xFF0000FF), b = Record(10, 10, 0xFF0000FE);
  TStrokeRecord a2 = a;
  a2.ReliefParams = 1;  // the relief word does not make a stroke different
  TStrokes s(home.File("a.tsk"));
  s.AddStroke(a);
  s.AddStroke(a2);
  s.AddStroke(b);
  s.AddStroke(a);  // not immediate: kept
  TMemoryStream m;
  EXPECT_EQ(s.SaveToStream(m), 3);
  m.SetPosition(0);
  EXPECT_EQ(m.ReadValue<int32_t>(), 3);
  m.SetPosition(0);
  TStrokes back(m, home.File("b.tsk"));
  EXPECT_EQ(back.Count(), 3);
  EXPECT_EQ(back.DroppedCount(), 0);
}

TEST(Strokes, LoadingDropsRepeatsAndLongSides) {
  test::TScratchHome home;
  const TStrokeRecord a = Record(5, 5, 0xFF112233), b = Record(6, 6, 0xFF445566);
  // An older file with a repeat, sides of 250 points (left or right), one
  // of 249, and a repeat of the last kept record behind a dropped one.
  const auto bytes =
      ProjectBlock({a, a, Record(250, 2, 1), Record(2, 250, 1), b, Record(249, 249, 2),
                    Record(249, 249, 2), Record(300, 1, 3), Record(249, 249, 2)});
  TMemoryStream m(bytes);
  TStrokes s(m, home.File("a.tsk"));
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.DroppedCount(), 6);
  const auto out = ReadAll(s);
  ASSERT_EQ(out.size(), 3u);
  ExpectSame(out[0], a);
  ExpectSame(out[1], b);
  ExpectSame(out[2], Record(249, 249, 2));
}

TEST(Strokes, EmptyListAppendAndBackingFileLifetime) {
  test::TScratchHome home;
  const std::string name = home.File("a.tsk");
  {
    TStrokes empty(name);
    TStrokeRecord r;
    empty.Rewind();
    EXPECT_FALSE(empty.ReadNext(r));
    TMemoryStream m;
    EXPECT_EQ(empty.SaveToStream(m), 0);
    EXPECT_EQ(m.Data(), std::vector<uint8_t>(4, 0));

    TStrokes other(home.File("b.tsk"));
    for (int i = 0; i < 5; ++i) other.AddStroke(Record(i, 4 - i, TColor32(i)));
    empty.AddStroke(Record(1, 1, 99));
    empty.AppendFrom(other);
    empty.AppendFrom(other);
    EXPECT_EQ(other.Count(), 5);
    EXPECT_EQ(empty.Count(), 11);
    const auto all = ReadAll(empty);
    ASSERT_EQ(all.size(), 11u);
    for (int i = 0; i < 10; ++i)
      ExpectSame(all[size_t(i + 1)], Record(i % 5, 4 - i % 5, TColor32(i % 5)));
    EXPECT_TRUE(fs::exists(name));
  }
  EXPECT_FALSE(fs::exists(name));
  EXPECT_FALSE(fs::exists(home.File("b.tsk")));
}

// Builds a block, loads it and expects a clear refusal with no file left.
void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& File,
                   const std::string& Words) {
  TMemoryStream m(bytes);
  try {
    TStrokes s(m, File);
    ADD_FAILURE() << "accepted a block of " << bytes.size() << " bytes";
  } catch (const EInvalidData& e) {
    EXPECT_NE(std::string(e.what()).find(Words), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(File));
}

TEST(Strokes, HostileBlocksAreRefusedWithoutLeavingFiles) {
  test::TScratchHome home;
  const std::string file = home.File("x.tsk");
  std::vector<uint8_t> b;
  Put32(b, uint32_t(-5));
  ExpectRefused(b, file, "negative");
  b.clear();
  Put32(b, 2000000000u);
  PutProjectRecord(b, Record(1, 1, 0));
  ExpectRefused(b, file, "2000000000");
  // One stroke whose left side claims 65535 points with 10 bytes behind it.
  b.clear();
  Put32(b, 1);
  Put32(b, 0xFFFF);
  b.insert(b.end(), 10, 0);
  b.insert(b.end(), 20, 0);  // enough bytes for the count check, not for the points
  ExpectRefused(b, file, "truncated");

  // A real block cut at every offset.
  const auto full =
      ProjectBlock({Record(3, 2, 0xFF000001), Record(0, 1, 0xFF000002), Record(4, 4, 5)});
  for (size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    ExpectRefused(std::vector<uint8_t>(full.begin(), full.begin() + ptrdiff_t(n)), file, "stroke");
  }
  TMemoryStream m(full);
  TStrokes ok(m, file);
  EXPECT_EQ(ok.Count(), 3);
}

TEST(Strokes, SidesBeyondTheRecordLimitAreRefused) {
  test::TScratchHome home;
  TStrokes s(home.File("a.tsk"));
  EXPECT_THROW(s.AddStroke(Side(65536, 0, 0), Side(1, 0, 0), 0, 0, 255, 0), EBrellinError);
  EXPECT_EQ(s.Count(), 0);
  EXPECT_EQ(s.FileSize(), 0);
  s.AddStroke(Side(65535, 0, 0), Side(0, 0, 0), 0, 0, 255, 0);
  EXPECT_EQ(s.FileSize(), StrokeRecordSize(65535, 0));
  const auto all = ReadAll(s);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].LeftSide.size(), 65535u);
}

}  // namespace
}  // namespace brellin
