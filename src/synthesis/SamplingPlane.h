// The feature map and the colour source side by side, in square tiles: what
// the line sampler reads under a stroke. A stroke's band is a few pixels wide
// and tens long, in any direction; read from two big row-ordered pictures it
// touches a memory page and two cache lines per pixel row, from the tiles a
// handful of pages and one line per eight pixels. Worth building for long
// runs on pictures far larger than the caches.
#pragma once

#include <cstdint>

#include "base/Bitmap32.h"
#include "base/LargeAllocator.h"

namespace brellin {

class TSamplingPlane {
 public:
  struct TCell {
    TColor32 Feature;
    TColor32 Color;  // 0 outside the colour source
  };

  // Colors may be null (the sampler then rebuilds colours from the map).
  TSamplingPlane(const TBitmap32& Feature, const TBitmap32* Colors);

  // True when built from these very pictures (same objects, same sizes).
  bool Serves(const TBitmap32* Feature, const TBitmap32* Colors) const;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // The cell of (X, Y), which must lie on the map.
  const TCell& At(int64_t X, int64_t Y) const { return FCells[Index(X, Y)]; }

  static constexpr int TileShift = 4;  // 16 x 16 pixels, 2 KiB
  static constexpr int TileSide = 1 << TileShift;

 private:
  size_t Index(int64_t X, int64_t Y) const {
    constexpr int64_t mask = TileSide - 1;
    return size_t(((Y >> TileShift) * FTilesAcross + (X >> TileShift)) << (2 * TileShift) |
                  (Y & mask) << TileShift | (X & mask));
  }

  const TBitmap32* FFeature;
  const TBitmap32* FColors;
  int FWidth, FHeight, FColorWidth, FColorHeight;
  int64_t FTilesAcross;
  TLargeVector<TCell> FCells;
};

}  // namespace brellin
