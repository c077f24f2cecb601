// The pattern editor without its window: a curve layer on the drawing
// area's view, the pointer and curve tools on that layer alone, and the
// bookkeeping of the pattern's frames. Every change of the layer is written
// at once into the frame being edited; what the pattern held when editing
// began can be put back.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "domain/PictureView.h"
#include "domain/PolyBezierLayer.h"
#include "interaction/InputController.h"
#include "library/Patterns.h"

namespace brellin {

class TPatternEditorModel {
 public:
  enum TTool { ptPointer, ptCurve };
  // The editor always offers at least this many frame slots.
  static constexpr int MinSlots = 5;
  // The thumbnails' background, opaque light grey.
  static constexpr TColor32 ThumbnailGrey = 0xFFCCCCCCu;

  // Puts the curve layer on View, gives View a white picture of the drawing
  // area's size and routes its mouse events (not its keys or wheel) to the
  // current tool.
  explicit TPatternEditorModel(TPictureView& View);
  ~TPatternEditorModel();
  TPatternEditorModel(const TPatternEditorModel&) = delete;
  TPatternEditorModel& operator=(const TPatternEditorModel&) = delete;

  TPolyBezierLayer& Layer() { return *FLayer; }
  TPictureView& View() { return FView; }

  // Deactivates the current tool and activates the chosen one; the view's
  // cursor is the arrow for the pointer and the cross-hair for the curve.
  void SelectTool(TTool Tool);
  TTool Tool() const { return FTool; }
  TAbstractInputController& CurrentTool();
  TPointerInputController& PointerTool() { return *FPointer; }
  TAddCurveInputController& CurveTool() { return *FCurve; }

  // Starts editing Pattern (not owned): remembers its frames, gives it empty
  // frames up to MinSlots and shows frame 0.
  void Open(TPattern* Pattern);
  // Puts back the frames the pattern had when Open was called.
  void Revert();
  // Ends editing; the pattern keeps what it holds now.
  void Close();
  TPattern* Pattern() const { return FPattern; }

  // max(MinSlots, the pattern's frame count); 0 while nothing is open.
  int SlotCount() const;
  int CurrentFrame() const { return FCurrentFrame; }
  // Shows frame Index's curves on the layer; raises an index error for a
  // slot the pattern does not have.
  void SelectFrame(int Index);
  // Frame Index on light grey, fitted into Target (whose size is kept).
  void DrawThumbnail(int Index, TBitmap32& Target) const;

  // A frame's curves changed: the thumbnails are to be drawn again (the
  // scale of every thumbnail follows the extent of all frames).
  std::function<void()> OnFramesChanged;
  // Another frame became current.
  std::function<void(int Index)> OnFrameSelected;

 private:
  void LayerChanged();
  void ResetGestures();

  TPictureView& FView;
  std::unique_ptr<TPolyBezierLayer> FLayer;
  std::unique_ptr<TPointerInputController> FPointer;
  std::unique_ptr<TAddCurveInputController> FCurve;
  TTool FTool = ptPointer;
  TViewEvents FSavedEvents;
  TPattern* FPattern = nullptr;  // not owned
  // The curves of each frame the pattern had when editing began.
  std::vector<std::vector<TBezierSegment>> FOriginal;
  int FCurrentFrame = 0;
  bool FLoading = false;
};

}  // namespace brellin
