// PNG pictures through libpng.
#pragma once

#include <string>

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

// Decodes a PNG of any colour type, bit depth and interlacing from the
// stream's position and leaves the stream after its end chunk. Palette and
// grey pictures are expanded, transparency (alpha channel or tRNS) is kept in
// the alpha byte, 16-bit samples become (v * 255 + 32767) / 65535. A file cut
// short is an error. Throws EInvalidData with the reason (no file name).
void LoadPNG(TBitmap32& bmp, TStream& s);

// Encodes the bitmap as an 8-bit RGB PNG, or RGBA when withAlpha is set;
// a Resolution above 0 (dots per inch) goes into a pHYs chunk. Throws
// EWriteError.
void SavePNG(const TBitmap32& bmp, TStream& s, bool withAlpha, int Resolution = 0);

// SavePNG into a file written beside FileName and renamed over it when
// complete, so a failure leaves an earlier file as it was.
void SavePNGFile(const TBitmap32& bmp, const std::string& FileName, bool WithAlpha, int Resolution);

}  // namespace brellin
