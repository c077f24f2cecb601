#include "domain/PictureView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Errors.h"
#include "base/Parallel.h"
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
  RepaintLayers();
}

void TPictureView::SetScale(float Value) {
  if (!(Value > 0.0f) || Value == Scale) return;
  Scale = Value;
  ScrollTo(ScrollX, ScrollY);
  RepaintLayers();
}

float TPictureView::MinScale() const {
  const int side = std::max(FBitmap.Width(), FBitmap.Height());
  return side > 64 ? float(64.0 / side) : 1.0f;
}

float TPictureView::FitScale() const {
  if (FBitmap.Empty() || FClientWidth <= 0 || FClientHeight <= 0) return 1.0f;
  const double fit =
      std::min(double(FClientWidth) / FBitmap.Width(), double(FClientHeight) / FBitmap.Height());
  return std::clamp(float(std::min(fit, 1.0)), MinScale(), 1.0f);
}

float TPictureView::ZoomStep(float Scale, int Steps) {
  if (!(Scale > 0.0f) || Steps == 0) return Scale;
  // Half powers of two; a scale within a hair of one counts as on it.
  const double e = 2.0 * std::log2(double(Scale));
  const double k = Steps > 0 ? std::floor(e + 1e-4) + Steps : std::ceil(e - 1e-4) + Steps;
  return float(std::exp2(k / 2.0));
}

void TPictureView::ZoomAt(float Value, TPoint Anchor) {
  if (!(Value > 0.0f)) return;
  const float next = std::clamp(Value, MinScale(), MaxScale);
  if (next == Scale) return;
  const double old = Scale > 0.0f ? Scale : 1.0;
  const double px = (Anchor.X + ScrollX) / old, py = (Anchor.Y + ScrollY) / old;
  Scale = next;
  // ScrollTo reports a scroll only when the position moved; a zoom always
  // moves what is shown.
  const int x = Round(px * next) - Anchor.X, y = Round(py * next) - Anchor.Y;
  ScrollX = std::clamp(x, 0, std::max(0, ScaledWidth() - FClientWidth));
  ScrollY = std::clamp(y, 0, std::max(0, ScaledHeight() - FClientHeight));
  if (OnScroll) OnScroll(*this);
  RepaintLayers();
}

int TPictureView::LevelFor(float Scale) {
  if (!(Scale < 0.5f)) return 0;
  int k = 0;
  for (double s = Scale; s < 0.5 && k < 30; s *= 2.0) ++k;
  return k;
}

namespace {

// The four channels of a pixel, each in a 16-bit lane of its own (blue,
// red, green, alpha from the low end), for two-channels-at-a-time sums.
constexpr uint64_t kLanes = 0x00FF00FF00FF00FFull;
constexpr uint64_t kHalves = 0x0080008000800080ull;
constexpr uint64_t kOnes = 0x0001000100010001ull;
inline uint64_t Spread(TColor32 C) {
  return (uint64_t(C) & 0x00FF00FFu) | ((uint64_t(C) & 0xFF00FF00u) << 24);
}

// Level k + 1 from level k: the rounded mean of each 2 x 2 block, the last
// row and column repeated where the level has an odd size.
void HalveInto(const TBitmap32& From, TBitmap32& To) {
  const int w = (From.Width() + 1) / 2, h = (From.Height() + 1) / 2;
  if (To.Width() != w || To.Height() != h) To.SetSizeForOverwrite(w, h);
  const int lastX = From.Width() - 1, lastY = From.Height() - 1;
  ParallelFor(0, h, [&](int Begin, int End) {
    for (int y = Begin; y < End; ++y) {
      const TColor32* a = From.ScanLine(2 * y);
      const TColor32* b = From.ScanLine(std::min(2 * y + 1, lastY));
      TColor32* d = To.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const int x0 = 2 * x, x1 = std::min(x0 + 1, lastX);
        const uint64_t sum = Spread(a[x0]) + Spread(a[x1]) + Spread(b[x0]) + Spread(b[x1]);
        const uint64_t out = ((sum + 2 * kOnes) >> 2) & kLanes;
        d[x] = TColor32(out | (out >> 24));
      }
    }
  });
}

// Bilinear samples of Src into To (Width x Height): view pixel (bx, by)
// samples Src at ((bx + 0.5) * Step + OffsetX - 0.5, likewise for y), edge
// pixels repeated. Weights in 1/256.
void Bilinear(const TBitmap32& Src, double Step, double OffsetX, double OffsetY, int Width,
              int Height, TBitmap32& To) {
  if (To.Width() != Width || To.Height() != Height) To.SetSizeForOverwrite(Width, Height);
  struct TTap {
    int32_t A, B;
    uint32_t W;  // weight of B
  };
  const auto taps = [Step](int N, double Offset, int Size) {
    std::vector<TTap> t(size_t(std::max(N, 0)));
    for (int i = 0; i < N; ++i) {
      const double u = std::clamp((i + 0.5) * Step + Offset - 0.5, 0.0, double(Size - 1));
      const int a = int(u);
      t[size_t(i)] = {a, std::min(a + 1, Size - 1), uint32_t(Round((u - a) * 256.0))};
    }
    return t;
  };
  const std::vector<TTap> cols = taps(Width, OffsetX, Src.Width());
  const std::vector<TTap> rows = taps(Height, OffsetY, Src.Height());
  ParallelFor(0, Height, [&](int Begin, int End) {
    for (int y = Begin; y < End; ++y) {
      const TTap r = rows[size_t(y)];
      const TColor32* a = Src.ScanLine(r.A);
      const TColor32* b = Src.ScanLine(r.B);
      TColor32* d = To.ScanLine(y);
      for (int x = 0; x < Width; ++x) {
        const TTap c = cols[size_t(x)];
        const uint64_t top = Spread(a[c.A]) * (256 - c.W) + Spread(a[c.B]) * c.W;
        const uint64_t bottom = Spread(b[c.A]) * (256 - c.W) + Spread(b[c.B]) * c.W;
        // Rounded back to eight bits a channel between the two passes, so
        // no channel runs into the next.
        const uint64_t t = ((top + kHalves) >> 8) & kLanes;
        const uint64_t u = ((bottom + kHalves) >> 8) & kLanes;
        const uint64_t out = (((t * (256 - r.W) + u * r.W + kHalves) >> 8) & kLanes);
        d[x] = TColor32(out | (out >> 24));
      }
    }
  });
}

}  // namespace

const TBitmap32& TPictureView::Level(int K) {
  if (K <= 0) return FBitmap;
  if (FLevelsStale) {
    FLevels.clear();
    FLevelsStale = false;
  }
  while (int(FLevels.size()) < K) {
    const TBitmap32& from = FLevels.empty() ? FBitmap : FLevels.back();
    TBitmap32 next;
    HalveInto(from, next);
    FLevels.push_back(std::move(next));
  }
  return FLevels[size_t(K - 1)];
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
  if (Scale < 1.0f) {
    PaintReduced(Buffer, composed, v);
  } else {
    PaintEnlarged(Buffer, composed, v);
  }
  for (size_t i = composed; i < Layers.size(); ++i)
    if (Layers[i]->Visible) Layers[i]->PaintScaled(Buffer, *this, -ScrollX, -ScrollY);
}

// The client pixels [First, Last) whose picture pixel lies within [From, To)
// of the picture's side.
static void ShownRange(int Scroll, int Client, double S, int From, int To, int& First, int& Last) {
  First = Client, Last = 0;
  for (int b = 0; b < Client; ++b) {
    const int p = Floor((b + Scroll) / S);
    if (p >= From && p < To) First = std::min(First, b), Last = b + 1;
  }
}

void TPictureView::PaintReduced(TBitmap32& Buffer, size_t Composed, const TRect& V) {
  const double s = Scale;
  int x0, x1, y0, y1;
  ShownRange(ScrollX, FClientWidth, s, 0, FBitmap.Width(), x0, x1);
  ShownRange(ScrollY, FClientHeight, s, 0, FBitmap.Height(), y0, y1);
  if (x0 >= x1 || y0 >= y1) return;
  bool layered = false;
  for (size_t i = 0; i < Composed; ++i)
    layered |= Layers[i]->Visible && Layers[i]->PaintsAnything();
  if (!layered) {
    // The common case: the picture alone, filtered from its cached level.
    const int k = LevelFor(Scale);
    const double step = 1.0 / (s * double(1 << k));
    Bilinear(Level(k), step, (ScrollX + x0) * step, (ScrollY + y0) * step, x1 - x0, y1 - y0,
             FScaled);
    FScaled.DrawMode = FBitmap.DrawMode;
    FScaled.MasterAlpha = FBitmap.MasterAlpha;
    FScaled.DrawTo(Buffer, x0, y0);
    return;
  }
  // Layers drawn in picture pixels: the visible part is composed at scale 1
  // with them, then filtered.
  if (FComposite.Width() != V.Width() || FComposite.Height() != V.Height())
    FComposite.SetSizeForOverwrite(V.Width(), V.Height());
  if (FBitmap.DrawMode != dmOpaque) FComposite.Clear(BackgroundColor);
  Compose(FComposite, -V.Left, -V.Top, Composed);
  const double step = 1.0 / s;
  Bilinear(FComposite, step, (ScrollX + x0) * step - V.Left, (ScrollY + y0) * step - V.Top, x1 - x0,
           y1 - y0, FScaled);
  FScaled.DrawMode = dmOpaque;
  FScaled.DrawTo(Buffer, x0, y0);
}

void TPictureView::PaintEnlarged(TBitmap32& Buffer, size_t composed, const TRect& v) {
  const bool opaque = FBitmap.DrawMode == dmOpaque;
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
