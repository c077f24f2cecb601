#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace brellin {

namespace {
std::atomic<int> gThreadCount{0};
}

void SetThreadCount(int count) {
  gThreadCount = std::max(0, count);
}

int ThreadCount() {
  const int n = gThreadCount;
  if (n > 0) return n;
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : int(std::min(hw, 64u));
}

void ParallelFor(int first, int last, const std::function<void(int, int)>& body, int minChunk) {
  const int count = last - first;
  if (count <= 0) return;
  const int threads = std::max(1, std::min(ThreadCount(), count / std::max(1, minChunk)));
  if (threads == 1) {
    body(first, last);
    return;
  }
  std::vector<std::thread> workers;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  workers.reserve(size_t(threads - 1));
  auto range = [&](int t) {
    const int b = first + int(int64_t(count) * t / threads);
    const int e = first + int(int64_t(count) * (t + 1) / threads);
    try {
      body(b, e);
    } catch (...) {
      errors[size_t(t)] = std::current_exception();
    }
  };
  for (int t = 1; t < threads; ++t) workers.emplace_back(range, t);
  range(0);
  for (auto& w : workers) w.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace brellin
