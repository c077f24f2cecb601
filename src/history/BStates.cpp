#include "history/BStates.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/Errors.h"
#include "base/Progress.h"
#include "history/UTempManager.h"

namespace brellin {

namespace {

// Sets the history's busy flag for the length of an operation.
class TBusy {
 public:
  explicit TBusy(std::atomic<bool>& Flag) : FFlag(Flag), FWas(Flag.exchange(true)) {}
  ~TBusy() { FFlag.store(FWas); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  std::atomic<bool>& FFlag;
  bool FWas;
};

// Swaps the pixels of Block with those of Picture inside R (Block has R's size).
void SwapRect(TBitmap32& Block, TBitmap32& Picture, const TRect& R) {
  const int w = R.Right - R.Left;
  for (int y = R.Top; y < R.Bottom; ++y)
    std::swap_ranges(Block.ScanLine(y - R.Top), Block.ScanLine(y - R.Top) + w,
                     Picture.ScanLine(y) + R.Left);
}

std::string StateText(int Index) {
  return "state " + std::to_string(Index + 1);
}

// Smallest state record: two flags, a rectangle, two one-pixel 32-bit BMPs
// and an empty stroke block.
constexpr int64_t MinStateRecord = 2 + 16 + 58 + 58 + 4;

}  // namespace

TBitmap32 CopyRect(const TBitmap32& Picture, const TRect& R) {
  TBitmap32 b;
  const int w = R.Right - R.Left, h = R.Bottom - R.Top;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    std::memcpy(b.ScanLine(y), Picture.ScanLine(R.Top + y) + R.Left, size_t(w) * 4);
  return b;
}

// ---------------------------------------------------------------------------

TBState::TBState(const TBitmap32& Feature, const TBitmap32& Destination)
    : Rect{0, 0, Feature.Width(), Feature.Height()} {
  FeaturePixels = std::make_unique<TCompressedBitmap>(Feature);
  DestinationPixels = std::make_unique<TCompressedBitmap>(Destination);
  Strokes = std::make_unique<TStrokes>(NewTempName("tsk"));
}

TBState::TBState(TStream& S, int Width, int Height) {
  const int64_t left = S.Remaining();
  if (left < MinStateRecord) throw EInvalidData("truncated state record");
  uint8_t flags[2];
  S.ReadBuffer(flags, 2);
  if (flags[0] > 1 || flags[1] > 1) throw EInvalidData("invalid state flags");
  Snapshot = flags[0] != 0;
  Stored = true;
  int32_t r[4];
  S.ReadBuffer(r, sizeof r);
  Rect = {r[0], r[1], r[2], r[3]};
  if (Rect.Left < 0 || Rect.Top < 0 || Rect.Right > Width || Rect.Bottom > Height ||
      Rect.Left >= Rect.Right || Rect.Top >= Rect.Bottom)
    throw EInvalidData("rectangle (" + std::to_string(r[0]) + ", " + std::to_string(r[1]) + ", " +
                       std::to_string(r[2]) + ", " + std::to_string(r[3]) + ") outside the " +
                       std::to_string(Width) + " x " + std::to_string(Height) + " picture");
  const int w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
  auto block = [&](const char* what) {
    std::unique_ptr<TCompressedBitmap> b;
    try {
      b = std::make_unique<TCompressedBitmap>(S);
    } catch (const EBrellinError& e) {
      throw EInvalidData(std::string(what) + ": " + e.what());
    }
    TBitmap32& p = b->Bitmap();
    if (p.Width() != w || p.Height() != h)
      throw EInvalidData(std::string(what) + " of " + std::to_string(p.Width()) + " x " +
                         std::to_string(p.Height()) + " do not fit the rectangle of " +
                         std::to_string(w) + " x " + std::to_string(h));
    return b;
  };
  FeaturePixels = block("feature pixels");
  DestinationPixels = block("destination pixels");
  Strokes = std::make_unique<TStrokes>(S, NewTempName("tsk"));
  DroppedOnLoad = Strokes->DroppedCount();
}

TBState::~TBState() = default;

void TBState::Store(const TRect& R) {
  Rect = R;
  if (Stored || (R.Right == R.Left && R.Bottom == R.Top) || R.Left == INT_MAX || R.Top == INT_MAX ||
      R.Right == INT_MIN || R.Bottom == INT_MIN)
    SilentStop();
  TBitmap32& f = FeaturePixels->Bitmap();
  TBitmap32& d = DestinationPixels->Bitmap();
  // Strokes may reach past the edges; only the pictures' pixels are kept.
  TRect c{std::max(R.Left, 0), std::max(R.Top, 0), std::min(R.Right, f.Width()),
          std::min(R.Bottom, f.Height())};
  if (c.Left >= c.Right || c.Top >= c.Bottom) SilentStop();
  Rect = c;
  if (c.Left != 0 || c.Top != 0 || c.Right != f.Width() || c.Bottom != f.Height()) {
    FeaturePixels->SetBitmap(CopyRect(f, c));
    DestinationPixels->SetBitmap(CopyRect(d, c));
  }
  Stored = true;
}

void TBState::MoveToDisk() {
  FeaturePixels->SetOnDisk(true);
  DestinationPixels->SetOnDisk(true);
}

void TBState::WriteToStream(TStream& Dest) {
  const uint8_t flags[2] = {uint8_t(Snapshot ? 1 : 0), uint8_t(Stored ? 1 : 0)};
  Dest.WriteBuffer(flags, 2);
  const int32_t r[4] = {Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  Dest.WriteBuffer(r, sizeof r);
  FeaturePixels->WriteToStream(Dest);
  DestinationPixels->WriteToStream(Dest);
  Strokes->SaveToStream(Dest);
}

// ---------------------------------------------------------------------------

TBStates::TBStates(TStream& S, int Width, int Height) {
  if (S.Remaining() < 8) throw EInvalidData("truncated history (no state count)");
  const int32_t position = S.ReadValue<int32_t>();
  const int32_t count = S.ReadValue<int32_t>();
  if (count < 0 || int64_t(count) > S.Remaining() / MinStateRecord)
    throw EInvalidData("history claims " + std::to_string(count) + " states, more than the " +
                       std::to_string(S.Remaining()) + " bytes left can hold");
  if (position < 0 || position > count)
    throw EInvalidData("history position " + std::to_string(position) + " outside 0.." +
                       std::to_string(count));
  Items.reserve(size_t(count));
  int64_t dropped = 0;
  for (int32_t i = 0; i < count; ++i) {
    try {
      Items.push_back(std::make_unique<TBState>(S, Width, Height));
    } catch (const EInvalidData& e) {
      throw EInvalidData(StateText(i) + ": " + e.what());
    }
    dropped += Items.back()->DroppedOnLoad;
    SetProgress(int32_t(int64_t(i + 1) * 100 / count));
  }
  Position = position;
  RerenderNeeded = double(dropped) > double(VectorCount()) / 100.0;
}

TBStates::~TBStates() = default;

void TBStates::Push(std::unique_ptr<TBState> State) {
  TBusy busy(Busy);
  for (size_t i = size_t(Position); i < Items.size(); ++i) {
    try {
      Items[i].reset();
    } catch (...) {
      Items[i].release();  // a state that cannot be freed is let go
    }
  }
  Items.resize(size_t(Position));
  Items.push_back(std::move(State));
  ++Position;
}

void TBStates::Exchange(TBState& State, TBitmap32& Feature, TBitmap32& Destination) {
  TBusy busy(Busy);
  TBitmap32& a = State.FeaturePixels->Bitmap();
  TBitmap32& b = State.DestinationPixels->Bitmap();
  const TRect& r = State.Rect;
  if (r.Right > Feature.Width() || r.Bottom > Feature.Height() || r.Right > Destination.Width() ||
      r.Bottom > Destination.Height() || a.Width() != r.Right - r.Left ||
      a.Height() != r.Bottom - r.Top || b.Width() != a.Width() || b.Height() != a.Height())
    throw EBrellinError("The undo state does not fit the pictures");
  SwapRect(a, Feature, r);
  Destination.BeginUpdate();
  SwapRect(b, Destination, r);
  Destination.EndUpdate();
  Destination.Changed();
}

void TBStates::Undo(TBitmap32& Feature, TBitmap32& Destination) {
  TBusy busy(Busy);
  if (Position <= 0) throw EBrellinError("Imposible hacer undo, estamos al principio de la pila");
  --Position;
  Exchange(*Items[size_t(Position)], Feature, Destination);
}

void TBStates::Redo(TBitmap32& Feature, TBitmap32& Destination) {
  TBusy busy(Busy);
  if (Position >= Count())
    throw EBrellinError("Imposible hacer redo, estamos en el tope de la pila");
  Exchange(*Items[size_t(Position)], Feature, Destination);
  ++Position;
}

void TBStates::IdleCompress() {
  if (Busy.load()) return;
  TBusy busy(Busy);
  const int n = std::min(Count() - 1 - KeepInMemory, Position);
  for (int i = 0; i <= n && i < Count(); ++i) {
    if (!Items[size_t(i)]->IsOnDisk()) {
      Items[size_t(i)]->MoveToDisk();
      return;
    }
  }
}

TBState& TBStates::Item(int Index) {
  if (Index < 0 || Index >= Count()) RaiseIndexError("TBStates.Item", Index);
  return *Items[size_t(Index)];
}

int64_t TBStates::VectorCount() const {
  int64_t n = 0;
  for (int i = 0; i < Position; ++i) n += Items[size_t(i)]->Strokes->Count();
  return n;
}

int64_t TBStates::MemorySize() const {
  int64_t n = 0;
  for (const auto& s : Items) n += s->MemorySize();
  return n;
}

void TBStates::WriteToStream(TStream& Dest) {
  TBusy busy(Busy);
  Dest.WriteValue<int32_t>(Position);
  Dest.WriteValue<int32_t>(int32_t(Items.size()));
  for (auto& s : Items) s->WriteToStream(Dest);
}

}  // namespace brellin
