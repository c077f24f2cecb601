// libFuzzer entry point of the stroke-block reader; the body is in FuzzStrokes.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzStrokes(data, size);
}
