// Per-stroke cost with the default style (length 40, width 12, scan width 2,
// precision 88) on the feature map of a 1-megapixel crop of a real photo:
// the line sampler alone, the polygon brush, a bitmap brush without relief
// and with relief (bumpiness 8, softness 5, light 30). One core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/Parallel.h"
#include "base/Random.h"
#include "render/BitmapBrushRenderer.h"
#include "synthesis/LineSampler.h"

using namespace brellin;

namespace {

struct TStroke {
  TColor32 Colour;
  TArrayOfFixedPoint Left, Right;
};

struct TScene {
  TBitmap32 Picture, Feature;
  std::vector<TPoint> Seeds;
  std::vector<TStroke> Strokes;
};

void Configure(TLineSampler& s, const TScene& scene, TPoint seed) {
  s.ColorSource = &scene.Picture;
  s.SetScale(1.0f);
  s.SetPrecision(12);
  s.SetStart(seed);
  s.SetStepCount(40);
  s.SetThickness(12.0f);
  s.SetScanWidth(2.0f);
  s.StopOnBorders = false;
  s.SetThreshold(0);
  s.SetDirectionCallback([](int, int, uint8_t&) {});
}

const TScene& Scene() {
  static TScene scene = [] {
    TScene sc;
    SetThreadCount(1);
    TBitmap32 big =
        LoadPictureFile(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    const int x = (big.Width() - 1024) / 2, y = (big.Height() - 1024) / 2;
    sc.Picture = CropBitmap(big, TRect{x, y, x + 1024, y + 1024});
    sc.Feature = ExtractFeatures(sc.Picture);
    SetRandSeed(0);
    TBitmap32 dest(1024, 1024);
    while (sc.Strokes.size() < 4000) {
      const TPoint seed{Random(1024), Random(1024)};
      sc.Seeds.push_back(seed);
      TLineSampler s(&sc.Feature, &dest);
      Configure(s, sc, seed);
      if (s.Run()) sc.Strokes.push_back({s.AverageColor, s.LeftOutline, s.RightOutline});
    }
    return sc;
  }();
  return scene;
}

void BM_Sampler(benchmark::State& state) {
  const TScene& sc = Scene();
  TBitmap32 dest(1024, 1024);
  size_t i = 0;
  for (auto _ : state) {
    TLineSampler s(&sc.Feature, &dest);
    Configure(s, sc, sc.Seeds[i++ % sc.Seeds.size()]);
    benchmark::DoNotOptimize(s.Run());
  }
  state.counters["strokes/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void RenderLoop(benchmark::State& state, TAbstractStrokeRenderer& brush, uint16_t relief) {
  const TScene& sc = Scene();
  TBitmap32 canvas(1024, 1024, clWhite32);
  size_t i = 0;
  for (auto _ : state) {
    const TStroke& s = sc.Strokes[i++ % sc.Strokes.size()];
    brush.SetColor(s.Colour);
    brush.SetAlpha(255);
    brush.SetReliefParams(relief);
    brush.Render(s.Left, s.Right, canvas);
  }
  state.counters["strokes/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PolygonBrush(benchmark::State& state) {
  TPolygonStrokeRenderer brush;
  RenderLoop(state, brush, 0x1E00);
}

void BM_BitmapBrush(benchmark::State& state) {
  TBitmapBrushStrokeRenderer brush;
  brush.LoadFromFile(std::string(BRELLIN_SOURCE_DIR) + "/data/brush3-pen-nib.srd");
  RenderLoop(state, brush, 0x1E00);
}

void BM_BitmapBrushRelief(benchmark::State& state) {
  TBitmapBrushStrokeRenderer brush;
  brush.LoadFromFile(std::string(BRELLIN_SOURCE_DIR) + "/data/brush3-pen-nib.srd");
  RenderLoop(state, brush, 0x1E58);
}

}  // namespace

BENCHMARK(BM_Sampler)->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.3);
BENCHMARK(BM_PolygonBrush)->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.3);
BENCHMARK(BM_BitmapBrush)->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.3);
BENCHMARK(BM_BitmapBrushRelief)->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.3);

int main(int argc, char** argv) {
  if (!std::filesystem::exists(std::string(BRELLIN_CORPUS) +
                               "/photos/large_kleiber_nuthatch.jpg")) {
    std::fprintf(stderr, "bench_brushes: the photo corpus (../shared/corpus) is not there\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
