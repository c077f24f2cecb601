// Plain versions of the filters, written as directly as possible from their
// definitions. The optimised filters in imagproc.cpp must give bit-identical
// results; tests and benchmarks compare the two.
#pragma once

#include "analysis/imagproc.h"

namespace brellin::reference {

void SplitToPlanes(const TBitmap32& source, TBytePlane& darkness, TBytePlane& tint);
void InvertPlane(TBytePlane& p, int w, int h);
void RowGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h);
void ColumnGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h);
void GradientStrength(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dst, int w,
                      int h);
void GaussianBlur5(const TBytePlane& src, TBytePlane& dst, int w, int h);
void RepeatBlur(const TBytePlane& src, TBytePlane& dst, int w, int h, int times);
void SmoothPlane(TBytePlane& p, int w, int h, int times);
void OrientationField(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dir, int w,
                      int h, int blockSize);
void DetectEdges(const TBytePlane& src, TBytePlane& edge, int w, int h);
void BinarizePlane(TBytePlane& p, int w, int h);
void ThinEdges(TBytePlane& edge, int w, int h);
void MergeEdgeAndStrength(const TBytePlane& strength, TBytePlane& edge, int w, int h);
void PackFeatureMap(const TBytePlane& darkness, const TBytePlane& tint, const TBytePlane& dir,
                    const TBytePlane& edge, TBitmap32& dest, int w, int h);

// The whole feature extraction built from the plain filters.
TBitmap32 ExtractFeatures(const TBitmap32& source, int blockSize = 16);

}  // namespace brellin::reference
