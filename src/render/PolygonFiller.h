// Anti-aliased polygon fill with the even-odd rule.
//
// Coverage model: each pixel row is sampled by eight sub-scanlines (at the
// centres of its eighths); along each sub-scanline the inside of the polygon
// (even-odd) is measured exactly in x, with vertices rounded to 1/256 pixel.
// A pixel's coverage K (0..255) is the covered fraction of its eight
// sub-scanline segments: K = (covered * 255 + half) / full, rounded half up.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

// Sub-scanlines per pixel row and sub-pixel steps per pixel in x.
constexpr int FillSubScanlines = 8;
constexpr int FillSubPixel = 256;

// Span and cell based rasteriser. Buffers live in the object and are reused
// from one polygon to the next, so steady use does not allocate.
class TPolygonFiller {
 public:
  // Blends the colour part of Color into every covered pixel of Target with
  // w = CoverageWeight(K, alpha of Color) and the blend rule, the
  // foreground's alpha being K; w = 0 leaves the pixel alone. Clipped to
  // Target; fewer than 3 points paint nothing. Does not call Changed().
  void Fill(TBitmap32& Target, std::span<const TFixedPoint> Points, TColor32 Color);

  // The coverage of every pixel of a Width x Height area (row by row).
  void Coverage(std::span<const TFixedPoint> Points, int Width, int Height,
                std::vector<uint8_t>& Out);

 private:
  struct TEdge {
    int64_t Y0, Y1;  // top (inclusive) and bottom (exclusive), 1/256 px
    int64_t XA, XB;  // x at Y0 and at Y1
  };
  // An edge crossing the current sub-scanline.
  struct TActiveEdge {
    int64_t X, DX;  // x here and its step per sub-scanline, 1/256 px << 32
    int64_t Y1;     // where the edge ends
  };
  // Per pixel row: cell x holds Cover (carried to every cell on its right)
  // and Area (its own); both are zero again once a row is swept.
  struct TRowSpan {
    int32_t MinCell, MaxCell;  // cells touched, inclusive (MaxCell may be Width)
    int32_t RunLo, RunHi;      // pixels RunLo..RunHi-1 fully covered, their cells
                               // zero but for RunLo's Cover; empty when RunLo >= RunHi
  };
  template <class TRowSink>
  void Rasterize(std::span<const TFixedPoint> Points, int Width, int Height, TRowSink&& Sink);

  std::vector<TEdge> FEdges;
  std::vector<TActiveEdge> FActive;
  std::vector<int32_t> FCrossings;
  std::vector<int32_t> FCover, FArea;
};

// The plain version of the same coverage model: every pixel on its own,
// every sub-scanline intersected with every edge. For tests and comparisons.
void ReferencePolygonCoverage(std::span<const TFixedPoint> Points, int Width, int Height,
                              std::vector<uint8_t>& Out);
void ReferenceFillPolygon(TBitmap32& Target, std::span<const TFixedPoint> Points, TColor32 Color);

}  // namespace brellin
