// TBitmap32: a 32-bit raster, one contiguous block of pixels, rows from the top.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "base/LargeAllocator.h"
#include "base/Types.h"

namespace brellin {

enum TDrawMode : uint8_t { dmOpaque, dmBlend };

// How a bitmap is resampled when it is drawn stretched.
enum TStretchFilter : uint8_t { sfNearest, sfLinear, sfMitchell };

class TBitmap32 {
 public:
  using TChangeEvent = std::function<void(TBitmap32& sender)>;

  TBitmap32() = default;
  TBitmap32(int width, int height, TColor32 fill = 0);
  // Copies pixels and drawing settings; the change notification is not copied.
  TBitmap32(const TBitmap32& other);
  TBitmap32& operator=(const TBitmap32& other);
  TBitmap32(TBitmap32&& other) noexcept;
  TBitmap32& operator=(TBitmap32&& other) noexcept;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth <= 0 || FHeight <= 0; }
  size_t PixelCount() const { return size_t(FWidth) * size_t(FHeight); }
  TRect BoundsRect() const { return {0, 0, FWidth, FHeight}; }

  // Resizes; the contents become all zero. Throws on negative or absurd sizes.
  void SetSize(int width, int height);
  // SetSize for a caller that writes every pixel before reading any: a big
  // bitmap may then hold old contents instead of zeros.
  void SetSizeForOverwrite(int width, int height);
  void Clear(TColor32 color = 0);
  // SetSize then Clear(color), reusing the pixel storage when it is large
  // enough and not far too large (for bitmaps resized over and over).
  void SetSizeFilled(int width, int height, TColor32 color);
  // Takes over the pixels of a vector of exactly width * height values.
  void Assign(int width, int height, std::vector<TColor32>&& pixels);
  // The same without a copy: the vector becomes the pixel storage.
  void Assign(int width, int height, TLargeVector<TColor32>&& pixels);

  TColor32* Bits() { return FBits.data(); }
  const TColor32* Bits() const { return FBits.data(); }
  TColor32* ScanLine(int y) { return FBits.data() + size_t(y) * size_t(FWidth); }
  const TColor32* ScanLine(int y) const { return FBits.data() + size_t(y) * size_t(FWidth); }

  // Unchecked access: the caller guarantees 0 <= x < Width, 0 <= y < Height.
  TColor32 Pixel(int x, int y) const { return FBits[size_t(y) * size_t(FWidth) + size_t(x)]; }
  void SetPixel(int x, int y, TColor32 c) { FBits[size_t(y) * size_t(FWidth) + size_t(x)] = c; }
  // Checked access: reads outside give 0, writes outside are ignored.
  TColor32 PixelS(int x, int y) const;
  void SetPixelS(int x, int y, TColor32 c);
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < FWidth && y < FHeight; }

  // Blends colour c into pixel (x, y) with weight w (0..255); clipped.
  void BlendPixelS(int x, int y, TColor32 c, uint32_t w);

  // Drawing settings used when this bitmap is drawn onto another.
  TDrawMode DrawMode = dmOpaque;
  uint8_t MasterAlpha = 255;
  TStretchFilter StretchFilter = sfNearest;

  // Draws this bitmap onto dst with its top-left corner at (x, y), clipped,
  // in this bitmap's DrawMode (blend mode: w = source alpha scaled by MasterAlpha).
  void DrawTo(TBitmap32& dst, int x, int y) const;

  // Blends the colour part of c into pixel (x, y) as a shape covering k/255
  // of it: the foreground's alpha is k and w = CoverageWeight(k, alpha of c).
  // Clipped; w = 0 leaves the pixel alone.
  void BlendCoverageS(int x, int y, TColor32 c, uint32_t k);

  // Anti-aliased (Wu-style) lines blended with BlendCoverageS, clipped.
  // Coordinates in pixels; pixel (x, y) covers x..x+1, so its centre is at
  // (x + 0.5, y + 0.5). One pixel per step along the major axis, its weight
  // split between the two pixels nearest the line on the minor axis. The end
  // point is drawn unless skipLast is set. Each call ends with Changed().
  void LineFS(float x1, float y1, float x2, float y2, TColor32 color, bool skipLast = false);
  void LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 color, bool skipLast = false);
  // Pen-style drawing used by the dashed circle and arc helpers: each LineTo
  // draws from the pen position in PenColor and moves the pen there.
  TColor32 PenColor = clBlack32;
  void MoveToF(float x, float y);
  void LineToFS(float x, float y, bool skipLast = false);
  void MoveToX(TFixed x, TFixed y);
  void LineToXS(TFixed x, TFixed y, bool skipLast = false);

  // Solid line from (x1, y1) to (x2, y2), both end pixels included, that
  // replaces the pixels it covers; clipped.
  void LineS(int x1, int y1, int x2, int y2, TColor32 color);

  // Stippled drawing: every pixel step of a stippled line takes the pattern
  // entry at StippleCounter, blended over the pixel by the entry's own alpha,
  // and advances the counter by StippleStep entries.
  void SetStipple(std::vector<TColor32> Pattern);
  TColor32 NextStippleColor();
  // A stippled line between pixel centres, clipped; the end pixel is drawn
  // unless skipLast is set. Nothing is drawn without a pattern.
  void LineFSP(float x1, float y1, float x2, float y2, bool skipLast = false);
  std::vector<TColor32> StipplePattern;
  float StippleStep = 1.0f;
  float StippleCounter = 0.0f;

  // Update locking: while locked, Changed() does not notify.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() {
    if (FUpdateCount > 0) --FUpdateCount;
  }
  int UpdateCount() const { return FUpdateCount; }
  void Changed();
  TChangeEvent OnChange;

 private:
  void CopySettings(const TBitmap32& other);
  int FWidth = 0;
  int FHeight = 0;
  TLargeVector<TColor32> FBits;
  int FUpdateCount = 0;
  double FPenX = 0, FPenY = 0;  // holds 16.16 positions exactly
};

// Largest picture the program accepts, in pixels (about 1 GiB of 32-bit pixels).
constexpr int64_t MaxBitmapPixels = int64_t(1) << 28;
constexpr int MaxBitmapSide = 1 << 17;

}  // namespace brellin
