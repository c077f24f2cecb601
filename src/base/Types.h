// Basic value types shared by every part of the program.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace brellin {

// One pixel: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7.
using TColor32 = uint32_t;

constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
constexpr uint8_t AlphaComponent(TColor32 c) {
  return uint8_t(c >> 24);
}
constexpr uint8_t RedComponent(TColor32 c) {
  return uint8_t(c >> 16);
}
constexpr uint8_t GreenComponent(TColor32 c) {
  return uint8_t(c >> 8);
}
constexpr uint8_t BlueComponent(TColor32 c) {
  return uint8_t(c);
}

constexpr TColor32 clBlack32 = 0xFF000000u;
constexpr TColor32 clWhite32 = 0xFFFFFFFFu;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// One cubic curve: P0 start, P1 and P2 controls, P3 end. Stored as eight
// little-endian 32-bit integers (32 bytes).
struct TBezierSegment {
  TPoint P0, P1, P2, P3;
  friend bool operator==(const TBezierSegment&, const TBezierSegment&) = default;
};
static_assert(sizeof(TBezierSegment) == 32);

// The empty rectangle: a union with it changes nothing.
constexpr TRect EmptyRect{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                          std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()};

inline bool IsEmptyRect(const TRect& r) {
  return r.Right <= r.Left || r.Bottom <= r.Top;
}

// 16.16 fixed point: value x 65536 in a signed 32-bit integer.
using TFixed = int32_t;
constexpr TFixed FixedOne = 65536;

struct TFixedPoint {
  TFixed X = 0;
  TFixed Y = 0;
  friend bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};
using TArrayOfFixedPoint = std::vector<TFixedPoint>;

constexpr TFixed Fixed(int32_t v) {
  return TFixed(uint32_t(v) << 16);
}
inline TFixed FloatToFixed(double v) {
  return TFixed(v * 65536.0);
}
constexpr double FixedToFloat(TFixed f) {
  return double(f) / 65536.0;
}
inline TFixedPoint FixedPoint(int32_t x, int32_t y) {
  return {Fixed(x), Fixed(y)};
}

}  // namespace brellin
