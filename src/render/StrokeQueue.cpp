#include "render/StrokeQueue.h"

#include "render/StrokeRenderer.h"

namespace brellin {

TStrokeQueue::TStrokeQueue(TBitmap32& Target)
    : FTarget(Target), FFilling(std::make_unique<TBatch>()) {
  FFilling->reserve(BatchSize);
  FThread = std::thread([this] { Paint(); });
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
  if (!FFilling->empty()) FPending.push_back(std::move(FFilling));
  if (Last) {
    FClosed = true;
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

void TStrokeQueue::Paint() {
  for (;;) {
    std::unique_ptr<TBatch> batch;
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FWake.wait(lock, [this] { return !FPending.empty() || FClosed; });
      if (FPending.empty()) return;
      batch = std::move(FPending.front());
      FPending.pop_front();
    }
    FRoom.notify_one();
    bool failed;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      failed = bool(FError);
    }
    if (!failed) {
      try {
        for (TJob& j : *batch) {
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
