// The main window's zoom: both views at one scale, changed with Ctrl+wheel,
// Ctrl+plus and Ctrl+minus, fitted with Ctrl+0, shown at 100 % with Ctrl+1;
// the zoom in the status bar; fit or 100 % remembered between runs.
#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <cmath>

#include "domain/BDomain.h"
#include "ui/AppSettings.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"

namespace brellin {

void TFMain::BuildZoom() {
  FZoomMode = TAppSettings().ZoomMode() == "100" ? zmActual : zmFit;
  const auto add = [this](const char* Name, const QString& Caption, QList<QKeySequence> Keys,
                          const QString& Tip, auto Slot) {
    auto* a = new QAction(Caption, this);
    a->setObjectName(Name);
    a->setShortcuts(Keys);
    a->setStatusTip(Tip);
    a->setToolTip(Tip + " (" + Keys.first().toString(QKeySequence::NativeText) + ")");
    connect(a, &QAction::triggered, this, Slot);
    addAction(a);
    FActions[Name] = a;
    return a;
  };
  QList<QAction*> items;
  items << add("ZoomInCommand", "Zoom &In",
               {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
               "Show the pictures larger", [this] { ZoomBy(1); });
  items << add("ZoomOutCommand", "Zoom &Out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
               "Show the pictures smaller", [this] { ZoomBy(-1); });
  items << add("ZoomFitCommand", "&Fit in Window", {QKeySequence(Qt::CTRL | Qt::Key_0)},
               "Show the whole picture", [this] { ZoomToFit(); });
  items << add("ZoomActualCommand", "&Actual Size (100 %)", {QKeySequence(Qt::CTRL | Qt::Key_1)},
               "One picture pixel to one screen pixel", [this] { ZoomToActualSize(); });
  for (QAction* m : menuBar()->actions())
    if (QMenu* view = m->menu(); view && m->text() == "&View") {
      view->addSeparator();
      view->addActions(items);
      break;
    }
  FZoomLabel = new QLabel;
  FZoomLabel->setObjectName("ZoomLabel");
  FZoomLabel->setToolTip("Zoom: Ctrl+wheel, Ctrl+plus, Ctrl+minus; Ctrl+0 fits, Ctrl+1 is 100 %");
  statusBar()->addPermanentWidget(FZoomLabel);
  for (TImgView* v : {FImgSrc, FImgDst}) {
    connect(v, &TImgView::zoomRequested, this,
            [this, v](int Steps, QPoint Anchor) { ZoomBy(Steps, v, Anchor); });
    // A fitted picture stays fitted as the window or the splitter moves.
    connect(v, &TImgView::resized, this, [this] {
      if (FZoomMode == zmFit && FDomain.Document) ZoomViews(0.0f, nullptr, {});
    });
  }
  UpdateZoomLabel();
}

void TFMain::ZoomViews(float Scale, TImgView* View, QPoint Anchor) {
  if (!FDomain.Document) return;
  if (!View) View = FImgDst;
  TPictureView& m = View->model();
  if (Scale <= 0.0f) {
    // Fit: the scale that shows the whole picture in every pane shown.
    Scale = 1.0f;
    for (TImgView* v : {FImgSrc, FImgDst})
      if (v->isVisible() && v->model().ClientWidth() > 0 && v->model().ClientHeight() > 0)
        Scale = std::min(Scale, v->model().FitScale());
  }
  if (Anchor.x() < 0) Anchor = {m.ClientWidth() / 2, m.ClientHeight() / 2};
  Scale = std::clamp(Scale, m.MinScale(), TPictureView::MaxScale);
  TImgView* other = View == FImgDst ? FImgSrc : FImgDst;
  // The other view takes the scale quietly, then follows the anchored one.
  FSyncingScroll = true;
  other->model().SetScale(Scale);
  FSyncingScroll = false;
  m.ZoomAt(Scale, {Anchor.x(), Anchor.y()});
  SyncScroll(View, other);
  FImgSrc->ScaleChanged();
  FImgDst->ScaleChanged();
  UpdateZoomLabel();
}

void TFMain::ZoomBy(int Steps, TImgView* View, QPoint Anchor) {
  if (!FDomain.Document || Steps == 0) return;
  const float from = (View ? View : FImgDst)->model().Scale;
  FZoomMode = zmFree;
  ZoomViews(TPictureView::ZoomStep(from, Steps), View, Anchor);
}

void TFMain::ZoomToFit() {
  FZoomMode = zmFit;
  TAppSettings settings;
  settings.SetZoomMode("fit");
  settings.Sync();
  ZoomViews(0.0f, nullptr, {-1, -1});
}

void TFMain::ZoomToActualSize() {
  FZoomMode = zmActual;
  TAppSettings settings;
  settings.SetZoomMode("100");
  settings.Sync();
  ZoomViews(1.0f, nullptr, {-1, -1});
}

void TFMain::UpdateZoomLabel() {
  if (!FZoomLabel) return;
  if (!FDomain.Document) {
    FZoomLabel->clear();
    return;
  }
  FZoomLabel->setText(QString("Zoom %1 %").arg(std::lround(FImgDst->model().Scale * 100.0)));
}

void TFMain::FollowDocumentZoom() {
  const TDualImage* doc = FDomain.Document.get();
  const uint64_t serial = doc ? doc->Serial : 0;
  if (serial == FZoomSerial) return UpdateZoomLabel();
  FZoomSerial = serial;
  if (!doc) return UpdateZoomLabel();
  // A new document: the panes take their size first, then the remembered
  // zoom (a free zoom of the last document falls back to it too).
  if (QLayout* l = centralWidget()->layout()) l->activate();
  FImgSrc->PictureResized();
  FImgDst->PictureResized();
  FZoomMode = TAppSettings().ZoomMode() == "100" ? zmActual : zmFit;
  ZoomViews(FZoomMode == zmActual ? 1.0f : 0.0f, nullptr, {0, 0});
}

}  // namespace brellin
