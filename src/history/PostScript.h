// The drawing as a PostScript file: every stroke of the applied undo states
// becomes one filled polygon in its colour, centred on an A4 portrait page.
#pragma once

#include <string>

namespace brellin {

class TBStates;

// Writes the strokes of History's applied states for a destination picture
// of Width x Height pixels, the drawing filling Ratio of the page (0.8).
// Numbers have four decimals and a point whatever the locale; lines end in
// LF CR. Written through a TSafeOutput, so a failure leaves an earlier file
// of that name as it was.
// Sets the progress position per state; the caller shows the window.
void ExportPostScript(const std::string& FileName, int Width, int Height, float Ratio,
                      TBStates& History);

}  // namespace brellin
