// A walker on the pixel grid: each Step moves one pixel along x or y so that
// over many steps the path follows a direction byte, and splits 255 units of
// coverage between the pixel reached and its neighbour across the ideal line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Types.h"

namespace brellin {

// A position with sub-pixel precision.
struct TFloatPoint {
  float X = 0.0f;
  float Y = 0.0f;
  friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

// Direction bytes: 256 units per turn, counter-clockwise on the screen
// (0 right, 64 up, 128 left, 192 down); byte arithmetic wraps.
class TTurtle {
 public:
  explicit TTurtle(TPoint P, uint8_t Dir = 0) : Direction(Dir) { SetPosition(P); }

  void SetPosition(TPoint P);
  TPoint GetPosition() const { return {X, Y}; }
  // Restarts the pattern; assigning Direction directly keeps the accumulator.
  void SetDirection(uint8_t D) {
    Direction = D;
    Accumulator = 0;
  }
  void Step();
  // Coverage-weighted position of the primary and secondary pixel.
  TFloatPoint GetPositionF() const;
  // The same for a turtle whose pixels lie within 2^16 of the origin.
  TFloatPoint GetPositionNearF() const;
  int32_t MaxX() const { return X1 > X2 ? X1 : X2; }
  int32_t MaxY() const { return Y1 > Y2 ? Y1 : Y2; }
  int32_t MinX() const { return X1 < X2 ? X1 : X2; }
  int32_t MinY() const { return Y1 < Y2 ? Y1 : Y2; }

  uint8_t Sector = 0;       // effective direction of the last step
  int32_t Accumulator = 0;  // direction error carried between steps
  int32_t X = 0, Y = 0;
  uint8_t Weight1 = 255, Weight2 = 0;  // Weight1 >= Weight2, sum 255
  int32_t X1 = 0, Y1 = 0;              // primary pixel
  int32_t X2 = 0, Y2 = 0;              // secondary pixel
  uint8_t Direction = 0;
};

// Inline: the brushes and the sampler step turtles millions of times.
inline void TTurtle::Step() {
  // Only the low byte of the accumulator steers, so it is kept modulo 2^32:
  // a long walk at a heading like 250 adds 250 per step and would otherwise
  // overflow; the low byte and the remainder mod 64 are unaffected.
  const auto add = [this](int delta) {
    Accumulator = int32_t(uint32_t(Accumulator) + uint32_t(delta));
  };
  const uint8_t b = uint8_t(Direction + uint8_t(Accumulator));
  Sector = b;
  const int d = Direction;
  int sx, sy;  // secondary pixel
  if (b >= 32 && b < 96) {
    --Y;
    add(d - 64);
    sx = b >= 64 ? X - 1 : X + 1;
    sy = Y;
  } else if (b >= 96 && b < 160) {
    --X;
    add(d - 128);
    sx = X;
    sy = b >= 128 ? Y + 1 : Y - 1;
  } else if (b >= 160 && b < 224) {
    ++Y;
    add(d - 192);
    sx = b >= 192 ? X + 1 : X - 1;
    sy = Y;
  } else {
    ++X;
    add(d);
    sx = X;
    sy = b >= 224 ? Y + 1 : Y - 1;
  }
  // Four times the accumulator's remainder mod 64 (with its sign), as a
  // byte: the same byte as four times the accumulator.
  const uint8_t w = uint8_t(uint32_t(Accumulator) * 4u);
  Weight1 = w > 255 - w ? w : uint8_t(255 - w);
  Weight2 = uint8_t(255 - Weight1);
  X1 = X;
  Y1 = Y;
  X2 = sx;
  Y2 = sy;
}

// float(double(N) / 255.0), the position's rounding, by a multiplication
// where that gives the same float: for |N| < 2^24 the quotient lies at
// least 2^-33 of its size away from any point halfway between two floats
// (N / 255 repeats its binary digits every eight places and never ends
// unless it is a whole number), while the product with the rounded 1/255
// is off by at most 2^-52 of it, so both round to the same float (tested
// for every such N).
inline float DivideBy255(int64_t N) {
  if (N > -(int64_t(1) << 24) && N < (int64_t(1) << 24)) return float(double(N) * (1.0 / 255.0));
  return float(double(N) / 255.0);
}

inline TFloatPoint TTurtle::GetPositionNearF() const {
  return {float(double(int32_t(Weight1) * X1 + int32_t(Weight2) * X2) * (1.0 / 255.0)),
          float(double(int32_t(Weight1) * Y1 + int32_t(Weight2) * Y2) * (1.0 / 255.0))};
}

inline TFloatPoint TTurtle::GetPositionF() const {
  return {DivideBy255(int64_t(Weight1) * X1 + int64_t(Weight2) * X2),
          DivideBy255(int64_t(Weight1) * Y1 + int64_t(Weight2) * Y2)};
}

// The heading for the move (DX, DY), always computed (DirectionTo looks
// short moves up in a table made by this).
uint8_t ComputeDirection(int64_t DX, int64_t DY);

// The headings of short moves, computed on first use: outlines and brush
// paths ask for millions of them, nearly all between points a few pixels
// apart.
struct TShortMoveHeadings {
  static constexpr int Reach = 32;
  uint8_t Heading[2 * Reach + 1][2 * Reach + 1];
  TShortMoveHeadings();
};
inline const TShortMoveHeadings& ShortMoveHeadings() {
  static const TShortMoveHeadings table;
  return table;
}

// The heading that makes a turtle walk from A towards B (0 when A = B).
inline uint8_t DirectionTo(TPoint A, TPoint B) {
  constexpr int r = TShortMoveHeadings::Reach;
  const int64_t dx = int64_t(B.X) - A.X, dy = int64_t(B.Y) - A.Y;
  if (uint64_t(dx + r) <= uint64_t(2 * r) && uint64_t(dy + r) <= uint64_t(2 * r))
    return ShortMoveHeadings().Heading[dy + r][dx + r];
  return ComputeDirection(dx, dy);
}

// Headings along a chain of at most 32 points: a move of d = |dx| + |dy| > 0
// steps from one point to the next gives d copies of its heading, appended
// to Codes in order until Codes holds Limit codes. A move from a point
// equal to *NoMoveFrom (when given) is passed over.
void AppendChainHeadings(const TPoint* Points, int Count, std::vector<uint8_t>& Codes, size_t Limit,
                         const TPoint* NoMoveFrom = nullptr);

// Scale of dx per arctan(dy / dx) = (i - 156) / 100 radians, compensating for
// the walk's slope d / (64 - d) differing from tan(d * 2 pi / 256).
constexpr int TurnCorrectionSize = 314;
extern const std::array<float, TurnCorrectionSize> TurnCorrection;

}  // namespace brellin
