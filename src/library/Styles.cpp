#include "library/Styles.h"

#include <cstring>
#include <mutex>

#include "analysis/FeatureExtractor.h"
#include "analysis/JpegCodec.h"
#include "analysis/PngCodec.h"
#include "base/Errors.h"
#include "base/Rounding.h"
#include "base/Win1252.h"
#include "synthesis/EffectSampler.h"

namespace brellin {

extern const unsigned char kStyleSamplePng[];
extern const size_t kStyleSamplePngSize;

namespace {

std::function<bool()> gLoadingQuery;
TPersistentObjectManager* gPreviewBrushes = nullptr;

bool Loading() {
  return gLoadingQuery && gLoadingQuery();
}

std::unique_ptr<TPersistentObject> NewStyle() {
  return std::make_unique<TBStyle>();
}

// Longest style name a file may carry: names are shown in one line of the
// main window, and a forged length must not allocate gigabytes.
constexpr int32_t kMaxNameLength = 4096;
// Generous bounds around the controls' ranges (length 5..300, width 1..40,
// scan width 0.5..12, precision 6..100).
constexpr int32_t kMaxLength = 2000;
constexpr float kMaxWidth = 200.0f;
constexpr float kMaxScanWidth = 64.0f;
constexpr uint16_t kMaxPolyStep = 1000;

}  // namespace

void SetStyleLoadingQuery(std::function<bool()> Query) {
  gLoadingQuery = std::move(Query);
}
void SetStylePreviewBrushes(TPersistentObjectManager* Brushes) {
  gPreviewBrushes = Brushes;
}
TPersistentObjectManager* StylePreviewBrushes() {
  return gPreviewBrushes;
}

const TPersistentClass& TBStyle::StaticClass() {
  static const TPersistentClass cls("TBStyle", "bst", "style", NewStyle);
  return cls;
}

TBStyle::TBStyle() {
  PreviewDirty = true;
  SetBumpiness(0);
  SetSoftness(0);
  SetLightIntensity(30);
  SetPolyStep(12);
  SetLength(40);
  SetWidth(12.0f);
  SetScanWidth(2.0f);
  SetBorderLimit(100);
  SetAlpha(255);
  SetSatVariation(15);
  SetHueVariation(15);
  SetLightVariation(30);
  SetBrushId(0);
  Params.StopOnBorders = 0;
  SetModified(false);
}

void TBStyle::Touched() {
  PreviewDirty = true;
  if (!Loading()) SetModified(true);
}

int TBStyle::BorderLimitPercent() const {
  return 100 - Round(double(Params.BorderLimit) / 60.0 * 100.0);
}

void TBStyle::SetBumpiness(uint8_t Value) {
  Params.BumpSoft = uint8_t((Params.BumpSoft & 0xF0) | (Value & 15));
  Touched();
}
void TBStyle::SetSoftness(uint8_t Value) {
  Params.BumpSoft = uint8_t((Params.BumpSoft & 0x0F) | ((Value & 15) << 4));
  Touched();
}
void TBStyle::SetLightIntensity(uint8_t Value) {
  Store(Params.LightIntensity, Value);
}
void TBStyle::SetPolyStep(uint16_t Value) {
  Store(Params.PolyStep, Value);
}
void TBStyle::SetLength(int32_t Value) {
  Store(Params.Length, Value);
}
void TBStyle::SetWidth(float Value) {
  Params.Width = float(Round(double(Value)));
  Touched();
}
void TBStyle::SetScanWidth(float Value) {
  Store(Params.ScanWidth, Value);
}
void TBStyle::SetBorderLimit(int Percent) {
  Params.BorderLimit = uint8_t(Round(double(100 - Percent) / 100.0 * 60.0));
  Touched();
}
void TBStyle::SetStopOnBorders(bool Value) {
  Store(Params.StopOnBorders, uint8_t(Value ? 1 : 0));
}
void TBStyle::SetAlpha(uint8_t Value) {
  Store(Params.Alpha, Value);
}
void TBStyle::SetSatVariation(uint8_t Value) {
  Store(Params.SatVariation, Value);
}
void TBStyle::SetHueVariation(uint8_t Value) {
  Store(Params.HueVariation, Value);
}
void TBStyle::SetLightVariation(uint8_t Value) {
  Store(Params.LightVariation, Value);
}
void TBStyle::SetBrushId(int32_t Value) {
  Store(Params.BrushId, Value);
}

void TBStyle::StoreReset() {
  ResetParams = Params;
  PreviewDirty = true;
  SetModified(false);
}

void TBStyle::Reset() {
  Params = ResetParams;
  PreviewDirty = true;
  SetModified(false);
}

const TBitmap32& TBStyle::GetPreview() {
  UpdatePreview();
  return FPreview;
}

void TBStyle::UpdatePreview() {
  if (!PreviewDirty) return;
  FPreview.SetSize(StylePreviewWidth, StylePreviewHeight);
  FPreview.Clear(clWhite32);
  TBitmap32 feature = StyleSampleFeatures();
  TEffectSampler sampler(&feature, this, &FPreview);
  sampler.SetScale(float(FPreview.Width()) / float(feature.Width()));
  sampler.Run();
  PreviewDirty = false;
}

void TBStyle::LoadFromStream(TStream& Stream) {
  if (Stream.Remaining() < 4) throw EInvalidData("style file is too short");
  const int32_t n = Stream.ReadValue<int32_t>();
  if (n < 0 || n > kMaxNameLength || n > Stream.Remaining())
    throw EInvalidData("style name length " + std::to_string(n) + " does not fit the file");
  std::string name(static_cast<size_t>(n), '\0');
  Stream.ReadBuffer(name.data(), name.size());
  if (Stream.Remaining() < int64_t(sizeof(TStyleParams)))
    throw EInvalidData("style parameters are cut short");
  TStyleParams p;
  Stream.ReadBuffer(&p, sizeof p);
  // Values far outside what the controls produce would make every stroke
  // or the preview run for hours (a length of two billion steps); refuse them.
  if (p.Length < 1 || p.Length > kMaxLength)
    throw EInvalidData("style length " + std::to_string(p.Length) + " is out of range");
  if (!(p.Width >= 0.0f && p.Width <= kMaxWidth))
    throw EInvalidData("style width " + std::to_string(p.Width) + " is out of range");
  if (!(p.ScanWidth >= 0.0f && p.ScanWidth <= kMaxScanWidth))
    throw EInvalidData("style scan width " + std::to_string(p.ScanWidth) + " is out of range");
  if (p.PolyStep > kMaxPolyStep)
    throw EInvalidData("style precision " + std::to_string(100 - int(p.PolyStep)) +
                       " is out of range");
  p.Width = float(Round(double(p.Width)));
  TBitmap32 preview;
  LoadJPEG(preview, Stream);
  // Style files hold the name as Windows-1252 bytes.
  SetName(Win1252ToUtf8(name));
  Params = p;
  ResetParams = p;
  FPreview = std::move(preview);
  PreviewDirty = false;
  SetModified(false);
}

void TBStyle::SaveToStream(TStream& Stream) {
  const std::string name = Utf8ToWin1252(Name());
  Stream.WriteValue<int32_t>(int32_t(name.size()));
  Stream.WriteBuffer(name.data(), name.size());
  Stream.WriteBuffer(&Params, sizeof Params);
  ResetParams = Params;
  SaveJPEG(GetPreview(), Stream, 60);
}

const TBitmap32& StyleSamplePicture() {
  static const TBitmap32 picture = [] {
    TBytesStream s(kStyleSamplePng, kStyleSamplePngSize);
    TBitmap32 b;
    LoadPNG(b, s);
    return b;
  }();
  return picture;
}

const TBitmap32& StyleSampleFeatures() {
  static const TBitmap32 map = ExtractFeatures(StyleSamplePicture());
  return map;
}

}  // namespace brellin
