#include <gtest/gtest.h>

#include "base/Progress.h"

namespace brellin {
namespace {

// Records what the model asks of the window.
struct TFakeView : TProgressView {
  int Shows = 0, Hides = 0, Redraws = 0;
  bool Visible = false;
  std::string Message;
  std::vector<int32_t> Positions;
  void ShowWindow(const std::string& m) override {
    ++Shows;
    Visible = true;
    Message = m;
  }
  void HideWindow() override {
    ++Hides;
    Visible = false;
  }
  void SetRange(int32_t, int32_t) override {}
  void SetPosition(int32_t v) override { Positions.push_back(v); }
  void ProcessEvents() override { ++Redraws; }
};

TEST(Progress, NestedShowsStayUpUntilTheOutermostHide) {
  TProgress p;
  TFakeView view;
  p.SetView(&view);
  p.WaitMessage = "Analyzing Image...";
  p.ShowProgress(0, 100);
  p.ShowProgress(0, 10);  // only resets the range
  EXPECT_EQ(view.Shows, 1);
  EXPECT_EQ(view.Message, "Analyzing Image...");
  EXPECT_EQ(p.MaxValue(), 10);
  p.HideProgress();
  EXPECT_TRUE(view.Visible);
  EXPECT_EQ(p.ShowCount(), 1);
  p.HideProgress();
  EXPECT_FALSE(view.Visible);
  EXPECT_EQ(view.Hides, 1);
}

TEST(Progress, StepRedrawsAtMostOncePerPercent) {
  TProgress p;
  TFakeView view;
  p.SetView(&view);
  p.ShowProgress(0, 50);
  for (int i = 0; i < 50; ++i) p.StepProgress();
  EXPECT_EQ(view.Redraws, 50);  // each step is 2 %
  view.Redraws = 0;
  p.ShowProgress(0, 150);
  for (int i = 0; i < 150; ++i) p.StepProgress();
  EXPECT_EQ(view.Redraws, 75);  // every second step
  EXPECT_EQ(p.CurrentValue(), 150);
  EXPECT_EQ(p.ShownValue(), 150);
}

TEST(Progress, ResetCountAndUnbalancedHides) {
  TProgress p;
  TFakeView view;
  p.SetView(&view);
  p.ShowProgress(0, 10);
  p.ShowProgress(0, 10);
  p.ShowProgress(0, 10);
  p.ResetShowCount();  // right click on the frame
  // A hide while the count is 0 or less only counts down.
  p.HideProgress();
  EXPECT_EQ(p.ShowCount(), -1);
  EXPECT_EQ(view.Hides, 0);
  // A show while below 0 only counts up; the window is not shown again.
  p.ShowProgress(0, 10);
  EXPECT_EQ(p.ShowCount(), 0);
  EXPECT_EQ(view.Shows, 1);
  // From 0 a show displays the window again and its hide hides it.
  p.ShowProgress(0, 10);
  EXPECT_EQ(view.Shows, 2);
  p.HideProgress();
  EXPECT_EQ(view.Hides, 1);
}

TEST(Progress, ScopeHidesOnEveryWayOut) {
  TFakeView view;
  Progress().SetView(&view);
  try {
    TProgressScope scope("Please wait...", 0, 10);
    EXPECT_EQ(view.Message, "Please wait...");
    throw std::runtime_error("boom");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(view.Visible);
  EXPECT_EQ(Progress().ShowCount(), 0);
  Progress().SetView(nullptr);
}

}  // namespace
}  // namespace brellin
