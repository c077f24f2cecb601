#include "FuzzTargets.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"

namespace brellin::fuzz {

int FuzzBmp(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  // Pictures may follow each other, as in project files.
  for (int i = 0; i < 4 && s.Remaining() > 0; ++i) {
    const int64_t before = s.Position();
    TBitmap32 bmp;
    try {
      LoadBMPFromStream(bmp, s);
    } catch (const EInvalidData&) {
      break;
    }
    if (s.Position() <= before || s.Position() > int64_t(size))
      FuzzFailure("BMP reader left the stream at a wrong position");
    // Whatever was read must survive our own 32-bit form exactly.
    TMemoryStream m;
    SaveBMPToStream(bmp, m, 32);
    m.SetPosition(0);
    TBitmap32 back;
    LoadBMPFromStream(back, m);
    if (m.Remaining() != 0 || back.Width() != bmp.Width() || back.Height() != bmp.Height())
      FuzzFailure("32-bit BMP round trip changed the size");
    for (size_t p = 0; p < bmp.PixelCount(); ++p)
      if (back.Bits()[p] != bmp.Bits()[p]) FuzzFailure("32-bit BMP round trip changed a pixel");
  }
  return 0;
}

}  // namespace brellin::fuzz
