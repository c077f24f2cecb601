#include "base/Resampler.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/Blend.h"
#include "base/Parallel.h"
#include "base/Rounding.h"

namespace brellin {

// The passes treat a pixel as four bytes; channel order does not matter, but
// the packing of the result does.
static_assert(std::endian::native == std::endian::little);

namespace {

// Fixed-point layout: the vertical pass sums bytes x weights (value x 4096)
// and keeps value x 256; the horizontal pass multiplies that by weights again
// (value x 2^20). With the kernels' small negative lobes every sum stays far
// inside 32 bits.
constexpr int VerticalShift = 4;
constexpr int HorizontalShift = 20;

double TriangleKernel(double x) {
  x = std::fabs(x);
  return x < 1.0 ? 1.0 - x : 0.0;
}

TRect IntersectRect(const TRect& a, const TRect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
}

// Weights for the destination indices dFrom..dTo-1 of an axis of dstLen.
TResampleAxis BuildAxisRange(int srcStart, int srcLen, int64_t dstLen, int64_t dFrom, int64_t dTo,
                             TStretchFilter filter) {
  TResampleAxis a;
  const size_t n = size_t(std::max<int64_t>(0, dTo - dFrom));
  a.First.resize(n);
  a.Count.resize(n);
  a.Offset.resize(n);
  a.Weights.reserve(n);
  if (n == 0 || srcLen <= 0) return a;

  const bool identity = int64_t(srcLen) == dstLen;
  const double scale = double(srcLen) / double(dstLen);
  const double filterScale = std::max(1.0, scale);
  const double support = (filter == sfMitchell ? 2.0 : 1.0) * filterScale;
  std::vector<double> tmp;

  for (size_t i = 0; i < n; ++i) {
    const int64_t d = dFrom + int64_t(i);
    a.Offset[i] = int32_t(a.Weights.size());
    if (identity || filter == sfNearest) {
      int64_t s = identity ? d : ((2 * d + 1) * srcLen) / (2 * dstLen);
      s = std::clamp<int64_t>(s, 0, srcLen - 1);
      a.First[i] = srcStart + int32_t(s);
      a.Count[i] = 1;
      a.Weights.push_back(ResampleWeightOne);
      continue;
    }
    // Sample centre of destination index d in source index space.
    const double c = (double(d) + 0.5) * scale - 0.5;
    const int64_t lo = int64_t(std::ceil(c - support)), hi = int64_t(std::floor(c + support));
    const int first = int(std::clamp<int64_t>(lo, 0, srcLen - 1));
    const int last = int(std::clamp<int64_t>(hi, 0, srcLen - 1));
    tmp.assign(size_t(last - first + 1), 0.0);
    double sum = 0;
    for (int64_t s = lo; s <= hi; ++s) {
      const double x = (double(s) - c) / filterScale;
      const double w = filter == sfMitchell ? MitchellKernel(x) : TriangleKernel(x);
      tmp[size_t(std::clamp<int64_t>(s, first, last) - first)] += w;
      sum += w;
    }
    if (!(sum > 1e-9)) {  // cannot happen with these kernels; fall back to the nearest sample
      tmp.assign(tmp.size(), 0.0);
      tmp[size_t(std::clamp<int64_t>(int64_t(std::floor(c + 0.5)), first, last) - first)] = 1.0;
      sum = 1.0;
    }
    // Integer weights summing exactly to one, so a flat area stays flat.
    std::vector<int32_t> iw(tmp.size());
    int32_t total = 0;
    size_t biggest = 0;
    for (size_t k = 0; k < tmp.size(); ++k) {
      iw[k] = Round(tmp[k] / sum * ResampleWeightOne);
      total += iw[k];
      if (std::abs(iw[k]) > std::abs(iw[biggest])) biggest = k;
    }
    iw[biggest] += ResampleWeightOne - total;
    size_t b = 0, e = iw.size();
    while (b < e && iw[b] == 0) ++b;
    while (e > b && iw[e - 1] == 0) --e;
    a.First[i] = srcStart + first + int32_t(b);
    a.Count[i] = int32_t(e - b);
    a.Weights.insert(a.Weights.end(), iw.begin() + std::ptrdiff_t(b),
                     iw.begin() + std::ptrdiff_t(e));
    a.MaxCount = std::max(a.MaxCount, a.Count[i]);
  }
  if (identity || filter == sfNearest) a.MaxCount = 1;
  return a;
}

inline uint32_t ClampByte(int32_t v) {
  v = (v + (1 << (HorizontalShift - 1))) >> HorizontalShift;
  return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Puts a row of resampled pixels into dst the way DrawTo would.
void CombineRow(const TColor32* s, TColor32* d, int n, TDrawMode mode, uint8_t masterAlpha) {
  if (mode == dmOpaque) {
    std::copy(s, s + n, d);
  } else if (masterAlpha == 255) {
    for (int i = 0; i < n; ++i) d[i] = BlendBySourceAlpha(s[i], d[i]);
  } else {
    for (int i = 0; i < n; ++i)
      d[i] = BlendWeighted(s[i], d[i], CoverageWeight(s[i] >> 24, masterAlpha));
  }
}

// The destination area after clipping, and the part of the source it reads.
struct TStretchJob {
  TRect Src;                     // srcRect cut to the source
  TRect Clip;                    // destination pixels written
  TResampleAxis X, Y;            // entries for Clip's columns and rows
  int32_t SrcX0 = 0, SrcX1 = 0;  // source columns read
};

bool PrepareJob(TStretchJob& job, const TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                const TRect& srcRect, TStretchFilter filter) {
  job.Src = IntersectRect(srcRect, src.BoundsRect());
  job.Clip = IntersectRect(dstRect, dst.BoundsRect());
  if (IsEmptyRect(job.Src) || IsEmptyRect(job.Clip)) return false;
  const int64_t dw = int64_t(dstRect.Right) - dstRect.Left;
  const int64_t dh = int64_t(dstRect.Bottom) - dstRect.Top;
  job.X = BuildAxisRange(job.Src.Left, job.Src.Width(), dw, job.Clip.Left - int64_t(dstRect.Left),
                         job.Clip.Right - int64_t(dstRect.Left), filter);
  job.Y = BuildAxisRange(job.Src.Top, job.Src.Height(), dh, job.Clip.Top - int64_t(dstRect.Top),
                         job.Clip.Bottom - int64_t(dstRect.Top), filter);
  job.SrcX0 = job.Src.Right;
  job.SrcX1 = job.Src.Left;
  for (size_t i = 0; i < job.X.First.size(); ++i) {
    job.SrcX0 = std::min(job.SrcX0, job.X.First[i]);
    job.SrcX1 = std::max(job.SrcX1, job.X.First[i] + job.X.Count[i]);
  }
  return true;
}

void StretchRows(TBitmap32& dst, const TBitmap32& src, const TStretchJob& job, int r0, int r1) {
  const int cols = job.Clip.Width();
  const int n = (job.SrcX1 - job.SrcX0) * 4;
  std::vector<int32_t> acc(static_cast<size_t>(n));
  std::vector<TColor32> out(static_cast<size_t>(cols));
  for (int r = r0; r < r1; ++r) {
    // Vertical pass over the source columns in use.
    const int32_t* wy = job.Y.Weights.data() + job.Y.Offset[size_t(r)];
    const int first = job.Y.First[size_t(r)], count = job.Y.Count[size_t(r)];
    int32_t* a = acc.data();
    for (int t = 0; t < count; ++t) {
      const uint8_t* s = reinterpret_cast<const uint8_t*>(src.ScanLine(first + t) + job.SrcX0);
      const int32_t w = wy[t];
      if (t == 0)
        for (int k = 0; k < n; ++k) a[k] = w * int32_t(s[k]);
      else
        for (int k = 0; k < n; ++k) a[k] += w * int32_t(s[k]);
    }
    for (int k = 0; k < n; ++k) a[k] = (a[k] + (1 << (VerticalShift - 1))) >> VerticalShift;
    // Horizontal pass.
    for (int c = 0; c < cols; ++c) {
      const int32_t* wx = job.X.Weights.data() + job.X.Offset[size_t(c)];
      const int32_t* p = a + (job.X.First[size_t(c)] - job.SrcX0) * 4;
      int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
      for (int t = 0, m = job.X.Count[size_t(c)]; t < m; ++t, p += 4) {
        s0 += wx[t] * p[0];
        s1 += wx[t] * p[1];
        s2 += wx[t] * p[2];
        s3 += wx[t] * p[3];
      }
      // Bytes 0..3 of a pixel in memory are blue, green, red, alpha.
      out[size_t(c)] =
          ClampByte(s0) | (ClampByte(s1) << 8) | (ClampByte(s2) << 16) | (ClampByte(s3) << 24);
    }
    CombineRow(out.data(), dst.ScanLine(job.Clip.Top + r) + job.Clip.Left, cols, src.DrawMode,
               src.MasterAlpha);
  }
}

}  // namespace

double MitchellKernel(double x) {
  constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
  x = std::fabs(x);
  if (x < 1.0)
    return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6;
  if (x < 2.0)
    return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x +
            (8 * B + 24 * C)) /
           6;
  return 0.0;
}

TResampleAxis BuildResampleAxis(int srcStart, int srcLen, int dstLen, TStretchFilter filter) {
  return BuildAxisRange(srcStart, srcLen, dstLen, 0, dstLen, filter);
}

void StretchDraw(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src, const TRect& srcRect,
                 TStretchFilter filter) {
  const TRect sr = IntersectRect(srcRect, src.BoundsRect());
  if (IsEmptyRect(sr)) return;
  if (int64_t(sr.Width()) == int64_t(dstRect.Right) - dstRect.Left &&
      int64_t(sr.Height()) == int64_t(dstRect.Bottom) - dstRect.Top) {
    // Same size: an exact copy.
    const TRect clip = IntersectRect(dstRect, dst.BoundsRect());
    if (IsEmptyRect(clip)) return;
    for (int y = clip.Top; y < clip.Bottom; ++y)
      CombineRow(src.ScanLine(sr.Top + y - dstRect.Top) + (sr.Left + clip.Left - dstRect.Left),
                 dst.ScanLine(y) + clip.Left, clip.Width(), src.DrawMode, src.MasterAlpha);
    return;
  }
  TStretchJob job;
  if (!PrepareJob(job, dst, dstRect, src, sr, filter)) return;
  // Rows are independent, so splitting them over threads gives the same pixels.
  // Small jobs stay on one thread.
  const int64_t perRow = int64_t(job.Clip.Width()) * std::max(1, job.Y.MaxCount);
  const int minChunk = int(
      std::clamp<int64_t>((int64_t(1) << 18) / std::max<int64_t>(1, perRow), 1, int64_t(1) << 20));
  ParallelFor(
      0, job.Clip.Height(), [&](int r0, int r1) { StretchRows(dst, src, job, r0, r1); }, minChunk);
}

void StretchDraw(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src) {
  StretchDraw(dst, dstRect, src, src.BoundsRect(), src.StretchFilter);
}

void StretchDrawReference(TBitmap32& dst, const TRect& dstRect, const TBitmap32& src,
                          const TRect& srcRect, TStretchFilter filter) {
  TStretchJob job;
  if (!PrepareJob(job, dst, dstRect, src, srcRect, filter)) return;
  for (int r = 0; r < job.Clip.Height(); ++r) {
    for (int c = 0; c < job.Clip.Width(); ++c) {
      TColor32 pixel = 0;
      for (int ch = 0; ch < 4; ++ch) {
        int32_t sum = 0;
        for (int i = 0; i < job.X.Count[size_t(c)]; ++i) {
          const int x = job.X.First[size_t(c)] + i;
          int32_t v = 0;
          for (int j = 0; j < job.Y.Count[size_t(r)]; ++j) {
            const TColor32 p = src.Pixel(x, job.Y.First[size_t(r)] + j);
            v += job.Y.Weights[size_t(job.Y.Offset[size_t(r)] + j)] *
                 int32_t((p >> (8 * ch)) & 0xFF);
          }
          v = (v + (1 << (VerticalShift - 1))) >> VerticalShift;
          sum += job.X.Weights[size_t(job.X.Offset[size_t(c)] + i)] * v;
        }
        pixel |= ClampByte(sum) << (8 * ch);
      }
      TColor32* d = dst.ScanLine(job.Clip.Top + r) + job.Clip.Left + c;
      CombineRow(&pixel, d, 1, src.DrawMode, src.MasterAlpha);
    }
  }
}

}  // namespace brellin
