// The undo history. Every painting action becomes one state that keeps, for
// the rectangle it touched, the feature-map and destination pixels from
// before the action, and the strokes it painted. Undo and redo exchange the
// kept pixels with the pictures, so one exchange serves both directions.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Progress.h"
#include "base/Rounding.h"
#include "base/Stream.h"
#include "base/Types.h"
#include "history/CompressedBitmap.h"
#include "render/Strokes.h"

namespace brellin {

class TBState {
 public:
  // Copies of both whole pictures and an empty stroke list on a new "tsk" file.
  TBState(const TBitmap32& Feature, const TBitmap32& Destination);
  // A state record of a project, for pictures of Width x Height. Throws
  // EInvalidData when it is cut short or does not fit the pictures.
  TBState(TStream& Source, int Width, int Height);
  ~TBState();
  TBState(const TBState&) = delete;
  TBState& operator=(const TBState&) = delete;

  // Keeps only the part of both copies inside R (clipped to the pictures).
  // A state that is stored already, or an empty R, ends with a silent stop.
  void Store(const TRect& R);
  void MoveToDisk();
  bool IsOnDisk() const { return FeaturePixels->OnDisk() && DestinationPixels->OnDisk(); }
  int64_t MemorySize() const {
    return FeaturePixels->MemorySize() + DestinationPixels->MemorySize();
  }
  void WriteToStream(TStream& Dest);

  std::unique_ptr<TStrokes> Strokes;
  TRect Rect;
  bool Stored = false;
  std::unique_ptr<TCompressedBitmap> FeaturePixels;
  std::unique_ptr<TCompressedBitmap> DestinationPixels;
  bool Snapshot = false;
  int32_t DroppedOnLoad = 0;
};

class TBStates {
 public:
  TBStates() = default;
  // A history read from a project, for pictures of Width x Height: Position,
  // the state count and the states. Throws EInvalidData, naming the state,
  // for anything that is cut short or does not fit.
  TBStates(TStream& Source, int Width, int Height);
  ~TBStates();
  TBStates(const TBStates&) = delete;
  TBStates& operator=(const TBStates&) = delete;

  // Discards the redo branch (and its files) and puts State on top.
  void Push(std::unique_ptr<TBState> State);
  // Throw "Imposible hacer undo, estamos al principio de la pila" and
  // "Imposible hacer redo, estamos en el tope de la pila" at the ends.
  void Undo(TBitmap32& Feature, TBitmap32& Destination);
  void Redo(TBitmap32& Feature, TBitmap32& Destination);
  // Moves the oldest state that is in memory and may leave it to disk; at
  // most one per call, never one of the KeepInMemory most recent.
  void IdleCompress();

  int Count() const { return int(Items.size()); }
  TBState& Item(int Index);
  TBState* Top() { return Position > 0 ? Items[size_t(Position) - 1].get() : nullptr; }
  int StateCount() const { return Position; }
  bool CanUndo() const { return Position > 0; }
  bool CanRedo() const { return Position < Count(); }
  // Strokes of the applied states.
  int64_t VectorCount() const;
  // Bytes of the kept pictures in memory, applied states or not.
  int64_t MemorySize() const;
  bool IsBusy() const { return Busy.load(); }

  // Position, the state count, then every state.
  void WriteToStream(TStream& Dest);

  std::vector<std::unique_ptr<TBState>> Items;
  int Position = 0;
  int KeepInMemory = 3;
  std::atomic<bool> Busy{false};
  bool RerenderNeeded = false;

 private:
  void Exchange(TBState& State, TBitmap32& Feature, TBitmap32& Destination);
};

// Pixels of Picture inside R (R within Picture) as a new bitmap.
TBitmap32 CopyRect(const TBitmap32& Picture, const TRect& R);

// Every recorded stroke of the applied states, oldest first, in recording
// order, read one at a time; the progress shows the state reached.
template <typename Fn>
void ForEachAppliedStroke(TBStates& History, Fn&& Stroke) {
  const int applied = History.StateCount();
  TStrokeRecord r;
  for (int k = 0; k < applied; ++k) {
    SetProgress(Round(double(k) * 100.0 / applied));
    TStrokes& strokes = *History.Item(k).Strokes;
    strokes.Rewind();
    for (int32_t i = 0; i < strokes.Count() && strokes.ReadNext(r); ++i) Stroke(r);
  }
}

}  // namespace brellin
