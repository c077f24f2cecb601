// Alpha smoothing used by the bitmap brush.
#pragma once

#include "base/Bitmap32.h"

namespace brellin {

// In place, rows from the top, pixels left to right: each alpha becomes the
// truncated mean of the alphas at (x -/+ A, y -/+ A), where a neighbour
// outside the bitmap is replaced by the pixel's own column or row. Reads see
// the pixels already updated. Colour bytes are kept. A = 0 does nothing.
void BlurAlpha(TBitmap32& Bmp, int A);
// BlurAlpha(Bmp, 1), N + 1 times.
void BlurAlphaTimes(TBitmap32& Bmp, int N);

}  // namespace brellin
