#include "FuzzTargets.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "render/BitmapBrushRenderer.h"

namespace brellin::fuzz {

int FuzzBrush(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TBitmapBrushStrokeRenderer brush;
  try {
    brush.LoadFromStream(s);
  } catch (const EBrellinError&) {
    return 0;
  }
  if (brush.ReferenceWidth <= 0) FuzzFailure("brush loaded with a reference width below 1");
  // A brush that loaded must paint a stroke without trouble.
  TBitmap32 target(64, 48, clWhite32);
  TArrayOfFixedPoint left = {FixedPoint(4, 10), FixedPoint(30, 14), FixedPoint(60, 12)};
  TArrayOfFixedPoint right = {FixedPoint(4, 30), FixedPoint(30, 34), FixedPoint(60, 32)};
  brush.SetColor(0xFF204060);
  brush.SetAlpha(200);
  brush.SetReliefParams(0x1E58);
  brush.Render(left, right, target);
  return 0;
}

}  // namespace brellin::fuzz
