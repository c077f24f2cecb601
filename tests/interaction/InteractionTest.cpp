#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Random.h"
#include "curves/PolyBezier.h"
#include "interaction/InputController.h"
#include "interaction/Tools.h"
#include "interaction/UdmWacom.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

// A document with a tool manager, a scripted screen position and a fake
// clock for the pen; the views' previous handlers count their calls with
// the coordinates they were given.
struct TToolFixture {
  test::TTestDocument D;
  TPoint Screen;
  int64_t Clock = 1000000;
  TPressurePacketSource Pen;
  TdmWacom Wacom{&Pen, [this] { return Clock; }};
  int Chained = 0;
  TPoint LastChained{-1, -1};
  std::unique_ptr<TToolManager> Tools;

  explicit TToolFixture(TBitmap32 Picture = TBitmap32()) : D(Picture.Empty() ? Cat() : Picture) {
    SetScreenPositionSource([this] { return Screen; });
    Wacom.Install();
    for (TPictureView* v : {&D.Source, &D.Dest}) {
      v->Events.OnMouseMove = [this](TPictureView&, TShiftState, int X, int Y, TPaintLayer*) {
        ++Chained, LastChained = {X, Y};
      };
      v->Events.OnMouseDown = [this](TPictureView&, TMouseButton, TShiftState, int, int,
                                     TPaintLayer*) { ++Chained; };
      v->Events.OnMouseWheelUp = [this](TPictureView&, TShiftState, TPoint, bool&) { ++Chained; };
      v->Events.OnKeyDown = [this](TPictureView&, uint16_t&, TShiftState) { ++Chained; };
    }
    Tools = std::make_unique<TToolManager>(*D.Doc);
    Tools->SetTool(1);
  }
  ~TToolFixture() { SetScreenPositionSource(nullptr); }
  static TBitmap32 Cat() { return test::TTestDocument().Source.Bitmap(); }
  TDualImage& Doc() { return *D.Doc; }
  void Key(bool Down, uint16_t K = vkShift) {
    Down ? D.Source.KeyDown(K, 0) : D.Source.KeyUp(K, 0);
  }
  void Gesture(std::initializer_list<TPoint> Moves, TPictureView* View = nullptr) {
    TPictureView& v = View ? *View : D.Source;
    const TPoint first = *Moves.begin();
    v.MouseDown(mbLeft, ssLeft, first.X, first.Y);
    for (const TPoint& p : Moves) v.MouseMove(ssLeft, p.X, p.Y);
    v.MouseUp(mbLeft, 0, first.X, first.Y);
  }
};

TEST(InputControllers, ShiftSetsTheRadiusByTheScreenDistanceAndSwallowsMouseEvents) {
  TToolFixture f;
  f.Tools->SetTool(5);
  const int chained = f.Chained;
  f.Screen = {100, 100};
  f.Key(true);
  f.Screen = {300, 300};
  f.Key(true);  // a repeated key-down keeps the first anchor
  f.Screen = {130, 100};
  f.D.Source.MouseMove(0, 5, 5);
  EXPECT_EQ(f.Doc().BrushRadius, 30);
  f.Screen = {105, 100};
  f.D.Source.MouseMove(0, 5, 5);
  f.Screen = {700, 100};
  f.D.Source.MouseMove(0, 5, 5);
  EXPECT_EQ(f.Doc().BrushRadius, 30) << "5 and 600 lie outside 8..500";
  f.D.Source.MouseDown(mbLeft, ssLeft, 60, 40);
  f.D.Source.MouseUp(mbLeft, 0, 60, 40);
  EXPECT_EQ(f.Doc().StateCount(), 0);
  EXPECT_EQ(f.Chained, chained + 2) << "only the two key-downs reached the old handler";
  f.Key(false);
  f.Gesture({{60, 40}, {62, 41}});
  EXPECT_EQ(f.Doc().StateCount(), 1);
}

TEST(InputControllers, TheWheelStopsAtEightAndFourHundred) {
  TToolFixture f;
  for (int i = 0; i < 500; ++i) f.D.Source.MouseWheelUp(0, {10, 10});
  EXPECT_EQ(f.Doc().BrushRadius, 400);
  for (int i = 0; i < 500; ++i) f.D.Source.MouseWheelDown(0, {10, 10});
  EXPECT_EQ(f.Doc().BrushRadius, 8);
  // A controller on a curve layer alone has no radius to change.
  TPolyBezierLayer layer(nullptr);
  TAddCurveInputController alone(layer);
  bool handled = false;
  alone.MouseWheelUp(f.D.Source, 0, {}, handled);
  EXPECT_EQ(f.Doc().BrushRadius, 8);
}

TEST(InputControllers, TracedCurveIsStraightThenTakesThirdsAsControlPoints) {
  TPolyBezierLayer layer(nullptr);
  TAddCurveInputController c(layer);
  TPictureView v;
  c.MouseDown(v, mbLeft, 0, 10, 10, nullptr);
  c.MouseUp(v, mbLeft, 0, 10, 10, nullptr);
  const TBezierSegment dot = layer.GetPolyBezier(0)->GetBezier(0);
  EXPECT_TRUE(dot.P0 == TPoint({10, 10}) && dot.P1 == dot.P0 && dot.P2 == dot.P0 &&
              dot.P3 == dot.P0);

  c.MouseDown(v, mbLeft, 0, 0, 0, nullptr);
  c.MouseMove(v, 0, 10, 0, nullptr);
  c.MouseMove(v, 0, 20, 4, nullptr);
  TBezierSegment s = layer.CurrentPolyBezier()->GetBezier(0);
  EXPECT_EQ(s.P3, TPoint({20, 4}));
  EXPECT_EQ(s.P1, TPoint({10, 2})) << "two moves: straight";
  EXPECT_EQ(s.P2, TPoint({10, 2}));
  for (int i = 3; i <= 8; ++i) c.MouseMove(v, 0, 10 * i, i * i, nullptr);
  s = layer.CurrentPolyBezier()->GetBezier(0);  // H = 7: indexes 2 and 5
  EXPECT_EQ(s.P1, c.Points[2]);
  EXPECT_EQ(s.P2, c.Points[5]);
  EXPECT_EQ(s.P3, TPoint({80, 64}));
  EXPECT_EQ(layer.CurrentPolyBezier()->SegmentCount(), 1);
  EXPECT_TRUE(layer.Capturing());
  c.MouseUp(v, mbLeft, 0, 80, 64, nullptr);
  EXPECT_FALSE(layer.Capturing());
  EXPECT_EQ(layer.Count(), 2);
}

TEST(InputControllers, BandIsOneUndoStepWideByThePenWhileItSpeaks) {
  TToolFixture f;
  f.Tools->SetTool(3);
  TPolyBezierLayer& layer = *f.Doc().VectorLayer;
  auto band = [&](bool pen, int64_t waitBeforeUp) {
    if (pen) f.Pen.Send(1.0);
    f.D.Source.MouseDown(mbLeft, ssLeft, 20, 20);
    f.D.Source.MouseDown(mbRight, ssLeft | ssRight, 20, 20);  // ignored
    for (int i = 1; i <= 6; ++i) {
      f.Clock += 10;
      if (pen) f.Pen.Send(1.0);
      f.D.Source.MouseMove(ssLeft, 20 + 12 * i, 20 + 8 * i);
    }
    f.Clock += waitBeforeUp;
    const float width = layer.CurrentPolyBezier()->Width;
    f.D.Source.MouseUp(mbLeft, 0, 92, 68);
    f.D.Source.MouseUp(mbRight, 0, 92, 68);
    return width;
  };
  EXPECT_EQ(band(false, 0), 50.0f);
  EXPECT_EQ(f.Doc().StateCount(), 1);
  EXPECT_EQ(layer.Count(), 0) << "the band curve goes at mouse-up";
  EXPECT_EQ(band(true, 0), float(1023.0 / 511.0) * 50.0f);
  EXPECT_EQ(f.Doc().StateCount(), 2);
  f.Clock += 250;
  EXPECT_EQ(f.Wacom.PressureFactor(), 1.0f) << "the pen has been silent for 250 ms";
  EXPECT_EQ(f.Doc().EditDepth, 0);
}

// The band's width follows the pen smoothly: each reading is averaged with
// the width so far, so one light touch at the end does not thin the band.
TEST(InputControllers, BandWidthIsARunningAverageOfThePressure) {
  TToolFixture f;
  f.Tools->SetTool(3);
  TPolyBezierLayer& layer = *f.Doc().VectorLayer;
  f.Pen.Send(1.0);
  f.D.Source.MouseDown(mbLeft, ssLeft, 20, 20);
  for (int i = 1; i <= 6; ++i) {
    f.Clock += 10;
    f.Pen.Send(i < 6 ? 1.0 : 0.5);
    f.D.Source.MouseMove(ssLeft, 20 + 12 * i, 20 + 8 * i);
  }
  const float firm = float(1023.0 / 511.0) * 50.0f, light = float(512.0 / 511.0) * 50.0f;
  EXPECT_FLOAT_EQ(layer.CurrentPolyBezier()->Width, (light + firm) / 2.0f);
  f.D.Source.MouseUp(mbLeft, 0, 92, 68);
}

TEST(InputControllers, FailedAutoSketchRecordsNothingAndRestoresThePicture) {
  TToolFixture f;
  f.Tools->SetTool(5);
  SetRandSeed(7);
  f.Gesture({{60, 40}, {64, 44}});
  ASSERT_EQ(f.Doc().StateCount(), 1);
  const TBitmap32 before = f.D.Dest.Bitmap();
  const int64_t vectors = f.Doc().VectorCount();

  f.D.Source.MouseDown(mbLeft, ssLeft, 30, 30);
  f.D.Source.MouseMove(ssLeft, 34, 30);
  ASSERT_FALSE(test::SamePixels(before, f.D.Dest.Bitmap())) << "the gesture painted";
  SetPressureSource([]() -> double { throw EBrellinError("pen lost"); });
  f.D.Source.MouseMove(ssLeft, 38, 30);  // swallowed
  f.Wacom.Install();
  f.D.Source.MouseMove(ssLeft, 42, 30);
  f.D.Source.MouseUp(mbLeft, 0, 42, 30);
  EXPECT_TRUE(f.Tools->Current()->Failed);
  EXPECT_EQ(f.Doc().StateCount(), 1);
  EXPECT_EQ(f.Doc().EditDepth, 0);
  EXPECT_EQ(f.Doc().VectorCount(), vectors);
  EXPECT_TRUE(test::SamePixels(before, f.D.Dest.Bitmap()));

  f.Gesture({{30, 30}, {40, 30}});
  EXPECT_EQ(f.Doc().StateCount(), 2) << "the next gesture records its state";
}

// Free hand and pattern let failures through; the edit bracket must still
// close, or every later gesture would be swallowed into the failed one.
TEST(InputControllers, FailuresOfFreeHandAndPatternCloseTheEdit) {
  TToolFixture f;
  const TBitmap32 paper = f.D.Dest.Bitmap();
  auto failing = [] { SetPressureSource([]() -> double { throw EBrellinError("pen lost"); }); };
  f.Tools->SetTool(3);
  f.D.Source.MouseDown(mbLeft, ssLeft, 20, 20);
  for (int i = 1; i <= 4; ++i) f.D.Source.MouseMove(ssLeft, 20 + 12 * i, 20 + 8 * i);
  failing();
  EXPECT_THROW(f.D.Source.MouseUp(mbLeft, 0, 68, 52), EBrellinError);
  EXPECT_EQ(f.Doc().EditDepth, 0);
  EXPECT_EQ(f.Doc().VectorLayer->Count(), 0);
  f.Tools->SetTool(4);
  EXPECT_THROW(f.D.Source.MouseDown(mbLeft, ssLeft, 60, 40), EBrellinError);
  EXPECT_EQ(f.Doc().EditDepth, 0);
  EXPECT_TRUE(test::SamePixels(paper, f.D.Dest.Bitmap()));
  f.Wacom.Install();
  f.Tools->SetTool(5);
  f.Gesture({{60, 40}, {64, 44}});
  EXPECT_EQ(f.Doc().StateCount(), 1);
}

TEST(ToolManager, SelectsToolsActivatingOnlyOnChange) {
  TToolFixture f;
  EXPECT_THROW(f.Tools->SetTool(6), EBrellinError);
  EXPECT_EQ(f.Tools->Tool(), 1);
  f.Tools->SetTool(0);
  EXPECT_EQ(f.Tools->Current(), nullptr);
  f.Tools->SetTool(4);
  EXPECT_FALSE(f.Doc().AutoMode);
  EXPECT_EQ(f.Doc().CursorKind, 1);
  EXPECT_EQ(f.D.Source.Cursor(), crCross);
  f.Doc().AutoMode = true;
  f.Tools->SetTool(4);
  EXPECT_TRUE(f.Doc().AutoMode) << "the current tool is not activated again";
  f.Tools->SetTool(1);
  EXPECT_EQ(f.D.Source.Cursor(), crArrow);
}

TEST(ToolManager, MapsDestinationPointsAndChainsOnlyWhileActing) {
  TBitmap32 small = TToolFixture::Cat();
  TToolFixture f(small);
  f.D.Dest.Bitmap().SetSize(256, 192);
  f.D.Dest.MouseMove(0, 101, 51);
  EXPECT_EQ(f.Doc().ActiveView, &f.D.Dest);
  EXPECT_EQ(f.LastChained, TPoint({50, 26})) << "halved, half to even";
  f.D.Dest.Scale = 2.0f;
  f.D.Dest.ScrollX = 4;
  f.D.Dest.MouseMove(0, 100, 0);
  EXPECT_EQ(f.LastChained, TPoint({26, 0}));

  f.Tools->SetEnabled(false);
  const int chained = f.Chained;
  f.D.Source.MouseMove(0, 5, 5);
  f.D.Source.MouseDown(mbLeft, 0, 5, 5);
  f.D.Source.MouseWheelUp(0, {5, 5});
  EXPECT_EQ(f.Chained, chained);
  uint16_t key = 'A';
  f.D.Source.KeyDown(key, 0);
  EXPECT_EQ(f.Chained, chained + 1) << "keys do not depend on Enabled";
  f.Tools->SetEnabled(true);
  f.Tools->SetTool(0);
  f.D.Source.KeyDown(key, 0);
  f.D.Source.MouseMove(0, 5, 5);
  EXPECT_EQ(f.Chained, chained + 1) << "without a tool nothing runs";

  f.Tools.reset();
  f.D.Source.MouseMove(0, 7, 8);
  EXPECT_EQ(f.Chained, chained + 2);
  EXPECT_EQ(f.LastChained, TPoint({7, 8})) << "the old handler is back, unmapped";
}

TEST(PenPressure, FactorFromTheAxisAndTheLastPacketsAge) {
  int64_t now = 5000;
  TPressurePacketSource pen;
  TdmWacom w(&pen, [&] { return now; });
  EXPECT_EQ(w.HalfRange, 511);
  EXPECT_EQ(w.PressureFactor(), 1.0f) << "no packet yet";
  TPenPacket p;
  p.NormalPressure = 511;
  w.Packet(p);
  EXPECT_EQ(w.PressureFactor(), 1.0f);
  pen.Send(1.0);
  EXPECT_EQ(w.PressureFactor(), float(1023.0 / 511.0));
  now += 150;
  EXPECT_EQ(w.PressureFactor(), float(1023.0 / 511.0));
  now += 50;
  EXPECT_EQ(w.PressureFactor(), 1.0f);
  pen.Send(0.0);
  EXPECT_EQ(w.PressureFactor(), 0.01f);
  pen.Send(0.5);
  EXPECT_EQ(w.NormalPressure, 512) << "511.5 rounds half to even";
  w.HalfRange = 0;
  EXPECT_EQ(w.PressureFactor(), 1.0f);
}

TEST(PictureView, PaintsTheVisiblePartAtScaleAndClampsTheScroll) {
  TPictureView v;
  v.Bitmap().SetSize(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) v.Bitmap().SetPixel(x, y, Color32(uint8_t(x), uint8_t(y), 0));
  int scrolls = 0;
  v.OnScroll = [&](TPictureView&) { ++scrolls; };
  v.SetClientSize(50, 50);
  v.SetScale(2.0f);
  v.ScrollTo(100, -5);
  EXPECT_EQ(v.ScrollX, 30);
  EXPECT_EQ(v.ScrollY, 0);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(v.VisibleRect(), TRect({15, 0, 40, 25}));
  TBitmap32 buffer;
  v.Paint(buffer);
  ASSERT_EQ(buffer.Width(), 50);
  for (TPoint b : {TPoint{0, 0}, TPoint{1, 1}, TPoint{49, 49}, TPoint{17, 33}})
    EXPECT_EQ(buffer.Pixel(b.X, b.Y), v.Bitmap().Pixel((b.X + 30) / 2, b.Y / 2));
  v.SetScale(0.5f);
  v.Paint(buffer);
  // Zoomed out the picture is filtered: the pixel is the mean of the 2 x 2
  // block it covers (38.5 and 28.5 round up).
  EXPECT_EQ(buffer.Pixel(19, 14), Color32(39, 29, 0));
  EXPECT_EQ(buffer.Pixel(20, 14), v.BackgroundColor);

  v.Events.OnMouseDown = [](TPictureView&, TMouseButton, TShiftState, int, int, TPaintLayer*) {
    SilentStop();
  };
  EXPECT_NO_THROW(v.MouseDown(mbLeft, 0, 3, 4));
  EXPECT_EQ(v.MousePos, TPoint({3, 4}));
}

TEST(PictureView, ZoomKeepsTheAnchorAndMapsEveryScaleBothWays) {
  TPictureView v;
  v.Bitmap().SetSize(2000, 1500);
  v.SetClientSize(800, 700);
  EXPECT_FLOAT_EQ(v.FitScale(), 0.4f);
  EXPECT_FLOAT_EQ(v.MinScale(), 64.0f / 2000.0f);
  // Half powers of two from anywhere, so 50 % and 100 % are always met.
  EXPECT_FLOAT_EQ(TPictureView::ZoomStep(0.4f, 1), 0.5f);
  EXPECT_FLOAT_EQ(TPictureView::ZoomStep(0.5f, 2), 1.0f);
  EXPECT_FLOAT_EQ(TPictureView::ZoomStep(1.0f, -1), float(std::sqrt(0.5)));
  EXPECT_FLOAT_EQ(TPictureView::ZoomStep(0.4f, -1), float(std::sqrt(0.125)));
  // Round the middle of the picture, so that no zoom runs into the edge.
  v.SetClientSize(400, 300);
  v.ScrollTo(800, 600);
  const TPoint anchor{210, 140};
  for (float scale : {0.25f, 1.0f, 4.0f}) {
    const TPoint before = v.ViewToPicture(anchor);
    v.ZoomAt(scale, anchor);
    ASSERT_EQ(v.Scale, scale);
    // The picture point under the anchor stays there, to within a pixel of
    // the coarser scale.
    const TPoint after = v.ViewToPicture(anchor);
    EXPECT_LE(std::abs(after.X - before.X), int(std::ceil(1 / std::min(scale, 1.0f))));
    EXPECT_LE(std::abs(after.Y - before.Y), int(std::ceil(1 / std::min(scale, 1.0f))));
    // Picture pixel p is shown where it maps to: exactly when zoomed in,
    // within the view pixel that covers it and its neighbours when out.
    const int slack = scale >= 1.0f ? 0 : int(std::ceil(1 / scale));
    for (TPoint p : {TPoint{700, 500}, TPoint{1999, 1499}, TPoint{850, 640}}) {
      const TPoint back = v.ViewToPicture(v.PictureToView(p));
      EXPECT_LE(std::abs(back.X - p.X), slack) << scale << " " << p.X;
      EXPECT_LE(std::abs(back.Y - p.Y), slack) << scale << " " << p.Y;
    }
    // A view pixel's picture pixel is the one under its left edge.
    EXPECT_EQ(v.ViewToPicture({10, 20}), TPoint({Floor((10 + v.ScrollX) / double(scale)),
                                                 Floor((20 + v.ScrollY) / double(scale))}));
  }
  // Out of range asks stop at the limits; the small picture is never fitted
  // above 100 %.
  v.ZoomAt(100.0f, {0, 0});
  EXPECT_EQ(v.Scale, TPictureView::MaxScale);
  v.ZoomAt(0.001f, {0, 0});
  EXPECT_EQ(v.Scale, v.MinScale());
  v.Bitmap().SetSize(300, 200);
  EXPECT_EQ(v.FitScale(), 1.0f);
}

TEST(PictureView, ZoomedOutLevelsFollowThePicture) {
  TPictureView v;
  v.Bitmap().SetSize(203, 101);
  v.Bitmap().Clear(clWhite32);
  v.SetClientSize(203, 101);
  v.SetScale(0.2f);  // level 2
  TBitmap32 before;
  v.Paint(before);
  EXPECT_EQ(v.Level(2).Width(), 51);
  EXPECT_EQ(v.Level(2).Height(), 26);
  // A change reported by the picture reaches the cached level and the screen.
  for (int y = 0; y < 101; ++y)
    for (int x = 100; x < 203; ++x) v.Bitmap().SetPixel(x, y, clBlack32);
  v.Bitmap().Changed();
  TBitmap32 after;
  v.Paint(after);
  EXPECT_EQ(after.Pixel(5, 5), before.Pixel(5, 5));
  EXPECT_EQ(after.Pixel(35, 5) & 0xFFFFFF, 0u);
  EXPECT_EQ(before.Pixel(35, 5), clWhite32);
  // The last level pixel averages the repeated edge pixel with itself.
  EXPECT_EQ(v.Level(1).Pixel(101, 0), clBlack32);
}

TEST(PictureView, TheBrushCursorStaysWholeWhenZoomedOut) {
  test::TTestDocument d;
  d.Doc->SetBrushRadius(20);
  // At a quarter, scaling the picture keeps one row in four: rows 41 and 42,
  // where the cross's arm lies, would both be dropped.
  d.Doc->SetCursorPoint({61, 42});
  d.Source.SetClientSize(64, 48);
  d.Source.SetScale(0.25f);
  auto paint = [&](uint8_t kind) {
    d.Doc->SetCursorKind(kind);
    TBitmap32 b;
    d.Source.Paint(b);
    return b;
  };
  const TBitmap32 with = paint(2), without = paint(0);
  for (int x = 11; x <= 19; x += 2)  // the arm runs from 10 to 20 on row 10
    EXPECT_TRUE(with.Pixel(x, 9) != without.Pixel(x, 9) ||
                with.Pixel(x, 10) != without.Pixel(x, 10))
        << x;
}

}  // namespace
}  // namespace brellin
