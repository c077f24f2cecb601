// Pictures between the core and Qt. TColor32 and QImage::Format_ARGB32 share
// one layout (0xAARRGGBB in a native 32-bit word), so rows copy as they are.
#pragma once

#include <QImage>

#include "base/Bitmap32.h"

namespace brellin {

// A deep copy of Bitmap as a QImage of Format_ARGB32.
QImage ToQImage(const TBitmap32& Bitmap);
// A QImage of any format as a TBitmap32 (straight, not premultiplied, alpha).
TBitmap32 FromQImage(const QImage& Image);
// A QImage that shares Bitmap's pixels: valid only while Bitmap lives and
// keeps its size. For painting a large picture without copying it.
QImage WrapBitmap(const TBitmap32& Bitmap);

}  // namespace brellin
