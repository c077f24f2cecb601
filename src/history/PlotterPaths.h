// Lines for a pen plotter: the centre line of each recorded stroke, the
// recorded colours quantised to a few pens, and an order of the lines that
// keeps the pen's travel in the air short.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Types.h"

namespace brellin {

struct TPlotPoint {
  float X = 0, Y = 0;
};
using TPlotLine = std::vector<TPlotPoint>;

// The midpoints of the two sides, paired by their position along each side
// (sides of different lengths are interpolated). One empty side gives the
// other side itself; both empty give an empty line. In pixels.
void StrokeCenterLine(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                      TPlotLine& Out);

// The parts of Line inside 0..Width x 0..Height, appended to Out: strokes
// may reach past the picture, a pen must not leave the sheet.
void ClipLine(const TPlotLine& Line, float Width, float Height, std::vector<TPlotLine>& Out);

// Drops points while the line stays within Tolerance of the original
// (Douglas-Peucker); the ends are always kept.
void SimplifyLine(TPlotLine& Line, float Tolerance);

double LineLength(const TPlotLine& Line);

// Colours quantised to at most PenCount pens by weighted k-means in CIELAB,
// seeded with k-means++ from a generator of its own started at Seed, so the
// same colours give the same pens every time. Fewer distinct colours than
// pens: every colour is a pen. PenOf[i] is the pen of Colors[i].
struct TPenSet {
  std::vector<TColor32> Pens;  // opaque RGB
  std::vector<int> PenOf;
};
TPenSet QuantizeColors(const std::vector<TColor32>& Colors, const std::vector<int64_t>& Weights,
                       int PenCount, uint32_t Seed);

// CIELAB lightness (0..100) of an RGB colour.
double ColorLightness(TColor32 Color);

// The distance the raised pen moves: from Start to the first line's start,
// then from each line's end to the next line's start.
double PenUpTravel(const std::vector<TPlotLine>& Lines, TPlotPoint Start);

// Greedy nearest neighbour from Start: the next line is the one with an end
// nearest the pen, reversed when that end is its last point. Ties go to the
// earlier line. Uses a grid of the line ends, so large sets stay fast.
void OrderLines(std::vector<TPlotLine>& Lines, TPlotPoint Start);

// Each line whose start, or else whose end, lies within Tolerance of the
// previous line's end becomes part of that line (turned round when it meets
// it with its end), so the pen stays down across the gap. Lines without
// points are dropped. Tolerance 0 joins only ends that coincide.
void JoinLines(std::vector<TPlotLine>& Lines, double Tolerance);

}  // namespace brellin
