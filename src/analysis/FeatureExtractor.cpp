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
  Strength.resize(n);
  Direction.resize(n);
  // Gradients, strength and directions come out of one pass; the window
  // still shows each of their steps.
  GradientFeatures(Darkness, Strength, Direction, w, h, BlockSize);
  SetProgress(8);
  SetProgress(12);
  SetProgress(14);
  SmoothPlane(Strength, w, h, 10);
  SetProgress(28);
  SetProgress(35);
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
