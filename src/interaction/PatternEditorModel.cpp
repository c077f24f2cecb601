#include "interaction/PatternEditorModel.h"

#include <algorithm>

#include "curves/PolyBezier.h"

namespace brellin {

TPatternEditorModel::TPatternEditorModel(TPictureView& View)
    : FView(View), FSavedEvents(View.Events) {
  FView.Bitmap().SetSize(PatternAreaSize, PatternAreaSize);
  FView.Bitmap().Clear(clWhite32);
  FLayer = std::make_unique<TPolyBezierLayer>(&FView);
  FLayer->SetOnChange([this](TPolyBezierLayer&) { LayerChanged(); });
  FPointer = std::make_unique<TPointerInputController>(*FLayer);
  FCurve = std::make_unique<TAddCurveInputController>(*FLayer);
  // The pointer is current from the start without being activated: on a
  // layer alone activation only resets its gesture.
  // The mouse stays grabbed when a drag leaves the area; points taken far
  // outside it would make a pattern file that no longer loads, so they stop
  // at the limit the file reader accepts.
  const auto in = [](int V) { return std::clamp(V, -MaxPatternCoordinate, MaxPatternCoordinate); };
  TViewEvents& e = FView.Events;
  e = TViewEvents();
  e.OnMouseDown = [this, in](TPictureView& V, TMouseButton B, TShiftState S, int X, int Y,
                             TPaintLayer* L) { CurrentTool().MouseDown(V, B, S, in(X), in(Y), L); };
  e.OnMouseMove = [this, in](TPictureView& V, TShiftState S, int X, int Y, TPaintLayer* L) {
    CurrentTool().MouseMove(V, S, in(X), in(Y), L);
  };
  e.OnMouseUp = [this, in](TPictureView& V, TMouseButton B, TShiftState S, int X, int Y,
                           TPaintLayer* L) { CurrentTool().MouseUp(V, B, S, in(X), in(Y), L); };
}

TPatternEditorModel::~TPatternEditorModel() {
  FView.Events = FSavedEvents;
  FPointer.reset();
  FCurve.reset();
  FLayer.reset();
}

TAbstractInputController& TPatternEditorModel::CurrentTool() {
  if (FTool == ptCurve) return *FCurve;
  return *FPointer;
}

void TPatternEditorModel::SelectTool(TTool Tool) {
  CurrentTool().Deactivate();
  FLayer->SetCapturing(false);
  FTool = Tool;
  CurrentTool().Activate();
  FView.SetCursor(Tool == ptCurve ? crCross : crArrow);
}

void TPatternEditorModel::ResetGestures() {
  FPointer->Deactivate();
  FCurve->Deactivate();
  FCurve->Points.clear();
  FLayer->SetCapturing(false);
}

void TPatternEditorModel::Open(TPattern* Pattern) {
  ResetGestures();
  FPattern = Pattern;
  FOriginal.clear();
  FCurrentFrame = 0;
  if (FPattern == nullptr) {
    FLoading = true;
    FLayer->Clear();
    FLoading = false;
    return;
  }
  for (const auto& f : FPattern->Frames) FOriginal.push_back(f->Curves);
  // A pattern read from a file holds only its frames with curves; the empty
  // slots get frames of their own so that drawing there has a frame to go to.
  while (FPattern->FrameCount() < MinSlots) FPattern->AddFrame(std::make_unique<TPatternFrame>());
  SelectFrame(0);
}

void TPatternEditorModel::Revert() {
  if (FPattern == nullptr) return;
  ResetGestures();
  // The frames stay the same objects: only their curves go back, and the
  // frames added for empty slots go.
  const size_t n = FOriginal.size();
  for (size_t i = 0; i < n && i < FPattern->Frames.size(); ++i)
    FPattern->Frames[i]->Curves = FOriginal[i];
  if (FPattern->Frames.size() > n) FPattern->Frames.resize(n);
  FCurrentFrame = 0;
}

void TPatternEditorModel::Close() {
  ResetGestures();
  FPattern = nullptr;
  FOriginal.clear();
  FCurrentFrame = 0;
  FLoading = true;
  FLayer->Clear();
  FLoading = false;
}

int TPatternEditorModel::SlotCount() const {
  return FPattern ? std::max(MinSlots, FPattern->FrameCount()) : 0;
}

void TPatternEditorModel::SelectFrame(int Index) {
  if (FPattern == nullptr) return;
  // Raises before anything changes for a frame the pattern lacks.
  const std::vector<TBezierSegment> curves = FPattern->GetFrame(Index)->Curves;
  ResetGestures();
  FCurrentFrame = Index;
  FLoading = true;
  try {
    FLayer->Clear();
    for (const TBezierSegment& c : curves) {
      TPolyBezier* p = FLayer->AddPolyBezier(std::make_unique<TPolyBezier>(c.P0));
      p->AddBezierSegment(c.P1, c.P2, c.P3);
    }
  } catch (...) {
    FLoading = false;
    throw;
  }
  FLoading = false;
  FView.Repaint();
  if (OnFrameSelected) OnFrameSelected(Index);
}

void TPatternEditorModel::LayerChanged() {
  if (FLoading || FPattern == nullptr) return;
  std::vector<TBezierSegment> curves;
  for (const auto& c : FLayer->Curves)
    for (int s = 0; s < c->SegmentCount(); ++s) curves.push_back(c->GetBezier(s));
  TPatternFrame& frame = *FPattern->GetFrame(FCurrentFrame);
  // The layer also reports colour changes made while it paints; those leave
  // the frame as it is and need no redrawing.
  if (curves == frame.Curves) return;
  frame.Curves = std::move(curves);
  FView.Repaint();
  if (OnFramesChanged) OnFramesChanged();
}

void TPatternEditorModel::DrawThumbnail(int Index, TBitmap32& Target) const {
  Target.Clear(ThumbnailGrey);
  if (FPattern == nullptr) return;
  TBitmap32* saved = FPattern->PreviewTarget;
  FPattern->SetPreviewTarget(&Target);
  try {
    FPattern->DrawFrame(Index, true);
  } catch (...) {
    FPattern->SetPreviewTarget(saved);
    throw;
  }
  FPattern->SetPreviewTarget(saved);
}

}  // namespace brellin
