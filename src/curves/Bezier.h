// Cubic Bezier curves with integer control points: fixed-depth midpoint
// subdivision, flattening into a chain of pixels, and splitting into pieces
// of a fixed number of flattened pixels.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "base/Types.h"

namespace brellin {

// Called once per piece of a subdivision, with the Target handed to
// SubdivideBezier and the piece's four points in curve order.
using TBezierLeafProc = void (*)(void* Target, TPoint Q0, TPoint Q1, TPoint Q2, TPoint Q3);

// Per coordinate A + (B - A) div 2: rounds toward A, not toward the smaller value.
TPoint BezierMidPoint(TPoint A, TPoint B);

// The 8 pieces of splitting the cubic three times at integer midpoints, in
// order from P0 to P3, each piece as its four points.
void SubdivisionPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TPoint (&Pieces)[32]);

// Splits the cubic three times into 8 pieces of integer points and calls Leaf
// for each, in order from P0 to P3. Leaf must not start another subdivision.
void SubdivideBezier(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TBezierLeafProc Leaf,
                     void* Target);

// The same with any callable taking (Q0, Q1, Q2, Q3); nothing is allocated.
template <class TLeaf>
void SubdivideBezier(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TLeaf&& Leaf) {
  using TCallable = std::remove_reference_t<TLeaf>;
  SubdivideBezier(
      P0, P1, P2, P3,
      [](void* target, TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
        (*static_cast<TCallable*>(target))(q0, q1, q2, q3);
      },
      const_cast<void*>(static_cast<const void*>(&Leaf)));
}

class TBezierHelper {
 public:
  void AddPoint(int32_t X, int32_t Y) { Points.push_back({X, Y}); }
  // The digital line from (X1, Y1) to (X2, Y2): max(|dx|, |dy|) + 2 points,
  // the start point twice, the end point last.
  void AddLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Points := the control polygons of the 8 subdivision pieces as digital lines.
  void Flatten(const TBezierSegment& Segment);
  // Flatten, then Segments := consecutive pieces of PieceLength flattened
  // points (at least 1), each refitted as a cubic, plus a shorter last piece.
  void Split(const TBezierSegment& Segment, int PieceLength);
  int SegmentCount() const { return int(Segments.size()); }
  // Raises "TBezierHelper.GetSegment: Index out of bounds(n)" outside 0..SegmentCount-1.
  TBezierSegment GetSegment(int Index) const;

  std::vector<TPoint> Points;
  std::vector<TBezierSegment> Segments;
};

}  // namespace brellin
