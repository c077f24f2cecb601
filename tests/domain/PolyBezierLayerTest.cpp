#include <gtest/gtest.h>

#include "base/Errors.h"
#include "domain/PolyBezierLayer.h"

namespace brellin {
namespace {

std::unique_ptr<TPolyBezier> Curve(TPoint Start, TPoint End) {
  auto c = std::make_unique<TPolyBezier>(Start);
  c->AddBezierSegment(Start, End, End);
  return c;
}

struct TViewFixture {
  TPictureView View;
  TViewFixture() { View.Bitmap().SetSize(80, 60); }
};

TEST(PolyBezierLayer, AddingSelectingAndChangeEvents) {
  TViewFixture f;
  TPolyBezierLayer layer(&f.View);
  ASSERT_EQ(f.View.Layers.size(), 1u);
  EXPECT_TRUE(layer.IsDisplayLayer(f.View.Layers[0]));
  EXPECT_FALSE(layer.IsDisplayLayer(nullptr));
  int changes = 0;
  layer.SetOnChange([&](TPolyBezierLayer&) { ++changes; });
  layer.SetAntiAliased(true);
  TPolyBezier* a = layer.AddPolyBezier(Curve({10, 10}, {30, 10}));
  EXPECT_TRUE(a->AntiAliased);
  EXPECT_EQ(layer.CurrentIndex, 0);
  layer.AddPolyBezier(Curve({10, 10}, {30, 40}));
  EXPECT_EQ(layer.CurrentIndex, 1);
  EXPECT_EQ(layer.CurrentPolyBezier(), layer.GetPolyBezier(1));
  const int afterAdding = changes;
  EXPECT_GE(afterAdding, 2);
  a->MoveSelectedPoint(31, 11, false);  // the curve's change reaches the layer
  EXPECT_EQ(changes, afterAdding + 1);
  try {
    layer.GetPolyBezier(2);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TPolyBezierLayer.GetPolyBeziers: Index out of bounds(2)");
  }
}

TEST(PolyBezierLayer, HitTestsLowerCurveFirstCapturingAndEditing) {
  TViewFixture f;
  f.View.ScrollX = 5;  // the picture's corner lies at (-5, 0) in the view
  TPolyBezierLayer layer(&f.View);
  layer.AddPolyBezier(Curve({10, 10}, {30, 10}));
  layer.AddPolyBezier(Curve({10, 10}, {30, 40}));
  ASSERT_EQ(layer.CurrentIndex, 1);
  // A press on the shared start point: the curve with the lower index.
  EXPECT_EQ(f.View.LayerAt(5, 10), f.View.Layers[0]);
  EXPECT_EQ(layer.CurrentIndex, 0);
  EXPECT_EQ(layer.Origin, (TPoint{-5, 0}));
  // A point of curve 1 only: it becomes current with that point selected.
  EXPECT_NE(f.View.LayerAt(25, 40), nullptr);
  EXPECT_EQ(layer.CurrentIndex, 1);
  EXPECT_EQ(layer.CurrentPolyBezier()->SelectedPoint, 3);  // the second control lies on the end
  // Nowhere near a point: not taken, the current curve stays.
  EXPECT_EQ(f.View.LayerAt(70, 55), nullptr);
  EXPECT_EQ(layer.CurrentIndex, 1);
  // Capturing takes every press and changes nothing.
  layer.SetCapturing(true);
  EXPECT_NE(f.View.LayerAt(70, 55), nullptr);
  EXPECT_NE(f.View.LayerAt(5, 10), nullptr);
  EXPECT_EQ(layer.CurrentIndex, 1);
  layer.SetCapturing(false);
  // Editing off: the view no longer hands presses to the layer.
  layer.DisableEditing();
  EXPECT_EQ(f.View.LayerAt(5, 10), nullptr);
  layer.EnableEditing();
  EXPECT_NE(f.View.LayerAt(5, 10), nullptr);
  // Zoomed in twice: the end point (30, 40) lies at view (55, 80).
  f.View.Scale = 2.0f;
  EXPECT_NE(f.View.LayerAt(55, 80), nullptr);
  EXPECT_EQ(layer.CurrentIndex, 1);
  EXPECT_EQ(f.View.LayerAt(25, 40), nullptr);
}

TEST(PolyBezierLayer, PaintsCurrentCurveRedOthersOliveAndClears) {
  TViewFixture f;
  f.View.Bitmap().Clear(clWhite32);
  TPolyBezierLayer layer(&f.View);
  layer.AddPolyBezier(Curve({10, 10}, {60, 10}));
  layer.AddPolyBezier(Curve({10, 40}, {60, 40}));
  int repaints = 0;
  f.View.OnRepaint = [&] { ++repaints; };
  int changes = 0;
  layer.SetOnChange([&](TPolyBezierLayer&) { ++changes; });
  TBitmap32 buffer(80, 60);
  f.View.PaintTo(buffer);
  EXPECT_EQ(changes, 2) << "each curve's first colour is a change";
  EXPECT_EQ(buffer.Pixel(35, 40), TPolyBezierLayer::CurrentCurveColor);
  EXPECT_EQ(buffer.Pixel(35, 10), TPolyBezierLayer::OtherCurveColor);
  EXPECT_TRUE(layer.GetPolyBezier(1)->ShowControls);
  EXPECT_FALSE(layer.GetPolyBezier(0)->ShowControls);
  EXPECT_EQ(buffer.StipplePattern.size(), 4u);
  f.View.PaintTo(buffer);
  EXPECT_EQ(changes, 2) << "unchanged colours fire nothing";

  layer.Clear();
  EXPECT_EQ(layer.Count(), 0);
  EXPECT_EQ(repaints, 1);
  f.View.PaintTo(buffer);
  EXPECT_EQ(buffer.Pixel(35, 40), clWhite32);
}

TEST(PolyBezierLayer, MovesBetweenViewsAndLeavesItsViewOnDestruction) {
  TViewFixture a, b;
  {
    TPolyBezierLayer layer(&a.View);
    layer.SetView(&b.View);
    EXPECT_TRUE(a.View.Layers.empty());
    ASSERT_EQ(b.View.Layers.size(), 1u);
    EXPECT_TRUE(layer.IsDisplayLayer(b.View.Layers[0]));
  }
  EXPECT_TRUE(b.View.Layers.empty());
}

}  // namespace
}  // namespace brellin
