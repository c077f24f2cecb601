// libFuzzer entry point of the tiff decoder; the body is in FuzzTiff.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzTiff(data, size);
}
