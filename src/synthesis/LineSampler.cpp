#include "synthesis/LineSampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <numbers>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "curves/Bezier.h"

namespace brellin {

int DirectionCallbackLimit = 1;

namespace {

// Headings are read from the feature map every this many steps.
constexpr int HeadingInterval = 20;
// Automatic strokes at least this long are refitted as a cubic.
constexpr int MinCurveSteps = 30;
// Only the first few scan lines of a wide band are fetched ahead.
constexpr int MaxPrefetchLines = 4;

uintptr_t CacheLineOf(const void* p) {
  return reinterpret_cast<uintptr_t>(p) >> 6;
}

// Saturates instead of overflowing for points far outside 16.16's range.
TFixed ToFixed(float v) {
  const double f = double(v) * 65536.0;
  if (!(f > -2147483648.0)) return std::numeric_limits<TFixed>::min();
  if (f >= 2147483647.0) return std::numeric_limits<TFixed>::max();
  return TFixed(Round64(f));
}

int32_t RoundToInt(float v) {
  if (std::isnan(v)) return 0;
  return int32_t(std::clamp<double>(std::nearbyint(double(v)), -2147483648.0, 2147483647.0));
}

}  // namespace

TLineSampler::TLineSampler(const TBitmap32* Feature, const TBitmap32* Dest)
    : TLineSampler(Feature, Dest, TLineSamplerBuffers{}) {}

TLineSampler::TLineSampler(const TBitmap32* Feature, const TBitmap32* Dest,
                           TLineSamplerBuffers&& Reuse)
    : Dirs(std::move(Reuse.Dirs)),
      Pixels(std::move(Reuse.Pixels)),
      LeftOutline(std::move(Reuse.LeftOutline)),
      RightOutline(std::move(Reuse.RightOutline)) {
  Dirs.clear();
  Pixels.clear();
  LeftOutline.clear();
  RightOutline.clear();
  ColorSource = nullptr;
  StopOnBorders = true;
  Bounds = EmptyRect;
  Precision = 20;
  ThicknessFactor = float(16.0 / 765.0);
  Scale = 2.0f;
  SetBitmaps(Feature, Dest);
  Start = {0, 0};
  ScanWidth = 10.0f;
  SetStepCount(50);
  StraightLines = false;
  Start = {this->Feature->Width() / 2, this->Feature->Height() / 2};
  RandomSide = Random(1000) > 500;
}

TLineSamplerBuffers TLineSampler::ReleaseBuffers() {
  return {std::move(Dirs), std::move(Pixels), std::move(LeftOutline), std::move(RightOutline)};
}

void TLineSampler::SetBitmaps(const TBitmap32* Feature, const TBitmap32* Dest) {
  // Checked before storing, so that a refused pair leaves the sampler usable.
  if (Feature == nullptr) throw EBrellinError("Invalid Bitmap Feat");
  if (Dest == nullptr) throw EBrellinError("Invalid Bitmap Dst");
  if (Feature->Width() == 0 || Dest->Width() == 0)
    throw EBrellinError("Feat->Width != Dest->Width");
  if (Feature->Height() == 0 || Dest->Height() == 0)
    throw EBrellinError("Feat->Height != Dest->Height");
  this->Feature = Feature;
  this->Dest = Dest;
}

void TLineSampler::SetStepCount(int N) {
  StepCount = std::max(N, 5);
  Dirs.assign(size_t(StepCount), 0);
  Pixels.clear();
}

void TLineSampler::AddSteps(int K) {
  StepCount += K;
  Dirs.resize(size_t(std::max(StepCount, 0)), 0);
}

void TLineSampler::SetCurve(TPoint P0, TPoint P1, TPoint P2, TPoint P3) {
  Dirs.clear();
  Pixels.clear();
  LeftOutline.clear();
  RightOutline.clear();
  // A straight line goes from P0 to P3; a curve through the 32 points of
  // its subdivision. The steps are counted as an int.
  TPoint q[32];
  int count = 2;
  if (StraightLines) {
    q[0] = P0;
    q[1] = P3;
  } else {
    SubdivisionPoints(P0, P1, P2, P3, q);
    count = 32;
  }
  AppendChainHeadings(q, count, Dirs, size_t(INT32_MAX));
  StepCount = int32_t(Dirs.size());
}

void TLineSampler::ReadHeading(TTurtle& T, uint8_t& D) {
  int32_t px = T.X + Start.X, py = T.Y + Start.Y;
  if (EdgeMargin > 0 && Feature->Contains(px, py)) {
    const int32_t mx = std::min(EdgeMargin, (Feature->Width() - 1) / 2);
    const int32_t my = std::min(EdgeMargin, (Feature->Height() - 1) / 2);
    int32_t x0 = mx, x1 = Feature->Width() - 1 - mx, y0 = my, y1 = Feature->Height() - 1 - my;
    if (!IsEmptyRect(HeadingArea)) {
      x0 = std::max(x0, HeadingArea.Left), x1 = std::min(x1, HeadingArea.Right - 1);
      y0 = std::max(y0, HeadingArea.Top), y1 = std::min(y1, HeadingArea.Bottom - 1);
    }
    if (x0 <= x1) px = std::clamp(px, x0, x1);
    if (y0 <= y1) py = std::clamp(py, y0, y1);
  }
  if (Feature->Contains(px, py)) {
    const TColor32 f = Feature->Pixel(px, py);
    if (DirectionCallbackLimit > 2 * int(f & 0x7F))
      DirectionCallback(px, py, D);
    else
      D = uint8_t(f >> 24);
  }
  if (RandomSide) D = uint8_t(D - 128);
  // A reading within 4 units of the exact reverse of the current heading is
  // turned back into the current sense.
  if (std::abs(std::abs(int(T.Direction) - int(D)) - 128) <= 4) D = uint8_t(D - 128);
  T.Direction = D;
}

bool TLineSampler::IsEdgeStub(float MinLength) const {
  const int32_t w = Feature->Width(), h = Feature->Height();
  bool touches = false;
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  for (const TPathPixel& r : Pixels) {
    const int32_t x = r.X + Start.X, y = r.Y + Start.Y;
    if (x <= 0 || y <= 0 || x >= w - 1 || y >= h - 1) touches = true;
    if (!Feature->Contains(x, y)) continue;
    x0 = std::min(x0, x), y0 = std::min(y0, y);
    x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
  // The sides reach beyond the path by the stroke's half width.
  const int64_t dw = int64_t(Dest->Width()) << 16, dh = int64_t(Dest->Height()) << 16;
  for (const TArrayOfFixedPoint* side : {&LeftOutline, &RightOutline})
    for (const TFixedPoint& v : *side)
      if (v.X <= 0 || v.Y <= 0 || v.X >= dw || v.Y >= dh) touches = true;
  if (!touches) return false;
  const float inside = x1 < x0 ? 0.0f : float(std::max(x1 - x0, y1 - y0) + 1) * Scale;
  return inside < MinLength;
}

void TLineSampler::PrefetchHeading(const TTurtle& T) const {
  // Where a walk at T's heading stands HeadingInterval steps on, from a
  // fresh accumulator; the walk's own phase puts it at most a pixel across.
  struct TReach {
    int8_t DX[256], DY[256];
  };
  static const TReach reach = [] {
    TReach r{};
    for (int d = 0; d < 256; ++d) {
      TTurtle w({0, 0}, uint8_t(d));
      for (int k = 0; k < HeadingInterval; ++k) w.Step();
      r.DX[d] = int8_t(w.X);
      r.DY[d] = int8_t(w.Y);
    }
    return r;
  }();
  const int64_t x = int64_t(Start.X) + T.X + reach.DX[T.Direction];
  const int64_t y = int64_t(Start.Y) + T.Y + reach.DY[T.Direction];
  const int64_t w = Feature->Width(), h = Feature->Height();
  if (x < 0 || x >= w) return;
  for (int64_t row = std::max<int64_t>(y - 1, 0); row <= std::min(y + 1, h - 1); ++row)
    __builtin_prefetch(Feature->Bits() + (row * w + x));
}

bool TLineSampler::FitCurve() {
  if (StepCount < MinCurveSteps) return false;
  const int n = StepCount;
  TTurtle t({0, 0}, 0);
  uint8_t d = 0;
  TFloatPoint q0, q1, q2, q3;
  for (int i = 0; i < n; ++i) {
    if (i == 0) q0 = t.GetPositionF();
    if (i == n / 3) q1 = t.GetPositionF();
    if (i == 2 * n / 3) q2 = t.GetPositionF();
    if (i == n - 1) q3 = t.GetPositionF();
    if (i % HeadingInterval == 0) {
      ReadHeading(t, d);
      if (i + HeadingInterval < n) PrefetchHeading(t);
    }
    t.Step();
  }
  const auto round = [](TFloatPoint q) { return TPoint{RoundToInt(q.X), RoundToInt(q.Y)}; };
  SetCurve(round(q0), round(q1), round(q2), round(q3));
  return true;
}

void TLineSampler::AddPathPixel(int32_t X, int32_t Y, float FX, float FY) {
  const size_t n = Pixels.size();
  for (size_t k = n > 4 ? n - 4 : 0; k < n; ++k)
    if (Pixels[k].X == X && Pixels[k].Y == Y) return;
  Pixels.push_back({X, Y, FX, FY});
}

void TLineSampler::Trace() {
  // At most two pixels a step: room is made once (not filled, as resizing
  // would), so that no pixel added below moves the others.
  Pixels.clear();
  Pixels.reserve(size_t(std::max(StepCount, 0)) * 2);
  // A pixel equal to one of the last four recorded is not recorded again.
  // Those four are kept at hand as keys; before there are four, the keys of
  // a pixel no path reaches (it lies at most StepCount from its start).
  const auto keyOf = [](int32_t x, int32_t y) { return uint64_t(uint32_t(x)) << 32 | uint32_t(y); };
  const uint64_t none = keyOf(INT32_MIN, INT32_MIN);
  uint64_t k0 = none, k1 = none, k2 = none, k3 = none;  // k0 the last
  const auto add = [&](int32_t x, int32_t y, float fx, float fy) {
    const uint64_t key = keyOf(x, y);
    if ((key == k0) | (key == k1) | (key == k2) | (key == k3)) return;
    k3 = k2, k2 = k1, k1 = k0, k0 = key;
    Pixels.push_back({x, y, fx, fy});
  };
  TTurtle t({0, 0}, 0);
  uint8_t d = 0;
  const bool steered = bool(DirectionCallback);
  // PathBox() of what is recorded, kept on the way.
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  // A walk of fewer than 2^16 steps stays so near its start that the
  // position's weighted sums lie below 2^24: no range check is needed.
  const bool near = StepCount < (1 << 16);
  for (int i = 0; i < StepCount; ++i) {
    const TFloatPoint f = near ? t.GetPositionNearF() : t.GetPositionF();
    add(t.X2, t.Y2, f.X, f.Y);
    add(t.X1, t.Y1, f.X, f.Y);
    left = std::min(left, t.MinX());
    top = std::min(top, t.MinY());
    right = std::max(right, t.MaxX());
    bottom = std::max(bottom, t.MaxY());
    if (steered) {
      if (i % HeadingInterval == 0) ReadHeading(t, d);
    } else {
      t.Direction = Dirs[size_t(i)];
    }
    t.Step();
  }
  FTracedBox = {left, top, right, bottom};
}

void TLineSampler::IncludeInBounds(int32_t X, int32_t Y) {
  if (X < Bounds.Left) Bounds.Left = X;
  if (X > Bounds.Right) Bounds.Right = X;
  if (Y < Bounds.Top) Bounds.Top = Y;
  if (Y > Bounds.Bottom) Bounds.Bottom = Y;
}

void TLineSampler::SampleLine(int32_t DX, int32_t DY) {
  const int64_t w = Feature->Width(), h = Feature->Height();
  const TColor32* map = Feature->Bits();
  const TColor32* source = ColorSource != nullptr ? ColorSource->Bits() : nullptr;
  const int64_t sw = source != nullptr ? ColorSource->Width() : 0;
  const int64_t sh = source != nullptr ? ColorSource->Height() : 0;
  const bool stopOnBorders = StopOnBorders;
  const uint8_t threshold = Threshold;
  // The walk keeps sums, count and bounds in locals; the line ends at the
  // first pixel off the map (or the colour source), on a border or too weak.
  int64_t sumR = SumR, sumG = SumG, sumB = SumB;
  int32_t count = SampleCount;
  int32_t left = Bounds.Left, top = Bounds.Top, right = Bounds.Right, bottom = Bounds.Bottom;
  // Neighbouring pixels mostly share darkness and tint: rebuild a colour once.
  uint32_t lastKey = 0xFFFFFFFFu;
  uint8_t r = 0, g = 0, b = 0;
  for (const TPathPixel& rec : Pixels) {
    const int64_t x = int64_t(rec.X) + DX, y = int64_t(rec.Y) + DY;
    if (x < 0 || y < 0 || x >= w || y >= h) break;
    left = std::min(left, int32_t(x));
    right = std::max(right, int32_t(x));
    top = std::min(top, int32_t(y));
    bottom = std::max(bottom, int32_t(y));
    const TColor32 px = map[y * w + x];
    if ((stopOnBorders && (px & 0x80) != 0) || uint8_t(px & 0x7F) < threshold) break;
    if (source != nullptr) {
      // A colour source smaller than the map ends the line like the map's edge.
      if (x >= sw || y >= sh) break;
      const TColor32 c = source[y * sw + x];
      r = RedComponent(c);
      g = GreenComponent(c);
      b = BlueComponent(c);
    } else if (const uint32_t key = (px >> 8) & 0xFFFF; key != lastKey) {
      lastKey = key;
      const uint32_t tint = key & 0xFF;
      const float hue = float(double(tint >> 3) / 31.0);
      const float sat = float(double(tint & 7) / 7.0);
      const float light = float(1.0 - double(key >> 8) / 255.0);
      HSLToRGB(r, g, b, hue, sat, light);
    }
    sumR += r;
    sumG += g;
    sumB += b;
    ++count;
  }
  SumR = sumR, SumG = sumG, SumB = sumB;
  SampleCount = count;
  Bounds = {left, top, right, bottom};
}

template <typename LineFn>
void TLineSampler::ForEachScanLine(const LineFn& Line) const {
  // A curve path of no steps has no first heading.
  const uint8_t d0 = Dirs.empty() ? 0 : Dirs[0];
  TTurtle a(Start, uint8_t(d0 + 64)), b(Start, uint8_t(d0 - 64));
  // The path itself, then one step to B's side, one to A's, two to B's, ...
  int64_t n = Round64(std::clamp(double(ScanWidth) * 255.0, -1.0, 2147483647.0));
  while (n > 0) {
    if (!Line(a.X, a.Y)) return;
    n -= 255;
    a.Step();
    if (n <= 0) break;
    b.Step();
    if (!Line(b.X, b.Y)) return;
    n -= 255;
  }
}

void TLineSampler::SampleColor() {
  if (Precision >= StepCount) Precision = StepCount - 1;
  SampleBand(PathBox());
}

TRect TLineSampler::PathBox() const {
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  for (const TPathPixel& rec : Pixels) {
    left = std::min(left, rec.X);
    right = std::max(right, rec.X);
    top = std::min(top, rec.Y);
    bottom = std::max(bottom, rec.Y);
  }
  return {left, top, right, bottom};
}

bool TLineSampler::SampleLineInside(const TRect& Box, int32_t DX, int32_t DY) {
  // Only a line that lies wholly inside the map and the colour source, and
  // that nothing of the map can end, is walked without a check per pixel;
  // it then visits every pixel, so its bounds are the path's box.
  // The sums below hold any line of up to 2^24 pixels.
  if (!SourceAloneEndsLines() || Pixels.empty() || Pixels.size() > (size_t(1) << 24)) return false;
  const TColor32* source = ColorSource->Bits();
  const int64_t sw = ColorSource->Width();
  const int64_t w = std::min<int64_t>(Feature->Width(), sw);
  const int64_t h = std::min<int64_t>(Feature->Height(), ColorSource->Height());
  const int64_t x0 = int64_t(Box.Left) + DX, x1 = int64_t(Box.Right) + DX;
  const int64_t y0 = int64_t(Box.Top) + DY, y1 = int64_t(Box.Bottom) + DY;
  if (x0 < 0 || y0 < 0 || x1 >= w || y1 >= h) return false;
  const int64_t origin = int64_t(DY) * sw + DX;
  uint32_t sumR = 0, sumG = 0, sumB = 0;
  for (const TPathPixel& rec : Pixels) {
    const TColor32 c = source[origin + int64_t(rec.Y) * sw + rec.X];
    sumR += RedComponent(c);
    sumG += GreenComponent(c);
    sumB += BlueComponent(c);
  }
  SumR += sumR;
  SumG += sumG;
  SumB += sumB;
  SampleCount += int32_t(Pixels.size());
  Bounds = {std::min(Bounds.Left, int32_t(x0)), std::min(Bounds.Top, int32_t(y0)),
            std::max(Bounds.Right, int32_t(x1)), std::max(Bounds.Bottom, int32_t(y1))};
  return true;
}

void TLineSampler::SampleBand(const TRect& Box) {
  SampleCount = 0;
  SumR = SumG = SumB = 0;
  ForEachScanLine([this, &Box](int32_t DX, int32_t DY) {
    if (!SampleLineInside(Box, DX, DY)) SampleLine(DX, DY);
    return true;
  });
}

void TLineSampler::PrefetchBand(const TRect& Box) const {
  const int64_t w = Feature->Width(), h = Feature->Height();
  const TColor32* map = Feature->Bits();
  const TColor32* source = ColorSource != nullptr ? ColorSource->Bits() : nullptr;
  const int64_t sw = source != nullptr ? ColorSource->Width() : 0;
  const int64_t sh = source != nullptr ? ColorSource->Height() : 0;
  int lines = 0;
  ForEachScanLine([&](int32_t DX, int32_t DY) {
    // Neighbouring pixels share a cache line: each line is asked for once
    // in a row.
    const TColor32 *lastMap = nullptr, *lastSource = nullptr;
    const int64_t x0 = int64_t(Box.Left) + DX, x1 = int64_t(Box.Right) + DX;
    const int64_t y0 = int64_t(Box.Top) + DY, y1 = int64_t(Box.Bottom) + DY;
    if (SourceAloneEndsLines() && x0 >= 0 && y0 >= 0 && x1 < std::min(w, sw) &&
        y1 < std::min(h, sh)) {
      // A line SampleLineInside walks: only its colours are read, none
      // needs a check.
      const int64_t origin = int64_t(DY) * sw + DX;
      for (const TPathPixel& rec : Pixels) {
        const TColor32* c = source + (origin + int64_t(rec.Y) * sw + rec.X);
        if (CacheLineOf(c) != CacheLineOf(lastSource)) __builtin_prefetch(c);
        lastSource = c;
      }
      return ++lines < MaxPrefetchLines;
    }
    for (const TPathPixel& rec : Pixels) {
      const int64_t x = int64_t(rec.X) + DX, y = int64_t(rec.Y) + DY;
      if (x < 0 || y < 0 || x >= w || y >= h) break;
      const TColor32* m = map + (y * w + x);
      if (CacheLineOf(m) != CacheLineOf(lastMap)) __builtin_prefetch(m);
      lastMap = m;
      if (x < sw && y < sh) {
        const TColor32* c = source + (y * sw + x);
        if (CacheLineOf(c) != CacheLineOf(lastSource)) __builtin_prefetch(c);
        lastSource = c;
      }
    }
    return ++lines < MaxPrefetchLines;
  });
}

float TLineSampler::OutlineRadius() const {
  // Strokes in a row mostly share their thickness: the last radius is kept.
  thread_local float lastFactor = -1.0f, lastRadius = 0.0f;
  if (ThicknessFactor == lastFactor) return lastRadius;
  const float t = float(255.0 * double(ThicknessFactor));  // the thickness / 3
  lastRadius = float(std::max(double(t), std::pow(2.0 * double(t), 1.3) / 3.0));
  lastFactor = ThicknessFactor;
  return lastRadius;
}

void TLineSampler::OutlineSegment(int A, int B) {
  OutlineSegment(A, B, OutlineRadius());
}

void TLineSampler::OutlineSegment(int A, int B, float r) {
  if (A == B) return;
  constexpr double halfPi = std::numbers::pi / 2.0;
  const TPathPixel &ra = Pixels[size_t(A)], &rb = Pixels[size_t(B)];
  const float xa = float(double(Start.X) + double(ra.FX));
  const float ya = float(double(Start.Y) + double(ra.FY));
  const float xb = float(double(Start.X) + double(rb.FX));
  const float yb = float(double(Start.Y) + double(rb.FY));
  const float phi = float(std::atan2(double(yb) - double(ya), double(xb) - double(xa)));
  const auto emit = [&](double angle, TArrayOfFixedPoint& outline) {
    const float vx = float(double(xa) + double(r) * std::cos(angle));
    const float vy = float(double(ya) + double(r) * std::sin(angle));
    const float sx = float(double(vx) * double(Scale));
    const float sy = float(double(vy) * double(Scale));
    const int32_t ix = RoundToInt(sx), iy = RoundToInt(sy);
    if (Feature->Contains(ix, iy)) IncludeInBounds(ix, iy);
    outline.push_back({ToFixed(sx), ToFixed(sy)});
  };
  emit(double(phi) + halfPi, LeftOutline);
  emit(double(phi) - halfPi, RightOutline);
}

void TLineSampler::BuildOutline() {
  if (Precision < 2) Precision = 2;
  const int h = int(Pixels.size()) - 1;
  const int k = h / Precision;
  LeftOutline.clear();
  RightOutline.clear();
  LeftOutline.reserve(size_t(std::max(k, 0)) + 1);
  RightOutline.reserve(size_t(std::max(k, 0)) + 1);
  const float r = OutlineRadius();
  for (int j = 1; j <= k; ++j) OutlineSegment((j - 1) * Precision, j * Precision - 1, r);
  if (h - k * Precision > 0) OutlineSegment(k * Precision, h, r);
}

bool TLineSampler::Run() {
  if (StepCount <= 0) return false;
  if (DirectionCallback && FitCurve()) DirectionCallback = nullptr;
  Trace();
  if (Precision >= StepCount) Precision = StepCount - 1;
  // The band under the path lies somewhere in pictures far larger than the
  // caches: it is asked for first and the outline (which needs only the
  // path) is built while it arrives. The outline's part of the bounds counts
  // only for a stroke that is drawn.
  const TRect box = FTracedBox;
  PrefetchBand(box);
  const TArrayOfFixedPoint leftBefore = LeftOutline, rightBefore = RightOutline;
  const TRect before = Bounds;
  BuildOutline();
  const TRect outlined = Bounds;
  Bounds = before;
  try {
    SampleBand(box);
  } catch (const std::exception&) {
    SampleCount = 0;
  }
  if (SampleCount <= 0) {
    LeftOutline = leftBefore;
    RightOutline = rightBefore;
    return false;
  }
  Bounds = {std::min(Bounds.Left, outlined.Left), std::min(Bounds.Top, outlined.Top),
            std::max(Bounds.Right, outlined.Right), std::max(Bounds.Bottom, outlined.Bottom)};
  AverageColor = Color32(uint8_t(SumR / SampleCount), uint8_t(SumG / SampleCount),
                         uint8_t(SumB / SampleCount), 255);
  return !LeftOutline.empty() && !RightOutline.empty();
}

void TLineSampler::GetBounds(TRect& R) const {
  // Bounds only ever holds points of the map or the empty rectangle's
  // extremes, so growing cannot overflow; an empty one stays left > right.
  R.Left = std::max(Bounds.Left - 5, 0);
  R.Top = std::max(Bounds.Top - 5, 0);
  R.Right = std::min(Bounds.Right + 5, Feature->Width());
  R.Bottom = std::min(Bounds.Bottom + 5, Feature->Height());
}

}  // namespace brellin
