// libFuzzer entry point of the png decoder; the body is in FuzzPng.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzPng(data, size);
}
