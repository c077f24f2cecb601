#include "analysis/FeatureExtractor.h"

#include "base/Errors.h"
#include "base/Progress.h"
#include "base/Rounding.h"

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

namespace {

// [first, last) of the positions 0..N-2 whose block Trunc(p * B / N), in
// single precision as the upsampling computes it, lies in 1..B-2.
void OrientedSpan(int N, int B, int32_t& First, int32_t& Last) {
  const float s = float(B) / float(N);
  auto block = [&](int p) { return Trunc(float(p) * s); };
  // The block grows with the position: two binary searches.
  int lo = 0, hi = N - 1;  // first p with block >= 1
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    block(mid) >= 1 ? hi = mid : lo = mid + 1;
  }
  First = lo;
  lo = First, hi = N - 1;  // first p with block >= B - 1
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    block(mid) >= B - 1 ? hi = mid : lo = mid + 1;
  }
  Last = lo;
}

}  // namespace

TRect OrientedArea(int W, int H, int BlockSize) {
  const int bw = BlockSize > 0 ? W / BlockSize : 0, bh = BlockSize > 0 ? H / BlockSize : 0;
  if (bw < 3 || bh < 3 || W < 2 || H < 2) return EmptyRect;
  TRect r;
  OrientedSpan(W, bw, r.Left, r.Right);
  // The analysis planes run from the bottom row up.
  int32_t first = 0, last = 0;
  OrientedSpan(H, bh, first, last);
  r.Top = H - last, r.Bottom = H - first;
  if (r.Left >= r.Right || r.Top >= r.Bottom) return EmptyRect;
  return r;
}

}  // namespace brellin
