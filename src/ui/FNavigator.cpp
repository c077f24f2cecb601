#include "ui/FNavigator.h"

#include <QVBoxLayout>
#include <cmath>

#include "base/Resampler.h"
#include "base/Rounding.h"
#include "ui/ImgView.h"

namespace brellin {

namespace {
constexpr TColor32 kNavigatorBackground = Color32(224, 244, 244);
constexpr TColor32 kOutline = Color32(255, 0, 0);
}  // namespace

// The outline of the visible part; it takes the mouse inside the outline.
class TFNavigator::TOutlineLayer : public TPaintLayer {
 public:
  explicit TOutlineLayer(const TNavigatorModel& Model) : FModel(Model) { MouseEvents = true; }
  void Paint(TBitmap32& Buffer, const TPictureView&, int OriginX, int OriginY) override {
    if (FModel.Scale() <= 0.0f) return;
    const TRect r = FModel.ViewRect();
    const int l = OriginX + r.Left, t = OriginY + r.Top;
    const int rt = OriginX + r.Right - 1, b = OriginY + r.Bottom - 1;
    Buffer.LineS(l, t, rt, t, kOutline);
    Buffer.LineS(rt, t, rt, b, kOutline);
    Buffer.LineS(rt, b, l, b, kOutline);
    Buffer.LineS(l, b, l, t, kOutline);
  }
  bool HitTest(const TPictureView& View, int X, int Y) override {
    const TPoint p = View.ViewToPicture({X, Y});
    return FModel.Hit(p.X, p.Y);
  }

 private:
  const TNavigatorModel& FModel;
};

TFNavigator::TFNavigator(TImgView* Destination, std::function<bool()> HasDocument, QWidget* Parent)
    : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      FDestination(Destination),
      FHasDocument(std::move(HasDocument)) {
  setWindowTitle("Navigator");
  setObjectName("FNavigator");
  FView = new TImgView;
  FView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FView->model().BackgroundColor = kNavigatorBackground;
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(FView);
  resize(261, 251);

  FLayer = std::make_unique<TOutlineLayer>(FModel);
  FView->model().AddLayer(FLayer.get());
  TViewEvents& e = FView->model().Events;
  e.OnMouseDown = [this](TPictureView& V, TMouseButton Button, TShiftState, int X, int Y,
                         TPaintLayer*) {
    if (Button != mbLeft) return;
    const TPoint p = V.ViewToPicture({X, Y});
    if (FModel.MouseDown(p.X, p.Y)) FTimer.stop();
  };
  e.OnMouseMove = [this](TPictureView& V, TShiftState, int X, int Y, TPaintLayer*) {
    if (!FModel.Dragging()) return;
    const TPoint p = V.ViewToPicture({X, Y});
    FModel.MouseMove(p.X, p.Y);
    V.Repaint();
  };
  e.OnMouseUp = [this](TPictureView&, TMouseButton, TShiftState, int, int, TPaintLayer*) {
    if (!FModel.Dragging()) return;
    const TPoint d = FModel.MouseUp();
    // The model gives picture pixels; the view scrolls in its own.
    TPictureView& dest = FDestination->model();
    const double s = dest.Scale;
    dest.ScrollTo(dest.ScrollX + Round(d.X * s), dest.ScrollY + Round(d.Y * s));
    Rebuild();
    if (isVisible()) FTimer.start();
  };

  FTimer.setInterval(1000);
  connect(&FTimer, &QTimer::timeout, this, [this] {
    if (!FModel.Dragging()) Rebuild();
  });
  // Between refreshes the outline still follows the view's own scrolling.
  connect(FDestination, &TImgView::scrolled, this, [this] {
    if (isVisible() && !FModel.Dragging()) PlaceOutline();
  });
}

TFNavigator::~TFNavigator() {
  FView->model().ClearLayers();
  FView->model().Events = {};
}

void TFNavigator::Rebuild() {
  if (!isVisible() || !FHasDocument()) return;
  const TBitmap32& picture = FDestination->model().Bitmap();
  const int w = FView->viewport()->width(), h = FView->viewport()->height();
  FModel.SetSizes(picture.Width(), picture.Height(), w, h);
  TBitmap32& thumb = FView->model().Bitmap();
  thumb.SetSizeFilled(std::max(w, 0), std::max(h, 0), kNavigatorBackground);
  if (FModel.Scale() > 0.0f) {
    const TRect all{0, 0, picture.Width(), picture.Height()};
    const TRect t = FModel.ThumbRect();
    // A filtered reduction reads every pixel, 70 ms a second for 20
    // megapixels: far larger pictures are first sampled down to twice the
    // thumbnail's size, which the filter then averages (8 ms).
    if (picture.Width() > 4 * t.Width() || picture.Height() > 4 * t.Height()) {
      FSampled.SetSizeForOverwrite(2 * t.Width(), 2 * t.Height());
      StretchDraw(FSampled, TRect{0, 0, FSampled.Width(), FSampled.Height()}, picture, all,
                  sfNearest);
      StretchDraw(thumb, t, FSampled, TRect{0, 0, FSampled.Width(), FSampled.Height()}, sfLinear);
    } else {
      StretchDraw(thumb, t, picture, all, sfLinear);
    }
  }
  FView->PictureResized();
  PlaceOutline();
}

void TFNavigator::PlaceOutline() {
  const TPictureView& d = FDestination->model();
  FModel.SetVisible(d.ViewToPicture({0, 0}), d.ViewToPicture({d.ClientWidth(), d.ClientHeight()}));
  FView->viewport()->update();
}

void TFNavigator::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  Rebuild();
  FTimer.start();
}

void TFNavigator::hideEvent(QHideEvent* Event) {
  QWidget::hideEvent(Event);
  FTimer.stop();
}

void TFNavigator::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  Rebuild();
}

}  // namespace brellin
