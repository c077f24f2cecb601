// The blend rule every composition of the program follows: for each channel
// c (alpha included), Z = (256 B + (F - B) w + 128) shr 8, w in 0..255.
#pragma once

#include "base/Types.h"

namespace brellin {

inline uint32_t BlendChannel(uint32_t f, uint32_t b, uint32_t w) {
  // The sum is never negative: 256 B - B w + 128 >= 0 for w <= 255.
  return (256u * b + (int32_t(f) - int32_t(b)) * int32_t(w) + 128u) >> 8;
}

// Blends F over B with weight w; w = 0 leaves B, but w = 255 is still the
// formula (it is not an exact copy): callers that blend with the source
// alpha use BlendBySourceAlpha, which bypasses both ends.
inline TColor32 BlendWeighted(TColor32 f, TColor32 b, uint32_t w) {
  if (w == 0) return b;
  return (BlendChannel(f >> 24, b >> 24, w) << 24) |
         (BlendChannel((f >> 16) & 0xFF, (b >> 16) & 0xFF, w) << 16) |
         (BlendChannel((f >> 8) & 0xFF, (b >> 8) & 0xFF, w) << 8) |
         BlendChannel(f & 0xFF, b & 0xFF, w);
}

// Blend with w = the foreground's own alpha: alpha 0 leaves B, alpha 255
// replaces B by F exactly.
inline TColor32 BlendBySourceAlpha(TColor32 f, TColor32 b) {
  const uint32_t a = f >> 24;
  if (a == 0) return b;
  if (a == 255) return f;
  return BlendWeighted(f, b, a);
}

// D[i] := BlendBySourceAlpha(S[i], D[i]) for i < N, four pixels at a time
// where the processor allows (same values bit for bit).
void BlendRowBySourceAlpha(const TColor32* S, TColor32* D, int N);

// Weight of a coverage K (0..255) painted with a colour of alpha Ca.
inline uint32_t CoverageWeight(uint32_t k, uint32_t ca) {
  return (k * (ca + 1)) >> 8;
}

}  // namespace brellin
