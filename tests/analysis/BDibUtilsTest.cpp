#include "analysis/BDibUtils.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <cstdlib>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <numbers>

#include "base/Clipboard.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::TTempDir;

TColor32 ToRGB(float h, float s, float l) {
  uint8_t r, g, b;
  HSLToRGB(r, g, b, h, s, l);
  return Color32(r, g, b);
}

uint32_t SeedAfter(uint32_t seed, int draws) {
  for (int i = 0; i < draws; ++i) seed = seed * 134775813u + 1u;
  return seed;
}

TEST(BDibUtilsColor, HSLToRGBExamplesAndRoundTrip) {
  EXPECT_EQ(ToRGB(0.3f, 0.0f, 0.5f), Color32(128, 128, 128));  // 127.5 rounds to even
  EXPECT_EQ(ToRGB(0.0f, 1.0f, 0.5f), Color32(255, 0, 0));
  EXPECT_EQ(ToRGB(1.0f / 3.0f, 1.0f, 0.5f), Color32(0, 255, 0));
  EXPECT_EQ(ToRGB(2.0f / 3.0f, 1.0f, 0.25f), Color32(0, 0, 128));
  for (int r = 0; r < 256; r += 17)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 17) {
        float h, s, l;
        RGBToHSL(uint8_t(r), uint8_t(g), uint8_t(b), h, s, l);
        const TColor32 c = ToRGB(h, s, l);
        ASSERT_NEAR(RedComponent(c), r, 1) << r << "," << g << "," << b;
        ASSERT_NEAR(GreenComponent(c), g, 1) << r << "," << g << "," << b;
        ASSERT_NEAR(BlueComponent(c), b, 1) << r << "," << g << "," << b;
      }
}

TEST(BDibUtilsColor, VaryColorDrawsThreeTimesInOrderAndClamps) {
  // No variation: one round trip, opaque, and still three draws.
  SetRandSeed(99);
  TColor32 c = 0x40C08020u;
  VaryColor(c, 0, 0, 0, 0, 0, 0);
  float h, s, l;
  RGBToHSL(0xC0, 0x80, 0x20, h, s, l);
  EXPECT_EQ(c, ToRGB(h, s, l));
  EXPECT_EQ(RandSeed(), SeedAfter(99, 3));

  // Hue, saturation and lightness draw in that order, halves are real.
  SetRandSeed(12345);
  const int dh = Random(41), ds = Random(30), dl = Random(7);
  SetRandSeed(12345);
  c = Color32(30, 140, 200);
  VaryColor(c, 41, 30, 7, 0.01f, -0.05f, 0.02f);
  RGBToHSL(30, 140, 200, h, s, l);
  h = float(double(float(h + (dh - 20.5) / 255.0)) + 0.01f);
  s = float(double(float(s + (ds - 15.0) / 255.0)) - 0.05f);
  l = float(double(float(l + (dl - 3.5) / 255.0)) + 0.02f);
  EXPECT_EQ(c, ToRGB(h, s, l));
  EXPECT_EQ(RandSeed(), SeedAfter(12345, 3));

  // Out of range gives the limits; not a number gives 0 (hue 0 is red).
  c = Color32(0, 200, 0);
  VaryColor(c, 0, 0, 0, std::nanf(""), 0, 0);
  EXPECT_EQ(c, Color32(200, 0, 0));
  c = Color32(10, 20, 30);
  VaryColor(c, 0, 0, 0, 0, 0, 5.0f);
  EXPECT_EQ(c, clWhite32);
}

TEST(BDibUtilsColor, ScaleMixBurnInvert) {
  const TColor32 a = 0x10C88040u, b = 0x20204060u;
  EXPECT_EQ(ScaleColor(a, 255), 0xFFC88040u);
  EXPECT_EQ(ScaleColor(a, 128), Color32(100, 64, 32));  // 0x80 x 128 div 255 = 64
  EXPECT_EQ(MixColors(a, b, 255), 0xFFC88040u);
  EXPECT_EQ(MixColors(a, b, 0), 0xFF204060u);
  // Each product is divided on its own: 1 x 128 div 255 + 1 x 127 div 255 = 0.
  EXPECT_EQ(MixColors(Color32(1, 1, 1), Color32(1, 1, 1), 128), Color32(0, 0, 0));

  TBitmap32 bmp(2, 1);
  bmp.SetPixel(0, 0, 0x00C88040u);
  bmp.SetPixel(1, 0, 0x80FFFFFFu);
  TBitmap32 white = bmp;
  LinearBurn(white, clWhite32);
  EXPECT_EQ(white.Pixel(0, 0), 0xFFC88040u);
  EXPECT_EQ(white.Pixel(1, 0), clWhite32);
  TBitmap32 grey = bmp;
  LinearBurn(grey, Color32(100, 200, 0));
  EXPECT_EQ(grey.Pixel(0, 0), Color32(45, 73, 0));
  LinearBurn(bmp, clBlack32);
  EXPECT_EQ(bmp.Pixel(0, 0), clBlack32);
  EXPECT_EQ(bmp.Pixel(1, 0), clBlack32);

  TBitmap32 inv(1, 1, 0x7F102030u);
  InvertColors(inv);
  EXPECT_EQ(inv.Pixel(0, 0), 0x7FEFDFCFu);
}

TEST(BDibUtilsGeometry, PointsAndRectangles) {
  EXPECT_EQ(MidPoint({-3, 5}, {0, 0}), (TPoint{-1, 2}));  // truncated toward zero
  TPoint p{5, 3};
  ScalePoint(p, 0.5f);  // 2.5 and 1.5 round to even
  EXPECT_EQ(p, (TPoint{2, 2}));
  std::vector<TPoint> pts{{1, 2}, {-3, 4}};
  OffsetPoints(pts, {10, 20});
  ScalePoints(pts, 2.0f);
  EXPECT_EQ(pts, (std::vector<TPoint>{{22, 44}, {14, 48}}));

  EXPECT_FLOAT_EQ(Distance({0, 0}, {3, 4}), 5.0f);
  EXPECT_FLOAT_EQ(ControlPolygonLength({{0, 0}, {3, 4}, {3, 4}, {6, 8}}), 10.0f);
  EXPECT_EQ(UnionRect(EmptyRect, {1, 2, 3, 4}), (TRect{1, 2, 3, 4}));
  EXPECT_EQ(UnionRect({0, 5, 2, 6}, {1, 2, 3, 4}), (TRect{0, 2, 3, 6}));
  EXPECT_EQ(ScaleRect({1, 3, 5, 7}, 0.5f), (TRect{0, 2, 2, 4}));

  int32_t w, h;
  FitInside(6000, 3400, 1364, w, h);
  EXPECT_EQ(w, 1364);
  EXPECT_EQ(h, 772);
  // 97 x (50 / 97) is just below 50 in floating point; the size must not lose a pixel.
  FitInside(97, 40, 50, w, h);
  EXPECT_EQ(w, 50);
  EXPECT_EQ(h, 20);
  FitInside(10, 20, 100, w, h);  // grows too
  EXPECT_EQ(w, 50);
  EXPECT_EQ(h, 100);

  EXPECT_NEAR(InverseCubeWeight(0.0f), 1000.0f, 0.01f);
  EXPECT_NEAR(InverseCubeWeight(10.0f), 1.0f, 1e-6f);
  EXPECT_EQ(StrokeCountFor(40, 700, 12), 593);
}

TEST(BDibUtilsGeometry, JitterDrawsInTheStatedOrder) {
  SetRandSeed(777);
  const int a = Random(10), b = Random(10);
  SetRandSeed(777);
  TPoint p{100, 100};
  JitterPoint(p, 10);
  EXPECT_EQ(p, (TPoint{100 + a - 5, 100 + b - 5}));

  // A common offset, then each point's own jitter.
  SetRandSeed(5);
  const int ox = Random(8) - 4, oy = Random(8) - 4;
  const int j0x = Random(3) - 1, j0y = Random(3) - 1, j1x = Random(3) - 1, j1y = Random(3) - 1;
  SetRandSeed(5);
  std::vector<TPoint> pts{{0, 0}, {10, 10}};
  JitterPoints(pts, 8, 3);
  EXPECT_EQ(pts[0], (TPoint{ox + j0x, oy + j0y}));
  EXPECT_EQ(pts[1], (TPoint{10 + ox + j1x, 10 + oy + j1y}));

  // Ends move within half their distance, the first end first.
  SetRandSeed(42);
  const int e0x = Random(10) - 5, e0y = Random(3) - 1, e1x = Random(10) - 5, e1y = Random(3) - 1;
  SetRandSeed(42);
  std::vector<TPoint> line{{0, 0}, {7, 7}, {20, -7}};
  JitterEnds(line, 2);
  EXPECT_EQ(line[0], (TPoint{e0x, e0y}));
  EXPECT_EQ(line[1], (TPoint{7, 7}));
  EXPECT_EQ(line[2], (TPoint{20 + e1x, -7 + e1y}));
  EXPECT_THROW(JitterEnds(line, 3), EBrellinError);
}

TEST(BDibUtilsGeometry, BlendDirectionsFoldsIntoTheLowerHalfPlane) {
  const std::vector<TDirectionGuide> one{{3, 4, 1.0f, -2.0f}};
  TDirectionGuide r = BlendDirections(one, {10, 20});
  EXPECT_EQ(r.X, 10);
  EXPECT_EQ(r.Y, 20);
  EXPECT_FLOAT_EQ(r.VX, -1.0f);  // signs differ: x turns negative as y flips
  EXPECT_FLOAT_EQ(r.VY, 2.0f);
  const std::vector<TDirectionGuide> neg{{3, 4, -1.0f, -2.0f}};
  r = BlendDirections(neg, {3, 4});
  EXPECT_FLOAT_EQ(r.VX, 1.0f);
  EXPECT_FLOAT_EQ(r.VY, 2.0f);

  r = BlendDirections({}, {5, 6});
  EXPECT_EQ(r.X, 5);
  EXPECT_EQ(r.VX, 0.0f);
  EXPECT_EQ(r.VY, 0.0f);

  // The nearer guide dominates (inverse cube of the distance).
  const std::vector<TDirectionGuide> two{{0, 0, 1.0f, 0.0f}, {100, 0, 0.0f, 1.0f}};
  r = BlendDirections(two, {10, 0});
  EXPECT_GT(r.VX, 0.99f);
  EXPECT_LT(r.VY, 0.01f);
}

class TFakeClipboard : public TClipboardPort {
 public:
  bool HasBitmap() override { return !Held.Empty(); }
  void GetBitmap(TBitmap32& bmp) override { bmp = Held; }
  void SetBitmap(const TBitmap32& bmp) override { Held = bmp; }
  TBitmap32 Held;
};

TEST(BDibUtilsBitmap, MakeCropResampleFillPaste) {
  EXPECT_FALSE(IsValidBitmap(nullptr));
  TBitmap32 empty;
  EXPECT_FALSE(IsValidBitmap(&empty));
  TBitmap32 pic = test::MakeTestPicture(7, 5);
  EXPECT_TRUE(IsValidBitmap(&pic));
  const TBitmap32 red = NewBitmap(3, 2, 0xFFFF0000u);
  EXPECT_EQ(red.Width(), 3);
  EXPECT_EQ(red.Pixel(2, 1), 0xFFFF0000u);

  const TBitmap32 crop = CropBitmap(pic, {5, -1, 9, 2});
  ASSERT_EQ(crop.Width(), 4);
  ASSERT_EQ(crop.Height(), 3);
  EXPECT_EQ(crop.Pixel(0, 1), pic.Pixel(5, 0));
  EXPECT_EQ(crop.Pixel(1, 2), pic.Pixel(6, 1));
  EXPECT_EQ(crop.Pixel(0, 0), 0u);  // outside the picture
  EXPECT_EQ(crop.Pixel(2, 1), 0u);

  const TBitmap32 same = Resample(pic, 7, 5);
  EXPECT_EQ(pic.StretchFilter, sfMitchell);
  EXPECT_EQ(same.StretchFilter, sfMitchell);
  EXPECT_TRUE(std::equal(pic.Bits(), pic.Bits() + pic.PixelCount(), same.Bits()));
  EXPECT_EQ(Resample(pic, 20, 3).Width(), 20);

  TBitmap32 tile = test::MakeTestPicture(3, 2);
  TBitmap32 dest(7, 5, clWhite32);
  FillWithPicture(dest, tile, 0);
  EXPECT_EQ(dest.Pixel(6, 4), clWhite32);
  FillWithPicture(dest, tile, 2);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(dest.Pixel(x, y), tile.Pixel(x % 3, y % 2));
  const TBitmap32 flat = NewBitmap(2, 2, 0xFF336699u);
  TBitmap32 flatPic = flat;
  FillWithPicture(dest, flatPic, 1);
  EXPECT_EQ(flatPic.StretchFilter, sfMitchell);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(dest.Pixel(x, y), 0xFF336699u);

  TBitmap32 target = NewBitmap(1, 1, clBlack32);
  PasteBitmap(target);  // no clipboard at all
  EXPECT_EQ(target.Width(), 1);
  TFakeClipboard clipboard;
  SetClipboardPort(&clipboard);
  PasteBitmap(target);  // an empty clipboard
  EXPECT_EQ(target.Pixel(0, 0), clBlack32);
  clipboard.SetBitmap(red);
  PasteBitmap(target);
  SetClipboardPort(nullptr);
  EXPECT_EQ(target.Width(), 3);
  EXPECT_EQ(target.Pixel(1, 1), 0xFFFF0000u);
}

TEST(BDibUtilsBitmap, DashedCircleAlternatesAndArcStaysOnItsSide) {
  // Red and blue pieces over black; count the pixels where each dominates.
  TBitmap32 b(64, 64, clBlack32);
  DrawDashedCircle(b, {32, 32}, 0xFFFF0000u, 0xFF0000FFu, 20.0f);
  int reds = 0, blues = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const TColor32 p = b.Pixel(x, y);
      if (p == clBlack32) continue;
      const double d = std::hypot(x + 0.5 - 32, y + 0.5 - 32);
      EXPECT_NEAR(d, 20.0, 2.0) << x << "," << y;
      reds += RedComponent(p) > BlueComponent(p);
      blues += BlueComponent(p) > RedComponent(p);
    }
  // 63 pieces of about two pixels: 32 blue (the first), 31 red.
  EXPECT_GT(reds, 40);
  EXPECT_GT(blues, 40);
  EXPECT_NEAR(reds, blues, 15);
  // The first piece, from angle 0 to 0.1, is blue.
  EXPECT_GT(BlueComponent(b.Pixel(52, 32)), RedComponent(b.Pixel(52, 32)));

  // A quarter from 0 to pi/2 runs below and right of the centre (y grows downwards).
  TBitmap32 a(64, 64, clBlack32);
  DrawArc(a, {32, 32}, clWhite32, 20.0f, 0.0f, float(std::numbers::pi / 2));
  int lit = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if (a.Pixel(x, y) != clBlack32) {
        ++lit;
        EXPECT_GE(x, 31);
        EXPECT_GE(y, 31);
      }
  EXPECT_GT(lit, 30);
}

TEST(BDibUtilsStream, SegmentsAreRawLittleEndianAndShortStreamsThrow) {
  const std::vector<TBezierSegment> segs{{{1, 2}, {3, 4}, {5, 6}, {7, 8}},
                                         {{-1, 0x12345678}, {0, 0}, {9, 9}, {-7, 65536}}};
  TMemoryStream s;
  WriteSegments(s, segs);
  ASSERT_EQ(s.Size(), 64);
  EXPECT_EQ(s.Data()[0], 1);
  EXPECT_EQ(s.Data()[4], 2);
  EXPECT_EQ(s.Data()[32], 0xFF);
  EXPECT_EQ(s.Data()[36], 0x78);
  s.SetPosition(0);
  std::vector<TBezierSegment> back(2);
  ReadSegments(s, back);
  EXPECT_EQ(back, segs);

  TBytesStream shortStream(s.Data().data(), 63);
  EXPECT_THROW(ReadSegments(shortStream, back), EInvalidData);
}

TEST(BDibUtilsFiles, GetFilesMatchesMaskAndNeedsAList) {
  TTempDir dir;
  for (const char* name : {"b.sty", "A.STY", "c.txt", ".hidden.sty"})
    test::WriteBytes(dir.File(name), {1});
  std::filesystem::create_directory(dir.File("sub.sty"));
  const std::string prefix = dir.Path() + "/";
  std::vector<std::string> list{"stale"};
  GetFiles(prefix, "*.sty", &list);
  EXPECT_EQ(list, (std::vector<std::string>{prefix + ".hidden.sty", prefix + "A.STY",
                                            prefix + "b.sty", prefix + "sub.sty"}));
  GetFiles(prefix, "*.*", &list);
  EXPECT_EQ(list.size(), 5u);
  GetFiles(prefix + "missing/", "*.*", &list);
  EXPECT_TRUE(list.empty());
  try {
    GetFiles(prefix, "*.*", nullptr);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "GetFiles: FileList must be created");
  }
}

TEST(BDibUtilsFiles, AppendLineAndLogError) {
  TTempDir dir;
  const std::string f = dir.File("x.log");
  AppendLine(f, "one");
  AppendLine(f, "two");
  const std::vector<uint8_t> bytes = test::ReadBytes(f);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "one\ntwo\n");
  EXPECT_THROW(AppendLine(dir.File("no/such/folder.log"), "x"), EWriteError);

  // The log goes to the program folder, not the current one.
  const char* home = std::getenv("BRELLIN_HOME");
  const std::string oldHome = home ? home : "";
  ::setenv("BRELLIN_HOME", dir.File("home").c_str(), 1);
  std::filesystem::create_directory(dir.File("home"));
  LogError(std::runtime_error("Cannot load style"));
  home ? ::setenv("BRELLIN_HOME", oldHome.c_str(), 1) : ::unsetenv("BRELLIN_HOME");
  const std::vector<uint8_t> log = test::ReadBytes(dir.File("home/brellin.log"));
  EXPECT_EQ(std::string(log.begin(), log.end()), "Cannot load style\n");
}

std::string FileText(const std::string& f) {
  const std::vector<uint8_t> b = test::ReadBytes(f);
  return {b.begin(), b.end()};
}

TEST(BDibUtilsWriter, BuffersFlushesAndEndsLinesWithLineFeedCarriageReturn) {
  TTempDir dir;
  const std::string f = dir.File("out.ps");
  test::WriteBytes(f, std::vector<uint8_t>(100, 'x'));  // replaced, not appended to
  {
    TBufferedWriter w(f, 8);
    EXPECT_EQ(FileText(f), "");
    w.WriteLine("abc");
    EXPECT_EQ(w.Used(), 5);
    EXPECT_EQ(FileText(f), "");
    w.WriteLine("defg");  // 5 + 6 > 8: the first line goes out first
    EXPECT_EQ(FileText(f), "abc\n\r");
    EXPECT_EQ(w.Used(), 6);
  }
  EXPECT_EQ(FileText(f), "abc\n\rdefg\n\r");

  // A line longer than the buffer goes straight through, in order.
  TBufferedWriter w(f, 8);
  w.WriteLine("ab");
  w.WriteLine("0123456789");
  w.WriteLine("z");
  w.Close();
  EXPECT_EQ(FileText(f), "ab\n\r0123456789\n\rz\n\r");
  EXPECT_THROW(w.WriteLine("late"), EWriteError);

  EXPECT_THROW(TBufferedWriter(dir.File("no/such/folder.ps"), 8), EWriteError);
}

TEST(BDibUtilsWriter, ShortWriteIsDiskFull) {
  // A file size limit makes the kernel take fewer bytes than offered.
  TTempDir dir;
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  {
    TBufferedWriter w(dir.File("full.ps"), 64);
    w.WriteLine("too long for the limit");
    try {
      w.Close();
    } catch (const EWriteError& e) {
      message = e.what();
    }
  }  // the destructor retries quietly
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(message, "Disk full");
}

}  // namespace
}  // namespace brellin
