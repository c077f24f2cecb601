#include "curves/Bezier.h"

#include <cstdlib>

#include "base/Errors.h"
#include "base/Rounding.h"

namespace brellin {

namespace {

// Computed in 64 bits: B - A may not fit 32, the midpoint always does.
inline int32_t Mid(int32_t a, int32_t b) {
  return int32_t(a + (int64_t(b) - a) / 2);
}

inline int32_t Sign(int64_t v) {
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

}  // namespace

TPoint BezierMidPoint(TPoint A, TPoint B) {
  return {Mid(A.X, B.X), Mid(A.Y, B.Y)};
}

namespace {

// Narrow: every coordinate lies within +-2^30, so B - A fits 32 bits and
// the midpoint is computed there, to the same value.
template <bool Narrow>
void SplitInPlace(TPoint (&Pieces)[32]) {
  const auto mid = [](TPoint a, TPoint b) {
    if constexpr (Narrow)
      return TPoint{a.X + (b.X - a.X) / 2, a.Y + (b.Y - a.Y) / 2};
    else
      return BezierMidPoint(a, b);
  };
  // Level by level in place: a piece of level k spans 32 >> k entries, its
  // points at the first, a third and two thirds of the span and the last;
  // splitting it writes its two halves' points over the span.
  for (int span = 32; span > 4; span /= 2) {
    for (int at = 32 - span; at >= 0; at -= span) {
      // Read from the span's first four entries, where the level before left them.
      const TPoint p0 = Pieces[at], p1 = Pieces[at + 1], p2 = Pieces[at + 2], p3 = Pieces[at + 3];
      const TPoint m01 = mid(p0, p1), m12 = mid(p1, p2), m23 = mid(p2, p3);
      const TPoint m012 = mid(m01, m12), m123 = mid(m12, m23);
      const TPoint m0123 = mid(m012, m123);
      const int half = at + span / 2;
      Pieces[half] = m0123;
      Pieces[half + 1] = m123;
      Pieces[half + 2] = m23;
      Pieces[half + 3] = p3;
      Pieces[at + 1] = m01;
      Pieces[at + 2] = m012;
      Pieces[at + 3] = m0123;
    }
  }
}

}  // namespace

void SubdivisionPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TPoint (&Pieces)[32]) {
  Pieces[0] = P0;
  Pieces[1] = P1;
  Pieces[2] = P2;
  Pieces[3] = P3;
  // Midpoints stay within the control points' range.
  constexpr uint32_t reach = uint32_t(1) << 30;
  bool narrow = true;
  for (const TPoint p : {P0, P1, P2, P3})
    narrow = narrow && uint32_t(p.X) + reach < 2 * reach && uint32_t(p.Y) + reach < 2 * reach;
  if (narrow)
    SplitInPlace<true>(Pieces);
  else
    SplitInPlace<false>(Pieces);
}

void SubdivideBezier(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TBezierLeafProc Leaf,
                     void* Target) {
  TPoint q[32];
  SubdivisionPoints(P0, P1, P2, P3, q);
  for (int i = 0; i < 32; i += 4) Leaf(Target, q[i], q[i + 1], q[i + 2], q[i + 3]);
}

void TBezierHelper::AddLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  const int32_t sx = Sign(dx), sy = Sign(dy);
  dx = std::llabs(dx);
  dy = std::llabs(dy);
  const int64_t m = dx > dy ? dx : dy;
  Points.reserve(Points.size() + size_t(m) + 2);
  int64_t ex = 0, ey = 0;
  int32_t x = X1, y = Y1;
  // The strict tests keep the first step in place: the start point is
  // repeated and the last point is exactly (X2, Y2).
  for (int64_t i = 0; i < m + 2; ++i) {
    AddPoint(x, y);
    ex += dx;
    ey += dy;
    if (ex > m) {
      ex -= m;
      x += sx;
    }
    if (ey > m) {
      ey -= m;
      y += sy;
    }
  }
}

void TBezierHelper::Flatten(const TBezierSegment& Segment) {
  Points.clear();
  SubdivideBezier(
      Segment.P0, Segment.P1, Segment.P2, Segment.P3,
      [](void* target, TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
        auto* self = static_cast<TBezierHelper*>(target);
        self->AddLine(q0.X, q0.Y, q1.X, q1.Y);
        self->AddLine(q1.X, q1.Y, q2.X, q2.Y);
        self->AddLine(q2.X, q2.Y, q3.X, q3.Y);
      },
      this);
}

void TBezierHelper::Split(const TBezierSegment& Segment, int PieceLength) {
  if (PieceLength < 1) throw EBrellinError("TBezierHelper.Split: piece length below 1");
  Flatten(Segment);
  const size_t n = Points.size();  // at least 48 after Flatten
  const size_t a = size_t(PieceLength);
  const size_t q = (n - 1) / a, r = (n - 1) % a;
  Segments.clear();
  Segments.reserve(q + 1);
  for (size_t i = 0; i < q; ++i) {
    // Round half to even on the exact product: (i + 0.25) * A is exact in double.
    Segments.push_back({Points[a * i], Points[size_t(Round64((double(i) + 0.25) * double(a)))],
                        Points[size_t(Round64((double(i) + 0.75) * double(a)))],
                        Points[a * (i + 1)]});
  }
  if (r != 0) {
    const size_t base = a * q;
    Segments.push_back({Points[base], Points[size_t(Round64(0.25 * double(r))) + base],
                        Points[size_t(Round64(0.75 * double(r))) + base], Points[n - 1]});
  }
}

TBezierSegment TBezierHelper::GetSegment(int Index) const {
  if (Index < 0 || Index >= SegmentCount()) RaiseIndexError("TBezierHelper.GetSegment", Index);
  return Segments[size_t(Index)];
}

}  // namespace brellin
