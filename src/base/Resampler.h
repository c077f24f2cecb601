// Stretched drawing of one bitmap onto another: nearest, linear and Mitchell
// filters, separable, applied to all four channels.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Bitmap32.h"

namespace brellin {

// Filter weights of one axis: destination index d reads Count[d] source
// indices from First[d], with integer weights summing to ResampleWeightOne.
struct TResampleAxis {
  std::vector<int32_t> First;
  std::vector<int32_t> Count;
  std::vector<int32_t> Offset;  // into Weights
  std::vector<int32_t> Weights;
  int32_t MaxCount = 0;
};

constexpr int32_t ResampleWeightOne = 4096;

// The Mitchell-Netravali cubic with B = C = 1/3; support |x| < 2.
double MitchellKernel(double x);

// Weights mapping srcLen samples starting at srcStart onto dstLen samples.
// A downscale widens the kernel by the ratio; samples beyond the ends repeat
// the edge. Equal lengths give the identity, so an axis that keeps its size
// is never blurred.
TResampleAxis BuildResampleAxis(int srcStart, int srcLen, int dstLen, TStretchFilter filter);

// Draws the area srcRect of src stretched over the area dstRect of dst with
// the given filter; srcRect is cut to src's bounds, the drawing is clipped to
// dst. The resampled pixels are combined in src's DrawMode, as DrawTo does.
// An area drawn at its own size is copied without filtering.
void StretchDraw(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src, const TRect& srcRect,
                 TStretchFilter filter);
// All of src over dstRect with src's own StretchFilter.
void StretchDraw(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src);

// The same arithmetic evaluated pixel by pixel without row buffers; slow.
// Kept to check the fast version.
void StretchDrawReference(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                          const TRect& srcRect, TStretchFilter filter);

}  // namespace brellin
