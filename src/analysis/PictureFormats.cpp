#include "analysis/PictureFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "analysis/JpegCodec.h"
#include "analysis/PngCodec.h"
#include "analysis/TiffCodec.h"
#include "base/Blend.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Parallel.h"

namespace brellin {

namespace {

struct TExtension {
  const char* Name;
  TPictureFormat Format;
};

constexpr TExtension Extensions[] = {
    {"bmp", pfBmp},   {"dib", pfBmp},   {"rle", pfBmp},   {"jpg", pfJpeg},
    {"jpe", pfJpeg},  {"jpeg", pfJpeg}, {"jfif", pfJpeg}, {"tif", pfTiff},
    {"tiff", pfTiff}, {"fax", pfTiff},  {"png", pfPng},
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string WithoutDot(const std::string& ext) {
  return !ext.empty() && ext[0] == '.' ? ext.substr(1) : ext;
}

// The extension as written, with its dot ("" when there is none).
std::string ExtensionOf(const std::string& fileName) {
  return std::filesystem::path(fileName).extension().string();
}

std::vector<uint8_t> ReadPictureBytes(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0)
    throw EBrellinError(std::string("cannot open: ") + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw EBrellinError("is a directory");
  if (!S_ISREG(st.st_mode)) throw EBrellinError("is not a regular file");
  if (st.st_size == 0) throw EInvalidData("file is empty");
  if (uint64_t(st.st_size) > (uint64_t(1) << 32)) throw EInvalidData("file is too large");
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) throw EBrellinError(std::string("cannot open: ") + std::strerror(errno));
  std::vector<uint8_t> data(size_t(st.st_size));
  const size_t n = std::fread(data.data(), 1, data.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EBrellinError("cannot read the file");
  data.resize(n);  // the file may have shrunk since stat
  if (data.empty()) throw EInvalidData("file is empty");
  return data;
}

bool AllAlphaZero(const TBitmap32& bmp) {
  const TColor32* p = bmp.Bits();
  return std::all_of(p, p + bmp.PixelCount(), [](TColor32 c) { return (c >> 24) == 0; });
}

}  // namespace

const std::vector<std::string>& PictureExtensions() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> v;
    for (const TExtension& e : Extensions) v.emplace_back(e.Name);
    return v;
  }();
  return list;
}

std::string PictureFileFilter() {
  std::string patterns;
  for (const std::string& e : PictureExtensions())
    patterns += (patterns.empty() ? "*." : " *.") + e;
  return "Pictures (" + patterns + ")";
}

TPictureFormat PictureFormatOfExtension(const std::string& ext) {
  const std::string e = Lower(WithoutDot(ext));
  for (const TExtension& x : Extensions)
    if (e == x.Name) return x.Format;
  return pfUnknown;
}

bool IsPictureExtension(const std::string& ext) {
  return PictureFormatOfExtension(ext) != pfUnknown;
}

TPictureFormat SniffPictureFormat(const uint8_t* data, size_t size) {
  auto starts = [&](const char* sig, size_t n) {
    return size >= n && std::memcmp(data, sig, n) == 0;
  };
  if (starts("\x89PNG\r\n\x1A\n", 8)) return pfPng;
  if (starts("\xFF\xD8\xFF", 3)) return pfJpeg;
  if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
    return pfTiff;
  // "BM" alone is too weak a signature; also ask for a known header size.
  if (starts("BM", 2) && size >= 18) {
    const uint32_t infoSize = uint32_t(data[14]) | (uint32_t(data[15]) << 8) |
                              (uint32_t(data[16]) << 16) | (uint32_t(data[17]) << 24);
    if (infoSize == 12 || infoSize == 16 || infoSize == 40 || infoSize == 52 || infoSize == 56 ||
        infoSize == 64 || infoSize == 108 || infoSize == 124)
      return pfBmp;
  }
  return pfUnknown;
}

void LoadPictureFromStream(TBitmap32& bmp, TStream& s, TPictureFormat format) {
  switch (format) {
    case pfBmp:
      LoadBMPFromStream(bmp, s);
      break;
    case pfJpeg:
      LoadJPEG(bmp, s);
      break;
    case pfTiff:
      LoadTIFF(bmp, s);
      break;
    case pfPng:
      LoadPNG(bmp, s);
      break;
    default:
      throw EInvalidData("unknown picture format");
  }
}

TBitmap32 LoadPictureFile(const std::string& fileName, bool* Opaque) {
  const std::vector<uint8_t> data = ReadPictureBytes(fileName);
  const std::string ext = ExtensionOf(fileName);
  TPictureFormat format = PictureFormatOfExtension(ext);
  if (format == pfUnknown) throw EInvalidData("unknown picture format \"" + ext + "\"");
  const TPictureFormat sniffed = SniffPictureFormat(data.data(), data.size());
  if (sniffed != pfUnknown) format = sniffed;

  TBitmap32 bmp;
  TBytesStream s(data.data(), data.size());
  LoadPictureFromStream(bmp, s, format);
  // Many writers leave the fourth byte of 32-bit BMPs at 0: such a picture
  // does not use alpha, and taken literally it would be invisible.
  if (format == pfBmp && AllAlphaZero(bmp))
    for (size_t i = 0; i < bmp.PixelCount(); ++i) bmp.Bits()[i] |= 0xFF000000u;
  if (Opaque) *Opaque = format == pfJpeg;
  return bmp;
}

void MakeOpaqueOverWhite(TBitmap32& bmp) {
  // Pixel by pixel, so parts of a big picture go to the threads.
  constexpr size_t kChunk = size_t(1) << 18;  // pixels
  TColor32* p = bmp.Bits();
  const size_t n = bmp.PixelCount();
  ParallelFor(
      0, int((n + kChunk - 1) / kChunk),
      [p, n](int c0, int c1) {
        const size_t e = std::min(n, size_t(c1) * kChunk);
        for (size_t i = size_t(c0) * kChunk; i < e; ++i)
          if ((p[i] >> 24) != 255) p[i] = BlendBySourceAlpha(p[i], clWhite32) | 0xFF000000u;
      },
      4);
  bmp.Changed();
}

void SavePictureFile(const TBitmap32& bmp, const std::string& fileName, int jpegQuality) {
  const std::string ext = Lower(ExtensionOf(fileName));
  if (ext != ".bmp" && ext != ".jpg" && ext != ".jpeg" && ext != ".png")
    throw EWriteError("cannot write pictures as \"" + ExtensionOf(fileName) + "\"");
  if (bmp.Empty()) throw EWriteError("cannot write an empty picture");
  TSafeFileWriter writer(fileName);
  if (ext == ".bmp") {
    SaveBMPToStream(bmp, writer.Stream(), 24);
  } else if (ext == ".png") {
    // Opaque like the other two: strokes blended onto an opaque paper leave
    // alpha below 255 at their edges that means nothing, and written out it
    // would let whatever lies under the picture show through. A picture
    // meant to be transparent goes through SavePNGFile.
    SavePNG(bmp, writer.Stream(), false);
  } else {
    SaveJPEG(bmp, writer.Stream(), jpegQuality);
  }
  writer.Commit();
}

}  // namespace brellin
