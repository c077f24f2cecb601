// libFuzzer entry point of the bmp decoder; the body is in FuzzBmp.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzBmp(data, size);
}
