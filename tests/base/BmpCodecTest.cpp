#include "base/BmpCodec.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <string>
#include <vector>

#include "base/Errors.h"

namespace brellin {
namespace {

// Little-endian byte builder for hand-made BMP files.
struct TBytes {
  std::vector<uint8_t> B;
  TBytes& U8(uint32_t v) {
    B.push_back(uint8_t(v));
    return *this;
  }
  TBytes& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  TBytes& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  TBytes& Raw(const std::vector<uint8_t>& v) {
    B.insert(B.end(), v.begin(), v.end());
    return *this;
  }
  TBytes& Pad4(size_t rowStart) {
    while ((B.size() - rowStart) % 4) U8(0);
    return *this;
  }
};

// File header + 40-byte info header; the caller appends masks, palette, rows.
TBytes Header40(int w, int h, int bpp, uint32_t compression, uint32_t offBits,
                uint32_t colorsUsed = 0, uint32_t fileSize = 0) {
  TBytes t;
  t.U8('B').U8('M').U32(fileSize).U32(0).U32(offBits);
  t.U32(40).U32(uint32_t(w)).U32(uint32_t(h)).U16(1).U16(uint32_t(bpp)).U32(compression);
  t.U32(0).U32(2835).U32(2835).U32(colorsUsed).U32(0);
  return t;
}

TBitmap32 Load(const std::vector<uint8_t>& bytes) {
  TBytesStream s(bytes.data(), bytes.size());
  TBitmap32 bmp;
  LoadBMPFromStream(bmp, s);
  EXPECT_EQ(s.Position(), int64_t(bytes.size())) << "the reader must consume the whole BMP";
  return bmp;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
  TBytesStream s(bytes.data(), bytes.size());
  TBitmap32 bmp;
  try {
    LoadBMPFromStream(bmp, s);
  } catch (const EInvalidData& e) {
    return e.what();
  }
  return "(no error)";
}

TBitmap32 SmallPicture() {
  TBitmap32 b(3, 2);
  b.SetPixel(0, 0, 0x00112233);  // alpha 0
  b.SetPixel(1, 0, 0x07445566);
  b.SetPixel(2, 0, 0xFF778899);
  b.SetPixel(0, 1, 0x80AABBCC);
  b.SetPixel(1, 1, 0x01DDEEFF);
  b.SetPixel(2, 1, 0xFE010203);
  return b;
}

void ExpectSame(const TBitmap32& a, const TBitmap32& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << "at " << x << "," << y;
}

TEST(BmpCodecTest, Writes32BitBlockByteForByte) {
  TMemoryStream s;
  SaveBMPToStream(SmallPicture(), s, 32);
  TBytes want = Header40(3, 2, 32, 0, 54, 0, 54 + 24);
  // Resolution is written as 0.
  want.B[34] = 24;
  for (int i = 38; i < 46; ++i) want.B[size_t(i)] = 0;
  // Bottom row first, each pixel B, G, R, A.
  want.Raw({0xCC, 0xBB, 0xAA, 0x80, 0xFF, 0xEE, 0xDD, 0x01, 0x03, 0x02, 0x01, 0xFE});
  want.Raw({0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44, 0x07, 0x99, 0x88, 0x77, 0xFF});
  EXPECT_EQ(s.Data(), want.B);
}

TEST(BmpCodecTest, ThirtyTwoBitsKeepAlphaExactlyEvenWhenAllZero) {
  TBitmap32 pic = SmallPicture();
  TMemoryStream s;
  SaveBMPToStream(pic, s, 32);
  ExpectSame(Load(s.Data()), pic);

  // A feature map may carry alpha 0 everywhere; the BMP reader must not
  // decide it is "unused" (only the picture loader does that).
  for (size_t i = 0; i < pic.PixelCount(); ++i) pic.Bits()[i] &= 0x00FFFFFF;
  TMemoryStream z;
  SaveBMPToStream(pic, z, 32);
  ExpectSame(Load(z.Data()), pic);
}

TEST(BmpCodecTest, Writes24BitsWithPaddedRowsAndReadsThemOpaque) {
  TMemoryStream s;
  SaveBMPToStream(SmallPicture(), s, 24);
  const std::vector<uint8_t>& d = s.Data();
  ASSERT_EQ(d.size(), 54u + 2 * 12);  // 9 bytes of pixels + 3 padding per row
  EXPECT_EQ(d[2], 54 + 24);
  EXPECT_EQ(d[28], 24);
  EXPECT_EQ(d[34], 24);
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + 54, d.begin() + 66),
            (std::vector<uint8_t>{0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0x03, 0x02, 0x01, 0, 0, 0}));
  TBitmap32 want = SmallPicture();
  for (size_t i = 0; i < want.PixelCount(); ++i) want.Bits()[i] |= 0xFF000000;
  ExpectSame(Load(d), want);
}

TEST(BmpCodecTest, RefusesToWriteWhatCannotBeRead) {
  TMemoryStream s;
  EXPECT_THROW(SaveBMPToStream(TBitmap32(), s, 32), EBrellinError);
  EXPECT_THROW(SaveBMPToStream(SmallPicture(), s, 16), EBrellinError);
  EXPECT_EQ(s.Size(), 0);
}

TEST(BmpCodecTest, PicturesBackToBackInOneStream) {
  TBitmap32 a = SmallPicture();
  TBitmap32 b(5, 3, 0xFF204060);
  b.SetPixel(4, 2, 0xFF0000FF);
  TMemoryStream s;
  s.WriteValue<int32_t>(-7);  // the BMPs do not start at 0
  SaveBMPToStream(a, s, 32);
  const int64_t afterA = s.Position();
  SaveBMPToStream(b, s, 24);
  const int64_t afterB = s.Position();
  s.WriteValue<int32_t>(12345);

  s.SetPosition(4);
  TBitmap32 ra, rb;
  LoadBMPFromStream(ra, s);
  EXPECT_EQ(s.Position(), afterA);
  LoadBMPFromStream(rb, s);
  EXPECT_EQ(s.Position(), afterB);
  EXPECT_EQ(s.ReadValue<int32_t>(), 12345);
  ExpectSame(ra, a);
  ExpectSame(rb, b);
}

TEST(BmpCodecTest, PixelOffsetCountsFromTheBmpStart) {
  // An 8-bit picture whose pixels start 6 bytes after its 2-entry colour
  // table; the whole BMP sits behind 3 bytes of something else.
  TBytes t = Header40(2, 1, 8, 0, 54 + 8 + 6, 2);
  t.U32(0x00FF0000).U32(0x000000FF);  // red, blue (B, G, R, 0)
  t.Raw({9, 9, 9, 9, 9, 9});
  t.Raw({1, 0, 0, 0});
  std::vector<uint8_t> bytes = {1, 2, 3};
  bytes.insert(bytes.end(), t.B.begin(), t.B.end());
  TBytesStream s(bytes.data(), bytes.size());
  s.SetPosition(3);
  TBitmap32 bmp;
  LoadBMPFromStream(bmp, s);
  EXPECT_EQ(s.Position(), int64_t(bytes.size()));
  EXPECT_EQ(bmp.Pixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(bmp.Pixel(1, 0), 0xFFFF0000u);
}

TEST(BmpCodecTest, PaletteDepths) {
  const std::vector<uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0};
  const TColor32 black = 0xFF000000, white = 0xFFFFFFFF, red = 0xFFFF0000, green = 0xFF00FF00;

  // 1 bit, 10 pixels wide: two bytes per row plus padding; bottom-up.
  TBytes one = Header40(10, 2, 1, 0, 54 + 8, 2);
  one.Raw({0, 0, 0, 0, 255, 255, 255, 0});
  one.U8(0b10000000).U8(0b01000000).U16(0);  // bottom row: x = 0 and x = 9 white
  one.U8(0b01010101).U8(0b01000000).U16(0);  // top row
  TBitmap32 b1 = Load(one.B);
  EXPECT_EQ(b1.Pixel(0, 1), white);
  EXPECT_EQ(b1.Pixel(1, 1), black);
  EXPECT_EQ(b1.Pixel(9, 1), white);
  EXPECT_EQ(b1.Pixel(0, 0), black);
  EXPECT_EQ(b1.Pixel(1, 0), white);
  EXPECT_EQ(b1.Pixel(8, 0), black);

  // 4 bits, 3 pixels: high nibble first.
  TBytes four = Header40(3, 1, 4, 0, 54 + 16, 4);
  four.Raw(palette).U8(0x23).U8(0x10).U16(0);
  TBitmap32 b4 = Load(four.B);
  EXPECT_EQ(b4.Pixel(0, 0), red);
  EXPECT_EQ(b4.Pixel(1, 0), green);
  EXPECT_EQ(b4.Pixel(2, 0), white);

  // 8 bits with a short table; an index past it reads black.
  TBytes eight = Header40(3, 1, 8, 0, 54 + 16, 4);
  eight.Raw(palette).U8(3).U8(2).U8(200).U8(0);
  TBitmap32 b8 = Load(eight.B);
  EXPECT_EQ(b8.Pixel(0, 0), green);
  EXPECT_EQ(b8.Pixel(1, 0), red);
  EXPECT_EQ(b8.Pixel(2, 0), black);
}

TEST(BmpCodecTest, SixteenBitsDefaultAndBitfields) {
  // Default 5-5-5: 31 becomes 255, 16 becomes 132 (16 * 255 / 31 rounded).
  TBytes t555 = Header40(2, 1, 16, 0, 54);
  t555.U16(0x7C00 | (16 << 5)).U16(0x001F);
  TBitmap32 a = Load(t555.B);
  EXPECT_EQ(a.Pixel(0, 0), Color32(255, 132, 0));
  EXPECT_EQ(a.Pixel(1, 0), Color32(0, 0, 255));

  // 5-6-5 through BI_BITFIELDS with the masks after a 40-byte header; the
  // top bit of a 555 value would be ignored, here it is red.
  TBytes t565 = Header40(3, 1, 16, 3, 54 + 12);
  t565.U32(0xF800).U32(0x07E0).U32(0x001F);
  t565.U16(0xF800).U16(0x07E0).U16(32 << 5).U16(0);
  TBitmap32 b = Load(t565.B);
  EXPECT_EQ(b.Pixel(0, 0), Color32(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 0), Color32(0, 255, 0));
  EXPECT_EQ(b.Pixel(2, 0), Color32(0, 130, 0));  // 32 * 255 / 63 rounded
}

TEST(BmpCodecTest, TwentyFourBitsTopDown) {
  TBytes t = Header40(1, -2, 24, 0, 54);
  t.Raw({0, 0, 255, 0}).Raw({255, 0, 0, 0});  // first stored row is the top
  TBitmap32 b = Load(t.B);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Pixel(0, 0), Color32(255, 0, 0));
  EXPECT_EQ(b.Pixel(0, 1), Color32(0, 0, 255));
}

TEST(BmpCodecTest, ThirtyTwoBitBitfieldsTakeAlphaOnlyFromNewerHeaders) {
  // 124-byte header: masks inside it, alpha mask included.
  TBytes v5;
  v5.U8('B').U8('M').U32(0).U32(0).U32(14 + 124);
  v5.U32(124).U32(1).U32(1).U16(1).U16(32).U32(3).U32(4).U32(0).U32(0).U32(0).U32(0);
  v5.U32(0x000000FF).U32(0x0000FF00).U32(0x00FF0000).U32(0xFF000000);  // R, G, B, A
  while (v5.B.size() < 14 + 124) v5.U8(0);
  v5.U8(10).U8(20).U8(30).U8(40);
  EXPECT_EQ(Load(v5.B).Pixel(0, 0), Color32(10, 20, 30, 40));

  // 40-byte header with BI_BITFIELDS has no alpha mask: opaque.
  TBytes v3 = Header40(1, 1, 32, 3, 54 + 12);
  v3.U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF);
  v3.U8(30).U8(20).U8(10).U8(40);
  EXPECT_EQ(Load(v3.B).Pixel(0, 0), Color32(10, 20, 30, 255));
}

TEST(BmpCodecTest, OldCoreHeaderWithThreeBytePalette) {
  TBytes t;
  t.U8('B').U8('M').U32(0).U32(0).U32(14 + 12 + 6);
  t.U32(12).U16(2).U16(1).U16(1).U16(8);
  t.Raw({0, 0, 255, 255, 0, 0});  // red, blue
  t.Raw({1, 0, 0, 0});
  TBitmap32 b = Load(t.B);
  EXPECT_EQ(b.Pixel(0, 0), Color32(0, 0, 255));
  EXPECT_EQ(b.Pixel(1, 0), Color32(255, 0, 0));
}

TEST(BmpCodecTest, RunLengthEncodings) {
  const std::vector<uint8_t> palette = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
  const TColor32 k = Color32(0, 0, 0), r = Color32(255, 0, 0), g = Color32(0, 255, 0),
                 b = Color32(0, 0, 255);
  // 4 x 2, bottom row: run of 2 red, literal green blue; end of line; top
  // row: move 1 right, run of 1 green; end of picture.
  TBytes rle8 = Header40(4, 2, 8, 1, 54 + 16, 4);
  rle8.Raw(palette).Raw({2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 0, 1, 2, 0, 1});
  TBitmap32 a = Load(rle8.B);
  const TColor32 want8[2][4] = {{k, g, k, k}, {r, r, g, b}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(a.Pixel(x, y), want8[y][x]) << x << "," << y;

  // RLE4: a run alternates two nibbles; a literal of 3 nibbles.
  TBytes rle4 = Header40(4, 2, 4, 2, 54 + 16, 4);
  rle4.Raw(palette).Raw({4, 0x12, 0, 0, 0, 3, 0x32, 0x10, 0, 1});
  TBitmap32 c = Load(rle4.B);
  const TColor32 want4[2][4] = {{b, g, r, k}, {r, g, r, g}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(c.Pixel(x, y), want4[y][x]) << x << "," << y;
}

TEST(BmpCodecTest, ForgedHeadersFailBeforeAllocating) {
  EXPECT_EQ(LoadError(Header40(100000, 100000, 24, 0, 54).B),
            "BMP header claims 100000 x 100000 pixels");
  EXPECT_EQ(LoadError(Header40(40000, 40000, 32, 0, 54).B),
            "BMP header claims 40000 x 40000 pixels");
  EXPECT_EQ(LoadError(Header40(0, 5, 24, 0, 54).B), "BMP picture has no pixels (0 x 5)");
  EXPECT_EQ(LoadError(Header40(5, 0, 24, 0, 54).B), "BMP picture has no pixels (5 x 0)");
  EXPECT_EQ(LoadError(Header40(-5, 5, 24, 0, 54).B), "BMP header claims -5 x 5 pixels");
  EXPECT_EQ(LoadError(Header40(2, 2, 24, 7, 54).B), "unsupported BMP compression 7");
  EXPECT_EQ(LoadError(Header40(2, 2, 24, 1, 54).B),
            "unsupported BMP compression 1 at 24 bits per pixel");
  EXPECT_EQ(LoadError(Header40(2, 2, 7, 0, 54).B), "unsupported BMP depth of 7 bits per pixel");
  EXPECT_EQ(LoadError(Header40(2, 2, 8, 0, 0, 1000).B),
            "BMP colour table of 1000 entries is too large");
  EXPECT_EQ(LoadError(Header40(2, 2, 8, 0, 20).B), "invalid BMP pixel data offset");
  EXPECT_EQ(LoadError(Header40(2, 2, 24, 0, 54).B), "truncated BMP pixel data");
  EXPECT_EQ(LoadError({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "not a BMP file");

  TBytes gappy = Header40(1, 1, 16, 3, 54 + 12);
  gappy.U32(0x7C0F).U32(0x03E0).U32(0x001F).U32(0);
  EXPECT_EQ(LoadError(gappy.B), "invalid BMP bit masks");
  TBytes header = Header40(1, 1, 24, 0, 54);
  header.B[14] = 41;
  EXPECT_EQ(LoadError(header.B), "unsupported BMP header size 41");
}

TEST(BmpCodecTest, EveryTruncationIsAnError) {
  TBytes eight = Header40(5, 3, 8, 0, 54 + 8, 2);
  eight.U32(0x00FF0000).U32(0x000000FF);
  for (int i = 0; i < 3 * 8; ++i) eight.U8(uint32_t(i % 2));
  std::vector<std::vector<uint8_t>> files = {eight.B};
  for (int bpp : {24, 32}) {
    TMemoryStream s;
    SaveBMPToStream(SmallPicture(), s, bpp);
    files.push_back(s.Data());
  }
  for (const auto& file : files)
    for (size_t cut = 0; cut < file.size(); ++cut) {
      const std::vector<uint8_t> part(file.begin(), file.begin() + ptrdiff_t(cut));
      TBytesStream s(part.data(), part.size());
      TBitmap32 bmp;
      EXPECT_THROW(LoadBMPFromStream(bmp, s), EInvalidData) << "cut at " << cut;
    }
}

// The rows a header claims are checked against the bytes there before the
// picture is allocated: a 54-byte file claiming 16000 x 16000 pixels is
// refused within a memory limit far below the gigabyte it asks for.
TEST(BmpCodecTest, AHugeClaimIsRefusedWithoutItsMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit an address-space limit";
#else
  const std::vector<uint8_t> header = Header40(16000, 16000, 24, 0, 54).B;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (rlim_t(256) << 20);
    const rlimit r{limit, limit};
    if (::setrlimit(RLIMIT_AS, &r) != 0) ::_exit(3);
    try {
      TBytesStream s(header.data(), header.size());
      TBitmap32 bmp;
      LoadBMPFromStream(bmp, s);
    } catch (const EInvalidData&) {
      ::_exit(0);  // refused, as it should be
    } catch (const std::bad_alloc&) {
      ::_exit(1);
    }
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the claimed picture was allocated; 2: it was loaded";
#endif
}

}  // namespace
}  // namespace brellin
