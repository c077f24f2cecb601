#include "render/PolygonFiller.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/Blend.h"

namespace brellin {

namespace {

constexpr int SubShift = 8;                                     // 1/256 pixel
constexpr int64_t SubStep = FillSubPixel / FillSubScanlines;    // 32: one sub-scanline
constexpr int64_t SubCentre = SubStep / 2;                      // sample at its centre
constexpr int32_t FullCover = FillSubPixel * FillSubScanlines;  // 2048

// 16.16 to 1/256 pixel, halves rounded up.
inline int64_t ToSub(TFixed v) {
  return (int64_t(v) + 128) >> SubShift;
}

// Coverage byte of a sum of covered sub-scanline lengths (0..FullCover).
constexpr std::array<uint8_t, FullCover + 1> MakeCoverageTable() {
  std::array<uint8_t, FullCover + 1> t{};
  for (int32_t i = 0; i <= FullCover; ++i)
    t[size_t(i)] = uint8_t((i * 255 + FullCover / 2) / FullCover);
  return t;
}
constexpr std::array<uint8_t, FullCover + 1> CoverageOf = MakeCoverageTable();

inline int64_t CeilDiv(int64_t a, int64_t b) {  // b > 0
  return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// The blend rule, two channels per 32-bit lane pair. B(256 - w) + F w + 128
// stays below 65536 for w in 1..255, so no lane carries into the next and
// the result equals BlendWeighted bit for bit.
inline TColor32 BlendParts(TColor32 b, uint32_t fRB, uint32_t fAG, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((b & 0x00FF00FFu) * iw + fRB * w + 0x00800080u) >> 8) & 0x00FF00FFu;
  const uint32_t ag = (((b >> 8) & 0x00FF00FFu) * iw + fAG * w + 0x00800080u) & 0xFF00FF00u;
  return rb | ag;
}

}  // namespace

template <class TRowSink>
void TPolygonFiller::Rasterize(std::span<const TFixedPoint> Points, int Width, int Height,
                               TRowSink&& Sink) {
  if (Points.size() < 3 || Width <= 0 || Height <= 0) return;

  // Edges, top to bottom; horizontal ones never cross a sub-scanline.
  FEdges.clear();
  int64_t yMin = std::numeric_limits<int64_t>::max(), yMax = std::numeric_limits<int64_t>::min();
  const size_t n = Points.size();
  int64_t ax = ToSub(Points[n - 1].X), ay = ToSub(Points[n - 1].Y);
  for (size_t i = 0; i < n; ++i) {
    const int64_t bx = ToSub(Points[i].X), by = ToSub(Points[i].Y);
    if (ay != by) {
      if (ay < by)
        FEdges.push_back({ay, by, ax, bx});
      else
        FEdges.push_back({by, ay, bx, ax});
      yMin = std::min(yMin, std::min(ay, by));
      yMax = std::max(yMax, std::max(ay, by));
    }
    ax = bx;
    ay = by;
  }
  if (FEdges.size() < 2) return;

  // Sub-scanline s samples y = 32 s + 16; only those inside the target.
  const int64_t sFirst = std::max<int64_t>(0, CeilDiv(yMin - SubCentre, SubStep));
  const int64_t sEnd =
      std::min<int64_t>(int64_t(Height) * FillSubScanlines, CeilDiv(yMax - SubCentre, SubStep));
  if (sFirst >= sEnd) return;

  if (FEdges.size() > 1)
    std::sort(FEdges.begin(), FEdges.end(),
              [](const TEdge& a, const TEdge& b) { return a.Y0 < b.Y0; });
  if (FActive.size() < FEdges.size()) FActive.resize(FEdges.size());
  if (FCrossings.size() < FEdges.size()) FCrossings.resize(FEdges.size());
  // Cells stay zero between rows: every sink clears what it swept.
  if (FCover.size() < size_t(Width) + 2) {
    FCover.assign(size_t(Width) + 2, 0);
    FArea.assign(size_t(Width) + 2, 0);
  }

  TEdge* const edges = FEdges.data();
  const size_t edgeCount = FEdges.size();
  TActiveEdge* const active = FActive.data();
  int32_t* const crossings = FCrossings.data();
  int32_t* const cover = FCover.data();
  int32_t* const area = FArea.data();
  const int64_t xLimit = int64_t(Width) * FillSubPixel;

  size_t next = 0, activeCount = 0;
  int64_t nextExpiry = std::numeric_limits<int64_t>::max();  // smallest Y1 of the active edges
  const auto crossingAt = [xLimit](int64_t x) {
    return int32_t(std::clamp<int64_t>((x + (int64_t(1) << 31)) >> 32, 0, xLimit));
  };
  for (int64_t row = sFirst / FillSubScanlines; row * FillSubScanlines < sEnd; ++row) {
    TRowSpan span{std::numeric_limits<int32_t>::max(), -1, 0, std::numeric_limits<int32_t>::max()};
    const int64_t sRowStart = std::max(sFirst, row * FillSubScanlines);
    const int64_t sRowEnd = std::min(sEnd, (row + 1) * FillSubScanlines);
    // The fully covered run needs one span on each of the row's eight sub-scanlines.
    bool simple = sRowEnd - sRowStart == FillSubScanlines;
    for (int64_t s = sRowStart; s < sRowEnd; ++s) {
      const int64_t ys = s * SubStep + SubCentre;
      while (next < edgeCount && edges[next].Y0 <= ys) {
        // x from here on by exact integer steps: one division per edge, and
        // 32 fraction bits keep the drift far below 1/256 pixel. Every term
        // stays within int64: |XB - XA| < 2^24, so |DX| < 2^61.
        const TEdge& e = edges[next++];
        const int64_t dx = e.XB - e.XA, dy = e.Y1 - e.Y0;
        active[activeCount++] = {(e.XA << 32) + int64_t((__int128(ys - e.Y0) * dx << 32) / dy),
                                 int64_t((__int128(dx) << 37) / dy), e.Y1};
        nextExpiry = std::min(nextExpiry, e.Y1);
      }
      if (ys >= nextExpiry) {
        size_t live = 0;
        nextExpiry = std::numeric_limits<int64_t>::max();
        for (size_t i = 0; i < activeCount; ++i)
          if (active[i].Y1 > ys) {
            active[live++] = active[i];
            nextExpiry = std::min(nextExpiry, active[i].Y1);
          }
        activeCount = live;
      }

      // Crossings, clipped to 0..Width: clamping keeps their order, so the
      // spans become the visible parts of the true spans. The common case of
      // two stays in registers.
      const size_t count = activeCount;
      int32_t first = 0, second = 0;
      if (count == 2) {
        first = crossingAt(active[0].X);
        second = crossingAt(active[1].X);
        active[0].X += active[0].DX;
        active[1].X += active[1].DX;
        if (first > second) std::swap(first, second);
      } else {
        simple = false;
        for (size_t i = 0; i < count; ++i) {
          crossings[i] = crossingAt(active[i].X);
          active[i].X += active[i].DX;
        }
        if (count <= 16) {
          for (size_t i = 1; i < count; ++i) {
            const int32_t v = crossings[i];
            size_t j = i;
            for (; j > 0 && crossings[j - 1] > v; --j) crossings[j] = crossings[j - 1];
            crossings[j] = v;
          }
        } else {
          std::sort(crossings, crossings + count);
        }
      }

      // Even-odd: inside between crossings 0-1, 2-3, ...
      for (size_t i = 0; i + 1 < count; i += 2) {
        const int32_t xa = count == 2 ? first : crossings[i];
        const int32_t xb = count == 2 ? second : crossings[i + 1];
        if (xa == xb) {
          simple = false;
          continue;
        }
        const int32_t ia = xa >> SubShift, ib = xb >> SubShift;
        if (ia == ib) {
          area[ia] += xb - xa;
        } else {
          area[ia] += FillSubPixel - (xa & (FillSubPixel - 1));
          cover[ia + 1] += FillSubPixel;
          cover[ib] -= FillSubPixel;
          area[ib] += xb & (FillSubPixel - 1);
        }
        span.MinCell = std::min(span.MinCell, ia);
        span.MaxCell = std::max(span.MaxCell, ib);
        span.RunLo = std::max(span.RunLo, ia + 1);
        span.RunHi = std::min(span.RunHi, ib);
      }
    }
    if (span.MaxCell < 0) continue;
    if (!simple || span.RunLo >= span.RunHi) span.RunLo = span.RunHi = span.MaxCell + 1;
    Sink(int(row), span, cover, area);
  }
}

namespace {

// Sweeps cells From..To-1 of a row (clearing them), handing each pixel below
// Width with its coverage sum to Pixel(x, t). Acc carries the cover.
template <class TPixel>
inline void SweepCells(int32_t From, int32_t To, int32_t Width, int32_t& Acc, int32_t* Cover,
                       int32_t* Area, TPixel&& Pixel) {
  const int32_t end = std::min(To, Width);
  for (int32_t x = From; x < end; ++x) {
    Acc += Cover[x];
    const int32_t t = Acc + Area[x];
    Cover[x] = 0;
    Area[x] = 0;
    Pixel(x, t);
  }
  for (int32_t x = std::max(From, end); x < To; ++x) Cover[x] = Area[x] = 0;
}

// Blends one colour with one weight over Count pixels.
void BlendRun(TColor32* Line, int32_t Count, uint32_t FRB, uint32_t FAG, uint32_t W) {
  int32_t i = 0;
#ifdef __SSE2__
  const uint32_t iw = 256 - W;
  const __m128i zero = _mm_setzero_si128();
  const __m128i inv = _mm_set1_epi16(int16_t(iw));
  // F w + 128 per channel, in memory order blue, green, red, alpha.
  const int16_t fb = int16_t((FRB & 0xFF) * W + 128), fg = int16_t((FAG & 0xFF) * W + 128);
  const int16_t fr = int16_t((FRB >> 16) * W + 128), fa = int16_t((FAG >> 16) * W + 128);
  const __m128i fterm = _mm_set_epi16(fa, fr, fg, fb, fa, fr, fg, fb);
  for (; i + 4 <= Count; i += 4) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Line + i));
    // Unsigned 16-bit sums below 65536 (see BlendParts): the wrap of the
    // signed view does not matter to a logical shift.
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), inv), fterm);
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), inv), fterm);
    lo = _mm_srli_epi16(lo, 8);
    hi = _mm_srli_epi16(hi, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Line + i), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; i < Count; ++i) Line[i] = BlendParts(Line[i], FRB, FAG, W);
}

}  // namespace

void TPolygonFiller::Fill(TBitmap32& Target, std::span<const TFixedPoint> Points, TColor32 Color) {
  const int32_t width = Target.Width();
  const uint32_t alphaPlusOne = (Color >> 24) + 1;
  const uint32_t fRB = Color & 0x00FF00FFu;
  const uint32_t green = (Color >> 8) & 0xFFu;
  const uint32_t wFull = CoverageWeight(255, Color >> 24);
  const uint32_t fAGFull = (255u << 16) | green;
  Rasterize(Points, width, Target.Height(),
            [&](int y, const TRowSpan& span, int32_t* cover, int32_t* area) {
              TColor32* const line = Target.ScanLine(y);
              const auto pixel = [&](int32_t x, int32_t t) {
                if (t == 0) return;
                const uint32_t k = CoverageOf[size_t(t)];
                const uint32_t w = (k * alphaPlusOne) >> 8;
                if (w != 0) line[x] = BlendParts(line[x], fRB, (k << 16) | green, w);
              };
              int32_t acc = 0;
              SweepCells(span.MinCell, span.RunLo, width, acc, cover, area, pixel);
              if (span.RunLo < span.RunHi) {
                cover[span.RunLo] = 0;
                if (wFull != 0)
                  BlendRun(line + span.RunLo, span.RunHi - span.RunLo, fRB, fAGFull, wFull);
                acc = FullCover;
              }
              SweepCells(std::max(span.RunHi, span.MinCell), span.MaxCell + 1, width, acc, cover,
                         area, pixel);
            });
}

void TPolygonFiller::Coverage(std::span<const TFixedPoint> Points, int Width, int Height,
                              std::vector<uint8_t>& Out) {
  Out.assign(size_t(std::max(Width, 0)) * size_t(std::max(Height, 0)), 0);
  // Every cell is swept here, the fully covered run included, so this is
  // also the check of the run detection of Fill.
  Rasterize(Points, Width, Height, [&](int y, const TRowSpan& span, int32_t* cover, int32_t* area) {
    uint8_t* const line = Out.data() + size_t(y) * size_t(Width);
    int32_t acc = 0;
    SweepCells(span.MinCell, span.MaxCell + 1, Width, acc, cover, area,
               [&](int32_t x, int32_t t) { line[x] = CoverageOf[size_t(t)]; });
  });
}

// ---- Reference

void ReferencePolygonCoverage(std::span<const TFixedPoint> Points, int Width, int Height,
                              std::vector<uint8_t>& Out) {
  Out.assign(size_t(std::max(Width, 0)) * size_t(std::max(Height, 0)), 0);
  if (Points.size() < 3 || Width <= 0 || Height <= 0) return;
  struct TLine {
    double X0, Y0, X1, Y1;  // Y0 < Y1, 1/256 pixel
  };
  std::vector<TLine> lines;
  const size_t n = Points.size();
  for (size_t i = 0; i < n; ++i) {
    const TFixedPoint a = Points[i], b = Points[(i + 1) % n];
    const double ax = double(ToSub(a.X)), ay = double(ToSub(a.Y));
    const double bx = double(ToSub(b.X)), by = double(ToSub(b.Y));
    if (ay < by) lines.push_back({ax, ay, bx, by});
    if (by < ay) lines.push_back({bx, by, ax, ay});
  }
  std::vector<double> xs;
  for (int py = 0; py < Height; ++py)
    for (int px = 0; px < Width; ++px) {
      const double left = double(px) * FillSubPixel, right = left + FillSubPixel;
      double covered = 0;
      for (int j = 0; j < FillSubScanlines; ++j) {
        const double ys = double((int64_t(py) * FillSubScanlines + j) * SubStep + SubCentre);
        xs.clear();
        for (const TLine& l : lines)
          if (l.Y0 <= ys && ys < l.Y1)
            xs.push_back(l.X0 + (ys - l.Y0) * (l.X1 - l.X0) / (l.Y1 - l.Y0));
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
          const double lo = std::max(xs[i], left), hi = std::min(xs[i + 1], right);
          if (hi > lo) covered += hi - lo;
        }
      }
      Out[size_t(py) * size_t(Width) + size_t(px)] =
          uint8_t(std::floor(covered * 255.0 / FullCover + 0.5));
    }
}

void ReferenceFillPolygon(TBitmap32& Target, std::span<const TFixedPoint> Points, TColor32 Color) {
  std::vector<uint8_t> coverage;
  ReferencePolygonCoverage(Points, Target.Width(), Target.Height(), coverage);
  for (int y = 0; y < Target.Height(); ++y)
    for (int x = 0; x < Target.Width(); ++x)
      Target.BlendCoverageS(x, y, Color, coverage[size_t(y) * size_t(Target.Width()) + size_t(x)]);
}

}  // namespace brellin
