// JPEG, PNG and TIFF decoders, the picture-format registry and the
// corpus photos.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include "analysis/JpegCodec.h"
#include "analysis/PictureFormats.h"
#include "analysis/PngCodec.h"
#include "analysis/TiffCodec.h"
#include "base/Blend.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::CorpusAvailable;
using test::CorpusPath;
using test::ReadBytes;
using test::TTempDir;
using test::WriteBytes;

using TBytes = std::vector<uint8_t>;
using TLoader = void (*)(TBitmap32&, TStream&);

TBitmap32 Decode(TLoader load, const TBytes& bytes) {
  TBytesStream s(bytes.data(), bytes.size());
  TBitmap32 bmp;
  load(bmp, s);
  return bmp;
}

std::string DecodeError(TLoader load, const TBytes& bytes) {
  try {
    Decode(load, bytes);
  } catch (const EInvalidData& e) {
    return e.what();
  }
  return "(no error)";
}

// Cuts a valid file at about 20 offsets spread over its length (and near
// both ends); every part must be rejected.
void ExpectEveryCutFails(TLoader load, const TBytes& file) {
  std::vector<size_t> cuts = {0, 1, 2, 5, 9, 17, file.size() - 1, file.size() - 2};
  for (int i = 1; i < 14; ++i) cuts.push_back(file.size() * size_t(i) / 14);
  for (size_t cut : cuts) {
    const TBytes part(file.begin(), file.begin() + ptrdiff_t(cut));
    EXPECT_THROW(Decode(load, part), EInvalidData) << "cut at " << cut << " of " << file.size();
  }
}

void ExpectSame(const TBitmap32& a, const TBitmap32& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(std::memcmp(a.Bits(), b.Bits(), a.PixelCount() * 4), 0) << "pixels differ";
}

// Mean and largest difference over the colour channels.
struct TDiff {
  double Mean = 0;
  int Max = 0;
};
TDiff ColourDiff(const TBitmap32& a, const TBitmap32& b) {
  TDiff d;
  double sum = 0;
  for (size_t i = 0; i < a.PixelCount(); ++i)
    for (int sh : {0, 8, 16}) {
      const int v = std::abs(int((a.Bits()[i] >> sh) & 0xFF) - int((b.Bits()[i] >> sh) & 0xFF));
      sum += v;
      d.Max = std::max(d.Max, v);
    }
  d.Mean = sum / (3.0 * double(a.PixelCount()));
  return d;
}

// ---- writers for test input, straight through the libraries ----

TBytes WriteJpeg(int w, int h, J_COLOR_SPACE space, int comps, const std::vector<uint8_t>& samples,
                 bool progressive = false, bool adobe = true) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = comps;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  if (space == JCS_CMYK) {
    jpeg_set_colorspace(&c, JCS_CMYK);
    c.write_Adobe_marker = adobe ? TRUE : FALSE;
  }
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples.data()) + size_t(c.next_scanline) * w * comps;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  TBytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

void AppendToVector(png_structp png, png_bytep data, size_t n) {
  auto* v = static_cast<TBytes*>(png_get_io_ptr(png));
  v->insert(v->end(), data, data + n);
}

// rows: raw PNG sample bytes of each row (16-bit samples big-endian).
TBytes WritePng(int w, int h, int depth, int colorType, const std::vector<TBytes>& rows,
                bool interlace = false, const std::vector<png_color>& palette = {},
                const TBytes& trns = {}) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "libpng could not write the test picture";
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendToVector, nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int p = 0; p < passes; ++p)
    for (const TBytes& r : rows) png_write_row(png, r.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

TBytes WriteTiff(int w, int h, int spp, int bps, int photometric, uint16_t compression,
                 const TBytes& samples, bool alpha = false) {
  TTempDir dir;
  const std::string file = dir.File("t.tif");
  TIFF* t = TIFFOpen(file.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(bps));
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(photometric));
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(2));
  if (alpha) {
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  const size_t rowBytes = size_t(w) * size_t(spp) * size_t(bps / 8);
  for (int y = 0; y < h; ++y)
    TIFFWriteScanline(t, const_cast<uint8_t*>(samples.data()) + rowBytes * size_t(y), uint32_t(y));
  TIFFClose(t);
  return ReadBytes(file);
}

// Bytes of a test picture as samples: RGB or grey.
TBytes Samples(const TBitmap32& b, bool grey) {
  TBytes s;
  for (size_t i = 0; i < b.PixelCount(); ++i) {
    const TColor32 c = b.Bits()[i];
    if (grey) {
      s.push_back(GreenComponent(c));
    } else {
      s.push_back(RedComponent(c));
      s.push_back(GreenComponent(c));
      s.push_back(BlueComponent(c));
    }
  }
  return s;
}

// Smooth colours: JPEG's loss stays small on them, so a conversion error
// shows.
TBitmap32 SmoothPicture(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 Color32(uint8_t(40 + 160 * x / w), uint8_t(200 - 150 * y / h),
                         uint8_t(60 + 80 * (x + y) / (w + h))));
  return b;
}

TBytes EncodeJpeg(const TBitmap32& b, int quality) {
  TMemoryStream s;
  SaveJPEG(b, s, quality);
  return s.Data();
}

// ---- JPEG ----

TEST(JpegCodecTest, RoundTripAtQuality95StaysClose) {
  const TBitmap32 pic = SmoothPicture(96, 64);
  const TBytes q95 = EncodeJpeg(pic, 95);
  ASSERT_GT(q95.size(), 100u);
  EXPECT_TRUE(q95[0] == 0xFF && q95[1] == 0xD8 && q95[2] == 0xFF && q95[3] == 0xE0)
      << "JFIF header expected";
  const TBitmap32 back = Decode(LoadJPEG, q95);
  ASSERT_EQ(back.Width(), 96);
  ASSERT_EQ(back.Height(), 64);
  const TDiff d = ColourDiff(pic, back);
  EXPECT_LT(d.Mean, 1.0);
  EXPECT_LT(d.Max, 8);
  for (size_t i = 0; i < back.PixelCount(); ++i) ASSERT_EQ(back.Bits()[i] >> 24, 255u);
  // The quality is really used.
  const TBitmap32 busy = test::MakeTestPicture(96, 64);
  EXPECT_LT(EncodeJpeg(busy, 20).size(), EncodeJpeg(busy, 95).size() / 2);
}

// Encoded in bands joined by restart markers, a picture must decode to the
// very pixels of the one-band encoding, whatever the band height (bands of
// one MCU row make the marker numbers wrap), with cut MCUs at the right and
// bottom edges; big pictures are written in bands, byte for byte the same
// with one thread or two.
TEST(JpegCodecTest, BandsDecodeToTheOneBandPixels) {
  const TBitmap32 pic = test::MakeTestPicture(301, 170);  // 19 x 11 MCUs
  const auto encode = [&pic](int rows) {
    TMemoryStream s;
    SaveJPEGInParts(pic, s, 85, rows);
    return s.Data();
  };
  const TBytes whole = encode(0);
  const TBitmap32 reference = Decode(LoadJPEG, whole);
  for (int rows : {1, 2, 5, 6, 11, 40}) {
    SCOPED_TRACE(rows);
    const TBytes bands = encode(rows);
    ExpectSame(Decode(LoadJPEG, bands), reference);
    EXPECT_EQ(bands == whole, rows >= 11);
  }

  const TBitmap32 big = SmoothPicture(1930, 1100);
  SetThreadCount(1);
  const TBytes one = EncodeJpeg(big, 90);
  SetThreadCount(2);
  const TBytes two = EncodeJpeg(big, 90);
  SetThreadCount(0);
  EXPECT_EQ(one, two);
  TMemoryStream single;
  SaveJPEGInParts(big, single, 90, 0);
  EXPECT_NE(single.Data(), two);
  ExpectSame(Decode(LoadJPEG, two), Decode(LoadJPEG, single.Data()));
}

TEST(JpegCodecTest, StreamEndsRightAfterThePicture) {
  TBytes bytes = EncodeJpeg(test::MakeTestPicture(20, 20), 80);
  const size_t jpegSize = bytes.size();
  bytes.insert(bytes.end(), {'t', 'a', 'i', 'l'});
  TBytesStream s(bytes.data(), bytes.size());
  TBitmap32 bmp;
  LoadJPEG(bmp, s);
  EXPECT_EQ(s.Position(), int64_t(jpegSize));
}

// Callers skip compositing JPEG pictures over white: every kind must decode opaque.
void ExpectOpaque(const TBitmap32& b) {
  for (size_t i = 0; i < b.PixelCount(); ++i) ASSERT_EQ(b.Bits()[i] >> 24, 255u) << i;
}

TEST(JpegCodecTest, GreyCmykAndProgressiveFiles) {
  const TBitmap32 pic = SmoothPicture(40, 24);
  ExpectOpaque(Decode(LoadJPEG, WriteJpeg(40, 24, JCS_RGB, 3, Samples(pic, false))));

  const TBitmap32 grey = Decode(LoadJPEG, WriteJpeg(40, 24, JCS_GRAYSCALE, 1, Samples(pic, true)));
  for (size_t i = 0; i < grey.PixelCount(); ++i) {
    const TColor32 c = grey.Bits()[i];
    ASSERT_TRUE(RedComponent(c) == GreenComponent(c) && GreenComponent(c) == BlueComponent(c));
    ASSERT_NEAR(GreenComponent(c), GreenComponent(pic.Bits()[i]), 4);
  }
  ExpectOpaque(grey);

  const TBitmap32 prog = Decode(LoadJPEG, WriteJpeg(40, 24, JCS_RGB, 3, Samples(pic, false), true));
  EXPECT_LT(ColourDiff(pic, prog).Mean, 1.0);
  ExpectOpaque(prog);

  // Ink (cyan, magenta, yellow, black) 0, 255, 255, 0 is red. Adobe's files
  // store it inverted; plain CMYK stores the inks as they are.
  const int n = 16 * 16;
  TBytes inverted, plain;
  for (int i = 0; i < n; ++i) {
    inverted.insert(inverted.end(), {255, 0, 0, 255});
    plain.insert(plain.end(), {0, 255, 255, 0});
  }
  for (const TBytes& file : {WriteJpeg(16, 16, JCS_CMYK, 4, inverted, false, true),
                             WriteJpeg(16, 16, JCS_CMYK, 4, plain, false, false)}) {
    const TBitmap32 cmyk = Decode(LoadJPEG, file);
    ExpectOpaque(cmyk);
    const TColor32 c = cmyk.Pixel(8, 8);
    EXPECT_GE(RedComponent(c), 250);
    EXPECT_LE(GreenComponent(c), 5);
    EXPECT_LE(BlueComponent(c), 5);
  }
}

TEST(JpegCodecTest, DamagedFilesAreErrors) {
  const TBytes file = EncodeJpeg(test::MakeTestPicture(64, 48), 90);
  ExpectEveryCutFails(LoadJPEG, file);
  EXPECT_EQ(DecodeError(LoadJPEG, TBytes(file.begin(), file.begin() + ptrdiff_t(file.size() / 2))),
            "truncated JPEG data");
  EXPECT_NE(DecodeError(LoadJPEG, {'G', 'I', 'F', '8', '9', 'a', 0, 0}), "(no error)");

  // A frame header claiming 65000 x 65000 pixels is refused before decoding.
  TBytes big = file;
  for (size_t i = 0; i + 8 < big.size(); ++i)
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = big[i + 7] = 0xFD;
      big[i + 6] = big[i + 8] = 0xE8;
      break;
    }
  EXPECT_EQ(DecodeError(LoadJPEG, big), "JPEG header claims 65000 x 65000 pixels");
  // Within the limits, the same few bytes run out at the first rows.
  for (size_t i = 0; i + 8 < big.size(); ++i)
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = big[i + 7] = 0x3E;
      big[i + 6] = big[i + 8] = 0x80;
      break;
    }
  EXPECT_EQ(DecodeError(LoadJPEG, big), "truncated JPEG data");
}

// ---- PNG ----

TEST(PngCodecTest, RoundTripsExactlyWithAndWithoutAlpha) {
  TBitmap32 pic = test::MakeTestPicture(33, 17);
  for (size_t i = 0; i < pic.PixelCount(); ++i)
    pic.Bits()[i] = (pic.Bits()[i] & 0xFFFFFF) | uint32_t(i % 256) << 24;
  TMemoryStream withAlpha, opaque;
  SavePNG(pic, withAlpha, true);
  SavePNG(pic, opaque, false);
  ExpectSame(Decode(LoadPNG, withAlpha.Data()), pic);
  for (size_t i = 0; i < pic.PixelCount(); ++i) pic.Bits()[i] |= 0xFF000000;
  ExpectSame(Decode(LoadPNG, opaque.Data()), pic);
  EXPECT_EQ(opaque.Data()[25], PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(withAlpha.Data()[25], PNG_COLOR_TYPE_RGB_ALPHA);
}

TEST(PngCodecTest, SixteenBitSamplesRoundToEightBits) {
  // Every 16-bit value once, in a grey picture.
  std::vector<TBytes> rows(256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      rows[size_t(y)].insert(rows[size_t(y)].end(), {uint8_t(y), uint8_t(x)});
  const TBitmap32 grey = Decode(LoadPNG, WritePng(256, 256, 16, PNG_COLOR_TYPE_GRAY, rows));
  for (uint32_t v = 0; v < 65536; ++v) {
    const uint32_t want = (v * 255 + 32767) / 65535;
    ASSERT_EQ(grey.Bits()[v], 0xFF000000 | want << 16 | want << 8 | want) << "value " << v;
  }

  // 16-bit RGBA keeps its alpha, rounded the same way.
  const std::vector<TBytes> rgba = {{0x12, 0x34, 0xFF, 0xFF, 0x00, 0x80, 0x80, 0x7F}};
  const TColor32 c =
      Decode(LoadPNG, WritePng(1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, rgba)).Pixel(0, 0);
  EXPECT_EQ(c, Color32(0x12, 0xFF, 0x00, 0x80));
}

TEST(PngCodecTest, GreyAlphaPaletteAndInterlacedPictures) {
  const TBitmap32 ga =
      Decode(LoadPNG, WritePng(3, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{10, 0, 128, 77, 255, 255}}));
  EXPECT_EQ(ga.Pixel(0, 0), Color32(10, 10, 10, 0));
  EXPECT_EQ(ga.Pixel(1, 0), Color32(128, 128, 128, 77));
  EXPECT_EQ(ga.Pixel(2, 0), Color32(255, 255, 255, 255));

  // 2-bit palette, transparency for the first two entries only.
  const std::vector<png_color> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  const TBitmap32 p = Decode(
      LoadPNG, WritePng(4, 1, 2, PNG_COLOR_TYPE_PALETTE, {{0b00011011}}, false, pal, {0, 100}));
  EXPECT_EQ(p.Pixel(0, 0), Color32(255, 0, 0, 0));
  EXPECT_EQ(p.Pixel(1, 0), Color32(0, 255, 0, 100));
  EXPECT_EQ(p.Pixel(2, 0), Color32(0, 0, 255, 255));
  EXPECT_EQ(p.Pixel(3, 0), Color32(9, 9, 9, 255));

  // 1-bit grey: 1 is white.
  const TBitmap32 bw = Decode(LoadPNG, WritePng(3, 1, 1, PNG_COLOR_TYPE_GRAY, {{0b10100000}}));
  EXPECT_EQ(bw.Pixel(0, 0), clWhite32);
  EXPECT_EQ(bw.Pixel(1, 0), clBlack32);

  const TBitmap32 pic = test::MakeTestPicture(37, 29);
  std::vector<TBytes> rows;
  const TBytes all = Samples(pic, false);
  for (int y = 0; y < 29; ++y)
    rows.emplace_back(all.begin() + y * 37 * 3, all.begin() + (y + 1) * 37 * 3);
  ExpectSame(Decode(LoadPNG, WritePng(37, 29, 8, PNG_COLOR_TYPE_RGB, rows, true)), pic);
}

TEST(PngCodecTest, StreamEndsAfterTheEndChunk) {
  TMemoryStream s;
  s.WriteValue<uint16_t>(7);
  SavePNG(test::MakeTestPicture(10, 10), s, false);
  const int64_t end = s.Position();
  s.WriteValue<uint16_t>(9);
  s.SetPosition(2);
  TBitmap32 bmp;
  LoadPNG(bmp, s);
  EXPECT_EQ(s.Position(), end);
}

TEST(PngCodecTest, DamagedFilesAreErrors) {
  TMemoryStream s;
  SavePNG(test::MakeTestPicture(64, 48), s, true);
  const TBytes& file = s.Data();
  ExpectEveryCutFails(LoadPNG, file);
  EXPECT_EQ(DecodeError(LoadPNG, TBytes(file.begin(), file.begin() + ptrdiff_t(file.size() / 2))),
            "truncated PNG data");
  EXPECT_EQ(DecodeError(LoadPNG, {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}), "not a PNG file");

  TBytes big = file;  // IHDR: width and height at 16 and 20, checksum at 29
  for (int i : {16, 20})
    big[size_t(i)] = 0, big[size_t(i) + 1] = 1, big[size_t(i) + 2] = 0x86,
    big[size_t(i) + 3] = 0xA0;
  const uLong crc = crc32(0, big.data() + 12, 17);
  for (int i = 0; i < 4; ++i) big[size_t(29 + i)] = uint8_t(crc >> (24 - 8 * i));
  EXPECT_EQ(DecodeError(LoadPNG, big), "PNG header claims 100000 x 100000 pixels");
  // Within the limits, but far more pixels than the few compressed bytes can hold.
  for (int i : {16, 20})
    big[size_t(i)] = 0, big[size_t(i) + 1] = 0, big[size_t(i) + 2] = 0x3E,
    big[size_t(i) + 3] = 0x80;
  const uLong crc2 = crc32(0, big.data() + 12, 17);
  for (int i = 0; i < 4; ++i) big[size_t(29 + i)] = uint8_t(crc2 >> (24 - 8 * i));
  EXPECT_EQ(DecodeError(LoadPNG, big), "PNG data too short for 16000 x 16000 pixels");

  TBytes corrupt = file;
  corrupt[file.size() / 2] ^= 0x55;  // inside the compressed data: checksum fails
  EXPECT_NE(DecodeError(LoadPNG, corrupt), "(no error)");
}

// ---- TIFF ----

TEST(TiffCodecTest, GreyRgbaAndCompressedFiles) {
  const TBitmap32 pic = test::MakeTestPicture(19, 7);
  const TBitmap32 grey = Decode(LoadTIFF, WriteTiff(19, 7, 1, 8, PHOTOMETRIC_MINISBLACK,
                                                    COMPRESSION_NONE, Samples(pic, true)));
  for (size_t i = 0; i < pic.PixelCount(); ++i) {
    const uint8_t g = GreenComponent(pic.Bits()[i]);
    ASSERT_EQ(grey.Bits()[i], Color32(g, g, g));
  }
  ExpectSame(Decode(LoadTIFF,
                    WriteTiff(19, 7, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, Samples(pic, false))),
             pic);

  // Unassociated alpha comes back premultiplied, as libtiff's RGBA reading gives it.
  const TBytes rgba = {200, 100, 50, 255, 200, 100, 50, 128, 200, 100, 50, 0};
  const TBitmap32 a =
      Decode(LoadTIFF, WriteTiff(3, 1, 4, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, rgba, true));
  EXPECT_EQ(a.Pixel(0, 0), Color32(200, 100, 50, 255));
  EXPECT_EQ(AlphaComponent(a.Pixel(1, 0)), 128);
  EXPECT_NEAR(RedComponent(a.Pixel(1, 0)), 100, 1);
  EXPECT_EQ(AlphaComponent(a.Pixel(2, 0)), 0);
}

TEST(TiffCodecTest, DamagedFilesAreErrors) {
  const TBitmap32 pic = test::MakeTestPicture(40, 30);
  const TBytes file =
      WriteTiff(40, 30, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, Samples(pic, false));
  ExpectEveryCutFails(LoadTIFF, file);
  EXPECT_NE(DecodeError(LoadTIFF, {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F}), "(no error)");
}

// ---- registry ----

TEST(PictureFormatsTest, ExtensionsAndSignatures) {
  for (const char* e :
       {"bmp", "DIB", ".rle", "jpg", ".JPE", "jpeg", "jfif", "tif", "TIFF", "fax", ".Png"})
    EXPECT_TRUE(IsPictureExtension(e)) << e;
  for (const char* e : {"", ".", "gif", "jpgx", "pn", ".bmp.gz"})
    EXPECT_FALSE(IsPictureExtension(e)) << e;
  EXPECT_EQ(PictureFormatOfExtension(".JFIF"), pfJpeg);
  EXPECT_EQ(PictureFormatOfExtension("fax"), pfTiff);
  EXPECT_EQ(PictureExtensions().size(), 11u);
  EXPECT_NE(PictureFileFilter().find("*.jpeg"), std::string::npos);

  const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const uint8_t tiff[] = {'M', 'M', 0, 42};
  const uint8_t bmp[18] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0};
  EXPECT_EQ(SniffPictureFormat(png, sizeof(png)), pfPng);
  EXPECT_EQ(SniffPictureFormat(png, 7), pfUnknown);
  EXPECT_EQ(SniffPictureFormat(tiff, sizeof(tiff)), pfTiff);
  EXPECT_EQ(SniffPictureFormat(bmp, sizeof(bmp)), pfBmp);
  EXPECT_EQ(SniffPictureFormat(bmp, 2), pfUnknown);  // "BM" alone starts many texts
}

std::string LoadFileError(const std::string& file) {
  try {
    LoadPictureFile(file);
  } catch (const EBrellinError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PictureFormatsTest, FilesThatAreNoPictures) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("folder.png"));
  EXPECT_EQ(LoadFileError(dir.File("folder.png")), "is a directory");
  EXPECT_EQ(LoadFileError(dir.File("missing.png")), "cannot open: No such file or directory");
  WriteBytes(dir.File("empty.jpg"), {});
  EXPECT_EQ(LoadFileError(dir.File("empty.jpg")), "file is empty");
  WriteBytes(dir.File("picture.xyz"), {1, 2, 3});
  EXPECT_EQ(LoadFileError(dir.File("picture.xyz")), "unknown picture format \".xyz\"");
  WriteBytes(dir.File("noext"), {1, 2, 3});
  EXPECT_EQ(LoadFileError(dir.File("noext")), "unknown picture format \"\"");
  const std::string text = "BMW is a car maker, not a picture";
  WriteBytes(dir.File("text.bmp"), TBytes(text.begin(), text.end()));
  EXPECT_EQ(LoadFileError(dir.File("text.bmp")).rfind("unsupported BMP header size", 0), 0u);
}

TEST(PictureFormatsTest, ContentDecidesWhenTheExtensionLies) {
  TTempDir dir;
  const TBitmap32 pic = test::MakeTestPicture(30, 20);
  TMemoryStream png;
  SavePNG(pic, png, false);
  WriteBytes(dir.File("really-a-png.JPG"), png.Data());
  bool opaque = true;
  ExpectSame(LoadPictureFile(dir.File("really-a-png.JPG"), &opaque), pic);
  EXPECT_FALSE(opaque);  // the content's format decides, and a PNG may have alpha
  TMemoryStream bmp;
  SaveBMPToStream(pic, bmp, 32);
  WriteBytes(dir.File("really-a-bmp.tif"), bmp.Data());
  ExpectSame(LoadPictureFile(dir.File("really-a-bmp.tif")), pic);
}

TEST(PictureFormatsTest, ThirtyTwoBitBmpWithoutAlphaReadsOpaque) {
  TTempDir dir;
  TBitmap32 pic = test::MakeTestPicture(8, 8);
  for (size_t i = 0; i < pic.PixelCount(); ++i) pic.Bits()[i] &= 0x00FFFFFF;
  TMemoryStream s;
  SaveBMPToStream(pic, s, 32);
  WriteBytes(dir.File("zero.bmp"), s.Data());
  const TBitmap32 opaque = LoadPictureFile(dir.File("zero.bmp"));
  for (size_t i = 0; i < pic.PixelCount(); ++i)
    ASSERT_EQ(opaque.Bits()[i], pic.Bits()[i] | 0xFF000000);

  // One used alpha byte means the alpha is real.
  pic.SetPixel(3, 3, pic.Pixel(3, 3) | 0x01000000);
  TMemoryStream t;
  SaveBMPToStream(pic, t, 32);
  WriteBytes(dir.File("used.bmp"), t.Data());
  ExpectSame(LoadPictureFile(dir.File("used.bmp")), pic);
}

TEST(PictureFormatsTest, OpaqueOverWhiteFollowsTheBlendRule) {
  TBitmap32 b(4, 1);
  b.SetPixel(0, 0, Color32(10, 20, 30, 255));
  b.SetPixel(1, 0, Color32(10, 20, 30, 0));
  b.SetPixel(2, 0, Color32(255, 0, 100, 128));
  b.SetPixel(3, 0, Color32(0, 0, 0, 1));
  MakeOpaqueOverWhite(b);
  EXPECT_EQ(b.Pixel(0, 0), Color32(10, 20, 30));
  EXPECT_EQ(b.Pixel(1, 0), clWhite32);
  // (256 * 255 + (F - 255) * 128 + 128) shr 8
  EXPECT_EQ(b.Pixel(2, 0), Color32(255, 128, 178));
  EXPECT_EQ(b.Pixel(3, 0), Color32(254, 254, 254));
}

TEST(PictureFormatsTest, OpaqueOverWhiteOfABigPictureIsThePixelRuleOnAnyThreadCount) {
  // More pixels than one part, and a count that is no multiple of it, so the
  // last part is short and every part boundary falls inside a row.
  const int w = 1237, h = 911;
  TBitmap32 pic(w, h);
  uint32_t state = 12345;
  for (size_t i = 0; i < pic.PixelCount(); ++i) {
    state = state * 1664525u + 1013904223u;
    // A quarter of the pixels opaque, the rest with any alpha.
    pic.Bits()[i] = (state & 0x300) == 0 ? (state | 0xFF000000u) : state;
  }
  TBitmap32 expected = pic;
  for (size_t i = 0; i < expected.PixelCount(); ++i) {
    const TColor32 c = expected.Bits()[i];
    if ((c >> 24) != 255) expected.Bits()[i] = BlendBySourceAlpha(c, clWhite32) | 0xFF000000u;
  }
  for (const int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    SetThreadCount(threads);
    TBitmap32 b = pic;
    MakeOpaqueOverWhite(b);
    ASSERT_TRUE(std::equal(b.Bits(), b.Bits() + b.PixelCount(), expected.Bits()));
  }
  SetThreadCount(0);
}

TEST(PictureFormatsTest, SavesBmpJpegAndPngThroughTheRegistry) {
  TTempDir dir;
  TBitmap32 pic = test::MakeTestPicture(41, 23);
  SavePictureFile(pic, dir.File("a.bmp"), 90);
  ExpectSame(LoadPictureFile(dir.File("a.bmp")), pic);
  EXPECT_EQ(ReadBytes(dir.File("a.bmp"))[28], 24);
  SavePictureFile(pic, dir.File("a.PNG"), 90);
  ExpectSame(LoadPictureFile(dir.File("a.PNG")), pic);
  EXPECT_EQ(ReadBytes(dir.File("a.PNG"))[25], PNG_COLOR_TYPE_RGB);
  // Alpha left by blending onto an opaque paper is not written: the colour is.
  pic.SetPixel(0, 0, 0x80FF0000);
  SavePictureFile(pic, dir.File("alpha.png"), 90);
  EXPECT_EQ(ReadBytes(dir.File("alpha.png"))[25], PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(LoadPictureFile(dir.File("alpha.png")).Pixel(0, 0), 0xFFFF0000u);
  const TBitmap32 smooth = SmoothPicture(41, 23);
  SavePictureFile(smooth, dir.File("a.jpeg"), 95);
  bool opaque = false;
  EXPECT_LT(ColourDiff(LoadPictureFile(dir.File("a.jpeg"), &opaque), smooth).Mean, 1.0);
  EXPECT_TRUE(opaque);

  EXPECT_THROW(SavePictureFile(pic, dir.File("a.tif"), 90), EWriteError);
  EXPECT_THROW(SavePictureFile(pic, dir.File("no/such/dir/a.png"), 90), EWriteError);
  // A failed save leaves the old file as it was and nothing beside it.
  const TBytes before = ReadBytes(dir.File("a.bmp"));
  EXPECT_THROW(SavePictureFile(TBitmap32(), dir.File("a.bmp"), 90), EWriteError);
  EXPECT_EQ(ReadBytes(dir.File("a.bmp")), before);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.tif")));
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 4);
}

// ---- the fuzz seeds: one small file per variant the decoders handle ----

// The seeds' 5 x 3 picture (scripts/make-fuzz-seeds.py).
TColor32 SeedPixel(int x, int y) {
  return Color32(uint8_t((x * 60 + 10) % 256), uint8_t((y * 90 + 30) % 256),
                 uint8_t(((x + y) * 37 + 5) % 256));
}

TEST(FuzzSeedsTest, EveryVariantDecodesRightSideUp) {
  const std::string root = std::string(BRELLIN_SOURCE_DIR) + "/fuzz/corpus/";
  const struct {
    const char* File;
    TPictureFormat Format;
    int Tolerance;  // 16-bit pixels lose low bits
  } colourSeeds[] = {
      {"bmp/rgb24.bmp", pfBmp, 0},
      {"bmp/rgb24_topdown.bmp", pfBmp, 0},
      {"bmp/bitfields32_v5.bmp", pfBmp, 0},
      {"bmp/rgb555.bmp", pfBmp, 8},
      {"bmp/rgb565.bmp", pfBmp, 8},
      {"bmp/two_in_a_row.bmp", pfBmp, 0},
      {"png/rgb8.png", pfPng, 0},
      {"png/rgb8_interlaced.png", pfPng, 0},
      {"png/rgba8.png", pfPng, 0},
      {"tiff/rgb8.tif", pfTiff, 0},
      {"tiff/rgb8_bigendian.tif", pfTiff, 0},
      {"tiff/rgb8_strips.tif", pfTiff, 0},
      {"tiff/rgb8_deflate.tif", pfTiff, 0},
      {"tiff/rgb8_packbits.tif", pfTiff, 0},
      {"tiff/rgb8_planar.tif", pfTiff, 0},
      {"tiff/rgb16.tif", pfTiff, 0},
      {"bmp/rgba32.bmp", pfBmp, 0},
  };
  for (const auto& seed : colourSeeds) {
    const TBytes bytes = ReadBytes(root + seed.File);
    TBytesStream s(bytes.data(), bytes.size());
    TBitmap32 b;
    LoadPictureFromStream(b, s, seed.Format);
    ASSERT_EQ(b.Width(), 5) << seed.File;
    ASSERT_EQ(b.Height(), 3) << seed.File;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        for (int sh : {0, 8, 16})
          ASSERT_NEAR(int(b.Pixel(x, y) >> sh & 0xFF), int(SeedPixel(x, y) >> sh & 0xFF),
                      seed.Tolerance)
              << seed.File << " at " << x << "," << y;
  }
  // The rest must at least decode at their size.
  for (const char* f :
       {"bmp/indexed1.bmp",        "bmp/indexed4.bmp",      "bmp/indexed8.bmp",
        "bmp/core8.bmp",           "bmp/rle4.bmp",          "bmp/rle8.bmp",
        "png/grey1.png",           "png/grey8.png",         "png/grey16.png",
        "png/greyalpha8.png",      "png/palette4_trns.png", "png/rgb8_trns.png",
        "png/rgba16.png",          "tiff/grey8.tif",        "tiff/palette8.tif",
        "jpeg/rgb_baseline.jpg",   "jpeg/rgb_odd_size.jpg", "jpeg/rgb_progressive.jpg",
        "jpeg/rgb_arithmetic.jpg", "jpeg/rgb_restart.jpg",  "jpeg/grey.jpg",
        "jpeg/cmyk_adobe.jpg",     "jpeg/cmyk_plain.jpg",   "jpeg/tiny_70x46_rose.jpg"}) {
    const TBytes bytes = ReadBytes(root + f);
    TBytesStream s(bytes.data(), bytes.size());
    TBitmap32 b;
    EXPECT_NO_THROW(LoadPictureFromStream(b, s, SniffPictureFormat(bytes.data(), bytes.size())))
        << f;
    EXPECT_FALSE(b.Empty()) << f;
    EXPECT_EQ(s.Position(), s.Size()) << f;
  }
}

// ---- the corpus photos ----

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CorpusAvailable()) GTEST_SKIP() << "corpus not available";
  }
};

TEST_F(CorpusTest, EveryPictureLoadsWithItsSize) {
  const struct {
    const char* File;
    int W, H;
  } pictures[] = {
      {"photos/portrait_astronaut.png", 512, 512},
      {"photos/animal_chelsea_cat.png", 451, 300},
      {"photos/animal_chelsea_cat.bmp", 451, 300},
      {"photos/stilllife_coffee.png", 600, 400},
      {"photos/stilllife_coffee.tif", 600, 400},
      {"photos/architecture_grey.jpg", 2560, 1600},
      {"photos/grayscale_camera.png", 512, 512},
      {"photos/large_kleiber_nuthatch.jpg", 6028, 3391},
      {"awkward/paletted_chelsea_256.png", 451, 300},
      {"awkward/alpha_rgba_yellow_rose.png", 400, 301},
      {"awkward/tiny_70x46_rose.jpg", 70, 46},
  };
  for (const auto& p : pictures) {
    const TBitmap32 b = LoadPictureFile(CorpusPath(p.File));
    EXPECT_EQ(b.Width(), p.W) << p.File;
    EXPECT_EQ(b.Height(), p.H) << p.File;
  }
}

TEST_F(CorpusTest, SamePictureInDifferentFormatsIsIdentical) {
  const TBitmap32 catPng = LoadPictureFile(CorpusPath("photos/animal_chelsea_cat.png"));
  ExpectSame(LoadPictureFile(CorpusPath("photos/animal_chelsea_cat.bmp")), catPng);
  // Corners checked against an independent decoding: rows from the top.
  EXPECT_EQ(catPng.Pixel(0, 0), Color32(143, 120, 104));
  EXPECT_EQ(catPng.Pixel(450, 0), Color32(45, 27, 13));
  EXPECT_EQ(catPng.Pixel(0, 299), Color32(139, 103, 71));
  EXPECT_EQ(catPng.Pixel(225, 150), Color32(190, 150, 124));

  ExpectSame(LoadPictureFile(CorpusPath("photos/stilllife_coffee.tif")),
             LoadPictureFile(CorpusPath("photos/stilllife_coffee.png")));

  const TBitmap32 astronaut = LoadPictureFile(CorpusPath("photos/portrait_astronaut.png"));
  EXPECT_EQ(astronaut.Pixel(0, 0), Color32(154, 147, 151));
  EXPECT_EQ(astronaut.Pixel(0, 511), Color32(184, 167, 172));
  EXPECT_EQ(astronaut.Pixel(10, 492), Color32(155, 103, 106));
}

TEST_F(CorpusTest, GreyAndPalettePictures) {
  for (const char* f : {"photos/architecture_grey.jpg", "photos/grayscale_camera.png"}) {
    const TBitmap32 b = LoadPictureFile(CorpusPath(f));
    for (size_t i = 0; i < b.PixelCount(); ++i) {
      const TColor32 c = b.Bits()[i];
      ASSERT_TRUE(RedComponent(c) == GreenComponent(c) && GreenComponent(c) == BlueComponent(c) &&
                  AlphaComponent(c) == 255)
          << f << " pixel " << i;
    }
  }
  const TBitmap32 camera = LoadPictureFile(CorpusPath("photos/grayscale_camera.png"));
  EXPECT_EQ(camera.Pixel(0, 0), Color32(200, 200, 200));
  EXPECT_EQ(camera.Pixel(0, 511), Color32(25, 25, 25));

  const TBitmap32 paletted = LoadPictureFile(CorpusPath("awkward/paletted_chelsea_256.png"));
  const TDiff d =
      ColourDiff(paletted, LoadPictureFile(CorpusPath("photos/animal_chelsea_cat.png")));
  EXPECT_LT(d.Mean, 6.0);
}

TEST_F(CorpusTest, CutOutRoseOverWhite) {
  TBitmap32 rose = LoadPictureFile(CorpusPath("awkward/alpha_rgba_yellow_rose.png"));
  EXPECT_EQ(rose.Pixel(0, 0), Color32(84, 87, 44, 0));  // transparent, colour kept as stored
  EXPECT_EQ(rose.Pixel(200, 150), Color32(153, 75, 1, 255));
  MakeOpaqueOverWhite(rose);
  EXPECT_EQ(rose.Pixel(0, 0), clWhite32);
  EXPECT_EQ(rose.Pixel(399, 300), clWhite32);
  EXPECT_EQ(rose.Pixel(200, 150), Color32(153, 75, 1, 255));
}

TEST_F(CorpusTest, CorpusFilesCutShortAreErrors) {
  const TBytes rose = ReadBytes(CorpusPath("awkward/tiny_70x46_rose.jpg"));
  ExpectEveryCutFails(LoadJPEG, rose);
  const TBytes palette = ReadBytes(CorpusPath("awkward/paletted_chelsea_256.png"));
  ExpectEveryCutFails(LoadPNG, palette);
  const TBytes coffee = ReadBytes(CorpusPath("photos/stilllife_coffee.tif"));
  ExpectEveryCutFails(LoadTIFF, coffee);
  const TBytes cat = ReadBytes(CorpusPath("photos/animal_chelsea_cat.bmp"));
  ExpectEveryCutFails(LoadBMPFromStream, cat);
}

}  // namespace
}  // namespace brellin
