#include <gtest/gtest.h>

#include <algorithm>

#include "base/Random.h"
#include "interaction/MainWindowModel.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TEST(MainWindowModel, GaugesWriteTheStyleInTheFormTheyShow) {
  test::TTestDocument t;
  TBStyle& s = t.Style;
  TDualImage& d = *t.Doc;
  s.SetModified(false);
  EXPECT_TRUE(ApplyParameter(pgBorderLimit, 1, s, d));
  EXPECT_EQ(s.Params.BorderLimit, 59);
  EXPECT_EQ(ParameterShownValue(pgBorderLimit, s, d), 2.0f);
  EXPECT_TRUE(s.Modified());
  // Shown as 2 already: the same gauge value again writes nothing.
  EXPECT_FALSE(ApplyParameter(pgBorderLimit, 2, s, d));
  ApplyParameter(pgBorderLimit, 50, s, d);
  EXPECT_EQ(s.Params.BorderLimit, 30);
  EXPECT_EQ(ParameterShownValue(pgBorderLimit, s, d), 50.0f);

  ApplyParameter(pgPrecision, 6, s, d);
  EXPECT_EQ(s.Params.PolyStep, 94);
  ApplyParameter(pgBump, 3.5f, s, d);  // half to even
  EXPECT_EQ(s.Bumpiness(), 4);
  ApplyParameter(pgScanWidth, 2.5f, s, d);  // the exact value
  EXPECT_EQ(s.Params.ScanWidth, 2.5f);
  ApplyParameter(pgSize, 70, s, d);
  EXPECT_EQ(d.BrushRadius, 70);
  ApplyParameter(pgDensity, 120, s, d);
  EXPECT_EQ(d.Density, 120);
  EXPECT_EQ(ParameterValueWithoutDocument(pgWidth, 8), 200.0f);
  EXPECT_EQ(ReliefLabel(0, 30), "[Disabled]");
  EXPECT_EQ(ReliefLabel(4, 30), "[Enabled]");
}

TEST(MainWindowModel, SizePreviewShrinksTheCircleThatDoesNotFit) {
  TBitmap32 p;
  SetRandSeed(7);
  const uint64_t before = RandomDrawCount();
  EXPECT_EQ(DrawSizePreview(p, 144, 102, 70, 50, Color32(218, 229, 239)), "72.9%");
  // Two draws per dot, from the program's generator: the spray that follows
  // depends on them, as it does on every other draw.
  EXPECT_EQ(RandomDrawCount() - before, 2u * 51u);
  // The circle is drawn at min(144, 102) div 2 - 5 = 46 around the centre.
  EXPECT_LT(std::min(GreenComponent(p.Pixel(117, 51)), GreenComponent(p.Pixel(118, 51))), 160);
  EXPECT_EQ(p.Pixel(5, 5), Color32(218, 229, 239));
  EXPECT_EQ(DrawSizePreview(p, 144, 102, 50, 5, Color32(218, 229, 239)), "");
  int dark = 0;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x) dark += p.Pixel(x, y) == Color32(60, 60, 60);
  EXPECT_GE(dark, 1);
  EXPECT_LE(dark, 6);
}

TEST(MainWindowModel, ToolPanels) {
  EXPECT_FALSE(PanelsForTool(0).Changes);
  EXPECT_FALSE(PanelsForTool(2).Changes);
  const TToolPanels pattern = PanelsForTool(4);
  EXPECT_TRUE(pattern.Patterns && pattern.SizeDensity && pattern.Style && !pattern.ProjectInfo);
  const TToolPanels pointer = PanelsForTool(1);
  EXPECT_TRUE(pointer.ProjectInfo && !pointer.SizeDensity);
}

}  // namespace
}  // namespace brellin
