#include "history/UMultiPageTiff.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <tiffio.h>

#include "base/Errors.h"
#include "base/Stream.h"

namespace brellin {

namespace {

// What libtiff's callbacks work on: the temporary file and libtiff's first
// complaint, which becomes the error's reason.
struct TTiffTarget {
  TFileStream* Stream = nullptr;
  char Message[256] = {};
  int WriteErrno = 0;  // why the file took fewer bytes, when the system said
};

TTiffTarget& TargetOf(thandle_t h) {
  return *static_cast<TTiffTarget*>(h);
}

tmsize_t TiffRead(thandle_t h, void* buffer, tmsize_t count) {
  if (count <= 0) return 0;
  return tmsize_t(TargetOf(h).Stream->Read(buffer, size_t(count)));
}

tmsize_t TiffWrite(thandle_t h, void* buffer, tmsize_t count) {
  if (count <= 0) return 0;
  errno = 0;
  const size_t n = TargetOf(h).Stream->Write(buffer, size_t(count));
  if (n < size_t(count) && errno != 0 && TargetOf(h).WriteErrno == 0)
    TargetOf(h).WriteErrno = errno;
  return tmsize_t(n);
}

toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
  const TSeekOrigin origin = whence == SEEK_CUR   ? soCurrent
                             : whence == SEEK_END ? soEnd
                                                  : soBeginning;
  // Nothing may be thrown through libtiff: a failed seek (a buffered write
  // that did not go out) is a failure it reports.
  try {
    const int64_t pos = TargetOf(h).Stream->Seek(int64_t(offset), origin);
    return pos < 0 ? toff_t(-1) : toff_t(pos);
  } catch (const EWriteError&) {
    if (TargetOf(h).WriteErrno == 0) TargetOf(h).WriteErrno = errno != 0 ? errno : EIO;
    return toff_t(-1);
  }
}

// The stream belongs to the safe writer, which closes it after checking it.
int TiffClose(thandle_t) {
  return 0;
}

toff_t TiffSize(thandle_t h) {
  return toff_t(TargetOf(h).Stream->Size());
}

int TiffMap(thandle_t, void**, toff_t*) {
  return 0;
}

void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffErrorHandler(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  auto* target = static_cast<TTiffTarget*>(user);
  if (target->Message[0] == 0) std::vsnprintf(target->Message, sizeof(target->Message), fmt, ap);
  return 1;  // handled: nothing reaches stderr
}

int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TTiffCloser {
  TIFF* Tif = nullptr;
  void Close() {
    if (Tif) TIFFClose(Tif);
    Tif = nullptr;
  }
  ~TTiffCloser() { Close(); }
};

}  // namespace

TTiffBuff::TTiffBuff(const TBitmap32& picture)
    : FData(size_t(picture.Width()) * 3 * size_t(picture.Height())),
      FWidth(picture.Width()),
      FHeight(picture.Height()) {
  uint8_t* out = FData.data();
  for (int y = 0; y < FHeight; ++y) {
    const TColor32* row = picture.ScanLine(y);
    for (int x = 0; x < FWidth; ++x) {
      const TColor32 c = row[x];
      out[0] = uint8_t(c >> 16);
      out[1] = uint8_t(c >> 8);
      out[2] = uint8_t(c);
      out += 3;
    }
  }
}

void TMultiPageTiff::Write(const TBitmap32& picture, const std::string& fileName) {
  const std::string cannotWrite = "Could not write " + fileName + ": ";
  // A TIFF needs at least one pixel, and a resolution is a positive rational.
  if (picture.Empty()) throw EWriteError(cannotWrite + "the picture is empty");
  if (!(Resolution > 0 && Resolution <= 4294967295.0)) {
    char text[64];
    std::snprintf(text, sizeof(text), "invalid resolution %g", Resolution);
    throw EWriteError(cannotWrite + text);
  }

  const std::string cannotOpen = "Could not open " + fileName + " for writing";
  std::optional<TSafeFileWriter> writer;
  try {
    writer.emplace(fileName);
  } catch (const EBrellinError&) {
    throw EWriteError(cannotOpen);
  }

  TTiffTarget target;
  target.Stream = &writer->Stream();
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) throw EWriteError(cannotOpen);
  TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffErrorHandler, &target);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffWarningHandler, &target);
  // Plain "w": big-endian or little-endian flags would also change libtiff's
  // native bit order and with it what FillOrder 2 means on disk.
  TTiffCloser tif{TIFFClientOpenExt(fileName.c_str(), "w", &target, TiffRead, TiffWrite, TiffSeek,
                                    TiffClose, TiffSize, TiffMap, TiffUnmap, opts)};
  TIFFOpenOptionsFree(opts);
  if (!tif.Tif) throw EWriteError(cannotOpen);

  TTiffBuff buff(picture);
  const uint32_t width = uint32_t(buff.Width()), height = uint32_t(buff.Height());
  TIFF* t = tif.Tif;
  const bool written =
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, height) &&
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height) &&
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
      TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB) &&
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(t, TIFFTAG_XRESOLUTION, Resolution) &&
      TIFFSetField(t, TIFFTAG_YRESOLUTION, Resolution) &&
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
      TIFFWriteEncodedStrip(t, 0, buff.Data(), tmsize_t(buff.Size())) >= 0 && TIFFWriteDirectory(t);
  tif.Close();
  // The system's reason for a failed write comes before libtiff's report of it.
  if (target.WriteErrno != 0)
    throw EWriteError(cannotWrite + std::string(std::strerror(target.WriteErrno)));
  if (!written || target.Message[0] != 0)
    throw EWriteError(cannotWrite + (target.Message[0] ? target.Message : "libtiff failed"));

  try {
    writer->Stream().Close();  // reports a full disk or a failed flush
  } catch (const EWriteError& e) {
    throw EWriteError(cannotWrite + e.what());
  }
  writer->Commit();
}

void SaveTiff(const TBitmap32& picture, const std::string& fileName, double resolution) {
  TMultiPageTiff tiff;
  tiff.Resolution = resolution;
  tiff.Write(picture, fileName);
}

}  // namespace brellin
