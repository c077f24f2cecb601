// What the main window decides, apart from its widgets: the parameter
// gauges and how each maps to the current style or the document, the panels
// each tool shows, the 3D label and the brush size preview.
#pragma once

#include <string>
#include <vector>

#include "base/Bitmap32.h"

namespace brellin {

class TBStyle;
class TDualImage;

enum TParameterGaugeId {
  pgWidth,
  pgAlpha,
  pgLength,
  pgHueVar,
  pgSatVar,
  pgLightVar,
  pgScanWidth,
  pgBorderLimit,
  pgPrecision,
  pgBump,
  pgBumpLight,
  pgBumpSoft,
  pgSize,
  pgDensity,
  pgCount
};

struct TParameterGauge {
  const char* Name;     // the control's name, e.g. "gaWidth"
  const char* Panel;    // the floating panel that holds it
  const char* Caption;  // its label
  float Min, Max;
  bool LogScale;
  float Default;  // the form's value before any document
  bool Integer;
  bool Preview;  // a change redraws the style preview (at the gauge's release)
};

const TParameterGauge& ParameterGauge(int Id);

// The value the gauge shows for what the style or document holds.
float ParameterShownValue(int Id, const TBStyle& Style, const TDualImage& Document);
// A change of the gauge: compares the gauge's value (rounded half to even
// for the integer gauges and Bumpiness) with the held value as the gauge
// shows it and writes it when they differ. Returns whether it wrote.
bool ApplyParameter(int Id, float GaugeValue, TBStyle& Style, TDualImage& Document);
// What the gauges show without a document (each still clamped by its gauge).
float ParameterValueWithoutDocument(int Id, float Current);

// "[Enabled]" when Bumpiness x Light Intensity (the gauges' values) is above 0.
std::string ReliefLabel(float Bumpiness, float LightIntensity);

// The bottom panels a tool shows; tools 0 and 2 change nothing.
struct TToolPanels {
  bool Changes = false;
  bool Style = false, ProjectInfo = false, SizeDensity = false, Patterns = false;
};
TToolPanels PanelsForTool(int Tool);

// The brush size preview: the spray circle of Radius with Density + 1 dots
// drawn with the program's random generator, on a W x H picture filled with
// Panel. Returns the scale text ("72.9%") when the circle had to shrink to
// fit, else an empty text.
std::string DrawSizePreview(TBitmap32& Preview, int W, int H, int Radius, int Density,
                            TColor32 Panel);

// The style list's entry for a style: its name, marked when modified (the
// first style never shows the mark).
struct TStyleListEntry {
  std::string Name;
  bool NotSaved = false;
  std::string Text() const { return NotSaved ? Name + " (not saved) " : Name; }
};
TStyleListEntry StyleListEntry(const TBStyle& Style, int Index);

}  // namespace brellin
