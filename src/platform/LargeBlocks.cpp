#include "platform/LargeBlocks.h"

#include <malloc.h>

void KeepLargeBlocksMapped() {
#ifdef M_MMAP_THRESHOLD
    // A threshold set by hand is never moved by the library.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargeBlockBytes));
#endif
}
