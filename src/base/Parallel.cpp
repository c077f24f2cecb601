#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace brellin {

namespace {

std::atomic<int> gThreadCount{0};

// Worker threads that stay alive between loops: starting threads for every
// filter pass costs more than a pass over a small picture.
class TWorkerPool {
 public:
  ~TWorkerPool() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    for (auto& t : FThreads) t.join();
  }

  // Runs job(t) for t = 1..count-1 on workers and job(0) here; returns when all are done.
  void Run(int count, const std::function<void(int)>& job) {
    std::lock_guard<std::mutex> runLock(FRunMutex);  // one loop at a time
    {
      std::unique_lock<std::mutex> lock(FMutex);
      while (int(FThreads.size()) < count - 1) {
        const int index = int(FThreads.size()) + 1;
        FThreads.emplace_back([this, index] { WorkerLoop(index); });
      }
      FJob = &job;
      FParticipants = count;
      FPending = count - 1;
      ++FGeneration;
    }
    FWake.notify_all();
    job(0);
    std::unique_lock<std::mutex> lock(FMutex);
    FDone.wait(lock, [this] { return FPending == 0; });
    FJob = nullptr;
  }

 private:
  void WorkerLoop(int index) {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* job;
      {
        std::unique_lock<std::mutex> lock(FMutex);
        FWake.wait(lock, [&] { return FStop || FGeneration != seen; });
        if (FStop) return;
        seen = FGeneration;
        if (index >= FParticipants) continue;
        job = FJob;
      }
      (*job)(index);
      {
        std::lock_guard<std::mutex> lock(FMutex);
        if (--FPending == 0) FDone.notify_one();
      }
    }
  }

  std::mutex FRunMutex, FMutex;
  std::condition_variable FWake, FDone;
  std::vector<std::thread> FThreads;
  const std::function<void(int)>* FJob = nullptr;
  int FParticipants = 0, FPending = 0;
  uint64_t FGeneration = 0;
  bool FStop = false;
};

TWorkerPool& Pool() {
  static TWorkerPool pool;
  return pool;
}

thread_local bool tInsideLoop = false;

}  // namespace

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
  int threads = std::max(1, std::min(ThreadCount(), count / std::max(1, minChunk)));
  if (tInsideLoop) threads = 1;  // a loop inside a loop runs on its caller's thread
  if (threads == 1) {
    body(first, last);
    return;
  }
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  Pool().Run(threads, [&](int t) {
    const int b = first + int(int64_t(count) * t / threads);
    const int e = first + int(int64_t(count) * (t + 1) / threads);
    const bool outer = tInsideLoop;
    tInsideLoop = true;
    try {
      body(b, e);
    } catch (...) {
      errors[size_t(t)] = std::current_exception();
    }
    tInsideLoop = outer;
  });
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace brellin
