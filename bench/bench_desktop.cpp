// What the desktop program does per mouse event and per repaint, without
// Qt: an auto-sketch burst on a 2-megapixel document delivered as a mouse
// move on the source view, and the repaint of both views' client areas that
// follows; and scrolling a 20-megapixel destination (one repaint per step),
// zooming and panning both views of it at several zooms.
// Qt then only blits the composed client area (about 1 ms more for a
// 1000 x 700 area).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "BenchSupport.h"
#include "analysis/PictureFormats.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"

using namespace brellin;

namespace {

const std::string kPhoto = std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg";

struct TBenchUi : TDomainUi {
  int Width = 0, Height = 0;
  void ErrorBox(const std::string&, const std::string& t) override {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  bool ProjectOptions(int, int, int, int, TProjectOptions& o) override {
    o.Width = Width;
    o.Height = Height;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
};

// The photo opened at W x H with the auto-sketch tool, as the desktop
// program opens it (a tool manager on both views).
struct TDesktopDocument {
  TBenchUi Ui;
  TPictureView Source, Destination;
  std::unique_ptr<TDomain> Domain;
  TBitmap32 SourceBuffer, DestinationBuffer;
  TDesktopDocument(int W, int H) {
    bench::ProgramFolderFor("brellin-bench-desktop");
    Ui.Width = W;
    Ui.Height = H;
    Domain = std::make_unique<TDomain>(&Ui);
    Domain->SourceView = &Source;
    Domain->DestinationView = &Destination;
    Domain->ToolManagerFactory = MakeToolManagerFactory();
    Domain->LoadPicture(kPhoto);
    Domain->AutoDirCommand();
    Source.SetClientSize(1000, 700);
    Destination.SetClientSize(1000, 700);
  }
};

void BM_SprayBurstAndRepaint2MP(benchmark::State& state) {
  static TDesktopDocument d(1732, 1155);  // 2.0 megapixels
  SetRandSeed(1);
  int x = 100, step = 7;
  const int64_t before = d.Domain->Document->VectorCount();
  d.Source.MouseDown(mbLeft, ssLeft, x, 300);
  for (auto _ : state) {
    x += step;
    if (x > 900 || x < 100) step = -step;
    d.Source.MouseMove(ssLeft, x, 300 + (x % 200));  // one burst
    d.Source.Paint(d.SourceBuffer);
    d.Destination.Paint(d.DestinationBuffer);
    benchmark::DoNotOptimize(d.DestinationBuffer.ScanLine(0));
  }
  d.Source.MouseUp(mbLeft, 0, x, 300);
  state.counters["strokes_per_burst"] = benchmark::Counter(
      double(d.Domain->Document->VectorCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SprayBurstAndRepaint2MP)->Unit(benchmark::kMillisecond)->Iterations(300);

TDesktopDocument& Document20MP();

void BM_ScrollRepaint20MP(benchmark::State& state) {
  TDesktopDocument& d = Document20MP();  // 20.0 megapixels
  int y = 0, step = 40;
  for (auto _ : state) {
    y += step;
    if (y > 2600 || y < 0) step = -step;
    d.Destination.ScrollTo(y, y / 2);
    d.Destination.Paint(d.DestinationBuffer);
    benchmark::DoNotOptimize(d.DestinationBuffer.ScanLine(0));
  }
}
BENCHMARK(BM_ScrollRepaint20MP)->Unit(benchmark::kMillisecond)->Iterations(200);

// The 20-megapixel document of the scroll figure, both views 1000 x 700.
TDesktopDocument& Document20MP() {
  static TDesktopDocument d(5962, 3354);
  return d;
}

void PaintBoth(TDesktopDocument& d) {
  d.Source.Paint(d.SourceBuffer);
  d.Destination.Paint(d.DestinationBuffer);
  benchmark::DoNotOptimize(d.DestinationBuffer.ScanLine(0));
}

// One zoom step of both views around the centre, through every level from
// fit (16 %) to 400 % and back, each followed by the repaint of both views.
void BM_ZoomRepaint20MP(benchmark::State& state) {
  TDesktopDocument& d = Document20MP();
  const float fit = d.Destination.FitScale();
  float scale = fit;
  int dir = 1;
  PaintBoth(d);  // levels made once, as after the first paint on screen
  for (auto _ : state) {
    scale = TPictureView::ZoomStep(scale, dir);
    if (scale >= 4.0f || scale <= fit) dir = -dir;
    for (TPictureView* v : {&d.Source, &d.Destination}) v->ZoomAt(scale, {500, 350});
    PaintBoth(d);
  }
}
BENCHMARK(BM_ZoomRepaint20MP)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Panning both views by 40 pixels per repaint at a given zoom (percent).
void BM_PanRepaint20MP(benchmark::State& state) {
  TDesktopDocument& d = Document20MP();
  const float scale = float(state.range(0)) / 100.0f;
  for (TPictureView* v : {&d.Source, &d.Destination}) v->ZoomAt(scale, {500, 350});
  int x = 0, step = 40;
  PaintBoth(d);
  for (auto _ : state) {
    x += step;
    if (x > d.Destination.ScaledWidth() - 1000 || x < 0) step = -step;
    for (TPictureView* v : {&d.Source, &d.Destination}) v->ScrollTo(x, x / 2);
    PaintBoth(d);
  }
}
BENCHMARK(BM_PanRepaint20MP)
    ->Arg(30)
    ->Arg(71)
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What a repaint at fit costs when the picture changed since the last one
// (a stroke, an undo): the destination's levels are made again.
void BM_FitRepaintAfterChange20MP(benchmark::State& state) {
  TDesktopDocument& d = Document20MP();
  d.Destination.ZoomAt(d.Destination.FitScale(), {0, 0});
  for (auto _ : state) {
    d.Destination.Repaint();
    d.Destination.Paint(d.DestinationBuffer);
    benchmark::DoNotOptimize(d.DestinationBuffer.ScanLine(0));
  }
}
BENCHMARK(BM_FitRepaintAfterChange20MP)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
