#include "render/UColorPanel.h"

#include <algorithm>
#include <cmath>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "base/Rounding.h"

namespace brellin {

namespace {

// The panel's own range errors carry no place or index: the widgets never
// cause them, only a caller that bypasses the events can.
[[noreturn]] void RaisePanelIndexError() {
  throw EBrellinError("Index out of bounds");
}

}  // namespace

const char* ColorModeCaption(TColorMode Mode) {
  switch (Mode) {
    case cmFixed:
      return "Fixed";
    case cmAuto:
      return "Auto";
    case cmVariants:
      return "Variants";
  }
  return "";
}

TColor32 TColorSettings::VariantColor(int Index) const {
  if (Index < 0 || Index >= VariantColorCount())
    RaiseIndexError("TColorSettings.VariantColor", Index);
  return VariantColors[size_t(Index)];
}

TColor32 StrokeColor(TColor32 Source, const TColorSettings& Settings, uint8_t HueVariation,
                     uint8_t SatVariation, uint8_t LightVariation) {
  const auto v = uint8_t(
      (int(RedComponent(Source)) + int(GreenComponent(Source)) + int(BlueComponent(Source))) / 3);
  TColor32 c = Source;
  switch (Settings.ColorMode) {
    case cmFixed:
      // Bright sources take the fore colour, dark ones the back colour.
      c = MixColors(Settings.ForeColor, Settings.BackColor, v);
      break;
    case cmVariants: {
      TColor32 base = clBlack32;
      if (!Settings.VariantColors.empty())
        base = Settings.VariantColors[size_t(Random(Settings.VariantColorCount()))];
      c = ScaleColor(base, v);
      break;
    }
    case cmAuto:
      break;
  }
  // A mode value outside the three (a corrupted setting) keeps the source
  // colour, like cmAuto, rather than painting an undefined colour.
  if (HueVariation != 0 || SatVariation != 0 || LightVariation != 0 || Settings.HueOffset != 0.0f ||
      Settings.SaturationOffset != 0.0f || Settings.LightnessOffset != 0.0f)
    VaryColor(c, HueVariation, SatVariation, LightVariation, Settings.HueOffset,
              Settings.SaturationOffset, Settings.LightnessOffset);
  return c;
}

// ---- TColorPanel

const char* TColorPanel::SliderCaption(TOffsetSlider Slider) {
  switch (Slider) {
    case osHue:
      return "Hue";
    case osSaturation:
      return "Saturation";
    case osBrightness:
      return "Brightness";
  }
  return "";
}

float TColorPanel::SliderToOffset(int Value) {
  return float(Value) / 256.0f;
}

int TColorPanel::OffsetToSlider(float Offset) {
  if (std::isnan(Offset)) return 0;
  const double scaled = std::clamp(double(Offset) * 256.0, double(SliderMin), double(SliderMax));
  return Round(scaled);
}

TColorPanel::TColorPanel() {
  ResetState();
}

const TColorPanel::TSwatch& TColorPanel::Swatch(int Index) const {
  if (Index < 0 || Index >= SwatchCount) RaiseIndexError("TColorPanel.Swatch", Index);
  return FSwatches[size_t(Index)];
}

void TColorPanel::Changed() {
  if (OnChange) OnChange(*this);
}

void TColorPanel::ShowMode(TColorMode Mode) {
  FShownMode = Mode;
  if (FDocument) FDocument->ColorMode = Mode;
  Changed();
}

void TColorPanel::ResetState() {
  FSwatches.fill(TSwatch{});
  FNextSwatch = 0;
  if (FDocument) FDocument->ClearVariantColors();
  // The sliders' change handlers set the document's offsets. They run even
  // when a slider already stood at 0, so a document whose offsets were set
  // behind the panel's back is brought to 0 too.
  for (int i = 0; i < 3; ++i) {
    FSliders[size_t(i)] = 0;
    SliderChanged(TOffsetSlider(i));
  }
}

void TColorPanel::Reset() {
  ResetState();
  Changed();
}

void TColorPanel::RefreshState() {
  if (!FDocument) {
    FForeShape = clWhite32;
    FBackShape = clBlack32;
    return;
  }
  FForeShape = FDocument->ForeColor;
  FBackShape = FDocument->BackColor;
  const int count = std::min(FDocument->VariantColorCount(), SwatchCount);
  for (int i = 0; i < SwatchCount; ++i)
    FSwatches[size_t(i)] =
        i < count ? TSwatch{false, FDocument->VariantColors[size_t(i)]} : TSwatch{};
  // Set with the change handlers detached: the document keeps its offsets.
  FSliders[osHue] = OffsetToSlider(FDocument->HueOffset);
  FSliders[osSaturation] = OffsetToSlider(FDocument->SaturationOffset);
  FSliders[osBrightness] = OffsetToSlider(FDocument->LightnessOffset);
}

void TColorPanel::Refresh() {
  RefreshState();
  Changed();
}

void TColorPanel::SyncVariantsState() {
  if (!FDocument) return;
  int n = 0;
  for (int i = 0; i < SwatchCount; ++i)
    if (!FSwatches[size_t(i)].Empty) n = i + 1;
  // Check for a gap before touching the document, so a failure leaves its
  // colours whole.
  for (int i = 0; i < n; ++i)
    if (FSwatches[size_t(i)].Empty) RaisePanelIndexError();
  FDocument->ClearVariantColors();
  for (int i = 0; i < n; ++i) FDocument->AddVariantColor(FSwatches[size_t(i)].Color | 0xFF000000u);
}

void TColorPanel::SyncVariants() {
  SyncVariantsState();
}

void TColorPanel::SetSwatchState(int Index, TColor32 Color) {
  if (Index < 0 || Index >= SwatchCount) RaisePanelIndexError();
  TSwatch& swatch = FSwatches[size_t(Index)];
  const TSwatch previous = swatch;
  swatch = TSwatch{false, Color | 0xFF000000u};
  try {
    SyncVariantsState();
  } catch (...) {
    // Keep the panel showing what the document holds.
    swatch = previous;
    throw;
  }
}

void TColorPanel::SetSwatch(int Index, TColor32 Color) {
  SetSwatchState(Index, Color);
  Changed();
}

void TColorPanel::VariantColorPicked(TColor32 Color) {
  // Refresh empties the swatches beyond the document's colours but keeps
  // NextSwatch, so NextSwatch may lie past an empty swatch. Filling it would
  // leave a gap that the document cannot take; the colour goes into the first
  // empty swatch instead, and a pick never fails.
  int index = FNextSwatch;
  for (int i = 0; i < index; ++i)
    if (FSwatches[size_t(i)].Empty) {
      index = i;
      break;
    }
  SetSwatchState(index, Color);
  FNextSwatch = (index + 1) % SwatchCount;
  Changed();
}

void TColorPanel::FixedColorsPicked(TColor32 Primary, TColor32 Secondary) {
  if (FDocument) {
    FDocument->ForeColor = Primary | 0xFF000000u;
    FDocument->BackColor = Secondary | 0xFF000000u;
  }
  Refresh();
}

float& TColorPanel::DocumentOffset(TOffsetSlider Slider) {
  switch (Slider) {
    case osSaturation:
      return FDocument->SaturationOffset;
    case osBrightness:
      return FDocument->LightnessOffset;
    case osHue:
      break;
  }
  return FDocument->HueOffset;
}

void TColorPanel::SliderChanged(TOffsetSlider Slider) {
  if (!FDocument) return;
  const float offset = SliderToOffset(FSliders[Slider]);
  float& target = DocumentOffset(Slider);
  if (target != offset) target = offset;
}

int TColorPanel::SliderValue(TOffsetSlider Slider) const {
  if (Slider > osBrightness) RaiseIndexError("TColorPanel.SliderValue", int(Slider));
  return FSliders[Slider];
}

void TColorPanel::SetSliderValue(TOffsetSlider Slider, int Value) {
  if (Slider > osBrightness) RaiseIndexError("TColorPanel.SetSliderValue", int(Slider));
  Value = std::clamp(Value, SliderMin, SliderMax);
  if (FSliders[Slider] == Value) return;
  FSliders[Slider] = Value;
  SliderChanged(Slider);
  Changed();
}

}  // namespace brellin
