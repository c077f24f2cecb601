#include "interaction/InputController.h"

#include <cmath>
#include <memory>

#include "base/Errors.h"
#include "base/Rounding.h"
#include "curves/PolyBezier.h"
#include "domain/DualImage.h"
#include "domain/PolyBezierLayer.h"

namespace brellin {

namespace {
std::function<TPoint()> gScreenPosition;
}  // namespace

void SetScreenPositionSource(std::function<TPoint()> Source) {
  gScreenPosition = std::move(Source);
}

TPoint ScreenPosition() {
  return gScreenPosition ? gScreenPosition() : TPoint{};
}

// ---------------------------------------------------------------------------

TAbstractInputController::TAbstractInputController(TDualImage& Document, uint8_t CursorKind)
    : CursorKind(CursorKind), Document(&Document), Layer(Document.VectorLayer.get()) {}

TAbstractInputController::TAbstractInputController(TPolyBezierLayer& Layer, uint8_t CursorKind)
    : CursorKind(CursorKind), Document(nullptr), Layer(&Layer) {}

void TAbstractInputController::MouseDown(TPictureView&, TMouseButton, TShiftState, int, int,
                                         TPaintLayer*) {
  if (Resizing) SilentStop();
}

void TAbstractInputController::MouseMove(TPictureView& Sender, TShiftState, int, int,
                                         TPaintLayer*) {
  if (!Resizing || !Document) return;
  const TPoint p = ScreenPosition();
  // The pointer's distance on the screen, in picture pixels at the view's zoom,
  // so the brush circle follows the pointer.
  const double scale = Sender.Scale > 0.0f ? double(Sender.Scale) : 1.0;
  Document->SetBrushRadius(
      Round(std::hypot(double(p.X) - double(AnchorX), double(p.Y) - double(AnchorY)) *
            double(Sender.PixelRatio) / scale));
  SilentStop();
}

void TAbstractInputController::MouseUp(TPictureView&, TMouseButton, TShiftState, int, int,
                                       TPaintLayer*) {
  if (Resizing) SilentStop();
}

void TAbstractInputController::KeyDown(TPictureView&, uint16_t& Key, TShiftState) {
  if (Key != vkShift || Resizing) return;  // a held key repeats its key-down
  Resizing = true;
  const TPoint p = ScreenPosition();
  AnchorX = p.X;
  AnchorY = p.Y;
}

void TAbstractInputController::KeyUp(TPictureView&, uint16_t& Key, TShiftState) {
  if (Key == vkShift) Resizing = false;
}

void TAbstractInputController::MouseWheelDown(TPictureView&, TShiftState, TPoint, bool&) {
  if (Document && Document->BrushRadius > 5) Document->SetBrushRadius(Document->BrushRadius - 1);
}

void TAbstractInputController::MouseWheelUp(TPictureView&, TShiftState, TPoint, bool&) {
  if (Document && Document->BrushRadius < 400) Document->SetBrushRadius(Document->BrushRadius + 1);
}

void TAbstractInputController::Activate() {
  if (Document) Document->SetCursorKind(CursorKind);
}

// ---------------------------------------------------------------------------

void TPointerInputController::MouseDown(TPictureView& Sender, TMouseButton Button,
                                        TShiftState Shift, int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, HitLayer);
  // The layer's hit test has made the curve under the pointer current and
  // selected its nearest point.
  Dragging = Layer->IsDisplayLayer(HitLayer);
  if (Dragging) Curve = Layer->CurrentPolyBezier();
}

void TPointerInputController::MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                        TPaintLayer* HitLayer) {
  TAbstractInputController::MouseMove(Sender, Shift, X, Y, HitLayer);
  if (Dragging && Curve) Curve->MoveSelectedPoint(X, Y, false);
}

void TPointerInputController::MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                      int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, HitLayer);
  Dragging = false;
}

void TPointerInputController::Activate() {
  TAbstractInputController::Activate();
  Dragging = false;
  if (Document) Document->EnableCurveEditing();
}

// ---------------------------------------------------------------------------

void TAddCurveInputController::BeginCurve(TPolyBezier* Curve, int X, int Y) {
  Points.clear();
  Curve->AddBezierSegment({X, Y}, {X, Y}, {X, Y});
  Layer->SetCapturing(true);
  Down = true;
}

bool TAddCurveInputController::TraceTo(int X, int Y) {
  Points.push_back({X, Y});
  TPolyBezier& c = *Layer->CurrentPolyBezier();
  if (Points.size() < 3) {
    c.MoveSelectedPoint(X, Y, true);  // a straight segment
    return false;
  }
  // H / 3 and 2H / 3 never fall halfway between two integers.
  const int h = int(Points.size()) - 1;
  const TPoint c1 = Points[size_t(Round(h / 3.0))];
  const TPoint c2 = Points[size_t(Round(2.0 * h / 3.0))];
  c.SetSegmentPoint(c1.X, c1.Y, 2);
  c.SetSegmentPoint(c2.X, c2.Y, 3);
  c.SetSegmentPoint(X, Y, 4);
  return true;
}

void TAddCurveInputController::MouseDown(TPictureView& Sender, TMouseButton Button,
                                         TShiftState Shift, int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, HitLayer);
  BeginCurve(Layer->AddPolyBezier(std::make_unique<TPolyBezier>(TPoint{X, Y})), X, Y);
}

void TAddCurveInputController::MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                         TPaintLayer* HitLayer) {
  TAbstractInputController::MouseMove(Sender, Shift, X, Y, HitLayer);
  if (Down) TraceTo(X, Y);
}

void TAddCurveInputController::MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                       int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, HitLayer);
  Down = false;
  Layer->SetCapturing(false);
  Points.clear();
}

void TAddCurveInputController::Activate() {
  TAbstractInputController::Activate();
  Down = false;
  if (Document) Document->EnableCurveEditing();
}

// ---------------------------------------------------------------------------

namespace {
float BandWidth(const TDualImage& Doc) {
  return float(PressureFactor()) * float(Doc.BrushRadius);
}
}  // namespace

void TBandInputController::MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                     int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, HitLayer);
  if (Down) return;  // a second button during the gesture
  auto curve = std::make_unique<TPolyBezier>(TPoint{X, Y});
  if (Document) curve->SetWidth(BandWidth(*Document));
  BeginCurve(Layer->AddPolyBezier(std::move(curve)), X, Y);
  if (!Document) return;
  try {
    Document->BeginEdit();
  } catch (...) {
    // Without a bracket there is no gesture to paint.
    Down = false;
    Layer->SetCapturing(false);
    Layer->Clear();
    Points.clear();
    throw;
  }
}

void TBandInputController::MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                     TPaintLayer* HitLayer) {
  TAbstractInputController::MouseMove(Sender, Shift, X, Y, HitLayer);
  if (!Down || !TraceTo(X, Y) || !Document) return;
  // Each move halves the weight of the earlier pressure.
  TPolyBezier& c = *Layer->CurrentPolyBezier();
  c.SetWidth((BandWidth(*Document) + c.Width) / 2.0f);
}

void TBandInputController::MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                   int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, HitLayer);
  if (!Down) return;
  Down = false;
  const float w = Layer->CurrentPolyBezier()->Width;
  Layer->SetCapturing(false);
  // The band leaves the layer and the bracket closes on every way out, so
  // that a failure does not swallow the next gestures into this one.
  struct TCleanUp {
    TBandInputController& C;
    ~TCleanUp() {
      C.Layer->Clear();
      C.Points.clear();
    }
  } cleanUp{*this};
  if (!Document) return;
  try {
    Document->PaintAlongCurves(w / float(Document->BrushRadius));
  } catch (...) {
    Document->CancelEdit();
    throw;
  }
  Document->EndEdit();
}

// ---------------------------------------------------------------------------

void TSprayInputController::Activate() {
  TAbstractInputController::Activate();
  Down = false;
  if (!Document) return;
  Document->AutoMode = FAutoMode;
  Document->DisableCurveEditing();
}

void TAutoInputController::MouseDown(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                     int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, HitLayer);
  if (Down || !Document) return;
  Failed = false;
  FEditOpen = false;
  try {
    Document->BeginEdit();
    FEditOpen = true;
    Document->SprayAt(X, Y);
  } catch (...) {
    Failed = true;
  }
  Down = true;
}

void TAutoInputController::MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                     TPaintLayer* HitLayer) {
  TAbstractInputController::MouseMove(Sender, Shift, X, Y, HitLayer);
  if (!Down || !Document) return;
  try {
    Document->SprayAt(X, Y);
  } catch (...) {
    Failed = true;
  }
}

void TAutoInputController::MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                   int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, HitLayer);
  if (!Down) return;
  Down = false;
  if (!Document || !FEditOpen) return;
  FEditOpen = false;
  // A failed gesture records nothing and leaves the pictures as they were.
  if (Failed)
    Document->CancelEdit();
  else
    Document->EndEdit();
}

void TPatternInputController::MouseDown(TPictureView& Sender, TMouseButton Button,
                                        TShiftState Shift, int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, HitLayer);
  if (Down) return;
  if (Document) {
    Document->BeginEdit();
    try {
      Document->SprayAt(X, Y);
    } catch (...) {
      // No gesture starts, so no mouse-up would close the bracket.
      Document->CancelEdit();
      throw;
    }
  }
  Down = true;
}

void TPatternInputController::MouseMove(TPictureView& Sender, TShiftState Shift, int X, int Y,
                                        TPaintLayer* HitLayer) {
  TAbstractInputController::MouseMove(Sender, Shift, X, Y, HitLayer);
  if (Down && Document) Document->SprayAt(X, Y);
}

void TPatternInputController::MouseUp(TPictureView& Sender, TMouseButton Button, TShiftState Shift,
                                      int X, int Y, TPaintLayer* HitLayer) {
  TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, HitLayer);
  if (!Down) return;
  Down = false;
  if (Document) Document->EndEdit();
}

}  // namespace brellin
