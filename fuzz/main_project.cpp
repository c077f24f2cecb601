// libFuzzer entry point of the project reader; the body is in FuzzProject.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzProject(data, size);
}
