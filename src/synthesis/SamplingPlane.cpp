#include "synthesis/SamplingPlane.h"

#include <algorithm>

#include "base/Parallel.h"

namespace brellin {

TSamplingPlane::TSamplingPlane(const TBitmap32& Feature, const TBitmap32* Colors)
    : FFeature(&Feature),
      FColors(Colors),
      FWidth(Feature.Width()),
      FHeight(Feature.Height()),
      FColorWidth(Colors ? Colors->Width() : 0),
      FColorHeight(Colors ? Colors->Height() : 0),
      FTilesAcross((int64_t(FWidth) + TileSide - 1) >> TileShift) {
  const int64_t tilesDown = (int64_t(FHeight) + TileSide - 1) >> TileShift;
  FCells.resize(size_t(FTilesAcross * tilesDown) << (2 * TileShift));
  // One band of tiles at a time: its rows are read in order, its tiles
  // written whole. Cells outside the colour source keep their zero colour.
  ParallelFor(
      0, int(tilesDown),
      [&](int t0, int t1) {
        for (int y = t0 * TileSide; y < std::min(t1 * TileSide, FHeight); ++y) {
          const TColor32* f = Feature.ScanLine(y);
          const TColor32* c = y < FColorHeight ? Colors->ScanLine(y) : nullptr;
          const int colored = c ? std::min(FWidth, FColorWidth) : 0;
          for (int x0 = 0; x0 < FWidth; x0 += TileSide) {
            TCell* cell = &FCells[Index(x0, y)];
            const int n = std::min(TileSide, FWidth - x0);
            for (int i = 0; i < n; ++i) {
              cell[i].Feature = f[x0 + i];
              if (x0 + i < colored) cell[i].Color = c[x0 + i];
            }
          }
        }
      },
      1);
}

bool TSamplingPlane::Serves(const TBitmap32* Feature, const TBitmap32* Colors) const {
  return Feature == FFeature && Colors == FColors && Feature->Width() == FWidth &&
         Feature->Height() == FHeight &&
         (!Colors || (Colors->Width() == FColorWidth && Colors->Height() == FColorHeight));
}

}  // namespace brellin
