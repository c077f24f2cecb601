#include <gtest/gtest.h>

#include "base/Errors.h"
#include "interaction/PatternEditorModel.h"

namespace brellin {
namespace {

TBezierSegment Seg(int X, int Y) {
  return {{X, Y}, {X + 10, Y}, {X + 20, Y + 10}, {X + 30, Y}};
}

std::unique_ptr<TPattern> PatternOf(std::vector<std::vector<TBezierSegment>> Frames) {
  auto p = std::make_unique<TPattern>();
  for (auto& curves : Frames) p->AddFrame(std::make_unique<TPatternFrame>())->Curves = curves;
  return p;
}

int DarkPixels(const TBitmap32& B) {
  int n = 0;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) n += (B.Pixel(x, y) & 0xFF) < 0x80;
  return n;
}

// Mouse events go through the view, as the editor's window delivers them.
void Drag(TPictureView& V, TPoint From, std::initializer_list<TPoint> Moves) {
  V.MouseDown(mbLeft, ssLeft, From.X, From.Y);
  TPoint last = From;
  for (TPoint p : Moves) V.MouseMove(ssLeft, p.X, p.Y), last = p;
  V.MouseUp(mbLeft, 0, last.X, last.Y);
}

TEST(PatternEditorModel, DrawsIntoTheCurrentFrameAndCancelPutsTheFramesBack) {
  TPictureView view;
  TPatternEditorModel m(view);
  int changes = 0;
  m.OnFramesChanged = [&] { ++changes; };
  // As read from a file: two frames with curves, no empty ones.
  auto pattern = PatternOf({{Seg(5, 5)}, {Seg(40, 40), Seg(60, 90)}});
  TPatternFrame* frame1 = pattern->GetFrame(1);
  m.Open(pattern.get());
  EXPECT_EQ(pattern->FrameCount(), 5);
  EXPECT_EQ(m.SlotCount(), 5);
  EXPECT_EQ(m.CurrentFrame(), 0);
  EXPECT_EQ(m.Layer().Count(), 1);

  m.SelectTool(TPatternEditorModel::ptCurve);
  EXPECT_EQ(view.Cursor(), crCross);
  m.SelectFrame(2);
  EXPECT_EQ(m.Layer().Count(), 0);
  Drag(view, {20, 20}, {{30, 25}, {40, 35}, {50, 50}, {70, 60}});
  ASSERT_EQ(pattern->GetFrame(2)->CurveCount(), 1);
  // Four positions after the press: H = 3, control points at indexes 1 and 2.
  EXPECT_EQ(pattern->GetFrame(2)->GetCurve(0),
            (TBezierSegment{{20, 20}, {40, 35}, {50, 50}, {70, 60}}));
  EXPECT_GT(changes, 0);
  EXPECT_FALSE(m.Layer().Capturing());

  // The pointer drags the end point; every move reaches the frame.
  m.SelectTool(TPatternEditorModel::ptPointer);
  EXPECT_EQ(view.Cursor(), crArrow);
  view.MouseDown(mbLeft, ssLeft, 70, 60);
  view.MouseMove(ssLeft, 100, 90);
  EXPECT_EQ(pattern->GetFrame(2)->GetCurve(0).P3, TPoint({100, 90}));
  view.MouseMove(ssLeft, 120, 95);
  EXPECT_EQ(pattern->GetFrame(2)->GetCurve(0).P3, TPoint({120, 95}));
  view.MouseUp(mbLeft, 0, 120, 95);
  EXPECT_EQ(pattern->GetFrame(2)->GetCurve(0).P1, TPoint({40, 35}));
  // Dragged far off the area, a point stops where a saved pattern still loads.
  view.MouseDown(mbLeft, ssLeft, 40, 35);
  view.MouseMove(ssLeft, 40000, -40000);
  view.MouseUp(mbLeft, 0, 40000, -40000);
  TMemoryStream file;
  pattern->SaveToStream(file);
  file.SetPosition(0);
  TPattern reloaded;
  EXPECT_NO_THROW(reloaded.LoadFromStream(file));
  EXPECT_EQ(reloaded.GetFrame(2)->GetCurve(0).P1, TPoint({10000, -10000}));
  view.MouseDown(mbLeft, ssLeft, 10000, -10000);
  view.MouseMove(ssLeft, 40, 35);
  view.MouseUp(mbLeft, 0, 40, 35);

  // Keys and the wheel are not the tools' business here.
  uint16_t key = vkShift;
  view.KeyDown(key, ssShift);
  EXPECT_FALSE(view.MouseWheelUp(0, {0, 0}));
  EXPECT_FALSE(m.CurrentTool().Resizing);

  // Going to another frame and back shows the same curves in the same order.
  m.SelectFrame(1);
  ASSERT_EQ(m.Layer().Count(), 2);
  EXPECT_EQ(m.Layer().GetPolyBezier(1)->GetBezier(0), Seg(60, 90));
  EXPECT_EQ(frame1->Curves, (std::vector{Seg(40, 40), Seg(60, 90)}));
  const auto frame2 = pattern->GetFrame(2)->Curves;
  m.SelectFrame(2);
  EXPECT_EQ(pattern->GetFrame(2)->Curves, frame2);

  TBitmap32 thumb;
  thumb.SetSize(56, 56);
  m.DrawThumbnail(2, thumb);
  EXPECT_GT(DarkPixels(thumb), 10);
  m.DrawThumbnail(3, thumb);
  EXPECT_EQ(DarkPixels(thumb), 0);
  EXPECT_EQ(thumb.Pixel(0, 0), TPatternEditorModel::ThumbnailGrey);
  EXPECT_EQ(pattern->PreviewTarget, nullptr);

  m.Revert();
  m.Close();
  EXPECT_EQ(pattern->FrameCount(), 2);
  EXPECT_EQ(pattern->GetFrame(0)->Curves, std::vector{Seg(5, 5)});
  EXPECT_EQ(pattern->GetFrame(1), frame1) << "frames keep their identity";
  EXPECT_EQ(frame1->Curves, (std::vector{Seg(40, 40), Seg(60, 90)}));
  EXPECT_EQ(m.Layer().Count(), 0);
}

TEST(PatternEditorModel, SixFramesGetSixSlotsAndAMissingFrameChangesNothing) {
  TPictureView view;
  TPatternEditorModel m(view);
  auto six = PatternOf({{Seg(1, 1)}, {Seg(2, 2)}, {}, {}, {}, {Seg(6, 6)}});
  m.Open(six.get());
  EXPECT_EQ(m.SlotCount(), 6);
  m.SelectFrame(5);
  EXPECT_EQ(m.Layer().GetPolyBezier(0)->GetBezier(0), Seg(6, 6));
  EXPECT_THROW(m.SelectFrame(6), EBrellinError);
  EXPECT_EQ(m.CurrentFrame(), 5);
  EXPECT_EQ(m.Layer().Count(), 1);

  // A pattern whose file held only empty frames has none; it still gets five slots.
  TPattern empty;
  m.Open(&empty);
  EXPECT_EQ(m.SlotCount(), 5);
  Drag(view, {10, 10}, {{20, 20}});
  EXPECT_EQ(empty.GetFrame(0)->CurveCount(), 0) << "the pointer draws nothing";
  m.Revert();
  EXPECT_EQ(empty.FrameCount(), 0);
}

}  // namespace
}  // namespace brellin
