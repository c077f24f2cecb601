#include "base/Bitmap32.h"

#include <algorithm>
#include <string>

#include "base/Blend.h"
#include "base/Errors.h"

namespace brellin {

TBitmap32::TBitmap32(int width, int height, TColor32 fill) {
  SetSize(width, height);
  if (fill != 0) Clear(fill);
}

TBitmap32::TBitmap32(const TBitmap32& other) {
  *this = other;
}

TBitmap32& TBitmap32::operator=(const TBitmap32& other) {
  if (this != &other) {
    CopySettings(other);
    StipplePattern = other.StipplePattern;
    FWidth = other.FWidth;
    FHeight = other.FHeight;
    FBits = other.FBits;
  }
  return *this;
}

TBitmap32::TBitmap32(TBitmap32&& other) noexcept {
  *this = std::move(other);
}

TBitmap32& TBitmap32::operator=(TBitmap32&& other) noexcept {
  if (this != &other) {
    CopySettings(other);
    StipplePattern = std::move(other.StipplePattern);
    FWidth = other.FWidth;
    FHeight = other.FHeight;
    FBits = std::move(other.FBits);
    other.FWidth = other.FHeight = 0;
  }
  return *this;
}

void TBitmap32::CopySettings(const TBitmap32& other) {
  DrawMode = other.DrawMode;
  MasterAlpha = other.MasterAlpha;
  StretchFilter = other.StretchFilter;
  PenColor = other.PenColor;
  StippleStep = other.StippleStep;
  StippleCounter = other.StippleCounter;
}

void TBitmap32::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > MaxBitmapSide || height > MaxBitmapSide ||
      int64_t(width) * height > MaxBitmapPixels)
    throw EBrellinError("Invalid bitmap size " + std::to_string(width) + " x " +
                        std::to_string(height));
  if (width == 0 || height == 0) width = height = 0;
  FWidth = width;
  FHeight = height;
  TLargeVector<TColor32>(size_t(width) * size_t(height)).swap(FBits);  // fresh blocks are zero
}

void TBitmap32::Assign(int width, int height, std::vector<TColor32>&& pixels) {
  if (width < 0 || height < 0 || pixels.size() != size_t(width) * size_t(height))
    throw EBrellinError("TBitmap32.Assign: pixel count does not match the size");
  if (width == 0 || height == 0) width = height = 0;
  FWidth = width;
  FHeight = height;
  FBits.assign(pixels.begin(), pixels.end());
}

void TBitmap32::Clear(TColor32 color) {
  std::fill(FBits.begin(), FBits.end(), color);
}

TColor32 TBitmap32::PixelS(int x, int y) const {
  return Contains(x, y) ? Pixel(x, y) : 0;
}

void TBitmap32::SetPixelS(int x, int y, TColor32 c) {
  if (Contains(x, y)) SetPixel(x, y, c);
}

void TBitmap32::BlendPixelS(int x, int y, TColor32 c, uint32_t w) {
  if (!Contains(x, y) || w == 0) return;
  TColor32& p = FBits[size_t(y) * size_t(FWidth) + size_t(x)];
  p = BlendWeighted(c, p, w);
}

void TBitmap32::DrawTo(TBitmap32& dst, int x, int y) const {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(dst.Width(), x + FWidth), y1 = std::min(dst.Height(), y + FHeight);
  if (x0 >= x1 || y0 >= y1) return;
  const int n = x1 - x0;
  for (int dy = y0; dy < y1; ++dy) {
    const TColor32* s = ScanLine(dy - y) + (x0 - x);
    TColor32* d = dst.ScanLine(dy) + x0;
    if (DrawMode == dmOpaque) {
      std::copy(s, s + n, d);
    } else if (MasterAlpha == 255) {
      for (int i = 0; i < n; ++i) d[i] = BlendBySourceAlpha(s[i], d[i]);
    } else {
      for (int i = 0; i < n; ++i) {
        const uint32_t w = CoverageWeight(s[i] >> 24, MasterAlpha);
        d[i] = BlendWeighted(s[i], d[i], w);
      }
    }
  }
}

void TBitmap32::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(*this);
}

}  // namespace brellin
