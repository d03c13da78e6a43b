#include "platform/memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MapLargeAllocations() {
#if defined(__GLIBC__)
    // Blocks from 256 KiB up. A fixed threshold also stops glibc from raising it after frees.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}
