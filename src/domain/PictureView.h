// The model of a picture view: its picture, the layers painted over it, its
// scale and scroll, repaint requests and the mapping between view and
// picture coordinates. The desktop program draws it; the core only uses it.
#pragma once

#include <functional>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

class TPictureView;

// Something painted over a view's picture (overlays, cursors, curves).
class TPaintLayer {
 public:
  virtual ~TPaintLayer() = default;
  // Paints into the view's buffer; (OriginX, OriginY) is where the picture's
  // top-left corner lies in the buffer.
  virtual void Paint(TBitmap32& Buffer, const TPictureView& View, int OriginX, int OriginY) = 0;
  bool Visible = true;
  bool MouseEvents = false;
  // Whether the layer takes a mouse event at view position (X, Y); asked only
  // while it receives mouse events.
  virtual bool HitTest(const TPictureView& View, int X, int Y) {
    (void)View, (void)X, (void)Y;
    return false;
  }
};

class TPictureView {
 public:
  TBitmap32& Bitmap() { return FBitmap; }
  const TBitmap32& Bitmap() const { return FBitmap; }

  // Layers in painting order; not owned.
  std::vector<TPaintLayer*> Layers;
  void AddLayer(TPaintLayer* Layer) { Layers.push_back(Layer); }
  void RemoveLayer(TPaintLayer* Layer);
  void ClearLayers() { Layers.clear(); }

  float Scale = 1.0f;
  int ScrollX = 0, ScrollY = 0;
  // Last mouse position in view coordinates.
  TPoint MousePos;

  TPoint ViewToPicture(TPoint P) const;
  TPoint PictureToView(TPoint P) const;

  // Asks whoever shows the view to paint it again.
  std::function<void()> OnRepaint;
  void Repaint() const {
    if (OnRepaint) OnRepaint();
  }

  // Paints the picture and the visible layers into Buffer at (X, Y), at scale 1.
  void PaintTo(TBitmap32& Buffer, int X = 0, int Y = 0);

  // The layer a mouse event at view position (X, Y) goes to: the topmost
  // visible layer receiving mouse events whose hit test takes it; nullptr
  // when none does (the event then belongs to the view itself).
  TPaintLayer* LayerAt(int X, int Y);

 private:
  TBitmap32 FBitmap;
};

}  // namespace brellin
