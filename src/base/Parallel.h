// Row-parallel loops for filters whose rows are independent. Results never
// depend on the number of threads: each row is computed the same way.
#pragma once

#include <functional>

namespace brellin {

// Worker threads used by ParallelFor; 0 means one per hardware core.
void SetThreadCount(int count);
int ThreadCount();

// Calls body(begin, end) on disjoint ranges covering [first, last), spread
// over the worker threads; ranges are at least minChunk long.
void ParallelFor(int first, int last, const std::function<void(int, int)>& body, int minChunk = 16);

}  // namespace brellin
