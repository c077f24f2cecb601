#include "render/StrokeRenderer.h"

namespace brellin {

// ---- TAbstractStrokeRenderer

const TPersistentClass& TAbstractStrokeRenderer::StaticClass() {
  static const TPersistentClass cls("TAbstractStrokeRenderer", "srd", "srend", nullptr);
  return cls;
}

void TAbstractStrokeRenderer::SetReliefParams(TReliefParams Value) {
  FBumpiness = uint8_t(Value & 15);
  FSoftness = uint8_t((Value >> 4) & 15);
  FLightIntensity = uint8_t(Value >> 8);
}

void TAbstractStrokeRenderer::StoreSides(const TArrayOfFixedPoint& LeftSide,
                                         const TArrayOfFixedPoint& RightSide) {
  // Self-assignment (a caller passing our own sides back) is harmless.
  if (&LeftSide != &FLeftSide) FLeftSide.assign(LeftSide.begin(), LeftSide.end());
  if (&RightSide != &FRightSide) FRightSide.assign(RightSide.begin(), RightSide.end());
}

// ---- TPolygonStrokeRenderer

const TPersistentClass& TPolygonStrokeRenderer::StaticClass() {
  static const TPersistentClass cls(TAbstractStrokeRenderer::StaticClass(),
                                    "TPolygonStrokeRenderer",
                                    []() -> std::unique_ptr<TPersistentObject> {
                                      return std::make_unique<TPolygonStrokeRenderer>();
                                    });
  return cls;
}

void TPolygonStrokeRenderer::Render(const TArrayOfFixedPoint& LeftSide,
                                    const TArrayOfFixedPoint& RightSide, TBitmap32& Target) {
  StoreSides(LeftSide, RightSide);
  FContour.clear();
  FContour.insert(FContour.end(), FLeftSide.begin(), FLeftSide.end());
  FContour.insert(FContour.end(), FRightSide.rbegin(), FRightSide.rend());
  if (FContour.size() < 3) return;
  FFiller.Fill(Target, FContour, FColor);
  Target.Changed();
}

}  // namespace brellin
