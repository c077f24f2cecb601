#include "base/Random.h"

namespace brellin {

namespace {
uint32_t gSeed = 0;
uint64_t gDraws = 0;

inline uint32_t Advance(uint32_t seed) {
  return seed * 134775813u + 1u;
}

inline uint32_t NextSeed() {
  gSeed = Advance(gSeed);
  ++gDraws;
  return gSeed;
}

inline int32_t Scale(uint32_t seed, int32_t n) {
  return static_cast<int32_t>(
      static_cast<uint32_t>((uint64_t(seed) * static_cast<uint32_t>(n)) >> 32));
}
}  // namespace

uint32_t RandSeed() {
  return gSeed;
}
void SetRandSeed(uint32_t seed) {
  gSeed = seed;
}

int32_t Random(int32_t n) {
  return Scale(NextSeed(), n);
}

uint64_t RandomDrawCount() {
  return gDraws;
}

int32_t PeekRandom(int Ahead, int32_t n) {
  uint32_t seed = gSeed;
  for (int i = 0; i < Ahead; ++i) seed = Advance(seed);
  return Scale(seed, n);
}

double RandomReal() {
  return static_cast<double>(NextSeed()) / 4294967296.0;
}

}  // namespace brellin
