// The document: a source picture being turned into strokes on a destination
// picture, with the feature map, the colour settings, the background, the
// brush radius and density of the tools, two overlays and a brush cursor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "domain/PictureView.h"
#include "render/UColorPanel.h"

namespace brellin {

class TBStyle;
class TLineSampler;
class TPersistentObjectManager;

// What painting needs of the undo history: a state opened by the outermost
// edit, the strokes it records and its closing. The history proper plugs in
// here; without one, nothing is recorded.
class TEditRecorder {
 public:
  virtual ~TEditRecorder() = default;
  // Opens a state that copies the feature map and the destination.
  virtual void BeginState(const TBitmap32& Feature, const TBitmap32& Destination) = 0;
  virtual void AddStroke(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                         uint16_t ReliefParams, int32_t BrushId, uint8_t Alpha,
                         TColor32 Colour) = 0;
  // Keeps the part of the state's copies inside Dirty and pushes the state.
  virtual void PushState(const TRect& Dirty) = 0;
};

// The pen pressure of the tablet (1.0 without a pen); the tablet support
// installs its reading here.
void SetPressureSource(std::function<double()> Source);
double PressureFactor();

// Spray count: (Round(400 D / L) + 3 L) div W, the sum in 64 bits.
int32_t SprayCount(int32_t L, int32_t D, int32_t W);

class TDualImage {
 public:
  // Creates the document on the source view's picture: computes the feature
  // map (under the progress window) and puts the overlay and cursor layers
  // into the source view.
  TDualImage(TPictureView* SourceView, float Scale, TPictureView* DestinationView);
  ~TDualImage();
  TDualImage(const TDualImage&) = delete;
  TDualImage& operator=(const TDualImage&) = delete;

  // Painting. PaintAt must be called inside an edit.
  void PaintAt(int X, int Y);
  void SprayAt(int X, int Y);
  void CommitStroke(TLineSampler& Sampler);

  // Brackets one painting action; brackets nest. EndEdit of the outermost
  // bracket pushes the state, or ends with a silent stop when nothing was painted.
  void BeginEdit();
  void EndEdit();

  // Background.
  void FillBackground(TBitmap32* Bitmap = nullptr);
  void SetBackgroundPicture(const TBitmap32* Picture);
  void SetBackgroundMode(uint8_t Mode);
  // The destination := background (recorded strokes come with the history).
  void RerenderDestination();

  // A direction byte where the feature map is too weak: the hint grid.
  uint8_t DirectionHint(int X, int Y);

  // Settings written by the user interface.
  void SetDensity(int Value) { Density = Value; }
  void SetBrushRadius(int Value);
  void SetViewBorders(bool Value);
  void SetViewDirections(bool Value);
  void SetStyle(TBStyle* Value) { Style = Value; }
  void SetActiveView(TPictureView* View);
  void SetCursorPoint(TPoint P);
  void SetCursorKind(uint8_t Kind);

  TBitmap32& Source() { return SourceView->Bitmap(); }
  TBitmap32& Destination() { return DestinationView->Bitmap(); }

  bool NeedsRerender = false;
  int HintColumns = 0, HintRows = 0;
  TEditRecorder* Recorder = nullptr;  // not owned
  TPictureView* DestinationView;
  TPictureView* SourceView;
  TBitmap32 FeatureMap;
  float Scale = 1.0f;
  int Density = 50;
  int BrushRadius = 50;
  TPersistentObjectManager* PatternLibrary = nullptr;  // not owned
  TPersistentObjectManager* BrushLibrary = nullptr;    // not owned
  bool AutoMode = false;
  TRect DirtyRect = EmptyRect;
  TPoint CursorPoint;
  uint8_t CursorKind = 0;
  std::vector<uint8_t> DirectionHints;
  bool ViewBorders = false;
  bool ViewDirections = false;
  std::function<void(TDualImage&)> OnChange;
  // ColorMode, ForeColor, BackColor, VariantColors and the three offsets.
  TColorSettings Colors;
  bool Modified = false;
  TPictureView* ActiveView;
  TBStyle* Style = nullptr;  // not owned
  std::string ProjectFileName;
  int EditDepth = 0;
  bool StraightLines = false;
  uint8_t BackgroundMode = 0;
  std::unique_ptr<TBitmap32> BackgroundPicture;
  TColor32 BackgroundColor = 0;

 private:
  class TOverlayLayer;
  class TCursorLayer;
  std::unique_ptr<TOverlayLayer> FOverlayLayer;
  std::unique_ptr<TCursorLayer> FCursorLayer;
  friend class TOverlayLayer;
  friend class TCursorLayer;
};

}  // namespace brellin
