// The shared progress (wait) window as a model. Shows nest: the window stays
// up until the outermost caller hides it. The model keeps the counting and
// redraw rules; a view port (desktop window, terminal bar, test fake) draws.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace brellin {

// What the model asks of whatever shows the progress.
class TProgressView {
 public:
  virtual ~TProgressView() = default;
  // Show the window with the message (and disable the main window).
  virtual void ShowWindow(const std::string& message) = 0;
  // Hide the window (and enable the main window).
  virtual void HideWindow() = 0;
  virtual void SetRange(int32_t minValue, int32_t maxValue) = 0;
  virtual void SetPosition(int32_t value) = 0;
  // Repaint and let pending user-interface events run.
  virtual void ProcessEvents() {}
  // Whether the window offers to stop the work (see TProgress::RequestStop).
  virtual void SetStoppable(bool) {}
};

class TProgress {
 public:
  // The message shown; callers assign it before ShowProgress.
  std::string WaitMessage = "Processing Image...";

  void ShowProgress(int32_t minValue, int32_t maxValue);
  void HideProgress();
  void SetProgress(int32_t value);
  void StepProgress();
  // Work that can be stopped says how; the view then offers a stop button
  // that calls RequestStop. An empty function: nothing to stop.
  void SetStopHandler(std::function<void()> handler);
  bool Stoppable() const { return bool(FStop); }
  void RequestStop() {
    if (FStop) FStop();
  }
  // A right click on the window's frame: forget the nesting depth.
  void ResetShowCount() { FShowCount = 0; }

  int32_t ShowCount() const { return FShowCount; }
  int32_t MinValue() const { return FMinValue; }
  int32_t MaxValue() const { return FMaxValue; }
  int32_t CurrentValue() const { return FCurrentValue; }
  int32_t ShownValue() const { return FShownValue; }
  bool Visible() const { return FVisible; }

  // The view; not owned; may be null (nothing is drawn).
  void SetView(TProgressView* view) { FView = view; }
  TProgressView* View() const { return FView; }

 private:
  TProgressView* FView = nullptr;
  std::function<void()> FStop;
  int32_t FShowCount = 0;
  int32_t FMinValue = 0, FMaxValue = 0, FCurrentValue = 0, FShownValue = 0;
  bool FVisible = false;
};

// The one progress model of the program.
TProgress& Progress();

// Shorthands on the program's progress model.
inline std::string& WaitMessage() {
  return Progress().WaitMessage;
}
inline void ShowProgress(int32_t minValue, int32_t maxValue) {
  Progress().ShowProgress(minValue, maxValue);
}
inline void HideProgress() {
  Progress().HideProgress();
}
inline void SetProgress(int32_t value) {
  Progress().SetProgress(value);
}
inline void StepProgress() {
  Progress().StepProgress();
}

// Shows the progress for a scope and hides it on every way out. With Stop,
// the window offers to stop the work for the scope's length.
class TProgressScope {
 public:
  TProgressScope(const std::string& message, int32_t minValue, int32_t maxValue,
                 std::function<void()> Stop = {})
      : FStoppable(bool(Stop)) {
    WaitMessage() = message;
    if (FStoppable) Progress().SetStopHandler(std::move(Stop));
    ShowProgress(minValue, maxValue);
  }
  ~TProgressScope() {
    if (FStoppable) Progress().SetStopHandler({});
    HideProgress();
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

 private:
  bool FStoppable;
};

}  // namespace brellin
