#include "analysis/TiffCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

#include "base/BmpCodec.h"
#include "base/Errors.h"

#if TIFFLIB_VERSION < 20221213
#error "libtiff 4.5 or later is needed (per-file error handlers and allocation limits)"
#endif

namespace brellin {

namespace {

// The TIFF bytes in memory, read by libtiff through the client callbacks.
struct TTiffSource {
  const uint8_t* Data = nullptr;
  uint64_t Size = 0;
  uint64_t Pos = 0;
  char Message[256] = {};  // libtiff's first error
};

TTiffSource& SourceOf(thandle_t h) {
  return *static_cast<TTiffSource*>(h);
}

tmsize_t TiffRead(thandle_t h, void* buffer, tmsize_t count) {
  TTiffSource& src = SourceOf(h);
  if (count <= 0 || src.Pos >= src.Size) return 0;
  const uint64_t n = std::min<uint64_t>(uint64_t(count), src.Size - src.Pos);
  std::memcpy(buffer, src.Data + src.Pos, size_t(n));
  src.Pos += n;
  return tmsize_t(n);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
  return -1;
}

toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
  TTiffSource& src = SourceOf(h);
  uint64_t base = whence == SEEK_CUR ? src.Pos : whence == SEEK_END ? src.Size : 0;
  if (offset > UINT64_MAX - base) return toff_t(-1);
  src.Pos = base + offset;
  return src.Pos;
}

int TiffClose(thandle_t) {
  return 0;
}
toff_t TiffSize(thandle_t h) {
  return SourceOf(h).Size;
}

int TiffMap(thandle_t h, void** base, toff_t* size) {
  *base = const_cast<uint8_t*>(SourceOf(h).Data);
  *size = SourceOf(h).Size;
  return 1;
}

void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffErrorHandler(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  auto* src = static_cast<TTiffSource*>(user);
  if (src->Message[0] == 0) std::vsnprintf(src->Message, sizeof(src->Message), fmt, ap);
  return 1;  // handled: nothing reaches stderr
}

int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

// libtiff drops tag values that lie past the end of the file with at most a
// warning; a file cut short there is still a file cut short. Checks that the
// first directory and every value it points to are inside the file.
void CheckFirstDirectory(const uint8_t* d, uint64_t size) {
  const bool le = d[0] == 'I';
  auto get = [&](uint64_t pos, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= uint64_t(d[pos + uint64_t(le ? i : bytes - 1 - i)]) << (8 * i);
    return v;
  };
  auto truncated = [] { throw EInvalidData("truncated TIFF directory"); };
  const bool big = get(2, 2) == 43;
  if (size < (big ? 16u : 8u)) truncated();
  const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, valueBytes = big ? 8 : 4;
  const uint64_t ifd = big ? get(8, 8) : get(4, 4);
  if (ifd > size || size - ifd < uint64_t(countBytes)) truncated();
  const uint64_t entries = get(ifd, countBytes);
  const uint64_t first = ifd + uint64_t(countBytes);
  if (entries > (size - first) / uint64_t(entryBytes)) truncated();
  if (size - first - entries * uint64_t(entryBytes) < uint64_t(valueBytes)) truncated();
  for (uint64_t i = 0; i < entries; ++i) {
    const uint64_t e = first + i * uint64_t(entryBytes);
    static constexpr uint8_t typeSize[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4,
                                             8, 4, 8, 4, 0, 0, 8, 8, 8};
    const uint64_t type = get(e + 2, 2);
    const uint64_t unit = type < 19 ? typeSize[type] : 0;
    if (unit == 0) continue;  // unknown types are libtiff's to judge
    const uint64_t count = get(e + 4, valueBytes);
    if (count > size / unit) truncated();
    if (count * unit <= uint64_t(valueBytes)) continue;
    const uint64_t offset = get(e + 4 + uint64_t(valueBytes), valueBytes);
    if (offset > size || count * unit > size - offset) truncated();
  }
}

std::string Reason(const TTiffSource& src, const char* fallback) {
  return src.Message[0] ? std::string(src.Message) : std::string(fallback);
}

}  // namespace

void LoadTIFF(TBitmap32& bmp, TStream& s) {
  const int64_t size = s.Remaining();
  if (size <= 0) throw EInvalidData("not a TIFF file");
  if (size > (int64_t(1) << 32)) throw EInvalidData("TIFF file is too large");
  std::vector<uint8_t> data(static_cast<size_t>(size));
  s.ReadBuffer(data.data(), data.size());

  TTiffSource src;
  src.Data = data.data();
  src.Size = data.size();
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) throw EInvalidData("cannot start the TIFF decoder");
  // A forged header must not make libtiff allocate more than a real picture needs.
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(MaxDecodedPixels * 8));
  TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffErrorHandler, &src);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffWarningHandler, &src);
  TIFF* tif = TIFFClientOpenExt("TIFF", "r", &src, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                TiffSize, TiffMap, TiffUnmap, opts);
  TIFFOpenOptionsFree(opts);
  if (!tif) throw EInvalidData(Reason(src, "not a TIFF file"));
  struct TCloser {
    TIFF* Tif;
    ~TCloser() { TIFFClose(Tif); }
  } closer{tif};
  CheckFirstDirectory(src.Data, src.Size);

  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
    throw EInvalidData("TIFF picture has no size");
  CheckDecodedSize(width, height, "TIFF");
  char why[1024] = {};
  if (!TIFFRGBAImageOK(tif, why)) throw EInvalidData(std::string("unsupported TIFF: ") + why);

  // The RGBA interface gives R in the low byte and A in the high byte.
  std::vector<uint32_t> raster(size_t(width) * height);
  if (!TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 1))
    throw EInvalidData(Reason(src, "cannot read the TIFF picture"));
  for (uint32_t& p : raster) p = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
  bmp.Assign(int(width), int(height), std::move(raster));
  bmp.Changed();
}

}  // namespace brellin
