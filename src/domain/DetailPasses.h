// Detail passes: after the first painting, paint again with ever smaller
// strokes where the painting still differs from the photo. Each pass is one
// edit (one undo step) of ordinary recorded strokes.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "library/Styles.h"

namespace brellin {

constexpr int MaxDetailPasses = 4;
// Percent of full scale a cell's mean error must pass to get a seed.
constexpr float DefaultDetailThreshold = 4.0f;

// The style of pass Pass (1, 2, ...): Width, ScanWidth and Length times
// 1 / 2^Pass, rounded; Width at least DetailMinWidth or the style's own
// width when that is less, ScanWidth at least 1 (a band of no scan line
// samples no colour, so it would paint nothing), Length at least 3.
TStyleParams DetailPassStyle(const TStyleParams& Params, int Pass);

// Strokes narrower than this bring no finer detail, only less ink: a pass
// places its strokes at its own finer scale (DetailPassScale) but does not
// paint them thinner. Measured on the thin ink styles, whose 1 and 2 pixel
// strokes left the picture lighter than a longer run, not sharper.
constexpr int DetailMinWidth = 3;

// The scale of pass Pass: the style's Width times 1 / 2^Pass, rounded, at
// least 1. The error map is blurred and the seed cells are sized by it.
int DetailPassScale(const TStyleParams& Params, int Pass);

// How far a painting is from its source, per pixel: luminance plus half the
// two colour differences, after both pictures were blurred with a box of
// Window pixels (odd). In 1/16 of a level of 0..255.
struct TDetailErrorMap {
  int Width = 0, Height = 0;
  std::vector<uint16_t> Values;
  uint16_t At(int X, int Y) const { return Values[size_t(Y) * size_t(Width) + size_t(X)]; }
};
// Painting and Source have the same size.
void ComputeDetailErrorMap(const TBitmap32& Painting, const TBitmap32& Source, int Window,
                           TDetailErrorMap& Map);

// The seeds of a pass: the highest-error pixel of every Cell x Cell cell
// whose mean error is above ThresholdPercent of full scale and whose feature
// strength reaches BorderLimit; when there are more than MaxSeeds (> 0), the
// cells of highest mean error. Shuffled with the program's random generator.
struct TDetailSeeds {
  std::vector<TPoint> Seeds;
  int CellsAbove = 0;  // before the border limit and MaxSeeds
};
TDetailSeeds ChooseDetailSeeds(const TDetailErrorMap& Map, const TBitmap32& FeatureMap, int Cell,
                               float ThresholdPercent, uint8_t BorderLimit, int64_t MaxSeeds);

// Which seeds lie on bare paper: the painting there is still its background
// (Paper, the same size). Such a place was missed by the strokes before, not
// painted wrongly; a pass fills it with the style's own stroke, since a
// smaller one covers a fraction of the gap and leaves paper where the photo
// is dark. Smaller strokes refine what is painted.
std::vector<uint8_t> SeedsOnPaper(const std::vector<TPoint>& Seeds, const TBitmap32& Painting,
                                  const TBitmap32& Paper);

// What one pass did.
struct TDetailPassReport {
  int Pass = 0;
  int StrokeWidth = 0;
  int CellsAbove = 0;
  int Seeds = 0;
  int64_t Strokes = 0;
  int64_t PaperSeeds = 0;  // seeds painted with the style's own stroke
  bool Stopped = false;
};

}  // namespace brellin
