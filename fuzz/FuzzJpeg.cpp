#include "FuzzTargets.h"
#include "analysis/JpegCodec.h"
#include "base/Errors.h"

namespace brellin::fuzz {

int FuzzJpeg(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TBitmap32 bmp;
  try {
    LoadJPEG(bmp, s);
  } catch (const EInvalidData&) {
    return 0;
  }
  if (s.Position() > int64_t(size)) FuzzFailure("JPEG reader left the stream past its end");
  // Encode small results too: the writer must take any decoded picture.
  if (bmp.PixelCount() <= 4096) {
    TMemoryStream m;
    SaveJPEG(bmp, m, 75);
    m.SetPosition(0);
    TBitmap32 back;
    LoadJPEG(back, m);
    if (back.Width() != bmp.Width() || back.Height() != bmp.Height())
      FuzzFailure("JPEG round trip changed the size");
  }
  return 0;
}

}  // namespace brellin::fuzz
