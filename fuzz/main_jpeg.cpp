// libFuzzer entry point of the jpeg decoder; the body is in FuzzJpeg.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzJpeg(data, size);
}
