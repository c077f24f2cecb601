// Shared by the export tests: recorded strokes in pixel units.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "base/Bitmap32.h"
#include "history/BStates.h"

namespace brellin::test {

// A point in pixels as the strokes record it (16.16 fixed point).
inline TFixedPoint Px(double x, double y) {
  return {TFixed(std::lround(x * 65536)), TFixed(std::lround(y * 65536))};
}

// Pushes a state that holds the given strokes onto h.
inline void AddState(TBStates& h, const std::vector<TStrokeRecord>& strokes) {
  TBitmap32 b(2, 2);
  auto s = std::make_unique<TBState>(b, b);
  for (const auto& r : strokes) s->Strokes->AddStroke(r);
  s->Store(b.BoundsRect());
  h.Push(std::move(s));
}

}  // namespace brellin::test
