// Per-stroke cost of the line sampler alone (tracing, colour sampling and
// outlines, no rendering) on the feature map of a 1-megapixel crop of a real
// photo, with the settings of an automatic stroke of a typical style.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/Random.h"
#include "synthesis/LineSampler.h"

using namespace brellin;

namespace {
std::atomic<uint64_t> gAllocations{0};
}  // namespace

// Counts heap allocations, to keep the per-stroke figure in view. Not
// inlined, so that the compiler does not pair new-expressions with free().
[[gnu::noinline]] void* operator new(size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace {

struct TPhotoMaps {
  TBitmap32 Picture, Features;
};

// A 1024 x 1024 crop from the middle of the large corpus photo and its map.
const TPhotoMaps& OneMegapixel() {
  static TPhotoMaps maps = [] {
    TBitmap32 big =
        LoadPictureFile(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    MakeOpaqueOverWhite(big);
    const int x = (big.Width() - 1024) / 2, y = (big.Height() - 1024) / 2;
    TPhotoMaps m;
    m.Picture = CropBitmap(big, TRect{x, y, x + 1024, y + 1024});
    m.Features = ExtractFeatures(m.Picture);
    return m;
  }();
  return maps;
}

// range(0): 1 = colour from the photo, 0 = colour rebuilt from the map.
void BM_LineSamplerStroke(benchmark::State& state) {
  const TPhotoMaps& maps = OneMegapixel();
  const bool fromPhoto = state.range(0) != 0;
  SetRandSeed(1);
  int64_t drawn = 0;
  const uint64_t allocationsBefore = gAllocations.load();
  for (auto _ : state) {
    const TPoint seed{Random(maps.Features.Width()), Random(maps.Features.Height())};
    TLineSampler s(&maps.Features, &maps.Features);
    if (fromPhoto) s.ColorSource = &maps.Picture;
    s.SetScale(1.0f);
    s.SetPrecision(20);
    s.SetStart(seed);
    s.SetStepCount(50);
    s.SetThickness(16.0f);
    s.SetScanWidth(10.0f);
    s.StopOnBorders = true;
    s.SetStraightLines(false);
    s.SetThreshold(0);
    s.SetDirectionCallback([](int, int, uint8_t&) {});  // keeps the heading
    drawn += s.Run();
    benchmark::DoNotOptimize(s.AverageColor);
  }
  const double n = double(state.iterations());
  state.counters["strokes/s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.counters["drawn%"] = 100.0 * double(drawn) / n;
  state.counters["allocs/stroke"] = double(gAllocations.load() - allocationsBefore) / n;
}

}  // namespace

BENCHMARK(BM_LineSamplerStroke)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("photo")
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

BENCHMARK_MAIN();
