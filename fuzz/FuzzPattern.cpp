#include "FuzzTargets.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "library/Patterns.h"

namespace brellin::fuzz {

int FuzzPattern(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TPattern pattern;
  try {
    pattern.LoadFromStream(s);
  } catch (const EBrellinError&) {
    return 0;
  }
  for (const auto& f : pattern.Frames) {
    if (f->CurveCount() == 0) FuzzFailure("a pattern kept an empty frame");
    for (const TBezierSegment& c : f->Curves)
      for (const TPoint& p : {c.P0, c.P1, c.P2, c.P3})
        if (p.X < -MaxPatternCoordinate || p.X > MaxPatternCoordinate ||
            p.Y < -MaxPatternCoordinate || p.Y > MaxPatternCoordinate)
          FuzzFailure("a pattern kept a point outside the drawing limits");
  }
  // A pattern that loaded writes and reads back the same, picks a curve
  // when it has one and draws its thumbnail.
  TMemoryStream m;
  pattern.SaveToStream(m);
  m.SetPosition(0);
  TPattern back;
  back.LoadFromStream(m);
  if (back.FrameCount() != pattern.FrameCount()) FuzzFailure("frames changed in a round trip");
  for (int i = 0; i < pattern.FrameCount(); ++i)
    if (back.GetFrame(i)->Curves != pattern.GetFrame(i)->Curves)
      FuzzFailure("curves changed in a round trip");
  if (pattern.CurveTotal() > 0) pattern.RandomFrame()->RandomCurve();
  pattern.RenderThumbnail(20, 20);
  return 0;
}

}  // namespace brellin::fuzz
