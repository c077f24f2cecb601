// Stroke patterns: small sets of hand-drawn cubic curves, grouped in frames,
// that pattern strokes follow instead of the picture's contours. Stored one
// per ".stk" file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "library/PersistentObjects.h"

namespace brellin {

// The pattern editor's drawing area is PatternAreaSize units square.
constexpr int PatternAreaSize = 210;
// A pattern holds at most this many frames.
constexpr int MaxPatternFrames = 6;
// Curve points of a pattern file lie within -MaxPatternCoordinate ..
// MaxPatternCoordinate: a pattern curve is scaled up to about five times and
// traced pixel by pixel, so far-away points would cost without bound. The
// limit leaves room for points dragged well outside the drawing area.
constexpr int32_t MaxPatternCoordinate = 10000;

// The curves of one slot of the pattern editor, in the order they were drawn.
class TPatternFrame {
 public:
  void AddCurve(const TBezierSegment& Segment) { Curves.push_back(Segment); }
  int CurveCount() const { return int(Curves.size()); }
  // Raises "TPatternFrame.GetCurves: Index out of bounds(n)".
  TBezierSegment GetCurve(int Index) const;
  void Clear() { Curves.clear(); }
  // Curve 0 when there is at most one (no random draw), else a random one.
  // Only for frames that have curves.
  TBezierSegment RandomCurve() const;
  void SaveToStream(TStream& Stream) const;
  // The curve count, then the curves; a count that the rest of the stream
  // cannot hold, or points far outside the drawing area, raise EInvalidData.
  void LoadFromStream(TStream& Stream);

  std::vector<TBezierSegment> Curves;
};

class TPattern : public TPersistentObject {
 public:
  static const TPersistentClass& StaticClass();
  const TPersistentClass& ClassType() const override { return StaticClass(); }

  void Clear() { Frames.clear(); }
  // Takes Frame over; raises "AddPatternFrame: MaxFrames reached" when the
  // pattern already holds MaxPatternFrames frames.
  TPatternFrame* AddFrame(std::unique_ptr<TPatternFrame> Frame);
  int FrameCount() const { return int(Frames.size()); }
  // Raises "TPattern.GetFrames: Index out of bounds(n)".
  TPatternFrame* GetFrame(int Index) const;
  // The number of curves over all frames.
  int CurveTotal() const;
  // A frame with at least one curve, every such frame equally likely; with
  // exactly one curve in all, its frame without a random draw. Raises
  // EBrellinError when the pattern has no curve at all.
  TPatternFrame* RandomFrame() const;

  // Bounds := the extent of every curve point of every frame.
  void ComputeBounds();
  // Draws frame Index into PreviewTarget (optionally cleared to light grey
  // first), the drawing area scaled to the target.
  void DrawFrame(int Index, bool ClearFirst);
  // All frames on top of each other, drawn at twice W x H into PreviewTarget
  // (which the caller sets up white, 2W x 2H) and resampled to W x H.
  TBitmap32 RenderThumbnail(int W, int H);
  void SetPreviewTarget(TBitmap32* Bitmap) { PreviewTarget = Bitmap; }

  // Frame count, then every frame, empty ones included.
  void SaveToStream(TStream& Stream) override;
  // Keeps only the frames that have curves. A file that ends before its
  // declared frames and curves, forged counts and far-away points raise
  // EInvalidData and leave the pattern as it was.
  void LoadFromStream(TStream& Stream) override;

  std::vector<std::unique_ptr<TPatternFrame>> Frames;
  TRect Bounds;
  TBitmap32* PreviewTarget = nullptr;  // not owned
};

}  // namespace brellin
