#include <gtest/gtest.h>

#include <map>

#include "interaction/FullScreenModels.h"

namespace brellin {
namespace {

TEST(NavigatorModel, FitsThePictureAndMapsTheVisiblePart) {
  TNavigatorModel n;
  n.SetSizes(1000, 500, 261, 251);
  EXPECT_FLOAT_EQ(n.Scale(), 0.261f);
  // 500 x 0.261 in single precision is just above 130.5.
  const TRect t = n.ThumbRect();
  EXPECT_EQ(t.Left, 0);
  EXPECT_EQ(t.Top, 60);
  EXPECT_EQ(t.Width(), 261);
  EXPECT_EQ(t.Height(), 131);

  // A tall picture is centred across.
  n.SetSizes(100, 400, 200, 200);
  EXPECT_EQ(n.ThumbRect().Left, 75);
  EXPECT_EQ(n.ThumbRect().Top, 0);
  EXPECT_EQ(n.ThumbRect().Width(), 50);

  n.SetSizes(1000, 500, 261, 251);
  n.SetVisible({100, 40}, {500, 340});
  const TRect v = n.ViewRect();
  EXPECT_EQ(v.Left, 26);  // round(26.1)
  EXPECT_EQ(v.Top, 60 + 10);
  EXPECT_EQ(v.Right, 131);  // round(130.5...) in single precision
  EXPECT_EQ(v.Bottom, 60 + 89);
  // Edges belong to the outline.
  EXPECT_TRUE(n.Hit(v.Left, v.Top));
  EXPECT_TRUE(n.Hit(v.Right, v.Bottom));
  EXPECT_FALSE(n.Hit(v.Right + 1, v.Top));

  // Nothing to show: no scale, no drag.
  n.SetSizes(0, 500, 261, 251);
  EXPECT_EQ(n.Scale(), 0.0f);
  EXPECT_FALSE(n.MouseDown(0, 0));
}

TEST(NavigatorModel, DraggingTheOutlineScrollsByTheUnscaledDistance) {
  TNavigatorModel n;
  n.SetSizes(1000, 500, 261, 251);
  n.SetVisible({0, 0}, {200, 200});
  const TRect before = n.ViewRect();

  // A press outside the outline does nothing.
  EXPECT_FALSE(n.MouseDown(before.Right + 20, before.Top + 5));
  n.MouseMove(before.Right + 40, before.Top + 5);
  EXPECT_EQ(n.ViewRect().Left, before.Left);
  EXPECT_EQ(n.MouseUp(), (TPoint{0, 0}));

  ASSERT_TRUE(n.MouseDown(before.Left + 5, before.Top + 5));
  n.MouseMove(before.Left + 15, before.Top + 3);
  EXPECT_TRUE(n.Dragging());
  EXPECT_EQ(n.ViewRect().Left, before.Left + 10);  // the outline follows
  EXPECT_EQ(n.ViewRect().Top, before.Top - 2);
  // 10 / 0.261 = 38.31; -2 / 0.261 = -7.66.
  EXPECT_EQ(n.MouseUp(), (TPoint{38, -8}));
  EXPECT_FALSE(n.Dragging());
  EXPECT_EQ(n.ViewRect().Left, before.Left);
  // A second release without a press scrolls nothing.
  EXPECT_EQ(n.MouseUp(), (TPoint{0, 0}));
}

TEST(FullScreenBarModel, ScalesTheRememberedValuesAndPutsThemBack) {
  const std::map<int, float> main = {{pgAlpha, 5},   {pgWidth, 30},  {pgLength, 25},
                                     {pgHueVar, 10}, {pgSatVar, 20}, {pgLightVar, 3},
                                     {pgSize, 50},   {pgDensity, 7}};
  TFullScreenBarModel m;
  m.Remember([&](int Id) { return main.at(Id); });

  std::map<int, float> size;
  for (auto [id, v] : m.Targets(TFullScreenBarModel::bgSize, 200)) size[id] = v;
  EXPECT_EQ(size,
            (std::map<int, float>{{pgWidth, 60}, {pgLength, 50}, {pgSize, 100}, {pgDensity, 14}}));
  // Always from the remembered values, not from what the last change wrote.
  std::map<int, float> var;
  for (auto [id, v] : m.Targets(TFullScreenBarModel::bgVariation, 50)) var[id] = v;
  EXPECT_EQ(var, (std::map<int, float>{{pgHueVar, 5}, {pgSatVar, 10}, {pgLightVar, 1.5f}}));
  const auto alpha = m.Targets(TFullScreenBarModel::bgAlpha, 77);
  ASSERT_EQ(alpha.size(), 1u);
  EXPECT_EQ(alpha[0], (std::pair<int, float>{pgAlpha, 77}));

  std::map<int, float> back;
  for (auto [id, v] : m.Restore()) back[id] = v;
  EXPECT_EQ(back, main);
}

}  // namespace
}  // namespace brellin
