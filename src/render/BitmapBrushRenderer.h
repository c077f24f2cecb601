// The bitmap brush: a brush picture dragged along the stroke's centre line,
// each of its rows one lane of the stroke, its intensity the opacity; with an
// optional relief lit from a low angle.
#pragma once

#include <cstdint>
#include <vector>

#include "render/StrokeRenderer.h"
#include "synthesis/Turtle.h"

namespace brellin {

class TBitmapBrushStrokeRenderer : public TAbstractStrokeRenderer {
 public:
  static const TPersistentClass& StaticClass();
  const TPersistentClass& ClassType() const override { return StaticClass(); }

  // Brush file: Id (int32), ReferenceWidth (int32, > 0), then a BMP file.
  void LoadFromStream(TStream& Stream) override;
  // The program never writes brush files.
  void SaveToStream(TStream&) override {}

  void Render(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
              TBitmap32& Target) override;

  // State of the last Render, kept for inspection.
  TPoint LastPoint{-1, -1};
  int DirectionCount = 0;
  int Thickness = 0;
  TPoint CenterCurve[4];
  TBitmap32 BrushBitmap;
  int32_t ReferenceWidth = 0;
  int BoundRight = 0, BoundBottom = 0, BoundLeft = 0, BoundTop = 0;
  // The stroke bitmap of the last Render that painted (at BoundLeft, BoundTop).
  const TBitmap32& StrokeBitmap() const { return FStroke; }

 private:
  void BuildLanePath();
  void Sweep(TPoint P, int W, int H);
  void PaintLane(TPoint P, int Row, bool Edge, TBitmap32& S);
  // Calls Lane(position, row, edge) for every lane in painting order.
  template <typename LaneFn>
  void ForEachLane(int T, const LaneFn& Lane) const;

  std::vector<uint8_t> FDirections;
  // One lane's walk relative to its start: both pixels, their extremes and weights.
  struct TLaneStep {
    int32_t X1, Y1, X2, Y2, MinX, MinY, MaxX, MaxY;
    uint8_t W1, W2;
  };
  std::vector<TLaneStep> FLanePath;
  // Both pixels of every step as offsets in the stroke bitmap.
  struct TLaneOffsets {
    int64_t First, Second;
  };
  std::vector<TLaneOffsets> FLaneOffsets;
  // The steps on the path's rightmost column and on its lowest row (the
  // first so many of each).
  std::vector<int32_t> FStepsAtRight, FStepsAtBottom;
  size_t FStepsAtRightCount = 0, FStepsAtBottomCount = 0;
  TRect FPathBox;                    // extremes of the path (inclusive)
  std::vector<int> FStretchColumns;  // brush column of every stretched column
  int FStretchRows = 0;
  TBitmap32 FStroke, FReliefCopy;  // reused between strokes
};

}  // namespace brellin
