#include "base/Bitmap32.h"

#include <algorithm>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

#include "base/Blend.h"
#include "base/Errors.h"
#include "base/LargeAllocator.h"
#include "base/Parallel.h"

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

void TBitmap32::SetSizeForOverwrite(int width, int height) {
  const TUnclearedBlocks uncleared;
  SetSize(width, height);
}

void TBitmap32::SetSizeFilled(int width, int height, TColor32 color) {
  const size_t n = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
  // Up to four times the pixels needed (or a megabyte) are kept, so a
  // single huge resize does not hold its memory for good.
  if (width > 0 && height > 0 && width <= MaxBitmapSide && height <= MaxBitmapSide &&
      int64_t(n) <= MaxBitmapPixels && n <= FBits.capacity() &&
      FBits.capacity() <= std::max<size_t>(4 * n, size_t(1) << 18)) {
    FWidth = width;
    FHeight = height;
    FBits.resize(n);
    std::fill(FBits.begin(), FBits.end(), color);
    return;
  }
  SetSize(width, height);
  if (color != 0) Clear(color);
}

void TBitmap32::Assign(int width, int height, std::vector<TColor32>&& pixels) {
  if (width < 0 || height < 0 || pixels.size() != size_t(width) * size_t(height))
    throw EBrellinError("TBitmap32.Assign: pixel count does not match the size");
  if (width == 0 || height == 0) width = height = 0;
  FWidth = width;
  FHeight = height;
  FBits.assign(pixels.begin(), pixels.end());
}

void TBitmap32::Assign(int width, int height, TLargeVector<TColor32>&& pixels) {
  if (width < 0 || height < 0 || pixels.size() != size_t(width) * size_t(height))
    throw EBrellinError("TBitmap32.Assign: pixel count does not match the size");
  if (width == 0 || height == 0) width = height = 0;
  FWidth = width;
  FHeight = height;
  FBits = std::move(pixels);
  if (FBits.empty()) TLargeVector<TColor32>().swap(FBits);
}

void TBitmap32::Clear(TColor32 color) {
  // A big picture is filled by all threads: its first fill is mostly page
  // faults, and those are taken on every core at once.
  constexpr size_t kChunk = size_t(1) << 18;  // pixels
  TColor32* p = FBits.data();
  const size_t n = FBits.size();
  if (n < 4 * kChunk) {
    std::fill(p, p + n, color);
    return;
  }
  ParallelFor(
      0, int((n + kChunk - 1) / kChunk),
      [p, n, color](int c0, int c1) {
        std::fill(p + size_t(c0) * kChunk, p + std::min(n, size_t(c1) * kChunk), color);
      },
      1);
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

#if defined(__GNUC__) && defined(__x86_64__)
#define BRELLIN_BLEND_AVX2 1
// The SSE2 loop below on eight pixels at a time: every operation works
// within 128-bit halves, so each half computes exactly what SSE2 does.
__attribute__((target("avx2"))) static int BlendRowAvx2(const TColor32* S, TColor32* D, int N) {
  int i = 0;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
  for (; i + 8 <= N; i += 8) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(S + i));
    const __m256i a = _mm256_and_si256(f, opaque);
    if (_mm256_testz_si256(a, a)) continue;  // eight transparent pixels
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(D + i));
    __m256i w = _mm256_srli_epi32(f, 24);
    w = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    const __m256i wLo = _mm256_unpacklo_epi32(w, w), wHi = _mm256_unpackhi_epi32(w, w);
    const __m256i fLo = _mm256_unpacklo_epi8(f, zero), fHi = _mm256_unpackhi_epi8(f, zero);
    const __m256i bLo = _mm256_unpacklo_epi8(b, zero), bHi = _mm256_unpackhi_epi8(b, zero);
    const __m256i zLo =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(bLo, 8), half),
                                           _mm256_mullo_epi16(_mm256_sub_epi16(fLo, bLo), wLo)),
                          8);
    const __m256i zHi =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(bHi, 8), half),
                                           _mm256_mullo_epi16(_mm256_sub_epi16(fHi, bHi), wHi)),
                          8);
    const __m256i z = _mm256_packus_epi16(zLo, zHi);
    const __m256i full = _mm256_cmpeq_epi32(a, opaque);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(D + i), _mm256_blendv_epi8(z, f, full));
  }
  return i;
}
#endif

void BlendRowBySourceAlpha(const TColor32* S, TColor32* D, int N) {
  int i = 0;
#if defined(BRELLIN_BLEND_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) i = BlendRowAvx2(S, D, N);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi16(128);
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  for (; i + 4 <= N; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + i));
    const __m128i a = _mm_and_si128(f, opaque);
    // Four transparent pixels leave the destination as it is (common: a
    // stroke's box is mostly empty).
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, zero)) == 0xFFFF) continue;
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D + i));
    // Each pixel's alpha in the four 16-bit lanes of its channels.
    __m128i w = _mm_srli_epi32(f, 24);
    w = _mm_or_si128(w, _mm_slli_epi32(w, 16));
    const __m128i wLo = _mm_unpacklo_epi32(w, w), wHi = _mm_unpackhi_epi32(w, w);
    const __m128i fLo = _mm_unpacklo_epi8(f, zero), fHi = _mm_unpackhi_epi8(f, zero);
    const __m128i bLo = _mm_unpacklo_epi8(b, zero), bHi = _mm_unpackhi_epi8(b, zero);
    // 256 B + (F - B) w + 128 lies in 0..65408, so 16-bit lanes computing
    // modulo 2^16 hold it exactly; alpha 0 gives B back unchanged.
    const __m128i zLo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(bLo, 8), half),
                                                     _mm_mullo_epi16(_mm_sub_epi16(fLo, bLo), wLo)),
                                       8);
    const __m128i zHi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(bHi, 8), half),
                                                     _mm_mullo_epi16(_mm_sub_epi16(fHi, bHi), wHi)),
                                       8);
    const __m128i z = _mm_packus_epi16(zLo, zHi);
    // Alpha 255 replaces the pixel by F exactly.
    const __m128i full = _mm_cmpeq_epi32(a, opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D + i),
                     _mm_or_si128(_mm_and_si128(full, f), _mm_andnot_si128(full, z)));
  }
#endif
  for (; i < N; ++i) D[i] = BlendBySourceAlpha(S[i], D[i]);
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
      BlendRowBySourceAlpha(s, d, n);
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
