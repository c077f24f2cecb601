// Painting strokes on a second thread. The apply run traces a stroke (all of
// its random draws happen there) and then only paints it; painting draws
// nothing and reads nothing the tracing needs, so the next strokes can be
// traced while the previous ones are painted. The queue paints in the order
// strokes were pushed, so the picture is the same bit for bit as painting
// each stroke right away.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

class TAbstractStrokeRenderer;

class TStrokeQueue {
 public:
  // Starts the painting thread. Until Finish, only that thread may touch
  // Target and the brushes' drawing state (colour, opacity, relief, their
  // buffers); brushes must outlive the queue.
  // Idle, when given, is called on the painting thread while it waits for
  // strokes; it returns whether it found something to do.
  explicit TStrokeQueue(TBitmap32& Target, std::function<bool()> Idle = {});
  // Finishes; a failure of the painting thread is dropped.
  ~TStrokeQueue();
  TStrokeQueue(const TStrokeQueue&) = delete;
  TStrokeQueue& operator=(const TStrokeQueue&) = delete;

  // Queues a stroke: Brush with these settings paints the two sides (they
  // are copied). Waits while the painting thread is far behind. Rethrows a
  // failure of the painting thread (no later stroke is painted then).
  void Push(TAbstractStrokeRenderer* Brush, TColor32 Color, uint8_t Alpha, uint16_t ReliefParams,
            const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide);
  // Waits until every queued stroke is painted and stops the thread; then
  // rethrows the painting thread's failure, if any. Idempotent.
  void Finish();
  // Hands over what is queued and waits until it is painted; the thread
  // goes on (and may run Idle), so Target may be read until the next Push.
  // Rethrows the painting thread's failure.
  void Sync();

 private:
  struct TJob {
    TAbstractStrokeRenderer* Brush;
    TColor32 Color;
    uint8_t Alpha;
    uint16_t ReliefParams;
    TArrayOfFixedPoint Left, Right;
  };
  // The jobs of a batch keep their sides' storage from one use to the next:
  // a stroke's sides are copied into it, so that the tracing thread neither
  // allocates for every stroke nor gets back memory the painting thread
  // freed (both slow paths of the heap). Only the first Count jobs are queued.
  struct TBatch {
    std::vector<TJob> Jobs;
    size_t Count = 0;
  };
  // Strokes are handed over in batches: one lock per batch, not per stroke.
  static constexpr size_t BatchSize = 32;
  static constexpr size_t MaxPendingBatches = 8;

  // How long the painting thread waits awake for the next batch.
  static constexpr std::chrono::microseconds SpinTime{500};

  static std::unique_ptr<TBatch> NewBatch();
  void Hand(bool Last);
  // Returns once there is more to do than the first Taken batches (another
  // batch or the closing), or after SpinTime.
  void AwaitHand(uint64_t Taken) const;
  void Paint();

  TBitmap32& FTarget;
  std::function<bool()> FIdle;
  std::unique_ptr<TBatch> FFilling;
  std::mutex FMutex;
  std::condition_variable FWake, FRoom, FPaintedAll;
  std::deque<std::unique_ptr<TBatch>> FPending;
  std::vector<std::unique_ptr<TBatch>> FSpare;
  bool FClosed = false;
  // Batches handed over so far, plus one for the closing; read without the lock.
  std::atomic<uint64_t> FHanded{0};
  uint64_t FPainted = 0;  // batches painted (or dropped after a failure); under FMutex
  std::exception_ptr FError;
  std::thread FThread;
};

}  // namespace brellin
