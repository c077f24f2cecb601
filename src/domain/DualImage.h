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
#include "base/Stream.h"
#include "base/Types.h"
#include "domain/PictureView.h"
#include "domain/PolyBezierLayer.h"
#include "history/BStates.h"
#include "render/UColorPanel.h"
#include "synthesis/LineSampler.h"

namespace brellin {

class TBStyle;
class TDocumentJournal;
class TLineSampler;
class TPersistentObjectManager;
class TStrokeQueue;
class TAbstractStrokeRenderer;

// The pen pressure of the tablet (1.0 without a pen); the tablet support
// installs its reading here.
void SetPressureSource(std::function<double()> Source);
double PressureFactor();

// Spray count: (Round(400 D / L) + 3 L) div W, the sum in 64 bits.
int32_t SprayCount(int32_t L, int32_t D, int32_t W);

// A pattern curve as a pattern stroke follows it: every coordinate scaled by
// BrushRadius / 105 (the radius at which a pattern is used at its drawn
// size), rounded half to even, then moved by (X, Y).
TBezierSegment PlacePatternCurve(const TBezierSegment& Curve, int BrushRadius, int X, int Y);

// A new number for each document made in this process.
uint64_t NextDocumentSerial();

class TDualImage {
 public:
  // Creates the document on the source view's picture: computes the feature
  // map (under the progress window) and puts the overlay and cursor layers
  // into the source view.
  TDualImage(TPictureView* SourceView, float Scale, TPictureView* DestinationView);
  // Creates the document from a project at Source's position: the source
  // picture, the destination picture, the feature map and the history. The
  // views' pictures are replaced only when everything was read; throws
  // EInvalidData naming what is wrong.
  TDualImage(TStream& Source, float Scale, TPictureView* DestinationView, TPictureView* SourceView);
  ~TDualImage();
  TDualImage(const TDualImage&) = delete;
  // Forgets both views (their owner goes first): takes the layers out of
  // them. Only destruction may follow.
  void DetachViews();
  TDualImage& operator=(const TDualImage&) = delete;

  // Painting. PaintAt must be called inside an edit.
  void PaintAt(int X, int Y);
  void SprayAt(int X, int Y);
  void CommitStroke(TLineSampler& Sampler);

  // Overlapped painting: from StartStrokeQueue to FinishStrokeQueue,
  // CommitStroke hands the strokes to a second thread that paints them in
  // order (see TStrokeQueue) while the next ones are traced. Meanwhile
  // nothing else may read or write the destination or use the brushes.
  void StartStrokeQueue();
  // Waits for every queued stroke; rethrows a failure of the painting thread.
  void FinishStrokeQueue();
  // Waits for the queued strokes and drops a failure (for leaving by another exception).
  void StopStrokeQueue();
  bool StrokeQueueRunning() const { return bool(FStrokeQueue); }
  // Waits until the queued strokes are painted, so that the destination
  // may be read (shown) until the next stroke; rethrows a failure of the
  // painting thread. Nothing to do without a queue.
  void SyncStrokes();
  // Declares that the steps of the run that follows draw X = Random(Width),
  // then Y = Random(Height), and call PaintAt(X, Y), nothing in between:
  // until FinishStrokeQueue the painting thread may then trace, in its idle
  // time, the stroke that follows the one being traced, from the state the
  // generator is foreseen to reach. A foreseen stroke is used only when the
  // generator really is in that state at the same point, so the picture and
  // every draw are exactly those of tracing it in turn.
  void ForecastSteps(int Width, int Height);
  // How many strokes were traced ahead and used.
  uint64_t StrokesTracedAhead() const { return FStrokesTracedAhead; }

  // Asks for the pixels a stroke from (X, Y) reads first; reads nothing.
  void PrefetchStepStart(int X, int Y) const;

  // Brackets one painting action; brackets nest. EndEdit of the outermost
  // bracket pushes the state, or ends with a silent stop when nothing was painted.
  void BeginEdit();
  void EndEdit();
  // Closes a bracket without recording it: the outermost one drops its
  // state and puts the destination and the feature map back as they were
  // at its BeginEdit (without a recorded history there is nothing to put
  // back). Waits for queued strokes first and drops their failures.
  void CancelEdit();

  // The history.
  void Undo();
  void Redo();
  void UndoToSnapshot();
  void TakeSnapshot();
  // Merges every applied state into one that holds all their strokes.
  void Compact();
  void IdleCompress() { History->IdleCompress(); }
  bool CanUndo() const { return History->CanUndo(); }
  bool CanRedo() const { return History->CanRedo(); }
  // A snapshot below the top state: without one, undoing to the last
  // snapshot would undo everything.
  bool CanUndoToSnapshot() const;
  bool CanTakeSnapshot();
  int64_t VectorCount() const { return History->VectorCount(); }
  int StateCount() const { return History->StateCount(); }
  // The memory the history's pictures take, as "12.5 Mb".
  std::string MemoryText() const;

  // Storage.
  // The project: the three pictures and the history (compact it first).
  void SaveToStream(TStream& Dest);
  // The recorded strokes as PostScript; then the document is not modified.
  void ExportPostScript(const std::string& FileName);
  // The recorded strokes as SVG outlines, over a rectangle of the paper
  // colour when the paper is a colour that shows; the document is not
  // modified afterwards either.
  void ExportSvg(const std::string& FileName);

  // Background.
  void FillBackground(TBitmap32* Bitmap = nullptr);
  void SetBackgroundPicture(const TBitmap32* Picture);
  void SetBackgroundMode(uint8_t Mode);
  // Paints every recorded stroke of the applied states into Bitmap with
  // coordinates multiplied by Factor.
  void RenderStrokes(TBitmap32& Bitmap, float Factor);
  // The destination := background + every recorded stroke.
  void RerenderDestination();
  // Records and paints a stroke read back from a journal, inside an edit,
  // with the brush of its Id as RenderStrokes finds it.
  void ReplayStroke(const TStrokeRecord& Stroke);

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
  // Whether painting actions are recorded in the history. A one-shot
  // render that keeps neither undo nor vectors can do without.
  bool RecordHistory = true;
  // Where finished edits and history events are journalled for recovery
  // after a crash; none by default. Not owned.
  TDocumentJournal* Journal = nullptr;
  std::unique_ptr<TBState> CurrentState;
  std::unique_ptr<TBStates> History;
  TPictureView* DestinationView;
  TPictureView* SourceView;
  TBitmap32 FeatureMap;
  float Scale = 1.0f;
  int Density = 50;
  int BrushRadius = 50;
  TPersistentObjectManager* PatternLibrary = nullptr;  // not owned
  TPersistentObjectManager* BrushLibrary = nullptr;    // not owned
  // Strokes follow the feature map's contours (true) or a curve of the
  // current pattern. A new document follows the contours, as the command
  // line does; the auto-sketch and pattern tools set it when chosen.
  bool AutoMode = true;
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
  // The picture file the document was made from; empty for a project or a
  // picture from the clipboard.
  std::string SourceFileName;
  // Tells this document from any earlier one, even one at the same address.
  const uint64_t Serial = NextDocumentSerial();
  int EditDepth = 0;
  bool StraightLines = false;
  // Clean edges: headings near the picture's edge come from inside it, and
  // stubs shorter than MinEdgeStroke pixels that touch the edge are not drawn.
  bool CleanEdges = false;
  static constexpr float MinEdgeStroke = 3.0f;
  // Strokes committed since the document was made (drawn or queued).
  uint64_t CommittedStrokes = 0;
  uint8_t BackgroundMode = 0;
  std::unique_ptr<TBitmap32> BackgroundPicture;
  TColor32 BackgroundColor = 0;

  // Strokes guided by curves: the band tool's curves on VectorLayer, and
  // one stroke along a given cubic. Ratio scales the width; 1.0 means the
  // pen pressure does.
  void PaintAlongCurves(float Ratio);
  void PaintAlongSegment(const TBezierSegment& Segment, float Ratio);
  // Whether the curve layer takes mouse presses (the auto-sketch and pattern
  // tools switch it off).
  void EnableCurveEditing() { VectorLayer->EnableEditing(); }
  void DisableCurveEditing() { VectorLayer->DisableEditing(); }
  // The editable curves over the active view; anti-aliased.
  std::unique_ptr<TPolyBezierLayer> VectorLayer;

 private:
  // Gives the destination's change notices back after the painting thread
  // stopped, and reports the strokes it painted.
  void ReleaseDestinationNotices();
  class TOverlayLayer;
  class TCursorLayer;
  void AddLayers();
  // The brush that paints a recorded stroke of brush Id.
  TAbstractStrokeRenderer& BrushForId(int32_t Id);
  // The sampler's settings from the style, for a stroke from Start: all but
  // the thickness. Draws the stroke's step count; its length follows the pen
  // Pressure.
  void SetUpSampler(TLineSampler& Sampler, TPoint Start, double Pressure);
  // SetUpSampler and the rest of an automatic stroke's settings.
  void SetUpAutoStroke(TLineSampler& Sampler, TPoint Start, double Pressure);
  void CommitStroke(TColor32 Average, const TArrayOfFixedPoint& Left,
                    const TArrayOfFixedPoint& Right);
  // Run's answer, less the edge stubs that clean edges leaves out.
  bool RunStroke(TLineSampler& Sampler) const;
  struct TForecast;
  // On the painting thread: traces the next stroke of the asked run, if
  // any; true if it did.
  bool RunForecast();
  // PaintAt's use of a foreseen stroke for (X, Y); true when it was the one.
  bool TakeForecast(TForecast& Forecast, int X, int Y, double Pressure);
  // The tracing thread is done with the run: withdrawn if not taken up,
  // else the painting thread stops tracing it.
  static void EndForecastRun(TForecast& Forecast);
  std::unique_ptr<TOverlayLayer> FOverlayLayer;
  std::unique_ptr<TCursorLayer> FCursorLayer;
  // Only while the stroke queue runs; goes after it (the painting thread uses it).
  std::unique_ptr<TForecast> FForecast;
  uint64_t FStrokesTracedAhead = 0;
  std::unique_ptr<TStrokeQueue> FStrokeQueue;
  TLineSamplerBuffers FSamplerBuffers;  // handed from stroke to stroke
  friend class TOverlayLayer;
  friend class TCursorLayer;
};

}  // namespace brellin
