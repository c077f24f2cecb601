// Rounding helpers. Round is half to even (banker's rounding), as the
// stored formats expect; Trunc truncates toward zero.
#pragma once

#include <cmath>
#include <cstdint>

namespace brellin {

// Round half to even. Relies on the default floating-point rounding mode
// (to nearest, ties to even), which the program never changes; lrint compiles
// to a single conversion instruction.
inline int32_t Round(double x) {
  return static_cast<int32_t>(std::lrint(x));
}
inline int64_t Round64(double x) {
  return static_cast<int64_t>(std::llrint(x));
}
inline int32_t Trunc(double x) {
  return static_cast<int32_t>(x);
}
inline double Frac(double x) {
  return std::fabs(x) < 4.0e18 ? x - double(static_cast<int64_t>(x)) : x - std::trunc(x);
}
inline float FracF(float x) {
  return std::fabs(x) < 2.0e9f ? x - float(static_cast<int32_t>(x)) : x - std::trunc(x);
}
inline int32_t Floor(double x) {
  return static_cast<int32_t>(std::floor(x));
}

// Integer division that truncates toward zero (what C++ '/' already does on
// integers); spelled out where the code would otherwise look suspicious.
constexpr int32_t Div(int32_t a, int32_t b) {
  return a / b;
}

}  // namespace brellin
