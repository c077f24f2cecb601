// BMP pictures: the reader accepts every common variant, the writer produces
// the plain 24- and 32-bit forms the program's files rely on. Also the size
// limit every picture decoder applies.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

// Largest picture a decoder accepts. Fuzzing builds lower it so that forged
// headers cannot make every run allocate a gigabyte.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int64_t MaxDecodedPixels = int64_t(1) << 22;
#else
constexpr int64_t MaxDecodedPixels = MaxBitmapPixels;
#endif

// Throws EInvalidData when a header's size is empty or beyond the limits,
// e.g. "PNG header claims 100000 x 100000 pixels"; format names the codec.
void CheckDecodedSize(int64_t width, int64_t height, const char* format);

// Called by CheckDecodedSize with every size it accepts, before a decoder
// allocates any pixel, so that a caller can refuse pictures it cannot hold
// (it throws). Returns the check it replaces; an empty one checks nothing.
using TDecodeSizeCheck = std::function<void(int64_t width, int64_t height)>;
TDecodeSizeCheck SetDecodeSizeCheck(TDecodeSizeCheck check);

// Reads one BMP file image from the stream's position and leaves the stream
// right after its pixel rows, so several BMPs can follow each other. Offsets
// in the header count from the BMP's first byte. A 32-bit BI_RGB picture keeps
// its alpha bytes exactly; every picture of fewer bits reads with alpha 255.
// Throws EInvalidData with the reason (no file name).
void LoadBMPFromStream(TBitmap32& bmp, TStream& s);

// Writes a BMP file image with a 40-byte header, rows bottom-up, no colour
// table: 32 bits stores B, G, R, A per pixel; 24 bits drops alpha and pads
// rows to 4 bytes. An empty bitmap cannot be written (nothing could read it).
void SaveBMPToStream(const TBitmap32& bmp, TStream& s, int bitsPerPixel = 32);

}  // namespace brellin
