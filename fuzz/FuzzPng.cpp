#include "FuzzTargets.h"
#include "analysis/PngCodec.h"
#include "base/Errors.h"

namespace brellin::fuzz {

int FuzzPng(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TBitmap32 bmp;
  try {
    LoadPNG(bmp, s);
  } catch (const EInvalidData&) {
    return 0;
  }
  // PNG is lossless: an RGBA copy must read back pixel for pixel.
  if (bmp.PixelCount() <= (1u << 16)) {
    TMemoryStream m;
    SavePNG(bmp, m, true);
    m.SetPosition(0);
    TBitmap32 back;
    LoadPNG(back, m);
    if (back.Width() != bmp.Width() || back.Height() != bmp.Height())
      FuzzFailure("PNG round trip changed the size");
    for (size_t p = 0; p < bmp.PixelCount(); ++p)
      if (back.Bits()[p] != bmp.Bits()[p]) FuzzFailure("PNG round trip changed a pixel");
  }
  return 0;
}

}  // namespace brellin::fuzz
