#include "interaction/DialogModels.h"

#include <algorithm>
#include <cmath>

#include "analysis/BDibUtils.h"
#include "base/Rounding.h"
#include "interaction/ControlModels.h"

namespace brellin {

// ---------------------------------------------------------------------------
// Apply dialog

TApplyDialogModel::TApplyDialogModel() {
  SetRunning(false);
  SetSteps(5000);
}

void TApplyDialogModel::SetSteps(int N) {
  FSteps = N;
  Refresh();
}

void TApplyDialogModel::SetRunning(bool R) {
  if (R == FRunning) return;
  FRunning = R;
  Refresh();
  if (R) {
    if (OnStart) OnStart();
  } else if (OnStop) {
    OnStop();
  }
}

void TApplyDialogModel::Shown() {
  // Nothing is done until Start.
  FCurrentStep = 0;
  Refresh();
}

void TApplyDialogModel::Progress(int Step) {
  FCurrentStep = Step;
  if (Step >= FSteps) {
    SetRunning(false);
    CloseAction();
  } else if (Step % 20 == 0) {
    Refresh();
  }
}

void TApplyDialogModel::CloseAction() {
  SetRunning(false);
  if (OnClose) OnClose();
  if (OnCloseWindow) OnCloseWindow();
}

std::string TApplyDialogModel::StepLabel() const {
  return "Steps done: " + std::to_string(FCurrentStep);
}

int TApplyDialogModel::ProgressPercent() const {
  if (FSteps <= 0) return 0;
  return std::clamp(Round(double(FCurrentStep) / double(FSteps) * 100.0), 0, 100);
}

std::string TApplyDialogModel::ButtonCaption() const {
  return FRunning ? "Stop / Preview" : "Start";
}

// ---------------------------------------------------------------------------
// Render at resolution

double RoundTo2Decimals(double V) {
  return double(int64_t(V * 100.0 + 0.5)) * 0.01;
}

void TImageSizeModel::SetImageWidth(int W) {
  FImageWidth = W;
  FAspect = FImageHeight != 0 ? float(FImageWidth) / float(FImageHeight) : 1.0f;
}

void TImageSizeModel::SetImageHeight(int H) {
  FImageHeight = H;
  FAspect = FImageHeight != 0 ? float(FImageWidth) / float(FImageHeight) : 1.0f;
}

float TImageSizeModel::PixelsPerUnit() const {
  return UseCentimeters ? float(Res) / 2.54f : float(Res);
}

double TImageSizeModel::LengthFromPixels(int Pixels) const {
  const float u = PixelsPerUnit();
  return u > 0.0f ? RoundTo2Decimals(double(Pixels) / double(u)) : 0.0;
}

int TImageSizeModel::PixelsFromLength(double Length) const {
  return Round(Length * double(PixelsPerUnit()));
}

void TImageSizeModel::LengthsFromPixels() {
  HorizLength = LengthFromPixels(HorizPixels);
  VertLength = LengthFromPixels(VertPixels);
}

void TImageSizeModel::PixelsFromLengths() {
  HorizPixels = PixelsFromLength(HorizLength);
  VertPixels = PixelsFromLength(VertLength);
}

void TImageSizeModel::Shown() {
  HorizPixels = FImageWidth;
  VertPixels = FImageHeight;
  Res = Resolution;
  LengthsFromPixels();
}

void TImageSizeModel::HorizLengthEdited(double V) {
  HorizLength = V;
  VertLength = FAspect != 0.0f ? RoundTo2Decimals(V / double(FAspect)) : 0.0;
  PixelsFromLengths();
}

void TImageSizeModel::VertLengthEdited(double V) {
  VertLength = V;
  HorizLength = RoundTo2Decimals(V * double(FAspect));
  PixelsFromLengths();
}

void TImageSizeModel::ResEdited(int V) {
  Res = V;
  PixelsFromLengths();  // the physical size stays
}

void TImageSizeModel::HorizPixelsEdited(int V) {
  HorizPixels = V;
  VertPixels = FAspect != 0.0f ? Round(double(V) / double(FAspect)) : 0;
  LengthsFromPixels();
}

void TImageSizeModel::VertPixelsEdited(int V) {
  VertPixels = V;
  HorizPixels = Round(double(V) * double(FAspect));
  LengthsFromPixels();
}

void TImageSizeModel::SetCentimeters(bool Value) {
  UseCentimeters = Value;
  LengthsFromPixels();
}

std::string TImageSizeModel::GroupCaption() const {
  return UseCentimeters ? "Size in Centimeters" : "Size in Inches";
}

std::string TImageSizeModel::EstimateText() const {
  const int64_t bytes = int64_t(HorizPixels) * int64_t(VertPixels) * 3;
  std::string text;
  if (bytes > 1073741824)
    text = FormatGeneral(double(bytes) / 1073741824.0, 4) + " GBytes";
  else if (bytes > 1048576)
    text = FormatGeneral(double(bytes) / 1048576.0, 4) + " MBytes";
  else if (bytes <= 1024)
    text = FormatGeneral(double(bytes), 4) + " Bytes";
  else
    text = FormatGeneral(double(bytes) / 1024.0, 4) + " KBytes";
  return "Estimated Size:" + text;
}

// ---------------------------------------------------------------------------
// Project options

void TProjectOptionsModel::Shown() {
  Width = SuggestedWidth;
  Height = SuggestedHeight;
  AspectRatio = Height != 0 ? float(Width) / float(Height) : 1.0f;
}

void TProjectOptionsModel::WidthEdited(int W) {
  Width = W;
  Height = AspectRatio != 0.0f ? Round(double(W) / double(AspectRatio)) : Height;
}

void TProjectOptionsModel::HeightEdited(int H) {
  Height = H;
  Width = Round(double(H) * double(AspectRatio));
}

void TProjectOptionsModel::ResetToOriginal() {
  Width = OriginalWidth;
  Height = OriginalHeight;
}

std::string TProjectOptionsModel::OriginalText() const {
  return std::to_string(OriginalWidth) + " x " + std::to_string(OriginalHeight);
}

std::optional<std::string> TProjectOptionsModel::CloseRefusal() const {
  if (Width > OriginalWidth || Height > OriginalHeight)
    return std::string("Please select a size small or equal\rthan the original image");
  if (Width < 100 || Height < 100)
    return std::string("Please select larger values for the image size");
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Background selector

void TBackgroundSelectorModel::Shown() {
  FShownChecks = Checks;
  SolidColorMode();
}

void TBackgroundSelectorModel::SolidColorMode() {
  Checks.SolidColor = true;
  SelectColorEnabled = true;
  Checks.Image = false;
  LoadImageEnabled = false;
  TiledEnabled = StretchEnabled = false;
  Checks.Tiled = Checks.Stretch = false;
}

void TBackgroundSelectorModel::PictureMode() {
  Checks.SolidColor = false;
  SelectColorEnabled = false;
  Checks.Image = true;
  LoadImageEnabled = true;
  TiledEnabled = StretchEnabled = true;
  Checks.Tiled = true;
  Checks.Stretch = false;
}

void TBackgroundSelectorModel::ClickSolidColor() {
  Checks.SolidColor = !Checks.SolidColor;
  if (Checks.SolidColor)
    SolidColorMode();
  else
    PictureMode();
}

void TBackgroundSelectorModel::ClickImage() {
  Checks.Image = !Checks.Image;
  if (Checks.Image)
    PictureMode();
  else
    SolidColorMode();
}

void TBackgroundSelectorModel::ClickTiled() {
  if (!TiledEnabled) return;
  Checks.Tiled = !Checks.Tiled;
  Checks.Stretch = !Checks.Tiled;
}

void TBackgroundSelectorModel::ClickStretch() {
  if (!StretchEnabled) return;
  Checks.Stretch = !Checks.Stretch;
  Checks.Tiled = !Checks.Stretch;
}

uint8_t TBackgroundSelectorModel::BackgroundMode() const {
  if (Checks.SolidColor) return 0;
  if (!BackgroundPicture || BackgroundPicture->Width() == 0 || BackgroundPicture->Height() == 0)
    return 0;
  if (Checks.Tiled) return 2;
  if (Checks.Stretch) return 1;
  return 0;
}

std::optional<std::string> TBackgroundSelectorModel::OkRefusal() const {
  if (!Checks.Image) return std::nullopt;
  if (!BackgroundPicture) return std::string("Please select an image or choose solid background!");
  if (BackgroundPicture->Width() == 0 || BackgroundPicture->Height() == 0)
    return std::string("Please select a valid image!");
  return std::nullopt;
}

void TBackgroundSelectorModel::Cancelled() {
  BackgroundPicture.reset();
  Checks = FShownChecks;
  SelectColorEnabled = Checks.SolidColor;
  LoadImageEnabled = TiledEnabled = StretchEnabled = Checks.Image;
}

TColor32 ColorSquarePixel(int X, int Y, int S) {
  uint8_t r, g, b;
  HSLToRGB(r, g, b, float(X) / 255.0f, float(S) / 255.0f, float(Y) / 255.0f);
  return Color32(r, g, b, 255);
}

}  // namespace brellin
