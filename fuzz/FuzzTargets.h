// Bodies of the libFuzzer targets, one per file reader. They live apart
// from the LLVMFuzzerTestOneInput entry points so that the test suite can
// replay the seeds and past crashes without a fuzzing compiler. Each returns
// 0; an input the decoder rejects is an expected outcome, anything else
// escaping (another exception, a broken invariant) is a finding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brellin::fuzz {

int FuzzBmp(const uint8_t* data, size_t size);
int FuzzJpeg(const uint8_t* data, size_t size);
int FuzzPng(const uint8_t* data, size_t size);
int FuzzTiff(const uint8_t* data, size_t size);
int FuzzStyle(const uint8_t* data, size_t size);
int FuzzBrush(const uint8_t* data, size_t size);
int FuzzPattern(const uint8_t* data, size_t size);
int FuzzProject(const uint8_t* data, size_t size);
int FuzzStrokes(const uint8_t* data, size_t size);
int FuzzJournal(const uint8_t* data, size_t size);

// Reports a broken invariant and aborts, so that libFuzzer records the input.
[[noreturn]] void FuzzFailure(const char* what);

}  // namespace brellin::fuzz
