#include "domain/PictureView.h"

#include <algorithm>
#include <cmath>

namespace brellin {

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
  FBitmap.DrawTo(Buffer, X, Y);
  for (TPaintLayer* l : Layers)
    if (l->Visible) l->Paint(Buffer, *this, X, Y);
}

TPaintLayer* TPictureView::LayerAt(int X, int Y) {
  for (auto it = Layers.rbegin(); it != Layers.rend(); ++it)
    if ((*it)->Visible && (*it)->MouseEvents && (*it)->HitTest(*this, X, Y)) return *it;
  return nullptr;
}

}  // namespace brellin
