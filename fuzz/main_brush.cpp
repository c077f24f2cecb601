// libFuzzer entry point of the brush reader; the body is in FuzzBrush.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzBrush(data, size);
}
