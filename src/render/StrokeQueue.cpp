#include "render/StrokeQueue.h"

#include <pthread.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "render/StrokeRenderer.h"

namespace brellin {

TStrokeQueue::TStrokeQueue(TBitmap32& Target)
    : FTarget(Target), FFilling(std::make_unique<TBatch>()) {
  FFilling->reserve(BatchSize);
  FThread = std::thread([this] { Paint(); });
#ifdef __linux__
  // Named for profilers and debuggers.
  pthread_setname_np(FThread.native_handle(), "brellin-paint");
#endif
}

TStrokeQueue::~TStrokeQueue() {
  try {
    Finish();
  } catch (...) {
    // The caller is leaving by another exception already.
  }
}

void TStrokeQueue::Push(TAbstractStrokeRenderer* Brush, TColor32 Color, uint8_t Alpha,
                        uint16_t ReliefParams, TArrayOfFixedPoint& LeftSide,
                        TArrayOfFixedPoint& RightSide) {
  FFilling->push_back(
      {Brush, Color, Alpha, ReliefParams, std::move(LeftSide), std::move(RightSide)});
  LeftSide.clear();
  RightSide.clear();
  if (FFilling->size() >= BatchSize) Hand(false);
}

void TStrokeQueue::Hand(bool Last) {
  std::unique_lock<std::mutex> lock(FMutex);
  FRoom.wait(lock, [this] { return FPending.size() < MaxPendingBatches || FError; });
  if (FError && !Last) std::rethrow_exception(FError);
  if (!FFilling->empty()) {
    FPending.push_back(std::move(FFilling));
    FHanded.fetch_add(1, std::memory_order_release);
  }
  if (Last) {
    FClosed = true;
    FHanded.fetch_add(1, std::memory_order_release);
  } else if (!FSpare.empty()) {
    FFilling = std::move(FSpare.back());
    FSpare.pop_back();
  } else {
    FFilling = std::make_unique<TBatch>();
    FFilling->reserve(BatchSize);
  }
  lock.unlock();
  FWake.notify_one();
}

void TStrokeQueue::Finish() {
  if (!FThread.joinable()) return;
  Hand(true);
  FThread.join();
  if (FError) std::rethrow_exception(FError);
}

void TStrokeQueue::PrefetchStrokeArea(const TJob& Job) const {
  if (Job.Left.empty() || Job.Right.empty()) return;
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const TArrayOfFixedPoint* side : {&Job.Left, &Job.Right})
    for (const TFixedPoint& p : *side) {
      left = std::min<int64_t>(left, p.X), right = std::max<int64_t>(right, p.X);
      top = std::min<int64_t>(top, p.Y), bottom = std::max<int64_t>(bottom, p.Y);
    }
  // Brushes paint a little around their sides; a guess that misses only costs time.
  constexpr int64_t margin = 2;
  const int64_t x0 = std::max<int64_t>((left >> 16) - margin, 0);
  const int64_t x1 = std::min<int64_t>((right >> 16) + margin + 1, FTarget.Width());
  const int64_t y0 = std::max<int64_t>((top >> 16) - margin, 0);
  const int64_t y1 = std::min<int64_t>((bottom >> 16) + margin + 1, FTarget.Height());
  // A huge stroke is not worth guessing about.
  if (x0 >= x1 || y0 >= y1 || (x1 - x0) * (y1 - y0) > MaxPrefetchPixels) return;
  for (int64_t y = y0; y < y1; ++y) {
    const char* row = reinterpret_cast<const char*>(FTarget.ScanLine(int(y)) + x0);
    const int64_t bytes = (x1 - x0) * int64_t(sizeof(TColor32));
    for (int64_t b = 0; b < bytes; b += 64) __builtin_prefetch(row + b, 1, 3);
    __builtin_prefetch(row + bytes - 1, 1, 3);
  }
}

void TStrokeQueue::AwaitHand(uint64_t Taken) const {
  // Going to sleep and being woken costs both threads system calls, and on
  // a virtual machine the waking can take longer than a batch takes to
  // paint: the next batch is first awaited awake for a while.
  const auto until = std::chrono::steady_clock::now() + SpinTime;
  for (int i = 1; FHanded.load(std::memory_order_acquire) == Taken; ++i) {
#if defined(__SSE2__)
    _mm_pause();
#endif
    if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
  }
}

void TStrokeQueue::Paint() {
  uint64_t taken = 0;  // batches taken so far
  for (;;) {
    std::unique_ptr<TBatch> batch;
    AwaitHand(taken);
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FWake.wait(lock, [this] { return !FPending.empty() || FClosed; });
      if (FPending.empty()) return;
      batch = std::move(FPending.front());
      FPending.pop_front();
      ++taken;
    }
    FRoom.notify_one();
    bool failed;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      failed = bool(FError);
    }
    if (!failed) {
      try {
        TBatch& jobs = *batch;
        if (!jobs.empty()) PrefetchStrokeArea(jobs[0]);
        for (size_t i = 0; i < jobs.size(); ++i) {
          // The next stroke's part of the picture is asked for while this one is painted.
          if (i + 1 < jobs.size()) PrefetchStrokeArea(jobs[i + 1]);
          TJob& j = jobs[i];
          j.Brush->RenderStroke(j.Color, j.Alpha, j.ReliefParams, j.Left, j.Right, FTarget);
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(FMutex);
        FError = std::current_exception();
        FRoom.notify_all();
      }
    }
    batch->clear();  // keeps the capacity; the sides' storage goes
    std::lock_guard<std::mutex> lock(FMutex);
    FSpare.push_back(std::move(batch));
  }
}

}  // namespace brellin
