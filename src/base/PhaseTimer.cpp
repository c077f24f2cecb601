#include "base/PhaseTimer.h"

#include <cstdio>
#include <cstdlib>

namespace brellin {

bool PhaseTimesWanted() {
  static const bool wanted = std::getenv("BRELLIN_PHASE_TIMES") != nullptr;
  return wanted;
}

TPhaseTimer::TPhaseTimer(const char* Name) : FName(Name) {
  if (PhaseTimesWanted()) FStart = std::chrono::steady_clock::now();
}

TPhaseTimer::~TPhaseTimer() {
  if (!PhaseTimesWanted()) return;
  const std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - FStart;
  std::fprintf(stderr, "phase %-10s %9.1f ms\n", FName, d.count());
}

}  // namespace brellin
