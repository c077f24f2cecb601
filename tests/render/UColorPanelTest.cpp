#include "render/UColorPanel.h"

#include <gtest/gtest.h>

#include <set>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Random.h"

namespace brellin {
namespace {

// The generator's seed after n draws from seed s, worked out independently
// of Random.
uint32_t SeedAfter(uint32_t s, int n) {
  for (int i = 0; i < n; ++i) s = s * 134775813u + 1u;
  return s;
}

// What Random(n) returns as the first draw from seed s.
int FirstDraw(uint32_t s, uint32_t n) {
  return int((uint64_t(SeedAfter(s, 1)) * n) >> 32);
}

constexpr uint32_t kSeed = 0x2468ACE1u;

// ---- StrokeColor

TEST(StrokeColor, AutoWithoutVariationIsTheSourceAndDrawsNothing) {
  TColorSettings s;  // a document created from a picture: cmAuto, no offsets
  EXPECT_EQ(s.ColorMode, cmAuto);
  SetRandSeed(kSeed);
  EXPECT_EQ(StrokeColor(0x80C86432u, s, 0, 0, 0), 0x80C86432u);  // untouched, alpha too
  EXPECT_EQ(RandSeed(), kSeed);
}

TEST(StrokeColor, FixedMixesForeAndBackByBrightness) {
  TColorSettings s;
  s.ColorMode = cmFixed;
  SetRandSeed(kSeed);
  // White over black: the source's grey level v = (200 + 100 + 30) div 3.
  EXPECT_EQ(StrokeColor(Color32(200, 100, 30), s, 0, 0, 0), Color32(110, 110, 110));
  EXPECT_EQ(StrokeColor(Color32(2, 2, 1), s, 0, 0, 0), Color32(1, 1, 1));  // 5 div 3

  s.ForeColor = Color32(10, 200, 90);
  s.BackColor = Color32(250, 5, 60, 0);
  EXPECT_EQ(StrokeColor(clWhite32, s, 0, 0, 0), Color32(10, 200, 90));
  EXPECT_EQ(StrokeColor(clBlack32, s, 0, 0, 0), Color32(250, 5, 60));  // opaque
  // v = 102: each channel fore x 102 div 255 + back x 153 div 255.
  EXPECT_EQ(StrokeColor(Color32(102, 102, 102), s, 0, 0, 0), Color32(4 + 150, 80 + 3, 36 + 36));

  // A document read from a project: fore opaque black, back all zero.
  s.ForeColor = clBlack32;
  s.BackColor = 0;
  EXPECT_EQ(StrokeColor(Color32(90, 180, 250), s, 0, 0, 0), clBlack32);
  EXPECT_EQ(RandSeed(), kSeed);
}

TEST(StrokeColor, VariantsPickAColourAtRandomAndDarkenIt) {
  TColorSettings s;
  s.ColorMode = cmVariants;
  SetRandSeed(kSeed);
  EXPECT_EQ(StrokeColor(clWhite32, s, 0, 0, 0), clBlack32);  // no colours: black, no draw
  EXPECT_EQ(RandSeed(), kSeed);

  s.AddVariantColor(Color32(200, 100, 50, 7));
  EXPECT_EQ(StrokeColor(clWhite32, s, 0, 0, 0), Color32(200, 100, 50));  // Random(1) drawn
  EXPECT_EQ(RandSeed(), SeedAfter(kSeed, 1));
  EXPECT_EQ(StrokeColor(Color32(128, 128, 128), s, 0, 0, 0), Color32(100, 50, 25));
  EXPECT_EQ(StrokeColor(clBlack32, s, 0, 0, 0), clBlack32);

  const std::vector<TColor32> colours{Color32(255, 0, 0), Color32(0, 255, 0), Color32(0, 0, 255)};
  s.VariantColors = colours;
  std::set<TColor32> seen;
  uint32_t seed = kSeed;
  SetRandSeed(seed);
  for (int i = 0; i < 300; ++i) {
    const TColor32 c = StrokeColor(clWhite32, s, 0, 0, 0);
    EXPECT_EQ(c, colours[size_t(FirstDraw(seed, 3))]);
    seed = SeedAfter(seed, 1);
    seen.insert(c);
  }
  EXPECT_EQ(RandSeed(), seed);
  EXPECT_EQ(seen.size(), 3u);  // the last colour is reachable too
}

TEST(StrokeColor, VariantDrawComesBeforeTheThreeVariationDraws) {
  TColorSettings s;
  s.ColorMode = cmVariants;
  s.VariantColors = {Color32(220, 40, 40), Color32(40, 220, 40), Color32(40, 40, 220),
                     Color32(220, 220, 40)};
  s.SaturationOffset = -0.25f;
  const TColor32 source = Color32(230, 180, 200);
  for (uint32_t seed : {kSeed, 1u, 0xDEADBEEFu, 77777u}) {
    TColor32 expected = ScaleColor(s.VariantColors[size_t(FirstDraw(seed, 4))], 203);
    SetRandSeed(SeedAfter(seed, 1));
    VaryColor(expected, 40, 30, 20, 0.0f, -0.25f, 0.0f);

    SetRandSeed(seed);
    EXPECT_EQ(StrokeColor(source, s, 40, 30, 20), expected);
    EXPECT_EQ(RandSeed(), SeedAfter(seed, 4));
  }
}

TEST(StrokeColor, OffsetsAloneStillVaryAndDrawThreeTimes) {
  TColorSettings s;
  const TColor32 source = Color32(200, 100, 30, 128);
  SetRandSeed(kSeed);
  s.LightnessOffset = -0.1f;
  const TColor32 darker = StrokeColor(source, s, 0, 0, 0);
  EXPECT_EQ(RandSeed(), SeedAfter(kSeed, 3));  // Random(0) is a draw
  EXPECT_EQ(AlphaComponent(darker), 255);
  EXPECT_LT(RedComponent(darker), 200);
  EXPECT_LT(GreenComponent(darker), 100);
  EXPECT_LT(BlueComponent(darker), 30);

  // A variation with no offsets also triggers the draws; all six at zero do not.
  s.LightnessOffset = 0;
  SetRandSeed(kSeed);
  StrokeColor(source, s, 0, 1, 0);
  EXPECT_EQ(RandSeed(), SeedAfter(kSeed, 3));
}

TEST(StrokeColor, HueIsClampedAtTheEndsOfItsRangeNotWrapped) {
  TColorSettings s;
  s.HueOffset = 0.5f;
  // Hue just below 1 pushed beyond it stays at 1: red, not cyan.
  EXPECT_EQ(StrokeColor(Color32(255, 0, 1), s, 0, 0, 0), Color32(255, 0, 0));
  s.HueOffset = -0.5f;
  EXPECT_EQ(StrokeColor(Color32(255, 1, 0), s, 0, 0, 0), Color32(255, 0, 0));
  s.HueOffset = 0.0f;
  s.LightnessOffset = 0.5f;
  EXPECT_EQ(StrokeColor(Color32(200, 220, 240), s, 0, 0, 0), clWhite32);
}

TEST(StrokeColor, VariationMovesAComponentByAtMostHalfItsAmount) {
  TColorSettings s;
  s.ColorMode = cmFixed;  // grey levels: only lightness can move
  SetRandSeed(kSeed);
  int lowest = 255, highest = 0;
  for (int i = 0; i < 500; ++i) {
    const TColor32 c = StrokeColor(Color32(128, 128, 128), s, 0, 0, 51);
    ASSERT_EQ(RedComponent(c), GreenComponent(c));
    ASSERT_EQ(GreenComponent(c), BlueComponent(c));
    lowest = std::min<int>(lowest, RedComponent(c));
    highest = std::max<int>(highest, RedComponent(c));
  }
  // L = 128/255 moved by (Random(51) - 25.5) / 255: 128 - 25.5 .. 128 + 24.5.
  EXPECT_GE(lowest, 102);
  EXPECT_LE(highest, 153);
  EXPECT_LT(lowest, 110);
  EXPECT_GT(highest, 146);
  EXPECT_EQ(RandSeed(), SeedAfter(kSeed, 1500));
}

// ---- TColorPanel

TEST(ColorPanel, StartsWithNoModeShownAndButtonsSwitchTheLookAndTheDocumentsMode) {
  TColorPanel p;
  EXPECT_FALSE(p.ShownMode().has_value());
  EXPECT_FALSE(p.ResetButtonVisible());
  for (int i = 0; i < TColorPanel::SwatchCount; ++i) EXPECT_TRUE(p.Swatch(i).Empty);
  EXPECT_EQ(TColorPanel::PanelColor, 0xFFDEE4EFu);
  int changes = 0;
  p.OnChange = [&](TColorPanel& sender) {
    EXPECT_EQ(&sender, &p);
    ++changes;
  };
  p.VariantsButtonClick();  // no document: only the look
  EXPECT_TRUE(p.ModeButtonDown(cmVariants));
  EXPECT_TRUE(p.OptionPanelVisible(cmVariants));
  EXPECT_TRUE(p.ResetButtonVisible());

  TColorSettings doc;
  p.SetDocument(&doc);
  p.FixedButtonClick();
  EXPECT_EQ(doc.ColorMode, cmFixed);
  EXPECT_TRUE(p.OptionPanelVisible(cmFixed));
  EXPECT_FALSE(p.OptionPanelVisible(cmVariants));
  EXPECT_FALSE(p.ModeButtonDown(cmVariants));
  EXPECT_FALSE(p.ResetButtonVisible());
  p.VariantsButtonClick();
  EXPECT_EQ(doc.ColorMode, cmVariants);
  p.AutoButtonClick();
  EXPECT_EQ(doc.ColorMode, cmAuto);
  EXPECT_FALSE(p.ResetButtonVisible());
  doc.ColorMode = cmFixed;
  p.ClickModeButton(doc.ColorMode);
  EXPECT_EQ(p.ShownMode(), cmFixed);
  EXPECT_EQ(changes, 5);
}

TEST(ColorPanel, PickedVariantsFillTheSwatchesInTurnAndTheEleventhReplacesTheFirst) {
  TColorPanel p;
  TColorSettings doc;
  p.SetDocument(&doc);
  int nextSeen = -1;
  p.OnChange = [&](TColorPanel& sender) { nextSeen = sender.NextSwatch(); };
  for (int i = 0; i < 3; ++i) p.VariantColorPicked(Color32(uint8_t(10 * i), 0, 0, 0));
  EXPECT_EQ(p.NextSwatch(), 3);
  EXPECT_EQ(nextSeen, 3);  // the notification sees the panel complete
  ASSERT_EQ(doc.VariantColorCount(), 3);
  EXPECT_EQ(doc.VariantColor(2), Color32(20, 0, 0));  // made opaque
  EXPECT_EQ(p.Swatch(2).Color, Color32(20, 0, 0));

  for (int i = 3; i < 10; ++i) p.VariantColorPicked(Color32(uint8_t(10 * i), 0, 0));
  EXPECT_EQ(p.NextSwatch(), 0);
  p.VariantColorPicked(Color32(1, 2, 3));
  EXPECT_EQ(p.NextSwatch(), 1);
  ASSERT_EQ(doc.VariantColorCount(), 10);
  EXPECT_EQ(doc.VariantColor(0), Color32(1, 2, 3));
  EXPECT_EQ(doc.VariantColor(9), Color32(90, 0, 0));
}

TEST(ColorPanel, PicksWithoutADocumentChangeOnlyThePanelAndSwatchesOutliveDocuments) {
  TColorPanel p;
  p.VariantColorPicked(Color32(5, 6, 7));
  p.FixedColorsPicked(Color32(1, 1, 1), Color32(2, 2, 2));
  EXPECT_EQ(p.Swatch(0).Color, Color32(5, 6, 7));
  EXPECT_EQ(p.ForeShapeColor(), clWhite32);
  EXPECT_EQ(p.BackShapeColor(), clBlack32);

  TColorSettings a;
  p.SetDocument(&a);
  p.FixedColorsPicked(Color32(10, 20, 30, 0), Color32(40, 50, 60, 9));
  EXPECT_EQ(a.ForeColor, Color32(10, 20, 30));  // opaque
  EXPECT_EQ(p.BackShapeColor(), Color32(40, 50, 60));
  // That Refresh showed a's empty list but kept NextSwatch at 1: the next
  // pick fills swatch 0 instead of leaving a gap.
  EXPECT_TRUE(p.Swatch(0).Empty);
  p.VariantColorPicked(Color32(8, 9, 10));
  ASSERT_EQ(a.VariantColorCount(), 1);
  EXPECT_EQ(a.VariantColor(0), Color32(8, 9, 10));
  EXPECT_EQ(p.NextSwatch(), 1);
  p.SetDocument(nullptr);
  p.Refresh();
  EXPECT_FALSE(p.Swatch(0).Empty);

  TColorSettings b;
  p.SetDocument(&b);
  p.Reset();
  EXPECT_TRUE(p.Swatch(0).Empty);
  EXPECT_EQ(p.NextSwatch(), 0);
  EXPECT_EQ(a.VariantColorCount(), 1);  // the old document is not touched
}

TEST(ColorPanel, BadIndexAndGapsAreRefusedWholeAndPicksNeverLeaveAGap) {
  TColorPanel p;
  TColorSettings doc;
  p.SetDocument(&doc);
  for (int bad : {-1, 10}) {
    try {
      p.SetSwatch(bad, clWhite32);
      FAIL();
    } catch (const EBrellinError& e) {
      EXPECT_STREQ(e.what(), "Index out of bounds");
    }
  }
  p.VariantColorPicked(Color32(11, 0, 0));
  EXPECT_THROW(p.SetSwatch(2, Color32(33, 0, 0)), EBrellinError);  // swatch 1 is empty
  EXPECT_TRUE(p.Swatch(2).Empty);
  ASSERT_EQ(doc.VariantColorCount(), 1);
  EXPECT_EQ(doc.VariantColor(0), Color32(11, 0, 0));

  // The document's colours were cut behind the panel's back: a pick into
  // NextSwatch would leave a gap, so it fills the first empty swatch.
  p.VariantColorPicked(Color32(22, 0, 0));
  p.VariantColorPicked(Color32(33, 0, 0));
  doc.VariantColors.resize(1);
  p.Refresh();
  EXPECT_TRUE(p.Swatch(1).Empty);
  EXPECT_EQ(p.NextSwatch(), 3);
  p.VariantColorPicked(Color32(44, 0, 0));
  EXPECT_EQ(p.NextSwatch(), 2);
  EXPECT_TRUE(p.Swatch(3).Empty);
  ASSERT_EQ(doc.VariantColorCount(), 2);
  EXPECT_EQ(doc.VariantColor(1), Color32(44, 0, 0));
}

TEST(ColorPanel, SlidersSetTheOffsetsAsValueOver256) {
  TColorPanel p;
  TColorSettings doc;
  p.SetDocument(&doc);
  p.SetSliderValue(TColorPanel::osHue, 128);
  p.SetSliderValue(TColorPanel::osSaturation, -128);
  p.SetSliderValue(TColorPanel::osBrightness, 4);
  EXPECT_EQ(doc.HueOffset, 0.5f);
  EXPECT_EQ(doc.SaturationOffset, -0.5f);
  EXPECT_EQ(doc.LightnessOffset, 0.015625f);
  p.SetSliderValue(TColorPanel::osHue, 300);  // kept in range
  p.SetSliderValue(TColorPanel::osSaturation, -129);
  EXPECT_EQ(p.SliderValue(TColorPanel::osHue), 128);
  EXPECT_EQ(doc.SaturationOffset, -0.5f);

  p.SetDocument(nullptr);
  p.SetSliderValue(TColorPanel::osBrightness, -20);
  EXPECT_EQ(p.SliderValue(TColorPanel::osBrightness), -20);
  EXPECT_EQ(doc.LightnessOffset, 0.015625f);

  EXPECT_EQ(TColorPanel::OffsetToSlider(0.3f), 77);  // 76.8
  EXPECT_EQ(TColorPanel::OffsetToSlider(-2.0f), -128);
  EXPECT_EQ(TColorPanel::OffsetToSlider(1.5f / 256.0f), 2);  // half to even
  EXPECT_EQ(TColorPanel::OffsetToSlider(2.5f / 256.0f), 2);
}

TEST(ColorPanel, RefreshShowsTheDocumentWithoutWritingItBack) {
  TColorPanel p;
  TColorSettings doc;
  p.SetDocument(&doc);
  p.VariantColorPicked(clWhite32);
  doc.ForeColor = Color32(1, 2, 3);
  doc.BackColor = 0;
  doc.HueOffset = 0.3f;
  doc.LightnessOffset = -3.0f;
  doc.VariantColors.assign(12, Color32(7, 7, 7));
  p.Refresh();
  EXPECT_EQ(p.ForeShapeColor(), Color32(1, 2, 3));
  EXPECT_EQ(p.BackShapeColor(), 0u);
  EXPECT_EQ(p.SliderValue(TColorPanel::osHue), 77);
  EXPECT_EQ(p.SliderValue(TColorPanel::osBrightness), -128);
  EXPECT_EQ(doc.HueOffset, 0.3f);  // the change handlers were detached
  EXPECT_EQ(doc.LightnessOffset, -3.0f);
  EXPECT_EQ(p.NextSwatch(), 1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p.Swatch(i).Color, Color32(7, 7, 7));
  EXPECT_EQ(doc.VariantColorCount(), 12);

  p.SetDocument(nullptr);
  p.Refresh();
  EXPECT_EQ(p.ForeShapeColor(), clWhite32);
  EXPECT_EQ(p.BackShapeColor(), clBlack32);
}

TEST(ColorPanel, ResetEmptiesSwatchesAndZeroesTheDocumentsVariantsAndOffsets) {
  TColorPanel p;
  TColorSettings doc;
  p.SetDocument(&doc);
  p.VariantColorPicked(Color32(1, 1, 1));
  p.VariantColorPicked(Color32(2, 2, 2));
  p.SetSliderValue(TColorPanel::osHue, 40);
  doc.SaturationOffset = 0.25f;  // behind the panel's back; its slider stands at 0
  int changes = 0;
  p.OnChange = [&](TColorPanel&) { ++changes; };
  p.ResetButtonClick();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(p.NextSwatch(), 0);
  EXPECT_TRUE(p.Swatch(0).Empty);
  EXPECT_EQ(doc.VariantColorCount(), 0);
  EXPECT_EQ(p.SliderValue(TColorPanel::osHue), 0);
  EXPECT_EQ(doc.HueOffset, 0.0f);
  EXPECT_EQ(doc.SaturationOffset, 0.0f);
}

}  // namespace
}  // namespace brellin
