#include <gtest/gtest.h>

#include "base/Errors.h"
#include "interaction/ControlModels.h"
#include "interaction/DialogModels.h"

namespace brellin {
namespace {

TEST(GaugeModel, LogarithmicTableAccumulatesItsFractionInSinglePrecision) {
  TGaugeModel g(109);
  g.SetRange(5, 300);
  g.SetLogScale(true);
  EXPECT_FLOAT_EQ(g.EntryValue(0), 5.0f);
  EXPECT_NEAR(g.EntryValue(54), 38.0, 0.05);
  EXPECT_NEAR(g.EntryValue(55), 39.5, 0.05);
  EXPECT_NEAR(g.EntryValue(109), 299.9986, 0.0005);
  EXPECT_LT(g.EntryValue(109), 300.0f);
  // Setting a value puts the bar on the nearest entry.
  g.SetValue(39.4f);
  EXPECT_EQ(g.BarPosition(), 55);
  g.MoveBar(54);
  EXPECT_EQ(g.StoredValue(), g.EntryValue(54));
}

TEST(GaugeModel, ChangesAreClampedAndNotifiedOncePerRealChange) {
  TGaugeModel g;
  g.SetRange(1, 40);
  g.SetIntValue(true);
  int changes = 0;
  g.OnChange = [&] { ++changes; };
  g.SetValue(500);
  EXPECT_EQ(g.Value(), 40.0f);
  EXPECT_EQ(g.BarPosition(), g.BarWidth());
  EXPECT_EQ(changes, 1);
  g.SetValue(500);  // clamped to where it already is
  g.SetValue(40);
  EXPECT_EQ(changes, 1);
  g.SetValue(39);
  EXPECT_EQ(changes, 2);
  g.Updating = true;
  g.SetValue(3);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(g.Value(), 3.0f);
}

TEST(GaugeModel, DisplayAndTypedText) {
  TGaugeModel g;
  g.SetRange(0.5f, 12);
  EXPECT_EQ(g.DisplayText(0.5f), "0.5");
  EXPECT_EQ(g.DisplayText(2.46f), "2.5");
  EXPECT_EQ(g.DisplayText(11.6f), "12");

  TGaugeModel i;
  i.SetRange(1, 40);
  i.SetIntValue(true);
  i.SetText("3.5");
  i.AcceptText();
  EXPECT_EQ(i.StoredValue(), 3.5f);
  EXPECT_EQ(i.Value(), 4.0f);  // half to even
  EXPECT_EQ(i.Text(), "4");

  i.SetText("abc");
  EXPECT_THROW(i.AcceptText(), EBrellinError);
  EXPECT_EQ(i.StoredValue(), 3.5f);

  EXPECT_EQ(FilterGaugeKey('x'), 0);
  EXPECT_EQ(FilterGaugeKey(','), 0);
  EXPECT_EQ(FilterGaugeKey('7'), '7');
  EXPECT_EQ(FilterGaugeKey(13), 9);
}

TEST(GaugeModel, RebuildingTakesTheEditNumberIntoTheNewRange) {
  TGaugeModel g;  // value 10, range 1..100
  g.SetRange(20, 50);
  EXPECT_EQ(g.StoredValue(), 20.0f);
  EXPECT_EQ(g.Text(), "20");
}

TEST(SliderModel, DragFollowsThePointerWithinTheThumbBand) {
  TSliderModel s;
  s.Width = 110;
  s.ThumbWidth = 10;
  s.ThumbHeight = 11;
  s.SetMaximum(100);  // one pixel per unit
  int changed = 0, stopped = 0;
  s.OnChanged = [&] { ++changed; };
  s.OnStopChanged = [&] { ++stopped; };
  s.MouseMove(50, 5, true);  // not dragging
  EXPECT_EQ(s.Position(), 0);
  s.MouseDown();
  s.MouseMove(50, 40, true);  // outside the band before the first move
  EXPECT_EQ(changed, 0);
  s.MouseMove(50, 5, true);
  EXPECT_EQ(s.Position(), 45);
  s.MouseMove(500, 40, true);  // once moved, the band no longer matters; clamped to Maximum
  EXPECT_EQ(s.Position(), 100);
  EXPECT_EQ(s.ThumbOffset(), 100);
  s.MouseUp();
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(stopped, 1);
  s.SetMaximum(30);
  EXPECT_EQ(s.Position(), 30);
  s.SetPosition(-4);
  EXPECT_EQ(s.Position(), 0);
}

TEST(ColorField, HueAcrossSaturationDownAndPicksByButton) {
  // Full saturation at half lightness: the hue circle's primaries.
  EXPECT_EQ(ColorFieldPixel(0, 255, 256, 256, 0.5f, true), Color32(255, 0, 0));
  EXPECT_EQ(ColorFieldPixel(85, 255, 256, 256, 0.5f, true), Color32(0, 255, 0));
  // No saturation: grey of the lightness; the vertical layout swaps the axes.
  EXPECT_EQ(ColorFieldPixel(200, 0, 256, 256, 0.5f, true), Color32(128, 128, 128));
  EXPECT_EQ(ColorFieldPixel(0, 200, 256, 256, 0.5f, false), Color32(128, 128, 128));
  TColorFieldPick pick;
  pick.Pick(0xFF123456u, false);
  EXPECT_EQ(pick.Secondary, 0xFF123456u);
  EXPECT_EQ(pick.Selected, 0u);
}

TEST(ThumbGrid, LayoutAndHitTesting) {
  TThumbGridLayout g;
  g.ClientWidth = 100;
  g.ThumbWidth = g.ThumbHeight = 40;
  g.Count = 7;
  EXPECT_EQ(g.Columns(), 2);
  EXPECT_EQ(g.Rows(), 4);
  EXPECT_EQ(g.SheetWidth(), 86);
  EXPECT_EQ(g.SheetHeight(), 170);
  EXPECT_EQ(g.CellAt(2, 2), 0);
  EXPECT_EQ(g.CellAt(44, 42), 1);   // left edge of cell 1, bottom edge of row 0
  EXPECT_EQ(g.CellAt(43, 10), -1);  // in the margin
  EXPECT_EQ(g.CellAt(50, 90), 5);
  EXPECT_EQ(g.CellAt(50, 130), -1);  // the last row has one image
  g.Count = 1;
  EXPECT_EQ(g.Columns(), 1);
  EXPECT_EQ(TintWithPanelColor(clWhite32, 0xFFD4D0C8u), 0xFFD4D0C8u);
  EXPECT_EQ(TintWithPanelColor(clBlack32, 0xFFD4D0C8u), clBlack32);
}

TEST(ApplyDialogModel, RefreshesEveryTwentyStepsAndClosesAtTheEnd) {
  TApplyDialogModel d;
  int refreshes = 0, starts = 0, stops = 0, closes = 0, windowCloses = 0;
  std::vector<std::string> labels;
  d.OnRefresh = [&] {
    ++refreshes;
    labels.push_back(d.StepLabel());
  };
  d.OnStop = [&] { ++stops; };
  d.OnClose = [&] { ++closes; };
  d.OnCloseWindow = [&] { ++windowCloses; };
  d.SetSteps(45);
  d.Shown();
  d.OnStart = [&] {
    ++starts;
    EXPECT_EQ(d.ButtonCaption(), "Stop / Preview");
    for (int k = 1; k <= 45 && d.Running(); ++k) d.Progress(k);
  };
  labels.clear();
  d.ToggleRunning();
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(windowCloses, 1);
  EXPECT_FALSE(d.Running());
  EXPECT_EQ(d.ButtonCaption(), "Start");
  EXPECT_EQ(d.ProgressPercent(), 100);
  // Start, steps 20 and 40, the stop at 45.
  const std::vector<std::string> expected = {"Steps done: 0", "Steps done: 20", "Steps done: 40",
                                             "Steps done: 45"};
  EXPECT_EQ(labels, expected);
  d.Hidden();
  EXPECT_EQ(stops, 1);
}

TEST(ImageSizeModel, InchesCentimetresPixelsAndEstimate) {
  TImageSizeModel m;
  m.SetImageWidth(1000);
  m.SetImageHeight(800);
  m.Resolution = 200;
  m.Shown();
  EXPECT_DOUBLE_EQ(m.HorizLength, 5.0);
  EXPECT_DOUBLE_EQ(m.VertLength, 4.0);
  m.SetCentimeters(true);
  EXPECT_NEAR(m.HorizLength, 12.7, 1e-9);
  EXPECT_NEAR(m.VertLength, 10.16, 1e-9);
  EXPECT_EQ(m.GroupCaption(), "Size in Centimeters");
  m.HorizPixelsEdited(2000);
  EXPECT_EQ(m.VertPixels, 1600);
  m.SetCentimeters(false);
  m.ResEdited(100);  // the physical size stays, the pixels halve
  EXPECT_EQ(m.HorizPixels, 1000);
  EXPECT_EQ(m.VertPixels, 800);
  m.HorizLengthEdited(2.5);
  EXPECT_DOUBLE_EQ(m.VertLength, 2.0);
  EXPECT_EQ(m.VertPixels, 200);

  m.HorizPixels = m.VertPixels = 30000;
  EXPECT_EQ(m.EstimateText(), "Estimated Size:2.515 GBytes");
  m.HorizPixels = m.VertPixels = 10;
  EXPECT_EQ(m.EstimateText(), "Estimated Size:300 Bytes");
  m.HorizPixels = m.VertPixels = 20;
  EXPECT_EQ(m.EstimateText(), "Estimated Size:1.172 KBytes");
}

TEST(ProjectOptionsModel, KeepsProportionsAndRefusesGrowingOrTinySizes) {
  TProjectOptionsModel m;
  m.OriginalWidth = 2000;
  m.OriginalHeight = 1500;
  m.SuggestedWidth = 1182;
  m.SuggestedHeight = 887;
  m.Shown();
  EXPECT_EQ(m.OriginalText(), "2000 x 1500");
  m.WidthEdited(1000);
  EXPECT_EQ(m.Height, 750);
  EXPECT_FALSE(m.CloseRefusal());
  m.WidthEdited(2001);
  EXPECT_EQ(m.CloseRefusal().value_or(""),
            "Please select a size small or equal\rthan the original image");
  m.WidthEdited(90);
  EXPECT_EQ(m.CloseRefusal().value_or(""), "Please select larger values for the image size");
  m.ResetToOriginal();
  EXPECT_FALSE(m.CloseRefusal());
}

TEST(BackgroundSelectorModel, ModesChecksAndRefusals) {
  TBackgroundSelectorModel b;
  b.Shown();
  b.ClickImage();
  EXPECT_TRUE(b.Checks.Tiled);
  EXPECT_EQ(b.OkRefusal().value_or(""), "Please select an image or choose solid background!");
  b.PictureLoaded(std::make_shared<TBitmap32>());
  EXPECT_EQ(b.OkRefusal().value_or(""), "Please select a valid image!");
  auto pic = std::make_shared<TBitmap32>();
  pic->SetSize(4, 4);
  b.PictureLoaded(pic);
  EXPECT_FALSE(b.OkRefusal());
  EXPECT_EQ(b.BackgroundMode(), 2);
  b.ClickTiled();  // checked Tiled unchecks itself and checks Stretch
  EXPECT_FALSE(b.Checks.Tiled);
  EXPECT_TRUE(b.Checks.Stretch);
  EXPECT_EQ(b.BackgroundMode(), 1);

  // Shown again: solid colour, whatever was chosen before.
  b.Shown();
  EXPECT_TRUE(b.Checks.SolidColor);
  EXPECT_EQ(b.BackgroundMode(), 0);
  // Cancel gives back the checks of the last showing (a picture mode) but
  // frees the picture: the mode must not claim a picture it does not have.
  b.ClickImage();
  b.Cancelled();
  EXPECT_FALSE(b.BackgroundPicture);
  EXPECT_TRUE(b.Checks.Image);
  EXPECT_EQ(b.BackgroundMode(), 0);
}

}  // namespace
}  // namespace brellin
