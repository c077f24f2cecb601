#include "interaction/PanelModels.h"

namespace brellin {

TPoint TPanelManagerModel::OpenPosition(int MouseX, int MouseY, int W, int H,
                                        const TRect& MainWindow) {
  TPoint p{MouseX - 10, MouseY - 10};
  if (p.X + W > MainWindow.Right) p.X = MainWindow.Right - W - 10;
  if (p.Y + H > MainWindow.Bottom) p.Y = MainWindow.Bottom - H - 10;
  return p;
}

void TPanelManagerModel::HideUnpinned() {
  for (auto& [tag, s] : FPanels)
    if (!s.Pinned) s.Shown = false;
}

void TPanelManagerModel::HideAll() {
  for (auto& [tag, s] : FPanels) s.Shown = false;
}

void TPanelManagerModel::ShowPinned() {
  for (auto& [tag, s] : FPanels)
    if (s.Pinned) s.Shown = true;
}

}  // namespace brellin
