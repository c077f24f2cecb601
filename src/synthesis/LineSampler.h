// One stroke: traces a path from a seed point through the feature map (or
// along a cubic), averages the colour under a band of scan lines across it
// and builds the stroke's left and right outlines in destination fixed point.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "synthesis/Turtle.h"

namespace brellin {

// A heading is asked of the direction callback instead of the feature map
// wherever DirectionCallbackLimit > 2 x Strength; initially only where the
// strength is 0. Process-wide: the style preview raises it for its strokes.
extern int DirectionCallbackLimit;

// A pixel of the path relative to Start, with the turtle's sub-pixel position
// (also relative to Start) when it was recorded.
struct TPathPixel {
  int32_t X = 0, Y = 0;
  float FX = 0.0f, FY = 0.0f;
};

// Working storage a sampler can hand on to the next one, so that a run of
// strokes does not allocate it again for every stroke.
struct TLineSamplerBuffers {
  std::vector<uint8_t> Dirs;
  std::vector<TPathPixel> Pixels;
  TArrayOfFixedPoint LeftOutline, RightOutline;
};

class TLineSampler {
 public:
  // Supplies a heading at feature-map point (X, Y); Dir holds the last one.
  using TDirectionCallback = std::function<void(int X, int Y, uint8_t& Dir)>;

  // Validates the bitmaps (see SetBitmaps) and draws one random number.
  TLineSampler(const TBitmap32* Feature, const TBitmap32* Dest);
  // The same, working in Reuse's storage (its contents do not matter).
  TLineSampler(const TBitmap32* Feature, const TBitmap32* Dest, TLineSamplerBuffers&& Reuse);
  // Gives the working storage up for another sampler; this one is done.
  TLineSamplerBuffers ReleaseBuffers();

  // Raises EBrellinError "Invalid Bitmap Feat", "Invalid Bitmap Dst",
  // "Feat->Width != Dest->Width" or "Feat->Height != Dest->Height".
  void SetBitmaps(const TBitmap32* Feature, const TBitmap32* Dest);
  void SetStart(TPoint P) { Start = P; }
  // At least 5 steps; the headings restart as zeros.
  void SetStepCount(int N);
  void AddSteps(int K);
  void SetScanWidth(float W) { ScanWidth = W; }
  void SetThickness(float T) { ThicknessFactor = float(double(T) / 765.0); }
  void SetPrecision(int P) { Precision = P; }
  void SetScale(float S) { Scale = S; }
  void SetThreshold(uint8_t B) { Threshold = B; }
  void SetStraightLines(bool B) { StraightLines = B; }
  void SetDirectionCallback(TDirectionCallback Proc) { DirectionCallback = std::move(Proc); }
  // The path becomes the curve (only differences between the points matter:
  // the trace starts at Start). Call after SetStepCount, which it overrides.
  void SetCurve(TPoint P0, TPoint P1, TPoint P2, TPoint P3);

  // Traces, samples and outlines; True when the stroke can be drawn.
  bool Run();
  // The touched feature-map area grown by 5 and clipped to the map; empty
  // (left > right) when nothing was touched.
  void GetBounds(TRect& R) const;
  TRect GetBounds() const {
    TRect r;
    GetBounds(r);
    return r;
  }

  // The steps of Run.
  bool FitCurve();
  void Trace();
  void SampleColor();
  void SampleLine(int32_t DX, int32_t DY);
  void BuildOutline();
  void OutlineSegment(int A, int B);
  void AddPathPixel(int32_t X, int32_t Y, float FX, float FY);

  const TBitmap32* ColorSource = nullptr;  // nil: colours rebuilt from the feature map
  int32_t SampleCount = 0;
  // Wider than the colour bytes need, so that no band can overflow them.
  int64_t SumR = 0, SumG = 0, SumB = 0;
  std::vector<uint8_t> Dirs;  // heading per step of a curve path
  std::vector<TPathPixel> Pixels;
  int32_t StepCount = 0;
  const TBitmap32* Dest = nullptr;
  TPoint Start;
  float ScanWidth = 10.0f;
  float ThicknessFactor = 0.0f;
  int32_t Precision = 20;
  TDirectionCallback DirectionCallback;
  const TBitmap32* Feature = nullptr;
  float Scale = 2.0f;
  bool RandomSide = false;
  TRect Bounds = EmptyRect;
  bool StopOnBorders = true;
  TColor32 AverageColor = 0;
  uint8_t Threshold = 0;
  bool StraightLines = false;
  TArrayOfFixedPoint LeftOutline, RightOutline;
  // When above 0, headings read closer than this to the feature map's edge,
  // or outside HeadingArea (when that is not empty), are read at the nearest
  // pixel inside both: the map's frame holds no contour of the picture.
  int32_t EdgeMargin = 0;
  TRect HeadingArea = EmptyRect;

  // After Run: whether the stroke touches the picture's edge while its path
  // runs less than MinLength destination pixels inside the picture (a stub
  // left by a stroke that leaves the picture at once).
  bool IsEdgeStub(float MinLength) const;

 private:
  void ReadHeading(TTurtle& T, uint8_t& D);
  // Asks for the map around the next heading's reading, before walking there.
  void PrefetchHeading(const TTurtle& T) const;
  // How far the sides lie from the path: the same for every segment.
  float OutlineRadius() const;
  void OutlineSegment(int A, int B, float r);
  // Calls Line(DX, DY) for each scan line of the band, in sampling order,
  // while it returns true.
  template <typename LineFn>
  void ForEachScanLine(const LineFn& Line) const;
  // SampleColor without the precision clamp; Box is PathBox().
  void SampleBand(const TRect& Box);
  // The extremes of the path's pixels, relative to Start.
  TRect PathBox() const;
  // Whether only the colour source, and never the map, can end a line.
  bool SourceAloneEndsLines() const {
    return ColorSource != nullptr && !StopOnBorders && Threshold == 0;
  }
  // SampleLine's work for a line that no check can end, without the
  // checks; False (nothing done) for any other line.
  bool SampleLineInside(const TRect& Box, int32_t DX, int32_t DY);
  void PrefetchBand(const TRect& Box) const;
  void IncludeInBounds(int32_t X, int32_t Y);
  // PathBox() as Trace left it.
  TRect FTracedBox = EmptyRect;
};

}  // namespace brellin
