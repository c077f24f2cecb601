// The history with 100,000 recorded strokes: saving and opening the project,
// PostScript export and painting every stroke again at twice the size; and
// undo and redo of an apply run on a 20-megapixel picture.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "analysis/PictureFormats.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "domain/BDomain.h"

using namespace brellin;

namespace {

namespace fs = std::filesystem;

struct TBenchUi : TDomainUi {
  int Width = 0, Height = 0;
  void ErrorBox(const std::string&, const std::string& t) override {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  bool ProjectOptions(int w, int h, int sw, int sh, TProjectOptions& o) override {
    o.Width = Width ? Width : sw;
    o.Height = Height ? Height : sh;
    (void)w, (void)h;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
};

const std::string& Folder() {
  return bench::ProgramFolderFor("brellin-bench-history");
}

const std::string kPhoto = std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg";

double PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;
}

// The photo at its suggested working size (about one megapixel), painted
// with the default style until 100,000 strokes are recorded.
struct TStrokeDocument {
  TBenchUi Ui;
  TPictureView Source, Destination;
  TDomain Domain{(Folder(), &Ui)};
  std::string Project = Folder() + "/strokes.bpj";

  TStrokeDocument() {
    Domain.SourceView = &Source;
    Domain.DestinationView = &Destination;
    Domain.LoadPicture(kPhoto);
    TDualImage& doc = *Domain.Document;
    doc.AutoMode = true;
    SetRandSeed(0);
    while (doc.VectorCount() < 100000) {
      const int64_t missing = 100000 - doc.VectorCount();
      Domain.ApplyStart(int(missing + 10));
      Domain.Document->Compact();
    }
    doc.ProjectFileName = Project;
  }
};

TStrokeDocument& StrokeDocument() {
  static TStrokeDocument d;
  return d;
}

void BM_ProjectSave(benchmark::State& state) {
  TStrokeDocument& d = StrokeDocument();
  for (auto _ : state) d.Domain.SaveProjectCommand();
  state.counters["strokes"] = double(d.Domain.Document->VectorCount());
  state.counters["MB"] = double(fs::file_size(d.Project)) / 1e6;
  state.counters["peak_MB"] = PeakMb();
}

void BM_ProjectOpen(benchmark::State& state) {
  TStrokeDocument& d = StrokeDocument();
  d.Domain.SaveProjectCommand();
  TBenchUi ui;
  TPictureView source, dest;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &dest;
  for (auto _ : state) domain.OpenProjectFile(d.Project);
  state.counters["strokes"] = double(domain.Document->VectorCount());
  state.counters["peak_MB"] = PeakMb();
}

void BM_PostScript(benchmark::State& state) {
  TStrokeDocument& d = StrokeDocument();
  const std::string ps = Folder() + "/strokes.ps";
  for (auto _ : state) d.Domain.Document->ExportPostScript(ps);
  state.counters["MB"] = double(fs::file_size(ps)) / 1e6;
}

void BM_RerenderTwiceTheSize(benchmark::State& state) {
  TStrokeDocument& d = StrokeDocument();
  const TBitmap32& dest = d.Destination.Bitmap();
  for (auto _ : state)
    benchmark::DoNotOptimize(d.Domain.RenderAtSize(dest.Width() * 2, dest.Height() * 2));
  state.counters["strokes"] = double(d.Domain.Document->VectorCount());
}

// The 20-megapixel photo at full size after an apply run of 20,000 steps
// (a state whose rectangle is nearly the whole picture).
struct TBigDocument {
  TBenchUi Ui;
  TPictureView Source, Destination;
  TDomain Domain{(Folder(), &Ui)};
  TBigDocument() {
    Domain.SourceView = &Source;
    Domain.DestinationView = &Destination;
    const TBitmap32 pic = LoadPictureFile(kPhoto);
    Ui.Width = pic.Width();
    Ui.Height = pic.Height();
    Domain.LoadPicture(kPhoto);
    Domain.Document->AutoMode = true;
    SetRandSeed(0);
    Domain.ApplyStart(20000);
  }
};

void BM_UndoRedo20MP(benchmark::State& state) {
  static TBigDocument d;
  TDualImage& doc = *d.Domain.Document;
  const TRect r = doc.History->Item(0).Rect;
  for (auto _ : state) {
    if (state.range(0) == 0) {
      doc.Undo();
      state.PauseTiming();
      doc.Redo();
      state.ResumeTiming();
    } else {
      state.PauseTiming();
      doc.Undo();
      state.ResumeTiming();
      doc.Redo();
    }
  }
  state.counters["rect_MP"] = double(r.Right - r.Left) * double(r.Bottom - r.Top) / 1e6;
  state.counters["picture_MP"] = double(doc.FeatureMap.PixelCount()) / 1e6;
  state.counters["peak_MB"] = PeakMb();
}

}  // namespace

BENCHMARK(BM_ProjectSave)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ProjectOpen)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PostScript)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RerenderTwiceTheSize)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_UndoRedo20MP)
    ->ArgName("redo")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
