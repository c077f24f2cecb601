// libFuzzer entry point of the pattern reader; the body is in FuzzPattern.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzPattern(data, size);
}
