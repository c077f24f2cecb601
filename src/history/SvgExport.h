// The drawing as an SVG file: every stroke of the applied undo states as one
// filled outline, or, for pen plotters, as one centre line per stroke in a
// layer per pen.
#pragma once

#include <cstdint>
#include <string>

#include "base/Types.h"

namespace brellin {

class TBStates;

struct TSvgOptions {
  // A rectangle of BackgroundColor under the strokes.
  bool Background = false;
  TColor32 BackgroundColor = 0xFFFFFFFFu;

  // Centre lines instead of filled outlines; the rest applies to them only.
  bool CenterLines = false;
  int Pens = 0;           // 0: every recorded colour is a pen of its own
  uint32_t PenSeed = 1;   // start of the colour quantiser's generator
  double MinLength = 0;   // pixels: shorter centre lines are left out
  double PaperWidth = 0;  // millimetres; 0: the file is in pixels
  double PaperHeight = 0;
  double Margin = 0;      // millimetres on every side of the paper
  double PenWidth = 0.3;  // millimetres (one pixel without paper)
};

struct TSvgResult {
  int64_t Paths = 0;  // paths or polylines written
  int Layers = 0;     // pens with lines (centre lines)
  // Centre lines: the distance the raised pen moves, in the file's units
  // (pixels, or millimetres on paper), in recorded order and as written.
  double TravelBefore = 0, TravelAfter = 0;
};

// Writes the strokes of History's applied states for a destination picture
// of Width x Height pixels, in stroke order, in the picture's pixel
// coordinates (or on the paper, centred within its margins, keeping the
// aspect). Filled outlines run down the left side and back up the right
// side, even-odd, in the recorded colour with the opacity the stroke was
// painted with. Streamed through a buffer whatever the number of strokes;
// numbers have a point whatever the locale. Written beside the target and
// renamed over it when complete. Sets the progress position per state; the
// caller shows the window. Throws EBrellinError.
TSvgResult ExportSvg(const std::string& FileName, int Width, int Height, TBStates& History,
                     const TSvgOptions& Options);

}  // namespace brellin
