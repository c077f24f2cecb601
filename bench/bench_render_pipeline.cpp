// The whole render of a 1-megapixel photo with 5000 steps of the default
// style, phase by phase (decode, analysis, strokes, encode) and in one go,
// as `brellin-cli render` runs it, and the strokes of a full-size render of
// a 12-megapixel photo with 100,000 steps. The strokes are traced in order on
// one thread and painted (Arg 1, as the command line does) on a second one,
// or traced and painted on one thread (Arg 0); the analysis uses every core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/JpegCodec.h"
#include "analysis/PictureFormats.h"
#include "base/Random.h"
#include "base/Resampler.h"
#include "base/Stream.h"
#include "domain/BDomain.h"

using namespace brellin;

namespace {

namespace fs = std::filesystem;

struct TBenchUi : TDomainUi {
  std::string Out;
  void ErrorBox(const std::string&, const std::string& t) override {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string& f) override {
    f = Out;
    return true;
  }
};

const std::string& Folder() {
  return bench::ProgramFolderFor("brellin-bench-render");
}

// A 1155 x 866 (1.0 megapixel) JPEG cut from the middle of the large photo.
const std::string& OneMegapixelJpeg() {
  static const std::string file = [] {
    TBitmap32 big =
        LoadPictureFile(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    const int w = 1155, h = 866, x = (big.Width() - w) / 2, y = (big.Height() - h) / 2;
    const std::string f = Folder() + "/photo-1mp.jpg";
    SavePictureFile(CropBitmap(big, TRect{x, y, x + w, y + h}), f, 90);
    return f;
  }();
  return file;
}

// Opens the 1-megapixel photo as a document in auto mode, as render does.
void OpenPhoto(TDomain& domain, TPictureView& source, TPictureView& dest) {
  domain.SourceView = &source;
  domain.DestinationView = &dest;
  domain.LoadPicture(OneMegapixelJpeg());
  domain.Document->AutoMode = true;
  domain.Document->RecordHistory = false;  // as render without --ps or --project
}

// Times apply runs of Steps seeds, each on a fresh background from seed 0.
void TimeApplyRuns(benchmark::State& state, TDomain& domain, int Steps) {
  for (auto _ : state) {
    state.PauseTiming();
    domain.Document->FillBackground();
    SetRandSeed(0);
    state.ResumeTiming();
    domain.ApplyStart(Steps);
  }
}

void BM_Decode(benchmark::State& state) {
  const std::string f = OneMegapixelJpeg();
  for (auto _ : state) benchmark::DoNotOptimize(LoadPictureFile(f));
}

void BM_Analysis(benchmark::State& state) {
  const TBitmap32 pic = LoadPictureFile(OneMegapixelJpeg());
  for (auto _ : state) benchmark::DoNotOptimize(ExtractFeatures(pic));
}

void BM_Strokes5000(benchmark::State& state) {
  Folder();
  TBenchUi ui;
  TPictureView source, dest;
  TDomain domain(&ui);
  OpenPhoto(domain, source, dest);
  domain.OverlapStrokes = state.range(0) != 0;
  TimeApplyRuns(state, domain, 5000);
}

// The photo stretched to 4240 x 2830 (12 megapixels), as bench/compare-tools.sh makes it.
const std::string& TwelveMegapixelJpeg() {
  static const std::string file = [] {
    TBitmap32 big =
        LoadPictureFile(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    const std::string f = Folder() + "/photo-12mp.jpg";
    SavePictureFile(Resample(big, 4240, 2830), f, 92);
    return f;
  }();
  return file;
}

struct TFullSizeUi : TBenchUi {
  bool ProjectOptions(int w, int h, int, int, TProjectOptions& o) override {
    o.Width = w, o.Height = h;
    return true;
  }
};

void BM_Strokes12MP100k(benchmark::State& state) {
  Folder();
  TFullSizeUi ui;
  TPictureView source, dest;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &dest;
  domain.LoadPicture(TwelveMegapixelJpeg());
  domain.Document->AutoMode = true;
  domain.Document->RecordHistory = false;
  domain.OverlapStrokes = state.range(0) != 0;
  TimeApplyRuns(state, domain, 100000);
}

void BM_Encode(benchmark::State& state) {
  const TBitmap32 pic = LoadPictureFile(OneMegapixelJpeg());
  for (auto _ : state) {
    TMemoryStream m;
    SaveJPEG(pic, m, 75);
    benchmark::DoNotOptimize(m.Size());
  }
}

void BM_WholeRender(benchmark::State& state) {
  Folder();
  TBenchUi ui;
  ui.Out = Folder() + "/out.jpg";
  for (auto _ : state) {
    TPictureView source, dest;
    TDomain domain(&ui);
    domain.OverlapStrokes = true;
    OpenPhoto(domain, source, dest);
    SetRandSeed(0);
    domain.ApplyStart(5000);
    domain.SavePicture(dest.Bitmap(), 200);
  }
}

}  // namespace

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Analysis)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_Strokes5000)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_Strokes12MP100k)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WholeRender)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

int main(int argc, char** argv) {
  if (!fs::exists(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg")) {
    std::fprintf(stderr,
                 "bench_render_pipeline: the photo corpus (../shared/corpus) is not there\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
