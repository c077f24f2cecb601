// Editable open curves made of straight and cubic segments with integer
// points: editing, hit testing and drawing over a picture. Curves live in
// memory only; they reach files as TBezierSegment records of pattern frames.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

enum TSegmentKind : uint8_t { skLine = 0, skBezier = 1 };

// A segment's start is the end of the previous one (or the curve's start
// point). skLine uses Points[0] as its end; skBezier has its two control
// points in Points[0] and Points[1] and its end in Points[2].
struct TCurveSegment {
  TSegmentKind Kind = skLine;
  TPoint Points[3];
};

// The 8 x 8 handle picture drawn on control points: a yellow disc with a
// soft, partly transparent rim, drawn in blend mode.
const TBitmap32& CurveHandleBitmap();

class TPolyBezier {
 public:
  using TNotifyEvent = std::function<void(TPolyBezier& Sender)>;

  explicit TPolyBezier(TPoint StartPoint);

  // Appends without firing OnChange; returns the new index.
  int AddSegment(const TCurveSegment& Segment);
  int SegmentCount() const { return int(Segments.size()); }
  // Raises "TPolyBezier.GetSegment: Index out of bounds(n)".
  TCurveSegment GetSegment(int Index) const;
  // The end of segment Index - 1; StartPoint for Index <= 0.
  TPoint SegmentStart(int Index) const;
  // The segment as a cubic; a straight one gets both controls at its middle.
  TBezierSegment GetBezier(int Index) const;

  // Appends a cubic segment and selects its end point.
  void AddBezierSegment(TPoint Ctrl1, TPoint Ctrl2, TPoint EndPoint);
  // Moves the selected point; with Smooth a cubic's controls go to the middle
  // of its start and end, which makes it straight.
  void MoveSelectedPoint(int X, int Y, bool Smooth);
  // Moves point number Index (2, 3 or 4; any for a straight segment) of the
  // selected segment.
  void SetSegmentPoint(int X, int Y, int Index);
  // Selects the first point within HitTolerance (Manhattan, strictly less)
  // of (X, Y) - Origin: the start point, then each segment's points in order.
  bool HitTest(TPoint Origin, int X, int Y);
  // Draws the curve into Target with every point shifted by Origin.
  void Draw(TPoint Origin, TBitmap32& Target);

  void SetAntiAliased(bool Value);  // always fires OnChange
  void SetColor(TColor32 Value);    // fires OnChange only on a change
  void SetShowControls(bool Value) { ShowControls = Value; }
  void SetWidth(float Value) { Width = Value; }
  void SetOnChange(TNotifyEvent Handler) { OnChange = std::move(Handler); }
  void Changed();

  TPoint StartPoint;
  std::vector<TCurveSegment> Segments;
  TNotifyEvent OnChange;
  TBitmap32* Target = nullptr;  // only during Draw; not owned
  bool AntiAliased = false;
  int HitTolerance = 8;
  int SelectedSegment = -1;  // -1: the start point
  // -1 start point, 1 end of a straight segment, 2 and 3 the controls and
  // 4 the end of a cubic (point n of a cubic is Points[n - 2]).
  int SelectedPoint = -1;
  TColor32 Color = 0;
  const TBitmap32* HandleBitmap;  // not owned
  TPoint Origin;
  bool ShowControls = false;
  float Width = 1.0f;

 private:
  void PictureHandle(TPoint P);
  void PlainHandle(TPoint P);
  void Handle(TPoint P, bool Pictured);
  void Line(TPoint A, TPoint B, bool Dashed);
  void DrawWide(TPoint S, TPoint C1, TPoint C2, TPoint E);
  TPoint Shifted(TPoint P) const;
};

}  // namespace brellin
