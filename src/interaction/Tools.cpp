#include "interaction/Tools.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "domain/DualImage.h"

namespace brellin {

TToolManager::TToolManager(TDualImage& Document)
    : FDocument(Document),
      FPointer(Document),
      FCurve(Document),
      FAuto(Document),
      FPattern(Document),
      FBand(Document),
      FSourceView(Document.SourceView),
      FDestinationView(Document.DestinationView) {
  Install(FSourceView, FSourceSaved);
  Install(FDestinationView, FDestinationSaved);
}

TToolManager::~TToolManager() {
  // A view the document has let go of may be gone already.
  if (FSourceView && FDocument.SourceView == FSourceView) FSourceView->Events = FSourceSaved;
  if (FDestinationView && FDocument.DestinationView == FDestinationView)
    FDestinationView->Events = FDestinationSaved;
}

TAbstractInputController* TToolManager::Controller(int Tool) const {
  switch (Tool) {
    case 1:
      return const_cast<TPointerInputController*>(&FPointer);
    case 2:
      return const_cast<TAddCurveInputController*>(&FCurve);
    case 3:
      return const_cast<TBandInputController*>(&FBand);
    case 4:
      return const_cast<TPatternInputController*>(&FPattern);
    case 5:
      return const_cast<TAutoInputController*>(&FAuto);
    default:
      return nullptr;
  }
}

void TToolManager::SetTool(int Value) {
  if (Value < 0 || Value > 5) throw EBrellinError("Tool not implemented");
  FTool = Value;
  TAbstractInputController* next = Controller(Value);
  if (next == FCurrent) return;
  if (FCurrent) FCurrent->Deactivate();
  if (next) next->Activate();
  FCurrent = next;
}

TPoint TToolManager::MapToDocument(TPoint ViewPoint) const {
  const TPictureView* v = FDocument.ActiveView;
  if (!v) return ViewPoint;
  TPoint p = v->ViewToPicture(ViewPoint);
  if (v == FDocument.DestinationView && FDocument.SourceView) {
    const int dw = v->Bitmap().Width();
    if (dw > 0) {
      const double ratio = double(FDocument.SourceView->Bitmap().Width()) / double(dw);
      p = {Round(p.X * ratio), Round(p.Y * ratio)};
    }
  }
  return p;
}

const TViewEvents* TToolManager::SavedOf(const TPictureView& Sender) const {
  if (&Sender == FSourceView) return &FSourceSaved;
  if (&Sender == FDestinationView) return &FDestinationSaved;
  return nullptr;
}

bool TToolManager::Acts(const TPictureView& Sender) const {
  return FEnabled && FCurrent && SavedOf(Sender);
}

void TToolManager::Install(TPictureView* View, TViewEvents& Saved) {
  if (!View) return;
  Saved = View->Events;
  TViewEvents& e = View->Events;
  // A controller's silent stop leaves before the chained call.
  e.OnMouseDown = [this](TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                         TPaintLayer* Layer) {
    if (!FEnabled || !FCurrent) return;
    const TPoint p = MapToDocument({X, Y});
    FCurrent->MouseDown(Sender, Button, Shift, p.X, p.Y, Layer);
    if (const TViewEvents* s = SavedOf(Sender); s && s->OnMouseDown)
      s->OnMouseDown(Sender, Button, Shift, p.X, p.Y, Layer);
  };
  e.OnMouseMove = [this](TPictureView& Sender, TShiftState Shift, int X, int Y,
                         TPaintLayer* Layer) {
    if (!Acts(Sender)) return;
    if (FDocument.ActiveView != &Sender) FDocument.SetActiveView(&Sender);
    // The brush cursor is kept in picture pixels of the active view.
    FDocument.SetCursorPoint(Sender.ViewToPicture({X, Y}));
    const TPoint p = MapToDocument({X, Y});
    FCurrent->MouseMove(Sender, Shift, p.X, p.Y, Layer);
    if (const TViewEvents* s = SavedOf(Sender); s->OnMouseMove)
      s->OnMouseMove(Sender, Shift, p.X, p.Y, Layer);
  };
  e.OnMouseUp = [this](TPictureView& Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                       TPaintLayer* Layer) {
    if (!Acts(Sender)) return;
    const TPoint p = MapToDocument({X, Y});
    FCurrent->MouseUp(Sender, Button, Shift, p.X, p.Y, Layer);
    if (const TViewEvents* s = SavedOf(Sender); s->OnMouseUp)
      s->OnMouseUp(Sender, Button, Shift, p.X, p.Y, Layer);
  };
  e.OnMouseWheelDown = [this](TPictureView& Sender, TShiftState Shift, TPoint Pos, bool& Handled) {
    if (!Acts(Sender)) return;
    const TPoint p = MapToDocument(Pos);
    FCurrent->MouseWheelDown(Sender, Shift, p, Handled);
    if (const TViewEvents* s = SavedOf(Sender); s->OnMouseWheelDown)
      s->OnMouseWheelDown(Sender, Shift, p, Handled);
  };
  e.OnMouseWheelUp = [this](TPictureView& Sender, TShiftState Shift, TPoint Pos, bool& Handled) {
    if (!Acts(Sender)) return;
    const TPoint p = MapToDocument(Pos);
    FCurrent->MouseWheelUp(Sender, Shift, p, Handled);
    if (const TViewEvents* s = SavedOf(Sender); s->OnMouseWheelUp)
      s->OnMouseWheelUp(Sender, Shift, p, Handled);
  };
  // Keys reach the tool also while the manager is disabled.
  e.OnKeyDown = [this](TPictureView& Sender, uint16_t& Key, TShiftState Shift) {
    const TViewEvents* s = SavedOf(Sender);
    if (!FCurrent || !s) return;
    FCurrent->KeyDown(Sender, Key, Shift);
    if (s->OnKeyDown) s->OnKeyDown(Sender, Key, Shift);
  };
  e.OnKeyUp = [this](TPictureView& Sender, uint16_t& Key, TShiftState Shift) {
    const TViewEvents* s = SavedOf(Sender);
    if (!FCurrent || !s) return;
    FCurrent->KeyUp(Sender, Key, Shift);
    if (s->OnKeyUp) s->OnKeyUp(Sender, Key, Shift);
  };
}

std::unique_ptr<TAbstractToolManager> CreateToolManager(TDualImage& Document) {
  return std::make_unique<TToolManager>(Document);
}

TToolManagerFactory MakeToolManagerFactory() {
  return [](TDualImage& Document) { return CreateToolManager(Document); };
}

}  // namespace brellin
