// Wall time of the program's big phases (decoding, analysis, the apply run,
// encoding), written to standard error when the environment variable
// BRELLIN_PHASE_TIMES is set. For profiling; silent and nearly free otherwise.
#pragma once

#include <chrono>

namespace brellin {

bool PhaseTimesWanted();

class TPhaseTimer {
 public:
  explicit TPhaseTimer(const char* Name);
  ~TPhaseTimer();
  TPhaseTimer(const TPhaseTimer&) = delete;
  TPhaseTimer& operator=(const TPhaseTimer&) = delete;

 private:
  const char* FName;
  std::chrono::steady_clock::time_point FStart;
};

}  // namespace brellin
