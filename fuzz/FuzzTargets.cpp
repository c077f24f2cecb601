#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

namespace brellin::fuzz {

void FuzzFailure(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

}  // namespace brellin::fuzz
