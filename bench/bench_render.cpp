// Polygon stroke rendering speed: strokes shaped like the line sampler's
// (a centre line of about 50 pixels, outlines 7 pixels either side with 3 or
// 4 vertices each) drawn into a 1024 x 1024 picture on one core.
// Run with --benchmark_repetitions=N to get the median.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "render/StrokeRenderer.h"

using namespace brellin;

namespace {

struct TStroke {
  TArrayOfFixedPoint Left, Right;
  TColor32 Color;
};

// Random strokes: a gently curving centre line from a random start and
// heading, sampled at 3 or 4 points, offset by +-HalfWidth along its normal.
std::vector<TStroke> MakeStrokes(int count, double length, double halfWidth) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> pos(40, 984), angle(0, 2 * M_PI), bend(-0.02, 0.02);
  std::uniform_int_distribution<int> points(3, 4);
  std::uniform_int_distribution<uint32_t> rgb(0, 0xFFFFFF);
  std::vector<TStroke> strokes(static_cast<size_t>(count));
  for (TStroke& s : strokes) {
    double x = pos(rng), y = pos(rng), heading = angle(rng);
    const double turn = bend(rng);
    const int n = points(rng);
    const double step = length / (n - 1);
    for (int i = 0; i < n; ++i) {
      const double nx = -std::sin(heading), ny = std::cos(heading);
      s.Left.push_back({FloatToFixed(x + nx * halfWidth), FloatToFixed(y + ny * halfWidth)});
      s.Right.push_back({FloatToFixed(x - nx * halfWidth), FloatToFixed(y - ny * halfWidth)});
      x += std::cos(heading) * step;
      y += std::sin(heading) * step;
      heading += turn * step;
    }
    s.Color = 0xFF000000u | rgb(rng);
  }
  return strokes;
}

void RenderStrokes(benchmark::State& state, double length, double halfWidth, uint8_t alpha) {
  const std::vector<TStroke> strokes = MakeStrokes(4096, length, halfWidth);
  TBitmap32 target(1024, 1024, clWhite32);
  TPolygonStrokeRenderer renderer;
  size_t i = 0;
  for (auto _ : state) {
    const TStroke& s = strokes[i];
    renderer.SetColor((s.Color & 0xFFFFFFu) | (TColor32(alpha) << 24));
    renderer.Render(s.Left, s.Right, target);
    i = (i + 1) % strokes.size();
  }
  benchmark::DoNotOptimize(target.Bits());
  state.SetItemsProcessed(int64_t(state.iterations()));
}

// The typical stroke of an "apply to the whole picture" run.
void BM_PolygonStroke_Typical(benchmark::State& state) {
  RenderStrokes(state, 50, 7, 255);
}
// Half-transparent colour: every pixel goes through the general blend.
void BM_PolygonStroke_HalfAlpha(benchmark::State& state) {
  RenderStrokes(state, 50, 7, 128);
}
// Long, wide strokes: pixel blending dominates.
void BM_PolygonStroke_Wide(benchmark::State& state) {
  RenderStrokes(state, 150, 20, 255);
}

}  // namespace

BENCHMARK(BM_PolygonStroke_Typical);
BENCHMARK(BM_PolygonStroke_HalfAlpha);
BENCHMARK(BM_PolygonStroke_Wide);

BENCHMARK_MAIN();
