// libFuzzer entry point of the style reader; the body is in FuzzStyle.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzStyle(data, size);
}
