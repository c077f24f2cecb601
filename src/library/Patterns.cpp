#include "library/Patterns.h"

#include <algorithm>
#include <string>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "curves/Bezier.h"

namespace brellin {

namespace {

std::unique_ptr<TPersistentObject> NewPattern() {
  return std::make_unique<TPattern>();
}

// The preview's scale: a drawing area of this many units fills the preview.
constexpr int kPreviewUnits = 214;
constexpr TColor32 kPreviewGrey = 0xFFCCCCCCu;

bool InRange(const TPoint& p) {
  return p.X >= -MaxPatternCoordinate && p.X <= MaxPatternCoordinate &&
         p.Y >= -MaxPatternCoordinate && p.Y <= MaxPatternCoordinate;
}

std::string PointText(const TPoint& p) {
  return "(" + std::to_string(p.X) + ", " + std::to_string(p.Y) + ")";
}

}  // namespace

// ---- TPatternFrame

TBezierSegment TPatternFrame::GetCurve(int Index) const {
  if (Index < 0 || Index >= CurveCount()) RaiseIndexError("TPatternFrame.GetCurves", Index);
  return Curves[size_t(Index)];
}

TBezierSegment TPatternFrame::RandomCurve() const {
  const int k = CurveCount() <= 1 ? 0 : Random(CurveCount());
  return GetCurve(k);
}

void TPatternFrame::SaveToStream(TStream& Stream) const {
  Stream.WriteValue<int32_t>(int32_t(Curves.size()));
  WriteSegments(Stream, Curves);
}

void TPatternFrame::LoadFromStream(TStream& Stream) {
  Curves.clear();
  if (Stream.Remaining() < 4)
    throw EInvalidData("the pattern file ends before a frame's curve count");
  const int32_t c = Stream.ReadValue<int32_t>();
  if (c < 0) throw EInvalidData("a frame declares " + std::to_string(c) + " curves");
  const int64_t room = Stream.Remaining() / int64_t(sizeof(TBezierSegment));
  if (c > room)
    throw EInvalidData("a frame declares " + std::to_string(c) +
                       " curves but the pattern file is cut short: it holds at most " +
                       std::to_string(room));
  std::vector<TBezierSegment> curves(static_cast<size_t>(c));
  ReadSegments(Stream, curves);
  for (const TBezierSegment& s : curves)
    for (const TPoint& p : {s.P0, s.P1, s.P2, s.P3})
      if (!InRange(p))
        throw EInvalidData("a pattern curve point " + PointText(p) +
                           " lies far outside the drawing area (coordinates are limited to -" +
                           std::to_string(MaxPatternCoordinate) + ".." +
                           std::to_string(MaxPatternCoordinate) + ")");
  Curves = std::move(curves);
}

// ---- TPattern

const TPersistentClass& TPattern::StaticClass() {
  static const TPersistentClass cls("TPattern", "stk", "stroke", NewPattern);
  return cls;
}

TPatternFrame* TPattern::AddFrame(std::unique_ptr<TPatternFrame> Frame) {
  if (FrameCount() >= MaxPatternFrames) throw EBrellinError("AddPatternFrame: MaxFrames reached");
  Frames.push_back(std::move(Frame));
  return Frames.back().get();
}

TPatternFrame* TPattern::GetFrame(int Index) const {
  if (Index < 0 || Index >= FrameCount()) RaiseIndexError("TPattern.GetFrames", Index);
  return Frames[size_t(Index)].get();
}

int TPattern::CurveTotal() const {
  int n = 0;
  for (const auto& f : Frames) n += f->CurveCount();
  return n;
}

TPatternFrame* TPattern::RandomFrame() const {
  const int n = CurveTotal();
  // Without a curve the draw below would never end.
  if (n == 0) throw EBrellinError("The pattern has no curves");
  if (n == 1) {
    for (const auto& f : Frames)
      if (f->CurveCount() > 0) return f.get();
  }
  for (;;) {
    const int k = FrameCount() <= 1 ? 0 : Random(FrameCount());
    if (Frames[size_t(k)]->CurveCount() > 0) return Frames[size_t(k)].get();
  }
}

void TPattern::ComputeBounds() {
  Bounds = {10000, 10000, -10000, -10000};
  for (const auto& f : Frames)
    for (const TBezierSegment& s : f->Curves)
      for (const TPoint& p : {s.P0, s.P1, s.P2, s.P3}) {
        Bounds.Left = std::min(Bounds.Left, p.X);
        Bounds.Right = std::max(Bounds.Right, p.X);
        Bounds.Top = std::min(Bounds.Top, p.Y);
        Bounds.Bottom = std::max(Bounds.Bottom, p.Y);
      }
}

void TPattern::DrawFrame(int Index, bool ClearFirst) {
  ComputeBounds();
  if (Bounds.Right == Bounds.Left || Bounds.Bottom == Bounds.Top) return;
  if (PreviewTarget == nullptr) return;
  TBitmap32& target = *PreviewTarget;
  TPatternFrame& frame = *GetFrame(Index);
  if (ClearFirst) target.Clear(kPreviewGrey);
  // The drawing is moved to the middle of a box of kPreviewUnits, which the
  // preview shows whole; a drawing larger than that box shrinks to fit.
  const double extentX = double(Bounds.Right) - Bounds.Left,
               extentY = double(Bounds.Bottom) - Bounds.Top;
  const double box = std::max({double(kPreviewUnits), extentX, extentY});
  const float s = float(std::min(target.Width() / box, target.Height() / box));
  const double ox = (box - extentX) / 2.0 - Bounds.Left, oy = (box - extentY) / 2.0 - Bounds.Top;
  auto place = [&](TPoint p) { return TPoint{Round((p.X + ox) * s), Round((p.Y + oy) * s)}; };
  target.BeginUpdate();
  for (const TBezierSegment& c : frame.Curves) {
    SubdivideBezier(place(c.P0), place(c.P1), place(c.P2), place(c.P3),
                    [&](TPoint q0, TPoint q1, TPoint q2, TPoint q3) {
                      for (const auto& [a, b] : {std::pair{q0, q1}, {q1, q2}, {q2, q3}})
                        target.LineFS(a.X + 0.5f, a.Y + 0.5f, b.X + 0.5f, b.Y + 0.5f, clBlack32);
                    });
  }
  target.EndUpdate();
  target.Changed();
}

TBitmap32 TPattern::RenderThumbnail(int W, int H) {
  if (W < 1 || H < 1) throw EBrellinError("A pattern thumbnail needs a size of at least 1 x 1");
  TBitmap32 own;
  TBitmap32* saved = PreviewTarget;
  if (PreviewTarget == nullptr) {
    own.SetSize(2 * W, 2 * H);
    own.Clear(clWhite32);
    PreviewTarget = &own;
  }
  try {
    for (int i = 0; i < FrameCount(); ++i) DrawFrame(i, false);
  } catch (...) {
    PreviewTarget = saved;
    throw;
  }
  TBitmap32 result = Resample(*PreviewTarget, W, H);
  PreviewTarget = saved;
  return result;
}

void TPattern::SaveToStream(TStream& Stream) {
  Stream.WriteValue<int32_t>(int32_t(Frames.size()));
  for (const auto& f : Frames) f->SaveToStream(Stream);
}

void TPattern::LoadFromStream(TStream& Stream) {
  if (Stream.Remaining() < 4) throw EInvalidData("the pattern file is too short");
  const int32_t n = Stream.ReadValue<int32_t>();
  if (n < 0 || n > MaxPatternFrames)
    throw EInvalidData("the pattern file declares " + std::to_string(n) +
                       " frames; a pattern holds at most " + std::to_string(MaxPatternFrames));
  // Every frame takes at least its 4-byte curve count.
  const int64_t room = Stream.Remaining() / 4;
  if (n > room)
    throw EInvalidData("the pattern file declares " + std::to_string(n) +
                       " frames but is cut short: it holds at most " + std::to_string(room));
  std::vector<std::unique_ptr<TPatternFrame>> frames;
  for (int32_t i = 0; i < n; ++i) {
    auto frame = std::make_unique<TPatternFrame>();
    try {
      frame->LoadFromStream(Stream);
    } catch (const EInvalidData& e) {
      throw EInvalidData("frame " + std::to_string(i + 1) + " of " + std::to_string(n) + ": " +
                         e.what());
    }
    if (frame->CurveCount() > 0) frames.push_back(std::move(frame));
  }
  Frames = std::move(frames);
}

}  // namespace brellin
