#include "base/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "base/Errors.h"

namespace brellin {

static_assert(std::endian::native == std::endian::little,
              "TColor32 rows are stored as BMP's B, G, R, A bytes");

namespace {
TDecodeSizeCheck gDecodeSizeCheck;
}  // namespace

void CheckDecodedSize(int64_t width, int64_t height, const char* format) {
  const std::string dims = std::to_string(width) + " x " + std::to_string(height);
  if (width == 0 || height == 0)
    throw EInvalidData(std::string(format) + " picture has no pixels (" + dims + ")");
  if (width < 0 || height < 0 || width > MaxBitmapSide || height > MaxBitmapSide ||
      width * height > MaxDecodedPixels)
    throw EInvalidData(std::string(format) + " header claims " + dims + " pixels");
  if (gDecodeSizeCheck) gDecodeSizeCheck(width, height);
}

TDecodeSizeCheck SetDecodeSizeCheck(TDecodeSizeCheck check) {
  std::swap(check, gDecodeSizeCheck);
  return check;
}

namespace {

constexpr uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6;

uint16_t Get16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

[[noreturn]] void Truncated(const char* what) {
  throw EInvalidData(std::string("truncated BMP ") + what);
}

// One channel of a bit-field pixel, scaled to 8 bits. Fields narrower than 8
// bits are stretched so that their largest value becomes 255.
class TChannelField {
 public:
  TChannelField(uint32_t mask, uint8_t absent) : FMask(mask), FAbsent(absent) {
    if (mask == 0) return;
    FShift = std::countr_zero(mask);
    const uint32_t m = mask >> FShift;
    if ((m & (m + 1)) != 0) throw EInvalidData("invalid BMP bit masks");
    FBits = std::popcount(m);
    if (FBits < 8)
      for (uint32_t v = 0; v <= m; ++v) FLut[v] = uint8_t((v * 255 + m / 2) / m);
  }
  uint8_t Get(uint32_t px) const {
    if (FMask == 0) return FAbsent;
    const uint32_t v = (px & FMask) >> FShift;
    return FBits >= 8 ? uint8_t(v >> (FBits - 8)) : FLut[v];
  }

 private:
  uint32_t FMask;
  uint8_t FAbsent;
  int FShift = 0;
  int FBits = 0;
  uint8_t FLut[128] = {};
};

struct TBmpHeader {
  int64_t Width = 0, Height = 0;
  bool TopDown = false;
  int Bpp = 0;
  uint32_t Compression = BiRgb;
  uint32_t SizeImage = 0;
  uint32_t ColorsUsed = 0;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool HasMasks = false;
  int EntrySize = 4;  // bytes per colour-table entry
};

// Fills palette-index rows; indexes beyond the colour table read as black.
void DecodeIndexedRow(const uint8_t* src, TColor32* dst, int width, int bpp,
                      const TColor32* palette) {
  const int perByte = 8 / bpp;
  const uint32_t mask = (1u << bpp) - 1;
  for (int x = 0; x < width; ++x) {
    const int shift = 8 - bpp * (x % perByte + 1);
    dst[x] = palette[(src[x / perByte] >> shift) & mask];
  }
}

// Run-length data of 4 or 8 bits per pixel. Pixels the data skips keep colour 0
// of the table. Returns the number of bytes used.
size_t DecodeRle(const uint8_t* data, size_t size, int bpp, int width, int height, bool topDown,
                 const TColor32* palette, TColor32* pixels) {
  size_t pos = 0;
  int64_t x = 0, row = 0;  // row counts in storage order
  auto put = [&](uint32_t index) {
    if (x < width && row < height) {
      const int64_t y = topDown ? row : height - 1 - row;
      pixels[size_t(y) * size_t(width) + size_t(x)] = palette[index];
    }
    ++x;
  };
  while (row < height) {
    if (size - pos < 2) Truncated("pixel data");
    const uint8_t count = data[pos], value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, width - x));
      for (int64_t i = 0; i < n; ++i)
        put(bpp == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 0x0F));
      x += count - n;
    } else if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of picture
      break;
    } else if (value == 2) {  // move right and down
      if (size - pos < 2) Truncated("pixel data");
      x += data[pos];
      row += data[pos + 1];
      pos += 2;
    } else {  // a literal run, padded to a whole number of 16-bit words
      const size_t bytes = bpp == 8 ? value : (size_t(value) + 1) / 2;
      const size_t padded = (bytes + 1) & ~size_t(1);
      if (size - pos < padded) Truncated("pixel data");
      for (int i = 0; i < value && x < width; ++i) {
        const uint8_t b = data[pos + size_t(bpp == 8 ? i : i / 2)];
        put(bpp == 8 ? b : (i % 2 == 0 ? b >> 4 : b & 0x0F));
      }
      pos += padded;
    }
  }
  return pos;
}

}  // namespace

void LoadBMPFromStream(TBitmap32& bmp, TStream& s) {
  const int64_t start = s.Position();
  const int64_t end = s.Size();
  uint8_t fh[14];
  if (end - start < 14 || s.Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M')
    throw EInvalidData("not a BMP file");
  const uint32_t offBits = Get32(fh + 10);

  uint8_t ih[124] = {};
  if (end - s.Position() < 4) Truncated("header");
  s.ReadBuffer(ih, 4);
  const uint32_t infoSize = Get32(ih);
  // 12: the old core header; 16 and 64: its successor; 40 and later: the
  // Windows header with optional masks and colour-space fields.
  static constexpr uint32_t knownSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
  if (std::find(std::begin(knownSizes), std::end(knownSizes), infoSize) == std::end(knownSizes))
    throw EInvalidData("unsupported BMP header size " + std::to_string(infoSize));
  if (end - s.Position() < int64_t(infoSize) - 4) Truncated("header");
  s.ReadBuffer(ih + 4, infoSize - 4);

  TBmpHeader h;
  if (infoSize == 12) {
    h.Width = Get16(ih + 4);
    h.Height = Get16(ih + 6);
    h.Bpp = Get16(ih + 10);
    h.EntrySize = 3;
  } else {
    h.Width = int32_t(Get32(ih + 4));
    const int32_t height = int32_t(Get32(ih + 8));
    h.TopDown = height < 0;
    h.Height = h.TopDown ? -int64_t(height) : height;
    h.Bpp = Get16(ih + 14);
    h.Compression = Get32(ih + 16);
    h.SizeImage = Get32(ih + 20);
    h.ColorsUsed = Get32(ih + 32);
    if (infoSize >= 52 && infoSize != 64) {
      for (int i = 0; i < (infoSize >= 56 ? 4 : 3); ++i) h.Masks[i] = Get32(ih + 40 + 4 * i);
      h.HasMasks = true;
    }
    // In the 64-byte header, 3 and 4 mean Huffman and 24-bit run lengths.
    if (infoSize == 64 && (h.Compression == 3 || h.Compression == 4))
      throw EInvalidData("unsupported BMP compression " + std::to_string(h.Compression));
  }
  CheckDecodedSize(h.Width, h.Height, "BMP");

  const int bpp = h.Bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    throw EInvalidData("unsupported BMP depth of " + std::to_string(bpp) + " bits per pixel");
  const uint32_t comp = h.Compression;
  const bool bitfields = comp == BiBitfields || comp == BiAlphaBitfields;
  if (comp != BiRgb && comp != BiRle8 && comp != BiRle4 && !bitfields)
    throw EInvalidData("unsupported BMP compression " + std::to_string(comp));
  if ((comp == BiRle8 && bpp != 8) || (comp == BiRle4 && bpp != 4) ||
      (bitfields && bpp != 16 && bpp != 32))
    throw EInvalidData("unsupported BMP compression " + std::to_string(comp) + " at " +
                       std::to_string(bpp) + " bits per pixel");

  // The 40-byte header keeps its masks after it, as part of the colour table.
  if (bitfields && !h.HasMasks) {
    const int n = comp == BiAlphaBitfields ? 4 : 3;
    uint8_t m[16];
    if (end - s.Position() < 4 * n) Truncated("bit masks");
    s.ReadBuffer(m, size_t(4 * n));
    for (int i = 0; i < n; ++i) h.Masks[i] = Get32(m + 4 * i);
  }
  const int64_t paletteStart = s.Position();

  int64_t colors = 0;
  if (h.ColorsUsed > 256) {
    if (bpp <= 8 || offBits == 0)
      throw EInvalidData("BMP colour table of " + std::to_string(h.ColorsUsed) +
                         " entries is too large");
  } else {
    colors = h.ColorsUsed;
  }
  if (bpp <= 8 && colors == 0) colors = int64_t(1) << bpp;
  int64_t dataPos = paletteStart + colors * h.EntrySize;
  if (offBits != 0) {
    const int64_t declared = start + offBits;
    if (declared < paletteStart) throw EInvalidData("invalid BMP pixel data offset");
    // Some writers store fewer colours than the header says; the offset tells.
    if (declared < dataPos) colors = (declared - paletteStart) / h.EntrySize;
    dataPos = declared;
  }
  if (bpp > 8) colors = 0;  // a colour table beside true-colour pixels is only a hint

  TColor32 palette[256];
  std::fill(std::begin(palette), std::end(palette), clBlack32);
  if (colors > 0) {
    const int64_t bytes = colors * h.EntrySize;
    if (end - paletteStart < bytes) Truncated("colour table");
    std::vector<uint8_t> table(size_t(bytes), 0);
    s.ReadBuffer(table.data(), table.size());
    for (int64_t i = 0; i < std::min<int64_t>(colors, 256); ++i) {
      const uint8_t* e = table.data() + i * h.EntrySize;
      palette[i] = Color32(e[2], e[1], e[0]);
    }
  }
  if (dataPos > end) Truncated("pixel data");
  s.SetPosition(dataPos);

  const int width = int(h.Width), height = int(h.Height);
  std::vector<TColor32> pixels;

  if (comp == BiRle8 || comp == BiRle4) {
    size_t size = size_t(end - dataPos);
    if (h.SizeImage > 0 && h.SizeImage < size) size = h.SizeImage;
    std::vector<uint8_t> data(size);
    s.ReadBuffer(data.data(), size);
    pixels.assign(size_t(width) * size_t(height), palette[0]);
    const size_t used =
        DecodeRle(data.data(), size, bpp, width, height, h.TopDown, palette, pixels.data());
    s.SetPosition(dataPos + int64_t(h.SizeImage > 0 ? size : used));
  } else {
    const int64_t rowBytes = (int64_t(width) * bpp + 31) / 32 * 4;
    if ((end - dataPos) / rowBytes < height) Truncated("pixel data");
    pixels.resize(size_t(width) * size_t(height));

    uint32_t masks[4] = {h.Masks[0], h.Masks[1], h.Masks[2], h.Masks[3]};
    if (!bitfields && bpp == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (bpp == 16) {
      masks[3] = 0;  // below 32 bits every pixel is opaque
      for (uint32_t m : masks)
        if (m > 0xFFFF) throw EInvalidData("invalid BMP bit masks");
    }
    const bool useFields = bpp == 16 || (bpp == 32 && bitfields);
    const TChannelField red(useFields ? masks[0] : 0, 0), green(useFields ? masks[1] : 0, 0),
        blue(useFields ? masks[2] : 0, 0), alpha(useFields ? masks[3] : 0, 255);

    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int r = 0; r < height; ++r) {
      s.ReadBuffer(row.data(), row.size());
      const uint8_t* p = row.data();
      TColor32* dst = pixels.data() + size_t(h.TopDown ? r : height - 1 - r) * size_t(width);
      if (bpp <= 8) {
        DecodeIndexedRow(p, dst, width, bpp, palette);
      } else if (bpp == 24) {
        for (int x = 0; x < width; ++x, p += 3) dst[x] = Color32(p[2], p[1], p[0]);
      } else if (bpp == 32 && !bitfields) {
        std::memcpy(dst, p, size_t(width) * 4);  // alpha byte kept as stored
      } else {
        const int step = bpp / 8;
        for (int x = 0; x < width; ++x, p += step) {
          const uint32_t v = step == 2 ? Get16(p) : Get32(p);
          dst[x] = Color32(red.Get(v), green.Get(v), blue.Get(v), alpha.Get(v));
        }
      }
    }
  }
  bmp.Assign(width, height, std::move(pixels));
  bmp.Changed();
}

void SaveBMPToStream(const TBitmap32& bmp, TStream& s, int bitsPerPixel) {
  if (bitsPerPixel != 24 && bitsPerPixel != 32)
    throw EBrellinError("cannot write BMP pictures of " + std::to_string(bitsPerPixel) +
                        " bits per pixel");
  if (bmp.Empty()) throw EBrellinError("cannot write an empty picture as BMP");
  const int w = bmp.Width(), h = bmp.Height();
  const uint32_t rowBytes = uint32_t(bitsPerPixel == 32 ? w * 4 : (w * 3 + 3) / 4 * 4);
  const uint32_t dataSize = rowBytes * uint32_t(h);

  uint8_t hdr[54] = {'B', 'M'};
  Put32(hdr + 2, 54 + dataSize);
  Put32(hdr + 10, 54);
  Put32(hdr + 14, 40);
  Put32(hdr + 18, uint32_t(w));
  Put32(hdr + 22, uint32_t(h));
  Put16(hdr + 26, 1);
  Put16(hdr + 28, uint32_t(bitsPerPixel));
  Put32(hdr + 34, dataSize);
  s.WriteBuffer(hdr, sizeof(hdr));

  if (bitsPerPixel == 32) {
    for (int y = h - 1; y >= 0; --y) s.WriteBuffer(bmp.ScanLine(y), size_t(w) * 4);
    return;
  }
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = h - 1; y >= 0; --y) {
    const TColor32* src = bmp.ScanLine(y);
    uint8_t* p = row.data();
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = BlueComponent(src[x]);
      p[1] = GreenComponent(src[x]);
      p[2] = RedComponent(src[x]);
    }
    s.WriteBuffer(row.data(), row.size());
  }
}

}  // namespace brellin
