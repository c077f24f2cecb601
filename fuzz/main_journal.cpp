// libFuzzer entry point of the recovery journal reader; the body is in FuzzJournal.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return brellin::fuzz::FuzzJournal(data, size);
}
