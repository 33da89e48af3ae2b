#include "platform/memory.hpp"

#include <cstdlib> // defines __GLIBC__ where glibc is the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void keepFreedMemory()
{
#if defined(__GLIBC__)
    // Blocks up to the largest threshold glibc allows come from the heap, and
    // the heap's top is only trimmed beyond 512 MiB of free memory.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

} // namespace platform
