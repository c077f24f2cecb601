#include "domain/PolyBezierLayer.h"

#include <iterator>

#include "base/Errors.h"

namespace brellin {

class TPolyBezierLayer::TDisplayLayer : public TPaintLayer {
 public:
  explicit TDisplayLayer(TPolyBezierLayer& Owner) : FOwner(Owner) { MouseEvents = true; }
  void Paint(TBitmap32& Buffer, const TPictureView&, int OriginX, int OriginY) override {
    FOwner.PaintCurves(Buffer, {OriginX, OriginY});
  }
  bool PaintsAnything() const override { return !FOwner.Curves.empty(); }
  bool HitTest(const TPictureView& View, int X, int Y) override {
    // The layer covers the picture: its top-left corner is the picture's.
    // The curves lie in picture pixels, so at another scale the point is
    // taken to the picture's pixel under it.
    const TPoint o = View.PictureToView({0, 0});
    const TPoint p = View.ViewToPicture({X, Y});
    return FOwner.HitTestCurves(o, p.X + o.X, p.Y + o.Y);
  }

 private:
  TPolyBezierLayer& FOwner;
};

TPolyBezierLayer::TPolyBezierLayer(TPictureView* View)
    : View(View), FDisplayLayer(std::make_unique<TDisplayLayer>(*this)) {
  if (View) View->AddLayer(FDisplayLayer.get());
}

TPolyBezierLayer::~TPolyBezierLayer() {
  if (View) View->RemoveLayer(FDisplayLayer.get());
}

TPolyBezier* TPolyBezierLayer::AddPolyBezier(std::unique_ptr<TPolyBezier> Curve) {
  TPolyBezier* c = Curve.get();
  Curves.push_back(std::move(Curve));
  CurrentIndex = Count() - 1;
  c->SetAntiAliased(AntiAliased);
  c->SetOnChange([this](TPolyBezier&) { Fire(); });
  Fire();
  return c;
}

TPolyBezier* TPolyBezierLayer::GetPolyBezier(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseIndexError("TPolyBezierLayer.GetPolyBeziers", Index);
  return Curves[size_t(Index)].get();
}

void TPolyBezierLayer::Clear() {
  Curves.clear();
  if (View) View->Repaint();
}

void TPolyBezierLayer::SetAntiAliased(bool Value) {
  AntiAliased = Value;
  for (auto& c : Curves) c->SetAntiAliased(Value);
}

bool TPolyBezierLayer::IsDisplayLayer(const TPaintLayer* Layer) const {
  return Layer != nullptr && Layer == FDisplayLayer.get();
}

void TPolyBezierLayer::DisableEditing() {
  FDisplayLayer->MouseEvents = false;
}

void TPolyBezierLayer::EnableEditing() {
  FDisplayLayer->MouseEvents = true;
}

void TPolyBezierLayer::SetView(TPictureView* Value) {
  if (Value == View) return;
  if (View) View->RemoveLayer(FDisplayLayer.get());
  View = Value;
  if (View) View->AddLayer(FDisplayLayer.get());
}

void TPolyBezierLayer::PaintCurves(TBitmap32& Buffer, TPoint Origin) {
  Target = &Buffer;
  Buffer.SetStipple(
      std::vector<TColor32>(std::begin(ControlLineStipple), std::end(ControlLineStipple)));
  Buffer.StippleStep = 1.0f;
  this->Origin = Origin;
  // A curve's colour change reports a change of the layer; a handler that
  // empties the layer must not pull the curves from under this loop.
  for (int i = 0; i < Count(); ++i) {
    TPolyBezier& c = *Curves[size_t(i)];
    const bool current = i == CurrentIndex;
    c.SetColor(current ? CurrentCurveColor : OtherCurveColor);
    if (i >= Count()) break;
    c.SetShowControls(current);
    c.Draw(Origin, Buffer);
  }
}

bool TPolyBezierLayer::HitTestCurves(TPoint Origin, int X, int Y) {
  if (FCapturing) return true;
  this->Origin = Origin;
  for (int i = 0; i < Count(); ++i)
    if (Curves[size_t(i)]->HitTest(Origin, X, Y)) {
      CurrentIndex = i;
      return true;
    }
  return false;
}

}  // namespace brellin
