#include "base/Progress.h"

namespace brellin {

TProgress& Progress() {
  static TProgress progress;
  return progress;
}

void TProgress::SetStopHandler(std::function<void()> handler) {
  FStop = std::move(handler);
  if (FView) FView->SetStoppable(bool(FStop));
}

void TProgress::ShowProgress(int32_t minValue, int32_t maxValue) {
  if (FShowCount == 0) {
    FVisible = true;
    if (FView) FView->ShowWindow(WaitMessage);
  }
  FMinValue = minValue;
  FMaxValue = maxValue;
  FCurrentValue = minValue;
  FShownValue = minValue;
  if (FView) {
    FView->SetRange(minValue, maxValue);
    FView->SetPosition(minValue);
  }
  ++FShowCount;
}

void TProgress::HideProgress() {
  --FShowCount;
  if (FShowCount == 0) {
    FVisible = false;
    if (FView) FView->HideWindow();
  }
}

void TProgress::SetProgress(int32_t value) {
  // Only the bar moves; the step counter is StepProgress's own.
  if (FView) {
    FView->SetPosition(value);
    FView->ProcessEvents();
  }
}

void TProgress::StepProgress() {
  ++FCurrentValue;
  // Redraw at most once per percent of the range:
  // (Current - Shown) / (Max - Min) * 100 >= 1, evaluated exactly.
  const int64_t range = int64_t(FMaxValue) - FMinValue;
  if (range <= 0) return;
  if ((int64_t(FCurrentValue) - FShownValue) * 100 >= range) {
    FShownValue = FCurrentValue;
    if (FView) {
      FView->SetPosition(FCurrentValue);
      FView->ProcessEvents();
    }
  }
}

}  // namespace brellin
