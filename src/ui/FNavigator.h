// The navigator: a small always-on-top window with the whole destination
// picture and the destination view's visible part outlined in red. It
// refreshes itself once a second while shown; dragging the outline scrolls
// the destination view.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "interaction/FullScreenModels.h"

namespace brellin {

class TImgView;

class TFNavigator : public QWidget {
  Q_OBJECT
 public:
  // Destination: the view it shows and scrolls. HasDocument: whether there
  // is a picture to show.
  TFNavigator(TImgView* Destination, std::function<bool()> HasDocument, QWidget* Parent = nullptr);
  ~TFNavigator() override;

  TImgView* view() const { return FView; }
  const TNavigatorModel& model() const { return FModel; }
  bool timerActive() const { return FTimer.isActive(); }
  // Draws the destination again and places the outline.
  void Rebuild();

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  class TOutlineLayer;
  void PlaceOutline();
  TImgView* FDestination;
  std::function<bool()> FHasDocument;
  TImgView* FView;
  std::unique_ptr<TOutlineLayer> FLayer;
  TNavigatorModel FModel;
  TBitmap32 FSampled;  // a large destination sampled down, before filtering
  QTimer FTimer;
};

}  // namespace brellin
