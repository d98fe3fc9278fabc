#include "core/process_memory.h"

#include <cstdint>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void ReturnLargeBlocksToSystem() {
#if defined(__GLIBC__)
  // A fixed threshold also stops the allocator from raising it after each large block is
  // freed, which would send the next large blocks into the heap again.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void ReturnPagesToSystem(void* block, std::size_t size) {
#if defined(__linux__)
  // Some bytes at either end are left alone: the allocator keeps its own words next to them.
  constexpr std::size_t kMargin = 64;
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (size < 2 * kMargin + page) return;
  const auto from = reinterpret_cast<std::uintptr_t>(block) + kMargin;
  const std::uintptr_t begin = (from + page - 1) / page * page;
  const std::uintptr_t end = (from + size - 2 * kMargin) / page * page;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
#else
  (void)block;
  (void)size;
#endif
}
