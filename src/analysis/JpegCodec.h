// JPEG pictures through libjpeg.
#pragma once

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

// Decodes a JPEG (baseline or progressive; grey, YCbCr, RGB, CMYK or Adobe's
// inverted CMYK) from the stream's position into an opaque bitmap and leaves
// the stream right after the picture's end marker. A picture cut short is an
// error. Throws EInvalidData with the reason (no file name).
void LoadJPEG(TBitmap32& bmp, TStream& s);

// Encodes the bitmap as a baseline RGB JPEG (JFIF) of the given quality,
// 1 to 100 (values outside are clamped); alpha is ignored. Throws EWriteError.
// Pictures of a few megapixels and more are encoded in two bands at once
// (see SaveJPEGInParts).
void SaveJPEG(const TBitmap32& bmp, TStream& s, int quality);
// The same picture encoded in bands of McuRowsPerPart rows of 16-pixel MCUs
// (0: one band), on several threads; the bands are joined by restart markers,
// so the file decodes to exactly the pixels of a one-band encoding.
void SaveJPEGInParts(const TBitmap32& bmp, TStream& s, int quality, int McuRowsPerPart);

}  // namespace brellin
