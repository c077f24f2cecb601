// Reading TIFF pictures through libtiff (writing is the TIFF output's job).
#pragma once

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

// Decodes the first page of a TIFF held in the rest of the stream (offsets in
// a TIFF count from its first byte, so all remaining bytes are taken and the
// stream ends at its end). Any layout libtiff's RGBA interface reads is
// accepted; alpha is kept as that interface gives it. Throws EInvalidData
// with the reason (no file name).
void LoadTIFF(TBitmap32& bmp, TStream& s);

}  // namespace brellin
