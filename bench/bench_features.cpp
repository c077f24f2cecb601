// Feature extraction speed on real photos: the 20-megapixel corpus photo and
// a 1-megapixel crop of it, on one and on two threads, and the plain
// reference pipeline for comparison.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/ImagprocReference.h"
#include "analysis/PictureFormats.h"
#include "analysis/imagproc.h"
#include "base/Parallel.h"

using namespace brellin;

namespace {

const TBitmap32& LargePhoto() {
  static TBitmap32 pic = [] {
    TBitmap32 p =
        LoadPictureFile(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    MakeOpaqueOverWhite(p);
    return p;
  }();
  return pic;
}

// A 1024 x 1024 crop from the middle of the large photo (real texture).
const TBitmap32& OneMegapixel() {
  static TBitmap32 pic = [] {
    const TBitmap32& big = LargePhoto();
    const int x = (big.Width() - 1024) / 2, y = (big.Height() - 1024) / 2;
    return CropBitmap(big, TRect{x, y, x + 1024, y + 1024});
  }();
  return pic;
}

void Report(benchmark::State& state, const TBitmap32& pic) {
  state.counters["MPix/s"] = benchmark::Counter(
      double(pic.PixelCount()) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ExtractFeatures_1MP(benchmark::State& state) {
  SetThreadCount(int(state.range(0)));
  const TBitmap32& pic = OneMegapixel();
  for (auto _ : state) benchmark::DoNotOptimize(ExtractFeatures(pic));
  Report(state, pic);
  SetThreadCount(0);
}

void BM_ExtractFeatures_20MP(benchmark::State& state) {
  SetThreadCount(int(state.range(0)));
  const TBitmap32& pic = LargePhoto();
  for (auto _ : state) benchmark::DoNotOptimize(ExtractFeatures(pic));
  Report(state, pic);
  SetThreadCount(0);
}

void BM_ReferencePipeline_1MP(benchmark::State& state) {
  const TBitmap32& pic = OneMegapixel();
  for (auto _ : state) benchmark::DoNotOptimize(reference::ExtractFeatures(pic));
  Report(state, pic);
}

// The two blurring filters of the analysis on a 12-megapixel plane (a
// 4240 x 2830 crop of the large photo's green channel): the ten smoothing
// passes over the strength and the edge test over the darkness.
const TBytePlane& TwelveMegapixelPlane() {
  static TBytePlane plane = [] {
    const TBitmap32& big = LargePhoto();
    TBytePlane p(size_t(4240) * 2830);
    for (int r = 0; r < 2830; ++r)
      for (int x = 0; x < 4240; ++x)
        p[size_t(r) * 4240 + size_t(x)] = uint8_t(big.Pixel(x, r) >> 8);
    return p;
  }();
  return plane;
}

void BM_SmoothPlane_12MP(benchmark::State& state) {
  SetThreadCount(int(state.range(0)));
  const TBytePlane& src = TwelveMegapixelPlane();
  TBytePlane p(src.size());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(src.begin(), src.end(), p.begin());
    state.ResumeTiming();
    SmoothPlane(p, 4240, 2830, 10);
  }
  SetThreadCount(0);
}

void BM_DetectEdges_12MP(benchmark::State& state) {
  SetThreadCount(int(state.range(0)));
  const TBytePlane& src = TwelveMegapixelPlane();
  TBytePlane edge(src.size());
  for (auto _ : state) DetectEdges(src, edge, 4240, 2830);
  SetThreadCount(0);
}

void BM_DecodeJpeg_20MP(benchmark::State& state) {
  const std::string file = std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg";
  for (auto _ : state) benchmark::DoNotOptimize(LoadPictureFile(file));
}

}  // namespace

BENCHMARK(BM_ExtractFeatures_1MP)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_ExtractFeatures_20MP)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_ReferencePipeline_1MP)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_DecodeJpeg_20MP)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_SmoothPlane_12MP)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_DetectEdges_12MP)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

int main(int argc, char** argv) {
  if (!std::filesystem::exists(std::string(BRELLIN_CORPUS) +
                               "/photos/large_kleiber_nuthatch.jpg")) {
    std::fprintf(stderr, "bench_features: the photo corpus (../shared/corpus) is not there\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
