// The tool manager of a document: one input controller per tool, the
// current tool, and the events of the document's two picture views, mapped
// to document coordinates and handed to the current controller before the
// views' previous handlers.
#pragma once

#include <memory>

#include "domain/PictureView.h"
#include "domain/ToolManagerPort.h"
#include "interaction/InputController.h"

namespace brellin {

class TToolManager : public TAbstractToolManager {
 public:
  // Creates the controllers and takes over both views' events; no tool is
  // current until one is selected.
  explicit TToolManager(TDualImage& Document);
  // Puts the previous handlers back on the views the document still has.
  ~TToolManager() override;
  TToolManager(const TToolManager&) = delete;
  TToolManager& operator=(const TToolManager&) = delete;

  // 0 none (context help), 1 pointer, 2 curve, 3 free hand, 4 pattern,
  // 5 auto-sketch. Selecting the current tool again changes nothing.
  void SetTool(int Value) override;
  int Tool() const override { return FTool; }
  void SetEnabled(bool Value) override { FEnabled = Value; }
  bool Enabled() const override { return FEnabled; }
  TAbstractInputController* Current() const { return FCurrent; }
  TAbstractInputController* Controller(int Tool) const;

  // A point of the active view in document coordinates: through the view's
  // scale and scroll, then, on the destination view, scaled by the width
  // ratio of source to destination (rounded half to even).
  TPoint MapToDocument(TPoint ViewPoint) const;

 private:
  void Install(TPictureView* View, TViewEvents& Saved);
  // The previous handlers of Sender, or nullptr for another view.
  const TViewEvents* SavedOf(const TPictureView& Sender) const;
  bool Acts(const TPictureView& Sender) const;

  TDualImage& FDocument;
  int FTool = 0;
  TAbstractInputController* FCurrent = nullptr;
  TPointerInputController FPointer;
  TAddCurveInputController FCurve;
  TAutoInputController FAuto;
  TPatternInputController FPattern;
  TBandInputController FBand;
  bool FEnabled = true;
  TPictureView* FSourceView;
  TPictureView* FDestinationView;
  TViewEvents FSourceSaved, FDestinationSaved;
};

// What the programs install into the domain: a tool manager for each new
// document.
std::unique_ptr<TAbstractToolManager> CreateToolManager(TDualImage& Document);
TToolManagerFactory MakeToolManagerFactory();

}  // namespace brellin
