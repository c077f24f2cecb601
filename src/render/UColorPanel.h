// Stroke colours: the rule that turns a stroke's sampled colour into the
// colour it is painted in, the document's colour settings that rule reads,
// and the colour panel's state (mode buttons, variant swatches, the fixed
// colours and the three offset sliders) without any widget.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/Types.h"

namespace brellin {

enum TColorMode : uint8_t { cmFixed = 0, cmAuto = 1, cmVariants = 2 };

// Caption of the mode's button: "Fixed", "Auto", "Variants".
const char* ColorModeCaption(TColorMode Mode);

// The colour settings of a document. The document owns one; the colour panel
// edits it through a pointer. The defaults are those of a document created
// from a picture.
struct TColorSettings {
  TColorMode ColorMode = cmAuto;
  TColor32 ForeColor = clWhite32;
  TColor32 BackColor = clBlack32;
  std::vector<TColor32> VariantColors;
  // Each in -0.5..0.5 when set through the panel.
  float HueOffset = 0.0f;
  float SaturationOffset = 0.0f;
  float LightnessOffset = 0.0f;

  void AddVariantColor(TColor32 Color) { VariantColors.push_back(Color); }
  void ClearVariantColors() { VariantColors.clear(); }
  int VariantColorCount() const { return int(VariantColors.size()); }
  // Raises "TColorSettings.VariantColor: Index out of bounds(i)" outside the list.
  TColor32 VariantColor(int Index) const;
};

// The colour a stroke is painted in, from Source (the colour the line sampler
// scanned along it), the document's settings and the style's three
// variations. Draws from the program's random generator, in this order: the
// variant colour (cmVariants with at least one colour), then hue, saturation
// and lightness (only when a variation or an offset is non-zero).
TColor32 StrokeColor(TColor32 Source, const TColorSettings& Settings, uint8_t HueVariation,
                     uint8_t SatVariation, uint8_t LightVariation);

// The colour panel of the main window as a model: the widgets show its state
// and forward their events to it. Without a document (SetDocument(nullptr))
// the events change only the panel.
class TColorPanel {
 public:
  using TNotifyEvent = std::function<void(TColorPanel& Sender)>;

  static constexpr int SwatchCount = 10;
  // The three option panels' colour ($EFE4DE as a Windows colour).
  static constexpr TColor32 PanelColor = Color32(0xDE, 0xE4, 0xEF);

  enum TOffsetSlider : uint8_t { osHue = 0, osSaturation = 1, osBrightness = 2 };
  static constexpr int SliderMin = -128;
  static constexpr int SliderMax = 128;
  // "Hue", "Saturation", "Brightness".
  static const char* SliderCaption(TOffsetSlider Slider);
  // Slider position to offset: Value / 256, a float.
  static float SliderToOffset(int Value);
  // Offset to slider position: Offset x 256 rounded half to even, kept in
  // SliderMin..SliderMax (NaN gives 0).
  static int OffsetToSlider(float Offset);

  // An empty swatch shows white with a diagonal cross; a filled one its colour.
  struct TSwatch {
    bool Empty = true;
    TColor32 Color = clWhite32;
  };

  // All option panels hidden, no mode button down, then Reset.
  TColorPanel();

  // The current document's colour settings, or nullptr without a document.
  // Not owned. Does not refresh: the main window calls Refresh.
  void SetDocument(TColorSettings* Document) { FDocument = Document; }
  TColorSettings* Document() const { return FDocument; }

  // Fired after every change of what the panel shows.
  TNotifyEvent OnChange;

  // ---- What the widgets show.
  // The mode whose button is down and whose option panel is visible; none
  // until a mode button is first clicked.
  std::optional<TColorMode> ShownMode() const { return FShownMode; }
  bool ModeButtonDown(TColorMode Mode) const { return FShownMode == Mode; }
  bool OptionPanelVisible(TColorMode Mode) const { return FShownMode == Mode; }
  bool ResetButtonVisible() const { return FShownMode == cmVariants; }
  int NextSwatch() const { return FNextSwatch; }
  // Raises "TColorPanel.Swatch: Index out of bounds(i)" outside 0..9.
  const TSwatch& Swatch(int Index) const;
  TColor32 ForeShapeColor() const { return FForeShape; }
  TColor32 BackShapeColor() const { return FBackShape; }
  int SliderValue(TOffsetSlider Slider) const;

  // ---- Operations.
  // All swatches empty, NextSwatch 0, the document's variant colours cleared
  // and its three offsets and the sliders 0.
  void Reset();
  // Shows the document's state: fore and back shapes, variant swatches (the
  // rest empty), slider positions (the document's offsets are not written
  // back). Without a document the shapes show white and black and the
  // swatches stay. NextSwatch is kept.
  void Refresh();
  // Fills swatch Index (alpha forced to 255), then SyncVariants. Raises
  // "Index out of bounds" outside 0..9.
  void SetSwatch(int Index, TColor32 Color);
  // The document's variant colours := swatches 0..n-1, n being one past the
  // last filled swatch. An empty swatch below n raises "Index out of bounds"
  // and leaves the document's colours as they were.
  void SyncVariants();

  // ---- Events of the widgets.
  void FixedButtonClick() { ShowMode(cmFixed); }
  void AutoButtonClick() { ShowMode(cmAuto); }
  void VariantsButtonClick() { ShowMode(cmVariants); }
  // The main window presses the button matching the document's mode.
  void ClickModeButton(TColorMode Mode) { ShowMode(Mode); }
  void ResetButtonClick() { Reset(); }
  // A colour picked in the variants panel's selector fills NextSwatch, which
  // then moves on (after 9 back to 0). When an empty swatch lies below
  // NextSwatch (after a Refresh), the colour fills the first empty one.
  void VariantColorPicked(TColor32 Color);
  // The fixed panel's selector: primary and secondary colour become the
  // document's fore and back colours (opaque), then Refresh.
  void FixedColorsPicked(TColor32 Primary, TColor32 Secondary);
  // The user moved a slider (the value is kept in SliderMin..SliderMax). On a
  // change, the document's offset := Value / 256 when it differs.
  void SetSliderValue(TOffsetSlider Slider, int Value);

 private:
  void ShowMode(TColorMode Mode);
  void ResetState();
  void SetSwatchState(int Index, TColor32 Color);
  void RefreshState();
  void SyncVariantsState();
  void SliderChanged(TOffsetSlider Slider);
  float& DocumentOffset(TOffsetSlider Slider);
  void Changed();

  TColorSettings* FDocument = nullptr;
  std::optional<TColorMode> FShownMode;
  int FNextSwatch = 0;
  std::array<TSwatch, SwatchCount> FSwatches{};
  TColor32 FForeShape = clWhite32;
  TColor32 FBackShape = clBlack32;
  std::array<int, 3> FSliders{0, 0, 0};
};

}  // namespace brellin
