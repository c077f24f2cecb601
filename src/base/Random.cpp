#include "base/Random.h"

namespace brellin {

namespace {
TRandomState gState;
thread_local TRandomState* tRedirect = nullptr;

inline TRandomState& State() {
  TRandomState* r = tRedirect;
  return r ? *r : gState;
}

inline uint32_t Advance(uint32_t seed) {
  return seed * 134775813u + 1u;
}

inline uint32_t NextSeed() {
  TRandomState& s = State();
  s.Seed = Advance(s.Seed);
  ++s.Draws;
  return s.Seed;
}

inline int32_t Scale(uint32_t seed, int32_t n) {
  return static_cast<int32_t>(
      static_cast<uint32_t>((uint64_t(seed) * static_cast<uint32_t>(n)) >> 32));
}
}  // namespace

uint32_t RandSeed() {
  return State().Seed;
}
void SetRandSeed(uint32_t seed) {
  State().Seed = seed;
}

int32_t Random(int32_t n) {
  return Scale(NextSeed(), n);
}

uint64_t RandomDrawCount() {
  return State().Draws;
}

int32_t PeekRandom(int Ahead, int32_t n) {
  uint32_t seed = State().Seed;
  for (int i = 0; i < Ahead; ++i) seed = Advance(seed);
  return Scale(seed, n);
}

double RandomReal() {
  return static_cast<double>(NextSeed()) / 4294967296.0;
}

TRandomState CurrentRandomState() {
  return State();
}

void SetCurrentRandomState(const TRandomState& s) {
  State() = s;
}

TRandomState RandomStateAfter(TRandomState s, int Count) {
  for (int i = 0; i < Count; ++i) s.Seed = Advance(s.Seed);
  s.Draws += uint64_t(Count > 0 ? Count : 0);
  return s;
}

TRandomRedirect::TRandomRedirect(TRandomState& s) : FPrevious(tRedirect) {
  tRedirect = &s;
}

TRandomRedirect::~TRandomRedirect() {
  tRedirect = FPrevious;
}

}  // namespace brellin
