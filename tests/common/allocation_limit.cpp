#include "allocation_limit.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// Per thread: a worker thread of the code under test allocates as it always does.
thread_local std::size_t failFrom = SIZE_MAX;

}  // namespace

namespace tabrivo::test {

FailLargeAllocations::FailLargeAllocations(std::size_t bytes) : m_before(failFrom) {
    failFrom = bytes;
}

FailLargeAllocations::~FailLargeAllocations() {
    failFrom = m_before;
}

}  // namespace tabrivo::test

// The other forms (arrays, sizes, nothrow) reach these two.
void* operator new(std::size_t size) {
    if (size >= failFrom) {
        throw std::bad_alloc();
    }
    for (;;) {
        if (void* memory = std::malloc(size == 0 ? 1 : size)) {
            return memory;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
