#include "base/LargeAllocator.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace brellin {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapThreshold = size_t(4) << 20;

size_t MappedSize(size_t bytes) {
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// Freed blocks are kept, up to a limit, and their pages handed to the next
// blocks: the first write to a fresh page costs a fault and the kernel's
// zero fill (a large part of a big render), clearing a page that is already
// there costs far less. Pages move between blocks with mremap, which remaps
// them without copying, so blocks of any size share the spare pages.
constexpr size_t kSpareLimit = size_t(512) << 20;

struct TSpare {
  uintptr_t Start;
  size_t Size;  // a multiple of kHugePage
};

std::mutex gSpareMutex;
std::vector<TSpare> gSpares;
size_t gSpareBytes = 0;

void* MapFresh(size_t size);

// Moves spare pages to [dest, dest + size) and zeroes them; returns how many
// bytes from dest on are now backed by spare pages.
size_t TakeSpares(uintptr_t dest, size_t size) {
  std::lock_guard<std::mutex> lock(gSpareMutex);
  size_t done = 0;
  while (done < size && !gSpares.empty()) {
    TSpare& s = gSpares.back();
    const size_t n = std::min(s.Size, size - done);
    // The tail of the spare block moves; what is left stays a spare.
    const uintptr_t from = s.Start + s.Size - n;
    void* moved = ::mremap(reinterpret_cast<void*>(from), n, n, MREMAP_MAYMOVE | MREMAP_FIXED,
                           reinterpret_cast<void*>(dest + done));
    if (moved == MAP_FAILED) break;  // the rest of the block stays fresh
    std::memset(moved, 0, n);
    s.Size -= n;
    gSpareBytes -= n;
    if (s.Size == 0) gSpares.pop_back();
    done += n;
  }
  return done;
}
}  // namespace

void* LargeAllocate(size_t bytes) {
  if (bytes < kMapThreshold) {
    void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const size_t size = MappedSize(bytes);
  void* block = MapFresh(size);
  TakeSpares(reinterpret_cast<uintptr_t>(block), size);
  return block;
}

void LargeFree(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (bytes < kMapThreshold) {
    std::free(p);
    return;
  }
  const size_t size = MappedSize(bytes);
  {
    std::lock_guard<std::mutex> lock(gSpareMutex);
    if (gSpareBytes + size <= kSpareLimit) {
      try {
        gSpares.push_back({reinterpret_cast<uintptr_t>(p), size});
        gSpareBytes += size;
        return;
      } catch (...) {
        // no room to remember it: unmapped below
      }
    }
  }
  ::munmap(p, size);
}

void ReleaseSpareBlocks() noexcept {
  std::lock_guard<std::mutex> lock(gSpareMutex);
  for (const TSpare& s : gSpares) ::munmap(reinterpret_cast<void*>(s.Start), s.Size);
  gSpares.clear();
  gSpareBytes = 0;
}

size_t SpareBlockBytes() noexcept {
  std::lock_guard<std::mutex> lock(gSpareMutex);
  return gSpareBytes;
}

namespace {
void* MapFresh(size_t size) {
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
}  // namespace

}  // namespace brellin
