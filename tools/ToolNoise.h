// A small deterministic noise source for the data generators, so the
// shipped files come out the same on every machine.
#pragma once

#include <cstdint>

struct TNoise {
  uint32_t State;
  explicit TNoise(uint32_t seed) : State(seed) {}
  double Next() {  // 0..1
    State = State * 1664525u + 1013904223u;
    return double(State >> 8) / double(1u << 24);
  }
  double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }
};
