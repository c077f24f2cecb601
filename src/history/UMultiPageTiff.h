// TIFF output: one page of 8-bit RGB, LZW in a single strip, with a
// resolution in dots per inch. Despite the class name a file holds one page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Bitmap32.h"
#include "base/LargeAllocator.h"

namespace brellin {

// The picture as 8-bit RGB, rows from the top, each pixel red, green, blue;
// alpha is dropped (not composited). libtiff encodes a strip in place, so
// this buffer is what it gets, never the picture's own pixels.
class TTiffBuff {
 public:
  explicit TTiffBuff(const TBitmap32& picture);

  uint8_t* Data() { return FData.data(); }
  const uint8_t* Data() const { return FData.data(); }
  size_t Size() const { return FData.size(); }  // Width * 3 * Height
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  TLargeVector<uint8_t> FData;
  int FWidth = 0;
  int FHeight = 0;
};

class TMultiPageTiff {
 public:
  // Dots per inch, written as both X and Y resolution.
  double Resolution = 200;

  // Writes the picture as a one-page TIFF. The file is written beside the
  // target and renamed over it only when complete, so a failure leaves any
  // earlier file of that name as it was and no new file behind.
  // Throws EWriteError: "Could not open NAME for writing" when the file
  // cannot be created, otherwise a message naming the file and the reason
  // (empty picture, bad resolution, libtiff's error, disk full).
  void Write(const TBitmap32& picture, const std::string& fileName);
};

// The entry point used when saving a picture as ".tif"/".tiff".
void SaveTiff(const TBitmap32& picture, const std::string& fileName, double resolution);

}  // namespace brellin
