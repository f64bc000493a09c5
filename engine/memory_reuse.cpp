#include <engine/memory_reuse.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

// Sanitizers bring allocators of their own, which place blocks otherwise.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TABRIVO_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TABRIVO_OWN_ALLOCATOR 1
#endif
#endif

namespace tabrivo {

#if defined(__GLIBC__)
namespace {
// Blocks up to this size come from the heap; larger ones are mapped alone.
constexpr std::size_t kMapFrom = std::size_t{32} * 1024 * 1024;
}  // namespace
#endif

void keepFreedMemoryForNextDocuments() {
#if defined(__GLIBC__)
    // A tree is built from 64 KiB blocks and freed whole; by default the heap
    // is trimmed after it and the next document faults the pages in again,
    // about a tenth of the time on typical pages. Blocks up to 32 MiB come
    // from the heap and up to 128 MiB of free heap stays with the process;
    // larger texts (a whole large file) are still mapped and unmapped alone.
    constexpr int kKeepFree = 128 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMapFrom));
    mallopt(M_TRIM_THRESHOLD, kKeepFree);
#endif
}

DocumentHeap::DocumentHeap() {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(TABRIVO_OWN_ALLOCATOR)
    // The thread's heap grows once by the whole span (a thread's own heap
    // otherwise grows a few pages at a time, each step a change to the
    // process's memory map that stalls the other thread's page faults), and
    // the span goes back to the top of the heap, which the following
    // allocations are cut from in address order. A large page can only back
    // an aligned 2 MiB that has no small page yet, and the heap's start
    // already has some: the block below the first boundary stays taken, so
    // that the documents' memory starts at it.
    // Room for the tree of a page of half a megabyte (about ten times its
    // size); what a larger document takes beyond it has small pages as ever.
    constexpr std::size_t kSpan = std::size_t{8} * 1024 * 1024;
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} * 1024 * 1024;
    constexpr std::uintptr_t kHeaderRoom = 64;  // the allocator's own words before a block
    static_assert(kSpan < kMapFrom);
    auto* const span = static_cast<std::byte*>(std::malloc(kSpan));
    if (span == nullptr) {
        return;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(span);
    const std::uintptr_t from = (start + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t to = (start + kSpan) & ~(kLargePage - 1);
    // Only a hint: where the system keeps large pages for no one, the pages
    // stay small.
    if (to > from && madvise(span + (from - start), to - from, MADV_HUGEPAGE) == 0) {
        m_largePagesFrom = span + (from - start);
    }
    std::free(span);
    if (m_largePagesFrom != nullptr && from - start > kHeaderRoom) {
        m_lead = std::malloc(from - start - kHeaderRoom);
    }
#endif
}

DocumentHeap::~DocumentHeap() {
    std::free(m_lead);
}

}  // namespace tabrivo
