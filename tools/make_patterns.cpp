// Writes the stroke patterns that ship with the program. Every curve is a
// cubic in the pattern editor's 210 x 210 drawing area; a stroke follows a
// curve from its first point, so only a curve's shape and size matter for
// painting, while its place in the area only shows in the thumbnails. With
// the default brush radius of 50 a pattern is painted at about half its
// drawn size.
//
//   brellin-make-patterns DIR      writes DIR/pattern*.stk
//
// Small variations come from a fixed-seed generator of this tool's own (not
// the program's random generator), so the files are the same on every run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "ToolNoise.h"
#include "base/Rounding.h"
#include "base/Stream.h"
#include "library/Patterns.h"

using namespace brellin;

namespace {

struct TVec {
  double X, Y;
};

TPoint P(TVec v) {
  return {Round(v.X), Round(v.Y)};
}

TVec Along(TVec from, double angleDeg, double dist) {
  // Screen coordinates: y grows downwards, so an angle counts clockwise from
  // the right; negative angles point up.
  const double a = angleDeg * M_PI / 180.0;
  return {from.X + std::cos(a) * dist, from.Y + std::sin(a) * dist};
}

// A gently bowed line of the given length and direction through the middle
// of the curve; bow is the sideways offset of both controls.
TBezierSegment Bowed(TVec centre, double angleDeg, double length, double bow) {
  const TVec p0 = Along(centre, angleDeg + 180.0, length / 2);
  const TVec p3 = Along(centre, angleDeg, length / 2);
  const TVec c1 = Along(Along(p0, angleDeg, length / 3), angleDeg + 90.0, bow);
  const TVec c2 = Along(Along(p0, angleDeg, 2 * length / 3), angleDeg + 90.0, bow);
  return {P(p0), P(c1), P(c2), P(p3)};
}

// The same curve travelled the other way. A stroke starts where its curve
// starts, so patterns mix both ways to spread strokes evenly around the seed.
TBezierSegment Reversed(const TBezierSegment& c) {
  return {c.P3, c.P2, c.P1, c.P0};
}

// Turns v by angleDeg around the origin (clockwise on the screen).
TVec Turned(TVec v, double angleDeg) {
  const double a = angleDeg * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  return {v.X * c - v.Y * s, v.X * s + v.Y * c};
}

// A cubic given in a local frame (start at the origin, heading right),
// scaled, turned and moved to o.
TBezierSegment Placed(TVec o, double scale, double angleDeg, TVec c1, TVec c2, TVec e) {
  auto place = [&](TVec v) {
    const TVec t = Turned({v.X * scale, v.Y * scale}, angleDeg);
    return P({o.X + t.X, o.Y + t.Y});
  };
  return {P(o), place(c1), place(c2), place(e)};
}

// Parallel hatching: strokes from lower left to upper right at about 60
// degrees, each frame a little steeper or flatter, the lines slightly bowed
// like a hand-drawn hatch.
std::unique_ptr<TPattern> Hatching() {
  auto p = std::make_unique<TPattern>();
  TNoise n(11);
  for (int f = 0; f < 5; ++f) {
    TPatternFrame* frame = p->AddFrame(std::make_unique<TPatternFrame>());
    const double angle = -60.0 + (f - 2) * 2.5;
    for (int i = 0; i < 6; ++i) {
      const TVec centre{45.0 + i * 24.0, 105.0 + n.Range(-12, 12)};
      const TBezierSegment c =
          Bowed(centre, angle + n.Range(-1.5, 1.5), n.Range(70, 105), n.Range(-4, 4));
      frame->AddCurve(i % 2 == 0 ? c : Reversed(c));
    }
  }
  return p;
}

// Cross-hatching: two families of strokes crossing at about 90 degrees; every
// frame holds both, so the two directions come up equally often.
std::unique_ptr<TPattern> CrossHatching() {
  auto p = std::make_unique<TPattern>();
  TNoise n(23);
  for (int f = 0; f < 5; ++f) {
    TPatternFrame* frame = p->AddFrame(std::make_unique<TPatternFrame>());
    const double tilt = (f - 2) * 2.0;
    for (int i = 0; i < 4; ++i) {
      // Both families side by side along the middle, so that they cross.
      const TVec centre{45.0 + i * 40.0, 105.0 + n.Range(-10, 10)};
      const TBezierSegment a =
          Bowed(centre, -45.0 + tilt + n.Range(-2, 2), n.Range(70, 95), n.Range(-3, 3));
      const TBezierSegment b = Bowed({centre.X + 20.0, centre.Y}, 45.0 + tilt + n.Range(-2, 2),
                                     n.Range(70, 95), n.Range(-3, 3));
      frame->AddCurve(i % 2 == 0 ? a : Reversed(a));
      frame->AddCurve(i % 2 == 0 ? b : Reversed(b));
    }
  }
  return p;
}

// Short curls: small loops and hooks, turned every way. A cubic whose
// controls cross over draws a loop; one whose controls stay on one side
// draws a hook.
std::unique_ptr<TPattern> Curls() {
  // In units of the curl's size, starting at the origin heading right.
  const TVec shapes[4][3] = {
      {{1.2, -1.0}, {-0.4, -1.3}, {0.2, 0.0}},  // a tight loop
      {{1.6, -0.6}, {-0.2, -1.6}, {0.3, 0.3}},  // a round loop
      {{1.3, -1.2}, {-0.5, -1.2}, {0.6, 0.1}},  // a loop with a tail
      {{1.4, 0.0}, {1.5, -1.1}, {0.6, -0.9}},   // a hook
  };
  auto p = std::make_unique<TPattern>();
  TNoise n(37);
  for (int f = 0; f < 5; ++f) {
    TPatternFrame* frame = p->AddFrame(std::make_unique<TPatternFrame>());
    for (int i = 0; i < 6; ++i) {
      const TVec o{35.0 + (i % 3) * 65.0 + n.Range(-5, 5), 90.0 + (i / 3) * 80.0 + n.Range(-5, 5)};
      const double size = n.Range(40, 55);
      const double turn = n.Range(-180, 180);
      const double flip = (i + f) % 2 == 0 ? 1.0 : -1.0;  // curling one way or the other
      const TVec(&s)[3] = shapes[(i + 2 * f) % 4];
      frame->AddCurve(Placed(o, size, turn, {s[0].X, s[0].Y * flip}, {s[1].X, s[1].Y * flip},
                             {s[2].X, s[2].Y * flip}));
    }
  }
  return p;
}

// Long sweeping curves: wide arcs and lazy S-curves across most of the
// area, each frame leaning its own way, for flowing hair, water or sky.
std::unique_ptr<TPattern> Sweeps() {
  auto p = std::make_unique<TPattern>();
  TNoise n(41);
  const double lean[5] = {-15.0, 12.0, -35.0, 30.0, 0.0};
  for (int f = 0; f < 5; ++f) {
    TPatternFrame* frame = p->AddFrame(std::make_unique<TPatternFrame>());
    for (int i = 0; i < 3; ++i) {
      const double length = n.Range(125, 165);
      const double angle = lean[f] + n.Range(-6, 6);
      const TVec centre{105.0 + n.Range(-6, 6), 50.0 + i * 55.0 + n.Range(-6, 6)};
      const TVec o = Along(centre, angle + 180.0, length / 2);
      // In units of the length: an arc bends both controls one way, an S
      // bends them opposite ways.
      const double b1 = n.Range(0.22, 0.34) * (n.Next() < 0.5 ? -1 : 1);
      const double b2 = (i + f) % 2 == 0 ? -b1 : b1 * n.Range(0.7, 1.1);
      const TBezierSegment c = Placed(o, length, angle, {0.33, b1}, {0.67, b2}, {1.0, 0.0});
      frame->AddCurve(i % 2 == 0 ? c : Reversed(c));
    }
  }
  return p;
}

// Stipple-like short dashes in every direction, some barely curved.
std::unique_ptr<TPattern> Dashes() {
  auto p = std::make_unique<TPattern>();
  TNoise n(53);
  for (int f = 0; f < 5; ++f) {
    TPatternFrame* frame = p->AddFrame(std::make_unique<TPatternFrame>());
    for (int i = 0; i < 16; ++i) {
      const TVec centre{25.0 + (i % 4) * 52.0 + n.Range(-10, 10),
                        25.0 + (i / 4) * 52.0 + n.Range(-10, 10)};
      frame->AddCurve(Bowed(centre, n.Range(0, 360), n.Range(14, 24), n.Range(-2, 2)));
    }
  }
  return p;
}

void WritePattern(const std::string& file, TPattern& pattern) {
  TSafeFileWriter out(file);
  pattern.SaveToStream(out.Stream());
  out.Commit();
  std::printf("wrote %s (%d frames, %d curves)\n", file.c_str(), pattern.FrameCount(),
              pattern.CurveTotal());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];
  try {
    WritePattern(dir + "/pattern1-hatching.stk", *Hatching());
    WritePattern(dir + "/pattern2-cross-hatching.stk", *CrossHatching());
    WritePattern(dir + "/pattern3-curls.stk", *Curls());
    WritePattern(dir + "/pattern4-sweeps.stk", *Sweeps());
    WritePattern(dir + "/pattern5-dashes.stk", *Dashes());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brellin-make-patterns: %s\n", e.what());
    return 1;
  }
  return 0;
}
