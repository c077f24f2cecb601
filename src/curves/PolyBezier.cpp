#include "curves/PolyBezier.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "base/Errors.h"
#include "base/Rounding.h"
#include "curves/Bezier.h"

namespace brellin {

namespace {

// (a + b) div 2, truncated toward zero, without overflow.
inline int32_t HalfSum(int32_t a, int32_t b) {
  return int32_t((int64_t(a) + b) / 2);
}

inline TPoint Middle(TPoint A, TPoint B) {
  return {HalfSum(A.X, B.X), HalfSum(A.Y, B.Y)};
}

inline int32_t Saturate(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The centre of pixel P, where the line primitives want it.
inline float Cx(TPoint P) {
  return float(P.X) + 0.5f;
}
inline float Cy(TPoint P) {
  return float(P.Y) + 0.5f;
}

const TColor32 kWideDashes[8] = {clWhite32, clWhite32, clWhite32, clWhite32,
                                 clBlack32, clBlack32, clBlack32, clBlack32};

}  // namespace

const TBitmap32& CurveHandleBitmap() {
  static const TBitmap32 handle = [] {
    TBitmap32 b(8, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const double d = std::hypot(x + 0.5 - 4.0, y + 0.5 - 4.0);
        // Solid inside a radius of 2.6, fading to nothing at 4.
        const double a = std::clamp((4.0 - d) / 1.4, 0.0, 1.0);
        const uint8_t shade = uint8_t(246 - std::lround(std::clamp(d - 1.5, 0.0, 2.5) * 40.0));
        b.SetPixel(x, y, Color32(255, shade, 0, uint8_t(std::lround(a * 255.0))));
      }
    b.DrawMode = dmBlend;
    return b;
  }();
  return handle;
}

TPolyBezier::TPolyBezier(TPoint StartPoint)
    : StartPoint(StartPoint), HandleBitmap(&CurveHandleBitmap()) {}

int TPolyBezier::AddSegment(const TCurveSegment& Segment) {
  Segments.push_back(Segment);
  return SegmentCount() - 1;
}

TCurveSegment TPolyBezier::GetSegment(int Index) const {
  if (Index < 0 || Index >= SegmentCount()) RaiseIndexError("TPolyBezier.GetSegment", Index);
  return Segments[size_t(Index)];
}

TPoint TPolyBezier::SegmentStart(int Index) const {
  if (Index <= 0) return StartPoint;
  // Callers hand valid indexes; a larger one reads the last segment's end.
  const TCurveSegment& s = Segments[size_t(std::min(Index, SegmentCount()) - 1)];
  return s.Kind == skLine ? s.Points[0] : s.Points[2];
}

TBezierSegment TPolyBezier::GetBezier(int Index) const {
  if (Index < 0 || Index >= SegmentCount()) RaiseIndexError("TPolyBezier.GetBezier", Index);
  const TCurveSegment& s = Segments[size_t(Index)];
  TBezierSegment b;
  b.P0 = SegmentStart(Index);
  if (s.Kind == skBezier) {
    b.P1 = s.Points[0];
    b.P2 = s.Points[1];
    b.P3 = s.Points[2];
  } else {
    b.P3 = s.Points[0];
    b.P1 = b.P2 = Middle(b.P0, b.P3);
  }
  return b;
}

void TPolyBezier::AddBezierSegment(TPoint Ctrl1, TPoint Ctrl2, TPoint EndPoint) {
  SelectedPoint = 4;
  TCurveSegment s;
  s.Kind = skBezier;
  s.Points[0] = Ctrl1;
  s.Points[1] = Ctrl2;
  s.Points[2] = EndPoint;
  SelectedSegment = AddSegment(s);
  Changed();
}

void TPolyBezier::MoveSelectedPoint(int X, int Y, bool Smooth) {
  if (SelectedSegment < 0) {
    StartPoint = {X, Y};
  } else {
    if (SelectedSegment >= SegmentCount())
      RaiseIndexError("TPolyBezier.MoveSelectedPoint", SelectedSegment);
    TCurveSegment& s = Segments[size_t(SelectedSegment)];
    if (s.Kind == skLine) {
      s.Points[0] = {X, Y};
    } else {
      if (SelectedPoint >= 2 && SelectedPoint <= 4) s.Points[SelectedPoint - 2] = {X, Y};
      if (Smooth) s.Points[0] = s.Points[1] = Middle(SegmentStart(SelectedSegment), s.Points[2]);
    }
  }
  Changed();
}

void TPolyBezier::SetSegmentPoint(int X, int Y, int Index) {
  if (SelectedSegment < 0 || SelectedSegment >= SegmentCount())
    RaiseIndexError("TPolyBezier.SetSegmentPoint", SelectedSegment);
  TCurveSegment& s = Segments[size_t(SelectedSegment)];
  if (s.Kind == skLine)
    s.Points[0] = {X, Y};
  else if (Index >= 2 && Index <= 4)
    s.Points[Index - 2] = {X, Y};
  Changed();
}

bool TPolyBezier::HitTest(TPoint Origin, int X, int Y) {
  this->Origin = Origin;
  const int64_t lx = int64_t(X) - Origin.X, ly = int64_t(Y) - Origin.Y;
  auto hit = [&](TPoint p) { return std::llabs(p.X - lx) + std::llabs(p.Y - ly) < HitTolerance; };
  if (hit(StartPoint)) {
    SelectedSegment = -1;
    SelectedPoint = -1;
    return true;
  }
  for (int i = 0; i < SegmentCount(); ++i) {
    const TCurveSegment& s = Segments[size_t(i)];
    const int points = s.Kind == skLine ? 1 : 3;
    for (int k = 0; k < points; ++k)
      if (hit(s.Points[k])) {
        SelectedSegment = i;
        SelectedPoint = s.Kind == skLine ? 1 : k + 2;
        return true;
      }
  }
  return false;
}

void TPolyBezier::SetAntiAliased(bool Value) {
  AntiAliased = Value;
  Changed();
}

void TPolyBezier::SetColor(TColor32 Value) {
  if (Value == Color) return;
  Color = Value;
  Changed();
}

void TPolyBezier::Changed() {
  if (OnChange) OnChange(*this);
}

TPoint TPolyBezier::Shifted(TPoint P) const {
  return {Saturate(int64_t(P.X) + Origin.X), Saturate(int64_t(P.Y) + Origin.Y)};
}

void TPolyBezier::PictureHandle(TPoint P) {
  const TPoint c = Shifted(P);
  HandleBitmap->DrawTo(*Target, c.X - 8 / 2, c.Y - 8 / 2);
}

void TPolyBezier::PlainHandle(TPoint P) {
  const TPoint c = Shifted(P);
  const int l = Saturate(int64_t(c.X) - 2), r = Saturate(int64_t(c.X) + 2),
            t = Saturate(int64_t(c.Y) - 2), b = Saturate(int64_t(c.Y) + 2);
  Target->LineS(l, t, r, t, clBlack32);
  Target->LineS(r, t, r, b, clBlack32);
  Target->LineS(r, b, l, b, clBlack32);
  Target->LineS(l, b, l, t, clBlack32);
}

void TPolyBezier::Handle(TPoint P, bool Pictured) {
  if (Pictured)
    PictureHandle(P);
  else
    PlainHandle(P);
}

void TPolyBezier::Line(TPoint A, TPoint B, bool Dashed) {
  const TPoint a = Shifted(A), b = Shifted(B);
  if (!AntiAliased)
    Target->LineS(a.X, a.Y, b.X, b.Y, Color);
  else if (Dashed)
    Target->LineFSP(Cx(a), Cy(a), Cx(b), Cy(b));
  else
    Target->LineFS(Cx(a), Cy(a), Cx(b), Cy(b), Color);
}

void TPolyBezier::Draw(TPoint Origin, TBitmap32& Target) {
  this->Origin = Origin;
  this->Target = &Target;
  Target.BeginUpdate();
  for (int i = 0; i < SegmentCount(); ++i) {
    const TCurveSegment& seg = Segments[size_t(i)];
    const TPoint s = SegmentStart(i);
    if (seg.Kind == skLine) {
      Handle(s, ShowControls);
      Handle(seg.Points[0], ShowControls);
      Line(s, seg.Points[0], false);
      continue;
    }
    const TPoint c1 = seg.Points[0], c2 = seg.Points[1], e = seg.Points[2];
    if (Width == 1.0f) {
      Handle(s, ShowControls);
      Handle(e, ShowControls);
      if (ShowControls) {
        PictureHandle(c1);
        PictureHandle(c2);
        Line(s, c1, true);
        Line(c2, e, true);
      }
    }
    if (Width > 1.0f) {
      DrawWide(s, c1, c2, e);
    } else {
      SubdivideBezier(s, c1, c2, e, [this](TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
        Line(q0, q1, false);
        Line(q1, q2, false);
        Line(q2, q3, false);
      });
    }
  }
  Target.EndUpdate();
  Target.Changed();
}

// The band tool's wide curve: its two sides as dashed curves at Width from
// the curve, and dashed half circles closing both ends.
void TPolyBezier::DrawWide(TPoint S, TPoint C1, TPoint C2, TPoint E) {
  const double w = Width;
  const double pi = std::numbers::pi;
  auto add = [](TPoint p, double dx, double dy) {
    return TPoint{Saturate(Round64(p.X + dx)), Saturate(Round64(p.Y + dy))};
  };
  // First side offsets are kept as single-precision reals, second side
  // offsets are rounded first.
  auto sides = [&](double theta, TPoint p, TPoint q, TPoint& p1, TPoint& q1, TPoint& p2,
                   TPoint& q2) {
    const float nx = float(std::cos(theta + pi / 2) * w), ny = float(std::sin(theta + pi / 2) * w);
    const double mx = Round(std::cos(theta - pi / 2) * w), my = Round(std::sin(theta - pi / 2) * w);
    p1 = add(p, nx, ny);
    q1 = add(q, nx, ny);
    p2 = add(p, mx, my);
    q2 = add(q, mx, my);
  };
  const double theta = std::atan2(double(C1.Y) - S.Y, double(C1.X) - S.X);
  const double theta2 = std::atan2(double(E.Y) - C2.Y, double(E.X) - C2.X);
  TPoint s1, a1, s2, a2, b1, e1, b2, e2;
  sides(theta, S, C1, s1, a1, s2, a2);
  sides(theta2, C2, E, b1, e1, b2, e2);

  Target->SetStipple(std::vector<TColor32>(std::begin(kWideDashes), std::end(kWideDashes)));
  Target->StippleStep = 1.0f;
  auto dashed = [this](TPoint a, TPoint b) {
    const TPoint p = Shifted(a), q = Shifted(b);
    Target->LineFSP(Cx(p), Cy(p), Cx(q), Cy(q));
  };
  auto leaf = [&](TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
    dashed(q0, q1);
    dashed(q1, q2);
    dashed(q2, q3);
  };
  SubdivideBezier(s1, a1, b1, e1, leaf);
  SubdivideBezier(s2, a2, b2, e2, leaf);

  auto cap = [&](TPoint centre, double from) {
    const TPoint c = Shifted(centre);
    const double to = from + pi;
    bool first = true;
    float px = 0, py = 0;
    for (double a = from; a <= to + 0.1; a += 0.1) {
      const float x = float(Cx(c) + w * std::cos(a)), y = float(Cy(c) + w * std::sin(a));
      if (!first) Target->LineFSP(px, py, x, y, true);
      first = false;
      px = x;
      py = y;
    }
  };
  cap(S, theta + pi / 2);
  cap(E, std::atan2(double(C2.Y) - E.Y, double(C2.X) - E.X) + pi / 2);
}

}  // namespace brellin
