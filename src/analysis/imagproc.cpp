#include "analysis/imagproc.h"

#include <algorithm>
#include <cmath>

#include "analysis/ImagprocDetail.h"
#include "analysis/ImagprocReference.h"
#include "base/Parallel.h"
#include "base/Rounding.h"

// Hot integer kernels get an AVX2 clone next to the baseline one; the
// integer results are the same on both paths.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define BRELLIN_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define BRELLIN_CLONES
#endif

namespace brellin {

void RGBToHSL(uint8_t r8, uint8_t g8, uint8_t b8, float& h, float& s, float& l) {
  const float r = float(r8) / 255.0f, g = float(g8) / 255.0f, b = float(b8) / 255.0f;
  const float mx = std::max(r, std::max(g, b));
  const float mn = std::min(r, std::min(g, b));
  l = (mx + mn) / 2.0f;
  if (mx == mn) {
    h = 0.0f;
    s = 0.0f;
    return;
  }
  const float d = mx - mn;
  if (l < 0.5f)
    s = d / (mx + mn);
  else
    s = d / ((2.0f - mx) - mn);
  float hh;
  if (r == mx)
    hh = (g - b) / d;
  else if (g == mx)
    hh = 2.0f + (b - r) / d;
  else
    hh = 4.0f + (r - g) / d;
  hh = hh / 6.0f;
  if (hh < 0.0f) hh = hh + 1.0f;
  h = hh;
}

uint8_t DirectionByte(float y, float x) {
  float a;
  if (x == 0.0f) {
    a = y > 0.0f ? 1.5708f : 4.7124f;
  } else {
    a = float(std::atan2(double(y), double(x)) / 2.0);
    if (a < 0.0f) a = float(double(a) + 6.2832);
  }
  const float t = float(double(a) / 6.2832);
  return uint8_t(Round(double(float(double(t) * 255.0))));
}

}  // namespace brellin

namespace brellin {

namespace {

constexpr int kMinRows = 8;

void ParallelCopy(const uint8_t* src, uint8_t* dst, size_t n) {
  constexpr size_t kChunk = size_t(1) << 20;
  const int chunks = int((n + kChunk - 1) / kChunk);
  ParallelFor(
      0, chunks,
      [&](int c0, int c1) {
        const size_t b = size_t(c0) * kChunk, e = std::min(n, size_t(c1) * kChunk);
        std::copy(src + b, src + e, dst + b);
      },
      1);
}

}  // namespace

// Round half to even for 0 <= v < 2^51 without a call: adding and removing
// 1.5 * 2^52 leaves the nearest integer (ties to even) in the default
// rounding mode. Vectorises, unlike lrint.
static inline int RoundSmall(double v) {
  constexpr double kMagic = 6755399441055744.0;
  return int((v + kMagic) - kMagic);
}

// RGBToHSL and the two plane bytes for a run of pixels, written without
// branches so that the compiler can vectorise it. Every operation is the
// same single-precision operation as in RGBToHSL (division by 2 and by 255
// included), so the bytes are identical to the scalar conversion.
BRELLIN_CLONES
static void SplitRow(const TColor32* __restrict px, uint8_t* __restrict light,
                     uint8_t* __restrict tint, int n) {
  for (int x = 0; x < n; ++x) {
    const TColor32 c = px[x];
    const float r = float(int((c >> 16) & 0xFF)) / 255.0f;
    const float g = float(int((c >> 8) & 0xFF)) / 255.0f;
    const float b = float(int(c & 0xFF)) / 255.0f;
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float l = (mx + mn) / 2.0f;
    const float d = mx - mn;
    const bool grey = mx == mn;
    const float dd = grey ? 1.0f : d;
    const float sumMxMn = grey ? 1.0f : mx + mn;
    // One division each: the operands are chosen first. (Adding 0 for red
    // can only turn -0 into +0, which ends as hue byte 0 all the same.)
    const float sat = d / (l < 0.5f ? sumMxMn : (2.0f - mx) - mn);
    const bool redMax = r == mx, greenMax = !redMax && g == mx;
    const float num = redMax ? g - b : (greenMax ? b - r : r - g);
    const float base = redMax ? 0.0f : (greenMax ? 2.0f : 4.0f);
    const float h6 = (base + num / dd) / 6.0f;
    const float h6p = h6 + 1.0f;
    const float hue = h6 < 0.0f ? h6p : h6;
    const float hf = grey ? 0.0f : hue;
    const float sf = grey ? 0.0f : sat;
    light[x] = uint8_t(RoundSmall(double(l) * 255.0));
    tint[x] = uint8_t(RoundSmall(double(hf) * 31.0) * 8 + RoundSmall(double(sf) * 7.0));
  }
}

void SplitToPlanes(const TBitmap32& source, TBytePlane& darkness, TBytePlane& tint) {
  const int w = source.Width(), h = source.Height();
  // Every element is written below; the planes are not cleared first.
  darkness.resize(size_t(w) * size_t(h));
  tint.resize(size_t(w) * size_t(h));
  ParallelFor(
      0, h,
      [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r)
          SplitRow(source.ScanLine(h - 1 - r), darkness.data() + size_t(r) * size_t(w),
                   tint.data() + size_t(r) * size_t(w), w);
      },
      kMinRows);
}

// Element-wise byte kernels. Bounds and pointers are plain values: a store
// through a byte pointer may alias anything, and bounds read through captured
// references would be reloaded on every element and block vectorisation.
BRELLIN_CLONES
static void InvertRange(uint8_t* __restrict d, size_t n) {
  for (size_t i = 0; i < n; ++i) d[i] = uint8_t(255 - d[i]);
}

BRELLIN_CLONES
static void BinarizeRange(uint8_t* __restrict d, size_t n) {
  for (size_t i = 0; i < n; ++i) d[i] = d[i] > 128 ? 255 : 0;
}

BRELLIN_CLONES
static void MergeRange(const uint8_t* __restrict st, uint8_t* __restrict e, size_t n) {
  for (size_t i = 0; i < n; ++i) e[i] = uint8_t((e[i] != 0 ? 128 : 0) | (st[i] >> 1));
}

BRELLIN_CLONES
static void PackRow(const uint8_t* __restrict dk, const uint8_t* __restrict tn,
                    const uint8_t* __restrict dr, const uint8_t* __restrict ed,
                    TColor32* __restrict d, int w) {
  for (int x = 0; x < w; ++x)
    d[x] = (TColor32(dr[x]) << 24) | (TColor32(dk[x]) << 16) | (TColor32(tn[x]) << 8) |
           TColor32(ed[x]);
}

// Calls kernel(offset, count) on row-aligned parts of a W x H plane in parallel.
template <typename Kernel>
static void ForRowsOfPlane(int w, int h, const Kernel& kernel) {
  ParallelFor(
      0, h, [&](int r0, int r1) { kernel(size_t(r0) * size_t(w), size_t(r1 - r0) * size_t(w)); },
      kMinRows);
}

void InvertPlane(TBytePlane& p, int w, int h) {
  uint8_t* d = p.data();
  ForRowsOfPlane(w, h, [d](size_t o, size_t n) { InvertRange(d + o, n); });
}

BRELLIN_CLONES
static void GradientRows(const uint8_t* src, int16_t* dst, int w, int r0, int r1, bool rowWise) {
  for (int r = r0; r < r1; ++r) {
    const uint8_t* dn = src + size_t(r - 1) * size_t(w);  // plane row r-1
    const uint8_t* md = src + size_t(r) * size_t(w);
    const uint8_t* up = src + size_t(r + 1) * size_t(w);
    int16_t* d = dst + size_t(r) * size_t(w);
    if (rowWise) {
      for (int x = 1; x <= w - 2; ++x)
        d[x] = int16_t((dn[x - 1] + 2 * dn[x] + dn[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]));
    } else {
      for (int x = 1; x <= w - 2; ++x)
        d[x] = int16_t((dn[x - 1] + 2 * md[x - 1] + up[x - 1]) -
                       (dn[x + 1] + 2 * md[x + 1] + up[x + 1]));
    }
  }
}

void RowGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h) {
  ParallelFor(
      1, h - 1, [&](int r0, int r1) { GradientRows(src.data(), dst.data(), w, r0, r1, true); },
      kMinRows);
}

void ColumnGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h) {
  ParallelFor(
      1, h - 1, [&](int r0, int r1) { GradientRows(src.data(), dst.data(), w, r0, r1, false); },
      kMinRows);
}

BRELLIN_CLONES
static void StrengthRange(const int16_t* a, const int16_t* b, uint8_t* d, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int s = std::abs(int(a[i])) + std::abs(int(b[i]));
    d[i] = uint8_t(s > 255 ? 255 : s);
  }
}

void GradientStrength(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dst, int w,
                      int h) {
  ParallelFor(
      0, h,
      [&](int r0, int r1) {
        const size_t o = size_t(r0) * size_t(w);
        StrengthRange(a.data() + o, b.data() + o, dst.data() + o, size_t(r1 - r0) * size_t(w));
      },
      kMinRows);
}

void CopyPlane(const TBytePlane& src, TBytePlane& dst, int w, int h) {
  std::copy(src.begin(), src.begin() + ptrdiff_t(w) * h, dst.begin());
}

// The 5x5 kernel is symmetric: with a = v(r-2) + v(r+2), b = v(r-1) + v(r+1)
// and c = v(r) per column, the sum is u(x-2) + u(x+2) + v(x-1) + v(x+1) + z(x)
// where u, v, z weight a, b, c by the kernel's columns. Everything fits in
// 16 bits (at most 159 * 255 = 40545).
BRELLIN_CLONES
static void BlurRows(const uint8_t* __restrict src, uint8_t* __restrict dst, int w, int r0, int r1,
                     uint16_t* __restrict u, uint16_t* __restrict v, uint16_t* __restrict z) {
  for (int r = r0; r < r1; ++r) {
    const uint8_t* __restrict s0 = src + size_t(r - 2) * size_t(w);
    const uint8_t* __restrict s1 = s0 + w;
    const uint8_t* __restrict s2 = s1 + w;
    const uint8_t* __restrict s3 = s2 + w;
    const uint8_t* __restrict s4 = s3 + w;
    for (int x = 0; x < w; ++x) {
      const uint16_t a = uint16_t(s0[x] + s4[x]);
      const uint16_t b = uint16_t(s1[x] + s3[x]);
      const uint16_t c = s2[x];
      u[x] = uint16_t(2 * a + 4 * b + 5 * c);
      v[x] = uint16_t(4 * a + 9 * b + 12 * c);
      z[x] = uint16_t(5 * a + 12 * b + 15 * c);
    }
    uint8_t* d = dst + size_t(r) * size_t(w);
    for (int x = 2; x <= w - 3; ++x) {
      const uint16_t s = uint16_t(u[x - 2] + u[x + 2] + v[x - 1] + v[x + 1] + z[x]);
      d[x] = uint8_t(s / 159);
    }
  }
}

void GaussianBlur5(const TBytePlane& src, TBytePlane& dst, int w, int h) {
  for (int r = 0; r <= 1; ++r)
    for (int x = 0; x <= 1; ++x) dst[size_t(r * w + x)] = src[size_t(r * w + x)];
  for (int r = h - 2; r <= h - 1; ++r)
    for (int x = w - 2; x <= w - 1; ++x) dst[size_t(r * w + x)] = src[size_t(r * w + x)];
  if (w < 5 || h < 5) return;
  ParallelFor(
      2, h - 2,
      [&](int r0, int r1) {
        std::vector<uint16_t> tmp(size_t(w) * 3);
        BlurRows(src.data(), dst.data(), w, r0, r1, tmp.data(), tmp.data() + w, tmp.data() + 2 * w);
      },
      kMinRows);
}

void RepeatBlur(const TBytePlane& src, TBytePlane& dst, int w, int h, int times) {
  TBytePlane v(src.begin(), src.begin() + ptrdiff_t(w) * h);
  for (int k = 1; k <= times; ++k) {
    if (k % 2 == 1)
      GaussianBlur5(v, dst, w, h);
    else
      GaussianBlur5(dst, v, w, h);
  }
  if (times % 2 == 0) std::copy(v.begin(), v.end(), dst.begin());
}

// One row of the 5x5 blur from five separate source rows, as in BlurRows.
BRELLIN_CLONES
static void BlurRow(const uint8_t* __restrict s0, const uint8_t* __restrict s1,
                    const uint8_t* __restrict s2, const uint8_t* __restrict s3,
                    const uint8_t* __restrict s4, uint8_t* __restrict d, int w,
                    uint16_t* __restrict u, uint16_t* __restrict v, uint16_t* __restrict z) {
  for (int x = 0; x < w; ++x) {
    const uint16_t a = uint16_t(s0[x] + s4[x]);
    const uint16_t b = uint16_t(s1[x] + s3[x]);
    const uint16_t c = s2[x];
    u[x] = uint16_t(2 * a + 4 * b + 5 * c);
    v[x] = uint16_t(4 * a + 9 * b + 12 * c);
    z[x] = uint16_t(5 * a + 12 * b + 15 * c);
  }
  for (int x = 2; x <= w - 3; ++x) {
    const uint16_t s = uint16_t(u[x - 2] + u[x + 2] + v[x - 1] + v[x + 1] + z[x]);
    d[x] = uint8_t(s / 159);
  }
}

// Repeated blurring of P keeps the two-pixel frame at P's values in every
// pass (the plain version ping-pongs between two copies of P and never writes
// the frame). Here all passes run over a band of rows at once: pass k runs
// two rows behind pass k - 1 and keeps only its last eight rows, so the plane
// is read and written once instead of once per pass, and the passes' rows
// stay in the cache. A band also computes the rows of the earlier passes that
// reach into it from its neighbours (2 per pass and side), so bands are
// independent and the result does not depend on how the rows are split.
static void SmoothBand(const uint8_t* p, uint8_t* out, int w, int h, int times, int r0, int r1,
                       uint8_t* ring, uint16_t* tmp) {
  constexpr int kRing = 8;
  const auto ringRow = [&](int k, int r) {
    return ring + (size_t(k - 1) * kRing + size_t(r & (kRing - 1))) * size_t(w);
  };
  // Level 0 is P; a level's frame rows are P's.
  const auto row = [&](int k, int r) -> const uint8_t* {
    if (k == 0 || r < 2 || r > h - 3) return p + size_t(r) * size_t(w);
    return ringRow(k, r);
  };
  // Level k produces the rows [lo, hi] of its pass; at step t its row t - 2k.
  const int firstStep = std::max(2, r0 - 2 * (times - 1)) + 2;
  const int lastStep = r1 - 1 + 2 * times;
  for (int t = firstStep; t <= lastStep; ++t) {
    for (int k = 1; k <= times; ++k) {
      const int q = t - 2 * k;
      const int lo = std::max(2, r0 - 2 * (times - k));
      const int hi = std::min(h - 3, r1 - 1 + 2 * (times - k));
      if (q < lo || q > hi) continue;
      uint8_t* d = k == times ? out + size_t(q) * size_t(w) : ringRow(k, q);
      BlurRow(row(k - 1, q - 2), row(k - 1, q - 1), row(k - 1, q), row(k - 1, q + 1),
              row(k - 1, q + 2), d, w, tmp, tmp + w, tmp + 2 * w);
      const uint8_t* src = p + size_t(q) * size_t(w);
      d[0] = src[0];
      d[1] = src[1];
      d[w - 2] = src[w - 2];
      d[w - 1] = src[w - 1];
    }
  }
}

void SmoothPlane(TBytePlane& p, int w, int h, int times) {
  if (times <= 0 || w < 5 || h < 5) return;  // the blur leaves such planes as they are
  const size_t n = size_t(w) * size_t(h);
  TBytePlane out(n);
  for (const int r : {0, 1, h - 2, h - 1})
    std::copy(p.begin() + ptrdiff_t(r) * w, p.begin() + ptrdiff_t(r + 1) * w,
              out.begin() + ptrdiff_t(r) * w);
  // Bands of at least 64 rows keep the rows computed twice (2 per pass and
  // side) a small share of the work.
  ParallelFor(
      2, h - 2,
      [&](int r0, int r1) {
        std::vector<uint8_t> ring(size_t(std::max(0, times - 1)) * 8 * size_t(w));
        std::vector<uint16_t> tmp(size_t(w) * 3);
        SmoothBand(p.data(), out.data(), w, h, times, r0, r1, ring.data(), tmp.data());
      },
      64);
  if (p.size() == n)
    p.swap(out);
  else
    ParallelCopy(out.data(), p.data(), n);
}

// DirectionByte for a run of (cos, sin) pairs through a cheap angle
// estimate in single precision, written branch-free for the vectoriser (eight
// lanes). Its error stays below 1e-4 of a byte step; the exact encoder rounds
// a chain of single-precision values. An element whose estimate lies within
// a safe margin (2e-3 of a step) of a rounding boundary, or near the wrap at
// angle 0, or on an axis, is flagged, and the exact encoder decides it
// afterwards, so the result is always identical to DirectionByte(-sin, cos).
BRELLIN_CLONES
static void EstimateDirections(const float* __restrict cs, const float* __restrict sn,
                               uint8_t* __restrict out, uint8_t* __restrict exact, int n) {
  for (int i = 0; i < n; ++i) {
    const float x = cs[i], y = -sn[i];
    const float ax = std::fabs(x), ay = std::fabs(y);
    const bool swap = ay > ax;
    const float num = swap ? ax : ay, den = swap ? ay : ax;
    const float z0 = num / (den == 0.0f ? 1.0f : den);  // 0..1
    // Reduce to |z| <= tan(pi/12): atan(z) = pi/6 + atan((z sqrt3 - 1) / (sqrt3 + z)).
    const bool reduce = z0 > 0.26794919f;
    const float zr = (z0 * 1.7320508f - 1.0f) / (1.7320508f + z0);
    const float z = reduce ? zr : z0;
    const float base = reduce ? 0.52359878f : 0.0f;
    const float z2 = z * z;
    // Taylor series to z^13: its own error is below 2e-10 for |z| <= 0.268.
    float p = 1.0f / 13.0f;
    p = p * z2 - 1.0f / 11.0f;
    p = p * z2 + 1.0f / 9.0f;
    p = p * z2 - 1.0f / 7.0f;
    p = p * z2 + 1.0f / 5.0f;
    p = p * z2 - 1.0f / 3.0f;
    p = p * z2 + 1.0f;
    const float a0 = base + z * p;
    const float a1 = swap ? 1.5707964f - a0 : a0;
    const float a2 = x < 0.0f ? 3.1415927f - a1 : a1;
    const float a3 = (y < 0.0f ? -a2 : a2) * 0.5f;
    const float a = a3 < 0.0f ? a3 + 6.2832f : a3;
    const float t = a * (255.0f / 6.2832f);
    const float rt = (t + 12582912.0f) - 12582912.0f;  // nearest, ties even
    const float dist = std::fabs(std::fabs(t - rt) - 0.5f);
    const bool risky = dist < 2e-3f || std::fabs(a3) < 1e-4f || x == 0.0f || y == 0.0f;
    out[i] = uint8_t(int(rt));
    exact[i] = risky ? 1 : 0;
  }
}

void EncodeDirections(const float* cs, const float* sn, uint8_t* out, uint8_t* scratch, int n) {
  EstimateDirections(cs, sn, out, scratch, n);
  for (int k = 0; k < n; ++k)
    if (scratch[k]) out[k] = DirectionByte(-sn[k], cs[k]);
}

// Bilinear upsampling of one plane row from two rows of block values, for
// the columns [x0, x1). Each weight is a product of two single-precision
// values and so exact in double: the sums equal detail::Bilinear term for term.
BRELLIN_CLONES
static void UpsampleRow(const int* __restrict bxOf, const double* __restrict axOf, double ay,
                        const float* __restrict c0, const float* __restrict c1,
                        const float* __restrict s0, const float* __restrict s1, int x0, int x1,
                        float* __restrict cs, float* __restrict sn) {
  int x = x0;
  while (x < x1) {
    const int bx = bxOf[x];
    int xe = x;
    while (xe < x1 && bxOf[xe] == bx) ++xe;
    const double c00 = c0[bx], c10 = c0[bx + 1], c01 = c1[bx], c11 = c1[bx + 1];
    const double s00 = s0[bx], s10 = s0[bx + 1], s01 = s1[bx], s11 = s1[bx + 1];
    for (int k = x; k < xe; ++k) {
      const double axk = axOf[k];
      const double w00 = (1.0 - axk) * (1.0 - ay), w10 = axk * (1.0 - ay);
      const double w01 = (1.0 - axk) * ay, w11 = axk * ay;
      cs[k] = float(w00 * c00 + w10 * c10 + w01 * c01 + w11 * c11);
      sn[k] = float(w00 * s00 + w10 * s10 + w01 * s01 + w11 * s11);
    }
    x = xe;
  }
}

// The angle of every block from its sums P = sum 2ab and Q = sum (a^2 - b^2)
// over the block's (blockSize + 1)^2 elements around its centre; blocks
// whose sums are both 0 keep angle 0.
static void BlockAngle(int32_t p, int32_t q, int cx, int cy, int blockSize, int bw, int bh,
                       TSinglePlane& angle) {
  if (p == 0 && q == 0) return;
  const int bi = (cy / blockSize) * bw + cx / blockSize;
  if (bi >= 0 && bi < bw * bh) angle[size_t(bi)] = float(std::atan2(double(p), double(q)));
}

static void DirectionsFromAngles(const TSinglePlane& angle, TBytePlane& dir, int w, int h,
                                 int blockSize);

void OrientationField(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dir, int w,
                      int h, int blockSize) {
  const int bw = w / blockSize, bh = h / blockSize, half = blockSize / 2;
  TSinglePlane angle(size_t(std::max(0, bw * bh)), 0.0f);
  std::vector<int> centresY;
  for (int cy = half; cy < h - half; cy += blockSize) centresY.push_back(cy);
  ParallelFor(
      0, int(centresY.size()),
      [&](int j0, int j1) {
        for (int j = j0; j < j1; ++j) {
          const int cy = centresY[size_t(j)];
          for (int cx = half; cx < w - half; cx += blockSize) {
            int32_t p = 0, q = 0;
            for (int r = cy - half; r <= cy + half; ++r) {
              const int16_t* ar = a.data() + size_t(r) * size_t(w);
              const int16_t* br = b.data() + size_t(r) * size_t(w);
              for (int x = cx - half; x <= cx + half; ++x) {
                const int32_t av = ar[x], bv = br[x];
                p += 2 * av * bv;
                q += av * av - bv * bv;
              }
            }
            BlockAngle(p, q, cx, cy, blockSize, bw, bh, angle);
          }
        }
      },
      1);
  DirectionsFromAngles(angle, dir, w, h, blockSize);
}

// Row r of both gradients (zero on the frame) and of their strength.
BRELLIN_CLONES
static void GradientRow(const uint8_t* src, int w, int h, int r, int16_t* __restrict a,
                        int16_t* __restrict b, uint8_t* __restrict strength) {
  std::fill(a, a + w, int16_t(0));
  std::fill(b, b + w, int16_t(0));
  if (r >= 1 && r <= h - 2) {
    const uint8_t* dn = src + size_t(r - 1) * size_t(w);
    const uint8_t* md = src + size_t(r) * size_t(w);
    const uint8_t* up = src + size_t(r + 1) * size_t(w);
    for (int x = 1; x <= w - 2; ++x) {
      a[x] = int16_t((dn[x - 1] + 2 * dn[x] + dn[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]));
      b[x] = int16_t((dn[x - 1] + 2 * md[x - 1] + up[x - 1]) -
                     (dn[x + 1] + 2 * md[x + 1] + up[x + 1]));
    }
  }
  if (strength) StrengthRange(a, b, strength, size_t(w));
}

// The two products the block sums add up, for a row.
BRELLIN_CLONES
static void ProductRow(const int16_t* __restrict a, const int16_t* __restrict b, int w,
                       int32_t* __restrict p, int32_t* __restrict q) {
  for (int x = 0; x < w; ++x) {
    const int32_t av = a[x], bv = b[x];
    p[x] = 2 * av * bv;
    q[x] = av * av - bv * bv;
  }
}

void GradientFeatures(const TBytePlane& darkness, TBytePlane& strength, TBytePlane& dir, int w,
                      int h, int blockSize) {
  const int bw = w / blockSize, bh = h / blockSize, half = blockSize / 2;
  TSinglePlane angle(size_t(std::max(0, bw * bh)), 0.0f);
  // Band j holds rows [j * blockSize, (j + 1) * blockSize) of the strength
  // and, when there is one, the row of blocks centred on j * blockSize +
  // half, whose sums reach one row into the next band (that row's
  // gradients are worked out twice). Integer sums: the same in any order.
  const int bands = (h + blockSize - 1) / blockSize;
  ParallelFor(
      0, bands,
      [&](int j0, int j1) {
        std::vector<int16_t> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
        std::vector<int32_t> p(static_cast<size_t>(w)), q(static_cast<size_t>(w));
        std::vector<int32_t> sumP, sumQ;
        for (int j = j0; j < j1; ++j) {
          const int cy = j * blockSize + half;
          const bool blocks = cy < h - half;
          sumP.assign(size_t(std::max(bw, 0)) + 1, 0);
          sumQ.assign(sumP.size(), 0);
          const int rEnd = std::min(h, (j + 1) * blockSize);
          const int rLast = blocks ? cy + half : rEnd - 1;
          for (int r = j * blockSize; r <= rLast; ++r) {
            uint8_t* srow = r < rEnd ? strength.data() + size_t(r) * size_t(w) : nullptr;
            GradientRow(darkness.data(), w, h, r, a.data(), b.data(), srow);
            if (!blocks) continue;
            ProductRow(a.data(), b.data(), w, p.data(), q.data());
            size_t i = 0;
            for (int cx = half; cx < w - half; cx += blockSize, ++i) {
              int32_t sp = 0, sq = 0;
              for (int x = cx - half; x <= cx + half; ++x) {
                sp += p[size_t(x)];
                sq += q[size_t(x)];
              }
              sumP[i] += sp;
              sumQ[i] += sq;
            }
          }
          if (!blocks) continue;
          size_t i = 0;
          for (int cx = half; cx < w - half; cx += blockSize, ++i)
            BlockAngle(sumP[i], sumQ[i], cx, cy, blockSize, bw, bh, angle);
        }
      },
      1);
  DirectionsFromAngles(angle, dir, w, h, blockSize);
}

static void DirectionsFromAngles(const TSinglePlane& angle, TBytePlane& dir, int w, int h,
                                 int blockSize) {
  const int bw = w / blockSize, bh = h / blockSize;
  TSinglePlane cosP(angle.size()), sinP(angle.size());
  for (size_t i = 0; i < angle.size(); ++i) {
    cosP[i] = float(std::cos(double(angle[i])));
    sinP[i] = float(std::sin(double(angle[i])));
  }
  // Upsampling and encoding in one sweep: no W x H float planes. The column
  // position of every x is the same on every row; work it out once.
  const uint8_t outside = DirectionByte(-0.0f, 0.0f);
  const float sx = float(bw) / float(w), sy = float(bh) / float(h);
  std::vector<int> bxOf(size_t(std::max(0, w - 1)));
  std::vector<double> axOf(bxOf.size());
  int firstX = w, lastX = 0;  // the columns whose block lies inside: [firstX, lastX)
  for (int x = 0; x <= w - 2; ++x) {
    const float fx = float(x) * sx;
    bxOf[size_t(x)] = Trunc(fx);
    axOf[size_t(x)] = double(FracF(fx));
    if (bxOf[size_t(x)] >= 1 && bxOf[size_t(x)] < bw - 1) {
      firstX = std::min(firstX, x);
      lastX = x + 1;
    }
  }
  ParallelFor(
      0, h,
      [&](int r0, int r1) {
        std::vector<float> cs(static_cast<size_t>(w)), sn(static_cast<size_t>(w));
        std::vector<uint8_t> exact(static_cast<size_t>(w));
        for (int r = r0; r < r1; ++r) {
          uint8_t* d = dir.data() + size_t(r) * size_t(w);
          const float fy = float(r) * sy;
          const int by = Trunc(fy);
          const double ay = double(FracF(fy));
          std::fill(d, d + w, outside);
          if (r > h - 2 || by >= bh - 1 || by < 1) continue;
          const float* c0 = cosP.data() + size_t(by) * size_t(bw);
          const float* s0 = sinP.data() + size_t(by) * size_t(bw);
          const int x0 = firstX, x1 = lastX;
          if (x0 >= x1) continue;
          UpsampleRow(bxOf.data(), axOf.data(), ay, c0, c0 + bw, s0, s0 + bw, x0, x1, cs.data(),
                      sn.data());
          EncodeDirections(cs.data() + x0, sn.data() + x0, d + x0, exact.data() + x0, x1 - x0);
        }
      },
      kMinRows);
}

BRELLIN_CLONES
static void EdgeRow(const uint8_t* dn, const uint8_t* md, const uint8_t* up, uint8_t* e, int w,
                    int16_t* mrow) {
  // First the strengths of the whole row (vectorisable), then the few
  // strong elements get their direction test.
  for (int x = 1; x <= w - 2; ++x) {
    const int gy = (dn[x - 1] + 2 * dn[x] + dn[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]);
    const int gx =
        (dn[x - 1] + 2 * md[x - 1] + up[x - 1]) - (dn[x + 1] + 2 * md[x + 1] + up[x + 1]);
    const int m = std::abs(gy) + std::abs(gx);
    mrow[x] = int16_t(m > 255 ? 255 : m);
  }
  for (int x = 1; x <= w - 2; ++x) {
    const int m = mrow[x];
    if (m < 128) {
      e[x] = 0;
      continue;
    }
    const int gy = (dn[x - 1] + 2 * dn[x] + dn[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]);
    const int gx =
        (dn[x - 1] + 2 * md[x - 1] + up[x - 1]) - (dn[x + 1] + 2 * md[x + 1] + up[x + 1]);
    int p1, p2;
    switch (detail::EdgeSector(gx, gy)) {
      case 0:
        p1 = md[x - 1];
        p2 = md[x + 1];
        break;
      case 45:
        p1 = up[x - 1];
        p2 = dn[x + 1];
        break;
      case 90:
        p1 = dn[x];
        p2 = up[x];
        break;
      default:
        p1 = dn[x - 1];
        p2 = up[x + 1];
        break;
    }
    e[x] = (m < p1 || m < p2) ? 0 : 255;
  }
}

// Row Q of the blurred plane the edge test reads: zero, the blur inside the
// two-pixel frame and the two corner blocks copied from SRC (see
// GaussianBlur5, writing into a fresh plane). Needs W >= 3.
static void BlurredEdgeRow(const uint8_t* src, uint8_t* t, int w, int h, int q, uint16_t* tmp) {
  std::fill(t, t + w, uint8_t(0));
  const uint8_t* s = src + size_t(q) * size_t(w);
  if (w >= 5 && h >= 5 && q >= 2 && q <= h - 3) {
    BlurRow(s - 2 * w, s - w, s, s + w, s + 2 * w, t, w, tmp, tmp + w, tmp + 2 * w);
  }
  if (q <= 1) t[0] = s[0], t[1] = s[1];
  if (q >= h - 2) t[w - 2] = s[w - 2], t[w - 1] = s[w - 1];
}

// The blurred plane is made row by row as the edge test needs it (each band
// keeping its last four rows, the two at its ends made twice) instead of
// being written out whole and read back.
void DetectEdges(const TBytePlane& src, TBytePlane& edge, int w, int h) {
  if (w < 3 || h < 3) return;  // no element has all its neighbours
  ParallelFor(
      1, h - 1,
      [&](int r0, int r1) {
        std::vector<uint8_t> ring(size_t(w) * 4);
        std::vector<uint16_t> tmp(size_t(w) * 3);
        std::vector<int16_t> mrow(static_cast<size_t>(w));
        const auto row = [&](int q) { return ring.data() + size_t(q & 3) * size_t(w); };
        BlurredEdgeRow(src.data(), row(r0 - 1), w, h, r0 - 1, tmp.data());
        BlurredEdgeRow(src.data(), row(r0), w, h, r0, tmp.data());
        for (int r = r0; r < r1; ++r) {
          BlurredEdgeRow(src.data(), row(r + 1), w, h, r + 1, tmp.data());
          EdgeRow(row(r - 1), row(r), row(r + 1), edge.data() + size_t(r) * size_t(w), w,
                  mrow.data());
        }
      },
      kMinRows);
}

void BinarizePlane(TBytePlane& p, int w, int h) {
  uint8_t* d = p.data();
  ForRowsOfPlane(w, h, [d](size_t o, size_t n) { BinarizeRange(d + o, n); });
}

namespace {

// Zhang-Suen decisions for every neighbourhood: bit k of the index is set
// when neighbour P(k+2) is set (P2 = up one plane row... as in the marking
// rule: P2 (x, r-1), P3 (x+1, r-1), P4 (x+1, r), P5 (x+1, r+1), P6 (x, r+1),
// P7 (x-1, r+1), P8 (x-1, r), P9 (x-1, r-1)).
struct TThinTables {
  bool Delete[2][256];
  TThinTables() {
    for (int pass = 0; pass < 2; ++pass)
      for (int m = 0; m < 256; ++m) {
        int p[8];
        for (int k = 0; k < 8; ++k) p[k] = (m >> k) & 1;
        int bn = 0, an = 0;
        for (int k = 0; k < 8; ++k) {
          bn += p[k];
          if (p[k] == 0 && p[(k + 1) % 8] == 1) ++an;
        }
        const int P2 = p[0], P4 = p[2], P6 = p[4], P8 = p[6];
        const bool c3 = pass == 0 ? (P2 * P4 * P6 == 0) : (P2 * P4 * P8 == 0);
        const bool c4 = pass == 0 ? (P4 * P6 * P8 == 0) : (P2 * P6 * P8 == 0);
        Delete[pass][m] = m != 255 && bn >= 2 && bn <= 6 && an == 1 && c3 && c4;
      }
  }
};

}  // namespace

// Only edge elements can be marked, and marks depend on the 3x3
// neighbourhood alone, so each sub-pass visits a list of the remaining edge
// elements instead of the whole plane. An element whose neighbourhood did not
// change since the same sub-pass last looked at it keeps its (negative)
// decision and is skipped.
void ThinEdges(TBytePlane& edge, int w, int h) {
  if (w < 4 || h < 4) return;
  const size_t n = size_t(w) * size_t(h);
  for (size_t i = 0; i < n; ++i)
    if (edge[i] != 0 && edge[i] != 255) {
      reference::ThinEdges(edge, w, h);  // only 0/255 planes take the fast path
      return;
    }
  static const TThinTables tables;
  // Candidates row by row; the order does not change the result since
  // deletions wait for all marks.
  TLargeVector<uint32_t> cand;
  for (int r = 2; r <= h - 2; ++r) {
    const uint8_t* row = edge.data() + size_t(r) * size_t(w);
    for (int x = 2; x <= w - 2; ++x)
      if (row[x] == 255) cand.push_back(uint32_t(size_t(r) * size_t(w) + size_t(x)));
  }
  // dirty[pass][i]: the neighbourhood of i changed since pass last looked.
  TLargeVector<uint8_t> dirty(n);  // fresh: zero
  for (uint32_t i : cand) dirty[i] = 3;
  const ptrdiff_t W = w;
  const ptrdiff_t off[8] = {-W, -W + 1, 1, W + 1, W, W - 1, -1, -W - 1};
  std::vector<uint32_t> del;
  TLargeVector<uint8_t> mark(cand.size());
  uint8_t* e = edge.data();
  bool deleted = true;
  while (deleted) {
    deleted = false;
    for (int pass = 0; pass < 2; ++pass) {
      const uint8_t bit = uint8_t(1 << pass);
      // Marking only reads the plane (and each candidate's own flag), so the
      // candidates are split over the threads; deletions follow in order.
      ParallelFor(
          0, int(cand.size()),
          [&](int c0, int c1) {
            for (int c = c0; c < c1; ++c) {
              const uint32_t i = cand[size_t(c)];
              mark[size_t(c)] = 0;
              if (!(dirty[i] & bit)) continue;
              dirty[i] = uint8_t(dirty[i] & ~bit);
              int m = 0;
              for (int k = 0; k < 8; ++k) m |= (e[ptrdiff_t(i) + off[k]] != 0) << k;
              mark[size_t(c)] = tables.Delete[pass][m] ? 1 : 0;
            }
          },
          4096);
      del.clear();
      for (size_t c = 0; c < cand.size(); ++c)
        if (mark[c]) del.push_back(cand[c]);
      if (del.empty()) continue;
      deleted = true;
      for (uint32_t i : del) {
        e[i] = 0;
        for (int k = 0; k < 8; ++k) dirty[size_t(ptrdiff_t(i) + off[k])] = 3;
      }
      size_t keep = 0;
      for (uint32_t i : cand)
        if (e[i] != 0) cand[keep++] = i;
      cand.resize(keep);
      mark.resize(keep);
    }
  }
}

void MergeEdgeAndStrength(const TBytePlane& strength, TBytePlane& edge, int w, int h) {
  const uint8_t* st = strength.data();
  uint8_t* e = edge.data();
  ForRowsOfPlane(w, h, [st, e](size_t o, size_t n) { MergeRange(st + o, e + o, n); });
}

void PackFeatureMap(const TBytePlane& darkness, const TBytePlane& tint, const TBytePlane& dir,
                    const TBytePlane& edge, TBitmap32& dest, int w, int h) {
  dest.SetSizeForOverwrite(w, h);  // every row is packed below
  ParallelFor(
      0, h,
      [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
          const size_t o = size_t(r) * size_t(w);
          PackRow(darkness.data() + o, tint.data() + o, dir.data() + o, edge.data() + o,
                  dest.ScanLine(h - 1 - r), w);
        }
      },
      kMinRows);
}

}  // namespace brellin
