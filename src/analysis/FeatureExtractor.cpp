#include "analysis/FeatureExtractor.h"

#include "base/Errors.h"
#include "base/Progress.h"

namespace brellin {

namespace {
template <typename Plane>
void Release(Plane& p) {
  Plane().swap(p);
}
}  // namespace

TFeatureExtractor::TFeatureExtractor(const TBitmap32& source)
    : Source(source), Width(source.Width()), Height(source.Height()) {
  SetBlockSize(16);
}

void TFeatureExtractor::FreePlanes() {
  Release(Darkness);
  Release(Tint);
  Release(Strength);
  Release(Direction);
  Release(Edge);
  Release(RowGrad);
  Release(ColGrad);
}

TBitmap32 TFeatureExtractor::Execute() {
  if (Width < MinAnalysisSide || Height < MinAnalysisSide)
    throw EBrellinError("The picture is too small to analyse (" + std::to_string(Width) + " x " +
                        std::to_string(Height) + " pixels; at least 2 x 2 are needed)");
  const int w = Width, h = Height;
  const size_t n = size_t(w) * size_t(h);
  TProgressScope progress("Analyzing Image...", 0, 100);
  SetProgress(5);
  FreePlanes();
  SplitToPlanes(Source, Darkness, Tint);
  InvertPlane(Darkness, w, h);
  RowGrad.resize(n);  // fresh planes are zero
  RowGradient(Darkness, RowGrad, w, h);
  SetProgress(8);
  ColGrad.resize(n);  // fresh planes are zero
  ColumnGradient(Darkness, ColGrad, w, h);
  SetProgress(12);
  Strength.resize(n);  // fresh planes are zero
  GradientStrength(RowGrad, ColGrad, Strength, w, h);
  SetProgress(14);
  SmoothPlane(Strength, w, h, 10);
  SetProgress(28);
  Direction.resize(n);  // fresh planes are zero
  OrientationField(RowGrad, ColGrad, Direction, w, h, BlockSize);
  SetProgress(35);
  Release(RowGrad);
  Release(ColGrad);
  Edge.resize(n);  // fresh planes are zero
  DetectEdges(Darkness, Edge, w, h);
  SetProgress(50);
  BinarizePlane(Edge, w, h);
  ThinEdges(Edge, w, h);
  SetProgress(90);
  TBitmap32 result;
  MergeEdgeAndStrength(Strength, Edge, w, h);
  Release(Strength);
  PackFeatureMap(Darkness, Tint, Direction, Edge, result, w, h);
  SetProgress(100);
  FreePlanes();
  return result;
}

TBitmap32 ExtractFeatures(const TBitmap32& source) {
  TFeatureExtractor extractor(source);
  return extractor.Execute();
}

}  // namespace brellin
