// A walker on the pixel grid: each Step moves one pixel along x or y so that
// over many steps the path follows a direction byte, and splits 255 units of
// coverage between the pixel reached and its neighbour across the ideal line.
#pragma once

#include <array>
#include <cstdint>

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
  int32_t MaxX() const { return X1 > X2 ? X1 : X2; }
  int32_t MaxY() const { return Y1 > Y2 ? Y1 : Y2; }
  int32_t MinX() const { return X1 < X2 ? X1 : X2; }
  int32_t MinY() const { return Y1 < Y2 ? Y1 : Y2; }

  uint8_t Sector = 0;       // effective direction of the last step
  int32_t Frac = 0;         // Accumulator mod 64, with its sign
  int32_t Accumulator = 0;  // direction error carried between steps
  int32_t X = 0, Y = 0;
  uint8_t Weight1 = 255, Weight2 = 0;  // Weight1 >= Weight2, sum 255
  int32_t X1 = 0, Y1 = 0;              // primary pixel
  int32_t X2 = 0, Y2 = 0;              // secondary pixel
  uint8_t Direction = 0;
};

// The heading that makes a turtle walk from A towards B (0 when A = B).
uint8_t DirectionTo(TPoint A, TPoint B);

// Scale of dx per arctan(dy / dx) = (i - 156) / 100 radians, compensating for
// the walk's slope d / (64 - d) differing from tan(d * 2 pi / 256).
constexpr int TurnCorrectionSize = 314;
extern const std::array<float, TurnCorrectionSize> TurnCorrection;

}  // namespace brellin
