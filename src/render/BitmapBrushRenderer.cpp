#include "render/BitmapBrushRenderer.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Rounding.h"
#include "curves/Bezier.h"
#include "render/BumpMap.h"

namespace brellin {

namespace {

// 16.16 to pixels: (v + $7FFF) shr 16, halves rounding down.
TPoint ToPixel(const TFixedPoint& p) {
  return {int32_t((int64_t(p.X) + 0x7FFF) >> 16), int32_t((int64_t(p.Y) + 0x7FFF) >> 16)};
}

TPoint Mid(TPoint a, TPoint b) {
  return {int32_t((int64_t(a.X) + b.X) / 2), int32_t((int64_t(a.Y) + b.Y) / 2)};
}

// Sizes a brush picture may have: lanes and columns are stretched from it
// for every stroke, so absurd pictures are refused when the file is read.
constexpr int kMaxBrushSide = 4096;
constexpr int kMaxStrokeSide = 10000;

std::unique_ptr<TPersistentObject> NewBitmapBrush() {
  return std::make_unique<TBitmapBrushStrokeRenderer>();
}

}  // namespace

const TPersistentClass& TBitmapBrushStrokeRenderer::StaticClass() {
  static const TPersistentClass cls(TAbstractStrokeRenderer::StaticClass(),
                                    "TBitmapBrushStrokeRenderer", NewBitmapBrush);
  return cls;
}

void TBitmapBrushStrokeRenderer::LoadFromStream(TStream& Stream) {
  if (Stream.Remaining() < 8) throw EInvalidData("brush file is too short");
  const int32_t id = Stream.ReadValue<int32_t>();
  const int32_t ref = Stream.ReadValue<int32_t>();
  if (ref <= 0)
    throw EInvalidData("brush reference width " + std::to_string(ref) + " is not positive");
  TBitmap32 pic;
  LoadBMPFromStream(pic, Stream);
  if (pic.Width() > kMaxBrushSide || pic.Height() > kMaxBrushSide)
    throw EInvalidData("brush picture of " + std::to_string(pic.Width()) + " x " +
                       std::to_string(pic.Height()) + " pixels is too large");
  SetId(id);
  ReferenceWidth = ref;
  BrushBitmap = std::move(pic);
}

template <typename LaneFn>
void TBitmapBrushStrokeRenderer::ForEachLane(int T, const LaneFn& Lane) const {
  const uint8_t d0 = FDirections[0];
  TTurtle r1(CenterCurve[0]), r2(CenterCurve[0]);
  r1.SetDirection(uint8_t(d0 + 64));
  r2.SetDirection(uint8_t(d0 - 64));
  r2.Step();
  int q = (T + 4) / 2, r = q + 1;
  if (T == 1) {
    Lane(r1.GetPosition(), q, true);
    return;
  }
  if (T == 2) {
    Lane(r1.GetPosition(), q, true);
    Lane(r2.GetPosition(), r, true);
    return;
  }
  // Interior lanes spread outward from the centre line, alternating sides.
  for (int i = 0; i < T - 2; ++i) {
    if (i % 2 == 0) {
      Lane(r1.GetPosition(), q, false);
      r1.Step();
      --q;
    } else {
      Lane(r2.GetPosition(), r, false);
      r2.Step();
      ++r;
    }
  }
  Lane(r1.GetPosition(), q, true);
  Lane(r2.GetPosition(), r, true);
}

// Every lane's turtle starts with the first code, a fresh accumulator, and
// follows the same codes, so all lanes walk the same path, only shifted to
// their own start: the path is walked once per stroke and replayed.
void TBitmapBrushStrokeRenderer::BuildLanePath() {
  FLanePath.resize(size_t(DirectionCount));
  TTurtle t(TPoint{0, 0}, FDirections[0]);
  // The box in locals: kept in the member, every step would wait for the
  // last one's store.
  int32_t left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  TLaneStep* const path = FLanePath.data();
  const uint8_t* const dirs = FDirections.data();
  for (int i = 0; i < DirectionCount; ++i) {
    const int32_t minX = t.MinX(), minY = t.MinY(), maxX = t.MaxX(), maxY = t.MaxY();
    path[i] = {t.X1, t.Y1, t.X2, t.Y2, minX, minY, maxX, maxY, t.Weight1, t.Weight2};
    left = std::min(left, minX);
    top = std::min(top, minY);
    right = std::max(right, maxX);
    bottom = std::max(bottom, maxY);
    t.Direction = dirs[i];
    t.Step();
  }
  FPathBox = {left, top, right, bottom};
}

void TBitmapBrushStrokeRenderer::Sweep(TPoint P, int W, int H) {
  // A lane whose whole path lies inside the target never stops early: its
  // bounds are the path's box, shifted.
  if (P.X + FPathBox.Left >= 1 && P.Y + FPathBox.Top >= 1 && P.X + FPathBox.Right < W &&
      P.Y + FPathBox.Bottom < H) {
    BoundLeft = std::min(BoundLeft, P.X + FPathBox.Left);
    BoundTop = std::min(BoundTop, P.Y + FPathBox.Top);
    BoundRight = std::max(BoundRight, P.X + FPathBox.Right);
    BoundBottom = std::max(BoundBottom, P.Y + FPathBox.Bottom);
    return;
  }
  for (const TLaneStep& s : FLanePath) {
    const int minX = P.X + s.MinX, minY = P.Y + s.MinY, maxX = P.X + s.MaxX, maxY = P.Y + s.MaxY;
    if (minX < 1 || minY < 1 || maxX >= W || maxY >= H) return;
    BoundLeft = std::min(BoundLeft, minX);
    BoundTop = std::min(BoundTop, minY);
    BoundRight = std::max(BoundRight, maxX);
    BoundBottom = std::max(BoundBottom, maxY);
  }
}

void TBitmapBrushStrokeRenderer::PaintLane(TPoint P, int Row, bool Edge, TBitmap32& S) {
  const int ox = P.X - BoundLeft, oy = P.Y - BoundTop;
  // The brush picture stretched (nearest) to DirectionCount x (T + 4): row
  // Row of the stretched picture is a row of the brush, column c reads the
  // brush column FStretchColumns[c].
  const int rows = FStretchRows, h = BrushBitmap.Height();
  const int64_t sy =
      std::clamp<int64_t>(((2 * int64_t(Row) + 1) * h) / (2 * int64_t(rows)), 0, h - 1);
  const TColor32* brush = BrushBitmap.ScanLine(int(sy));
  const TColor32 colour = FColor & 0x00FFFFFFu;
  const uint32_t alpha = FAlpha;
  const int sw = S.Width(), sh = S.Height();
  TColor32* const bits = S.Bits() + (int64_t(oy) * sw + ox);
  const TLaneStep* const path = FLanePath.data();
  const TLaneOffsets* const offsets = FLaneOffsets.data();
  const int* const columns = FStretchColumns.data();
  const size_t n = FLanePath.size();
  // Paints step i with brush column c (a step's two pixels may be one:
  // the second is written first).
  const auto paint = [&](size_t i, size_t c) {
    const uint32_t b = brush[columns[c]] & 0xFF;
    if (Edge) {
      const TLaneStep& s = path[i];
      TColor32& p2 = bits[offsets[i].Second];
      p2 = (((std::max((b * s.W2) >> 8, p2 >> 24) * alpha) >> 8) << 24) | colour;
      TColor32& p1 = bits[offsets[i].First];
      p1 = (((std::max((b * s.W1) >> 8, p1 >> 24) * alpha) >> 8) << 24) | colour;
    } else {
      const TColor32 v = (((b * alpha) >> 8) << 24) | colour;
      bits[offsets[i].Second] = v;
      bits[offsets[i].First] = v;
    }
  };
  // Steps whose pixels are not both inside the stroke bitmap are skipped and
  // take no brush column. How far the lane reaches past the bitmap on each
  // side, measured against the path's box:
  const int loX = -ox, loY = -oy, hiX = sw - 1 - ox, hiY = sh - 1 - oy;
  const int64_t overL = int64_t(loX) - FPathBox.Left, overT = int64_t(loY) - FPathBox.Top;
  const int64_t overR = int64_t(FPathBox.Right) - hiX, overB = int64_t(FPathBox.Bottom) - hiY;
  if (overL <= 0 && overT <= 0 && overR <= 0 && overB <= 0) {
    for (size_t i = 0; i < n; ++i) paint(i, i);
    return;
  }
  if (overL <= 0 && overT <= 0 && overR <= 1 && overB <= 1) {
    // The usual case: the bitmap ends one short of the lanes' rightmost
    // column and lowest row, so a lane that reaches them loses just the
    // steps on the path's right or bottom extreme; the runs between are
    // painted without a test.
    const int32_t* const a = FStepsAtRight.data();
    const int32_t* const b = FStepsAtBottom.data();
    const size_t sizeA = overR == 1 ? FStepsAtRightCount : 0;
    const size_t sizeB = overB == 1 ? FStepsAtBottomCount : 0;
    size_t ia = 0, ib = 0, from = 0, skipped = 0;
    for (;;) {
      const size_t na = ia < sizeA ? size_t(a[ia]) : n, nb = ib < sizeB ? size_t(b[ib]) : n;
      const size_t next = std::min(na, nb);
      for (size_t i = from; i < next; ++i) paint(i, i - skipped);
      if (next >= n) return;
      ia += na == next;
      ib += nb == next;
      ++skipped;
      from = next + 1;
    }
  }
  size_t column = 0;
  for (size_t i = 0; i < n; ++i) {
    const TLaneStep& s = path[i];
    if (s.MinX >= loX && s.MinY >= loY && s.MaxX <= hiX && s.MaxY <= hiY) paint(i, column++);
  }
}

void TBitmapBrushStrokeRenderer::Render(const TArrayOfFixedPoint& LeftSide,
                                        const TArrayOfFixedPoint& RightSide, TBitmap32& Target) {
  StoreSides(LeftSide, RightSide);
  if (LeftSide.empty() || RightSide.empty() || BrushBitmap.Empty() || ReferenceWidth <= 0) return;
  const size_t hl = LeftSide.size() - 1, hr = RightSide.size() - 1;
  auto mid = [&](size_t li, size_t ri) {
    return Mid(ToPixel(LeftSide[li]), ToPixel(RightSide[ri]));
  };
  CenterCurve[0] = mid(0, 0);
  CenterCurve[1] = mid(hl / 3, hr / 3);
  CenterCurve[2] = mid((2 * hl) / 3, (2 * hr) / 3);
  CenterCurve[3] = mid(hl, hr);

  const TPoint l0 = ToPixel(LeftSide[0]), r0 = ToPixel(RightSide[0]);
  const float dx = float(l0.X) - float(r0.X), dy = float(l0.Y) - float(r0.Y);
  const float dist = std::sqrt(dx * dx + dy * dy);
  Thickness = Round(double(dist) * BrushBitmap.Height() / ReferenceWidth);

  // A stroke longer than any target could show is cut: nothing beyond the
  // largest stroke bitmap can be painted anyway. The point (-1, -1) marks
  // "no point before": no move starts there.
  FDirections.clear();
  TPoint q[32];
  SubdivisionPoints(CenterCurve[0], CenterCurve[1], CenterCurve[2], CenterCurve[3], q);
  const TPoint none{-1, -1};
  AppendChainHeadings(q, 32, FDirections, size_t(4) * kMaxStrokeSide, &none);
  LastPoint = q[31];
  DirectionCount = int(FDirections.size());

  struct TFinally {
    TBitmapBrushStrokeRenderer& R;
    TBitmap32& Target;
    ~TFinally() {
      R.FDirections.clear();
      Target.DrawMode = dmOpaque;
    }
  } finally{*this, Target};

  if (DirectionCount == 0) return;
  int t = Thickness;
  if (t < 1) {
    t = 1;
    FAlpha = 96;
  }
  // A stroke can be no thicker than the largest stroke bitmap.
  t = std::min(t, kMaxStrokeSide);

  // Nearest-neighbour stretch of the brush picture onto DirectionCount
  // columns and t + 4 rows, read in place by the lanes (no copy per stroke).
  FStretchRows = t + 4;
  FStretchColumns.resize(size_t(DirectionCount));
  // Column c reads brush column ((2c + 1) bw) / (2 DirectionCount), always
  // inside the brush: the quotient is kept up to date, not divided anew.
  const int64_t bw = BrushBitmap.Width(), den = 2 * int64_t(DirectionCount);
  const int64_t stepQuotient = (2 * bw) / den, stepRemainder = (2 * bw) % den;
  int64_t quotient = bw / den, remainder = bw % den;
  for (int c = 0; c < DirectionCount; ++c) {
    FStretchColumns[size_t(c)] = int(quotient);
    quotient += stepQuotient;
    remainder += stepRemainder;
    if (remainder >= den) {
      ++quotient;
      remainder -= den;
    }
  }

  const int w = Target.Width(), h = Target.Height();
  BoundLeft = BoundTop = INT_MAX;
  BoundRight = BoundBottom = INT_MIN;
  BuildLanePath();
  ForEachLane(t, [&](TPoint p, int, bool) { Sweep(p, w, h); });
  if (int64_t(BoundRight) - BoundLeft == 1) {
    if (BoundRight < w)
      ++BoundRight;
    else if (BoundLeft > 0)
      --BoundLeft;
  }
  if (int64_t(BoundBottom) - BoundTop == 1) {
    if (BoundBottom < h)
      ++BoundBottom;
    else if (BoundTop > 0)
      --BoundTop;
  }
  const int64_t sw = int64_t(BoundRight) - BoundLeft, sh = int64_t(BoundBottom) - BoundTop;
  if (sw < 2 || sw > kMaxStrokeSide || sh < 2 || sh > kMaxStrokeSide) return;

  // The stroke lands somewhere in a picture far larger than the caches: ask
  // for its rows of the target now, while the lanes are painted.
  for (int64_t y = 0; y < sh; ++y) {
    const char* row = reinterpret_cast<const char*>(Target.ScanLine(int(BoundTop + y)) + BoundLeft);
    for (int64_t b = 0; b < sw * 4; b += 64) __builtin_prefetch(row + b, 1, 3);
    __builtin_prefetch(row + sw * 4 - 1, 1, 3);
  }
  FStroke.SetSizeFilled(int(sw), int(sh), FColor & 0x00FFFFFFu);
  FLaneOffsets.resize(FLanePath.size());
  if (FStepsAtRight.size() < FLanePath.size()) {
    FStepsAtRight.resize(FLanePath.size());
    FStepsAtBottom.resize(FLanePath.size());
  }
  size_t atRight = 0, atBottom = 0;
  for (size_t i = 0; i < FLanePath.size(); ++i) {
    const TLaneStep& s = FLanePath[i];
    FLaneOffsets[i] = {int64_t(s.Y1) * sw + s.X1, int64_t(s.Y2) * sw + s.X2};
    // Written always, kept when the step is on the extreme.
    FStepsAtRight[atRight] = FStepsAtBottom[atBottom] = int32_t(i);
    atRight += s.MaxX == FPathBox.Right;
    atBottom += s.MaxY == FPathBox.Bottom;
  }
  FStepsAtRightCount = atRight;
  FStepsAtBottomCount = atBottom;
  ForEachLane(t, [&](TPoint p, int row, bool edge) { PaintLane(p, row, edge, FStroke); });

  Target.DrawMode = dmBlend;
  FStroke.DrawMode = dmBlend;
  if (4.0 * FLightIntensity * FBumpiness != 0) {
    FReliefCopy = FStroke;
    ApplyRelief(FStroke, FReliefCopy, FBumpiness, FSoftness, 4.0f, float(FLightIntensity));
  }
  FStroke.DrawTo(Target, BoundLeft, BoundTop);
  Target.Changed();
}

}  // namespace brellin
