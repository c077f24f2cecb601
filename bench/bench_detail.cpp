// Where a detail pass paints: the error map and the seed choice of one pass
// on a 1 MP working size (the portrait tiled to 1024 x 1024 against a
// painting of 8 x 8 blocks of it), on one thread and on all.
// Run with --benchmark_repetitions=N to get the median.
#include <benchmark/benchmark.h>

#include "analysis/PictureFormats.h"
#include "base/Parallel.h"
#include "domain/DetailPasses.h"

using namespace brellin;

namespace {

struct TPictures {
  TBitmap32 Source{1024, 1024}, Painting{1024, 1024}, Features{1024, 1024, 100};
  TBitmap32 Paper{1024, 1024, 0xFFFFFFFFu};
  TPictures() {
    const TBitmap32 photo = LoadPictureFile(BRELLIN_CORPUS "/photos/portrait_astronaut.png");
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x)
        Source.ScanLine(y)[x] = photo.Pixel(x % photo.Width(), y % photo.Height());
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x) Painting.ScanLine(y)[x] = Source.Pixel(x & ~7, y & ~7);
  }
};

const TPictures& Pictures() {
  static const TPictures p;
  return p;
}

// Pass 1 of a style 16 wide: strokes 8 wide, a window of 9, cells of 16;
// then which seeds lie on bare paper.
void ErrorMapAndSeeds(benchmark::State& state) {
  const TPictures& p = Pictures();
  SetThreadCount(int(state.range(0)));
  TDetailErrorMap map;
  size_t seeds = 0;
  for (auto _ : state) {
    ComputeDetailErrorMap(p.Painting, p.Source, 9, map);
    const TDetailSeeds chosen =
        ChooseDetailSeeds(map, p.Features, 16, DefaultDetailThreshold, 0, 0);
    benchmark::DoNotOptimize(SeedsOnPaper(chosen.Seeds, p.Painting, p.Paper));
    seeds = chosen.Seeds.size();
  }
  state.counters["seeds"] = double(seeds);
  SetThreadCount(0);
}
BENCHMARK(ErrorMapAndSeeds)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void ErrorMapOnly(benchmark::State& state) {
  const TPictures& p = Pictures();
  SetThreadCount(int(state.range(0)));
  TDetailErrorMap map;
  for (auto _ : state) ComputeDetailErrorMap(p.Painting, p.Source, 9, map);
  SetThreadCount(0);
}
BENCHMARK(ErrorMapOnly)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
