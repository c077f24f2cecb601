// Turns a picture into its feature map: per pixel the contour direction
// (alpha), darkness (red), hue and saturation indexes (green) and the edge
// flag with the border strength (blue).
#pragma once

#include "analysis/imagproc.h"
#include "base/Bitmap32.h"

namespace brellin {

// Reading the channels of one feature-map pixel.
inline uint8_t FeatureDirection(TColor32 p) {
  return uint8_t(p >> 24);
}
inline uint8_t FeatureDarkness(TColor32 p) {
  return uint8_t(p >> 16);
}
inline uint8_t FeatureHueIndex(TColor32 p) {
  return uint8_t((p >> 11) & 0x1F);
}
inline uint8_t FeatureSatIndex(TColor32 p) {
  return uint8_t((p >> 8) & 0x07);
}
inline bool FeatureEdgeFlag(TColor32 p) {
  return (p & 0x80) != 0;
}
inline uint8_t FeatureStrength(TColor32 p) {
  return uint8_t(p & 0x7F);
}

// Smallest picture the analysis accepts.
constexpr int MinAnalysisSide = 2;

class TFeatureExtractor {
 public:
  explicit TFeatureExtractor(const TBitmap32& source);
  ~TFeatureExtractor() { FreePlanes(); }
  TFeatureExtractor(const TFeatureExtractor&) = delete;
  TFeatureExtractor& operator=(const TFeatureExtractor&) = delete;

  void SetBlockSize(int value) { BlockSize = value; }
  // Runs the whole pipeline under the progress window and returns the map.
  TBitmap32 Execute();
  void FreePlanes();

  const TBitmap32& Source;
  int Width, Height;
  int BlockSize = 16;
  TBytePlane Darkness, Tint, Strength, Direction, Edge;
};

// The only entry the rest of the program uses. Throws EBrellinError for
// pictures smaller than 2 x 2.
TBitmap32 ExtractFeatures(const TBitmap32& source);

// The part of a W x H feature map whose directions come from the picture:
// the orientation blocks reach about one block short of every side, and the
// frame outside holds the "no data" direction. Columns [Left, Right), rows
// [Top, Bottom); empty when no block is inside.
TRect OrientedArea(int W, int H, int BlockSize = 16);

}  // namespace brellin
