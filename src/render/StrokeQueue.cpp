#include "render/StrokeQueue.h"

#include <pthread.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <chrono>
#include <cstdint>

#include "render/StrokeRenderer.h"

namespace brellin {

TStrokeQueue::TStrokeQueue(TBitmap32& Target, std::function<bool()> Idle)
    : FTarget(Target), FIdle(std::move(Idle)), FFilling(NewBatch()) {
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

std::unique_ptr<TStrokeQueue::TBatch> TStrokeQueue::NewBatch() {
  auto batch = std::make_unique<TBatch>();
  batch->Jobs.resize(BatchSize);
  return batch;
}

void TStrokeQueue::Push(TAbstractStrokeRenderer* Brush, TColor32 Color, uint8_t Alpha,
                        uint16_t ReliefParams, const TArrayOfFixedPoint& LeftSide,
                        const TArrayOfFixedPoint& RightSide) {
  TJob& job = FFilling->Jobs[FFilling->Count];
  job.Brush = Brush;
  job.Color = Color;
  job.Alpha = Alpha;
  job.ReliefParams = ReliefParams;
  job.Left.assign(LeftSide.begin(), LeftSide.end());
  job.Right.assign(RightSide.begin(), RightSide.end());
  if (++FFilling->Count >= BatchSize) Hand(false);
}

void TStrokeQueue::Hand(bool Last) {
  std::unique_lock<std::mutex> lock(FMutex);
  FRoom.wait(lock, [this] { return FPending.size() < MaxPendingBatches || FError; });
  if (FError && !Last) std::rethrow_exception(FError);
  if (FFilling->Count > 0) {
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
    FFilling = NewBatch();
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

void TStrokeQueue::Sync() {
  if (!FThread.joinable()) return;
  if (FFilling->Count > 0) Hand(false);
  std::unique_lock<std::mutex> lock(FMutex);
  const uint64_t handed = FHanded.load(std::memory_order_acquire);
  FPaintedAll.wait(lock, [&] { return FPainted >= handed || FError; });
  if (FError) std::rethrow_exception(FError);
}

void TStrokeQueue::AwaitHand(uint64_t Taken) const {
  // Going to sleep and being woken costs both threads system calls, and on
  // a virtual machine the waking can take longer than a batch takes to
  // paint: the next batch is first awaited awake for a while.
  // Work found meanwhile keeps the thread awake for another while.
  auto until = std::chrono::steady_clock::now() + SpinTime;
  for (int i = 1; FHanded.load(std::memory_order_acquire) == Taken; ++i) {
    if (FIdle && FIdle()) {
      until = std::chrono::steady_clock::now() + SpinTime;
      continue;
    }
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
        for (size_t i = 0; i < batch->Count; ++i) {
          const TJob& j = batch->Jobs[i];
          j.Brush->RenderStroke(j.Color, j.Alpha, j.ReliefParams, j.Left, j.Right, FTarget);
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(FMutex);
        FError = std::current_exception();
        FRoom.notify_all();
        FPaintedAll.notify_all();
      }
    }
    batch->Count = 0;  // the sides keep their storage for the next use
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FSpare.push_back(std::move(batch));
      ++FPainted;
    }
    FPaintedAll.notify_all();
  }
}

}  // namespace brellin
