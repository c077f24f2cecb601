#include "domain/DualImage.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Progress.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "curves/Bezier.h"
#include "history/Journal.h"
#include "history/PostScript.h"
#include "history/SvgExport.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "render/StrokeQueue.h"
#include "render/StrokeRenderer.h"
#include "synthesis/LineSampler.h"

namespace brellin {

uint64_t NextDocumentSerial() {
  static std::atomic<uint64_t> next{1};
  return next++;
}

namespace {

std::function<double()> gPressure;

// Runs Work with Bitmap's change notices held back, then notifies once, also
// when Work fails.
template <typename F>
void UpdateLocked(TBitmap32& Bitmap, const F& Work) {
  Bitmap.BeginUpdate();
  try {
    Work();
  } catch (...) {
    Bitmap.EndUpdate();
    Bitmap.Changed();
    throw;
  }
  Bitmap.EndUpdate();
  Bitmap.Changed();
}

// Every painting call marks the document modified, whether or not it placed
// a stroke.
struct TMarkModified {
  TDualImage& Doc;
  ~TMarkModified() { Doc.Modified = true; }
};

TPolygonStrokeRenderer& BuiltInBrush() {
  static TPolygonStrokeRenderer brush;
  return brush;
}

}  // namespace

void SetPressureSource(std::function<double()> Source) {
  gPressure = std::move(Source);
}
double PressureFactor() {
  return gPressure ? gPressure() : 1.0;
}

int32_t SprayCount(int32_t L, int32_t D, int32_t W) {
  if (L == 0 || W == 0) return 0;  // styles keep both at 1 or more
  return int32_t((int64_t(Round(400.0 * D / L)) + 3 * int64_t(L)) / W);
}

// Borders and directions of the feature map over the source picture.
class TDualImage::TOverlayLayer : public TPaintLayer {
 public:
  explicit TOverlayLayer(TDualImage& Doc) : FDoc(Doc) {}
  void Paint(TBitmap32& Buffer, const TPictureView&, int Ox, int Oy) override {
    const TBitmap32& f = FDoc.FeatureMap;
    if (FDoc.ViewDirections) {
      for (int x = 0; x < f.Width(); x += 10)
        for (int y = 0; y < f.Height(); y += 10) {
          const TColor32 p = f.Pixel(x, y);
          // The heading a stroke takes here, by the sampler's own rule: the
          // hint only where the contour is too weak to follow.
          uint8_t d = FeatureDirection(p);
          if (DirectionCallbackLimit > 2 * int(FeatureStrength(p))) d = FDoc.DirectionHint(x, y);
          const double a = -(d / 255.0) * 2.0 * M_PI - M_PI;
          Buffer.LineFS(float(x + Ox), float(y + Oy), float(Round(x + 8.0 * std::cos(a)) + Ox),
                        float(Round(y + 8.0 * std::sin(a)) + Oy), Color32(0, 255, 255));
        }
    }
    if (FDoc.ViewBorders) {
      for (int y = 0; y < f.Height(); ++y)
        for (int x = 0; x < f.Width(); ++x)
          if (FeatureEdgeFlag(f.Pixel(x, y))) Buffer.SetPixelS(x + Ox, y + Oy, 0xFF7F007F);
    }
  }
  bool PaintsAnything() const override { return FDoc.ViewBorders || FDoc.ViewDirections; }

 private:
  TDualImage& FDoc;
};

// The brush cursor over the active view. Drawn at the view's scale, so
// that its thin lines stay whole when zoomed out.
class TDualImage::TCursorLayer : public TPaintLayer {
 public:
  explicit TCursorLayer(TDualImage& Doc) : FDoc(Doc) {}
  void Paint(TBitmap32& Buffer, const TPictureView&, int Ox, int Oy) override {
    Draw(Buffer, {FDoc.CursorPoint.X + Ox, FDoc.CursorPoint.Y + Oy}, float(FDoc.BrushRadius));
  }
  bool PaintsScaled() const override { return true; }
  void PaintScaled(TBitmap32& Buffer, const TPictureView& View, int Ox, int Oy) override {
    const double s = View.Scale;
    Draw(Buffer, {Round(FDoc.CursorPoint.X * s) + Ox, Round(FDoc.CursorPoint.Y * s) + Oy},
         float(FDoc.BrushRadius * s));
  }
  void Draw(TBitmap32& Buffer, TPoint c, float r) {
    if (FDoc.CursorKind == 1) {
      DrawDashedCircle(Buffer, c, clWhite32, clBlack32, r);
    } else if (FDoc.CursorKind == 2) {
      const float x = float(c.X), y = float(c.Y);
      Buffer.LineFS(x - r, y, x + r, y, clWhite32);
      Buffer.LineFS(x, y - r, x, y + r, clWhite32);
    }
  }

 private:
  TDualImage& FDoc;
};

TDualImage::TDualImage(TPictureView* SourceView, float Scale, TPictureView* DestinationView)
    : DestinationView(DestinationView),
      SourceView(SourceView),
      Scale(Scale),
      ActiveView(SourceView) {
  Colors.ColorMode = cmAuto;
  FeatureMap = ExtractFeatures(SourceView->Bitmap());
  History = std::make_unique<TBStates>();
  Colors.ForeColor = clWhite32;
  Colors.BackColor = clBlack32;
  AddLayers();
}

TDualImage::TDualImage(TStream& Source, float Scale, TPictureView* DestinationView,
                       TPictureView* SourceView)
    : DestinationView(DestinationView),
      SourceView(SourceView),
      Scale(Scale),
      ActiveView(SourceView) {
  Colors.ColorMode = cmAuto;
  TBitmap32 pictures[3];
  static const char* const names[3] = {"source picture", "destination picture", "feature map"};
  for (int i = 0; i < 3; ++i) {
    try {
      LoadBMPFromStream(pictures[i], Source);
    } catch (const EBrellinError& e) {
      throw EInvalidData(std::string(names[i]) + ": " + e.what());
    }
    if (i > 0 && (pictures[i].Width() != pictures[0].Width() ||
                  pictures[i].Height() != pictures[0].Height()))
      throw EInvalidData(
          "the " + std::string(names[i]) + " of " + std::to_string(pictures[i].Width()) + " x " +
          std::to_string(pictures[i].Height()) + " does not fit the source of " +
          std::to_string(pictures[0].Width()) + " x " + std::to_string(pictures[0].Height()));
  }
  {
    TProgressScope progress("Please wait...", 0, 100);
    History = std::make_unique<TBStates>(Source, pictures[0].Width(), pictures[0].Height());
  }
  SourceView->Bitmap() = std::move(pictures[0]);
  DestinationView->Bitmap() = std::move(pictures[1]);
  FeatureMap = std::move(pictures[2]);
  Colors.ForeColor = clBlack32;
  Colors.BackColor = 0;
  // A project does not record its paper. Transparent black would paint
  // every later rerender and "Save at different size" onto black (or
  // see-through) paper; white is the paper a new document starts with.
  BackgroundColor = clWhite32;
  NeedsRerender = History->RerenderNeeded;
  AddLayers();
}

// Painting order on a view: the curves, then the overlays, then the brush
// cursor on top of everything.
void TDualImage::AddLayers() {
  VectorLayer = std::make_unique<TPolyBezierLayer>(ActiveView);
  VectorLayer->SetAntiAliased(true);
  FOverlayLayer = std::make_unique<TOverlayLayer>(*this);
  FCursorLayer = std::make_unique<TCursorLayer>(*this);
  FCursorLayer->Visible = false;
  SourceView->AddLayer(FOverlayLayer.get());
  ActiveView->AddLayer(FCursorLayer.get());
}

void TDualImage::DetachViews() {
  StopStrokeQueue();
  if (SourceView) SourceView->RemoveLayer(FOverlayLayer.get());
  if (ActiveView) ActiveView->RemoveLayer(FCursorLayer.get());
  VectorLayer->SetView(nullptr);
  SourceView = DestinationView = ActiveView = nullptr;
}

TDualImage::~TDualImage() {
  StopStrokeQueue();
  if (SourceView) SourceView->RemoveLayer(FOverlayLayer.get());
  if (ActiveView) ActiveView->RemoveLayer(FCursorLayer.get());
}

void TDualImage::PrefetchStepStart(int X, int Y) const {
  if (!FeatureMap.Contains(X, Y)) return;
  __builtin_prefetch(FeatureMap.ScanLine(Y) + X);
}

void TDualImage::SetUpSampler(TLineSampler& Sampler, TPoint Start, double Pressure) {
  const TStyleParams& p = Style->Params;
  Sampler.ColorSource = &Source();
  Sampler.SetScale(Scale);
  Sampler.SetPrecision(p.PolyStep);
  Sampler.SetStart(Start);
  const int l = Round(Pressure * p.Length);
  Sampler.SetStepCount(Random(l / 10) + l - l / 20);
  Sampler.SetScanWidth(p.ScanWidth);
  Sampler.StopOnBorders = p.StopOnBorders != 0;
  Sampler.SetStraightLines(StraightLines);
  Sampler.SetThreshold(p.BorderLimit);
  if (CleanEdges) {
    Sampler.EdgeMargin = std::max(1, Round(Pressure * p.Width));
    Sampler.HeadingArea = OrientedArea(FeatureMap.Width(), FeatureMap.Height());
  }
}
bool TDualImage::RunStroke(TLineSampler& Sampler) const {
  return Sampler.Run() && !(CleanEdges && Sampler.IsEdgeStub(MinEdgeStroke));
}

void TDualImage::SetUpAutoStroke(TLineSampler& Sampler, TPoint Start, double Pressure) {
  SetUpSampler(Sampler, Start, Pressure);
  Sampler.SetThickness(float(Pressure * Style->Params.Width));
  Sampler.SetDirectionCallback([this](int x, int y, uint8_t& d) { d = DirectionHint(x, y); });
}

// Strokes traced ahead. When the tracing thread starts a stroke of its own
// and no forecast is under way, it asks for a run of strokes beginning Lead
// strokes on: from the generator state this stroke will leave if it is drawn
// with as many draws as the last drawn one, the strokes in between passed
// over as drawn the same way. The painting thread, when idle, takes the ask
// and traces the run one stroke at a time, each from the state the one
// before it leaves: it knows whether that one was drawn, and a drawn
// stroke's colour takes as many draws as the last one did, so one right
// guess makes the whole run right. Each stroke is published once traced.
// The PaintAt that reaches a stroke of the run uses it only if its
// generator state and point are the answer's; one the painting thread has
// not begun is traced by the tracing thread itself, which ends the run.
struct TDualImage::TForecast {
  // The run: none, asked, being traced (the painting thread's), or given up
  // by the painting thread (ended, or all traced).
  enum : int { Idle, Asked, Running, Done };
  // A stroke of the run.
  enum : int { Free, Working, Ready, Dropped };
  // Steps that get no stroke (off the map, too weak) are skipped while
  // looking for the next stroke, at most this many.
  static constexpr int MaxSteps = 64;
  // The first stroke of a run is this many strokes after the one that asks:
  // the tracing thread traces those in between while the painting thread
  // traces the run (2, 4, 8 and 16 tried at 12 megapixels; 8 was fastest).
  static constexpr int Lead = 8;
  static constexpr int Size = 32;

  std::atomic<int> State{Idle};
  std::atomic<bool> Stop{false};  // the tracing thread ended the run
  // The tracing thread's own: the steps' area (0: no forecasts), the draws
  // of the last drawn stroke from its sampler on and of its colour alone,
  // the number of the current stroke (PaintAt calls that got past the
  // first checks) and of the run's first, whether the run is still in use,
  // whether the asking stroke is still being traced, and whether the
  // state it left proved right.
  int Width = 0, Height = 0;
  int StrokeDraws = -1, ColorDraws = 0;
  uint64_t Count = 0, Target = 0;
  bool Open = false, Pending = false, Confirmed = false;
  // The ask, written before State becomes Asked: the state after the
  // asking stroke, how many strokes to pass over from there, and the pen
  // pressure to trace with.
  TRandomState From;
  int AskWidth = 0, AskHeight = 0, AskStrokeDraws = 0, AskColorDraws = 0, Skip = 0;
  double AskPressure = 1.0;
  // The painting thread's own while Running: the state for its next stroke
  // and how many it began.
  TRandomState Next;
  int Begun = 0;
  // The answers, each written by the painting thread before its State
  // becomes Ready: the generator state at the stroke (after its X and Y)
  // and after its tracing, its point, and what the stroke leaves to commit.
  struct TAnswer {
    std::atomic<int> State{Free};
    bool Found = false;
    TRandomState AtStroke, After;
    int X = 0, Y = 0;
    bool Drawn = false;
    TColor32 Average = 0;
    TRect Bounds = EmptyRect;
    TLineSamplerBuffers Buffers;  // the outlines of the answer, and storage
  };
  TAnswer Answers[Size];
};

void TDualImage::ForecastSteps(int Width, int Height) {
  if (!FForecast) return;
  FForecast->Width = std::max(Width, 0);
  FForecast->Height = std::max(Height, 0);
}

bool TDualImage::RunForecast() {
  TForecast& f = *FForecast;
  int run = f.State.load(std::memory_order_acquire);
  if (run == TForecast::Asked) {
    if (!f.State.compare_exchange_strong(run, TForecast::Running, std::memory_order_acq_rel))
      return false;
    f.Next = f.From;
    f.Begun = 0;
  } else if (run != TForecast::Running) {
    return false;
  }
  if (f.Begun >= TForecast::Size || f.Stop.load(std::memory_order_acquire)) {
    f.State.store(TForecast::Done, std::memory_order_release);
    return false;
  }
  TForecast::TAnswer& a = f.Answers[f.Begun];
  int free = TForecast::Free;
  if (!a.State.compare_exchange_strong(free, TForecast::Working, std::memory_order_acq_rel)) {
    f.State.store(TForecast::Done, std::memory_order_release);  // reached first: ended
    return false;
  }
  a.Found = false;
  try {
    TRandomState rs = f.Next;
    const TRandomRedirect redirect(rs);
    // As the steps of the run and PaintAt's first checks; the strokes
    // passed over are taken as drawn with the usual draws.
    int skip = f.Begun == 0 ? f.Skip : 0;
    for (int i = 0; i < TForecast::MaxSteps && Style && AutoMode; ++i) {
      const int x = Random(f.AskWidth);
      const int y = Random(f.AskHeight);
      if (!FeatureMap.Contains(x, y) ||
          FeatureStrength(FeatureMap.Pixel(x, y)) < Style->Params.BorderLimit)
        continue;
      if (skip > 0) {
        --skip;
        rs = RandomStateAfter(rs, f.AskStrokeDraws);
        i = -1;
        continue;
      }
      a.AtStroke = rs;
      a.X = x;
      a.Y = y;
      TLineSampler sampler(&FeatureMap, &Destination(), std::move(a.Buffers));
      SetUpAutoStroke(sampler, {x, y}, f.AskPressure);
      a.Drawn = RunStroke(sampler);
      a.After = rs;
      a.Average = sampler.AverageColor;
      a.Bounds = sampler.GetBounds();
      a.Buffers = sampler.ReleaseBuffers();
      a.Found = true;
      break;
    }
  } catch (...) {
    a.Found = false;  // the tracing thread traces it itself
  }
  ++f.Begun;
  if (a.Found) f.Next = RandomStateAfter(a.After, a.Drawn ? f.AskColorDraws : 0);
  const bool last = !a.Found || f.Begun == TForecast::Size;
  a.State.store(TForecast::Ready, std::memory_order_release);
  if (last) f.State.store(TForecast::Done, std::memory_order_release);
  return true;
}

void TDualImage::EndForecastRun(TForecast& f) {
  if (!f.Open) return;
  f.Open = false;
  int asked = TForecast::Asked;
  if (!f.State.compare_exchange_strong(asked, TForecast::Idle, std::memory_order_acq_rel))
    f.Stop.store(true, std::memory_order_release);
}

bool TDualImage::TakeForecast(TForecast& f, int X, int Y, double Pressure) {
  if (!f.Open || f.Count < f.Target) return false;  // none, or for later
  const uint64_t j = f.Count - f.Target;
  if (j >= uint64_t(TForecast::Size)) {
    EndForecastRun(f);
    return false;
  }
  int run = f.State.load(std::memory_order_acquire);
  if (run == TForecast::Asked) {
    // Not taken up in time: withdrawn, unless the painting thread takes it now.
    if (f.State.compare_exchange_strong(run, TForecast::Idle, std::memory_order_acq_rel)) {
      f.Open = false;
      return false;
    }
  }
  TForecast::TAnswer& a = f.Answers[j];
  int state = a.State.load(std::memory_order_acquire);
  if (state == TForecast::Free &&
      a.State.compare_exchange_strong(state, TForecast::Dropped, std::memory_order_acq_rel)) {
    EndForecastRun(f);  // not begun: traced here, and the run ends
    return false;
  }
  // Being traced or done. A run from a state that proved wrong is ended
  // without waiting; a stroke of a run from the right state is waited for.
  if (!f.Confirmed) {
    EndForecastRun(f);
    return false;
  }
  // Caught up with the painting thread: this stroke is waited for (it was
  // begun before it could be begun here), but the run ends, or the two
  // threads would go on in step, one waiting for the other.
  bool caughtUp = false;
  while ((state = a.State.load(std::memory_order_acquire)) == TForecast::Working) {
    caughtUp = true;
#if defined(__SSE2__)
    _mm_pause();
#endif
  }
  const bool match = a.Found && a.AtStroke == CurrentRandomState() && a.X == X && a.Y == Y &&
                     f.AskPressure == Pressure;
  if (!match || caughtUp || j + 1 == uint64_t(TForecast::Size)) EndForecastRun(f);
  if (!match) return false;
  SetCurrentRandomState(a.After);
  ++FStrokesTracedAhead;
  if (a.Drawn) {
    const uint64_t before = CurrentRandomState().Draws;
    CommitStroke(a.Average, a.Buffers.LeftOutline, a.Buffers.RightOutline);
    f.ColorDraws = int(CurrentRandomState().Draws - before);
  }
  DirtyRect = UnionRect(DirtyRect, a.Bounds);
  return true;
}

void TDualImage::PaintAt(int X, int Y) {
  TMarkModified mark{*this};
  if (X < 0 || Y < 0 || X >= FeatureMap.Width() || Y >= FeatureMap.Height() || !Style) return;
  const TStyleParams& p = Style->Params;
  if (FeatureStrength(FeatureMap.Pixel(X, Y)) < p.BorderLimit) return;
  TForecast* const ahead =
      AutoMode && FForecast && FForecast->Width > 0 ? FForecast.get() : nullptr;
  // Read once per stroke: its length and its width take the same pressure.
  const double pressure = PressureFactor();
  if (ahead) ++ahead->Count;
  if (ahead && TakeForecast(*ahead, X, Y, pressure)) return;
  const TRandomState before = CurrentRandomState();
  if (ahead && ahead->StrokeDraws >= 0 && !ahead->Open) {
    const int run = ahead->State.load(std::memory_order_acquire);
    if (run == TForecast::Idle || run == TForecast::Done) {
      // The painting thread has let go of the answers: they are ours to reset.
      for (TForecast::TAnswer& a : ahead->Answers)
        a.State.store(TForecast::Free, std::memory_order_relaxed);
      ahead->Stop.store(false, std::memory_order_relaxed);
      ahead->From = RandomStateAfter(before, ahead->StrokeDraws);
      ahead->AskWidth = ahead->Width;
      ahead->AskHeight = ahead->Height;
      ahead->AskStrokeDraws = ahead->StrokeDraws;
      ahead->AskColorDraws = ahead->ColorDraws;
      ahead->AskPressure = pressure;
      ahead->Skip = TForecast::Lead - 1;
      ahead->Target = ahead->Count + TForecast::Lead;
      ahead->Open = true;
      ahead->Pending = true;
      ahead->Confirmed = false;
      ahead->State.store(TForecast::Asked, std::memory_order_release);
    }
  }
  TLineSampler sampler(&FeatureMap, &Destination(), std::move(FSamplerBuffers));
  struct TGiveBack {
    TLineSampler& Sampler;
    TLineSamplerBuffers& Buffers;
    ~TGiveBack() { Buffers = Sampler.ReleaseBuffers(); }
  } giveBack{sampler, FSamplerBuffers};
  if (AutoMode) {
    SetUpAutoStroke(sampler, {X, Y}, pressure);
  } else {
    SetUpSampler(sampler, {X, Y}, pressure);
    sampler.SetThickness(float(pressure * p.Width));
    // Pattern strokes follow a curve of the current pattern; a pattern
    // without any curve has nothing to follow, so the stroke is skipped.
    TPattern* pattern =
        PatternLibrary ? dynamic_cast<TPattern*>(PatternLibrary->Current()) : nullptr;
    if (!pattern || pattern->CurveTotal() == 0) return;
    const TBezierSegment c =
        PlacePatternCurve(pattern->RandomFrame()->RandomCurve(), BrushRadius, X, Y);
    sampler.SetCurve(c.P0, c.P1, c.P2, c.P3);
  }
  const bool drawn = RunStroke(sampler);
  if (drawn) {
    const uint64_t traced = CurrentRandomState().Draws;
    CommitStroke(sampler);
    if (ahead) ahead->ColorDraws = int(CurrentRandomState().Draws - traced);
  }
  DirtyRect = UnionRect(DirtyRect, sampler.GetBounds());
  if (ahead) {
    const TRandomState now = CurrentRandomState();
    if (drawn) ahead->StrokeDraws = int(now.Draws - before.Draws);
    if (ahead->Pending) {
      ahead->Pending = false;
      ahead->Confirmed = now == ahead->From;
      if (!ahead->Confirmed) EndForecastRun(*ahead);
    }
  }
}

void TDualImage::SprayAt(int X, int Y) {
  if (!Style) return;
  const int n = SprayCount(Style->Params.Length, Density, Round(double(Style->Params.Width)));
  for (int i = 0; i < n; ++i) {
    const float a = float(Random(6283)) / 1000.0f;
    const double r = double(Random(BrushRadius));
    PaintAt(Round(X + r * std::cos(double(a))), Round(Y + r * std::sin(double(a))));
  }
}

void TDualImage::CommitStroke(TLineSampler& Sampler) {
  CommitStroke(Sampler.AverageColor, Sampler.LeftOutline, Sampler.RightOutline);
}

void TDualImage::CommitStroke(TColor32 Average, const TArrayOfFixedPoint& Left,
                              const TArrayOfFixedPoint& Right) {
  TAbstractStrokeRenderer* brush = nullptr;
  if (BrushLibrary) brush = dynamic_cast<TAbstractStrokeRenderer*>(BrushLibrary->Current());
  if (!brush) brush = &BuiltInBrush();
  const TStyleParams& p = Style->Params;
  const TColor32 colour =
      StrokeColor(Average, Colors, p.HueVariation, p.SatVariation, p.LightVariation);
  ++CommittedStrokes;
  if (CurrentState) {
    CurrentState->Strokes->AddStroke(Left, Right, Style->ReliefParams(), brush->Id(), p.Alpha,
                                     colour);
    if (Journal)
      Journal->AddStroke(Left, Right, Style->ReliefParams(), brush->Id(), p.Alpha, colour);
  }
  if (FStrokeQueue) {
    FStrokeQueue->Push(brush, colour, p.Alpha, Style->ReliefParams(), Left, Right);
    return;
  }
  brush->RenderStroke(colour, p.Alpha, Style->ReliefParams(), Left, Right, Destination());
}

void TDualImage::StartStrokeQueue() {
  if (FStrokeQueue) return;
  // The painting thread never reads the pen: a stroke is foreseen with the
  // pressure of the stroke that asks, and used only if the pen still gives
  // that pressure when the stroke is reached.
  DirectionHint(0, 0);  // its table is made on first use: here, before the threads share it
  FForecast = std::make_unique<TForecast>();
  std::function<bool()> idle = [this] { return RunForecast(); };
  // The painting thread must not reach the views: the destination's change
  // notices are held back while it owns the picture, and given once it is done.
  Destination().BeginUpdate();
  try {
    FStrokeQueue = std::make_unique<TStrokeQueue>(Destination(), std::move(idle));
  } catch (...) {
    Destination().EndUpdate();
    throw;
  }
}

void TDualImage::ReleaseDestinationNotices() {
  if (!DestinationView) return;
  TBitmap32& d = Destination();
  d.EndUpdate();
  d.Changed();
}

void TDualImage::FinishStrokeQueue() {
  if (!FStrokeQueue) return;
  const std::unique_ptr<TStrokeQueue> queue = std::move(FStrokeQueue);
  struct TDropForecast {
    std::unique_ptr<TForecast>& Forecast;
    TDualImage& Doc;
    ~TDropForecast() {
      Doc.FForecast.reset();  // after the painting thread stopped
      Doc.ReleaseDestinationNotices();
    }
  } drop{FForecast, *this};
  queue->Finish();
}

void TDualImage::SyncStrokes() {
  if (!FStrokeQueue) return;
  FStrokeQueue->Sync();
  // Painted up to here, and untouched until the next stroke is queued.
  if (DestinationView) DestinationView->Repaint();
}

void TDualImage::StopStrokeQueue() {
  if (!FStrokeQueue) return;
  FStrokeQueue.reset();
  FForecast.reset();
  ReleaseDestinationNotices();
}

void TDualImage::BeginEdit() {
  if (EditDepth == 0) {
    DirtyRect = EmptyRect;
    CurrentState.reset();
    if (RecordHistory) CurrentState = std::make_unique<TBState>(FeatureMap, Destination());
    if (Journal) Journal->BeginEdit();
  }
  ++EditDepth;
}

void TDualImage::EndEdit() {
  if (EditDepth <= 0) return;
  if (--EditDepth > 0) return;
  FinishStrokeQueue();  // the state stores the finished destination
  std::unique_ptr<TBState> state = std::move(CurrentState);
  // An action that painted nothing is not recorded and ends silently.
  if (state) {
    state->Store(DirtyRect);
    History->Push(std::move(state));
    if (Journal) Journal->EndEdit(DirtyRect, CurrentRandomState());
  } else if (IsEmptyRect(DirtyRect)) {
    SilentStop();
  }
  if (OnChange) OnChange(*this);
}

void TDualImage::CancelEdit() {
  if (EditDepth <= 0) return;
  if (--EditDepth > 0) return;
  StopStrokeQueue();
  DirtyRect = EmptyRect;
  if (Journal) Journal->CancelEdit();
  const std::unique_ptr<TBState> state = std::move(CurrentState);
  if (!state) return;
  // The state still holds whole copies of both pictures from BeginEdit.
  auto restore = [](TBitmap32& To, TBitmap32& From) {
    if (From.Width() == To.Width() && From.Height() == To.Height())
      std::copy(From.Bits(), From.Bits() + From.PixelCount(), To.Bits());
  };
  restore(FeatureMap, state->FeaturePixels->Bitmap());
  TBitmap32& d = Destination();
  UpdateLocked(d, [&] { restore(d, state->DestinationPixels->Bitmap()); });
  DestinationView->Repaint();
}

void TDualImage::Undo() {
  TBitmap32& d = Destination();
  UpdateLocked(d, [&] {
    History->Undo(FeatureMap, d);
    // Down to the empty history the destination shows the background only.
    if (!History->Top()) FillBackground(&d);
  });
  if (Journal) Journal->Event(jkUndo);
  if (OnChange) OnChange(*this);
}

void TDualImage::Redo() {
  TBitmap32& d = Destination();
  UpdateLocked(d, [&] { History->Redo(FeatureMap, d); });
  if (Journal) Journal->Event(jkRedo);
  if (OnChange) OnChange(*this);
}

void TDualImage::UndoToSnapshot() {
  if (!History->Top()) return;
  TBitmap32& d = Destination();
  UpdateLocked(d, [&] {
    do {
      History->Undo(FeatureMap, d);
    } while (History->CanUndo() && History->Top() && !History->Top()->Snapshot);
    if (!History->Top()) FillBackground(&d);
  });
  if (Journal) Journal->Event(jkUndoToSnapshot);
  if (OnChange) OnChange(*this);
}

void TDualImage::TakeSnapshot() {
  if (TBState* top = History->Top()) {
    top->Snapshot = true;
    if (Journal) Journal->Event(jkTakeSnapshot);
  }
}

bool TDualImage::CanUndoToSnapshot() const {
  for (int i = 0; i + 1 < History->StateCount(); ++i)
    if (History->Item(i).Snapshot) return true;
  return false;
}

bool TDualImage::CanTakeSnapshot() {
  const TBState* top = History->Top();
  return top && !top->Snapshot;
}

void TDualImage::Compact() {
  TProgressScope progress("Compacting information...", 0, History->StateCount());
  if (History->StateCount() <= 1) return;
  auto merged = std::make_unique<TBState>(FeatureMap, Destination());
  for (int i = 0; i < History->StateCount(); ++i) {
    merged->Strokes->AppendFrom(*History->Item(i).Strokes);
    StepProgress();
  }
  merged->Store(FeatureMap.BoundsRect());
  History = std::make_unique<TBStates>();
  History->Push(std::move(merged));
  if (Journal) Journal->Event(jkCompact);
}

std::string TDualImage::MemoryText() const {
  // 64 bits: a history of several gigabytes is shown as such. Five
  // significant digits with a point, whatever the locale.
  const int64_t n = History->MemorySize();
  auto general = [](double v, const char* unit) {
    char b[48];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::general, 5);
    return std::string(b, r.ptr) + unit;
  };
  if (n >= (int64_t(1) << 30)) return general(double(n) / double(int64_t(1) << 30), " Gb");
  if (n >= (int64_t(1) << 20)) return general(double(n) / double(int64_t(1) << 20), " Mb");
  if (n < 1024) return std::to_string(n) + " bytes";
  return general(double(n) / 1024.0, " Kb");
}

void TDualImage::SaveToStream(TStream& Dest) {
  SaveBMPToStream(Source(), Dest, 32);
  SaveBMPToStream(Destination(), Dest, 32);
  SaveBMPToStream(FeatureMap, Dest, 32);
  TProgressScope progress("Saving Project...", 0,
                          int32_t(std::min<int64_t>(VectorCount(), INT32_MAX)));
  History->WriteToStream(Dest);
}

void TDualImage::ExportPostScript(const std::string& FileName) {
  TProgressScope progress("Converting to vectors...", 0, 100);
  ::brellin::ExportPostScript(FileName, Destination().Width(), Destination().Height(), 0.8f,
                              *History);
  Modified = false;
}

void TDualImage::ExportSvg(const std::string& FileName) {
  TProgressScope progress("Converting to vectors...", 0, 100);
  TSvgOptions o;
  o.Background = BackgroundMode == 0 && (BackgroundColor >> 24) != 0;
  o.BackgroundColor = BackgroundColor;
  ::brellin::ExportSvg(FileName, Destination().Width(), Destination().Height(), *History, o);
  Modified = false;
}

void TDualImage::RenderStrokes(TBitmap32& Bitmap, float Factor) {
  struct TClearRerender {
    bool& Flag;
    ~TClearRerender() { Flag = false; }
  } clear{NeedsRerender};
  TProgressScope progress(NeedsRerender ? "It is necessary to render again the destination image..."
                                        : "Rendering Image...",
                          0, 100);
  const int64_t total = VectorCount();
  int64_t count = 0;
  TStrokeRecord r;
  for (int k = 0; k < History->StateCount(); ++k) {
    TStrokes& strokes = *History->Item(k).Strokes;
    strokes.Rewind();
    for (int32_t i = 0; i < strokes.Count() && strokes.ReadNext(r); ++i, ++count) {
      if (Factor != 1.0f) {
        for (TArrayOfFixedPoint* side : {&r.LeftSide, &r.RightSide})
          for (TFixedPoint& p : *side)
            p = {FloatToFixed(double(float(FixedToFloat(p.X) * Factor))),
                 FloatToFixed(double(float(FixedToFloat(p.Y) * Factor)))};
      }
      BrushForId(r.Id).RenderStroke(r.Color, r.Alpha, r.ReliefParams, r.LeftSide, r.RightSide,
                                    Bitmap);
      if (count % 10 == 0 && total > 0) SetProgress(Round(double(count) * 100.0 / double(total)));
    }
  }
}

TAbstractStrokeRenderer& TDualImage::BrushForId(int32_t Id) {
  TAbstractStrokeRenderer* brush = nullptr;
  if (BrushLibrary) {
    brush = dynamic_cast<TAbstractStrokeRenderer*>(BrushLibrary->FindById(Id));
    // A stroke whose brush was deleted is painted with the first brush file.
    if (!brush && BrushLibrary->Count() > 1)
      brush = dynamic_cast<TAbstractStrokeRenderer*>(BrushLibrary->GetObject(1));
  }
  return brush ? *brush : BuiltInBrush();
}

void TDualImage::ReplayStroke(const TStrokeRecord& Stroke) {
  if (CurrentState) CurrentState->Strokes->AddStroke(Stroke);
  TBitmap32& d = Destination();
  BrushForId(Stroke.Id).RenderStroke(Stroke.Color, Stroke.Alpha, Stroke.ReliefParams,
                                     Stroke.LeftSide, Stroke.RightSide, d);
}

void TDualImage::FillBackground(TBitmap32* Bitmap) {
  TBitmap32& b = Bitmap ? *Bitmap : Destination();
  if ((BackgroundMode == 1 || BackgroundMode == 2) && BackgroundPicture &&
      !BackgroundPicture->Empty())
    FillWithPicture(b, *BackgroundPicture, BackgroundMode);
  else
    b.Clear(BackgroundColor);
}

void TDualImage::SetBackgroundPicture(const TBitmap32* Picture) {
  BackgroundPicture = Picture ? std::make_unique<TBitmap32>(*Picture) : nullptr;
}

void TDualImage::SetBackgroundMode(uint8_t Mode) {
  BackgroundMode = BackgroundPicture && !BackgroundPicture->Empty() ? Mode : 0;
  RerenderDestination();
  DestinationView->Repaint();
  if (Journal) {
    TJournalPaper paper;
    paper.Color = BackgroundColor;
    paper.Mode = BackgroundMode;
    if (BackgroundPicture) paper.Picture = std::make_shared<const TBitmap32>(*BackgroundPicture);
    Journal->Paper(paper);
  }
}

void TDualImage::RerenderDestination() {
  TBitmap32& d = Destination();
  UpdateLocked(d, [&] {
    FillBackground(&d);
    RenderStrokes(d, 1.0f);
  });
}

uint8_t TDualImage::DirectionHint(int X, int Y) {
  if (DirectionHints.empty()) {
    HintColumns = FeatureMap.Width() / 10;
    HintRows = FeatureMap.Height() / 10;
    DirectionHints.assign(size_t(HintColumns) * size_t(HintRows), 128);
  }
  const int64_t pos = int64_t(Round(Y / 10.0)) * HintColumns + Round(X / 10.0);
  return pos >= 0 && pos < int64_t(DirectionHints.size()) ? DirectionHints[size_t(pos)] : 32;
}

void TDualImage::SetBrushRadius(int Value) {
  if (Value < 8 || Value > 500) return;
  BrushRadius = Value;
  SourceView->RepaintLayers();
}

void TDualImage::SetViewBorders(bool Value) {
  if (Value == ViewBorders) return;
  ViewBorders = Value;
  SourceView->RepaintLayers();
}

void TDualImage::SetViewDirections(bool Value) {
  if (Value == ViewDirections) return;
  ViewDirections = Value;
  SourceView->RepaintLayers();
}

void TDualImage::SetActiveView(TPictureView* View) {
  if (ActiveView) ActiveView->RemoveLayer(FCursorLayer.get());
  ActiveView = View;
  VectorLayer->SetView(View);
  // The curves go under the overlays, the cursor over everything.
  auto& layers = View->Layers;
  auto curves = std::find_if(layers.begin(), layers.end(),
                             [&](TPaintLayer* l) { return VectorLayer->IsDisplayLayer(l); });
  if (curves != layers.end()) std::rotate(layers.begin(), curves, curves + 1);
  ActiveView->AddLayer(FCursorLayer.get());
  // The cursor point is kept in picture pixels of the active view, so the
  // cursor stays on the pointer at any scale and scroll.
  CursorPoint = View->ViewToPicture(View->MousePos);
  SourceView->RepaintLayers();
  DestinationView->RepaintLayers();
}

void TDualImage::SetCursorPoint(TPoint P) {
  CursorPoint = P;
  ActiveView->RepaintLayers();
}

void TDualImage::SetCursorKind(uint8_t Kind) {
  CursorKind = Kind;
  if (Kind == 0) FCursorLayer->Visible = false;
  if (Kind == 1 || Kind == 2) FCursorLayer->Visible = true;
  if (Kind <= 2 && SourceView) SourceView->SetCursor(Kind == 0 ? crArrow : crCross);
}

TBezierSegment PlacePatternCurve(const TBezierSegment& Curve, int BrushRadius, int X, int Y) {
  const float f = float(BrushRadius) / 105.0f;
  auto place = [&](TPoint p) {
    return TPoint{int32_t(int64_t(Round(double(p.X) * double(f))) + X),
                  int32_t(int64_t(Round(double(p.Y) * double(f))) + Y)};
  };
  return {place(Curve.P0), place(Curve.P1), place(Curve.P2), place(Curve.P3)};
}

void TDualImage::PaintAlongCurves(float Ratio) {
  if (!Style) return;
  const TStyleParams& p = Style->Params;
  const int n = SprayCount(p.Length, Density, Round(double(p.Width)));
  TBezierHelper helper;
  for (int i = 0; i < n; ++i) {
    if (VectorLayer->Count() == 0) SilentStop();
    TPolyBezier& curve = *VectorLayer->GetPolyBezier(Random(VectorLayer->Count()));
    if (curve.SegmentCount() != 1) SilentStop();
    helper.Split(curve.GetBezier(0), std::max(1, p.Length * 2));
    for (int k = 0; k < helper.SegmentCount(); ++k) {
      TBezierSegment s = helper.GetSegment(k);
      const double g = double(BrushRadius) * double(Ratio);
      const int32_t a = Round(2.0 * g), b = Round(g / 5.0);
      TPoint* points[4] = {&s.P0, &s.P1, &s.P2, &s.P3};
      // The whole piece moves, then each point on its own, then its ends
      // along the piece's own extent.
      const int32_t dx = Random(a) - a / 2;
      const int32_t dy = Random(a) - a / 2;
      for (TPoint* q : points) q->X += dx, q->Y += dy;
      for (TPoint* q : points) {
        q->X += Random(b) - b / 2;
        q->Y += Random(b) - b / 2;
      }
      const int32_t hx = int32_t(std::llabs(int64_t(s.P0.X) - s.P3.X) / 2);
      const int32_t hy = int32_t(std::llabs(int64_t(s.P0.Y) - s.P3.Y) / 2);
      for (TPoint* q : {&s.P0, &s.P3}) {
        q->X += Random(hx) - hx / 2;
        q->Y += Random(hy) - hy / 2;
      }
      auto dist = [](TPoint u, TPoint v) {
        return float(std::hypot(double(u.X) - v.X, double(u.Y) - v.Y));
      };
      const float length = dist(s.P0, s.P1) + dist(s.P1, s.P2) + dist(s.P2, s.P3);
      if (length > 8.0f) PaintAlongSegment(s, Ratio);
    }
  }
}

void TDualImage::PaintAlongSegment(const TBezierSegment& Segment, float Ratio) {
  TMarkModified mark{*this};
  if (!Style) return;
  const TStyleParams& p = Style->Params;
  TLineSampler sampler(&FeatureMap, &Destination());
  const double pressure = PressureFactor();
  SetUpSampler(sampler, Segment.P0, pressure);
  sampler.SetThickness(Ratio != 1.0f ? Ratio * p.Width : float(pressure * p.Width));
  sampler.SetCurve(Segment.P0, Segment.P1, Segment.P2, Segment.P3);
  if (RunStroke(sampler)) CommitStroke(sampler);
  DirtyRect = UnionRect(DirtyRect, sampler.GetBounds());
}

}  // namespace brellin
