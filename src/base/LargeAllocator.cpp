#include "base/LargeAllocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace brellin {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapThreshold = size_t(4) << 20;

size_t MappedSize(size_t bytes) {
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}
}  // namespace

void* LargeAllocate(size_t bytes) {
  if (bytes < kMapThreshold) {
    void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const size_t size = MappedSize(bytes);
  // Map one huge page more than needed and trim, so the block is aligned.
  void* raw =
      ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const uintptr_t end = start + size + kHugePage, alignedEnd = aligned + size;
  if (end > alignedEnd) ::munmap(reinterpret_cast<void*>(alignedEnd), end - alignedEnd);
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void LargeFree(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (bytes < kMapThreshold) {
    std::free(p);
    return;
  }
  ::munmap(p, MappedSize(bytes));
}

}  // namespace brellin
