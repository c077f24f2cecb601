#include "analysis/PngCodec.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "base/BmpCodec.h"
#include "base/Errors.h"

// libpng reports errors through a callback that must not return. It jumps
// back with longjmp into a small function that holds no C++ objects; every
// object with a destructor lives in the caller, which turns the failure into
// an exception once libpng's frames are gone.

namespace brellin {

namespace {

struct TPngState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TStream* Stream = nullptr;
  char Message[256] = {};
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  auto* st = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(st->Message, sizeof(st->Message), "%s", message ? message : "PNG error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// ---- reading ----

struct TPngReader : TPngState {
  png_uint_32 Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0;
  TLargeVector<TColor32> Pixels;  // fresh storage is zero; libpng writes every row
  std::vector<png_bytep> Rows;

  ~TPngReader() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* r = static_cast<TPngReader*>(png_get_io_ptr(png));
  size_t n = 0;
  try {
    n = r->Stream->Read(data, length);
  } catch (...) {
    n = 0;
  }
  if (n != length) png_error(png, "truncated PNG data");
}

bool ReadHeader(TPngReader& r) {
  if (setjmp(png_jmpbuf(r.Png))) return false;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Let mutated inputs get past the checksums to the decoder proper.
  png_set_crc_action(r.Png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
  png_set_read_fn(r.Png, &r, ReadData);
  png_read_info(r.Png, r.Info);
  r.Width = png_get_image_width(r.Png, r.Info);
  r.Height = png_get_image_height(r.Png, r.Info);
  r.BitDepth = png_get_bit_depth(r.Png, r.Info);
  r.ColorType = png_get_color_type(r.Png, r.Info);
  return true;
}

bool DecodeRows(TPngReader& r) {
  if (setjmp(png_jmpbuf(r.Png))) return false;
  const bool grey = (r.ColorType & PNG_COLOR_MASK_COLOR) == 0;
  const bool trns = png_get_valid(r.Png, r.Info, PNG_INFO_tRNS) != 0;
  if (r.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.Png);
  if (grey && r.BitDepth < 8) png_set_expand_gray_1_2_4_to_8(r.Png);
  if (trns) png_set_tRNS_to_alpha(r.Png);
  // libpng's scaling rounds to nearest: round(v / 257) = (v * 255 + 32767) / 65535.
  if (r.BitDepth == 16) png_set_scale_16(r.Png);
  if (grey) png_set_gray_to_rgb(r.Png);
  png_set_bgr(r.Png);  // B, G, R, A in memory is a little-endian TColor32
  if ((r.ColorType & PNG_COLOR_MASK_ALPHA) == 0 && !trns)
    png_set_filler(r.Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(r.Png);
  png_read_update_info(r.Png, r.Info);
  if (png_get_rowbytes(r.Png, r.Info) != size_t(r.Width) * 4)
    png_error(r.Png, "unsupported PNG pixel layout");
  png_read_image(r.Png, r.Rows.data());
  png_read_end(r.Png, nullptr);
  return true;
}

// ---- writing ----

struct TPngWriter : TPngState {
  const TBitmap32* Bitmap = nullptr;
  bool Alpha = false;
  int Resolution = 0;

  ~TPngWriter() {
    if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
  }
};

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* w = static_cast<TPngWriter*>(png_get_io_ptr(png));
  bool ok = false;
  int e = 0;
  try {
    errno = 0;
    ok = w->Stream->Write(data, length) == length;
    e = errno;
  } catch (...) {
    ok = false;
  }
  // The system's reason ("No space left on device"), as for every output.
  if (!ok) png_error(png, e != 0 ? std::strerror(e) : "cannot write the PNG data");
}

void FlushData(png_structp) {}

bool Encode(TPngWriter& w) {
  if (setjmp(png_jmpbuf(w.Png))) return false;
  const TBitmap32& bmp = *w.Bitmap;
  png_set_write_fn(w.Png, &w, WriteData, FlushData);
  png_set_IHDR(w.Png, w.Info, png_uint_32(bmp.Width()), png_uint_32(bmp.Height()), 8,
               w.Alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (w.Resolution > 0) {
    const auto perMetre = png_uint_32(std::lround(w.Resolution / 0.0254));
    png_set_pHYs(w.Png, w.Info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(w.Png, w.Info);
  // Row transformations can only be set once the header is written.
  png_set_bgr(w.Png);
  if (!w.Alpha) png_set_filler(w.Png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < bmp.Height(); ++y)
    png_write_row(w.Png, reinterpret_cast<png_const_bytep>(bmp.ScanLine(y)));
  png_write_end(w.Png, nullptr);
  return true;
}

}  // namespace

void LoadPNG(TBitmap32& bmp, TStream& s) {
  TPngReader r;
  r.Stream = &s;
  uint8_t signature[8];
  if (s.Read(signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0)
    throw EInvalidData("not a PNG file");
  r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngState*>(&r), PngError,
                                 PngWarning);
  if (!r.Png) throw EInvalidData("cannot start the PNG decoder");
  r.Info = png_create_info_struct(r.Png);
  if (!r.Info) throw EInvalidData("cannot start the PNG decoder");
  png_set_sig_bytes(r.Png, 8);
  if (!ReadHeader(r)) throw EInvalidData(r.Message);
  CheckDecodedSize(r.Width, r.Height, "PNG");
  // Deflate packs at most 1032 bytes into one, so the compressed rows still
  // in the stream bound the picture before its pixels are allocated.
  const int channels = r.ColorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : r.ColorType == PNG_COLOR_TYPE_RGB     ? 3
                       : r.ColorType == PNG_COLOR_TYPE_GA      ? 2
                                                               : 1;
  const uint64_t rowBytes = (uint64_t(r.Width) * uint64_t(channels * r.BitDepth) + 7) / 8;
  const uint64_t rawBytes = uint64_t(r.Height) * (1 + rowBytes);
  if (rawBytes / 1032 > uint64_t(std::max<int64_t>(s.Remaining(), 0)) + 1024)
    throw EInvalidData("PNG data too short for " + std::to_string(r.Width) + " x " +
                       std::to_string(r.Height) + " pixels");
  r.Pixels.resize(size_t(r.Width) * r.Height);
  r.Rows.resize(r.Height);
  for (png_uint_32 y = 0; y < r.Height; ++y)
    r.Rows[y] = reinterpret_cast<png_bytep>(r.Pixels.data() + size_t(y) * r.Width);
  if (!DecodeRows(r)) throw EInvalidData(r.Message);
  bmp.Assign(int(r.Width), int(r.Height), std::move(r.Pixels));
  bmp.Changed();
}

void SavePNG(const TBitmap32& bmp, TStream& s, bool withAlpha, int Resolution) {
  if (bmp.Empty()) throw EWriteError("cannot write an empty picture as PNG");
  TPngWriter w;
  w.Stream = &s;
  w.Bitmap = &bmp;
  w.Alpha = withAlpha;
  w.Resolution = Resolution;
  w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngState*>(&w), PngError,
                                  PngWarning);
  if (!w.Png) throw EWriteError("cannot start the PNG encoder");
  w.Info = png_create_info_struct(w.Png);
  if (!w.Info) throw EWriteError("cannot start the PNG encoder");
  if (!Encode(w)) throw EWriteError(w.Message);
}

void SavePNGFile(const TBitmap32& bmp, const std::string& FileName, bool WithAlpha,
                 int Resolution) {
  TSafeFileWriter writer(FileName);
  SavePNG(bmp, writer.Stream(), WithAlpha, Resolution);
  writer.Commit();
}

}  // namespace brellin
