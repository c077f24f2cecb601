#include "FuzzTargets.h"
#include "analysis/TiffCodec.h"
#include "base/Errors.h"

namespace brellin::fuzz {

int FuzzTiff(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TBitmap32 bmp;
  try {
    LoadTIFF(bmp, s);
  } catch (const EInvalidData&) {
    return 0;
  }
  if (bmp.Empty()) FuzzFailure("TIFF reader returned an empty picture");
  return 0;
}

}  // namespace brellin::fuzz
