// The floating panels' bookkeeping, apart from their windows: which are
// shown and pinned, where one opens next to the mouse, and which hide when
// the mouse moves over the main window.
#pragma once

#include <map>

#include "base/Types.h"

namespace brellin {

class TPanelManagerModel {
 public:
  // The panels' tags, from the base tag 1000 up.
  static constexpr int BaseTag = 1000;
  static constexpr int StrokeSettings = 1000, ColorVariation = 1001, BrushesCollection = 1002,
                       AdvancedSettings = 1003, SizeDensity = 1004;

  void AddPanel(int Tag) { FPanels[Tag]; }
  bool HasPanel(int Tag) const { return FPanels.count(Tag) != 0; }

  // Where a window of W x H opens for the mouse at (MouseX, MouseY): 10
  // pixels up and left of the mouse, pulled back inside the main window's
  // rectangle (10 pixels from its right and bottom edges) when it would
  // pass them.
  static TPoint OpenPosition(int MouseX, int MouseY, int W, int H, const TRect& MainWindow);

  void Open(int Tag) { Set(Tag, &TState::Shown, true); }
  void Close(int Tag) { Set(Tag, &TState::Shown, false); }
  bool IsShown(int Tag) const { return Get(Tag, &TState::Shown); }
  // False for a tag without a panel.
  bool IsPinned(int Tag) const { return Get(Tag, &TState::Pinned); }
  void SetPinned(int Tag, bool Pinned) { Set(Tag, &TState::Pinned, Pinned); }
  // The close button: hides the panel and unpins it, so that it hides again
  // on the next mouse move after being reopened.
  void CloseButton(int Tag) {
    Close(Tag);
    SetPinned(Tag, false);
  }
  // The mouse moved over the main window's panels or views.
  void HideUnpinned();
  // The application lost the focus: every panel hides, the pinned ones
  // come back when it returns.
  void HideAll();
  void ShowPinned();

 private:
  struct TState {
    bool Shown = false, Pinned = false;
  };
  bool Get(int Tag, bool TState::*Field) const {
    const auto it = FPanels.find(Tag);
    return it != FPanels.end() && it->second.*Field;
  }
  void Set(int Tag, bool TState::*Field, bool Value) {
    const auto it = FPanels.find(Tag);
    if (it != FPanels.end()) it->second.*Field = Value;
  }
  std::map<int, TState> FPanels;
};

}  // namespace brellin
