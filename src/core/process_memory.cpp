#include "core/process_memory.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReturnLargeBlocksToSystem() {
#if defined(__GLIBC__)
  // A fixed threshold also stops the allocator from raising it after each large block is
  // freed, which would send the next large blocks into the heap again.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void ReturnFreeMemoryToSystem() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}
