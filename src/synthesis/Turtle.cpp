#include "synthesis/Turtle.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numbers>
#include <stdexcept>

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

void AppendChainHeadings(const TPoint* Points, int Count, std::vector<uint8_t>& Codes, size_t Limit,
                         const TPoint* NoMoveFrom) {
  constexpr int maxPoints = 32;
  if (Count > maxPoints) throw std::invalid_argument("AppendChainHeadings: too many points");
  // Moves are mostly a step or a few: the runs are written 16 bytes at a
  // time into a buffer here, each from its start, the excess overwritten
  // by the next run, and appended at once. The limit then keeps the first
  // codes, as cutting move by move would. A chain too long for the buffer
  // is measured first and written into Codes.
  constexpr size_t room = 1024;
  uint8_t buffer[room + 16];
  size_t length = 0;
  int i = 1;
  for (; i < Count; ++i) {
    const TPoint a = Points[i - 1], b = Points[i];
    if (NoMoveFrom != nullptr && a.X == NoMoveFrom->X && a.Y == NoMoveFrom->Y) continue;
    const int64_t dx = int64_t(b.X) - a.X, dy = int64_t(b.Y) - a.Y;
    const uint64_t d = uint64_t(std::llabs(dx) + std::llabs(dy));
    if (d > room - length) break;
    const uint64_t run = 0x0101010101010101u * DirectionTo(a, b);
    size_t k = 0;
    do {
      std::memcpy(buffer + length + k, &run, 8);
      std::memcpy(buffer + length + k + 8, &run, 8);
      k += 16;
    } while (k < d);
    length += size_t(d);
  }
  const size_t at = Codes.size();
  if (i == Count || Count <= 1) {
    const size_t n = at >= Limit ? 0 : std::min(length, Limit - at);
    Codes.insert(Codes.end(), buffer, buffer + n);
    return;
  }
  size_t lengths[maxPoints];
  size_t total = at;
  for (i = 1; i < Count; ++i) {
    const TPoint a = Points[i - 1], b = Points[i];
    const uint64_t d = uint64_t(std::llabs(int64_t(b.X) - a.X) + std::llabs(int64_t(b.Y) - a.Y));
    const bool passed = NoMoveFrom != nullptr && a.X == NoMoveFrom->X && a.Y == NoMoveFrom->Y;
    lengths[i] = passed || total >= Limit ? 0 : size_t(std::min<uint64_t>(d, Limit - total));
    total += lengths[i];
  }
  Codes.resize(total);
  size_t k = at;
  for (i = 1; i < Count; ++i) {
    if (lengths[i] == 0) continue;
    std::memset(Codes.data() + k, DirectionTo(Points[i - 1], Points[i]), lengths[i]);
    k += lengths[i];
  }
}

TShortMoveHeadings::TShortMoveHeadings() {
  for (int dy = -Reach; dy <= Reach; ++dy)
    for (int dx = -Reach; dx <= Reach; ++dx)
      Heading[dy + Reach][dx + Reach] = ComputeDirection(dx, dy);
}

}  // namespace brellin
