#include "synthesis/Turtle.h"

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <numbers>

#include "base/Rounding.h"

namespace brellin {

namespace {

// Measured corrections at the angles where the walk is most sensitive, as
// (index, value); the other entries are filled from the walk model.
struct TCorrectionRow {
  int Index;
  double Value;
};
constexpr TCorrectionRow CorrectionRows[] = {
    {0, 1.463},   {1, 1.497},   {10, 1.419},  {20, 1.325},  {40, 1.184},  {60, 1.078},
    {80, 0.991},  {100, 0.908}, {120, 0.825}, {140, 0.737}, {150, 0.699}, {154, 0.730},
    {155, 0.809}, {156, 1.000}, {157, 0.853}, {158, 0.741}, {161, 0.699}, {170, 0.728},
    {190, 0.816}, {210, 0.899}, {230, 0.982}, {235, 1.000}, {250, 1.067}, {270, 1.171},
    {290, 1.307}, {300, 1.398}, {311, 1.502}, {313, 0.839}};

// The correction the walk model asks for at entry i: a heading d walks at
// slope d / (64 - d), so slope s needs d = 64 s / (1 + s), which DirectionTo
// (255 units per turn) produces from the angle d * 2 pi / 255; dx must be
// scaled by s / tan of that angle.
double ModelCorrection(int i) {
  const double s = std::tan(std::fabs(i - 156) / 100.0);
  if (s == 0.0) return 255.0 / (128.0 * std::numbers::pi);
  const double d = 64.0 * s / (1.0 + s);
  return s / std::tan(d * 2.0 * std::numbers::pi / 255.0);
}

std::array<float, TurnCorrectionSize> BuildTurnCorrection() {
  std::array<float, TurnCorrectionSize> table{};
  constexpr int rowCount = int(std::size(CorrectionRows));
  for (int k = 0; k + 1 < rowCount; ++k) {
    const TCorrectionRow a = CorrectionRows[k], b = CorrectionRows[k + 1];
    // Near the vertical the model fails (64 units of 255 pass a quarter
    // turn); the rows are close enough there to interpolate plainly.
    const bool useModel = std::abs(a.Index - 156) <= 140 && std::abs(b.Index - 156) <= 140;
    const double ra = useModel ? a.Value / ModelCorrection(a.Index) : a.Value;
    const double rb = useModel ? b.Value / ModelCorrection(b.Index) : b.Value;
    for (int i = a.Index; i <= b.Index; ++i) {
      const double f = double(i - a.Index) / double(b.Index - a.Index);
      double v = ra + (rb - ra) * f;
      if (useModel) v *= ModelCorrection(i);
      table[i] = float(std::lrint(v * 1000.0) / 1000.0);  // three decimals, like the rows
    }
  }
  return table;
}

}  // namespace

const std::array<float, TurnCorrectionSize> TurnCorrection = BuildTurnCorrection();

void TTurtle::SetPosition(TPoint P) {
  X = P.X;
  Y = P.Y;
  Accumulator = 0;
  Weight1 = 255;
  Weight2 = 0;
  X1 = X2 = P.X;
  Y1 = Y2 = P.Y;
}

uint8_t ComputeDirection(int64_t DX, int64_t DY) {
  float dx = float(DX);
  const float dy = float(DY);
  if (dx != 0.0f) {
    const float t = float(std::atan(double(dy) / double(dx)));
    int i = Round(double(t) * 100.0) + 156;
    if (i < 0) i = 0;  // arctan just above -pi/2 rounds to -1
    if (i >= TurnCorrectionSize) i = TurnCorrectionSize - 1;
    dx = float(double(dx) * double(TurnCorrection[i]));
  }
  // A zero dy gives -0 here, so that B straight to the left yields -pi and 128.
  const double a =
      (std::atan2(-double(dy), double(dx)) + std::numbers::pi) / (2.0 * std::numbers::pi) * 255.0;
  return uint8_t(Round(a) + 128);
}

namespace {

// The headings of short moves, computed once: outlines and brush paths ask
// for millions of them, nearly all between points a few pixels apart.
constexpr int ShortMove = 32;

struct TShortMoveHeadings {
  uint8_t Heading[2 * ShortMove + 1][2 * ShortMove + 1];
  TShortMoveHeadings() {
    for (int dy = -ShortMove; dy <= ShortMove; ++dy)
      for (int dx = -ShortMove; dx <= ShortMove; ++dx)
        Heading[dy + ShortMove][dx + ShortMove] = ComputeDirection(dx, dy);
  }
};

}  // namespace

uint8_t DirectionTo(TPoint A, TPoint B) {
  const int64_t dx = int64_t(B.X) - A.X, dy = int64_t(B.Y) - A.Y;
  if (dx >= -ShortMove && dx <= ShortMove && dy >= -ShortMove && dy <= ShortMove) {
    static const TShortMoveHeadings table;
    return table.Heading[dy + ShortMove][dx + ShortMove];
  }
  return ComputeDirection(dx, dy);
}

}  // namespace brellin
