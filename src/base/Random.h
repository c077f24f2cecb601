// The program's single pseudo-random generator. The seed starts at 0 and is
// never reseeded by the program itself; every draw first advances the seed
// (seed := seed * 134775813 + 1) and then uses the new value. Random(0) is a
// draw too: it returns 0 and advances the seed.
#pragma once

#include <cstdint>

namespace brellin {

uint32_t RandSeed();
void SetRandSeed(uint32_t seed);

// A value in 0..n-1: the high 32 bits of seed * n (n taken as unsigned).
int32_t Random(int32_t n);
// A real value in [0, 1): seed / 2^32.
double RandomReal();

// How many draws were made so far (SetRandSeed does not reset it).
uint64_t RandomDrawCount();
// What Random(n) will give on the Ahead-th draw from now (Ahead >= 1),
// without drawing.
int32_t PeekRandom(int Ahead, int32_t n);

// The generator's whole state: the seed and the number of draws so far.
struct TRandomState {
  uint32_t Seed = 0;
  uint64_t Draws = 0;
  bool operator==(const TRandomState&) const = default;
};
TRandomState CurrentRandomState();
void SetCurrentRandomState(const TRandomState& State);
// The state Count draws after State.
TRandomState RandomStateAfter(TRandomState State, int Count);

// While it lives, the calling thread draws from State instead of the
// program's generator (every function above works on State). Work done
// ahead of time on another thread, from a copy of a state the generator
// will reach, draws exactly what it would have drawn.
class TRandomRedirect {
 public:
  explicit TRandomRedirect(TRandomState& State);
  ~TRandomRedirect();
  TRandomRedirect(const TRandomRedirect&) = delete;
  TRandomRedirect& operator=(const TRandomRedirect&) = delete;

 private:
  TRandomState* FPrevious;
};

}  // namespace brellin
