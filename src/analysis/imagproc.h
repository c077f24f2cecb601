// Whole-picture filters from which the feature map is made. Planes are W x H
// arrays stored row by row with rows running bottom-up: plane row r holds
// picture row H-1-r. Each filter is a free procedure over planes.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Bitmap32.h"
#include "base/LargeAllocator.h"

namespace brellin {

using TBytePlane = TLargeVector<uint8_t>;
using TSmallintPlane = TLargeVector<int16_t>;
using TSinglePlane = TLargeVector<float>;

// Hexcone RGB -> HSL, entirely in single precision; H, S, L in [0, 1].
void RGBToHSL(uint8_t r, uint8_t g, uint8_t b, float& h, float& s, float& l);

// Angle encoder of the orientation field: arctan2(Y, X) / 2 mapped onto a byte.
uint8_t DirectionByte(float y, float x);
// Out[i] = DirectionByte(-Sn[i], Cs[i]) for a run, far faster; Scratch holds N bytes.
void EncodeDirections(const float* Cs, const float* Sn, uint8_t* Out, uint8_t* Scratch, int N);

void SplitToPlanes(const TBitmap32& source, TBytePlane& darkness, TBytePlane& tint);
void InvertPlane(TBytePlane& p, int w, int h);
void RowGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h);
void ColumnGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h);
void GradientStrength(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dst, int w,
                      int h);
void CopyPlane(const TBytePlane& src, TBytePlane& dst, int w, int h);
void GaussianBlur5(const TBytePlane& src, TBytePlane& dst, int w, int h);
void RepeatBlur(const TBytePlane& src, TBytePlane& dst, int w, int h, int times);
void SmoothPlane(TBytePlane& p, int w, int h, int times);
void OrientationField(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dir, int w,
                      int h, int blockSize);
// RowGradient, ColumnGradient, GradientStrength (into strength) and
// OrientationField (into dir) of the darkness plane in one pass, without
// the two gradient planes.
void GradientFeatures(const TBytePlane& darkness, TBytePlane& strength, TBytePlane& dir, int w,
                      int h, int blockSize);
void DetectEdges(const TBytePlane& src, TBytePlane& edge, int w, int h);
void BinarizePlane(TBytePlane& p, int w, int h);
void ThinEdges(TBytePlane& edge, int w, int h);
void MergeEdgeAndStrength(const TBytePlane& strength, TBytePlane& edge, int w, int h);
void PackFeatureMap(const TBytePlane& darkness, const TBytePlane& tint, const TBytePlane& dir,
                    const TBytePlane& edge, TBitmap32& dest, int w, int h);

}  // namespace brellin
