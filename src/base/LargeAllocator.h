// Allocator for big pixel and plane buffers. Blocks of several megabytes are
// mapped directly, small blocks come from the ordinary heap.
//
// Mapped blocks use ordinary pages, not transparent huge pages: on virtual
// machines a fresh huge page often has to be backed by the host first, and
// then faulting in a big picture costs several times more than with small
// pages (measured: 2.5 to 4 ms per MiB against 0.6), which no saving on the
// translation caches makes up for.
//
// Every block arrives zero-filled (fresh mappings are zero, spare pages are
// cleared, small blocks come from calloc), so value-initialised elements are not written a second
// time: TLargeVector<T>(n) is n zeros without a pass over the memory. The one difference from
// std::vector: resize() that grows back into capacity left by an earlier shrink keeps the old
// values there. The program never shrinks these buffers; assign(n, v) and vector(n, v) always write
// v.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace brellin {

void* LargeAllocate(size_t bytes);
void LargeFree(void* p, size_t bytes) noexcept;

// Mapped blocks that are freed keep their pages as spares (up to 512 MiB in
// all) for the blocks allocated next, which get them cleared: far cheaper
// than faulting in fresh pages. ReleaseSpareBlocks gives them back to the
// system; SpareBlockBytes tells how much is kept.
void ReleaseSpareBlocks() noexcept;
size_t SpareBlockBytes() noexcept;

// While it lives, mapped blocks allocated on the calling thread are not
// cleared where they get spare pages: they hold old contents there. Only for
// buffers the caller writes in full before reading any of them.
class TUnclearedBlocks {
 public:
  TUnclearedBlocks();
  ~TUnclearedBlocks();
  TUnclearedBlocks(const TUnclearedBlocks&) = delete;
  TUnclearedBlocks& operator=(const TUnclearedBlocks&) = delete;

 private:
  bool FPrevious;
};

// Faults in the pages of [P, P + Bytes) on a helper thread while the caller
// goes on filling them (a decoder writing rows, say): the caller then finds
// them mapped instead of stopping at every page. The contents are not
// touched. The helper is joined when the object goes; on systems that cannot
// prefault without writing, or with one thread allowed, nothing is done.
class TBackgroundPrefault {
 public:
  TBackgroundPrefault(void* P, size_t Bytes);
  ~TBackgroundPrefault();
  TBackgroundPrefault(const TBackgroundPrefault&) = delete;
  TBackgroundPrefault& operator=(const TBackgroundPrefault&) = delete;

 private:
  struct TState;
  TState* FState = nullptr;
};

template <typename T>
struct TLargeAllocator {
  using value_type = T;
  TLargeAllocator() noexcept = default;
  template <typename U>
  TLargeAllocator(const TLargeAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(LargeAllocate(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { LargeFree(p, n * sizeof(T)); }
  // Default-initialise instead of value-initialise: the block is already zero.
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const TLargeAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using TLargeVector = std::vector<T, TLargeAllocator<T>>;

}  // namespace brellin
