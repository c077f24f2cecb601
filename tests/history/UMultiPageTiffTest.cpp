// TIFF output: the fields and pixels as libtiff and our own reader see them,
// the bit order on disk, and that failures leave no file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <tiffio.h>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "history/UMultiPageTiff.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::MakeTestPicture;
using test::ReadBytes;
using test::TTempDir;

using TBytes = std::vector<uint8_t>;

// Incompressible pixels, so the file is about as large as the raw strip.
TBitmap32 NoisePicture(int width, int height) {
  TBitmap32 bmp(width, height);
  uint32_t seed = 12345;
  for (size_t i = 0; i < bmp.PixelCount(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    bmp.Bits()[i] = seed;
  }
  return bmp;
}

// The message of the EWriteError the call raises.
template <typename F>
std::string WriteErrorOf(F call) {
  try {
    call();
  } catch (const EWriteError& e) {
    return e.what();
  }
  return "(no error)";
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct TTiffReader {
  TIFF* Tif;
  explicit TTiffReader(const std::string& file) : Tif(TIFFOpen(file.c_str(), "r")) {}
  ~TTiffReader() {
    if (Tif) TIFFClose(Tif);
  }
  template <typename T>
  T Field(ttag_t tag) {
    T v{};
    EXPECT_TRUE(TIFFGetField(Tif, tag, &v)) << "tag " << tag;
    return v;
  }
  TBytes Strip() {
    TBytes data(size_t(TIFFStripSize(Tif)));
    EXPECT_EQ(TIFFReadEncodedStrip(Tif, 0, data.data(), tmsize_t(data.size())),
              tmsize_t(data.size()));
    return data;
  }
};

uint32_t LittleEndian(const TBytes& b, size_t pos, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(b[pos + size_t(i)]) << (8 * i);
  return v;
}

TEST(TMultiPageTiffTest, BufferIsRgbTopRowFirstWithAlphaDropped) {
  TBitmap32 bmp(3, 2);
  const TColor32 pixels[6] = {0xFF102030, 0x00405060, 0x80708090,
                              0x12A0B0C0, 0xFFD0E0F0, 0x01010203};
  for (int i = 0; i < 6; ++i) bmp.SetPixel(i % 3, i / 3, pixels[i]);
  const TBytes expected = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90,
                           0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x01, 0x02, 0x03};

  const TTiffBuff buff(bmp);
  ASSERT_EQ(buff.Size(), 18u);
  EXPECT_EQ(TBytes(buff.Data(), buff.Data() + buff.Size()), expected);

  // The written strip decodes to the same 18 bytes, and writing leaves the
  // picture's own pixels alone.
  TTempDir dir;
  const std::string file = dir.File("tiny.tif");
  SaveTiff(bmp, file, 200);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bmp.Pixel(i % 3, i / 3), pixels[i]);
  TTiffReader r(file);
  ASSERT_NE(r.Tif, nullptr);
  EXPECT_EQ(r.Strip(), expected);
}

TEST(TMultiPageTiffTest, FieldsAndResolutionAsWritten) {
  TTempDir dir;
  const TBitmap32 bmp = MakeTestPicture(70, 46);
  for (double dpi : {200.0, 300.0, 72.5}) {
    SCOPED_TRACE(dpi);
    const std::string file = dir.File("fields.tif");
    SaveTiff(bmp, file, dpi);
    TTiffReader r(file);
    ASSERT_NE(r.Tif, nullptr);
    EXPECT_EQ(r.Field<uint32_t>(TIFFTAG_IMAGEWIDTH), 70u);
    EXPECT_EQ(r.Field<uint32_t>(TIFFTAG_IMAGELENGTH), 46u);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_BITSPERSAMPLE), 8);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_SAMPLESPERPIXEL), 3);
    EXPECT_EQ(r.Field<uint32_t>(TIFFTAG_ROWSPERSTRIP), 46u);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_COMPRESSION), COMPRESSION_LZW);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_RGB);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_FILLORDER), FILLORDER_LSB2MSB);
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_PLANARCONFIG), PLANARCONFIG_CONTIG);
    EXPECT_EQ(r.Field<float>(TIFFTAG_XRESOLUTION), float(dpi));
    EXPECT_EQ(r.Field<float>(TIFFTAG_YRESOLUTION), float(dpi));
    EXPECT_EQ(r.Field<uint16_t>(TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
    EXPECT_EQ(TIFFNumberOfStrips(r.Tif), 1u);
    EXPECT_EQ(TIFFNumberOfDirectories(r.Tif), 1);  // one page, no empty trailing directory
  }
  TMultiPageTiff tiff;
  EXPECT_EQ(tiff.Resolution, 200);
}

// The file on disk: exactly the listed fields plus the strip's offset and
// byte count (no orientation tag: rows run from the top, the default), one
// directory, and FillOrder 2 for real: the LZW stream opens with the 9-bit
// clear code 256, whose first byte is 0x80 in the usual bit order and 0x01
// with the bits of each byte reversed.
TEST(TMultiPageTiffTest, FileLayoutOnDisk) {
  TTempDir dir;
  const std::string file = dir.File("layout.tif");
  SaveTiff(MakeTestPicture(20, 10), file, 200);
  const TBytes b = ReadBytes(file);
  ASSERT_GE(b.size(), 8u);
  ASSERT_EQ(std::string(b.begin(), b.begin() + 4), std::string("II*\0", 4));
  const uint32_t ifd = LittleEndian(b, 4, 4);
  const uint32_t count = ifd + 2 <= b.size() ? LittleEndian(b, ifd, 2) : 0;
  ASSERT_LE(size_t(ifd) + 2 + 12 * size_t(count) + 4, b.size());
  std::vector<uint32_t> tags;
  uint32_t stripOffset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    tags.push_back(LittleEndian(b, ifd + 2 + 12 * i, 2));
    if (tags.back() == 273) stripOffset = LittleEndian(b, ifd + 2 + 12 * i + 8, 4);
  }
  EXPECT_EQ(tags, (std::vector<uint32_t>{256, 257, 258, 259, 262, 266, 273, 277, 278, 279, 282, 283,
                                         284, 296}));
  EXPECT_EQ(LittleEndian(b, ifd + 2 + 12 * count, 4), 0u);  // no second page
  ASSERT_LT(stripOffset, b.size());
  EXPECT_EQ(b[stripOffset], 0x01);
}

// Our reader (libtiff underneath, honouring FillOrder 2) gets the pixels
// back unchanged, top row first, opaque: alpha is dropped, not composited.
// Noise makes LZW grow its codes to the full 12 bits.
TEST(TMultiPageTiffTest, ReaderGetsThePixelsBack) {
  TTempDir dir;
  TBitmap32 withAlpha = MakeTestPicture(70, 46);
  for (size_t i = 0; i < withAlpha.PixelCount(); ++i)
    withAlpha.Bits()[i] = (withAlpha.Bits()[i] & 0xFFFFFFu) | (TColor32(i * 37 % 256) << 24);
  for (const TBitmap32& bmp : {withAlpha, NoisePicture(300, 200)}) {
    const std::string file = dir.File("pixels.TIFF");
    SaveTiff(bmp, file, 200);
    const TBitmap32 back = LoadPictureFile(file);
    ASSERT_EQ(back.Width(), bmp.Width());
    ASSERT_EQ(back.Height(), bmp.Height());
    for (size_t i = 0; i < bmp.PixelCount(); ++i)
      ASSERT_EQ(back.Bits()[i], bmp.Bits()[i] | 0xFF000000u) << i;
  }
}

TEST(TMultiPageTiffTest, RefusedWritesLeaveNoFileAndKeepTheOldOne) {
  TTempDir dir;
  const TBitmap32 bmp = MakeTestPicture(12, 8);

  const std::string missing = dir.File("no/such/folder/x.tif");
  EXPECT_EQ(WriteErrorOf([&] { SaveTiff(bmp, missing, 200); }),
            "Could not open " + missing + " for writing");

  // Overwriting replaces the file and leaves nothing beside it.
  const std::string file = dir.File("keep.tif");
  SaveTiff(MakeTestPicture(40, 30), file, 300);
  SaveTiff(bmp, file, 200);
  EXPECT_EQ(LoadPictureFile(file).Width(), 12);
  const TBytes before = ReadBytes(file);
  EXPECT_THROW(SaveTiff(TBitmap32(), file, 200), EWriteError);
  EXPECT_THROW(SaveTiff(TBitmap32(0, 5), dir.File("empty.tif"), 200), EWriteError);
  for (double dpi : {0.0, -200.0, std::nan(""), HUGE_VAL, 1e10}) {
    SCOPED_TRACE(dpi);
    EXPECT_THROW(SaveTiff(bmp, file, dpi), EWriteError);
    EXPECT_THROW(SaveTiff(bmp, dir.File("dpi.tif"), dpi), EWriteError);
  }
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(WriteErrorOf([&] { SaveTiff(bmp, file, 0); }),
            "Could not write " + file + ": invalid resolution 0");

  // A folder of the target's name stays a folder.
  std::filesystem::create_directory(dir.File("folder.tif"));
  EXPECT_THROW(SaveTiff(bmp, dir.File("folder.tif"), 200), EWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.tif")));

  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"folder.tif", "keep.tif"}));
}

// A write that fails halfway (here: a file size limit, as a full disk would)
// is an error naming the file; the old file survives and no partial file is
// left beside it. Runs in a child process so the limit stays there.
TEST(TMultiPageTiffTest, FailedWriteKeepsTheOldFile) {
  TTempDir dir;
  const std::string file = dir.File("old.tif");
  SaveTiff(MakeTestPicture(12, 8), file, 200);
  const TBytes before = ReadBytes(file);
  const TBitmap32 noise = NoisePicture(256, 256);

  EXPECT_EXIT(
      {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 20000;
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = WriteErrorOf([&] { SaveTiff(noise, file, 200); });
        std::_Exit(error.rfind("Could not write " + file + ": ", 0) == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"old.tif"});
}

}  // namespace
}  // namespace brellin
