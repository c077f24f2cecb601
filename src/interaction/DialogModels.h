// What the modal dialogs decide, apart from their widgets: the apply
// dialog's run state and progress, the size dialog's unit arithmetic, the
// project options' working size and refusals, the background selector's
// check boxes and mode. The desktop program's dialogs call these and show
// what they hold.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

// "Apply to the whole image".
class TApplyDialogModel {
 public:
  TApplyDialogModel();

  bool Running() const { return FRunning; }
  int Steps() const { return FSteps; }
  int CurrentStep() const { return FCurrentStep; }

  // The domain presets the step count; the spin box shows it.
  void SetSteps(int N);
  // The spin box was changed by the user.
  void StepsEdited(int N) { FSteps = N; }
  // Starting or stopping a run: OnStart runs the whole loop from inside
  // this call; a second click during it stops the loop through OnStop.
  void SetRunning(bool R);
  // The default button: Start, or "Stop / Preview" while running.
  void ToggleRunning() { SetRunning(!FRunning); }
  // The dialog is shown.
  void Shown();
  // The apply loop reached Step.
  void Progress(int Step);
  // "Close", Escape, or the end of a run: stops, tells OnClose, closes.
  void CloseAction();
  // The dialog was hidden in any way.
  void Hidden() { SetRunning(false); }

  std::string StepLabel() const;  // "Steps done: N"
  int ProgressPercent() const;    // 0..100
  std::string ButtonCaption() const;

  std::function<void()> OnStart, OnStop, OnClose;
  // The user interface: show the texts above at once; close the window.
  std::function<void()> OnRefresh, OnCloseWindow;

 private:
  void Refresh() {
    if (OnRefresh) OnRefresh();
  }
  bool FRunning = false;
  int FSteps = 5000;
  int FCurrentStep = 0;
};

// "Render at Resolution": the picture's size in pixels and in inches or
// centimetres at a resolution per inch, each edit updating the others.
class TImageSizeModel {
 public:
  // Setting either recomputes the aspect ratio from both.
  void SetImageWidth(int W);
  void SetImageHeight(int H);
  int ImageWidth() const { return FImageWidth; }
  int ImageHeight() const { return FImageHeight; }
  float AspectRatio() const { return FAspect; }
  int Resolution = 72;

  // The edits' contents.
  int HorizPixels = 0, VertPixels = 0, Res = 72;
  double HorizLength = 0.0, VertLength = 0.0;
  bool UseCentimeters = false;

  // On show: the pixel counts and resolution from the image, the lengths
  // from them.
  void Shown();
  void HorizLengthEdited(double V);
  void VertLengthEdited(double V);
  void ResEdited(int V);
  void HorizPixelsEdited(int V);
  void VertPixelsEdited(int V);
  void SetCentimeters(bool Value);

  std::string GroupCaption() const;  // "Size in Inches" / "Size in Centimeters"
  std::string EstimateText() const;  // "Estimated Size:2.515 GBytes"

  // Pixels per length unit, a length from pixels (2 decimals, halves up),
  // pixels from a length (half to even).
  float PixelsPerUnit() const;
  double LengthFromPixels(int Pixels) const;
  int PixelsFromLength(double Length) const;

 private:
  void LengthsFromPixels();
  void PixelsFromLengths();
  int FImageWidth = 800, FImageHeight = 600;
  float FAspect = 800.0f / 600.0f;
};

// Rounds to 2 decimals with halves up, as the size dialog shows lengths.
double RoundTo2Decimals(double V);

// "Project Options": the working size keeps the picture's proportions and
// may only shrink it, to at least 100 x 100.
class TProjectOptionsModel {
 public:
  int OriginalWidth = 0, OriginalHeight = 0;
  int SuggestedWidth = 0, SuggestedHeight = 0;
  int Width = 0, Height = 0;
  float AspectRatio = 1.0f;

  void Shown();
  void WidthEdited(int W);
  void HeightEdited(int H);
  void ResetToOriginal();
  std::string OriginalText() const;  // "2000 x 1500"
  // Checked on every close, whichever button: the error box's text, or
  // nothing when the dialog may close.
  std::optional<std::string> CloseRefusal() const;
};

// "Background Selector".
class TBackgroundSelectorModel {
 public:
  TColor32 BackgroundColor = clWhite32;
  std::shared_ptr<TBitmap32> BackgroundPicture;

  struct TChecks {
    bool SolidColor = true, Image = false, Tiled = false, Stretch = false;
    friend bool operator==(const TChecks&, const TChecks&) = default;
  };
  TChecks Checks;
  bool SelectColorEnabled = true, LoadImageEnabled = false;
  bool TiledEnabled = false, StretchEnabled = false;

  // On show: remembers the check boxes and starts in solid-colour mode.
  void Shown();
  // The user clicked a check box (it toggles first).
  void ClickSolidColor();
  void ClickImage();
  void ClickTiled();
  void ClickStretch();
  // A picture was loaded (it may be empty: a file that failed to load).
  void PictureLoaded(std::shared_ptr<TBitmap32> Picture) { BackgroundPicture = std::move(Picture); }

  // 0 solid colour, 1 stretched picture, 2 tiled picture. Without a
  // picture with pixels a picture mode is not possible: 0.
  uint8_t BackgroundMode() const;
  // "OK": the warning that keeps the dialog open, or nothing.
  std::optional<std::string> OkRefusal() const;
  // "Cancel": frees the picture and gives back the check boxes as shown.
  void Cancelled();

  void SolidColorMode();
  void PictureMode();

 private:
  TChecks FShownChecks;
};

// The colour selector's square: hue across, lightness down, at saturation S (0..255).
TColor32 ColorSquarePixel(int X, int Y, int S);

}  // namespace brellin
