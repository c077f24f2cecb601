#include "base/LargeAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Parallel.h"

namespace brellin {

namespace {
constexpr size_t kMapThreshold = size_t(4) << 20;

size_t PageSize() {
  static const size_t size = [] {
    const long s = ::sysconf(_SC_PAGESIZE);
    return s > 0 ? size_t(s) : size_t(4096);
  }();
  return size;
}

size_t MappedSize(size_t bytes) {
  const size_t page = PageSize();
  return (bytes + page - 1) / page * page;
}

// Freed blocks are kept, up to a limit, and their pages handed to the next
// blocks: the first write to a fresh page costs a fault and the kernel's
// zero fill (a large part of a big render), clearing a page that is already
// there costs far less. Pages move between blocks with mremap, which remaps
// them without copying, so blocks of any size share the spare pages.
constexpr size_t kSpareLimit = size_t(512) << 20;

struct TSpare {
  uintptr_t Start;
  size_t Size;  // a multiple of the page size
};

thread_local bool tUncleared = false;

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
    if (!tUncleared) std::memset(moved, 0, n);
    s.Size -= n;
    gSpareBytes -= n;
    if (s.Size == 0) gSpares.pop_back();
    done += n;
  }
  return done;
}
}  // namespace

TUnclearedBlocks::TUnclearedBlocks() : FPrevious(tUncleared) {
  tUncleared = true;
}

TUnclearedBlocks::~TUnclearedBlocks() {
  tUncleared = FPrevious;
}

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
// Pictures are read along strokes that cross thousands of rows: with pages
// of 4 KB nearly every row is a page of its own and a miss of the address
// cache. Blocks are placed on 2 MB boundaries and offered to the kernel for
// its large pages, which also makes their first writes fault 512 times less
// often. Where the kernel has none to give, the block works as before.
constexpr size_t kLargePage = size_t(2) << 20;

void* MapFresh(size_t size) {
  const size_t span = size >= kLargePage ? size + kLargePage : size;
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  if (span == size) return raw;
  const uintptr_t first = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t start = (first + kLargePage - 1) / kLargePage * kLargePage;
  const uintptr_t end = start + size, last = first + span;
  if (start > first) ::munmap(raw, start - first);
  if (last > end) ::munmap(reinterpret_cast<void*>(end), last - end);
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);  // a wish: may be refused
#endif
  return reinterpret_cast<void*>(start);
}

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14 and later
#endif
// Pages are faulted in this many bytes at a time, so that a caller running
// ahead of the helper is never held up for long.
constexpr size_t kPrefaultChunk = size_t(1) << 20;
}  // namespace

struct TBackgroundPrefault::TState {
  std::thread Helper;
  std::atomic<bool> Stop{false};
};

TBackgroundPrefault::TBackgroundPrefault(void* P, size_t Bytes) {
  if (!P || Bytes < kMapThreshold || ThreadCount() < 2) return;
  // Only whole pages inside the block are asked for.
  const size_t page = PageSize();
  const uintptr_t start = (reinterpret_cast<uintptr_t>(P) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(P) + Bytes) / page * page;
  if (end <= start) return;
  // A kernel without the call says so on the first page: then the caller
  // faults its pages itself, as without a helper.
  if (::madvise(reinterpret_cast<void*>(start), page, kPopulateWrite) != 0) return;
  try {
    auto state = std::make_unique<TState>();
    TState* s = state.get();
    state->Helper = std::thread([s, start, end] {
      for (uintptr_t p = start; p < end && !s->Stop.load(std::memory_order_relaxed);
           p += kPrefaultChunk) {
        if (::madvise(reinterpret_cast<void*>(p), std::min<uintptr_t>(kPrefaultChunk, end - p),
                      kPopulateWrite) != 0)
          return;
      }
    });
    FState = state.release();
  } catch (...) {
    // no thread to spare: the caller faults its pages itself
  }
}

TBackgroundPrefault::~TBackgroundPrefault() {
  if (!FState) return;
  FState->Stop = true;
  FState->Helper.join();
  delete FState;
}

}  // namespace brellin
