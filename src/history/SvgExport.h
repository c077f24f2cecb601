// The drawing as an SVG file: every stroke of the applied undo states as one
// filled outline, or, for pen plotters, as one centre line per stroke in a
// layer per pen (a layer as plotter software reads one, numbered in
// plotting order), all in one file or one file per pen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  // In the file's units: a line that starts or ends this near the end of the
  // line plotted before it continues that line instead of lifting the pen.
  double Join = 0;
  // One file per pen, named by PenFileName, each the whole page.
  bool SplitPens = false;
  // Called with the names of the files about to be written, before any of
  // them is touched; may throw to refuse them.
  std::function<void(const std::vector<std::string>&)> BeforeWriting;
};

// Centre lines: one pen's layer.
struct TSvgLayerResult {
  TColor32 Pen = 0;
  int64_t LinesBeforeJoin = 0, Lines = 0;  // each line is one lift of the pen
  double Travel = 0;                       // pen-up travel as written
  std::string File;                        // with SplitPens
};

struct TSvgResult {
  int64_t Paths = 0;            // paths or polylines written
  int64_t PathsBeforeJoin = 0;  // centre lines
  int Layers = 0;               // pens with lines (centre lines)
  // Centre lines: the distance the raised pen moves, in the file's units
  // (pixels, or millimetres on paper), in recorded order, once ordered and as
  // written (ordered and joined). Every pen starts at the page's corner.
  double TravelBefore = 0, TravelOrdered = 0, TravelAfter = 0;
  std::vector<TSvgLayerResult> PerLayer;  // in plotting order, lightest first
};

// "plot.svg" and 2 give "plot-2.svg".
std::string PenFileName(const std::string& FileName, int Number);

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
