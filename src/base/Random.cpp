#include "base/Random.h"

namespace brellin {

namespace {
uint32_t gSeed = 0;

inline uint32_t NextSeed() {
  gSeed = gSeed * 134775813u + 1u;
  return gSeed;
}
}  // namespace

uint32_t RandSeed() { return gSeed; }
void SetRandSeed(uint32_t seed) { gSeed = seed; }

int32_t Random(int32_t n) {
  const uint64_t s = NextSeed();
  return static_cast<int32_t>(static_cast<uint32_t>((s * static_cast<uint32_t>(n)) >> 32));
}

double RandomReal() { return static_cast<double>(NextSeed()) / 4294967296.0; }

}  // namespace brellin
