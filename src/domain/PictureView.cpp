#include "domain/PictureView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Errors.h"
#include "base/Rounding.h"

namespace brellin {

namespace {

// Calls a copy of the handler: it may replace the view's handlers (a tool
// manager that goes away puts the previous ones back) while it runs.
template <typename F, typename... A>
void Deliver(const F& Handler, A&&... Args) {
  if (!Handler) return;
  const F h = Handler;
  try {
    h(std::forward<A>(Args)...);
  } catch (const ESilentStop&) {
    // the event ends here, without a message
  }
}

}  // namespace

TPictureView::TPictureView() {
  // Assigning another picture keeps this handler (TBitmap32 never copies it).
  FBitmap.OnChange = [this](TBitmap32&) { Repaint(); };
}

void TPictureView::RemoveLayer(TPaintLayer* Layer) {
  Layers.erase(std::remove(Layers.begin(), Layers.end(), Layer), Layers.end());
}

TPoint TPictureView::ViewToPicture(TPoint P) const {
  const double s = Scale > 0.0f ? Scale : 1.0;
  return {int32_t(std::floor((P.X + ScrollX) / s)), int32_t(std::floor((P.Y + ScrollY) / s))};
}

TPoint TPictureView::PictureToView(TPoint P) const {
  return {int32_t(std::lround(P.X * double(Scale))) - ScrollX,
          int32_t(std::lround(P.Y * double(Scale))) - ScrollY};
}

void TPictureView::PaintTo(TBitmap32& Buffer, int X, int Y) {
  Compose(Buffer, X, Y, Layers.size());
}

void TPictureView::Compose(TBitmap32& Buffer, int X, int Y, size_t Count) {
  FBitmap.DrawTo(Buffer, X, Y);
  for (size_t i = 0; i < Count; ++i)
    if (Layers[i]->Visible) Layers[i]->Paint(Buffer, *this, X, Y);
}

void TPictureView::SetClientSize(int Width, int Height) {
  FClientWidth = std::max(Width, 0);
  FClientHeight = std::max(Height, 0);
  ScrollTo(ScrollX, ScrollY);
}

int TPictureView::ScaledWidth() const {
  return Round(double(FBitmap.Width()) * (Scale > 0.0f ? Scale : 1.0));
}

int TPictureView::ScaledHeight() const {
  return Round(double(FBitmap.Height()) * (Scale > 0.0f ? Scale : 1.0));
}

TRect TPictureView::VisibleRect() const {
  const double s = Scale > 0.0f ? Scale : 1.0;
  TRect r{std::max(0, Floor(ScrollX / s)), std::max(0, Floor(ScrollY / s)),
          std::min(FBitmap.Width(), int32_t(std::ceil((ScrollX + FClientWidth) / s))),
          std::min(FBitmap.Height(), int32_t(std::ceil((ScrollY + FClientHeight) / s)))};
  if (r.Left >= r.Right || r.Top >= r.Bottom) return {0, 0, 0, 0};
  return r;
}

void TPictureView::ScrollTo(int X, int Y) {
  const int x = std::clamp(X, 0, std::max(0, ScaledWidth() - FClientWidth));
  const int y = std::clamp(Y, 0, std::max(0, ScaledHeight() - FClientHeight));
  if (x == ScrollX && y == ScrollY) return;
  ScrollX = x;
  ScrollY = y;
  if (OnScroll) OnScroll(*this);
  Repaint();
}

void TPictureView::SetScale(float Value) {
  if (!(Value > 0.0f) || Value == Scale) return;
  Scale = Value;
  ScrollTo(ScrollX, ScrollY);
  Repaint();
}

namespace {

void MakeOpaque(TBitmap32& Buffer) {
  TColor32* p = Buffer.Bits();
  for (size_t i = 0, n = Buffer.PixelCount(); i < n; ++i) p[i] |= 0xFF000000u;
}

}  // namespace

void TPictureView::Paint(TBitmap32& Buffer) {
  PaintClient(Buffer);
  MakeOpaque(Buffer);
}

void TPictureView::PaintClient(TBitmap32& Buffer) {
  // Resizing allocates afresh: kept when the size stays.
  if (Buffer.Width() != FClientWidth || Buffer.Height() != FClientHeight)
    Buffer.SetSizeForOverwrite(FClientWidth, FClientHeight);
  // The background shows where the picture does not cover the client area
  // or lets it through.
  const bool opaque = FBitmap.DrawMode == dmOpaque;
  if (!opaque || ScaledWidth() - ScrollX < FClientWidth || ScaledHeight() - ScrollY < FClientHeight)
    Buffer.Clear(BackgroundColor);
  const TRect v = VisibleRect();
  if (v.Right <= v.Left) return;
  if (Scale == 1.0f) {
    PaintTo(Buffer, -ScrollX, -ScrollY);
    return;
  }
  // The visible part is composed at scale 1 with the layers that draw in
  // picture pixels only, then scaled into the client area row by row; the
  // layers on top that can paint at the scale (thin lines such as the brush
  // cursor would lose rows and columns when zoomed out) paint then.
  size_t composed = Layers.size();
  while (composed > 0 && Layers[composed - 1]->PaintsScaled()) --composed;
  if (FComposite.Width() != v.Width() || FComposite.Height() != v.Height())
    FComposite.SetSizeForOverwrite(v.Width(), v.Height());
  if (!opaque) FComposite.Clear(BackgroundColor);
  Compose(FComposite, -v.Left, -v.Top, composed);
  const double s = Scale;
  std::vector<int32_t> columns(static_cast<size_t>(FClientWidth));
  int first = FClientWidth, last = 0;
  for (int bx = 0; bx < FClientWidth; ++bx) {
    const int px = Floor((bx + ScrollX) / s);
    columns[size_t(bx)] = px - v.Left;
    if (px >= v.Left && px < v.Right) first = std::min(first, bx), last = bx + 1;
  }
  int previous = -1;
  for (int by = 0; by < FClientHeight; ++by) {
    const int py = Floor((by + ScrollY) / s);
    if (py < v.Top || py >= v.Bottom || first >= last) continue;
    TColor32* d = Buffer.ScanLine(by);
    if (py == previous) {
      std::memcpy(d + first, Buffer.ScanLine(by - 1) + first, size_t(last - first) * sizeof *d);
      continue;
    }
    const TColor32* src = FComposite.ScanLine(py - v.Top);
    for (int bx = first; bx < last; ++bx) d[bx] = src[columns[size_t(bx)]];
    previous = py;
  }
  for (size_t i = composed; i < Layers.size(); ++i)
    if (Layers[i]->Visible) Layers[i]->PaintScaled(Buffer, *this, -ScrollX, -ScrollY);
}

void TPictureView::SetCursor(TViewCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  if (OnCursorChange) OnCursorChange(*this);
}

void TPictureView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  MousePos = {X, Y};
  Deliver(Events.OnMouseDown, *this, Button, Shift, X, Y, LayerAt(X, Y));
}

void TPictureView::MouseMove(TShiftState Shift, int X, int Y) {
  MousePos = {X, Y};
  Deliver(Events.OnMouseMove, *this, Shift, X, Y, LayerAt(X, Y));
}

void TPictureView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  MousePos = {X, Y};
  Deliver(Events.OnMouseUp, *this, Button, Shift, X, Y, LayerAt(X, Y));
}

bool TPictureView::MouseWheelDown(TShiftState Shift, TPoint Pos) {
  bool handled = false;
  Deliver(Events.OnMouseWheelDown, *this, Shift, Pos, handled);
  return handled;
}

bool TPictureView::MouseWheelUp(TShiftState Shift, TPoint Pos) {
  bool handled = false;
  Deliver(Events.OnMouseWheelUp, *this, Shift, Pos, handled);
  return handled;
}

void TPictureView::KeyDown(uint16_t& Key, TShiftState Shift) {
  Deliver(Events.OnKeyDown, *this, Key, Shift);
}

void TPictureView::KeyUp(uint16_t& Key, TShiftState Shift) {
  Deliver(Events.OnKeyUp, *this, Key, Shift);
}

TPaintLayer* TPictureView::LayerAt(int X, int Y) {
  for (auto it = Layers.rbegin(); it != Layers.rend(); ++it)
    if ((*it)->Visible && (*it)->MouseEvents && (*it)->HitTest(*this, X, Y)) return *it;
  return nullptr;
}

}  // namespace brellin
