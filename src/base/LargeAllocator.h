// Allocator for big pixel and plane buffers. Blocks of several megabytes are
// mapped directly and asked for transparent huge pages: a 20-megapixel
// picture otherwise spends a large part of its analysis in page faults
// (one per 4 KiB touched). Small blocks come from the ordinary heap.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace brellin {

void* LargeAllocate(size_t bytes);
void LargeFree(void* p, size_t bytes) noexcept;

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
  template <typename U>
  bool operator==(const TLargeAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using TLargeVector = std::vector<T, TLargeAllocator<T>>;

}  // namespace brellin
