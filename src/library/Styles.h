// Styles: named sets of the parameters that shape every stroke, stored one
// per ".bst" file with a preview picture painted in the style.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Bitmap32.h"
#include "library/PersistentObjects.h"

namespace brellin {

// The 28-byte parameter record; this layout is the file layout (little-endian).
struct TStyleParams {
  uint8_t BumpSoft = 0;  // bits 0-3 Bumpiness, bits 4-7 Softness
  uint8_t LightIntensity = 0;
  uint16_t PolyStep = 0;  // 100 - the "Precision" control
  int32_t Length = 0;
  float Width = 0.0f;
  float ScanWidth = 0.0f;
  uint8_t StopOnBorders = 0;
  uint8_t BorderLimit = 0;  // 0..59, see SetBorderLimit
  uint8_t Alpha = 0;
  uint8_t SatVariation = 0;
  uint8_t HueVariation = 0;
  uint8_t LightVariation = 0;
  uint8_t Reserved[2] = {0, 0};
  int32_t BrushId = 0;
};
static_assert(sizeof(TStyleParams) == 28, "the style record is 28 bytes in files");

constexpr int StylePreviewWidth = 235;
constexpr int StylePreviewHeight = 116;

class TBStyle : public TPersistentObject {
 public:
  static const TPersistentClass& StaticClass();
  const TPersistentClass& ClassType() const override { return StaticClass(); }

  // Every field at its default through the setters; not modified.
  TBStyle();

  TStyleParams Params;
  TStyleParams ResetParams;
  bool PreviewDirty = true;

  uint8_t Bumpiness() const { return Params.BumpSoft & 15; }
  uint8_t Softness() const { return Params.BumpSoft >> 4; }
  // The first two bytes of the record as one little-endian word.
  uint16_t ReliefParams() const { return uint16_t(Params.BumpSoft | (Params.LightIntensity << 8)); }
  // The value the "Border Limit" control shows: 100 - Round(BorderLimit / 60 * 100).
  int BorderLimitPercent() const;

  // Each setter stores the value, dirties the preview and, unless the
  // program is loading (see SetStyleLoadingQuery), marks the style modified.
  void SetBumpiness(uint8_t Value);  // low nibble of byte 0
  void SetSoftness(uint8_t Value);   // high nibble of byte 0
  void SetLightIntensity(uint8_t Value);
  void SetPolyStep(uint16_t Value);
  void SetLength(int32_t Value);
  void SetWidth(float Value);  // rounded to a whole number, halves to even
  void SetScanWidth(float Value);
  // Takes the control's percentage v and stores Round((100 - v) / 100 * 60).
  void SetBorderLimit(int Percent);
  void SetAlpha(uint8_t Value);
  void SetSatVariation(uint8_t Value);
  void SetHueVariation(uint8_t Value);
  void SetLightVariation(uint8_t Value);
  void SetBrushId(int32_t Value);
  void SetStopOnBorders(bool Value);

  void StoreReset();
  void Reset();
  // The preview, redrawn first when dirty.
  const TBitmap32& GetPreview();
  void UpdatePreview();

  // Name length, name bytes, the record, then the preview as a JPEG.
  // Hostile files: a negative or too long name length, a short record or a
  // broken JPEG raise EInvalidData.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;

 private:
  void Touched();
  template <typename T>
  void Store(T& Field, T Value) {
    Field = Value;
    Touched();
  }
  TBitmap32 FPreview;
};

// The program answers whether it is loading (start-up, opening a picture or
// a project): setters called then do not mark a style modified. Unset: never.
void SetStyleLoadingQuery(std::function<bool()> Query);

// The brush library previews are painted with (not owned); without one the
// built-in polygon brush paints them.
void SetStylePreviewBrushes(TPersistentObjectManager* Brushes);
TPersistentObjectManager* StylePreviewBrushes();

// The feature map of the sample picture previews are painted on, analysed
// on first use and kept for the rest of the run.
const TBitmap32& StyleSampleFeatures();
// The 256 x 128 sample picture itself.
const TBitmap32& StyleSamplePicture();

}  // namespace brellin
