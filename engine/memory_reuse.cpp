#include <engine/memory_reuse.h>

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tabrivo {

void keepFreedMemoryForNextDocuments() {
#if defined(__GLIBC__)
    // A tree is built from 64 KiB blocks and freed whole; by default the heap
    // is trimmed after it and the next document faults the pages in again,
    // about a tenth of the time on typical pages. Blocks up to 32 MiB come
    // from the heap and up to 128 MiB of free heap stays with the process;
    // larger texts (a whole large file) are still mapped and unmapped alone.
    constexpr int kMapFrom = 32 * 1024 * 1024;
    constexpr int kKeepFree = 128 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kMapFrom);
    mallopt(M_TRIM_THRESHOLD, kKeepFree);
#endif
}

}  // namespace tabrivo
